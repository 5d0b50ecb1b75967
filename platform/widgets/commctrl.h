// SPDX-License-Identifier: MIT
// The list and tree view names the window code is written against: notification codes,
// hit-test flags, item states, custom-draw stages and the records handed to handlers.
#pragma once

#include "platform/widgets/wingdi.h"
#include "platform/widgets/winuser.h"

class QTreeWidgetItem;

struct POINT {
    LONG x = 0;
    LONG y = 0;
};
using CPoint = POINT;

// Notifications of the common controls (WM_NOTIFY codes).
inline constexpr UINT NM_CLICK = static_cast<UINT>(-2);
inline constexpr UINT NM_DBLCLK = static_cast<UINT>(-3);
inline constexpr UINT NM_RCLICK = static_cast<UINT>(-5);
inline constexpr UINT NM_CUSTOMDRAW = static_cast<UINT>(-12);
inline constexpr UINT LVN_KEYDOWN = static_cast<UINT>(-155);

// List view hit tests.
inline constexpr UINT LVHT_NOWHERE = 0x0001;
inline constexpr UINT LVHT_ONITEMICON = 0x0002;
inline constexpr UINT LVHT_ONITEMLABEL = 0x0004;
inline constexpr UINT LVHT_ONITEMSTATEICON = 0x0008;
inline constexpr UINT LVHT_ONITEM = LVHT_ONITEMICON | LVHT_ONITEMLABEL | LVHT_ONITEMSTATEICON;

// List view item states.
inline constexpr UINT LVIS_FOCUSED = 0x0001;
inline constexpr UINT LVIS_SELECTED = 0x0002;

// Tree view hit tests, relations and expansion.
inline constexpr UINT TVHT_NOWHERE = 0x0001;
inline constexpr UINT TVHT_ONITEMICON = 0x0002;
inline constexpr UINT TVHT_ONITEMLABEL = 0x0004;
inline constexpr UINT TVHT_ONITEMINDENT = 0x0008;
inline constexpr UINT TVHT_ONITEMBUTTON = 0x0010;
inline constexpr UINT TVHT_ONITEMRIGHT = 0x0020;
inline constexpr UINT TVHT_ONITEM = TVHT_ONITEMICON | TVHT_ONITEMLABEL;
inline constexpr UINT TVGN_ROOT = 0x0000;
inline constexpr UINT TVGN_NEXT = 0x0001;
inline constexpr UINT TVGN_PARENT = 0x0003;
inline constexpr UINT TVGN_CHILD = 0x0004;
inline constexpr UINT TVGN_CARET = 0x0009;
inline constexpr UINT TVE_COLLAPSE = 0x0001;
inline constexpr UINT TVE_EXPAND = 0x0002;

using HTREEITEM = QTreeWidgetItem*;
/// Insertion places of CTreeCtrl::InsertItem: the top level, and after the last child.
inline HTREEITEM const TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000));
inline HTREEITEM const TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE));

// Custom draw: stages and answers.
inline constexpr DWORD CDDS_PREPAINT = 0x00000001;
inline constexpr DWORD CDDS_ITEM = 0x00010000;
inline constexpr DWORD CDDS_ITEMPREPAINT = CDDS_ITEM | CDDS_PREPAINT;
inline constexpr DWORD CDDS_SUBITEM = 0x00020000;
inline constexpr LRESULT CDRF_DODEFAULT = 0x00;
inline constexpr LRESULT CDRF_NEWFONT = 0x02;
inline constexpr LRESULT CDRF_NOTIFYITEMDRAW = 0x20;
inline constexpr LRESULT CDRF_NOTIFYSUBITEMDRAW = 0x20;

// Pop-up menu tracking.
inline constexpr UINT TPM_LEFTALIGN = 0x0000;
inline constexpr UINT TPM_RIGHTBUTTON = 0x0002;

// Virtual keys the handlers look at.
inline constexpr WORD VK_SPACE = 0x20;

/// NM_CLICK, NM_DBLCLK, NM_RCLICK of a list view: the row (or -1) and where the mouse was,
/// in the list's client coordinates.
struct NMITEMACTIVATE {
    NMHDR hdr;
    int iItem = -1;
    int iSubItem = 0;
    POINT ptAction;
};

/// LVN_KEYDOWN: the key pressed in a list view, before the list acts on it.
struct NMLVKEYDOWN {
    NMHDR hdr;
    WORD wVKey = 0;
};

/// NM_CUSTOMDRAW of a list view: the stage, the row and column, and the colours the
/// owner may change before answering CDRF_NEWFONT.
struct NMLVCUSTOMDRAW {
    NMHDR hdr;
    DWORD dwDrawStage = 0;
    int dwItemSpec = -1;
    int iSubItem = 0;
    COLORREF clrText = 0;
    COLORREF clrTextBk = 0;
};

namespace platform {

/// The screen position of the mouse event behind the notification being handled (the
/// cursor's position when no mouse event is behind it).
POINT GetMessagePos();
/// Sets the position GetMessagePos answers while a control sends a notification.
class ScopedMessagePos {
public:
    explicit ScopedMessagePos(POINT screen);
    ~ScopedMessagePos();
    ScopedMessagePos(const ScopedMessagePos&) = delete;
    ScopedMessagePos& operator=(const ScopedMessagePos&) = delete;

private:
    bool m_hadPrevious;
    POINT m_previous;
};

} // namespace platform
