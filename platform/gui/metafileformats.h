// SPDX-License-Identifier: MIT
// What the WMF and EMF readers share with the renderer: the layout read from a file's
// header (and a check of its record chain) and the replay of its records.
#pragma once

#include "platform/gui/gdiplayer.h"

#include <QRectF>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace platform::detail {

struct MetafileLayout {
    MetafileKind kind = MetafileKind::Emf;
    double naturalWidth = 0, naturalHeight = 0; // pixels at 96 per inch
    std::uint32_t tableSize = 0;                 // object table slots
    std::size_t recordsOffset = 0;               // first record after the header(s)
    std::size_t recordsEnd = 0;                  // where the records stop
    // WMF: the window mapped onto the whole picture before any record changes it.
    QRectF window;
    // EMF: the frame in reference-device pixels, and that device's resolution.
    QRectF frameDevice;
    double pixelsPerMmX = 96 / 25.4, pixelsPerMmY = 96 / 25.4;
};

/// Reads the header and walks the record chain (sizes only). BadFormat, Truncated or Ok.
MetafileStatus readWmfLayout(const std::uint8_t* data, std::size_t size, MetafileLayout& layout, std::string& error);
MetafileStatus readEmfLayout(const std::uint8_t* data, std::size_t size, MetafileLayout& layout, std::string& error);

/// Replays every record onto the player; the player's status tells how it went.
void playWmf(const std::uint8_t* data, const MetafileLayout& layout, GdiPlayer& player, std::string& error);
void playEmf(const std::uint8_t* data, const MetafileLayout& layout, GdiPlayer& player, std::string& error);

/// Splits a packed DIB (BITMAPINFO followed by its bits) into its two parts; false when the
/// header does not fit.
bool splitPackedDib(const std::uint8_t* data, std::size_t size, std::uint32_t usage, DibRef& dib);

/// A logical pen (LOGPEN): its width in logical units, whatever the mapping.
GdiObject logicalPen(std::uint32_t style, double width, QColor color);
/// A logical brush (LOGBRUSH) of style kBsSolid, kBsNull or kBsHatched.
GdiObject logicalBrush(std::uint32_t style, QColor color, std::uint32_t hatch);
/// A logical font (LOGFONT) at the reader's position: EMF stores its integers in 32 bits and
/// its face in UTF-16 (`wide`), WMF in 16 bits and 8-bit characters. False when cut short.
bool readLogFont(RecordReader& r, bool wide, GdiObject& font);
/// A brush that repeats `dib`; a monochrome pattern keeps its 0 and 1 bits apart for the
/// colours chosen when it fills. Anything but Ok leaves an empty object.
DibDecode patternBrush(const DibRef& dib, std::uint64_t maxPixels, bool monochrome, GdiObject& brush);
/// Draws the `src` part of `dib` into a logical rectangle; a bitmap that does not fit its
/// header fails the player, one it cannot draw is passed over.
void drawDib(GdiPlayer& player, const DibRef& dib, const DibSourceRect& src, QRectF dest, std::uint32_t rop,
             bool keepAlpha = false, double opacity = 1.0);

/// The records that set one value of the device context, alike in both formats.
enum class DcValue { MapMode, BkMode, PolyFillMode, Rop2, StretchMode, TextAlign, TextColor, BkColor, ArcDirection };
void setDcValue(GdiPlayer& player, DcValue which, std::uint32_t value);

/// Scales the window's extent (or the viewport's) by xNum / xDen and yNum / yDen.
inline void scaleExtent(GdiPlayer& player, bool window, double xNum, double xDen, double yNum, double yDen) {
    if (window) player.scaleWindowExt(xNum, xDen, yNum, yDen);
    else player.scaleViewportExt(xNum, xDen, yNum, yDen);
}

/// Player calls that take one logical point, or one logical rectangle.
using PointCall = void (GdiPlayer::*)(QPointF);
using RectCall = void (GdiPlayer::*)(QRectF);

/// The value `table` gives for `key`, or nullptr.
template <typename Key, typename Value, std::size_t N>
const Value* lookup(const std::pair<Key, Value> (&table)[N], Key key) {
    for (const auto& [k, v] : table)
        if (k == key) return &v;
    return nullptr;
}

/// 0x00BBGGRR as GDI stores colours.
inline QColor colorRef(std::uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

/// Pen style bits shared by both formats (PS_ENDCAP_*, PS_JOIN_*).
inline Qt::PenCapStyle penCap(std::uint32_t style) {
    switch (style & 0x0F00) {
    case 0x0100: return Qt::SquareCap;
    case 0x0200: return Qt::FlatCap;
    default: return Qt::RoundCap;
    }
}
inline Qt::PenJoinStyle penJoin(std::uint32_t style) {
    switch (style & 0xF000) {
    case 0x1000: return Qt::BevelJoin;
    case 0x2000: return Qt::MiterJoin;
    default: return Qt::RoundJoin;
    }
}

} // namespace platform::detail
