// SPDX-License-Identifier: MIT
// The preview pane's surface and painting.
#include "preview/previewpane.h"

#include "platform/gui/cdc_qt.h"
#include "platform/widgets/dialogtemplate.h"

#include <QPainter>

#include <cmath>

CPreviewPane::CPreviewPane(QWidget* parent) : CStatic(parent) {}

CPreviewPane::~CPreviewPane() = default;

QSize CPreviewPane::deviceClientSize() const {
    const QSize client = clientGeometry().size();
    const qreal ratio = devicePixelRatioF();
    return QSize(std::max(0, int(std::lround(client.width() * ratio))),
                 std::max(0, int(std::lround(client.height() * ratio))));
}

CDC* CPreviewPane::GetDC() {
    const QSize size = deviceClientSize();
    if (!m_dc || m_dc->GetWidth() != size.width() || m_dc->GetHeight() != size.height())
        m_dc = std::make_unique<CDC>(size.width(), size.height(), 0xFFFFFF);
    return m_dc.get();
}

void CPreviewPane::ReleaseDC() { update(); }

void CPreviewPane::DrawCentredText(const QString& text) {
    CDC* dc = GetDC();
    QImage& image = dc->surface().image;
    if (image.isNull()) return;
    {
        QPainter painter(&image);
        QFont f = font();
        f.setPixelSize(std::max(8, int(std::lround(QFontInfo(font()).pixelSize() * devicePixelRatioF()))));
        painter.setFont(f);
        painter.setPen(Qt::black);
        painter.drawText(image.rect(), Qt::AlignCenter | Qt::TextWordWrap, text);
    }
    ++dc->surface().generation;
}

void CPreviewPane::OnPaint(QPainter& painter, const QRect& client) {
    if (!m_dc) {
        CStatic::OnPaint(painter, client);
        return;
    }
    QImage image = m_dc->surface().image;
    image.setDevicePixelRatio(devicePixelRatioF());
    painter.drawImage(client.topLeft(), image);
}

namespace preview {

void registerControlClasses() {
    platform::registerControlClass(QStringLiteral("CPreviewPane"), [] { return new CPreviewPane; });
}

} // namespace preview

void CPreviewPane::OnLButtonDown(const QPoint& point) {
    m_ptLastPress = point;
    CStatic::OnLButtonDown(point);
}

QPoint CPreviewPane::toSurface(QPoint client) const {
    const qreal ratio = devicePixelRatioF();
    return QPoint(int(std::lround(client.x() * ratio)), int(std::lround(client.y() * ratio)));
}
