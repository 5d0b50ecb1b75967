// SPDX-License-Identifier: MIT
// Small pixel helpers shared by the readers.
#pragma once

#include <cstdint>

namespace imaging::detail {

/// A colour channel with its alpha laid over a white background, rounded to nearest.
constexpr std::uint8_t overWhite(std::uint32_t channel, std::uint32_t alpha) {
    return static_cast<std::uint8_t>((channel * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

/// Scales a sample of `maxValue` levels to 0…255, rounded to nearest.
constexpr std::uint8_t scaleTo8(std::uint32_t sample, std::uint32_t maxValue) {
    return static_cast<std::uint8_t>((sample * 255u + maxValue / 2u) / maxValue);
}

} // namespace imaging::detail
