// SPDX-License-Identifier: MIT
// Colours, fonts and the QPainter device context.
#include "platform/widgets/gdi.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QRect>
#include <QScreen>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace platform {

QRect toQRect(const RECT& rc) { return QRect(rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top); }

RECT toRect(const QRect& rc) { return RECT{rc.left(), rc.top(), rc.left() + rc.width(), rc.top() + rc.height()}; }

int logicalDpiY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? static_cast<int>(std::lround(screen->logicalDotsPerInchY())) : 96;
}

QFont dialogFont() {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

namespace {

QString familyForFace(const QString& face, bool* bold) {
    QString family = face.trimmed();
    if (family.endsWith(QLatin1String(" Bold"), Qt::CaseInsensitive)) {
        family.chop(5);
        *bold = true;
    }
    if (family.isEmpty() || family.compare(QLatin1String("MS Shell Dlg"), Qt::CaseInsensitive) == 0 ||
        family.compare(QLatin1String("MS Shell Dlg 2"), Qt::CaseInsensitive) == 0 ||
        family.compare(QLatin1String("System"), Qt::CaseInsensitive) == 0)
        return dialogFont().family();
    return family;
}

} // namespace

QFont fontFromLogFont(const LOGFONT& lf) {
    bool boldFace = false;
    const QString face = QString::fromLocal8Bit(lf.lfFaceName, static_cast<int>(strnlen(lf.lfFaceName, LF_FACESIZE)));
    QFont font(familyForFace(face, &boldFace));
    if (face.contains(QLatin1String("Times"), Qt::CaseInsensitive)) font.setStyleHint(QFont::Serif);
    else font.setStyleHint(QFont::SansSerif);

    if (lf.lfHeight < 0) {
        font.setPixelSize(std::max<LONG>(1, -lf.lfHeight));
    } else if (lf.lfHeight > 0) {
        // A cell height: find the pixel size whose ascent plus descent comes to it.
        QFont probe(font);
        probe.setPixelSize(100);
        const qreal cell = QFontMetricsF(probe).height();
        const int pixels = cell > 0 ? static_cast<int>(std::lround(lf.lfHeight * 100.0 / cell)) : lf.lfHeight;
        font.setPixelSize(std::max(1, pixels));
    } else {
        font.setPointSizeF(dialogFont().pointSizeF());
    }

    LONG weight = lf.lfWeight == FW_DONTCARE ? FW_NORMAL : std::clamp<LONG>(lf.lfWeight, 100, 900);
    if (boldFace) weight = std::max<LONG>(weight, FW_BOLD);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(lf.lfItalic != 0);
    font.setUnderline(lf.lfUnderline != 0);
    font.setStrikeOut(lf.lfStrikeOut != 0);
    return font;
}

LOGFONT logFontFromFont(const QFont& font) {
    LOGFONT lf;
    if (font.pixelSize() > 0) lf.lfHeight = -font.pixelSize();
    else lf.lfHeight = -static_cast<LONG>(std::lround(font.pointSizeF() * logicalDpiY() / 72.0));
    lf.lfWeight = font.weight();
    lf.lfItalic = font.italic() ? 1 : 0;
    lf.lfUnderline = font.underline() ? 1 : 0;
    lf.lfStrikeOut = font.strikeOut() ? 1 : 0;
    lf.lfCharSet = DEFAULT_CHARSET;
    setFaceName(lf, font.family().toLocal8Bit().constData());
    return lf;
}

LOGFONT pointFontLogFont(int pointSize10, const char* face) {
    LOGFONT lf;
    lf.lfHeight = -static_cast<LONG>(std::lround(std::abs(pointSize10) * logicalDpiY() / 720.0));
    lf.lfCharSet = DEFAULT_CHARSET;
    setFaceName(lf, face);
    return lf;
}

void setFaceName(LOGFONT& lf, const char* face) {
    std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
    if (face) std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
}

COLORREF GetSysColor(int index) {
    const QPalette palette = QApplication::palette();
    switch (index) {
    case COLOR_WINDOW: return toColorRef(palette.color(QPalette::Base));
    case COLOR_WINDOWTEXT: return toColorRef(palette.color(QPalette::WindowText));
    case COLOR_3DFACE: return toColorRef(palette.color(QPalette::Window));
    case COLOR_3DSHADOW: return toColorRef(palette.color(QPalette::Dark));
    case COLOR_BTNTEXT: return toColorRef(palette.color(QPalette::ButtonText));
    case COLOR_3DHILIGHT: return toColorRef(palette.color(QPalette::Light));
    case COLOR_3DDKSHADOW: return toColorRef(palette.color(QPalette::Shadow));
    case COLOR_3DLIGHT: return toColorRef(palette.color(QPalette::Midlight));
    default: return RGB(0, 0, 0);
    }
}

DrawContext::DrawContext(QPainter& painter) : m_painter(painter) {}

COLORREF DrawContext::SetTextColor(COLORREF colour) { return std::exchange(m_textColour, colour); }
COLORREF DrawContext::SetBkColor(COLORREF colour) { return std::exchange(m_bkColour, colour); }
int DrawContext::SetBkMode(int mode) { return std::exchange(m_bkMode, mode); }
UINT DrawContext::SetTextAlign(UINT align) { return std::exchange(m_textAlign, align); }

QFont DrawContext::SelectObject(const QFont& font) {
    QFont previous = m_painter.font();
    m_painter.setFont(font);
    return previous;
}

void DrawContext::FillSolidRect(const RECT& rc, COLORREF colour) { m_painter.fillRect(toQRect(rc), toQColor(colour)); }

void DrawContext::FillSolidRect(int x, int y, int cx, int cy, COLORREF colour) {
    m_painter.fillRect(QRect(x, y, cx, cy).normalized(), toQColor(colour));
}

void DrawContext::Draw3dRect(const RECT& rc, COLORREF topLeft, COLORREF bottomRight) {
    const int x = rc.left, y = rc.top, cx = rc.Width(), cy = rc.Height();
    FillSolidRect(x, y, cx - 1, 1, topLeft);
    FillSolidRect(x, y, 1, cy - 1, topLeft);
    FillSolidRect(x + cx - 1, y, 1, cy, bottomRight);
    FillSolidRect(x, y + cy - 1, cx, 1, bottomRight);
}

void DrawContext::DrawEdge(const RECT& rc, UINT edge, UINT flags) {
    // Each of the two borders is one pixel: the outer one on the rectangle's rim, the inner
    // one inside it. Top and left take the first colour, bottom and right the second.
    struct Border {
        UINT raised, sunken;
        int raisedTl, raisedBr, sunkenTl, sunkenBr;
    };
    const Border borders[2] = {
        {BDR_RAISEDOUTER, BDR_SUNKENOUTER, COLOR_3DLIGHT, COLOR_3DDKSHADOW, COLOR_3DSHADOW, COLOR_3DHILIGHT},
        {BDR_RAISEDINNER, BDR_SUNKENINNER, COLOR_3DHILIGHT, COLOR_3DSHADOW, COLOR_3DDKSHADOW, COLOR_3DLIGHT},
    };
    RECT r = rc;
    for (const Border& border : borders) {
        int tl = -1, br = -1;
        if (edge & border.raised) tl = border.raisedTl, br = border.raisedBr;
        else if (edge & border.sunken) tl = border.sunkenTl, br = border.sunkenBr;
        if (tl >= 0 && r.Width() > 0 && r.Height() > 0) {
            const COLORREF light = GetSysColor(tl), dark = GetSysColor(br);
            if (flags & BF_TOP) FillSolidRect(r.left, r.top, r.Width(), 1, light);
            if (flags & BF_LEFT) FillSolidRect(r.left, r.top, 1, r.Height(), light);
            if (flags & BF_BOTTOM) FillSolidRect(r.left, r.bottom - 1, r.Width(), 1, dark);
            if (flags & BF_RIGHT) FillSolidRect(r.right - 1, r.top, 1, r.Height(), dark);
        }
        r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    }
}

int DrawContext::DrawText(const QString& text, const RECT& rc, UINT format) {
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    int flags = (format & DT_NOPREFIX) ? 0 : int(Qt::TextShowMnemonic);
    if (format & DT_CENTER) flags |= Qt::AlignHCenter;
    else if (format & DT_RIGHT) flags |= Qt::AlignRight;
    else flags |= Qt::AlignLeft;
    if (format & DT_SINGLELINE) {
        shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
        flags |= Qt::TextSingleLine;
        if (format & DT_VCENTER) flags |= Qt::AlignVCenter;
        else if (format & DT_BOTTOM) flags |= Qt::AlignBottom;
        else flags |= Qt::AlignTop;
    } else {
        flags |= Qt::AlignTop;
        if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
    }
    if (format & DT_EXPANDTABS) flags |= Qt::TextExpandTabs;

    const QRect box = toQRect(rc);
    const QRect used = m_painter.boundingRect(box, flags, shown);
    m_painter.save();
    if (!(format & DT_NOCLIP)) m_painter.setClipRect(box, Qt::IntersectClip);
    if (m_bkMode == OPAQUE) m_painter.fillRect(used, toQColor(m_bkColour));
    m_painter.setPen(toQColor(m_textColour));
    m_painter.drawText(box, flags, shown);
    m_painter.restore();
    return used.height();
}

void DrawContext::TextOut(int x, int y, const QString& text) {
    const QFontMetrics metrics(m_painter.font());
    const int baseline = (m_textAlign & TA_BASELINE) == TA_BASELINE ? y : y + metrics.ascent();
    if (m_bkMode == OPAQUE)
        m_painter.fillRect(QRect(x, baseline - metrics.ascent(), metrics.horizontalAdvance(text), metrics.height()),
                           toQColor(m_bkColour));
    m_painter.save();
    m_painter.setPen(toQColor(m_textColour));
    m_painter.drawText(QPoint(x, baseline), text);
    m_painter.restore();
}

} // namespace platform
