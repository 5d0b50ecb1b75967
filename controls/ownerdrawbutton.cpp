// SPDX-License-Identifier: MIT
// The owner-drawn push button.
#include "controls/ownerdrawbutton.h"

#include "platform/widgets/controls.h"
#include "platform/widgets/dialog.h"
#include "platform/widgets/gdi.h"

#include <QPainter>

OwnerDrawButton::OwnerDrawButton(QWidget* parent) : QPushButton(parent) {}

void OwnerDrawButton::paintEvent(QPaintEvent* /*event*/) {
    CDialog* owner = platform::dialogOf(this);
    if (!owner) return;
    QPainter painter(this);
    platform::DrawContext dc(painter);
    dc.SelectObject(font());
    DRAWITEMSTRUCT item;
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(platform::GetDlgCtrlID(this));
    item.itemAction = ODA_DRAWENTIRE;
    if (isDown()) item.itemState |= ODS_SELECTED;
    if (hasFocus()) item.itemState |= ODS_FOCUS;
    if (!isEnabled()) item.itemState |= ODS_DISABLED;
    item.hwndItem = this;
    item.hDC = &dc;
    item.rcItem = platform::toRect(rect());
    owner->OnControlDrawItem(platform::GetDlgCtrlID(this), &item);
}
