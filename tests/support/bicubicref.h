// SPDX-License-Identifier: MIT
// The bicubic kernel written straight from its formula, one destination pixel at a time, with
// no tables, caches or threads: the reference the resampler is checked against to the bit, and
// the baseline its speed is measured beside.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace codectest {

inline void referenceBicubic(const std::uint8_t* src, std::uint32_t w, std::uint32_t h, std::uint8_t* dst,
                             std::uint32_t W, std::uint32_t H, std::uint32_t bpp) {
    const double ratio = double(w) / W, yratio = double(h) / H;
    for (std::uint32_t j = 0; j < H; ++j) {
        double y = j * yratio;
        long iy = long(y);
        double ty = y - iy;
        double b[4] = {-ty * (1 - ty) * (1 - ty), 1 - 2 * ty * ty + ty * ty * ty, ty + ty * ty - ty * ty * ty, ty * ty * (ty - 1)};
        long r0 = y < 1 ? 0 : iy - 1, r1 = double(h) - 1 <= y ? long(h) - 1 : iy;
        long r2 = double(h) - 2 <= y ? r1 : iy + 1, r3 = y >= double(h) - 3 ? r2 : iy + 2;
        long rows[4] = {r0, r1, r2, r3};
        for (std::uint32_t i = 0; i < W; ++i) {
            double x = i * ratio;
            if (x <= 0) x = 0;
            if (double(w) - 1 <= x) x = double(w) - 1;
            long ix = long(x);
            double t = x - ix;
            double a0 = -t * (1 - t) * (1 - t), a1 = 1 - 2 * t * t + t * t * t, a2 = t + t * t - t * t * t, a3 = t * t * (1 - t);
            long c0 = x < 1 ? 0 : ix - 1, c1 = double(w) - 1 <= x ? long(w) - 1 : ix;
            long c2 = double(w) - 2 <= x ? c1 : ix + 1, c3 = x >= double(w) - 3 ? c2 : ix + 2;
            for (std::uint32_t k = 0; k < bpp; ++k) {
                double v = 0;
                for (int q = 0; q < 4; ++q) {
                    const std::uint8_t* row = src + std::size_t(rows[q]) * w * bpp + k;
                    double s = row[c0 * bpp] * a0 + row[c1 * bpp] * a1 + row[c2 * bpp] * a2 - row[c3 * bpp] * a3;
                    v = q == 0 ? s * b[0] : v + s * b[q];
                }
                dst[(std::size_t(j) * W + i) * bpp + k] = std::uint8_t(std::clamp(int(v), 0, 255));
            }
        }
    }
}

inline std::vector<std::uint8_t> referenceBicubic(const std::vector<std::uint8_t>& src, std::uint32_t w, std::uint32_t h,
                                                  std::uint32_t W, std::uint32_t H, std::uint32_t bpp) {
    std::vector<std::uint8_t> out(std::size_t{W} * H * bpp);
    referenceBicubic(src.data(), w, h, out.data(), W, H, bpp);
    return out;
}

} // namespace codectest
