// SPDX-License-Identifier: MIT
// Small pixel helpers shared by the readers, and the resolution the image object keeps.
#pragma once

#include <cstddef>
#include <cstdint>

namespace imaging::detail {

/// A colour channel with its alpha laid over a white background, rounded to nearest.
constexpr std::uint8_t overWhite(std::uint32_t channel, std::uint32_t alpha) {
    return static_cast<std::uint8_t>((channel * alpha + 255u * (255u - alpha) + 127u) / 255u);
}

/// `count` R, G, B, A pixels as R, G, B over white.
inline void rgbaOverWhite(const std::uint8_t* in, std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i, in += 4, out += 3) {
        out[0] = overWhite(in[0], in[3]);
        out[1] = overWhite(in[1], in[3]);
        out[2] = overWhite(in[2], in[3]);
    }
}

/// Scales a sample of `maxValue` levels to 0…255, rounded to nearest.
constexpr std::uint8_t scaleTo8(std::uint32_t sample, std::uint32_t maxValue) {
    return static_cast<std::uint8_t>((sample * 255u + maxValue / 2u) / maxValue);
}

/// A resolution truncated as a C cast to a 32-bit unsigned does, with what such a cast
/// cannot hold brought into range first: NaN, negative and zero values give 0, values past
/// 2^32 - 1 give 2^32 - 1. A file can hold any of these (a TIFF rational of 4294967295/1
/// reads back as the float 2^32).
inline double truncatedResolution(double value) {
    if (!(value > 0)) return 0;
    if (value >= 4294967295.0) return 4294967295.0;
    return static_cast<double>(static_cast<std::uint32_t>(value));
}

} // namespace imaging::detail
