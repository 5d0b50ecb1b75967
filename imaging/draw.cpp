// SPDX-License-Identifier: MIT
// Drawing pictures 1:1 into a device context; palette pictures are expanded row by row.
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"
#include "platform/gui/cdc.h"

#include <vector>

using imaging::detail::failBool;
using imaging::detail::succeed;

namespace {

template <typename IndexOf>
BOOL drawIndexed(CDC* dc, std::uint32_t width, std::uint32_t height, const Is5Rgbq* palette, std::int32_t x,
                 std::int32_t y, IndexOf indexOf) {
    std::vector<std::uint8_t> row(std::size_t{width} * 3);
    for (std::uint32_t r = 0; r < height; ++r) {
        for (std::uint32_t c = 0; c < width; ++c) {
            const Is5Rgbq& colour = palette[indexOf(r, c)];
            row[c * 3] = colour.r;
            row[c * 3 + 1] = colour.g;
            row[c * 3 + 2] = colour.b;
        }
        dc->DrawRgbRows(row.data(), width, 1, std::uint32_t(row.size()), x, std::int32_t(y + std::int64_t(r)));
    }
    return TRUE;
}

} // namespace

BOOL is5_DrawRGB(CDC* dc, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
                 std::int32_t x, std::int32_t y, std::uint32_t) {
    if (!dc || !pixels || !width || !height || stride < std::uint64_t{width} * 3)
        return failBool(IS5_ERR_PARAM, "is5_DrawRGB");
    dc->DrawRgbRows(pixels, width, height, stride, x, y);
    return succeed<BOOL>("is5_DrawRGB", TRUE);
}

BOOL is5_Draw8Bit(CDC* dc, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
                  const Is5Rgbq* palette, std::int32_t x, std::int32_t y, std::uint32_t) {
    if (!dc || !pixels || !palette || !width || !height || stride < width)
        return failBool(IS5_ERR_PARAM, "is5_Draw8Bit");
    try {
        drawIndexed(dc, width, height, palette, x, y,
                    [&](std::uint32_t r, std::uint32_t c) { return pixels[std::size_t{r} * stride + c]; });
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, "is5_Draw8Bit");
    }
    return succeed<BOOL>("is5_Draw8Bit", TRUE);
}

BOOL is5_Draw1Bit(CDC* dc, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
                  const Is5Rgbq* palette, std::int32_t x, std::int32_t y, std::uint32_t) {
    if (!dc || !pixels || !palette || !width || !height || stride < (std::uint64_t{width} + 7) / 8)
        return failBool(IS5_ERR_PARAM, "is5_Draw1Bit");
    try {
        drawIndexed(dc, width, height, palette, x, y, [&](std::uint32_t r, std::uint32_t c) {
            return (pixels[std::size_t{r} * stride + c / 8] >> (7 - c % 8)) & 1;
        });
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, "is5_Draw1Bit");
    }
    return succeed<BOOL>("is5_Draw1Bit", TRUE);
}
