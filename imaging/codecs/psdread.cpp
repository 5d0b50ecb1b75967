// SPDX-License-Identifier: MIT
// Photoshop reader: the merged picture stored after the layers, raw or PackBits, in
// bitmap, greyscale, indexed, RGB and CMYK modes at 8 bits per channel (16-bit files
// keep each sample's high byte). The is5_ shims for PSD live at the end.
//
// Transparency: a merged picture carries its transparency as the first extra channel
// when the layer count is negative. Writers differ in what the colour channels then
// hold: Photoshop lays the colours over white already (every value is at least
// 255 - alpha), others store them unassociated. A picture whose colours all keep that
// bound is shown as stored; any other is laid over white here.
#include "imaging/codecs/psd.h"

#include "imaging/detail/bytereader.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/pixels.h"
#include "platform/globalmemory.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

namespace imaging::psd {
namespace {

using detail::ByteReader;

std::uint32_t parseHeader(ByteReader& in, Header& h) {
    char signature[4];
    in.read(signature, sizeof signature);
    h.version = in.u16be();
    in.skip(6);
    h.channels = in.u16be();
    h.height = in.u32be();
    h.width = in.u32be();
    h.depth = in.u16be();
    h.mode = in.u16be();
    if (!in.ok()) return IS5_ERR_READ;
    if (std::memcmp(signature, "8BPS", 4) != 0) return IS5_ERR_FORMAT;
    if (h.version == 2) return IS5_ERR_UNSUPPORTED;
    if (h.version != 1) return IS5_ERR_FORMAT;
    if (h.channels < 1 || h.channels > kMaxChannels || h.width == 0 || h.height == 0) return IS5_ERR_FORMAT;
    if (h.depth != 1 && h.depth != 8 && h.depth != 16 && h.depth != 32) return IS5_ERR_FORMAT;
    return IS5_OK;
}

// A section: a 32-bit length and that many bytes, which must lie inside the file.
bool sectionBounds(ByteReader& in, std::uint64_t& start, std::uint64_t& length) {
    length = in.u32be();
    start = in.tell();
    return in.ok() && length <= in.remaining();
}

// The fewest PackBits bytes that can make a row of n bytes (runs of at most 128).
std::uint64_t minPackedBytes(std::uint64_t n) { return 2 * ((n + 127) / 128); }

// One row of PackBits data of exactly `count` bytes. Runs that cross the row's end and
// rows left short are errors; bytes left over after the row are ignored.
std::uint32_t unpackRow(ByteReader& in, std::uint32_t count, std::uint8_t* dst, std::size_t size) {
    std::size_t x = 0;
    std::uint32_t used = 0;
    while (x < size) {
        if (used >= count) return IS5_ERR_FORMAT;
        std::uint8_t n = in.u8();
        ++used;
        if (n < 128) {
            std::size_t len = std::size_t{n} + 1;
            if (len > size - x || len > count - used) return IS5_ERR_FORMAT;
            in.read(dst + x, len);
            used += static_cast<std::uint32_t>(len);
            x += len;
        } else if (n > 128) {
            std::size_t len = 257u - n;
            if (len > size - x || used >= count) return IS5_ERR_FORMAT;
            std::memset(dst + x, in.u8(), len);
            ++used;
            x += len;
        }
        if (!in.ok()) return IS5_ERR_READ;
    }
    return IS5_OK;
}

// The rows of one channel, in order, each from its own buffered reader so that reading
// the channels side by side never refills a shared buffer.
class ChannelRows {
public:
    ChannelRows(Is5Source& source, std::uint64_t start, std::size_t rowBytes, const std::uint32_t* counts)
        : m_in(source, 16 * 1024), m_rowBytes(rowBytes), m_counts(counts), m_offset(start) {
        m_in.seek(start);
    }

    std::uint32_t next(std::uint8_t* dst) {
        if (!m_counts) {
            if (!m_in.read(dst, m_rowBytes)) return IS5_ERR_READ;
            return IS5_OK;
        }
        std::uint32_t count = m_counts[m_row++];
        if (!m_in.seek(m_offset)) return IS5_ERR_READ;
        m_offset += count;
        return unpackRow(m_in, count, dst, m_rowBytes);
    }

private:
    ByteReader m_in;
    std::size_t m_rowBytes;
    const std::uint32_t* m_counts; // PackBits byte counts of this channel's rows, or null
    std::uint64_t m_offset;
    std::size_t m_row = 0;
};

constexpr std::uint8_t mulInk(std::uint32_t a, std::uint32_t b) { return static_cast<std::uint8_t>((a * b + 127u) / 255u); }

// Whether colours that come with a transparency channel were laid over white already.
bool mattedOverWhite(const std::uint8_t* colours, std::size_t stride, std::size_t channels,
                     const std::vector<std::uint8_t>& alpha) {
    for (std::size_t i = 0; i < alpha.size(); ++i) {
        // Rounding may put a matted value one below the bound.
        unsigned floor = alpha[i] >= 254 ? 0u : 254u - alpha[i];
        for (std::size_t c = 0; c < channels; ++c)
            if (colours[i * stride + c] < floor) return false;
    }
    return true;
}

// The palette that goes with 8- and 1-bit output of a mode; false for modes without one.
bool paletteOf(const Header& h, std::uint32_t& count, Is5Rgbq* palette) {
    switch (h.mode) {
    case kModeBitmap:
        palette[0] = {255, 255, 255, 0};
        palette[1] = {0, 0, 0, 0};
        count = 2;
        return true;
    case kModeGrey:
        for (int i = 0; i < 256; ++i) {
            auto v = static_cast<std::uint8_t>(i);
            palette[i] = {v, v, v, 0};
        }
        count = 256;
        return true;
    case kModeIndexed:
        if (!h.hasPalette) return false;
        std::copy(h.palette.begin(), h.palette.end(), palette);
        count = 256;
        return true;
    default: return false;
    }
}

} // namespace

std::uint32_t PsdReader::readHeader(Header& h) {
    if (!m_source.seek(0)) return IS5_ERR_READ;
    ByteReader in(m_source, 64);
    return parseHeader(in, h);
}

std::uint32_t PsdReader::readSections(Header& h) {
    if (!m_source.seek(0)) return IS5_ERR_READ;
    ByteReader in(m_source, 4096);
    if (std::uint32_t rc = parseHeader(in, h)) return rc;

    std::uint64_t start, length;
    if (!sectionBounds(in, start, length)) return IS5_ERR_READ; // colour mode data
    if (h.mode == kModeIndexed && length >= 768) {
        std::uint8_t planes[768];
        in.read(planes, sizeof planes);
        for (int i = 0; i < 256; ++i) h.palette[i] = {planes[i], planes[256 + i], planes[512 + i], 0};
        h.hasPalette = true;
    }
    in.seek(start + length);
    if (!sectionBounds(in, start, length)) return IS5_ERR_READ; // image resources
    in.seek(start + length);
    if (!sectionBounds(in, start, length)) return IS5_ERR_READ; // layers and masks
    if (length >= 6) {
        std::uint32_t layerInfoLength = in.u32be();
        if (layerInfoLength >= 2) h.mergedTransparency = static_cast<std::int16_t>(in.u16be()) < 0;
    }
    in.seek(start + length);
    h.compression = in.u16be();
    if (!in.ok()) return IS5_ERR_READ;
    h.dataOffset = in.tell();
    return IS5_OK;
}

std::uint32_t PsdReader::read(std::uint32_t depth, Picture& out, Is5Rgbq* palette) {
    if (depth != 24 && depth != 8 && depth != 1) return IS5_ERR_PARAM;
    Header h;
    if (std::uint32_t rc = readSections(h)) return rc;

    if (h.depth == 32) return IS5_ERR_UNSUPPORTED;
    switch (h.mode) {
    case kModeBitmap:
        if (h.depth != 1) return IS5_ERR_FORMAT;
        break;
    case kModeIndexed:
        if (h.depth != 8 || !h.hasPalette) return IS5_ERR_FORMAT;
        break;
    case kModeGrey:
    case kModeRgb:
    case kModeCmyk:
        if (h.depth == 1) return IS5_ERR_FORMAT;
        break;
    default: return IS5_ERR_UNSUPPORTED; // multichannel, duotone, Lab
    }
    const std::uint32_t colourChannels = h.mode == kModeRgb ? 3 : h.mode == kModeCmyk ? 4 : 1;
    if (h.channels < colourChannels) return IS5_ERR_FORMAT;
    const bool paletted = h.mode == kModeBitmap || h.mode == kModeGrey || h.mode == kModeIndexed;
    if ((depth == 8 && !paletted) || (depth == 1 && h.mode != kModeBitmap)) return IS5_ERR_UNSUPPORTED;
    const bool hasAlpha = h.mergedTransparency && h.channels > colourChannels && h.mode != kModeIndexed &&
                          h.mode != kModeBitmap;
    const std::uint32_t needed = colourChannels + (hasAlpha ? 1 : 0);

    if (std::uint32_t rc = detail::checkPictureSize(h.width, h.height)) return rc;
    if (h.compression == kZip || h.compression == kZipPredicted) return IS5_ERR_UNSUPPORTED;
    if (h.compression != kRaw && h.compression != kPackBits) return IS5_ERR_FORMAT;

    const std::uint64_t storedRow = h.depth == 1 ? (std::uint64_t{h.width} + 7) / 8 : std::uint64_t{h.width} * (h.depth / 8);
    const std::uint64_t fileSize = m_source.size();
    const std::uint64_t available = fileSize - std::min(fileSize, h.dataOffset);

    // Where every needed channel's rows lie, checked against the file before allocating.
    std::vector<std::uint32_t> counts;
    std::vector<std::uint64_t> channelStart(needed);
    if (h.compression == kRaw) {
        if (std::uint64_t{needed} * h.height * storedRow > available) return IS5_ERR_READ;
        for (std::uint32_t c = 0; c < needed; ++c) channelStart[c] = h.dataOffset + std::uint64_t{c} * h.height * storedRow;
    } else {
        const std::uint64_t tableBytes = std::uint64_t{h.channels} * h.height * 2;
        if (tableBytes > available) return IS5_ERR_READ;
        counts.resize(std::size_t{needed} * h.height);
        {
            if (!m_source.seek(h.dataOffset)) return IS5_ERR_READ;
            ByteReader in(m_source);
            for (auto& count : counts) count = in.u16be();
            if (!in.ok()) return IS5_ERR_READ;
        }
        const std::uint64_t minimum = minPackedBytes(storedRow);
        std::uint64_t offset = h.dataOffset + tableBytes;
        for (std::uint32_t c = 0; c < needed; ++c) {
            channelStart[c] = offset;
            for (std::uint32_t y = 0; y < h.height; ++y) {
                std::uint32_t count = counts[std::size_t{c} * h.height + y];
                if (count < minimum) return IS5_ERR_FORMAT;
                offset += count;
            }
        }
        if (offset > fileSize) return IS5_ERR_READ;
    }

    const std::size_t width = h.width;
    const std::size_t outRow = static_cast<std::size_t>(detail::rowBytes(width, depth));
    platform::UniqueGlobal block;
    if (!block.allocate(outRow * h.height)) return IS5_ERR_MEMORY;
    std::vector<std::uint8_t> alpha(hasAlpha ? width * h.height : 0);

    std::vector<ChannelRows> channels;
    channels.reserve(needed);
    for (std::uint32_t c = 0; c < needed; ++c)
        channels.emplace_back(m_source, channelStart[c], static_cast<std::size_t>(storedRow),
                              counts.empty() ? nullptr : counts.data() + std::size_t{c} * h.height);

    std::vector<std::uint8_t> rows(static_cast<std::size_t>(storedRow) * needed);
    const std::size_t step = h.depth == 16 ? 2 : 1; // 16-bit samples are big-endian: keep the high byte
    for (std::uint32_t y = 0; y < h.height; ++y) {
        for (std::uint32_t c = 0; c < needed; ++c)
            if (std::uint32_t rc = channels[c].next(rows.data() + c * storedRow)) return rc;
        auto sample = [&](std::uint32_t c, std::size_t x) { return rows[c * storedRow + x * step]; };
        std::uint8_t* dst = block.data() + y * outRow;
        if (hasAlpha)
            for (std::size_t x = 0; x < width; ++x) alpha[y * width + x] = sample(colourChannels, x);

        switch (h.mode) {
        case kModeBitmap:
            if (depth == 1) {
                std::memcpy(dst, rows.data(), outRow);
                break;
            }
            for (std::size_t x = 0; x < width; ++x) {
                unsigned black = (rows[x >> 3] >> (7 - (x & 7))) & 1u;
                if (depth == 8) dst[x] = static_cast<std::uint8_t>(black);
                else std::memset(dst + 3 * x, black ? 0 : 255, 3);
            }
            break;
        case kModeGrey:
        case kModeIndexed:
            for (std::size_t x = 0; x < width; ++x) {
                std::uint8_t v = sample(0, x);
                if (depth == 8) {
                    dst[x] = v;
                } else if (h.mode == kModeIndexed) {
                    dst[3 * x] = h.palette[v].r;
                    dst[3 * x + 1] = h.palette[v].g;
                    dst[3 * x + 2] = h.palette[v].b;
                } else {
                    std::memset(dst + 3 * x, v, 3);
                }
            }
            break;
        case kModeRgb:
            for (std::size_t x = 0; x < width; ++x) {
                dst[3 * x] = sample(0, x);
                dst[3 * x + 1] = sample(1, x);
                dst[3 * x + 2] = sample(2, x);
            }
            break;
        case kModeCmyk:
            // Ink values are stored inverted (255 = no ink): each colour is what its ink
            // and the black ink leave of white.
            for (std::size_t x = 0; x < width; ++x) {
                std::uint32_t k = sample(3, x);
                dst[3 * x] = mulInk(sample(0, x), k);
                dst[3 * x + 1] = mulInk(sample(1, x), k);
                dst[3 * x + 2] = mulInk(sample(2, x), k);
            }
            break;
        }
    }

    if (hasAlpha) {
        const std::size_t stride = depth == 24 ? 3 : 1;
        std::uint8_t* px = block.data();
        if (!mattedOverWhite(px, stride, stride, alpha))
            for (std::size_t i = 0; i < alpha.size(); ++i)
                for (std::size_t c = 0; c < stride; ++c) px[i * stride + c] = detail::overWhite(px[i * stride + c], alpha[i]);
    }

    if (palette && depth != 24) {
        std::fill(palette, palette + 256, Is5Rgbq{0, 0, 0, 0});
        std::uint32_t count = 0;
        paletteOf(h, count, palette);
    }
    out.width = h.width;
    out.height = h.height;
    out.pixels = block.release();
    return IS5_OK;
}

std::uint32_t PsdReader::readPalette(std::uint32_t& count, Is5Rgbq* palette) {
    Header h;
    if (std::uint32_t rc = readSections(h)) return rc;
    std::array<Is5Rgbq, 256> colours{};
    if (!paletteOf(h, count, colours.data())) return h.mode == kModeIndexed ? IS5_ERR_FORMAT : IS5_ERR_UNSUPPORTED;
    std::copy(colours.begin(), colours.begin() + count, palette);
    return IS5_OK;
}

} // namespace imaging::psd

HGLOBAL is5_ReadPSD(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t /*flags*/) {
    constexpr const char* kName = "is5_ReadPSD";
    if (!source || !width || !height) return imaging::detail::failBlock(IS5_ERR_PARAM, kName);
    try {
        imaging::psd::PsdReader reader(*source);
        imaging::psd::Picture picture;
        if (std::uint32_t rc = reader.read(depth, picture, palette)) return imaging::detail::failBlock(rc, kName);
        *width = picture.width;
        *height = picture.height;
        return imaging::detail::succeed(kName, picture.pixels);
    } catch (const std::exception&) {
        return imaging::detail::failBlock(IS5_ERR_MEMORY, kName);
    }
}

BOOL is5_GetPSDDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerChannel,
                    std::uint32_t* channels, std::uint32_t* colourMode) {
    constexpr const char* kName = "is5_GetPSDDims";
    if (!source) return imaging::detail::failBool(IS5_ERR_PARAM, kName);
    try {
        imaging::psd::PsdReader reader(*source);
        imaging::psd::Header h;
        if (std::uint32_t rc = reader.readHeader(h)) return imaging::detail::failBool(rc, kName);
        if (width) *width = h.width;
        if (height) *height = h.height;
        if (bitsPerChannel) *bitsPerChannel = h.depth;
        if (channels) *channels = h.channels;
        if (colourMode) *colourMode = h.mode;
        return imaging::detail::succeed<BOOL>(kName, TRUE);
    } catch (const std::exception&) {
        return imaging::detail::failBool(IS5_ERR_MEMORY, kName);
    }
}

BOOL is5_GetPSDPalette(IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette, std::uint32_t /*flags*/) {
    constexpr const char* kName = "is5_GetPSDPalette";
    if (!source || !count || !palette) return imaging::detail::failBool(IS5_ERR_PARAM, kName);
    try {
        imaging::psd::PsdReader reader(*source);
        std::uint32_t n = 0;
        if (std::uint32_t rc = reader.readPalette(n, palette)) return imaging::detail::failBool(rc, kName);
        *count = n;
        return imaging::detail::succeed<BOOL>(kName, TRUE);
    } catch (const std::exception&) {
        return imaging::detail::failBool(IS5_ERR_MEMORY, kName);
    }
}
