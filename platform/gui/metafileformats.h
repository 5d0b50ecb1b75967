// SPDX-License-Identifier: MIT
// What the WMF and EMF readers share with the renderer: the layout read from a file's
// header (and a check of its record chain) and the replay of its records.
#pragma once

#include "platform/gui/gdiplayer.h"

#include <QRectF>

#include <cstddef>
#include <cstdint>
#include <string>

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
