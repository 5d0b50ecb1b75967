// SPDX-License-Identifier: MIT
// The coloured group box, drawn as a Windows group box: an etched frame whose top line runs
// through the middle of the caption, and the caption on its own background.
#include "controls/groupctrlex.h"

#include <QPainter>

namespace {

constexpr int kCaptionIndent = 8; // pixels from the frame's left edge to the caption
constexpr int kCaptionPadding = 2;

} // namespace

CGroupCtrlEx::CGroupCtrlEx(QWidget* parent)
    : QGroupBox(parent), m_crBackground(platform::GetSysColor(COLOR_3DFACE)), m_crText(RGB(0, 0, 0)) {}

void CGroupCtrlEx::RedrawWindow(UINT /*flags*/) { update(); }

QRect CGroupCtrlEx::captionRect() const {
    const QFontMetrics metrics(font());
    QString shown = title();
    shown.remove(QLatin1Char('&'));
    if (shown.isEmpty()) return {};
    return QRect(kCaptionIndent, 0, metrics.horizontalAdvance(shown) + 2 * kCaptionPadding, metrics.height());
}

void CGroupCtrlEx::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const int top = metrics.height() / 2;
    const QRect frame(0, top, width() - 1, height() - top - 1);
    // Etched: a shadow line with a highlight line one pixel down and right.
    painter.setPen(platform::toQColor(platform::GetSysColor(COLOR_3DHILIGHT)));
    painter.drawRect(frame.adjusted(1, 1, 0, 0));
    painter.setPen(platform::toQColor(platform::GetSysColor(COLOR_3DSHADOW)));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));

    const QRect caption = captionRect();
    if (caption.isEmpty()) return;
    painter.fillRect(caption, platform::toQColor(m_crBackground));
    painter.setPen(isEnabled() ? platform::toQColor(m_crText) : palette().color(QPalette::Disabled, QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(caption.adjusted(kCaptionPadding, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic,
                     title());
}
