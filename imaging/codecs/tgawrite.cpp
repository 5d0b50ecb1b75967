// SPDX-License-Identifier: MIT
// TGA writer: uncompressed true-colour (type 2, 24-bit B, G, R) or colour-mapped (type 1,
// 8-bit indexes into a 256-entry map of 24-bit entries) pictures with the origin at the
// bottom left (rows stored bottom to top, descriptor 0), and the version 2 footer.
#include "imaging/codecs/buffereddest.h"
#include "imaging/codecs/tga.h"
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <cstring>
#include <new>
#include <vector>

namespace imaging::tga {

namespace {

constexpr std::uint32_t kMaxSide = 65535; // 16-bit width and height
constexpr std::uint32_t kMapEntries = 256;

std::uint32_t writeTga(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                       std::uint32_t depth, std::uint32_t stride, const Is5Rgbq* palette) {
    detail::BufferedDest out(dest);
    const bool mapped = depth == 8;
    std::vector<std::uint8_t> header;
    header.reserve(kHeaderSize + 3 * kMapEntries);
    header.push_back(0);              // no image ID
    header.push_back(mapped ? 1 : 0); // colour map present
    header.push_back(mapped ? kColourMapped : kTrueColour);
    detail::putLe16(header, 0); // first map entry
    detail::putLe16(header, mapped ? kMapEntries : 0);
    header.push_back(mapped ? 24 : 0); // map entry bits
    detail::putLe16(header, 0);        // x origin
    detail::putLe16(header, 0);        // y origin
    detail::putLe16(header, width);
    detail::putLe16(header, height);
    header.push_back(static_cast<std::uint8_t>(depth));
    header.push_back(0); // bottom-left origin, no attribute bits
    if (mapped)
        for (std::uint32_t i = 0; i < kMapEntries; ++i) {
            header.push_back(palette[i].b);
            header.push_back(palette[i].g);
            header.push_back(palette[i].r);
        }
    out.write(header);

    const std::size_t rowOut = std::size_t{width} * (depth / 8);
    std::vector<std::uint8_t> row(rowOut);
    for (std::uint32_t i = 0; i < height && out.ok(); ++i) {
        const std::uint8_t* in = pixels + std::size_t{height - 1 - i} * stride;
        if (mapped) {
            std::memcpy(row.data(), in, rowOut);
        } else {
            for (std::size_t x = 0; x < width; ++x) {
                row[3 * x] = in[3 * x + 2];
                row[3 * x + 1] = in[3 * x + 1];
                row[3 * x + 2] = in[3 * x];
            }
        }
        out.write(row);
    }

    // Version 2 footer without extension or developer areas.
    std::vector<std::uint8_t> footer;
    detail::putLe32(footer, 0);
    detail::putLe32(footer, 0);
    footer.insert(footer.end(), kSignature, kSignature + sizeof kSignature); // with its 0 byte
    out.write(footer);
    out.flush();
    return out.code();
}

} // namespace

} // namespace imaging::tga

BOOL is5_WriteTGA(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t depth, std::uint32_t stride, const Is5Rgbq* palette,
                  const ResolutionInfo* /*resolution*/, std::uint32_t /*flags*/) {
    using namespace imaging::detail;
    constexpr const char* kFunction = "is5_WriteTGA";
    if ((depth != 24 && depth != 8) || (depth == 8 && !palette) ||
        !validPicture(dest, pixels, width, height, depth, stride) || width > imaging::tga::kMaxSide ||
        height > imaging::tga::kMaxSide)
        return endWrite(dest, IS5_ERR_PARAM, kFunction);
    try {
        return endWrite(dest, imaging::tga::writeTga(dest, pixels, width, height, depth, stride, palette), kFunction);
    } catch (const std::bad_alloc&) {
        return endWrite(dest, IS5_ERR_MEMORY, kFunction);
    }
}
