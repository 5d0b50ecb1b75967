// SPDX-License-Identifier: MIT
// Reference pictures decoded straight through libpng's simplified API, independent of the
// program's readers, as 8-bit RGB with any alpha laid over white.
#pragma once

#include <png.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testutil {

struct RgbImage {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb; // width * height * 3
};

/// Largest difference of any channel, or -1 when the sizes differ.
inline int maxDifference(const RgbImage& a, const RgbImage& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    int worst = 0;
    for (std::size_t i = 0; i < a.rgb.size(); ++i) worst = std::max(worst, a.rgb[i] > b.rgb[i] ? a.rgb[i] - b.rgb[i] : b.rgb[i] - a.rgb[i]);
    return worst;
}

inline std::optional<RgbImage> decodeReferencePng(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return std::nullopt;
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    RgbImage out;
    out.width = image.width;
    out.height = image.height;
    out.rgb.resize(std::size_t{out.width} * out.height * 3);
    for (std::size_t i = 0, n = std::size_t{out.width} * out.height; i < n; ++i) {
        std::uint32_t a = rgba[i * 4 + 3];
        for (int c = 0; c < 3; ++c)
            out.rgb[i * 3 + c] = static_cast<std::uint8_t>((rgba[i * 4 + c] * a + 255u * (255u - a) + 127u) / 255u);
    }
    return out;
}

} // namespace testutil
