// SPDX-License-Identifier: MIT
// Turning a decoded picture upright as its EXIF or TIFF Orientation tag says.
#pragma once

#include "platform/globalmemory.h"

#include <cstdint>

namespace imaging::detail {

/// Rewrites the picture in `block` (width × height pixels at 24, 8 or 1 bits, in the
/// layer's layout) so that it shows upright for an Orientation value of 1…8: 2 mirrors
/// left to right, 3 turns half round, 4 mirrors top to bottom, 5 transposes, 6 turns a
/// quarter clockwise, 7 transposes across the other diagonal, 8 turns a quarter
/// anticlockwise. 5 to 8 swap width and height (updated here) and need a second block;
/// 2 to 4 work in place. Other values leave the picture alone. Returns IS5_OK or
/// IS5_ERR_MEMORY (the picture then stays as it was).
std::uint32_t orientUpright(platform::UniqueGlobal& block, std::uint32_t& width, std::uint32_t& height,
                            std::uint32_t depth, int orientation);

} // namespace imaging::detail
