// SPDX-License-Identifier: MIT
// CLabel: colours, fonts, background fills, flashing, links, 3-D and rotated text.
#include "controls/label.h"

#include "platform/services.h"
#include "platform/widgets/dialog.h"

#include <QEvent>
#include <QPainter>
#include <QPixmap>
#include <QTimerEvent>

#include <algorithm>

namespace {

constexpr UINT_PTR kFlashTimer = 1;
constexpr int kFlashMilliseconds = 500;
constexpr int kMaxGradientBands = 100;

} // namespace

CLabel::CLabel(QWidget* parent)
    : CStatic(parent), m_crText(platform::GetSysColor(COLOR_WINDOWTEXT)),
      m_crDefaultBrush(platform::GetSysColor(COLOR_3DFACE)) {}

CLabel::~CLabel() = default;

void CLabel::PreSubclassWindow() {
    m_lf = platform::logFontFromFont(font());
    rebuildFont();
}

void CLabel::rebuildFont() {
    m_font = platform::fontFromLogFont(m_lf);
    m_bFontMade = true;
    redraw();
}

void CLabel::redraw() {
    // The label and the part of its parent beneath it, so a transparent label shows what
    // the parent paints there.
    update();
    if (QWidget* parent = parentWidget()) parent->update(geometry());
}

CLabel& CLabel::SetBackground(COLORREF colour, COLORREF endColour, int mode) {
    m_crBackground = colour;
    m_crGradientEnd = endColour;
    m_nBackMode = mode;
    m_crBackBrush.reset();
    if (mode == BackSolid) m_crBackBrush = colour;
    redraw();
    return *this;
}

CLabel& CLabel::SetTextColor(COLORREF colour) {
    m_crText = colour;
    redraw();
    return *this;
}

CLabel& CLabel::SetText(const QString& text) {
    SetWindowText(text);
    redraw();
    return *this;
}

CLabel& CLabel::SetBold(bool bold) {
    if (!m_bFontMade) PreSubclassWindow();
    m_lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    rebuildFont();
    return *this;
}

CLabel& CLabel::SetFaceName(const QString& face, BYTE charSet) {
    if (!m_bFontMade) PreSubclassWindow();
    platform::setFaceName(m_lf, face.toLocal8Bit().constData());
    m_lf.lfCharSet = charSet;
    rebuildFont();
    return *this;
}

CLabel& CLabel::SetUnderline(bool underline) {
    if (!m_bFontMade) PreSubclassWindow();
    m_lf.lfUnderline = underline ? 1 : 0;
    rebuildFont();
    return *this;
}

CLabel& CLabel::SetItalic(bool italic) {
    if (!m_bFontMade) PreSubclassWindow();
    m_lf.lfItalic = italic ? 1 : 0;
    rebuildFont();
    return *this;
}

CLabel& CLabel::SetPointSize(int points) {
    if (!m_bFontMade) PreSubclassWindow();
    const LOGFONT point = platform::pointFontLogFont(points * 10, m_lf.lfFaceName);
    m_lf.lfHeight = point.lfHeight;
    m_lf.lfWidth = point.lfWidth;
    rebuildFont();
    return *this;
}

CLabel& CLabel::SetSunkenEdge(bool sunken) {
    if (sunken) ModifyStyleEx(0, WS_EX_STATICEDGE);
    else ModifyStyleEx(WS_EX_STATICEDGE, 0);
    redraw();
    return *this;
}

CLabel& CLabel::SetBorder(bool border) {
    if (border) ModifyStyle(0, WS_BORDER);
    else ModifyStyle(WS_BORDER, 0);
    redraw();
    return *this;
}

CLabel& CLabel::SetTransparent(bool transparent) {
    m_bTransparent = transparent;
    ModifyStyleEx(0, WS_EX_TRANSPARENT);
    redraw();
    return *this;
}

void CLabel::stopTimer() {
    if (m_bTimer) {
        m_timer.stop();
        m_bTimer = false;
    }
}

void CLabel::startTimer500() {
    m_timer.start(kFlashMilliseconds, this);
    m_bTimer = true;
}

CLabel& CLabel::FlashText(bool flash) {
    stopTimer();
    if (!flash) {
        m_nFlashKind = FlashNone;
    } else {
        m_nFlashState = 0;
        startTimer500();
        m_nFlashKind = FlashTextKind;
    }
    redraw();
    return *this;
}

CLabel& CLabel::FlashBackground(bool flash) {
    stopTimer();
    if (flash) {
        m_nFlashState = 0;
        startTimer500();
        m_nFlashKind = FlashBackgroundKind;
    }
    redraw();
    return *this;
}

CLabel& CLabel::SetWebLink(bool link, bool notifyParent) {
    m_nLinkKind = link ? LinkWeb : LinkNone;
    m_bNotifyParent = notifyParent;
    if (link) ModifyStyle(0, SS_NOTIFY);
    else ModifyStyle(SS_NOTIFY, 0);
    return *this;
}

CLabel& CLabel::SetMailLink(bool link, bool notifyParent) {
    m_nLinkKind = link ? LinkMail : LinkNone;
    m_bNotifyParent = notifyParent;
    if (link) ModifyStyle(0, SS_NOTIFY);
    else ModifyStyle(SS_NOTIFY, 0);
    return *this;
}

CLabel& CLabel::SetLinkCursor(const QCursor& cursor) {
    m_hLinkCursor = cursor;
    setCursor(cursor);
    return *this;
}

CLabel& CLabel::Set3DText(bool on, int kind) {
    m_b3DText = on;
    m_n3DKind = kind;
    redraw();
    return *this;
}

CLabel& CLabel::SetRotation(int angle, bool rotated) {
    if (!m_bFontMade) PreSubclassWindow();
    m_lf.lfEscapement = m_lf.lfOrientation = angle * 10;
    m_bRotated = rotated;
    rebuildFont();
    return *this;
}

CLabel& CLabel::Set3DHighlightColor(COLORREF colour) {
    m_crHiColor = colour;
    redraw();
    return *this;
}

CLabel& CLabel::SetLogFont(LOGFONT lf) {
    m_lf = lf;
    rebuildFont();
    return *this;
}

CLabel& CLabel::SetLinkTarget(const QString& target) {
    m_strLinkTarget = target;
    return *this;
}

void CLabel::OnTimer(UINT_PTR idEvent) {
    if (idEvent != kFlashTimer) return;
    m_nFlashState = m_nFlashState ? 0 : 1;
    redraw();
}

void CLabel::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) OnTimer(kFlashTimer);
    else CStatic::timerEvent(event);
}

void CLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ApplicationPaletteChange) {
        m_crDefaultBrush = platform::GetSysColor(COLOR_3DFACE);
        update();
    }
    CStatic::changeEvent(event);
}

void CLabel::OnLButtonDown(const QPoint& point) {
    if (m_bNotifyParent) {
        NMHDR header;
        header.hwndFrom = this;
        header.idFrom = static_cast<UINT_PTR>(platform::GetDlgCtrlID(this));
        header.code = NM_LINKCLICK;
        if (CDialog* dialog = platform::dialogOf(this)) dialog->OnControlWmNotify(&header);
    } else if (m_nLinkKind == LinkWeb) {
        const QString target = m_strLinkTarget.isEmpty() ? GetWindowText() : m_strLinkTarget;
        ShellExecuteA(this, "open", target.toUtf8().constData(), nullptr, nullptr, SW_SHOWNORMAL);
    } else if (m_nLinkKind == LinkMail) {
        const QString address = QStringLiteral("mailto:") + GetWindowText();
        ShellExecuteA(this, nullptr, address.toUtf8().constData(), nullptr, nullptr, SW_SHOWNORMAL);
    }
    CStatic::OnLButtonDown(point);
}

COLORREF CLabel::backgroundBrushColour() const { return m_crBackBrush.value_or(m_crDefaultBrush); }

UINT CLabel::textFormat(const QString& text) const {
    const DWORD style = GetStyle();
    UINT format = DT_WORDBREAK;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER: format = DT_CENTER | DT_WORDBREAK; break;
    case SS_RIGHT: format = DT_RIGHT | DT_WORDBREAK; break;
    case SS_LEFTNOWORDWRAP: format = DT_LEFT; break;
    default: break;
    }
    if (text.contains(QLatin1Char('\t'))) format |= DT_EXPANDTABS;
    if (style & SS_CENTERIMAGE) {
        format = DT_CENTER;
        if (!text.contains(QLatin1String("\r\n"))) format |= DT_VCENTER | DT_SINGLELINE;
    }
    return format;
}

void CLabel::paintBackground(platform::DrawContext& dc, const QRect& client) const {
    // A background flash shows the plain face colour on every other tick while it runs.
    if (m_nFlashKind == FlashBackgroundKind && m_bTimer && m_nFlashState == 0) {
        dc.FillSolidRect(platform::toRect(client), m_crDefaultBrush);
        return;
    }
    if (m_nBackMode == BackSolid) {
        dc.FillSolidRect(platform::toRect(client), backgroundBrushColour());
        return;
    }
    const int width = client.width();
    const int bands = std::min(width, kMaxGradientBands);
    for (int i = 0; i < bands; ++i) {
        // The first band has the start colour and the last the end colour exactly.
        auto channel = [&](BYTE from, BYTE to) {
            return bands > 1 ? from + (int(to) - int(from)) * i / (bands - 1) : int(from);
        };
        const COLORREF colour = RGB(channel(GetRValue(m_crBackground), GetRValue(m_crGradientEnd)),
                                    channel(GetGValue(m_crBackground), GetGValue(m_crGradientEnd)),
                                    channel(GetBValue(m_crBackground), GetBValue(m_crGradientEnd)));
        const int left = client.left() + width * i / bands;
        const int right = client.left() + width * (i + 1) / bands;
        dc.FillSolidRect(left, client.top(), right - left, client.height(), colour);
    }
}

void CLabel::OnPaint(QPainter& screen, const QRect& client) {
    auto paint = [&](QPainter& painter) {
        platform::DrawContext dc(painter);
        if (!m_bTransparent) paintBackground(dc, client);

        COLORREF textColour = m_crText;
        if (m_nFlashKind == FlashTextKind && m_nFlashState == 0)
            textColour = m_crBackBrush.value_or(RGB(0, 0, 0)); // the text vanishes into the background
        dc.SetBkMode(TRANSPARENT);
        dc.SelectObject(m_bFontMade ? m_font : font());
        const QString text = GetWindowText();

        auto drawAt = [&](int dx, int dy, COLORREF colour) {
            dc.SetTextColor(colour);
            if (m_bRotated) {
                painter.save();
                painter.translate(client.left() + client.width() / 2 + dx, client.top() + client.height() / 2 + dy);
                painter.rotate(-m_lf.lfEscapement / 10.0);
                dc.SetTextAlign(TA_BASELINE);
                dc.TextOut(0, 0, text);
                painter.restore();
            } else {
                RECT rc = platform::toRect(client);
                rc.left += dx, rc.right += dx, rc.top += dy, rc.bottom += dy;
                dc.DrawText(text, rc, textFormat(text));
            }
        };
        drawAt(0, 0, textColour);
        if (m_b3DText) {
            const int offset = m_n3DKind != 0 ? 1 : -1;
            drawAt(offset, offset, m_crHiColor);
        }
    };

    if (m_bTransparent) {
        paint(screen);
        return;
    }
    // Drawn off screen first and copied in one piece, so a flashing label never flickers.
    const qreal ratio = devicePixelRatioF();
    QPixmap buffer(client.size() * ratio);
    buffer.setDevicePixelRatio(ratio);
    buffer.fill(Qt::transparent);
    {
        QPainter painter(&buffer);
        painter.setFont(font());
        paint(painter);
    }
    screen.drawPixmap(client.topLeft(), buffer);
}
