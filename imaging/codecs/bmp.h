// SPDX-License-Identifier: MIT
// BMP file layout: the header variants, compression codes and the parsed header the reader
// works from.
//
// Format documents:
//   https://learn.microsoft.com/en-us/windows/win32/gdi/bitmap-storage
//   https://learn.microsoft.com/en-us/windows/win32/api/wingdi/ns-wingdi-bitmapv5header
//   https://www.fileformat.info/format/os2bmp/egff.htm (OS/2 1.x and 2.x headers)
//   https://entropymine.com/jason/bmpsuite/bmpsuite/html/bmpsuite.html (variants in the wild)
#pragma once

#include "imaging/detail/bytereader.h"

#include <array>
#include <cstdint>

namespace imaging::bmp {

inline constexpr std::uint32_t kFileHeaderSize = 14;
inline constexpr std::uint32_t kCoreHeaderSize = 12;    ///< OS/2 1.x BITMAPCOREHEADER
inline constexpr std::uint32_t kOs2MinHeaderSize = 16;  ///< OS/2 2.x headers may stop after any field
inline constexpr std::uint32_t kOs2MaxHeaderSize = 64;
inline constexpr std::uint32_t kInfoHeaderSize = 40;    ///< BITMAPINFOHEADER
inline constexpr std::uint32_t kV2HeaderSize = 52;      ///< adds red, green and blue masks
inline constexpr std::uint32_t kV3HeaderSize = 56;      ///< adds the alpha mask
inline constexpr std::uint32_t kV4HeaderSize = 108;
inline constexpr std::uint32_t kV5HeaderSize = 124;

// biCompression of the Windows headers.
inline constexpr std::uint32_t kRgb = 0;
inline constexpr std::uint32_t kRle8 = 1;
inline constexpr std::uint32_t kRle4 = 2;
inline constexpr std::uint32_t kBitfields = 3;
inline constexpr std::uint32_t kJpeg = 4;
inline constexpr std::uint32_t kPng = 5;
inline constexpr std::uint32_t kAlphaBitfields = 6;
// The same field of an OS/2 2.x header gives codes 3 and 4 other meanings.
inline constexpr std::uint32_t kOs2Huffman1d = 3;
inline constexpr std::uint32_t kOs2Rle24 = 4;

/// How the pixel data is laid out, once header variant and compression are sorted out.
enum class Encoding {
    Indexed,   ///< 1, 2, 4 or 8 bits of palette index, uncompressed
    Rle8,
    Rle4,
    Rle24,     ///< OS/2 2.x: runs of B, G, R triples
    Rgb24,     ///< B, G, R bytes
    Masked,    ///< 16, 24 or 32-bit little-endian words split by channel masks
};

/// One colour channel of a masked pixel: where it sits and how many bits it has.
struct Channel {
    std::uint32_t mask = 0;
    std::uint32_t shift = 0;
    std::uint32_t bits = 0;
};

struct Header {
    std::uint32_t headerSize = 0;
    bool os2 = false;                 ///< an OS/2 header (1.x or 2.x)
    std::uint32_t width = 0;
    std::uint32_t height = 0;         ///< absolute value of the stored height
    bool topDown = false;             ///< stored height was negative
    std::uint32_t bitCount = 0;
    std::uint32_t compression = 0;
    Encoding encoding = Encoding::Indexed;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::uint32_t coloursUsed = 0;    ///< biClrUsed as stored
    std::array<Channel, 4> channels;  ///< red, green, blue, alpha (alpha mask 0: none)
    std::uint64_t paletteOffset = 0;
    std::uint32_t paletteEntrySize = 4;
    std::uint32_t paletteCount = 0;   ///< entries stored in the file
    std::uint64_t dataOffset = 0;
};

/// Reads and checks the file header, the info header and any masks from the reader's
/// position (the start of the file). Checks what the header says against itself and
/// against the file's size; does not check the picture against the pixel limit.
/// Returns IS5_OK or the layer's error code.
std::uint32_t readHeader(detail::ByteReader& in, Header& header);

} // namespace imaging::bmp
