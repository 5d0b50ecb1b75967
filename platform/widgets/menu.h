// SPDX-License-Identifier: MIT
// CMenu over QMenu: items with numeric command ids, check marks and separators, menus read
// from the program's resources, and the menus a window keeps (its system menu).
#pragma once

#include "platform/widgets/winuser.h"

#include <QString>

#include <memory>
#include <vector>

class CDialog;
class QAction;
class QMenu;
class QXmlStreamReader;

class CMenu {
public:
    CMenu();
    ~CMenu();
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    /// Makes an empty pop-up menu; FALSE when the object already holds one.
    BOOL CreatePopupMenu();
    /// Reads menu resource `id`: a bar of pop-ups, each reached with GetSubMenu.
    BOOL LoadMenu(UINT id);

    /// Appends a string item (MF_STRING, optionally MF_CHECKED or MF_GRAYED) with a command
    /// id, or a separator (MF_SEPARATOR).
    BOOL AppendMenu(UINT flags, UINT_PTR idNewItem = 0, const QString& text = QString());
    /// Sets or clears the check mark of an item; returns its previous state (MF_CHECKED or
    /// MF_UNCHECKED), or kMenuItemMissing.
    UINT CheckMenuItem(UINT idCheckItem, UINT check);
    /// Enables or greys an item; returns its previous state, or kMenuItemMissing.
    UINT EnableMenuItem(UINT idEnableItem, UINT enable);
    /// MF_CHECKED, MF_GRAYED, MF_SEPARATOR or MF_POPUP bits of an item, or kMenuItemMissing.
    UINT GetMenuState(UINT id, UINT flags) const;
    int GetMenuItemCount() const;
    /// The command id at a position; 0 for a separator, -1 (as UINT) for a pop-up or no item.
    UINT GetMenuItemID(int position) const;
    QString GetMenuString(UINT id, UINT flags) const;
    /// The pop-up at a position, or null.
    CMenu* GetSubMenu(int position) const;
    BOOL DestroyMenu();
    /// Opens the menu at a point of the screen and returns at once; the item the user
    /// chooses reaches `owner` as a command (WM_COMMAND with the item's id).
    BOOL TrackPopupMenu(UINT flags, int x, int y, CDialog* owner);

    /// The Qt menu behind this one (null before it is made).
    QMenu* menu() const { return m_menu.get(); }
    /// The action of an item, or null.
    QAction* actionOf(UINT id, UINT flags) const;

private:
    struct Item {
        QAction* action = nullptr;
        std::unique_ptr<CMenu> popup;
    };
    std::unique_ptr<QMenu> m_menu;
    std::vector<Item> m_items;
    const Item* itemOf(UINT id, UINT flags) const;
    bool readItems(QXmlStreamReader& xml, bool allowPopups);
};

/// The command id an action of a CMenu carries.
UINT menuCommandId(const QAction* action);
