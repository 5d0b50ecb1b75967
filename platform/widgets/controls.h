// SPDX-License-Identifier: MIT
// The common controls of the dialog templates, over Qt widgets: static text and frames,
// auto radio buttons, sliders, the combo box, the list and tree views, the system-menu
// button, and the control id every one of them carries.
#pragma once

#include "platform/widgets/gdi.h"
#include "platform/widgets/winuser.h"

#include <QComboBox>
#include <QIcon>
#include <QRadioButton>
#include <QSlider>
#include <QToolButton>
#include <QTreeWidget>

namespace platform {

/// The dynamic property that holds a control's numeric id (set in the templates).
inline constexpr char kControlIdProperty[] = "controlId";
/// The dynamic properties that hold a control's window styles.
inline constexpr char kStyleProperty[] = "windowStyle";
inline constexpr char kExStyleProperty[] = "windowExStyle";

/// The control's id, or 0 when it has none.
int GetDlgCtrlID(const QWidget* control);
void SetDlgCtrlID(QWidget* control, int id);
DWORD controlStyle(const QWidget* control);
DWORD controlExStyle(const QWidget* control);

/// The text Windows would call the control's window text: a button's caption, an edit's or
/// an editable combo box's text, a group box's title, a static's text, a window's title.
QString windowText(const QWidget* control);
void setWindowText(QWidget* control, const QString& text);

} // namespace platform

/// A static control: text aligned by its style, a black frame, or an icon; an optional
/// border (WS_BORDER) and sunken edge (WS_EX_STATICEDGE, SS_SUNKEN) around its client area.
/// With SS_NOTIFY a press of the left button sends STN_CLICKED to the dialog.
class CStatic : public QWidget {
    Q_OBJECT
public:
    explicit CStatic(QWidget* parent = nullptr);

    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    /// Removes, then adds style bits. Returns TRUE.
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);

    void SetWindowText(const QString& text);
    QString GetWindowText() const { return m_strText; }
    void SetIcon(const QIcon& icon);

    /// The client rectangle: the control less its border and edge, at (0, 0).
    RECT GetClientRect() const;
    /// Where the client rectangle lies in the widget.
    QRect clientGeometry() const;

    /// Redraws the control (RDW_ flags are accepted for their shape; Qt repaints the whole).
    void RedrawWindow(UINT flags = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

    /// Runs when the dialog binds the control; the base does nothing.
    virtual void PreSubclassWindow() {}

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    /// Paints the client area (the painter's origin is the client rectangle's corner).
    virtual void OnPaint(QPainter& painter, const QRect& client);
    /// The left button went down in the control; the base sends STN_CLICKED with SS_NOTIFY.
    virtual void OnLButtonDown(const QPoint& point);
    /// Sends a WM_COMMAND notification with this control's id to its dialog.
    void notifyParent(UINT code);

private:
    QString m_strText;
    QIcon m_icon;
};

/// An auto radio button as Windows has it: a click always checks it (never unchecks it), and
/// the dialog, not Qt, unchecks the others of its group (controls from one WS_GROUP to the next).
class AutoRadioButton : public QRadioButton {
    Q_OBJECT
public:
    explicit AutoRadioButton(QWidget* parent = nullptr);

protected:
    void nextCheckState() override;
};

/// A track bar: range 0-100 at first, vertical ones with their minimum at the top. Every
/// user action is reported with its scroll code after the position has moved: keys and
/// channel clicks with their own codes then TB_ENDTRACK, a drag with TB_THUMBTRACK while it
/// moves, then TB_THUMBPOSITION and TB_ENDTRACK at release. Setting the position reports nothing.
class CSliderCtrl : public QSlider {
    Q_OBJECT
public:
    explicit CSliderCtrl(QWidget* parent = nullptr);

    void SetRange(int minimum, int maximum, BOOL redraw = FALSE);
    void SetRangeMin(int minimum, BOOL redraw = FALSE);
    void SetRangeMax(int maximum, BOOL redraw = FALSE);
    int GetRangeMin() const { return minimum(); }
    int GetRangeMax() const { return maximum(); }
    void SetPos(int position);
    int GetPos() const { return value(); }
    /// Vertical with TBS_VERT, horizontal otherwise.
    void applyStyle(DWORD style);

signals:
    /// A scroll notification: one of the TB_ codes and, for the two thumb codes, the position.
    void scrolled(UINT code, UINT position);

protected:
    /// The keys of a track bar: left and up lower the position, right and down raise it,
    /// Page Up and Page Down move a page, Home and End go to the ends.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void onAction(int action);
    void onReleased();
};

/// A combo box; with CBS_SORT, AddString keeps the list in case-insensitive order.
/// Its window text is the edit field's text.
class CComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit CComboBox(QWidget* parent = nullptr);

    /// Adds a string (in sorted place with CBS_SORT, else at the end); returns its index.
    int AddString(const QString& text);
    int GetCount() const { return count(); }
    /// Selects an item and shows its text; -1 clears the selection. Returns the index or -1.
    int SetCurSel(int index);
    int GetCurSel() const { return currentIndex(); }
    QString GetLBText(int index) const { return itemText(index); }
    void ResetContent() { clear(); }
    void applyStyle(DWORD style);

signals:
    /// CBN_SELCHANGE when the user picks an item, CBN_EDITCHANGE when the user edits the text.
    void notification(UINT code);
};

/// A list view in report mode: columns, and check boxes with LVS_EX_CHECKBOXES.
class CListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CListCtrl(QWidget* parent = nullptr);

    /// Inserts a column before `column`; returns its index.
    int InsertColumn(int column, const QString& heading, int format = LVCFMT_LEFT, int width = -1);
    int GetColumnCount() const { return m_nColumns; }
    int GetColumnWidth(int column) const { return columnWidth(column); }
    QString GetColumnHeading(int column) const;
    /// Sets the extended style (LVS_EX_CHECKBOXES, LVS_EX_FULLROWSELECT); returns the old one.
    DWORD SetExtendedStyle(DWORD style);
    DWORD GetExtendedStyle() const { return m_dwExStyle; }
    /// The client rectangle: the list less its frame.
    RECT GetClientRect() const;

private:
    int m_nColumns = 0;
    DWORD m_dwExStyle = 0;
};

/// A tree view: buttons and root lines after its TVS_ styles.
class CTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CTreeCtrl(QWidget* parent = nullptr);
    void applyStyle(DWORD style);
};

/// The small button that opens a window's system menu, in the corner of the client area.
class SystemMenuButton : public QToolButton {
    Q_OBJECT
public:
    explicit SystemMenuButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
