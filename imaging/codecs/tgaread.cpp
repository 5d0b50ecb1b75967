// SPDX-License-Identifier: MIT
// TGA reader: colour-mapped, true-colour and grey pictures, raw or run-length encoded,
// either origin, with the attribute (alpha) bits decided from the descriptor and the
// version 2 extension area; and the is5_ calls over it.
#include "imaging/codecs/ownread.h"
#include "imaging/codecs/tga.h"

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

namespace imaging::tga {

namespace {

using detail::ByteReader;

// Reads the attribute type of a version 2 file's extension area (-1 without one).
int readAttributeType(ByteReader& in) {
    const std::uint64_t size = in.size();
    if (size < kHeaderSize + kFooterSize) return -1;
    std::uint8_t footer[kFooterSize];
    if (!in.seek(size - kFooterSize) || !in.read(footer, sizeof footer)) return -1;
    if (std::memcmp(footer + 8, kSignature, sizeof kSignature) != 0) return -1; // includes the 0 byte
    const std::uint64_t extension =
        footer[0] | (std::uint32_t{footer[1]} << 8) | (std::uint32_t{footer[2]} << 16) | (std::uint32_t{footer[3]} << 24);
    if (extension < kHeaderSize || extension + kExtensionSize > size - kFooterSize) return -1;
    if (!in.seek(extension)) return -1;
    const std::uint16_t declared = in.u16le();
    if (declared < kExtensionSize || !in.seek(extension + kAttributeTypeOffset)) return -1;
    const std::uint8_t type = in.u8();
    return in.ok() ? type : -1;
}

// Whether a pixel or map entry of `bits` bits carries attribute bits, and how to use them.
// The descriptor's attribute count says so for 32-bit colour and 16-bit grey; the single
// attribute bit of 16-bit colour is left unset or set at random by too many writers to be
// trusted on the descriptor's word alone, so only an extension area that declares alpha
// turns it on. An extension area that declares no alpha turns every kind off.
Alpha decideAlpha(std::uint32_t bits, bool greyWithAlpha, int descriptorBits, int attributeType) {
    const bool carries = bits == 32 || bits == 16;
    if (!carries) return Alpha::None;
    if (attributeType == kAttributesAlpha) return Alpha::Straight;
    if (attributeType == kAttributesPremultiplied) return Alpha::Premultiplied;
    if (attributeType >= 0) return Alpha::None;
    const bool trusted = bits == 32 || greyWithAlpha;
    return trusted && descriptorBits > 0 ? Alpha::Straight : Alpha::None;
}

} // namespace

std::uint32_t readHeader(ByteReader& in, Header& h) {
    h = {};
    std::uint8_t b[kHeaderSize];
    if (!in.read(b, sizeof b)) return IS5_ERR_READ;
    h.idLength = b[0];
    h.colourMapType = b[1];
    h.imageType = b[2];
    h.mapFirst = static_cast<std::uint16_t>(b[3] | (b[4] << 8));
    h.mapLength = static_cast<std::uint16_t>(b[5] | (b[6] << 8));
    h.mapEntryBits = b[7];
    h.width = static_cast<std::uint16_t>(b[12] | (b[13] << 8));
    h.height = static_cast<std::uint16_t>(b[14] | (b[15] << 8));
    h.pixelBits = b[16];
    h.descriptor = b[17];

    if (h.imageType == kHuffman || h.imageType == kHuffmanQuadtree) return IS5_ERR_UNSUPPORTED;
    h.kind = h.imageType & ~kRleFlag;
    h.rle = (h.imageType & kRleFlag) != 0;
    if (h.kind != kColourMapped && h.kind != kTrueColour && h.kind != kGrey) return IS5_ERR_FORMAT;
    if (h.colourMapType > 1 || h.width == 0 || h.height == 0) return IS5_ERR_FORMAT;
    switch (h.kind) {
    case kColourMapped:
        if (h.colourMapType != 1 || h.mapLength == 0) return IS5_ERR_FORMAT;
        if (h.mapEntryBits != 15 && h.mapEntryBits != 16 && h.mapEntryBits != 24 && h.mapEntryBits != 32)
            return IS5_ERR_FORMAT;
        if (h.pixelBits == 16) return IS5_ERR_UNSUPPORTED; // 16-bit indexes: more than a 256-entry palette
        if (h.pixelBits != 8) return IS5_ERR_FORMAT;
        break;
    case kTrueColour:
        if (h.pixelBits != 15 && h.pixelBits != 16 && h.pixelBits != 24 && h.pixelBits != 32) return IS5_ERR_FORMAT;
        break;
    default:
        if (h.pixelBits != 8 && h.pixelBits != 16) return IS5_ERR_FORMAT;
        break;
    }
    // A colour map in a picture that does not use it is skipped over, whatever its entries.
    h.mapOffset = kHeaderSize + std::uint64_t{h.idLength};
    h.mapBytes = h.colourMapType == 1 ? std::uint64_t{h.mapLength} * ((h.mapEntryBits + 7u) / 8u) : 0;
    h.dataOffset = h.mapOffset + h.mapBytes;

    h.attributeType = readAttributeType(in);
    const int descriptorBits = h.descriptor & kAttributeBitsMask;
    if (h.kind == kColourMapped) h.mapAlpha = decideAlpha(h.mapEntryBits, false, descriptorBits, h.attributeType);
    else h.pixelAlpha = decideAlpha(h.pixelBits, h.kind == kGrey, descriptorBits, h.attributeType);
    return IS5_OK;
}

namespace {

// A colour with its alpha laid over white, straight or premultiplied.
void composite(std::uint8_t* rgb, std::uint8_t a, Alpha kind) {
    for (int c = 0; c < 3; ++c) {
        if (kind == Alpha::Premultiplied) rgb[c] = static_cast<std::uint8_t>(std::min(255, rgb[c] + 255 - a));
        else rgb[c] = detail::overWhite(rgb[c], a);
    }
}

// One stored pixel or map entry (little-endian, B G R order) as R, G, B and alpha.
void unpackColour(const std::uint8_t* p, std::uint32_t bits, std::uint8_t* rgb, std::uint8_t& alpha) {
    if (bits == 15 || bits == 16) {
        const std::uint32_t v = p[0] | (std::uint32_t{p[1]} << 8);
        rgb[0] = detail::scaleTo8((v >> 10) & 31, 31);
        rgb[1] = detail::scaleTo8((v >> 5) & 31, 31);
        rgb[2] = detail::scaleTo8(v & 31, 31);
        alpha = bits == 16 && (v & 0x8000) ? 255 : 0;
        return;
    }
    rgb[0] = p[2];
    rgb[1] = p[1];
    rgb[2] = p[0];
    alpha = bits == 32 ? p[3] : 255;
}

// Pixels in file order, from raw data or from run-length packets. Packets may continue
// from one scan line to the next; a packet that reaches past the last pixel is refused.
class PixelStream {
public:
    PixelStream(ByteReader& in, std::uint32_t pixelBytes, bool rle, std::uint64_t totalPixels)
        : m_in(in), m_pixelBytes(pixelBytes), m_rle(rle), m_unclaimed(totalPixels) {}

    std::uint32_t read(std::uint8_t* out, std::size_t pixels) {
        if (!m_rle) return m_in.read(out, pixels * m_pixelBytes) ? IS5_OK : IS5_ERR_READ;
        while (pixels > 0) {
            if (m_runLeft == 0) {
                const std::uint8_t packet = m_in.u8();
                m_runLeft = (packet & 0x7Fu) + 1;
                m_repeat = (packet & 0x80) != 0;
                if (m_repeat) m_in.read(m_value, m_pixelBytes);
                if (!m_in.ok()) return IS5_ERR_READ;
                if (m_runLeft > m_unclaimed) return IS5_ERR_FORMAT;
                m_unclaimed -= m_runLeft;
            }
            const std::size_t take = std::min<std::size_t>(m_runLeft, pixels);
            if (m_repeat) {
                for (std::size_t i = 0; i < take; ++i, out += m_pixelBytes) std::memcpy(out, m_value, m_pixelBytes);
            } else {
                if (!m_in.read(out, take * m_pixelBytes)) return IS5_ERR_READ;
                out += take * m_pixelBytes;
            }
            m_runLeft -= static_cast<std::uint32_t>(take);
            pixels -= take;
        }
        return IS5_OK;
    }

private:
    ByteReader& m_in;
    std::uint32_t m_pixelBytes;
    bool m_rle;
    std::uint64_t m_unclaimed;
    std::uint32_t m_runLeft = 0;
    bool m_repeat = false;
    std::uint8_t m_value[4] = {};
};

class TgaReader : public detail::PalettedReader<Header> {
public:
    using PalettedReader::PalettedReader;

    /// The palette 8-bit output uses: the colour map placed at its first index (entries
    /// with alpha laid over white), or a grey ramp for grey pictures.
    std::uint32_t readPalette() {
        const Header& h = m_header;
        m_palette = {};
        m_paletteCount = 0;
        if (h.kind == kGrey) {
            if (h.pixelBits != 8) return IS5_OK;
            for (int i = 0; i < 256; ++i) {
                const auto v = static_cast<std::uint8_t>(i);
                m_palette[i] = {v, v, v, 0};
            }
            m_paletteCount = 256;
            return IS5_OK;
        }
        if (h.kind != kColourMapped) return IS5_OK;
        if (h.mapOffset + h.mapBytes > m_in.size()) return IS5_ERR_READ;
        if (!m_in.seek(h.mapOffset)) return IS5_ERR_READ;
        const std::uint32_t entryBytes = (h.mapEntryBits + 7u) / 8u;
        const std::uint32_t used = std::min<std::uint32_t>(h.mapLength, h.mapFirst < 256 ? 256 - h.mapFirst : 0);
        std::vector<std::uint8_t> alpha(used);
        bool anyAlpha = false;
        std::uint8_t entry[4];
        for (std::uint32_t k = 0; k < used; ++k) {
            m_in.read(entry, entryBytes);
            std::uint8_t rgb[3];
            unpackColour(entry, h.mapEntryBits, rgb, alpha[k]);
            m_palette[h.mapFirst + k] = {rgb[0], rgb[1], rgb[2], 0};
            anyAlpha |= alpha[k] != 0;
        }
        if (!m_in.ok()) return IS5_ERR_READ;
        // Alpha that is zero in every entry was never filled in: the map is taken as opaque.
        if (h.mapAlpha != Alpha::None && anyAlpha) {
            for (std::uint32_t k = 0; k < used; ++k) {
                Is5Rgbq& e = m_palette[h.mapFirst + k];
                std::uint8_t rgb[3] = {e.r, e.g, e.b};
                composite(rgb, alpha[k], h.mapAlpha);
                e = {rgb[0], rgb[1], rgb[2], 0};
            }
        }
        // A map that starts past the last 8-bit index leaves every index outside it.
        m_paletteCount = h.mapFirst < 256 ? h.mapFirst + used : 1;
        return IS5_OK;
    }

    std::uint32_t decode(std::uint32_t depth, platform::UniqueGlobal& block) {
        const Header& h = m_header;
        if (depth != 24 && depth != 8) return IS5_ERR_PARAM;
        if (depth == 8 && h.pixelBits != 8) return IS5_ERR_PARAM;
        if (std::uint32_t rc = detail::checkPictureSize(h.width, h.height)) return rc;
        if (std::uint32_t rc = readPalette()) return rc;

        const std::uint32_t pixelBytes = (h.pixelBits + 7u) / 8u;
        const std::uint64_t pixels = std::uint64_t{h.width} * h.height;
        if (h.dataOffset > m_in.size()) return IS5_ERR_READ;
        const std::uint64_t available = m_in.size() - h.dataOffset;
        // Raw data must all be there; a run-length packet of at least 1 + pixelBytes bytes
        // gives at most 128 pixels, so the data bounds the picture before it is allocated.
        if (!h.rle && pixels * pixelBytes > available) return IS5_ERR_READ;
        if (h.rle && pixels > available / (1 + pixelBytes) * 128) return IS5_ERR_READ;

        const std::size_t outStride = static_cast<std::size_t>(detail::rowBytes(h.width, depth));
        if (!block.allocate(outStride * h.height)) return IS5_ERR_MEMORY;
        std::uint8_t* out = block.data();
        const bool hasAlpha = h.pixelAlpha != Alpha::None;
        std::vector<std::uint8_t> alpha(hasAlpha ? pixels : 0);
        bool anyAlpha = false;

        if (!m_in.seek(h.dataOffset)) return IS5_ERR_READ;
        PixelStream stream(m_in, pixelBytes, h.rle, pixels);
        std::vector<std::uint8_t> raw(std::size_t{h.width} * pixelBytes);
        const bool topDown = (h.descriptor & kTopToBottom) != 0;
        const bool rightToLeft = (h.descriptor & kRightToLeft) != 0;
        for (std::uint32_t r = 0; r < h.height; ++r) {
            if (std::uint32_t rc = stream.read(raw.data(), h.width)) return rc;
            const std::size_t y = topDown ? r : h.height - 1 - r;
            std::uint8_t* dst = out + y * outStride;
            std::uint8_t* a = hasAlpha ? alpha.data() + y * h.width : nullptr;
            for (std::uint32_t i = 0; i < h.width; ++i) {
                const std::uint32_t x = rightToLeft ? h.width - 1 - i : i;
                const std::uint8_t* p = raw.data() + std::size_t{i} * pixelBytes;
                if (depth == 8) {
                    // Indexes outside the colour map read as index 0.
                    dst[x] = h.kind == kGrey || p[0] < m_paletteCount ? p[0] : 0;
                    continue;
                }
                std::uint8_t* rgb = dst + 3 * std::size_t{x};
                std::uint8_t pixelAlpha = 255;
                if (h.kind == kColourMapped) {
                    const Is5Rgbq& c = m_palette[p[0] < m_paletteCount ? p[0] : 0];
                    rgb[0] = c.r;
                    rgb[1] = c.g;
                    rgb[2] = c.b;
                } else if (h.kind == kGrey) {
                    rgb[0] = rgb[1] = rgb[2] = p[0];
                    if (pixelBytes == 2) pixelAlpha = p[1];
                } else {
                    unpackColour(p, h.pixelBits, rgb, pixelAlpha);
                }
                if (a) {
                    a[x] = pixelAlpha;
                    anyAlpha |= pixelAlpha != 0;
                }
            }
        }
        // Alpha that is zero in every pixel was never filled in: the picture is taken as opaque.
        if (anyAlpha)
            for (std::size_t i = 0; i < pixels; ++i) composite(out + 3 * i, alpha[i], h.pixelAlpha);
        return IS5_OK;
    }
};

} // namespace

} // namespace imaging::tga

HGLOBAL is5_ReadTGA(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t /*flags*/) {
    return imaging::detail::readPicture<imaging::tga::TgaReader>("is5_ReadTGA", source, width, height, depth, palette, depth == 8);
}

/// Bits per pixel as stored: 8 for colour-mapped and 8-bit grey pictures (read at depth 8).
BOOL is5_GetTGADims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerPixel) {
    using imaging::tga::TgaReader;
    return imaging::detail::readDims<TgaReader>("is5_GetTGADims", source, width, height, [&](const auto& h) {
        if (bitsPerPixel) *bitsPerPixel = h.pixelBits;
    });
}

/// The palette of 8-bit output (256 entries written): the colour map placed at its first
/// index, `count` = first index + entries (at most 256); a grey ramp of 256 for 8-bit grey
/// pictures; 0 entries for true-colour pictures.
BOOL is5_GetTGAPalette(IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette, std::uint32_t /*flags*/) {
    return imaging::detail::readStoredPalette<imaging::tga::TgaReader>("is5_GetTGAPalette", source, count, palette);
}
