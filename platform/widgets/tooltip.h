// SPDX-License-Identifier: MIT
// CToolTipCtrl: a window's tool tips, one text per control, shown while the control is active.
#pragma once

#include "platform/wintypes.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <vector>

class CToolTipCtrl {
public:
    /// Makes the tool tip control of a window; FALSE when it already exists.
    BOOL Create(QWidget* parent);
    /// Shows (TRUE) or hides (FALSE) every tool's tip.
    void Activate(BOOL activate);
    /// Adds a tool for a control with its text.
    BOOL AddTool(QWidget* control, const QString& text);
    /// The text of a control's tool, or an empty string.
    QString GetText(const QWidget* control) const;
    int GetToolCount() const { return static_cast<int>(m_tools.size()); }

private:
    struct Tool {
        QPointer<QWidget> control;
        QString text;
    };
    QPointer<QWidget> m_parent;
    bool m_bActive = false;
    std::vector<Tool> m_tools;
};
