// SPDX-License-Identifier: MIT
// BMP writer: BITMAPFILEHEADER + BITMAPINFOHEADER (40 bytes), rows bottom-up padded to
// four bytes, at 24 bits (BI_RGB, B-G-R), 8 bits (palette, optionally RLE8) or 1 bit.
// Format: https://learn.microsoft.com/en-us/windows/win32/gdi/bitmap-storage
//         https://learn.microsoft.com/en-us/windows/win32/gdi/bitmap-compression (RLE8)
#include "imaging/codecs/bmp.h"
#include "imaging/codecs/ownwrite.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace imaging::bmp {
namespace {

using detail::DestWriter;

constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFFu;
constexpr std::uint32_t kRowAlign = 4;

/// A resolution value in pixels per metre as the header's signed field takes it:
/// truncated as a C cast does, negative and unknown values as 0, huge ones clamped.
std::int32_t perMetre(double value) {
    if (!(value > 0)) return 0;
    if (value >= double(std::numeric_limits<std::int32_t>::max())) return std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(value);
}

std::uint64_t paddedRow(std::uint32_t width, std::uint32_t depth) {
    return (detail::rowBytes(width, depth) + kRowAlign - 1) / kRowAlign * kRowAlign;
}

// RLE8 of one row: runs of three or more equal bytes as (count, value); stretches of
// other bytes in absolute mode (0, count, bytes, padded to a 16-bit boundary) when at
// least three long, else as runs of one. Ends with end-of-line, or end-of-bitmap after
// the last row.
void encodeRle8Row(DestWriter& out, const std::uint8_t* row, std::uint32_t width, bool last) {
    auto runAt = [&](std::uint32_t x, std::uint32_t limit) {
        std::uint32_t n = 1;
        while (x + n < width && n < limit && row[x + n] == row[x]) ++n;
        return n;
    };
    std::uint32_t x = 0;
    while (x < width) {
        const std::uint32_t run = runAt(x, 255);
        if (run >= 3) {
            out.u8(static_cast<std::uint8_t>(run));
            out.u8(row[x]);
            x += run;
            continue;
        }
        const std::uint32_t start = x;
        while (x < width && x - start < 255 && runAt(x, 3) < 3) ++x;
        const std::uint32_t count = x - start;
        if (count < 3) {
            for (std::uint32_t i = start; i < x; ++i) {
                out.u8(1);
                out.u8(row[i]);
            }
        } else {
            out.u8(0);
            out.u8(static_cast<std::uint8_t>(count));
            out.bytes(row + start, count);
            if (count & 1) out.u8(0);
        }
    }
    out.u8(0);
    out.u8(last ? 1 : 0);
}

std::uint32_t writeBmp(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                       std::uint32_t depth, std::uint32_t stride, std::uint32_t colours, const Is5Rgbq* palette,
                       const ResolutionInfo* resolution, std::uint32_t flags) {
    if (depth != 24 && depth != 8 && depth != 1) return IS5_ERR_PARAM;
    if (std::uint32_t rc = detail::checkWriteArgs(dest, pixels, width, height, depth, stride)) return rc;
    if (depth != 24 && !palette) return IS5_ERR_PARAM;
    if (width > std::uint32_t(std::numeric_limits<std::int32_t>::max()) ||
        height > std::uint32_t(std::numeric_limits<std::int32_t>::max()))
        return IS5_ERR_PARAM;

    // Palette entries written: 2 at 1 bit; at 8 bits the count asked for (0 or more than
    // 256 meaning 256), enlarged to cover every index the pixels use.
    std::uint32_t entries = 0;
    if (depth == 1) entries = 2;
    if (depth == 8) {
        entries = colours == 0 || colours > 256 ? 256 : colours;
        std::uint32_t highest = 0;
        for (std::uint32_t y = 0; y < height && highest < 255; ++y) {
            const std::uint8_t* row = pixels + std::size_t{y} * stride;
            highest = std::max<std::uint32_t>(highest, *std::max_element(row, row + width));
        }
        entries = std::max(entries, highest + 1);
    }
    const bool rle = depth == 8 && (flags & 1) != 0;
    const std::uint64_t padded = paddedRow(width, depth);
    const std::uint32_t dataOffset = kFileHeaderSize + kInfoHeaderSize + 4 * entries;
    // The largest the pixel data can get: padded rows, or RLE8 at its worst (no pixel
    // takes more than two bytes, plus the end of each row).
    const std::uint64_t worstData =
        rle ? std::uint64_t{height} * (2 * std::uint64_t{width} + 2) : std::uint64_t{height} * padded;
    if (dataOffset + worstData > kMaxFileSize) return IS5_ERR_PARAM;

    const std::uint32_t dataSize = rle ? 0 : static_cast<std::uint32_t>(worstData); // patched for RLE8
    DestWriter out(dest);
    const std::uint64_t start = out.position();
    // BITMAPFILEHEADER
    out.u8('B');
    out.u8('M');
    out.u32le(dataOffset + dataSize);
    out.u32le(0);
    out.u32le(dataOffset);
    // BITMAPINFOHEADER
    out.u32le(kInfoHeaderSize);
    out.u32le(width);
    out.u32le(height); // positive: rows stored bottom-up
    out.u16le(1);
    out.u16le(depth);
    out.u32le(rle ? kRle8 : kRgb);
    out.u32le(dataSize);
    out.u32le(static_cast<std::uint32_t>(perMetre(resolution ? resolution->xResolution : 0)));
    out.u32le(static_cast<std::uint32_t>(perMetre(resolution ? resolution->yResolution : 0)));
    out.u32le(depth == 24 ? 0 : entries);
    out.u32le(0);
    for (std::uint32_t i = 0; i < entries; ++i) {
        out.u8(palette[i].b);
        out.u8(palette[i].g);
        out.u8(palette[i].r);
        out.u8(0);
    }

    std::vector<std::uint8_t> row(static_cast<std::size_t>(padded), 0); // under 4 GiB: checked above
    const std::uint32_t used = static_cast<std::uint32_t>(detail::rowBytes(width, depth));
    for (std::uint32_t i = 0; i < height && out.ok(); ++i) {
        const std::uint32_t y = height - 1 - i;
        const std::uint8_t* src = pixels + std::size_t{y} * stride;
        if (rle) {
            encodeRle8Row(out, src, width, i + 1 == height);
            continue;
        }
        if (depth == 24) {
            for (std::uint32_t x = 0; x < width; ++x) {
                row[3 * x] = src[3 * x + 2];
                row[3 * x + 1] = src[3 * x + 1];
                row[3 * x + 2] = src[3 * x];
            }
        } else {
            std::memcpy(row.data(), src, used);
            // Bits past the last pixel of a 1-bit row are written as 0.
            if (depth == 1 && (width & 7)) row[used - 1] &= static_cast<std::uint8_t>(0xFF00u >> (width & 7));
        }
        out.bytes(row.data(), row.size());
    }
    if (rle && out.ok()) {
        const std::uint64_t end = out.position();
        const auto size = static_cast<std::uint32_t>(end - start - dataOffset);
        out.seek(start + 2);
        out.u32le(static_cast<std::uint32_t>(end - start));
        out.seek(start + kFileHeaderSize + 20);
        out.u32le(size);
        out.seek(end);
    }
    out.flush();
    return out.ok() ? IS5_OK : IS5_ERR_WRITE;
}

} // namespace
} // namespace imaging::bmp

BOOL is5_WriteBMP(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t depth, std::uint32_t stride, std::uint32_t colours, const Is5Rgbq* palette,
                  const ResolutionInfo* resolution, std::uint32_t flags) {
    constexpr const char* kFunction = "is5_WriteBMP";
    std::uint32_t rc;
    try {
        rc = imaging::bmp::writeBmp(dest, pixels, width, height, depth, stride, colours, palette, resolution, flags);
    } catch (const std::bad_alloc&) {
        rc = IS5_ERR_MEMORY;
    }
    return imaging::detail::finishWrite(dest, rc, kFunction);
}
