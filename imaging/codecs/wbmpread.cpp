// SPDX-License-Identifier: MIT
// WBMP (Wireless Application Protocol bitmap) reader, type 0: one bit per pixel, 1 = white;
// and the is5_ calls over it.
//
// Format document: WAP Wireless Application Environment, WAP-190,
// section 6 "WAP Image Format"; summary: https://en.wikipedia.org/wiki/Wireless_Application_Protocol_Bitmap_Format
#include "imaging/detail/bytereader.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"
#include "platform/globalmemory.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace imaging::wbmp {

namespace {

using detail::ByteReader;

constexpr std::uint8_t kContinuation = 0x80;     ///< multi-byte integers: more bytes follow
constexpr std::uint8_t kExtensionHeaders = 0x80; ///< fixed header field: extension headers follow
constexpr int kMaxIntegerBytes = 5;              ///< 35 bits: enough for any 32-bit value

struct Header {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// A multi-byte integer: 7 bits per byte, most significant first, top bit set on all but
// the last byte. Values past 32 bits are refused.
std::uint32_t readInteger(ByteReader& in, std::uint32_t& value) {
    std::uint64_t v = 0;
    for (int i = 0; i < kMaxIntegerBytes; ++i) {
        const std::uint8_t b = in.u8();
        if (!in.ok()) return IS5_ERR_READ;
        v = (v << 7) | (b & 0x7Fu);
        if (v > 0xFFFFFFFFu) return IS5_ERR_FORMAT;
        if (!(b & kContinuation)) {
            value = static_cast<std::uint32_t>(v);
            return IS5_OK;
        }
    }
    return IS5_ERR_FORMAT;
}

std::uint32_t readHeader(ByteReader& in, Header& h) {
    std::uint32_t type = 0;
    if (std::uint32_t rc = readInteger(in, type)) return rc;
    if (type != 0) return IS5_ERR_UNSUPPORTED;
    const std::uint8_t fixed = in.u8();
    if (!in.ok()) return IS5_ERR_READ;
    if (fixed & kExtensionHeaders) return IS5_ERR_FORMAT; // type 0 has none
    if (std::uint32_t rc = readInteger(in, h.width)) return rc;
    if (std::uint32_t rc = readInteger(in, h.height)) return rc;
    if (h.width == 0 || h.height == 0) return IS5_ERR_FORMAT;
    return IS5_OK;
}

// Rows of (width + 7) / 8 bytes, most significant bit first; 0 is black, 1 white. Depth 1
// keeps the bits (palette black, white), depth 8 gives indexes 0 and 1, depth 24 colours.
std::uint32_t decode(ByteReader& in, const Header& h, std::uint32_t depth, platform::UniqueGlobal& block) {
    if (depth != 24 && depth != 8 && depth != 1) return IS5_ERR_PARAM;
    if (std::uint32_t rc = detail::checkPictureSize(h.width, h.height)) return rc;
    const std::size_t packed = (std::size_t{h.width} + 7) / 8;
    if (std::uint64_t{packed} * h.height > in.remaining()) return IS5_ERR_READ;

    const std::size_t outStride = static_cast<std::size_t>(detail::rowBytes(h.width, depth));
    if (!block.allocate(outStride * h.height)) return IS5_ERR_MEMORY;
    std::uint8_t* out = block.data();
    std::vector<std::uint8_t> row(packed);
    for (std::uint32_t y = 0; y < h.height; ++y) {
        if (!in.read(row.data(), packed)) return IS5_ERR_READ;
        std::uint8_t* dst = out + std::size_t{y} * outStride;
        if (depth == 1) {
            std::memcpy(dst, row.data(), packed);
            continue;
        }
        for (std::uint32_t x = 0; x < h.width; ++x) {
            const std::uint8_t bit = (row[x / 8] >> (7 - x % 8)) & 1;
            if (depth == 8) dst[x] = bit;
            else std::memset(dst + 3 * std::size_t{x}, bit ? 255 : 0, 3);
        }
    }
    return IS5_OK;
}

} // namespace

} // namespace imaging::wbmp

using imaging::detail::failBlock;
using imaging::detail::failBool;
using imaging::detail::succeed;

HGLOBAL is5_ReadWBMP(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, Is5Rgbq* palette,
                     std::uint32_t depth, std::uint32_t /*flags*/) {
    constexpr const char* kFunction = "is5_ReadWBMP";
    if (!source || !width || !height) return failBlock(IS5_ERR_PARAM, kFunction);
    try {
        if (!source->seek(0)) return failBlock(IS5_ERR_READ, kFunction);
        imaging::detail::ByteReader in(*source);
        imaging::wbmp::Header header;
        if (std::uint32_t rc = imaging::wbmp::readHeader(in, header)) return failBlock(rc, kFunction);
        platform::UniqueGlobal block;
        if (std::uint32_t rc = imaging::wbmp::decode(in, header, depth, block)) return failBlock(rc, kFunction);
        if (palette && depth != 24) {
            std::fill_n(palette, 256, Is5Rgbq{0, 0, 0, 0});
            palette[1] = {255, 255, 255, 0};
        }
        *width = header.width;
        *height = header.height;
        return succeed(kFunction, block.release());
    } catch (const std::bad_alloc&) {
        return failBlock(IS5_ERR_MEMORY, kFunction);
    }
}

BOOL is5_GetWBMPDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height) {
    constexpr const char* kFunction = "is5_GetWBMPDims";
    if (!source) return failBool(IS5_ERR_PARAM, kFunction);
    try {
        if (!source->seek(0)) return failBool(IS5_ERR_READ, kFunction);
        imaging::detail::ByteReader in(*source, 64);
        imaging::wbmp::Header header;
        if (std::uint32_t rc = imaging::wbmp::readHeader(in, header)) return failBool(rc, kFunction);
        if (width) *width = header.width;
        if (height) *height = header.height;
        return succeed(kFunction, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kFunction);
    }
}
