// SPDX-License-Identifier: MIT
// PCX (ZSoft Paintbrush) file layout: the 128-byte header, plane layouts and palettes, and
// the parsed header the reader works from.
//
// Format document: ZSoft PCX Technical Reference Manual, revision 5,
//   https://www.fileformat.info/format/pcx/egff.htm
#pragma once

#include "imaging/detail/bytereader.h"

#include <cstdint>

namespace imaging::pcx {

inline constexpr std::uint32_t kHeaderSize = 128;
inline constexpr std::uint8_t kManufacturer = 0x0A;
inline constexpr std::uint8_t kVersionNoPalette = 3; ///< version 2.8 without palette information
inline constexpr std::uint8_t kEncodingNone = 0;
inline constexpr std::uint8_t kEncodingRle = 1;
inline constexpr std::uint8_t kRunFlag = 0xC0;       ///< top two bits set: a run of (byte & 0x3F)
inline constexpr std::uint8_t kPaletteMarker = 0x0C; ///< precedes the 256-colour palette at the end
inline constexpr std::uint32_t kEndPaletteSize = 769; ///< marker + 256 RGB triples

/// How the planes of a scan line make pixels.
enum class Layout {
    Packed,  ///< one plane of 1, 2, 4 or 8-bit indexes
    Planar,  ///< 2, 3 or 4 planes of one bit each, giving a 4, 8 or 16-colour index
    Rgb,     ///< three planes of 8 bits: red, green, blue
    Rgba,    ///< four planes of 8 bits: red, green, blue, alpha
};

struct Header {
    std::uint8_t version = 0;
    std::uint8_t encoding = 0;
    std::uint8_t bitsPerPlane = 0;
    std::uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    std::uint16_t hDpi = 0, vDpi = 0;
    std::uint8_t headerPalette[48] = {};
    std::uint8_t planes = 0;
    std::uint16_t bytesPerLine = 0; ///< per plane; may exceed what the width needs
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    Layout layout = Layout::Packed;

    std::uint32_t bitsPerPixel() const { return std::uint32_t{bitsPerPlane} * planes; }
    std::uint64_t scanlineBytes() const { return std::uint64_t{bytesPerLine} * planes; }
};

/// Reads and checks the header from the reader's position (the start of the file).
/// Returns IS5_OK or the layer's error code.
std::uint32_t readHeader(detail::ByteReader& in, Header& header);

} // namespace imaging::pcx
