// SPDX-License-Identifier: MIT
// CDialog over QDialog: controls made from a template and found by numeric id, a message
// map per dialog class tying (notification, id) to a handler, DoModal with a hook that
// tests install to drive a dialog instead of running its loop, and the window's system menu.
#pragma once

#include "platform/widgets/dialogtemplate.h"
#include "platform/widgets/menu.h"
#include "platform/widgets/winuser.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CDialog;
class QPainter;

namespace platform {

/// One entry of a message map.
struct MessageMapEntry {
    enum class Kind { Command, HScroll, VScroll, Notify, Message };
    Kind kind = Kind::Command;
    UINT code = 0; ///< notification code (Command, Notify) or message number (Message)
    int firstId = 0;
    int lastId = 0;
    std::function<void(CDialog&, int id)> command;
    std::function<void(CDialog&, UINT code, UINT position, QWidget* bar)> scroll;
    std::function<void(CDialog&, NMHDR* header, LRESULT* result)> notify;
    std::function<LRESULT(CDialog&, WPARAM, LPARAM)> message;

    static MessageMapEntry make(Kind kind, UINT code, int firstId, int lastId) {
        MessageMapEntry e;
        e.kind = kind;
        e.code = code;
        e.firstId = firstId;
        e.lastId = lastId;
        return e;
    }
};

/// A dialog class's message map; a map may chain to its base class's map.
class MessageMap {
public:
    explicit MessageMap(const MessageMap* base = nullptr) : m_base(base) {}

    const MessageMapEntry* findCommand(UINT code, int id) const;
    const MessageMapEntry* findScroll(bool vertical) const;
    const MessageMapEntry* findNotify(UINT code, int id) const;
    const MessageMapEntry* findMessage(UINT message) const;
    std::size_t size() const { return m_entries.size(); }

protected:
    std::vector<MessageMapEntry> m_entries;
    const MessageMap* m_base;

private:
    template <class Match>
    const MessageMapEntry* find(Match match) const;
};

/// Builds the message map of dialog class D from pointers to its handlers.
template <class D>
class MessageMapOf : public MessageMap {
public:
    explicit MessageMapOf(const MessageMap* base = nullptr) : MessageMap(base) {}

    /// A notification (BN_CLICKED, EN_CHANGE, CBN_SELCHANGE, STN_CLICKED, ...) of one control.
    MessageMapOf& on(UINT code, int id, void (D::*handler)()) {
        auto e = MessageMapEntry::make(MessageMapEntry::Kind::Command, code, id, id);
        e.command = [handler](CDialog& dialog, int) { (static_cast<D&>(dialog).*handler)(); };
        m_entries.push_back(std::move(e));
        return *this;
    }
    /// A notification of any control of an id range; the handler gets the id.
    MessageMapOf& onRange(UINT code, int firstId, int lastId, void (D::*handler)(UINT id)) {
        auto e = MessageMapEntry::make(MessageMapEntry::Kind::Command, code, firstId, lastId);
        e.command = [handler](CDialog& dialog, int id) { (static_cast<D&>(dialog).*handler)(static_cast<UINT>(id)); };
        m_entries.push_back(std::move(e));
        return *this;
    }
    /// WM_HSCROLL from horizontal sliders: code, position (thumb codes only), the slider.
    MessageMapOf& onHScroll(void (D::*handler)(UINT code, UINT position, QWidget* bar)) {
        return scroll(MessageMapEntry::Kind::HScroll, handler);
    }
    /// WM_VSCROLL from vertical sliders.
    MessageMapOf& onVScroll(void (D::*handler)(UINT code, UINT position, QWidget* bar)) {
        return scroll(MessageMapEntry::Kind::VScroll, handler);
    }
    /// WM_NOTIFY with a code from one control.
    MessageMapOf& onNotify(UINT code, int id, void (D::*handler)(NMHDR* header, LRESULT* result)) {
        auto e = MessageMapEntry::make(MessageMapEntry::Kind::Notify, code, id, id);
        e.notify = [handler](CDialog& dialog, NMHDR* h, LRESULT* r) { (static_cast<D&>(dialog).*handler)(h, r); };
        m_entries.push_back(std::move(e));
        return *this;
    }
    /// A message the dialog sends or posts to itself (WM_USER and up).
    MessageMapOf& onMessage(UINT message, LRESULT (D::*handler)(WPARAM, LPARAM)) {
        auto e = MessageMapEntry::make(MessageMapEntry::Kind::Message, message, 0, 0);
        e.message = [handler](CDialog& dialog, WPARAM w, LPARAM l) { return (static_cast<D&>(dialog).*handler)(w, l); };
        m_entries.push_back(std::move(e));
        return *this;
    }

private:
    MessageMapOf& scroll(MessageMapEntry::Kind kind, void (D::*handler)(UINT, UINT, QWidget*)) {
        auto e = MessageMapEntry::make(kind, 0, 0, 0);
        e.scroll = [handler](CDialog& dialog, UINT c, UINT p, QWidget* b) { (static_cast<D&>(dialog).*handler)(c, p, b); };
        m_entries.push_back(std::move(e));
        return *this;
    }
};

/// Where commands go that no dialog handles (the application's message map).
class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    /// TRUE when the command was handled.
    virtual BOOL OnCmdMsg(UINT id, UINT code) = 0;
};
/// Installs the application's command target (null removes it); returns the previous one.
CommandTarget* setApplicationCommandTarget(CommandTarget* target);

/// The dialog a control belongs to, or null.
CDialog* dialogOf(QWidget* control);

} // namespace platform

/// What DoDataExchange is handed: the direction and the dialog.
class CDataExchange {
public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

class CDialog : public QDialog {
    Q_OBJECT
public:
    /// A dialog made from template `templateId` (controls are made by Create or DoModal).
    explicit CDialog(int templateId, QWidget* parent = nullptr);
    ~CDialog() override;

    /// Makes the controls, binds them (DoDataExchange) and runs OnInitDialog, without
    /// showing the dialog. FALSE when the template cannot be read or names an unknown class.
    BOOL Create();
    /// Runs the dialog modally: Create, then the installed modal hook (with the dialog shown)
    /// or the dialog's own loop, then OnDestroy. Returns the EndDialog result (IDOK,
    /// IDCANCEL), or -1 when the dialog could not be made.
    INT_PTR DoModal();
    /// Ends the modal run with a result.
    void EndDialog(int result);

    int GetTemplateId() const { return m_nTemplateId; }
    /// The template read at Create (null before).
    const platform::DialogTemplate* GetTemplate() const { return m_template ? &*m_template : nullptr; }
    /// Dialog base units of the dialog font.
    const platform::DialogUnits& GetDialogUnits() const { return m_units; }

    QWidget* GetDlgItem(int id) const;
    template <class T>
    T* GetDlgItemAs(int id) const {
        return qobject_cast<T*>(GetDlgItem(id));
    }
    /// Checks `checkId` and unchecks every other button of first..last.
    void CheckRadioButton(int firstId, int lastId, int checkId);
    /// The radio button `step` places after `radio` within its group (wrapping around), as
    /// the arrow keys move between them; null when the group has no other.
    QWidget* NextRadioInGroup(QWidget* radio, int step) const;
    /// The first checked button of first..last, or 0.
    int GetCheckedRadioButton(int firstId, int lastId) const;
    UINT IsDlgButtonChecked(int id) const;
    void CheckDlgButton(int id, UINT check);
    /// Sets a control's text. An edit reports EN_CHANGE even when the text stays the same.
    void SetDlgItemText(int id, const QString& text);
    QString GetDlgItemText(int id) const;
    /// Enables or disables a control; TRUE when it was disabled before.
    BOOL EnableWindow(int id, BOOL enable);

    /// The window's system menu (made on first use); with revert TRUE it goes back to the
    /// standard items and null is returned.
    CMenu* GetSystemMenu(BOOL revert);
    /// Opens the system menu at a point of the screen without waiting for a choice.
    void ShowSystemMenu(const QPoint& globalPos);

    /// Runs a message through the message map at once / after the current event.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    void PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);

    /// Entry points for the controls: a WM_COMMAND notification, a WM_NOTIFY, a slider's
    /// scroll code, an owner-drawn control's paint request.
    void OnControlNotify(int id, UINT code);
    LRESULT OnControlWmNotify(NMHDR* header);
    void OnControlScroll(QWidget* bar, bool vertical, UINT code, UINT position);
    void OnControlDrawItem(int id, LPDRAWITEMSTRUCT drawItem);

    /// A function run instead of the dialog's loop while it is shown; it drives the dialog
    /// and normally ends it. If it leaves the dialog open, DoModal closes it as the close
    /// box does. Applies to every DoModal until removed (null).
    using ModalHook = std::function<void(CDialog&)>;
    static ModalHook SetModalHook(ModalHook hook);

    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    /// The window's icon (WM_SETICON); big and small are one icon in Qt.
    void SetIcon(const QIcon& icon, BOOL bigIcon);
    BOOL IsIconic() const { return isMinimized() ? TRUE : FALSE; }

protected:
    /// The system-menu command handler; the base does the default processing of SC_ commands.
    virtual void OnSysCommand(UINT id, LPARAM lParam);
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* pDX);
    /// Runs once when the modal run ends, before DoModal returns.
    virtual void OnDestroy();
    virtual void OnDrawItem(int idCtl, LPDRAWITEMSTRUCT drawItem);
    /// Paints the dialog's own surface; the base paints nothing over the background.
    virtual void OnPaint(QPainter& painter);
    /// The class's message map; the base has none of its own.
    virtual const platform::MessageMap* GetMessageMap() const;

    void accept() override;
    void reject() override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void wireControl(QWidget* control);
    void onButtonClicked(QWidget* button);
    void buildSystemMenu();
    void updateSystemMenuStates();

    int m_nTemplateId;
    std::optional<platform::DialogTemplate> m_template;
    platform::DialogUnits m_units;
    std::vector<QWidget*> m_controls;        // in template order
    std::vector<std::pair<int, int>> m_groups; // template index ranges [first, last] of WS_GROUP runs
    std::unique_ptr<CMenu> m_pSystemMenu;
    int m_nModalResult = IDCANCEL;
    bool m_bCreated = false;
    bool m_bEnding = false;
    bool m_bDestroyed = false;
};

/// Binds a member to the control of id `nIDC`, which must exist and be of class T. A
/// control with PreSubclassWindow gets that call, as at subclassing.
template <class T>
void DDX_Control(CDataExchange* pDX, int nIDC, T*& rControl) {
    T* control = pDX->m_pDlgWnd->GetDlgItemAs<T>(nIDC);
    if (!control)
        qFatal("DDX_Control: dialog %d has no control %d of the bound class", pDX->m_pDlgWnd->GetTemplateId(), nIDC);
    if (rControl != control) {
        rControl = control;
        if constexpr (requires { control->PreSubclassWindow(); }) control->PreSubclassWindow();
    }
}
