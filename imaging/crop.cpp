// SPDX-License-Identifier: MIT
// Cutting rectangles out of pictures and filling rectangles with one colour.
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <algorithm>
#include <cstring>

using imaging::detail::failBool;
using imaging::detail::succeed;

namespace {

bool insideSource(const Is5Rect* r, std::uint32_t width, std::uint32_t height) {
    return r && r->left >= 0 && r->top >= 0 && r->left < r->right && r->top < r->bottom &&
           std::uint32_t(r->right) <= width && std::uint32_t(r->bottom) <= height;
}

} // namespace

BOOL is5_CropImage(const std::uint8_t* src, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
                   std::uint8_t* dst, std::uint32_t dstStride, const Is5Rect* rect, std::uint32_t bpp) {
    constexpr const char* kName = "is5_CropImage";
    if (!src || !dst || bpp == 0 || !insideSource(rect, width, height) || srcStride < std::uint64_t{width} * bpp)
        return failBool(IS5_ERR_PARAM, kName);
    const std::size_t rowBytes = std::size_t(rect->right - rect->left) * bpp;
    if (dstStride < rowBytes) return failBool(IS5_ERR_PARAM, kName);
    for (std::int32_t y = rect->top; y < rect->bottom; ++y)
        std::memcpy(dst + std::size_t(y - rect->top) * dstStride,
                    src + std::size_t(y) * srcStride + std::size_t(rect->left) * bpp, rowBytes);
    return succeed<BOOL>(kName, TRUE);
}

BOOL is5_Crop1Bit(const std::uint8_t* src, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
                  std::uint8_t* dst, std::uint32_t dstStride, const Is5Rect* rect) {
    constexpr const char* kName = "is5_Crop1Bit";
    if (!src || !dst || !insideSource(rect, width, height) || srcStride < (std::uint64_t{width} + 7) / 8)
        return failBool(IS5_ERR_PARAM, kName);
    const auto cropWidth = std::uint32_t(rect->right - rect->left);
    const std::size_t rowBytes = (std::size_t{cropWidth} + 7) / 8;
    if (dstStride < rowBytes) return failBool(IS5_ERR_PARAM, kName);
    const auto shift = std::uint32_t(rect->left) % 8;
    for (std::int32_t y = rect->top; y < rect->bottom; ++y) {
        const std::uint8_t* in = src + std::size_t(y) * srcStride + std::uint32_t(rect->left) / 8;
        const std::uint8_t* inEnd = src + std::size_t(y) * srcStride + (std::size_t{width} + 7) / 8;
        std::uint8_t* out = dst + std::size_t(y - rect->top) * dstStride;
        for (std::size_t b = 0; b < rowBytes; ++b) {
            // Each output byte takes the tail of one input byte and the head of the next.
            std::uint32_t hi = in + b < inEnd ? in[b] : 0;
            std::uint32_t lo = in + b + 1 < inEnd ? in[b + 1] : 0;
            out[b] = static_cast<std::uint8_t>(((hi << 8 | lo) << shift) >> 8);
        }
        // Bits past the crop's width are cleared, so rows compare equal byte for byte.
        if (cropWidth % 8) out[rowBytes - 1] &= static_cast<std::uint8_t>(0xFF00u >> (cropWidth % 8));
    }
    return succeed<BOOL>(kName, TRUE);
}

BOOL is5_FillSolidRect(std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t bpp,
                       std::uint32_t stride, const Is5Rect* rect, std::uint32_t colour, std::uint32_t options) {
    constexpr const char* kName = "is5_FillSolidRect";
    if (!pixels || !rect || !(bpp == 1 || bpp == 3 || bpp == 4) || stride < std::uint64_t{width} * bpp)
        return failBool(IS5_ERR_PARAM, kName);
    if (rect->left < 0 || rect->top < 0 || std::uint32_t(rect->left) >= width || std::uint32_t(rect->top) >= height)
        return succeed<BOOL>(kName, TRUE); // starts outside the buffer: nothing to fill
    const std::int64_t fillWidth = std::min<std::int64_t>(std::int64_t(rect->right) - rect->left + 1, width - rect->left);
    const std::int64_t fillHeight = std::min<std::int64_t>(std::int64_t(rect->bottom) - rect->top, height - rect->top);
    if (fillWidth <= 0 || fillHeight <= 0) return succeed<BOOL>(kName, TRUE);

    std::uint8_t bytes[4] = {static_cast<std::uint8_t>(colour >> 16), static_cast<std::uint8_t>(colour >> 8),
                             static_cast<std::uint8_t>(colour), static_cast<std::uint8_t>(colour >> 24)};
    if (options & 1) std::swap(bytes[0], bytes[2]);
    for (std::int64_t y = 0; y < fillHeight; ++y) {
        std::uint8_t* row = pixels + std::size_t(rect->top + y) * stride + std::size_t(rect->left) * bpp;
        if (bpp == 1) {
            std::memset(row, static_cast<std::uint8_t>(colour), std::size_t(fillWidth));
            continue;
        }
        for (std::int64_t x = 0; x < fillWidth; ++x) std::memcpy(row + x * bpp, bytes, bpp);
    }
    return succeed<BOOL>(kName, TRUE);
}
