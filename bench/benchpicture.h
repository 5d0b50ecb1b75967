// SPDX-License-Identifier: MIT
// The benchmarks' shared picture: a deterministic 6000 x 4000 picture with the smooth
// gradients and fine noise of a photograph, so the codecs and resamplers do realistic
// work; its JPEG at quality 90; libjpeg-turbo's plain full decode, the yardstick most
// figures are given against; and the best-of-runs clock.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/jpegencode.h"

namespace bench {

inline constexpr std::uint32_t kPhotoWidth = 6000, kPhotoHeight = 4000;

/// The picture in R, G, B rows; `seed` starts the noise.
inline std::vector<std::uint8_t> makePhoto(std::uint32_t seed = 12345) {
    std::vector<std::uint8_t> rgb(std::size_t{kPhotoWidth} * kPhotoHeight * 3);
    std::uint32_t noise = seed;
    for (std::uint32_t y = 0; y < kPhotoHeight; ++y)
        for (std::uint32_t x = 0; x < kPhotoWidth; ++x) {
            noise = noise * 1103515245u + 12345u;
            const int n = static_cast<int>((noise >> 16) & 15) - 8;
            const double fx = x / double(kPhotoWidth), fy = y / double(kPhotoHeight);
            std::uint8_t* p = &rgb[(std::size_t{y} * kPhotoWidth + x) * 3];
            p[0] = static_cast<std::uint8_t>(std::clamp(int(128 + 100 * std::sin(fx * 9 + fy * 3)) + n, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(int(128 + 90 * std::cos(fy * 11 - fx * 2)) + n, 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(int(96 + 80 * std::sin((fx + fy) * 17)) + n, 0, 255));
        }
    return rgb;
}

/// The picture as a baseline JPEG at quality 90, in memory.
inline std::vector<std::uint8_t> compressPhoto(const std::vector<std::uint8_t>& rgb) {
    const std::string bytes = codectest::encodeJpeg(kPhotoWidth, kPhotoHeight, 3, JCS_RGB, rgb, {.quality = 90});
    return {bytes.begin(), bytes.end()};
}

/// Writes the picture as a JPEG file; false when the file cannot be written.
inline bool writePhotoJpeg(const std::string& path, const std::vector<std::uint8_t>& rgb) {
    const std::vector<std::uint8_t> bytes = compressPhoto(rgb);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

/// libjpeg-turbo alone: a plain full decode of a JPEG file to RGB into `out`.
inline void decodeJpegFile(const std::string& path, std::vector<std::uint8_t>& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return;
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    out.resize(std::size_t{d.output_width} * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[8];
        for (int i = 0; i < 8; ++i)
            rows[i] = &out[std::size_t{std::min<JDIMENSION>(d.output_scanline + i, d.output_height - 1)} * d.output_width * 3];
        jpeg_read_scanlines(&d, rows, 8);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
}

/// The fastest of `runs` timings of `work`, in seconds.
inline double bestSeconds(int runs, const std::function<void()>& work) {
    double fastest = 1e9;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        fastest = std::min(fastest, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return fastest;
}

} // namespace bench
