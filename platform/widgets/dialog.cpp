// SPDX-License-Identifier: MIT
// CDialog: template, controls, message map, modal run and system menu.
#include "platform/widgets/dialog.h"

#include "platform/widgets/controls.h"
#include "platform/widgets/gdi.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QShortcut>

#include <algorithm>
#include <atomic>

namespace platform {

namespace {

std::atomic<CommandTarget*> g_applicationTarget{nullptr};
CDialog::ModalHook g_modalHook;

} // namespace

CommandTarget* setApplicationCommandTarget(CommandTarget* target) { return g_applicationTarget.exchange(target); }

CDialog* dialogOf(QWidget* control) {
    for (QWidget* w = control; w; w = w->parentWidget()) {
        if (auto* dialog = qobject_cast<CDialog*>(w)) return dialog;
    }
    return nullptr;
}

template <class Match>
const MessageMapEntry* MessageMap::find(Match match) const {
    for (const MessageMap* map = this; map; map = map->m_base) {
        for (const MessageMapEntry& entry : map->m_entries) {
            if (match(entry)) return &entry;
        }
    }
    return nullptr;
}

const MessageMapEntry* MessageMap::findCommand(UINT code, int id) const {
    return find([&](const MessageMapEntry& e) {
        return e.kind == MessageMapEntry::Kind::Command && e.code == code && id >= e.firstId && id <= e.lastId;
    });
}

const MessageMapEntry* MessageMap::findScroll(bool vertical) const {
    const auto kind = vertical ? MessageMapEntry::Kind::VScroll : MessageMapEntry::Kind::HScroll;
    return find([&](const MessageMapEntry& e) { return e.kind == kind; });
}

const MessageMapEntry* MessageMap::findNotify(UINT code, int id) const {
    return find([&](const MessageMapEntry& e) {
        return e.kind == MessageMapEntry::Kind::Notify && e.code == code && id >= e.firstId && id <= e.lastId;
    });
}

const MessageMapEntry* MessageMap::findMessage(UINT message) const {
    return find([&](const MessageMapEntry& e) { return e.kind == MessageMapEntry::Kind::Message && e.code == message; });
}

} // namespace platform

using platform::MessageMapEntry;

CDialog::CDialog(int templateId, QWidget* parent) : QDialog(parent), m_nTemplateId(templateId) {}

CDialog::~CDialog() = default;

CDialog::ModalHook CDialog::SetModalHook(ModalHook hook) {
    std::swap(platform::g_modalHook, hook);
    return hook;
}

BOOL CDialog::Create() {
    if (m_bCreated) return TRUE;
    QString error;
    m_template = platform::readDialogTemplate(platform::dialogTemplatePath(m_nTemplateId), &error);
    if (!m_template) {
        qWarning("Dialog %d: %s", m_nTemplateId, qPrintable(error));
        return FALSE;
    }
    const DWORD style = m_template->style;
    setFont(platform::dialogFont());
    m_units = platform::dialogBaseUnits(font());
    setWindowTitle(m_template->title);

    // A window with minimise or maximise boxes is a main window to the window manager, which
    // gives dialogs neither box.
    const bool mainWindow = (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) != 0;
    Qt::WindowFlags flags = (mainWindow ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (style & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
    if (style & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
    setWindowFlags(flags);
    const QSize client = m_units.size(m_template->size);
    if (style & WS_THICKFRAME) resize(client);
    else setFixedSize(client);
    setSizeGripEnabled(false);

    // A run of controls from one WS_GROUP control up to the next makes a group.
    int groupStart = 0;
    for (const platform::ControlTemplate& control : m_template->controls) {
        QWidget* widget = platform::createControl(control, this, m_units);
        if (!widget) {
            qWarning("Dialog %d: control %s has the unknown class %s", m_nTemplateId, qPrintable(control.name),
                     qPrintable(control.className));
            return FALSE;
        }
        const int index = static_cast<int>(m_controls.size());
        if ((control.style & WS_GROUP) && index > 0) {
            m_groups.emplace_back(groupStart, index - 1);
            groupStart = index;
        }
        m_controls.push_back(widget);
        wireControl(widget);
    }
    if (!m_controls.empty()) m_groups.emplace_back(groupStart, static_cast<int>(m_controls.size()) - 1);
    // Group boxes are siblings of what they frame, as in a Windows template: keep them below.
    for (QWidget* widget : m_controls) {
        if (qobject_cast<QGroupBox*>(widget)) widget->lower();
    }
    if (style & WS_SYSMENU) {
        auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
        connect(shortcut, &QShortcut::activated, this, [this] { ShowSystemMenu(mapToGlobal(QPoint(0, 0))); });
    }
    m_bCreated = true;
    OnInitDialog();
    return TRUE;
}

void CDialog::wireControl(QWidget* control) {
    const int id = platform::GetDlgCtrlID(control);
    if (auto* menuButton = qobject_cast<SystemMenuButton*>(control)) {
        connect(menuButton, &QAbstractButton::clicked, this,
                [this, menuButton] { ShowSystemMenu(menuButton->mapToGlobal(QPoint(0, menuButton->height()))); });
        return;
    }
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        connect(button, &QAbstractButton::clicked, this, [this, button] { onButtonClicked(button); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        connect(edit, &QLineEdit::textChanged, this, [this, id] { OnControlNotify(id, EN_CHANGE); });
    } else if (auto* combo = qobject_cast<CComboBox*>(control)) {
        connect(combo, &CComboBox::notification, this, [this, id](UINT code) { OnControlNotify(id, code); });
    } else if (auto* slider = qobject_cast<CSliderCtrl*>(control)) {
        connect(slider, &CSliderCtrl::scrolled, this, [this, slider](UINT code, UINT position) {
            OnControlScroll(slider, slider->orientation() == Qt::Vertical, code, position);
        });
    }
}

void CDialog::onButtonClicked(QWidget* button) {
    if (qobject_cast<AutoRadioButton*>(button)) {
        // An auto radio button unchecks the other radio buttons of its group.
        const auto it = std::find(m_controls.begin(), m_controls.end(), button);
        const int index = static_cast<int>(it - m_controls.begin());
        for (const auto& [first, last] : m_groups) {
            if (index < first || index > last) continue;
            for (int i = first; i <= last; ++i) {
                if (i == index) continue;
                if (auto* other = qobject_cast<AutoRadioButton*>(m_controls[static_cast<std::size_t>(i)]))
                    other->setChecked(false);
            }
        }
    }
    OnControlNotify(platform::GetDlgCtrlID(button), BN_CLICKED);
}

INT_PTR CDialog::DoModal() {
    if (!Create()) return -1;
    m_bEnding = false;
    m_nModalResult = IDCANCEL;
    if (platform::g_modalHook) {
        const ModalHook hook = platform::g_modalHook;
        setWindowModality(Qt::ApplicationModal);
        show();
        activateWindow();
        // What a modal loop does first: the window is shown and active before anyone drives it.
        QCoreApplication::processEvents();
        QPointer<CDialog> guard(this);
        hook(*this);
        if (guard && isVisible() && !m_bEnding) OnSysCommand(SC_CLOSE, 0);
        if (guard && isVisible() && !m_bEnding) EndDialog(IDCANCEL);
    } else {
        exec();
    }
    if (!m_bDestroyed) {
        m_bDestroyed = true;
        OnDestroy();
    }
    return m_nModalResult;
}

void CDialog::EndDialog(int result) {
    m_nModalResult = result;
    m_bEnding = true;
    done(result);
}

QWidget* CDialog::GetDlgItem(int id) const {
    for (QWidget* control : m_controls) {
        if (platform::GetDlgCtrlID(control) == id) return control;
    }
    return nullptr;
}

void CDialog::CheckRadioButton(int firstId, int lastId, int checkId) {
    for (QWidget* control : m_controls) {
        const int id = platform::GetDlgCtrlID(control);
        if (id < firstId || id > lastId) continue;
        if (auto* button = qobject_cast<QAbstractButton*>(control)) button->setChecked(id == checkId);
    }
}

QWidget* CDialog::NextRadioInGroup(QWidget* radio, int step) const {
    const auto it = std::find(m_controls.begin(), m_controls.end(), radio);
    if (it == m_controls.end() || step == 0) return nullptr;
    const int index = static_cast<int>(it - m_controls.begin());
    for (const auto& [first, last] : m_groups) {
        if (index < first || index > last) continue;
        const int size = last - first + 1;
        for (int k = 1; k < size; ++k) {
            const int i = first + (((index - first + k * step) % size) + size) % size;
            QWidget* candidate = m_controls[static_cast<std::size_t>(i)];
            if (qobject_cast<AutoRadioButton*>(candidate) && candidate->isEnabled() && candidate->isVisible())
                return candidate;
        }
    }
    return nullptr;
}

int CDialog::GetCheckedRadioButton(int firstId, int lastId) const {
    for (int id = firstId; id <= lastId; ++id) {
        if (auto* button = GetDlgItemAs<QAbstractButton>(id); button && button->isChecked()) return id;
    }
    return 0;
}

UINT CDialog::IsDlgButtonChecked(int id) const {
    if (auto* box = GetDlgItemAs<QCheckBox>(id)) {
        switch (box->checkState()) {
        case Qt::Checked: return BST_CHECKED;
        case Qt::PartiallyChecked: return BST_INDETERMINATE;
        default: return BST_UNCHECKED;
        }
    }
    auto* button = GetDlgItemAs<QAbstractButton>(id);
    return button && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CDialog::CheckDlgButton(int id, UINT check) {
    if (auto* box = GetDlgItemAs<QCheckBox>(id)) {
        box->setCheckState(check == BST_CHECKED         ? Qt::Checked
                           : check == BST_INDETERMINATE ? Qt::PartiallyChecked
                                                        : Qt::Unchecked);
    } else if (auto* button = GetDlgItemAs<QAbstractButton>(id)) {
        button->setChecked(check != BST_UNCHECKED);
    }
}

void CDialog::SetDlgItemText(int id, const QString& text) {
    QWidget* control = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(control); edit && edit->text() == text) {
        // Qt reports only real changes; Windows reports every text set on an edit.
        OnControlNotify(id, EN_CHANGE);
        return;
    }
    platform::setWindowText(control, text);
}

QString CDialog::GetDlgItemText(int id) const { return platform::windowText(GetDlgItem(id)); }

BOOL CDialog::EnableWindow(int id, BOOL enable) {
    QWidget* control = GetDlgItem(id);
    if (!control) return FALSE;
    const BOOL wasDisabled = control->isEnabled() ? FALSE : TRUE;
    control->setEnabled(enable != FALSE);
    return wasDisabled;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    CDataExchange exchange(this, saveAndValidate);
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialog::SetIcon(const QIcon& icon, BOOL /*bigIcon*/) { setWindowIcon(icon); }

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange* /*pDX*/) {}

void CDialog::OnDestroy() {}

void CDialog::OnDrawItem(int /*idCtl*/, LPDRAWITEMSTRUCT /*drawItem*/) {}

void CDialog::OnPaint(QPainter& /*painter*/) {}

const platform::MessageMap* CDialog::GetMessageMap() const { return nullptr; }

void CDialog::OnControlNotify(int id, UINT code) {
    if (const platform::MessageMap* map = GetMessageMap()) {
        if (const MessageMapEntry* entry = map->findCommand(code, id)) {
            entry->command(*this, id);
            return;
        }
    }
    if (code == BN_CLICKED && id == IDOK) {
        OnOK();
        return;
    }
    if (code == BN_CLICKED && id == IDCANCEL) {
        OnCancel();
        return;
    }
    // Commands the dialog does not handle go on to the application.
    if (code == BN_CLICKED) {
        if (platform::CommandTarget* target = platform::g_applicationTarget.load())
            target->OnCmdMsg(static_cast<UINT>(id), code);
    }
}

LRESULT CDialog::OnControlWmNotify(NMHDR* header) {
    LRESULT result = 0;
    if (const platform::MessageMap* map = GetMessageMap()) {
        if (const MessageMapEntry* entry = map->findNotify(header->code, static_cast<int>(header->idFrom)))
            entry->notify(*this, header, &result);
    }
    return result;
}

void CDialog::OnControlScroll(QWidget* bar, bool vertical, UINT code, UINT position) {
    if (const platform::MessageMap* map = GetMessageMap()) {
        if (const MessageMapEntry* entry = map->findScroll(vertical)) entry->scroll(*this, code, position, bar);
    }
}

void CDialog::OnControlDrawItem(int id, LPDRAWITEMSTRUCT drawItem) { OnDrawItem(id, drawItem); }

LRESULT CDialog::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const platform::MessageMap* map = GetMessageMap()) {
        if (const MessageMapEntry* entry = map->findMessage(message)) return entry->message(*this, wParam, lParam);
    }
    return 0;
}

void CDialog::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    QMetaObject::invokeMethod(
        this, [this, message, wParam, lParam] { SendMessage(message, wParam, lParam); }, Qt::QueuedConnection);
}

void CDialog::accept() { OnControlNotify(IDOK, BN_CLICKED); }

void CDialog::reject() { OnControlNotify(IDCANCEL, BN_CLICKED); }

void CDialog::closeEvent(QCloseEvent* event) {
    if (m_bEnding || !isVisible()) {
        event->accept();
        return;
    }
    // The close box is the system menu's Close.
    event->ignore();
    OnSysCommand(SC_CLOSE, 0);
}

void CDialog::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    OnPaint(painter);
}

void CDialog::OnSysCommand(UINT id, LPARAM /*lParam*/) {
    switch (id) {
    case SC_CLOSE: OnControlNotify(IDCANCEL, BN_CLICKED); break;
    case SC_MINIMIZE: showMinimized(); break;
    case SC_MAXIMIZE: showMaximized(); break;
    case SC_RESTORE: showNormal(); break;
    default: break;
    }
}

void CDialog::buildSystemMenu() {
    m_pSystemMenu = std::make_unique<CMenu>();
    m_pSystemMenu->CreatePopupMenu();
    const DWORD style = m_template ? m_template->style : 0;
    if (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) {
        m_pSystemMenu->AppendMenu(MF_STRING, SC_RESTORE, QStringLiteral("&Restore"));
        if (style & WS_MINIMIZEBOX) m_pSystemMenu->AppendMenu(MF_STRING, SC_MINIMIZE, QStringLiteral("Mi&nimize"));
        if (style & WS_MAXIMIZEBOX) m_pSystemMenu->AppendMenu(MF_STRING, SC_MAXIMIZE, QStringLiteral("Ma&ximize"));
        m_pSystemMenu->AppendMenu(MF_SEPARATOR);
    }
    m_pSystemMenu->AppendMenu(MF_STRING, SC_CLOSE, QStringLiteral("&Close\tAlt+F4"));
    QMenu* menu = m_pSystemMenu->menu();
    connect(menu, &QMenu::aboutToShow, this, &CDialog::updateSystemMenuStates);
    connect(menu, &QMenu::triggered, this, [this](QAction* action) { OnSysCommand(menuCommandId(action), 0); });
}

void CDialog::updateSystemMenuStates() {
    const bool minimized = isMinimized(), maximized = isMaximized();
    m_pSystemMenu->EnableMenuItem(SC_RESTORE, minimized || maximized ? MF_ENABLED : MF_GRAYED);
    m_pSystemMenu->EnableMenuItem(SC_MINIMIZE, minimized ? MF_GRAYED : MF_ENABLED);
    m_pSystemMenu->EnableMenuItem(SC_MAXIMIZE, maximized ? MF_GRAYED : MF_ENABLED);
}

CMenu* CDialog::GetSystemMenu(BOOL revert) {
    if (revert) {
        buildSystemMenu();
        return nullptr;
    }
    if (!m_pSystemMenu) buildSystemMenu();
    return m_pSystemMenu.get();
}

void CDialog::ShowSystemMenu(const QPoint& globalPos) {
    CMenu* menu = GetSystemMenu(FALSE);
    menu->menu()->popup(globalPos);
}
