// SPDX-License-Identifier: MIT
// Mirroring and quarter turns of decoded pictures, for the Orientation tag.
#include "imaging/codecs/orient.h"

#include "imaging/detail/lasterror.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace imaging::detail {

namespace {

inline bool getBit(const std::uint8_t* row, std::size_t x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
inline void setBit(std::uint8_t* row, std::size_t x) { row[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7)); }

void mirrorRows(std::uint8_t* pixels, std::size_t width, std::size_t height, std::uint32_t depth) {
    const std::size_t stride = rowBytes(width, depth);
    if (depth == 1) {
        std::vector<std::uint8_t> bits(width);
        for (std::size_t y = 0; y < height; ++y) {
            std::uint8_t* row = pixels + y * stride;
            for (std::size_t x = 0; x < width; ++x) bits[x] = getBit(row, x);
            std::memset(row, 0, stride);
            for (std::size_t x = 0; x < width; ++x)
                if (bits[width - 1 - x]) setBit(row, x);
        }
        return;
    }
    const std::size_t bpp = depth / 8;
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* left = pixels + y * stride;
        std::uint8_t* right = left + (width - 1) * bpp;
        for (; left < right; left += bpp, right -= bpp) std::swap_ranges(left, left + bpp, right);
    }
}

void flipRows(std::uint8_t* pixels, std::size_t height, std::size_t stride) {
    for (std::size_t top = 0, bottom = height - 1; top < bottom; ++top, --bottom)
        std::swap_ranges(pixels + top * stride, pixels + top * stride + stride, pixels + bottom * stride);
}

// Where the upright pixel (x, y) lies in the stored picture of w × h, for 5 to 8.
struct QuarterMap {
    int orientation;
    std::size_t w, h;
    void source(std::size_t x, std::size_t y, std::size_t& sx, std::size_t& sy) const {
        switch (orientation) {
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = h - 1 - x; break;
        case 7: sx = w - 1 - y; sy = h - 1 - x; break;
        default: sx = w - 1 - y; sy = x; break; // 8
        }
    }
};

void quarterTurn(const std::uint8_t* in, std::uint8_t* out, std::size_t w, std::size_t h, std::uint32_t depth,
                 int orientation) {
    const QuarterMap map{orientation, w, h};
    const std::size_t outW = h, outH = w;
    const std::size_t inStride = rowBytes(w, depth), outStride = rowBytes(outW, depth);
    // Blocks of 64 × 64 keep both the rows read and the rows written in the cache.
    constexpr std::size_t kTile = 64;
    for (std::size_t ty = 0; ty < outH; ty += kTile) {
        for (std::size_t tx = 0; tx < outW; tx += kTile) {
            const std::size_t yEnd = std::min(outH, ty + kTile), xEnd = std::min(outW, tx + kTile);
            for (std::size_t y = ty; y < yEnd; ++y) {
                std::uint8_t* row = out + y * outStride;
                for (std::size_t x = tx; x < xEnd; ++x) {
                    std::size_t sx, sy;
                    map.source(x, y, sx, sy);
                    const std::uint8_t* src = in + sy * inStride;
                    if (depth == 24) std::memcpy(row + x * 3, src + sx * 3, 3);
                    else if (depth == 8) row[x] = src[sx];
                    else if (getBit(src, sx)) setBit(row, x);
                }
            }
        }
    }
}

} // namespace

std::uint32_t orientUpright(platform::UniqueGlobal& block, std::uint32_t& width, std::uint32_t& height,
                            std::uint32_t depth, int orientation) {
    if (orientation < 2 || orientation > 8 || !block || width == 0 || height == 0) return IS5_OK;
    if (depth != 24 && depth != 8 && depth != 1) return IS5_OK;
    std::uint8_t* pixels = block.data();
    const std::size_t stride = rowBytes(width, depth);
    switch (orientation) {
    case 2: mirrorRows(pixels, width, height, depth); return IS5_OK;
    case 3:
        mirrorRows(pixels, width, height, depth);
        flipRows(pixels, height, stride);
        return IS5_OK;
    case 4: flipRows(pixels, height, stride); return IS5_OK;
    default: break;
    }
    platform::UniqueGlobal turned;
    const std::size_t bytes = rowBytes(height, depth) * std::size_t{width};
    try {
        if (!turned.allocate(bytes, depth == 1)) return IS5_ERR_MEMORY;
    } catch (const std::bad_alloc&) {
        return IS5_ERR_MEMORY;
    }
    quarterTurn(pixels, turned.data(), width, height, depth, orientation);
    block = std::move(turned);
    std::swap(width, height);
    return IS5_OK;
}

} // namespace imaging::detail
