// SPDX-License-Identifier: MIT
// Menus over QMenu, and menu resources.
#include "platform/widgets/menu.h"

#include "platform/widgets/dialog.h"
#include "platform/widgets/resources.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QXmlStreamReader>

namespace {

constexpr char kCommandIdProperty[] = "commandId";
// The check state the program gave an item. Qt flips a checkable action when it is
// chosen; a Windows menu item keeps its mark until the program changes it.
constexpr char kCheckedProperty[] = "menuChecked";

void setItemChecked(QAction* action, bool checked) {
    action->setProperty(kCheckedProperty, checked);
    action->setChecked(checked);
}

} // namespace

UINT menuCommandId(const QAction* action) {
    return action ? action->property(kCommandIdProperty).toUInt() : 0;
}

CMenu::CMenu() = default;
CMenu::~CMenu() = default;

BOOL CMenu::CreatePopupMenu() {
    if (m_menu) return FALSE;
    m_menu = std::make_unique<QMenu>();
    return TRUE;
}

BOOL CMenu::DestroyMenu() {
    if (!m_menu) return FALSE;
    m_items.clear();
    m_menu.reset();
    return TRUE;
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR idNewItem, const QString& text) {
    if (!m_menu && !CreatePopupMenu()) return FALSE;
    Item item;
    if (flags & MF_SEPARATOR) {
        item.action = m_menu->addSeparator();
    } else {
        item.action = m_menu->addAction(text);
        item.action->setProperty(kCommandIdProperty, static_cast<uint>(idNewItem));
        item.action->setCheckable(true);
        setItemChecked(item.action, (flags & MF_CHECKED) != 0);
        QAction* action = item.action;
        QObject::connect(action, &QAction::toggled, action, [action](bool checked) {
            const bool kept = action->property(kCheckedProperty).toBool();
            if (checked != kept) action->setChecked(kept);
        });
        item.action->setEnabled((flags & (MF_GRAYED | MF_DISABLED)) == 0);
    }
    m_items.push_back(std::move(item));
    return TRUE;
}

const CMenu::Item* CMenu::itemOf(UINT id, UINT flags) const {
    if (flags & MF_BYPOSITION) return id < m_items.size() ? &m_items[id] : nullptr;
    for (const Item& item : m_items) {
        if (!item.popup && !item.action->isSeparator() && menuCommandId(item.action) == id) return &item;
    }
    // Windows also looks through the pop-ups for a command.
    for (const Item& item : m_items) {
        if (item.popup) {
            if (const Item* found = item.popup->itemOf(id, flags)) return found;
        }
    }
    return nullptr;
}

QAction* CMenu::actionOf(UINT id, UINT flags) const {
    const Item* item = itemOf(id, flags);
    return item ? item->action : nullptr;
}

UINT CMenu::GetMenuState(UINT id, UINT flags) const {
    const Item* item = itemOf(id, flags);
    if (!item) return kMenuItemMissing;
    UINT state = 0;
    if (item->popup) state |= MF_POPUP;
    if (item->action->isSeparator()) state |= MF_SEPARATOR;
    if (item->action->property(kCheckedProperty).toBool()) state |= MF_CHECKED;
    if (!item->action->isEnabled()) state |= MF_GRAYED;
    return state;
}

UINT CMenu::CheckMenuItem(UINT idCheckItem, UINT check) {
    const Item* item = itemOf(idCheckItem, check);
    if (!item) return kMenuItemMissing;
    const UINT previous = item->action->property(kCheckedProperty).toBool() ? MF_CHECKED : MF_UNCHECKED;
    setItemChecked(item->action, (check & MF_CHECKED) != 0);
    return previous;
}

UINT CMenu::EnableMenuItem(UINT idEnableItem, UINT enable) {
    const Item* item = itemOf(idEnableItem, enable);
    if (!item) return kMenuItemMissing;
    const UINT previous = item->action->isEnabled() ? MF_ENABLED : MF_GRAYED;
    item->action->setEnabled((enable & (MF_GRAYED | MF_DISABLED)) == 0);
    return previous;
}

int CMenu::GetMenuItemCount() const { return m_menu ? static_cast<int>(m_items.size()) : -1; }

UINT CMenu::GetMenuItemID(int position) const {
    if (position < 0 || position >= static_cast<int>(m_items.size())) return kMenuItemMissing;
    const Item& item = m_items[static_cast<std::size_t>(position)];
    if (item.popup) return kMenuItemMissing;
    return item.action->isSeparator() ? 0 : menuCommandId(item.action);
}

QString CMenu::GetMenuString(UINT id, UINT flags) const {
    const Item* item = itemOf(id, flags);
    return item ? item->action->text() : QString();
}

CMenu* CMenu::GetSubMenu(int position) const {
    if (position < 0 || position >= static_cast<int>(m_items.size())) return nullptr;
    return m_items[static_cast<std::size_t>(position)].popup.get();
}

// <menu id="156"><popup text="FileMenu"><item id="32771" text="Select All"/><separator/></popup></menu>
bool CMenu::readItems(QXmlStreamReader& xml, bool allowPopups) {
    while (xml.readNextStartElement()) {
        const auto attributes = xml.attributes();
        if (xml.name() == QLatin1String("item")) {
            bool ok = false;
            const UINT id = attributes.value(QLatin1String("id")).toUInt(&ok);
            if (!ok) return false;
            UINT flags = MF_STRING;
            if (attributes.value(QLatin1String("checked")) == QLatin1String("true")) flags |= MF_CHECKED;
            if (attributes.value(QLatin1String("grayed")) == QLatin1String("true")) flags |= MF_GRAYED;
            AppendMenu(flags, id, attributes.value(QLatin1String("text")).toString());
            xml.skipCurrentElement();
        } else if (xml.name() == QLatin1String("separator")) {
            AppendMenu(MF_SEPARATOR);
            xml.skipCurrentElement();
        } else if (xml.name() == QLatin1String("popup") && allowPopups) {
            auto popup = std::make_unique<CMenu>();
            popup->CreatePopupMenu();
            popup->menu()->setTitle(attributes.value(QLatin1String("text")).toString());
            if (!popup->readItems(xml, false)) return false;
            Item item;
            item.action = m_menu->addMenu(popup->menu());
            item.popup = std::move(popup);
            m_items.push_back(std::move(item));
        } else {
            return false;
        }
    }
    return true;
}

BOOL CMenu::LoadMenu(UINT id) {
    if (m_menu) return FALSE;
    QFile file(platform::menuPath(id));
    if (!file.open(QIODevice::ReadOnly)) return FALSE;
    QXmlStreamReader xml(&file);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("menu")) return FALSE;
    CreatePopupMenu();
    if (!readItems(xml, true) || xml.hasError()) {
        DestroyMenu();
        return FALSE;
    }
    return TRUE;
}

BOOL CMenu::TrackPopupMenu(UINT /*flags*/, int x, int y, CDialog* owner) {
    if (!m_menu) return FALSE;
    QMenu* menu = m_menu.get();
    QObject::disconnect(menu, &QMenu::triggered, nullptr, nullptr);
    if (owner) {
        QObject::connect(menu, &QMenu::triggered, owner, [owner](QAction* action) {
            owner->OnControlNotify(static_cast<int>(menuCommandId(action)), BN_CLICKED);
        });
    }
    menu->popup(QPoint(x, y));
    return TRUE;
}
