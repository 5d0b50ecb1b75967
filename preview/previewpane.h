// SPDX-License-Identifier: MIT
// The preview pane: a framed static control that keeps a drawing surface (a CDC) of its
// client size in device pixels and paints it whenever it is shown or uncovered, so what
// the program drew stays until it draws again, sharp at any scaling.
#pragma once

#include "platform/gui/cdc.h"
#include "platform/widgets/controls.h"

#include <memory>

class CPreviewPane : public CStatic {
    Q_OBJECT
public:
    explicit CPreviewPane(QWidget* parent = nullptr);
    ~CPreviewPane() override;

    /// The surface to draw on, of the client size in device pixels (made anew, white,
    /// when that size changed).
    CDC* GetDC();
    /// Shows what was drawn on the surface.
    void ReleaseDC();
    /// The surface as it is (null before the first GetDC).
    CDC* surface() const { return m_dc.get(); }
    /// The client size in device pixels.
    QSize deviceClientSize() const;
    /// Draws a line of text centred on the surface, in black.
    void DrawCentredText(const QString& text);
    /// Where the left button last went down, in client coordinates (logical pixels).
    QPoint lastPress() const { return m_ptLastPress; }
    /// A point of the client area in surface (device) pixels.
    QPoint toSurface(QPoint client) const;

protected:
    void OnPaint(QPainter& painter, const QRect& client) override;
    void OnLButtonDown(const QPoint& point) override;

private:
    std::unique_ptr<CDC> m_dc;
    QPoint m_ptLastPress;
};

namespace preview {
/// Makes CPreviewPane known to the dialog templates. Safe to call again.
void registerControlClasses();
} // namespace preview
