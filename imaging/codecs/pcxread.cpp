// SPDX-License-Identifier: MIT
// PCX reader: packed and planar indexed pictures, 24-bit (and 32-bit) plane layouts, raw or
// run-length encoded, with header, end-of-file or fixed palettes; and the is5_ calls over it.
#include "imaging/codecs/ownread.h"
#include "imaging/codecs/pcx.h"

#include "imaging/detail/lasterror.h"
#include "imaging/detail/pixels.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"
#include "platform/globalmemory.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

namespace imaging::pcx {

namespace {

using detail::ByteReader;

// The 16 colours of EGA and VGA text modes, for files that carry no palette of their own.
constexpr std::uint8_t kDefaultPalette[48] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0x00, 0xAA, 0xAA, 0xAA, 0x00, 0x00, 0xAA,
    0x00, 0xAA, 0xAA, 0x55, 0x00, 0xAA, 0xAA, 0xAA, 0x55, 0x55, 0x55, 0x55, 0x55, 0xFF, 0x55, 0xFF,
    0x55, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0x55, 0xFF, 0x55, 0xFF, 0xFF, 0xFF, 0x55, 0xFF, 0xFF, 0xFF,
};

} // namespace

std::uint32_t readHeader(ByteReader& in, Header& h) {
    h = {};
    std::uint8_t b[kHeaderSize];
    if (!in.read(b, sizeof b)) return IS5_ERR_READ;
    auto u16 = [&](int at) { return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8)); };
    h.version = b[1];
    h.encoding = b[2];
    h.bitsPerPlane = b[3];
    h.xMin = u16(4);
    h.yMin = u16(6);
    h.xMax = u16(8);
    h.yMax = u16(10);
    h.hDpi = u16(12);
    h.vDpi = u16(14);
    std::memcpy(h.headerPalette, b + 16, sizeof h.headerPalette);
    h.planes = b[65];
    h.bytesPerLine = u16(66);

    if (b[0] != kManufacturer || h.version == 1 || h.version > 5) return IS5_ERR_FORMAT;
    if (h.encoding != kEncodingNone && h.encoding != kEncodingRle) return IS5_ERR_FORMAT;
    if (h.xMax < h.xMin || h.yMax < h.yMin) return IS5_ERR_FORMAT;
    h.width = std::uint32_t{h.xMax} - h.xMin + 1;
    h.height = std::uint32_t{h.yMax} - h.yMin + 1;

    const std::uint8_t bits = h.bitsPerPlane;
    if (bits == 0 || h.planes == 0) return IS5_ERR_FORMAT;
    if (h.planes == 1 && (bits == 1 || bits == 2 || bits == 4 || bits == 8)) h.layout = Layout::Packed;
    else if (h.planes <= 4 && bits == 1) h.layout = Layout::Planar;
    else if (h.planes == 3 && bits == 8) h.layout = Layout::Rgb;
    else if (h.planes == 4 && bits == 8) h.layout = Layout::Rgba;
    else return IS5_ERR_UNSUPPORTED;

    // Each plane's line must hold the picture's width; a shorter one would overrun the row.
    if (h.bytesPerLine < (std::uint64_t{h.width} * bits + 7) / 8) return IS5_ERR_FORMAT;
    return IS5_OK;
}

namespace {

// Scan-line bytes from raw data or from runs. A run may carry on into the next scan line;
// it never writes past the line it is asked for.
class ScanlineStream {
public:
    ScanlineStream(ByteReader& in, bool rle) : m_in(in), m_rle(rle) {}

    std::uint32_t read(std::uint8_t* out, std::size_t n) {
        if (!m_rle) return m_in.read(out, n) ? IS5_OK : IS5_ERR_READ;
        while (n > 0) {
            if (m_runLeft == 0) {
                const std::uint8_t b = m_in.u8();
                if ((b & kRunFlag) == kRunFlag) {
                    m_runLeft = b & 0x3Fu;
                    m_value = m_in.u8();
                } else {
                    m_runLeft = 1;
                    m_value = b;
                }
                if (!m_in.ok()) return IS5_ERR_READ;
                continue;
            }
            const std::size_t take = std::min<std::size_t>(m_runLeft, n);
            std::memset(out, m_value, take);
            out += take;
            n -= take;
            m_runLeft -= static_cast<std::uint32_t>(take);
        }
        return IS5_OK;
    }

private:
    ByteReader& m_in;
    bool m_rle;
    std::uint32_t m_runLeft = 0;
    std::uint8_t m_value = 0;
};

class PcxReader : public detail::PalettedReader<Header> {
public:
    using PalettedReader::PalettedReader;

    /// The palette of an indexed picture: black and white for one bit; the header's 16
    /// colours (the EGA colours in a version 2.8 file without palette) up to four bits;
    /// for eight bits the 256 colours after the 0x0C marker at the end, or a grey ramp
    /// when the file has none. No palette for 24 and 32-bit pictures.
    std::uint32_t readPalette() {
        const Header& h = m_header;
        m_palette = {};
        m_paletteCount = 0;
        const std::uint32_t bpp = h.bitsPerPixel();
        if (bpp > 8) return IS5_OK;
        m_paletteCount = 1u << bpp;
        if (bpp == 1) {
            m_palette[1] = {255, 255, 255, 0};
            return IS5_OK;
        }
        if (bpp <= 4) {
            const std::uint8_t* p = h.version == kVersionNoPalette ? kDefaultPalette : h.headerPalette;
            for (std::uint32_t i = 0; i < m_paletteCount; ++i) m_palette[i] = {p[3 * i], p[3 * i + 1], p[3 * i + 2], 0};
            return IS5_OK;
        }
        // The size test keeps the read inside the file, so a missing palette never marks
        // the reader as failed.
        const std::uint64_t size = m_in.size();
        std::uint8_t block[kEndPaletteSize];
        if (size >= kHeaderSize + kEndPaletteSize && m_in.seek(size - kEndPaletteSize) &&
            m_in.read(block, sizeof block) && block[0] == kPaletteMarker) {
            for (int i = 0; i < 256; ++i) m_palette[i] = {block[1 + 3 * i], block[2 + 3 * i], block[3 + 3 * i], 0};
        } else {
            for (int i = 0; i < 256; ++i) {
                const auto v = static_cast<std::uint8_t>(i);
                m_palette[i] = {v, v, v, 0};
            }
        }
        return IS5_OK;
    }

    std::uint32_t decode(std::uint32_t depth, platform::UniqueGlobal& block) {
        const Header& h = m_header;
        if (depth != 24 && depth != 8) return IS5_ERR_PARAM;
        if (depth == 8 && h.bitsPerPixel() > 8) return IS5_ERR_PARAM;
        if (std::uint32_t rc = detail::checkPictureSize(h.width, h.height)) return rc;
        if (std::uint32_t rc = readPalette()) return rc;

        const std::uint64_t scanline = h.scanlineBytes();
        const std::uint64_t total = scanline * h.height;
        const std::uint64_t available = m_in.size() > kHeaderSize ? m_in.size() - kHeaderSize : 0;
        // Raw data must all be there; a run of two bytes gives at most 63, so the data
        // bounds the picture before it is allocated.
        if (h.encoding == kEncodingNone && total > available) return IS5_ERR_READ;
        if (h.encoding == kEncodingRle && total > available * 32) return IS5_ERR_READ;

        const std::size_t outStride = static_cast<std::size_t>(detail::rowBytes(h.width, depth));
        if (!block.allocate(outStride * h.height)) return IS5_ERR_MEMORY;
        std::uint8_t* out = block.data();
        const bool hasAlpha = h.layout == Layout::Rgba && depth == 24;
        std::vector<std::uint8_t> alpha(hasAlpha ? std::size_t{h.width} * h.height : 0);
        bool anyAlpha = false;

        if (!m_in.seek(kHeaderSize)) return IS5_ERR_READ;
        ScanlineStream stream(m_in, h.encoding == kEncodingRle);
        std::vector<std::uint8_t> line(static_cast<std::size_t>(scanline));
        std::vector<std::uint8_t> idx(h.width);
        const std::size_t bpl = h.bytesPerLine;
        for (std::uint32_t y = 0; y < h.height; ++y) {
            if (std::uint32_t rc = stream.read(line.data(), line.size())) return rc;
            std::uint8_t* dst = out + std::size_t{y} * outStride;
            if (h.layout == Layout::Rgb || h.layout == Layout::Rgba) {
                for (std::uint32_t x = 0; x < h.width; ++x) {
                    dst[3 * x] = line[x];
                    dst[3 * x + 1] = line[bpl + x];
                    dst[3 * x + 2] = line[2 * bpl + x];
                }
                if (hasAlpha) {
                    std::uint8_t* a = alpha.data() + std::size_t{y} * h.width;
                    std::memcpy(a, line.data() + 3 * bpl, h.width);
                    anyAlpha |= std::any_of(a, a + h.width, [](std::uint8_t v) { return v != 0; });
                }
                continue;
            }
            if (h.layout == Layout::Packed) {
                const std::uint32_t bits = h.bitsPerPlane;
                const std::uint32_t perByte = 8 / bits;
                const std::uint32_t mask = (1u << bits) - 1;
                for (std::uint32_t x = 0; x < h.width; ++x)
                    idx[x] = static_cast<std::uint8_t>((line[x / perByte] >> (8 - bits * (x % perByte + 1))) & mask);
            } else {
                for (std::uint32_t x = 0; x < h.width; ++x) {
                    std::uint8_t v = 0;
                    for (std::uint32_t p = 0; p < h.planes; ++p)
                        v |= static_cast<std::uint8_t>(((line[p * bpl + x / 8] >> (7 - x % 8)) & 1) << p);
                    idx[x] = v;
                }
            }
            if (depth == 8) {
                std::memcpy(dst, idx.data(), h.width);
                continue;
            }
            for (std::uint32_t x = 0; x < h.width; ++x) {
                const Is5Rgbq& c = m_palette[idx[x]];
                dst[3 * x] = c.r;
                dst[3 * x + 1] = c.g;
                dst[3 * x + 2] = c.b;
            }
        }
        // A fourth plane that is zero everywhere holds no alpha: the picture is taken as opaque.
        if (anyAlpha) {
            const std::size_t n = std::size_t{h.width} * h.height;
            for (std::size_t i = 0; i < n; ++i)
                for (int c = 0; c < 3; ++c) out[3 * i + c] = detail::overWhite(out[3 * i + c], alpha[i]);
        }
        return IS5_OK;
    }
};

} // namespace

} // namespace imaging::pcx

HGLOBAL is5_ReadPCX(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t /*flags*/) {
    return imaging::detail::readPicture<imaging::pcx::PcxReader>("is5_ReadPCX", source, width, height, depth, palette, depth == 8);
}

/// Bits per pixel = bits per plane x planes; resolution in dots per inch (unit 2).
BOOL is5_GetPCXDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerPixel,
                    ResolutionInfo* resolution) {
    using imaging::pcx::PcxReader;
    return imaging::detail::readDims<PcxReader>("is5_GetPCXDims", source, width, height, [&](const auto& h) {
        if (bitsPerPixel) *bitsPerPixel = h.bitsPerPixel();
        if (resolution) *resolution = {double(h.hDpi), double(h.vDpi), 2};
    });
}

/// The palette of 8-bit output (256 entries written) and its entry count, 2^bits for
/// indexed pictures, 0 for 24 and 32-bit ones.
BOOL is5_GetPCXPalette(IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette, std::uint32_t /*flags*/) {
    return imaging::detail::readStoredPalette<imaging::pcx::PcxReader>("is5_GetPCXPalette", source, count, palette);
}
