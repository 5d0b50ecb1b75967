// SPDX-License-Identifier: MIT
// Parsing a device-independent bitmap's header: the one parser behind the BMP reader and
// the metafiles' bitmap records.
#include "platform/dib.h"

#include <bit>
#include <cstring>

namespace platform::dib {

namespace {

std::uint32_t le16(const std::uint8_t* p) { return p[0] | (std::uint32_t{p[1]} << 8); }
std::uint32_t le32(const std::uint8_t* p) { return le16(p) | (le16(p + 2) << 16); }

// A mask must be one run of set bits (or empty, for a channel the file does not carry).
bool makeChannel(std::uint32_t mask, Channel& channel) {
    channel = {};
    if (mask == 0) return true;
    const std::uint32_t shift = static_cast<std::uint32_t>(std::countr_zero(mask));
    const std::uint32_t run = mask >> shift;
    if ((run & (run + 1)) != 0) return false;
    channel = {mask, shift, static_cast<std::uint32_t>(std::popcount(mask))};
    return true;
}

bool isWindowsHeaderSize(std::uint32_t size) {
    return size == kInfoHeaderSize || size == kV2HeaderSize || size == kV3HeaderSize || size == kV4HeaderSize ||
           size == kV5HeaderSize;
}

// Sorts out compression and bit count into one of the pixel layouts.
Status chooseEncoding(Header& h) {
    const std::uint32_t bpp = h.bitCount;
    const bool os2v2 = h.os2 && h.headerSize > kCoreHeaderSize;
    if (os2v2 && h.compression == kOs2Huffman1d) return Status::Unsupported;
    if (os2v2 && h.compression == kOs2Rle24) {
        if (bpp != 24) return Status::Bad;
        h.encoding = Encoding::Rle24;
        return Status::Ok;
    }
    switch (h.compression) {
    case kRgb:
        if (bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8) h.encoding = Encoding::Indexed;
        else if (bpp == 24) h.encoding = Encoding::Rgb24;
        else if (bpp == 16 || bpp == 32) h.encoding = Encoding::Masked;
        else if (bpp == 64) return Status::Unsupported;
        else return Status::Bad;
        return Status::Ok;
    case kRle8:
        if (bpp != 8) return Status::Bad;
        h.encoding = Encoding::Rle8;
        return Status::Ok;
    case kRle4:
        if (bpp != 4) return Status::Bad;
        h.encoding = Encoding::Rle4;
        return Status::Ok;
    case kBitfields:
    case kAlphaBitfields:
        if (bpp != 16 && bpp != 24 && bpp != 32) return Status::Bad;
        h.encoding = Encoding::Masked;
        return Status::Ok;
    case kJpeg:
    case kPng:
    case 11: // the CMYK variants of Windows metafiles
    case 12:
    case 13: return Status::Unsupported;
    default: return Status::Bad;
    }
}

} // namespace

Status parseHeader(const std::uint8_t* info, std::size_t size, Header& h) {
    h = {};
    if (size < 4) return Status::Short;
    h.headerSize = le32(info);
    const std::uint32_t hs = h.headerSize;

    std::int64_t width = 0, height = 0;
    std::uint32_t masks[4] = {};
    if (hs == kCoreHeaderSize) {
        if (size < hs) return Status::Short;
        h.os2 = true;
        width = le16(info + 4);
        height = le16(info + 6);
        h.bitCount = le16(info + 10);
        h.paletteEntrySize = 3;
    } else if (isWindowsHeaderSize(hs) || (hs >= kOs2MinHeaderSize && hs <= kOs2MaxHeaderSize)) {
        if (size < hs) return Status::Short;
        // Fields an OS/2 2.x header leaves out read as zero.
        std::uint8_t fields[kV5HeaderSize] = {};
        std::memcpy(fields, info, hs);
        h.os2 = !isWindowsHeaderSize(hs);
        width = static_cast<std::int32_t>(le32(fields + 4));
        height = static_cast<std::int32_t>(le32(fields + 8));
        h.bitCount = le16(fields + 14);
        h.compression = le32(fields + 16);
        h.xPelsPerMeter = static_cast<std::int32_t>(le32(fields + 24));
        h.yPelsPerMeter = static_cast<std::int32_t>(le32(fields + 28));
        h.coloursUsed = le32(fields + 32);
        if (!h.os2 && hs >= kV2HeaderSize)
            for (int i = 0; i < 3; ++i) masks[i] = le32(fields + 40 + 4 * i);
        if (!h.os2 && hs >= kV3HeaderSize) masks[3] = le32(fields + 52);
    } else {
        return Status::Bad;
    }

    if (width <= 0 || height == 0) return Status::Bad;
    h.topDown = height < 0;
    h.width = static_cast<std::uint32_t>(width);
    h.height = static_cast<std::uint32_t>(height < 0 ? -height : height);
    if (Status s = chooseEncoding(h); s != Status::Ok) return s;

    h.paletteOffset = hs;
    if (h.encoding == Encoding::Masked) {
        const bool bitfields = h.compression == kBitfields || h.compression == kAlphaBitfields;
        if (bitfields && hs == kInfoHeaderSize) {
            // The masks follow a 40-byte header, and the palette follows them.
            const int count = h.compression == kAlphaBitfields ? 4 : 3;
            if (size < hs + 4u * count) return Status::Short;
            for (int i = 0; i < count; ++i) masks[i] = le32(info + hs + 4 * i);
            h.paletteOffset += 4 * count;
        }
        if (!bitfields || (masks[0] | masks[1] | masks[2]) == 0) {
            // Plain 16 and 32-bit pixels (and bit fields that leave every colour mask
            // empty) are 5-5-5 and 8-8-8. A plain 32-bit file may still name an alpha mask
            // in a V3 or later header: that is how such files declare their alpha.
            const bool five = h.bitCount == 16;
            masks[0] = five ? 0x7C00 : 0xFF0000;
            masks[1] = five ? 0x03E0 : 0x00FF00;
            masks[2] = five ? 0x001F : 0x0000FF;
            if (!bitfields && h.bitCount != 32) masks[3] = 0;
        }
        for (int i = 0; i < 4; ++i)
            if (!makeChannel(masks[i], h.channels[i])) return Status::Bad;
    }

    // Palette: biClrUsed entries, or all that the bit count can index when it is 0.
    h.paletteCount = h.coloursUsed;
    if (h.bitCount <= 8) {
        const std::uint64_t most = std::uint64_t{1} << h.bitCount;
        if (h.paletteCount == 0 || hs == kCoreHeaderSize) h.paletteCount = most;
        if (h.paletteCount > most) return Status::Bad;
    }
    return Status::Ok;
}

} // namespace platform::dib
