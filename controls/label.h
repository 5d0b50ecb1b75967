// SPDX-License-Identifier: MIT
// CLabel: a static control with its own text and background colours, font, gradient or
// solid background, text or background flashing, web and mail links, 3-D and rotated text.
#pragma once

#include "platform/widgets/controls.h"
#include "platform/widgets/gdi.h"

#include <QBasicTimer>
#include <QCursor>

#include <optional>

/// The notify-parent code a label sends in WM_NOTIFY when it is clicked.
inline constexpr UINT NM_LINKCLICK = 0x8200;

class CLabel : public CStatic {
    Q_OBJECT
public:
    enum LinkKind { LinkNone = 0, LinkWeb = 1, LinkMail = 2 };
    enum FlashKind { FlashNone = 0, FlashTextKind = 1, FlashBackgroundKind = 2 };
    enum BackMode { BackSolid = 0, BackGradient = 1 };

    explicit CLabel(QWidget* parent = nullptr);
    ~CLabel() override;

    // Every operation returns the label, so calls chain; all that change the look redraw it.
    virtual CLabel& SetBackground(COLORREF colour, COLORREF endColour = 0, int mode = BackSolid);
    virtual CLabel& SetTextColor(COLORREF colour);
    virtual CLabel& SetText(const QString& text);
    virtual CLabel& SetBold(bool bold);
    virtual CLabel& SetFaceName(const QString& face, BYTE charSet = DEFAULT_CHARSET);
    virtual CLabel& SetUnderline(bool underline);
    virtual CLabel& SetItalic(bool italic);
    virtual CLabel& SetPointSize(int points);
    virtual CLabel& SetSunkenEdge(bool sunken);
    virtual CLabel& SetBorder(bool border);
    virtual CLabel& SetTransparent(bool transparent);
    virtual CLabel& FlashText(bool flash);
    virtual CLabel& FlashBackground(bool flash);
    virtual CLabel& SetWebLink(bool link, bool notifyParent);
    virtual CLabel& SetLinkCursor(const QCursor& cursor);
    virtual CLabel& Set3DText(bool on, int kind);
    virtual CLabel& SetRotation(int angle, bool rotated);
    virtual CLabel& Set3DHighlightColor(COLORREF colour);
    virtual CLabel& SetLogFont(LOGFONT lf);
    virtual CLabel& SetMailLink(bool link, bool notifyParent);
    virtual CLabel& SetLinkTarget(const QString& target);

    /// Takes the control's font into the label's font description.
    void PreSubclassWindow() override;

    /// Timer handler: timer 1 toggles the flash state and redraws.
    void OnTimer(UINT_PTR idEvent);

    // What the label holds, for its owners and tests.
    COLORREF GetTextColor() const { return m_crText; }
    const LOGFONT& GetLogFont() const { return m_lf; }
    const QFont& GetFont() const { return m_font; }
    bool IsFlashTimerRunning() const { return m_bTimer; }
    int GetFlashState() const { return m_nFlashState; }
    int GetLinkKind() const { return m_nLinkKind; }
    QString GetLinkTarget() const { return m_strLinkTarget; }

protected:
    void OnPaint(QPainter& painter, const QRect& client) override;
    void OnLButtonDown(const QPoint& point) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void rebuildFont();
    void redraw();
    void stopTimer();
    void startTimer500();
    COLORREF backgroundBrushColour() const;
    UINT textFormat(const QString& text) const;
    void paintBackground(platform::DrawContext& dc, const QRect& client) const;

    COLORREF m_crText;
    COLORREF m_crHiColor = RGB(255, 255, 255);
    COLORREF m_crDefaultBrush;                // COLOR_3DFACE; follows system colour changes
    std::optional<COLORREF> m_crBackBrush;    // the solid background brush, when one is made
    LOGFONT m_lf;
    QFont m_font;
    int m_nFlashState = 0;
    bool m_bTimer = false;
    int m_nLinkKind = LinkNone;
    bool m_bTransparent = false;
    bool m_b3DText = false;
    int m_n3DKind = 0;
    bool m_bNotifyParent = false;
    bool m_bRotated = false;
    int m_nFlashKind = FlashNone;
    std::optional<QCursor> m_hLinkCursor;
    int m_nBackMode = BackSolid;
    COLORREF m_crGradientEnd = 0;
    COLORREF m_crBackground = 0;
    QString m_strLinkTarget;
    QBasicTimer m_timer;
    bool m_bFontMade = false;
};
