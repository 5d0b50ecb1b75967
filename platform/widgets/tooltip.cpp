// SPDX-License-Identifier: MIT
// Tool tips over QWidget::toolTip.
#include "platform/widgets/tooltip.h"

BOOL CToolTipCtrl::Create(QWidget* parent) {
    if (m_parent || !parent) return FALSE;
    m_parent = parent;
    return TRUE;
}

void CToolTipCtrl::Activate(BOOL activate) {
    m_bActive = activate != FALSE;
    for (const Tool& tool : m_tools) {
        if (tool.control) tool.control->setToolTip(m_bActive ? tool.text : QString());
    }
}

BOOL CToolTipCtrl::AddTool(QWidget* control, const QString& text) {
    if (!m_parent || !control) return FALSE;
    m_tools.push_back({control, text});
    if (m_bActive) control->setToolTip(text);
    return TRUE;
}

QString CToolTipCtrl::GetText(const QWidget* control) const {
    for (const Tool& tool : m_tools) {
        if (tool.control == control) return tool.text;
    }
    return {};
}
