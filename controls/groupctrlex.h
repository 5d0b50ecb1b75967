// SPDX-License-Identifier: MIT
// CGroupCtrlEx: a group box whose caption has its own text colour over its own background.
// It draws itself as a Windows group box does, so templates place controls as they would there.
#pragma once

#include "platform/widgets/gdi.h"

#include <QGroupBox>

class CGroupCtrlEx : public QGroupBox {
    Q_OBJECT
public:
    explicit CGroupCtrlEx(QWidget* parent = nullptr);

    /// Redraws the group box after its owner changed a colour.
    void RedrawWindow(UINT flags = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    /// Where the caption is drawn (empty without a caption).
    QRect captionRect() const;

    // Owners set these directly, then redraw.
    COLORREF m_crBackground; ///< behind the caption; the dialog face colour at first
    COLORREF m_crText;       ///< the caption; black at first

protected:
    void paintEvent(QPaintEvent* event) override;
};
