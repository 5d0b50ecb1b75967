// SPDX-License-Identifier: MIT
// The header of a device-independent bitmap, as a BMP file and a metafile's bitmap records
// both carry it: header variants, compression, channel masks and the colour table's place.
//
// Format documents:
//   https://learn.microsoft.com/en-us/windows/win32/gdi/bitmap-storage
//   https://learn.microsoft.com/en-us/windows/win32/api/wingdi/ns-wingdi-bitmapv5header
//   https://www.fileformat.info/format/os2bmp/egff.htm (OS/2 1.x and 2.x headers)
//   https://entropymine.com/jason/bmpsuite/bmpsuite/html/bmpsuite.html (variants in the wild)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform::dib {

inline constexpr std::uint32_t kCoreHeaderSize = 12;    ///< OS/2 1.x BITMAPCOREHEADER
inline constexpr std::uint32_t kOs2MinHeaderSize = 16;  ///< OS/2 2.x headers may stop after any field
inline constexpr std::uint32_t kOs2MaxHeaderSize = 64;
inline constexpr std::uint32_t kInfoHeaderSize = 40;    ///< BITMAPINFOHEADER
inline constexpr std::uint32_t kV2HeaderSize = 52;      ///< adds red, green and blue masks
inline constexpr std::uint32_t kV3HeaderSize = 56;      ///< adds the alpha mask
inline constexpr std::uint32_t kV4HeaderSize = 108;
inline constexpr std::uint32_t kV5HeaderSize = 124;
/// The most a header and the masks after it take.
inline constexpr std::uint32_t kMaxHeaderBytes = kV5HeaderSize + 16;

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

    /// The channel's field of `pixel` scaled to 0…255: narrower fields rounded to nearest,
    /// wider ones keep their top eight bits, an absent channel is 0.
    std::uint8_t value(std::uint32_t pixel) const {
        if (bits == 0) return 0;
        const std::uint64_t v = (pixel & mask) >> shift;
        if (bits == 8) return static_cast<std::uint8_t>(v);
        if (bits > 8) return static_cast<std::uint8_t>(v >> (bits - 8));
        const std::uint64_t max = (std::uint64_t{1} << bits) - 1;
        return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
    }
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
    std::uint64_t paletteOffset = 0;  ///< where the colour table starts, from the header's start
    std::uint32_t paletteEntrySize = 4;
    std::uint64_t paletteCount = 0;   ///< entries the header asks for (the file may store fewer)
};

enum class Status {
    Ok,
    Short,       ///< the bytes end before the header (or the masks after it) do
    Bad,         ///< the header contradicts itself
    Unsupported, ///< a valid header of a kind not decoded here (JPEG, PNG, Huffman, CMYK, 64-bit)
};

/// Parses the header at the start of `info` (`size` bytes: the header and whatever follows
/// it, which must include masks stored after a 40-byte header). The colour table's entries
/// are not read; paletteOffset and paletteCount say where they are and how many are meant.
Status parseHeader(const std::uint8_t* info, std::size_t size, Header& header);

} // namespace platform::dib
