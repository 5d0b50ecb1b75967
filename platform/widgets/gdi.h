// SPDX-License-Identifier: MIT
// Colours, fonts and a device context over QPainter, so window code can draw with the
// GDI calls it was written for (FillSolidRect, DrawEdge, DrawText, ...).
#pragma once

#include "platform/widgets/wingdi.h"
#include "platform/widgets/winuser.h"

#include <QColor>
#include <QFont>
#include <QString>

class QPainter;
class QRect;

namespace platform {

inline QColor toQColor(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
inline COLORREF toColorRef(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }

QRect toQRect(const RECT& rc);
RECT toRect(const QRect& rc);

/// Vertical dots per inch of the primary screen (96 when there is none).
int logicalDpiY();

/// The dialog font: the desktop's sans-serif family at 8 points.
QFont dialogFont();

/// The font a description stands for. Windows face names map to families that fontconfig
/// resolves ("MS Shell Dlg" to the dialog font's family, Arial and Times New Roman to their
/// metric-compatible faces); a face "X Bold" means family X at weight 700 at least. A
/// positive height is the cell height (ascent plus descent), a negative one the character
/// height, both in pixels.
QFont fontFromLogFont(const LOGFONT& lf);

/// The description of a font: face, character height in pixels (negative), weight, flags.
LOGFONT logFontFromFont(const QFont& font);

/// What CreatePointFont makes: `pointSize10` tenths of a point in `face`, as a character
/// height in pixels of the primary screen.
LOGFONT pointFontLogFont(int pointSize10, const char* face);

/// Copies a face name into a description, cut to LF_FACESIZE - 1 bytes.
void setFaceName(LOGFONT& lf, const char* face);

/// The system colours, taken from the application palette (so they follow its changes).
COLORREF GetSysColor(int index);

/// A device context over a QPainter: text colour, background colour and mode, one
/// selected font, and the GDI drawing calls the window code uses. A new context has
/// black text on an opaque white background, as a fresh Windows DC.
class DrawContext {
public:
    explicit DrawContext(QPainter& painter);

    QPainter& painter() { return m_painter; }

    COLORREF SetTextColor(COLORREF colour);
    COLORREF GetTextColor() const { return m_textColour; }
    COLORREF SetBkColor(COLORREF colour);
    COLORREF GetBkColor() const { return m_bkColour; }
    int SetBkMode(int mode);
    int GetBkMode() const { return m_bkMode; }
    UINT SetTextAlign(UINT align);
    /// Selects a font and returns the one selected before.
    QFont SelectObject(const QFont& font);

    void FillSolidRect(const RECT& rc, COLORREF colour);
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF colour);
    /// A one-pixel frame: top and left in one colour, bottom and right in the other.
    void Draw3dRect(const RECT& rc, COLORREF topLeft, COLORREF bottomRight);
    /// Raised or sunken two-pixel edges on the sides `flags` names (BF_RECT for all).
    void DrawEdge(const RECT& rc, UINT edge, UINT flags);
    /// Draws text into a rectangle with DT_ flags; returns the height of the text drawn.
    /// CR LF pairs break lines; DT_VCENTER and DT_BOTTOM apply to DT_SINGLELINE only. In
    /// OPAQUE mode the text's own lines are filled with the background colour first.
    int DrawText(const QString& text, const RECT& rc, UINT format);
    /// Draws text at a point, aligned by SetTextAlign (left, and top or baseline).
    void TextOut(int x, int y, const QString& text);

private:
    QPainter& m_painter;
    COLORREF m_textColour = RGB(0, 0, 0);
    COLORREF m_bkColour = RGB(255, 255, 255);
    int m_bkMode = OPAQUE;
    UINT m_textAlign = TA_LEFT;
};

} // namespace platform
