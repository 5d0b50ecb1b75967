// SPDX-License-Identifier: MIT
// WBMP writer, type 0: a bit per pixel, 1 for white (a non-zero 8-bit pixel), rows padded
// to whole bytes.
// Format document: WAP Wireless Application Environment, WAP-190,
// section 6 "WAP Image Format"; summary: https://en.wikipedia.org/wiki/Wireless_Application_Protocol_Bitmap_Format
#include "imaging/codecs/buffereddest.h"
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <algorithm>
#include <new>
#include <vector>

namespace imaging::wbmp {

namespace {

// A multi-byte integer: 7 bits per byte, most significant first, the top bit set on every
// byte but the last.
void putInteger(std::vector<std::uint8_t>& out, std::uint32_t v) {
    std::uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
        v >>= 7;
    } while (v);
    while (n > 1) out.push_back(static_cast<std::uint8_t>(0x80 | groups[--n]));
    out.push_back(groups[0]);
}

std::uint32_t writeWbmp(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                        std::uint32_t stride) {
    detail::BufferedDest out(dest);
    std::vector<std::uint8_t> header{0, 0}; // type 0, fixed header without extensions
    putInteger(header, width);
    putInteger(header, height);
    out.write(header);

    std::vector<std::uint8_t> row((std::size_t{width} + 7) / 8);
    for (std::uint32_t y = 0; y < height && out.ok(); ++y) {
        const std::uint8_t* in = pixels + std::size_t{y} * stride;
        std::fill(row.begin(), row.end(), 0);
        for (std::size_t x = 0; x < width; ++x)
            if (in[x]) row[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
        out.write(row);
    }
    out.flush();
    return out.code();
}

} // namespace

} // namespace imaging::wbmp

BOOL is5_WriteWBMP(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                   std::uint32_t stride, std::uint32_t /*flags*/) {
    using namespace imaging::detail;
    constexpr const char* kFunction = "is5_WriteWBMP";
    if (!validPicture(dest, pixels, width, height, 8, stride)) return endWrite(dest, IS5_ERR_PARAM, kFunction);
    try {
        return endWrite(dest, imaging::wbmp::writeWbmp(dest, pixels, width, height, stride), kFunction);
    } catch (const std::bad_alloc&) {
        return endWrite(dest, IS5_ERR_MEMORY, kFunction);
    }
}
