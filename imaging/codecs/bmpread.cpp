// SPDX-License-Identifier: MIT
// BMP reader: OS/2 1.x/2.x and Windows headers, palettes, RLE4/RLE8/RLE24, 16/24/32-bit
// pixels with channel masks, and the is5_ calls over it.
#include "imaging/codecs/ownread.h"
#include "imaging/codecs/bmp.h"

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

namespace imaging::bmp {

namespace {

using detail::ByteReader;

std::uint32_t le32(const std::uint8_t* p) {
    return p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

std::uint32_t toCode(Status status) {
    switch (status) {
    case Status::Ok: return IS5_OK;
    case Status::Short: return IS5_ERR_READ;
    case Status::Unsupported: return IS5_ERR_UNSUPPORTED;
    case Status::Bad: break;
    }
    return IS5_ERR_FORMAT;
}

} // namespace

std::uint32_t readHeader(ByteReader& in, Header& h) {
    h = {};
    std::uint8_t file[kFileHeaderSize];
    if (!in.read(file, sizeof file)) return IS5_ERR_READ;
    if (file[0] != 'B' || file[1] != 'M') return IS5_ERR_FORMAT;
    // The file size field (bytes 2-5) is wrong in too many files to be of use.
    std::uint64_t dataOffset = le32(file + 10);

    // The bitmap's header and any masks after it, as far as the file holds them.
    std::uint8_t info[kMaxHeaderBytes] = {};
    const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof info, in.remaining()));
    in.read(info, have);
    if (std::uint32_t rc = toCode(parseHeader(info, have, h))) return rc;

    // Some writers store fewer palette entries than the header asks for and start the
    // pixels right after them.
    h.paletteOffset += kFileHeaderSize;
    std::uint64_t count = h.paletteCount;
    if (dataOffset == 0) dataOffset = h.paletteOffset + count * h.paletteEntrySize;
    if (dataOffset < h.paletteOffset) return IS5_ERR_FORMAT;
    count = std::min(count, (dataOffset - h.paletteOffset) / h.paletteEntrySize);
    h.paletteCount = std::min<std::uint64_t>(count, 256);
    h.dataOffset = dataOffset;
    return IS5_OK;
}

namespace {

class BmpReader : public detail::PalettedReader<Header> {
public:
    using PalettedReader::PalettedReader;

    /// Reads the stored palette; entries past it stay black. The count reported is the
    /// smallest palette the image object should be told about: 2 for a 1-bit file, at least
    /// 1 for any other indexed file.
    std::uint32_t readPalette() {
        const Header& h = m_header;
        m_paletteCount = static_cast<std::uint32_t>(h.paletteCount);
        if (h.bitCount <= 8) m_paletteCount = std::max(m_paletteCount, h.bitCount == 1 ? 2u : 1u);
        const std::uint64_t bytes = std::uint64_t{h.paletteCount} * h.paletteEntrySize;
        if (h.paletteOffset + bytes > m_in.size()) return IS5_ERR_READ;
        if (!m_in.seek(h.paletteOffset)) return IS5_ERR_READ;
        std::uint8_t entry[4];
        for (std::uint32_t i = 0; i < h.paletteCount; ++i) {
            m_in.read(entry, h.paletteEntrySize);
            m_palette[i] = {entry[2], entry[1], entry[0], 0};
        }
        return m_in.ok() ? IS5_OK : IS5_ERR_READ;
    }

    std::uint32_t decode(std::uint32_t depth, platform::UniqueGlobal& block) {
        const Header& h = m_header;
        const bool indexed = h.bitCount <= 8;
        if (depth != 24 && depth != 8 && depth != 1) return IS5_ERR_PARAM;
        if ((depth == 8 && !indexed) || (depth == 1 && h.bitCount != 1)) return IS5_ERR_PARAM;
        if (std::uint32_t rc = detail::checkPictureSize(h.width, h.height)) return rc;
        if (indexed)
            if (std::uint32_t rc = readPalette()) return rc;

        const bool rle = h.encoding == Encoding::Rle4 || h.encoding == Encoding::Rle8 || h.encoding == Encoding::Rle24;
        const std::uint64_t stride = (std::uint64_t{h.width} * h.bitCount + 31) / 32 * 4;
        const std::uint64_t lastRow = (std::uint64_t{h.width} * h.bitCount + 7) / 8;
        if (rle) {
            if (h.dataOffset >= m_in.size()) return IS5_ERR_READ;
        } else if (h.dataOffset + stride * (h.height - 1) + lastRow > m_in.size()) {
            return IS5_ERR_READ; // the header asks for more rows than the file holds
        }

        m_depth = depth;
        m_outStride = static_cast<std::size_t>(detail::rowBytes(h.width, depth));
        if (!block.allocate(m_outStride * h.height, true)) return IS5_ERR_MEMORY;
        m_out = block.data();
        if (!m_in.seek(h.dataOffset)) return IS5_ERR_READ;

        switch (h.encoding) {
        case Encoding::Indexed: return decodeIndexed(stride, lastRow);
        case Encoding::Rle4:
        case Encoding::Rle8: return decodeRleIndexed();
        case Encoding::Rle24: return decodeRle24();
        case Encoding::Rgb24:
        case Encoding::Masked: return decodeDirect(stride, lastRow);
        }
        return IS5_ERR_FORMAT;
    }

private:
    std::size_t outputRow(std::uint64_t fileRow) const {
        return static_cast<std::size_t>(m_header.topDown ? fileRow : m_header.height - 1 - fileRow);
    }

    // Indexes past the stored palette become index 0, so 8-bit output never points past
    // the palette it comes with and 24-bit output shows a colour of the picture's own.
    void clampIndexes(std::uint8_t* idx, std::size_t n) const {
        const auto limit = m_header.paletteCount;
        for (std::size_t i = 0; i < n; ++i)
            if (idx[i] >= limit) idx[i] = 0;
    }

    void emitIndexRow(const std::uint8_t* idx, std::size_t y) {
        std::uint8_t* dst = m_out + y * m_outStride;
        const std::uint32_t w = m_header.width;
        if (m_depth == 8) {
            std::memcpy(dst, idx, w);
        } else if (m_depth == 1) {
            for (std::uint32_t x = 0; x < w; ++x)
                if (idx[x] & 1) dst[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
        } else {
            for (std::uint32_t x = 0; x < w; ++x) {
                const Is5Rgbq& c = m_palette[idx[x]];
                dst[3 * x] = c.r;
                dst[3 * x + 1] = c.g;
                dst[3 * x + 2] = c.b;
            }
        }
    }

    std::uint32_t decodeIndexed(std::uint64_t stride, std::uint64_t lastRow) {
        const Header& h = m_header;
        const std::uint32_t bpp = h.bitCount;
        const std::uint32_t perByte = 8 / bpp;
        const std::uint32_t valueMask = (1u << bpp) - 1;
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(stride));
        std::vector<std::uint8_t> idx(h.width);
        for (std::uint32_t r = 0; r < h.height; ++r) {
            // The last row may lack its padding.
            if (!m_in.read(raw.data(), static_cast<std::size_t>(r + 1 == h.height ? lastRow : stride)))
                return IS5_ERR_READ;
            for (std::uint32_t x = 0; x < h.width; ++x) {
                const std::uint32_t shift = 8 - bpp * (x % perByte + 1);
                idx[x] = static_cast<std::uint8_t>((raw[x / perByte] >> shift) & valueMask);
            }
            clampIndexes(idx.data(), idx.size());
            emitIndexRow(idx.data(), outputRow(r));
        }
        return IS5_OK;
    }

    // RLE8 and RLE4: pairs of (count, value) runs and escapes (end of line, end of bitmap,
    // delta, absolute run). Runs and deltas that reach past the picture are clipped;
    // pixels the data skips keep index 0.
    std::uint32_t decodeRleIndexed() {
        const Header& h = m_header;
        const bool rle4 = h.encoding == Encoding::Rle4;
        const std::size_t w = h.width;
        std::vector<std::uint8_t> image(w * h.height, 0);
        std::uint64_t x = 0, row = 0;
        auto put = [&](std::uint8_t v) {
            if (x < w && row < h.height) image[outputRow(row) * w + static_cast<std::size_t>(x)] = v;
            ++x;
        };
        std::uint8_t literal[256];
        while (row < h.height) {
            const std::uint8_t count = m_in.u8();
            const std::uint8_t value = m_in.u8();
            if (!m_in.ok()) return IS5_ERR_READ; // ended before the end-of-bitmap escape
            if (count > 0) {
                for (unsigned i = 0; i < count; ++i)
                    put(rle4 ? static_cast<std::uint8_t>(i & 1 ? value & 0x0F : value >> 4) : value);
                continue;
            }
            if (value == 0) { // end of line
                x = 0;
                ++row;
            } else if (value == 1) { // end of bitmap
                break;
            } else if (value == 2) { // delta: move right and up (down the file's rows)
                const std::uint8_t dx = m_in.u8();
                const std::uint8_t dy = m_in.u8();
                if (!m_in.ok()) return IS5_ERR_READ;
                x += dx;
                row += dy;
            } else { // absolute run of `value` pixels, padded to a 16-bit boundary
                const std::size_t bytes = rle4 ? (value + 1u) / 2 : value;
                if (!m_in.read(literal, bytes + (bytes & 1))) return IS5_ERR_READ;
                for (unsigned i = 0; i < value; ++i)
                    put(rle4 ? static_cast<std::uint8_t>(i & 1 ? literal[i / 2] & 0x0F : literal[i / 2] >> 4)
                             : literal[i]);
            }
        }
        for (std::uint32_t y = 0; y < h.height; ++y) {
            std::uint8_t* idx = image.data() + std::size_t{y} * w;
            clampIndexes(idx, w);
            emitIndexRow(idx, y);
        }
        return IS5_OK;
    }

    // OS/2 RLE24: the same escapes, with B, G, R triples for values. Skipped pixels stay black.
    std::uint32_t decodeRle24() {
        const Header& h = m_header;
        std::uint64_t x = 0, row = 0;
        auto put = [&](const std::uint8_t* bgr) {
            if (x < h.width && row < h.height) {
                std::uint8_t* dst = m_out + outputRow(row) * m_outStride + static_cast<std::size_t>(x) * 3;
                dst[0] = bgr[2];
                dst[1] = bgr[1];
                dst[2] = bgr[0];
            }
            ++x;
        };
        std::uint8_t literal[256 * 3];
        while (row < h.height) {
            const std::uint8_t count = m_in.u8();
            if (count > 0) {
                std::uint8_t bgr[3];
                if (!m_in.read(bgr, 3)) return IS5_ERR_READ;
                for (unsigned i = 0; i < count; ++i) put(bgr);
                continue;
            }
            const std::uint8_t value = m_in.u8();
            if (!m_in.ok()) return IS5_ERR_READ;
            if (value == 0) {
                x = 0;
                ++row;
            } else if (value == 1) {
                break;
            } else if (value == 2) {
                const std::uint8_t dx = m_in.u8();
                const std::uint8_t dy = m_in.u8();
                if (!m_in.ok()) return IS5_ERR_READ;
                x += dx;
                row += dy;
            } else {
                const std::size_t bytes = std::size_t{value} * 3;
                if (!m_in.read(literal, bytes + (bytes & 1))) return IS5_ERR_READ;
                for (unsigned i = 0; i < value; ++i) put(literal + 3 * i);
            }
        }
        return IS5_OK;
    }

    // Uncompressed 24-bit, and 16/24/32-bit pixels split by masks.
    std::uint32_t decodeDirect(std::uint64_t stride, std::uint64_t lastRow) {
        const Header& h = m_header;
        const std::uint32_t pixelBytes = h.bitCount / 8;
        const auto& ch = h.channels;
        const bool hasAlpha = h.encoding == Encoding::Masked && ch[3].bits > 0;
        std::vector<std::uint8_t> alpha(hasAlpha ? std::size_t{h.width} * h.height : 0);
        bool anyAlpha = false;
        std::vector<std::uint8_t> raw(static_cast<std::size_t>(stride));
        for (std::uint32_t r = 0; r < h.height; ++r) {
            if (!m_in.read(raw.data(), static_cast<std::size_t>(r + 1 == h.height ? lastRow : stride)))
                return IS5_ERR_READ;
            const std::size_t y = outputRow(r);
            std::uint8_t* dst = m_out + y * m_outStride;
            const std::uint8_t* src = raw.data();
            if (h.encoding == Encoding::Rgb24) {
                for (std::uint32_t x = 0; x < h.width; ++x, src += 3, dst += 3) {
                    dst[0] = src[2];
                    dst[1] = src[1];
                    dst[2] = src[0];
                }
                continue;
            }
            std::uint8_t* a = hasAlpha ? alpha.data() + y * h.width : nullptr;
            for (std::uint32_t x = 0; x < h.width; ++x, src += pixelBytes, dst += 3) {
                std::uint32_t v = src[0] | (std::uint32_t{src[1]} << 8);
                if (pixelBytes > 2) v |= std::uint32_t{src[2]} << 16;
                if (pixelBytes > 3) v |= std::uint32_t{src[3]} << 24;
                dst[0] = ch[0].value(v);
                dst[1] = ch[1].value(v);
                dst[2] = ch[2].value(v);
                if (a) {
                    a[x] = ch[3].value(v);
                    anyAlpha |= a[x] != 0;
                }
            }
        }
        // An alpha channel that is zero everywhere was never filled in by its writer: the
        // picture is taken as opaque rather than as entirely transparent.
        if (anyAlpha) {
            const std::size_t n = std::size_t{h.width} * h.height;
            for (std::size_t i = 0; i < n; ++i)
                for (int c = 0; c < 3; ++c) m_out[3 * i + c] = detail::overWhite(m_out[3 * i + c], alpha[i]);
        }
        return IS5_OK;
    }

    std::uint32_t m_depth = 24;
    std::size_t m_outStride = 0;
    std::uint8_t* m_out = nullptr;
};

} // namespace

} // namespace imaging::bmp

HGLOBAL is5_ReadBMP(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t /*flags*/) {
    return imaging::detail::readPicture<imaging::bmp::BmpReader>("is5_ReadBMP", source, width, height, depth, palette, depth != 24);
}

/// Resolution in pixels per metre (unit 2). A file that stores none (OS/2 1.x headers, or
/// both values 0) reports 300 x 300 with unit 0, the resolution every other type without
/// one is given.
BOOL is5_GetBMPDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerPixel,
                    ResolutionInfo* resolution) {
    using imaging::bmp::BmpReader;
    return imaging::detail::readDims<BmpReader>("is5_GetBMPDims", source, width, height, [&](const auto& h) {
        if (bitsPerPixel) *bitsPerPixel = h.bitCount;
        if (resolution) {
            const double x = std::max(h.xPelsPerMeter, 0);
            const double y = std::max(h.yPelsPerMeter, 0);
            if (x == 0 && y == 0) *resolution = {300.0, 300.0, 0};
            else *resolution = {x, y, 2};
        }
    });
}

/// The stored palette (256 entries written, black past `count`). A 1-bit file always
/// reports 2 entries and any other indexed file at least 1.
BOOL is5_GetBMPPalette(IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette, std::uint32_t /*flags*/) {
    return imaging::detail::readStoredPalette<imaging::bmp::BmpReader>("is5_GetBMPPalette", source, count, palette);
}
