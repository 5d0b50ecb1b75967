// SPDX-License-Identifier: MIT
// Quantizer speed: a 6000 x 4000 (24 megapixel) photograph-like picture reduced to 256
// colours (palette choice and the mapping of every pixel), and a flat-coloured one, with
// the mean error per channel of the result.
#include "benchpicture.h"

#include "imaging/is5.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace {

constexpr std::uint32_t kWidth = bench::kPhotoWidth, kHeight = bench::kPhotoHeight;
constexpr int kRuns = 5;

// CPU time of this thread, which other work on a shared machine disturbs less than the clock.
double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Large areas of a few colours, as a screenshot or a chart has.
std::vector<std::uint8_t> makeFlat() {
    std::vector<std::uint8_t> rgb(std::size_t{kWidth} * kHeight * 3);
    for (std::uint32_t y = 0; y < kHeight; ++y)
        for (std::uint32_t x = 0; x < kWidth; ++x) {
            const std::uint32_t c = ((x / 500) * 37 + (y / 400) * 91) * 2654435761u;
            std::uint8_t* p = &rgb[(std::size_t{y} * kWidth + x) * 3];
            p[0] = std::uint8_t(c >> 8);
            p[1] = std::uint8_t(c >> 16);
            p[2] = std::uint8_t(c >> 24);
        }
    return rgb;
}

void run(const char* name, const std::vector<std::uint8_t>& rgb) {
    std::vector<std::uint8_t> indexes(std::size_t{kWidth} * kHeight);
    Is5Rgbq palette[256];
    double best = 1e30, total = 0, bestCpu = 1e30;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = cpuMs();
        if (!is5_QuantizeRGBTo8Bit(rgb.data(), kWidth, kHeight, kWidth * 3, indexes.data(), kWidth, 256, palette, 1, 20,
                                   0)) {
            std::printf("%s: quantizer failed with %u\n", name, is5_GetLastError());
            std::exit(1);
        }
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, ms);
        bestCpu = std::min(bestCpu, cpuMs() - cpuStart);
        total += ms;
    }
    double error = 0;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        const Is5Rgbq& c = palette[indexes[i]];
        error += std::abs(rgb[3 * i] - c.r) + std::abs(rgb[3 * i + 1] - c.g) + std::abs(rgb[3 * i + 2] - c.b);
    }
    std::printf("%-6s %u x %u to 256 colours: best %.1f ms (CPU %.1f ms), mean %.1f ms over %d runs; "
                "mean error %.2f per channel\n",
                name, kWidth, kHeight, best, bestCpu, total / kRuns, kRuns, error / double(rgb.size()));
}

} // namespace

int main() {
    run("photo", bench::makePhoto());
    run("flat", makeFlat());
    return 0;
}
