// SPDX-License-Identifier: MIT
// The common controls of the dialog templates, over Qt widgets: static text and frames,
// auto radio buttons, sliders, the combo box, the list and tree views, the system-menu
// button, and the control id every one of them carries.
#pragma once

#include "platform/widgets/commctrl.h"
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
    /// The arrow keys move to the next or previous radio of the group and click it.
    void keyPressEvent(QKeyEvent* event) override;
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
    /// Inserts a string at an index (-1: at the end), never sorted; returns its index.
    int InsertString(int index, const QString& text);
    /// Deletes an item; returns the number left, or -1 for no such item.
    int DeleteString(int index);
    /// The item whose whole text equals `text`, searching after `startAfter` (-1: from the
    /// top) and wrapping; an item of the same case wins over one that differs in case only
    /// (folders "/a/Out" and "/a/out" are two folders here). -1 when none matches.
    int FindStringExact(int startAfter, const QString& text) const;
    /// Selects the first item, after `startAfter` and wrapping, that starts with `prefix`
    /// (case ignored) and shows its text; its index, or -1 when none does.
    int SelectString(int startAfter, const QString& prefix);
    QString GetWindowText() const { return currentText(); }
    void SetWindowText(const QString& text);
    void applyStyle(DWORD style);

signals:
    /// CBN_SELCHANGE when the user picks an item, CBN_EDITCHANGE when the user edits the text.
    void notification(UINT code);
};

/// A list view in report mode: columns, rows of texts, and check boxes with
/// LVS_EX_CHECKBOXES. It tells its dialog of mouse clicks (NM_CLICK when the left button is
/// released, NM_RCLICK, NM_DBLCLK), of keys before it acts on them (LVN_KEYDOWN), and asks
/// it for row colours while painting (NM_CUSTOMDRAW). A tick the user changes with the mouse
/// or Space is followed by those notifications; SetCheck changes a tick silently.
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

    /// Inserts a row with the text of column 0 before row `index` (at the end when the index
    /// is past it); returns the new row's index, or -1.
    int InsertItem(int index, const QString& text);
    BOOL SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const;
    int GetItemCount() const { return topLevelItemCount(); }
    BOOL DeleteItem(int row);
    BOOL DeleteAllItems();
    /// Ticks or unticks a row's check box without notifying anyone.
    BOOL SetCheck(int row, BOOL check = TRUE);
    BOOL GetCheck(int row) const;
    /// The row under a point of the client area, or -1; `flags` gets LVHT_ONITEMSTATEICON
    /// on a row's check box, LVHT_ONITEMLABEL elsewhere on a row, LVHT_NOWHERE off the rows.
    int HitTest(POINT point, UINT* flags = nullptr) const;
    /// Sets the state bits of `mask` (LVIS_SELECTED, LVIS_FOCUSED) of a row, or of every row for -1.
    BOOL SetItemState(int row, UINT state, UINT mask);
    UINT GetItemState(int row, UINT mask) const;
    /// Scrolls a row into view (wholly unless partialOK).
    BOOL EnsureVisible(int row, BOOL partialOK);
    /// The row that has the keyboard focus, or -1.
    int GetFocusedRow() const;
    /// Converts a point from screen to client coordinates.
    void ScreenToClient(POINT* point) const;
    /// Where a row's check box lies in client coordinates (empty without check boxes).
    QRect checkBoxRect(int row) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    friend class ListDrawDelegate;
    QTreeWidgetItem* row(int index) const;
    LRESULT notify(UINT code, int item, const QPoint& clientPos, const QPoint& globalPos);
    LRESULT customDraw(DWORD stage, int item, int column, COLORREF* text, COLORREF* background);

    int m_nColumns = 0;
    DWORD m_dwExStyle = 0;
    bool m_bSkipNextRelease = false; // the release that ends a double-click sends no NM_CLICK
    LRESULT m_lPrepaintAnswer = CDRF_DODEFAULT;
};

/// A tree view: buttons and root lines after its TVS_ styles; an item shows its expander
/// only once it has children. It tells its dialog of clicks (NM_CLICK at the release of the
/// left button) and double-clicks (NM_DBLCLK, before it expands or collapses the item).
class CTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CTreeCtrl(QWidget* parent = nullptr);
    void applyStyle(DWORD style);

    /// Inserts an item with a text below `parent` (TVI_ROOT for the top level) after `after`
    /// (TVI_LAST for the end); returns it, or null.
    HTREEITEM InsertItem(const QString& text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    QString GetItemText(HTREEITEM item) const;
    HTREEITEM GetRootItem() const;
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
    HTREEITEM GetParentItem(HTREEITEM item) const;
    HTREEITEM GetChildItem(HTREEITEM item) const;
    /// The item related to `item` by TVGN_ROOT, TVGN_NEXT, TVGN_PARENT, TVGN_CHILD or TVGN_CARET.
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const;
    BOOL ItemHasChildren(HTREEITEM item) const;
    BOOL Expand(HTREEITEM item, UINT code);
    /// Makes an item the selected (caret) item; null clears the selection.
    BOOL SelectItem(HTREEITEM item);
    HTREEITEM GetSelectedItem() const;
    /// The item under a point of the client area, or null, with TVHT_ flags.
    HTREEITEM HitTest(POINT point, UINT* flags = nullptr) const;
    void ScreenToClient(POINT* point) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    LRESULT notify(UINT code, const QPoint& globalPos);
    bool m_bSkipNextRelease = false;
};

/// The small button that opens a window's system menu, in the corner of the client area.
class SystemMenuButton : public QToolButton {
    Q_OBJECT
public:
    explicit SystemMenuButton(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
