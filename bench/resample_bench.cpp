// SPDX-License-Identifier: MIT
// Resampling speed, as ratios to libjpeg-turbo's full decode of a 24-megapixel picture
// measured in the same run: bicubic 6000 x 4000 -> 3000 x 2000 on the pool and on one
// thread, the one-pixel-at-a-time formula for comparison, and the box filter's preview
// size 800 x 533; then the named filters at 6000 x 4000 -> 1500 x 1000 and -> 1024 x 683
// beside the exact route, with Pillow's LANCZOS on the same picture when python3-pil is there.
#include "benchpicture.h"

#include "imaging/is5.h"
#include "imaging/resample/filters.h"
#include "tests/support/bicubicref.h"

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kW = bench::kPhotoWidth, kH = bench::kPhotoHeight;

void decode(const std::vector<std::uint8_t>& jpeg, std::vector<std::uint8_t>& out) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), jpeg.size());
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[8];
        for (int i = 0; i < 8; ++i)
            rows[i] = &out[std::size_t{std::min<JDIMENSION>(d.output_scanline + i, d.output_height - 1)} * kW * 3];
        jpeg_read_scanlines(&d, rows, 8);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

using bench::bestSeconds;

// Pillow's LANCZOS on the same picture, best of `runs`, in seconds; a negative value when
// python3 with Pillow cannot be run.
double pillowLanczos(const std::vector<std::uint8_t>& rgb, std::uint32_t W, std::uint32_t H, int runs) {
    const std::string raw = "/tmp/brimvale-bench-" + std::to_string(::getpid()) + ".rgb";
    std::FILE* f = std::fopen(raw.c_str(), "wb");
    if (!f) return -1;
    std::fwrite(rgb.data(), 1, rgb.size(), f);
    std::fclose(f);
    const std::string script =
        "import sys, time\nfrom PIL import Image\n"
        "im = Image.frombytes('RGB', (" + std::to_string(kW) + ", " + std::to_string(kH) + "), open('" + raw +
        "', 'rb').read())\nbest = 1e9\nfor _ in range(" + std::to_string(runs) + "):\n"
        "    t = time.perf_counter(); im.resize((" + std::to_string(W) + ", " + std::to_string(H) +
        "), Image.LANCZOS); best = min(best, time.perf_counter() - t)\nprint(best)\n";
    double seconds = -1;
    for (const char* python : {"/usr/bin/python3", "python3"}) {
        const std::string command = std::string(python) + " -c \"" + script + "\" 2>/dev/null";
        if (std::FILE* p = ::popen(command.c_str(), "r")) {
            if (std::fscanf(p, "%lf", &seconds) != 1) seconds = -1;
            ::pclose(p);
        }
        if (seconds >= 0) break;
    }
    std::remove(raw.c_str());
    return seconds;
}

void namedFilters(const std::vector<std::uint8_t>& rgb, double tDecode) {
    using imaging::ResampleFilter;
    for (const auto& [W, H] : {std::pair<std::uint32_t, std::uint32_t>{1500, 1000}, {1024, 683}}) {
        std::vector<std::uint8_t> out(std::size_t{W} * H * 3);
        const double tExact = bestSeconds(5, [&] {
            is5_ResizeImage(rgb.data(), kW, kH, kW * 3, out.data(), W, H, W * 3, 3, IS5_RESIZE_BICUBIC, 0);
        });
        std::printf("\n6000x4000 -> %ux%u (decode %.1f ms)\n", W, H, tDecode * 1000);
        std::printf("  exact (bicubic), pool:         %7.1f ms  = %.2f x decode\n", tExact * 1000, tExact / tDecode);
        double tLanczos = 0;
        for (ResampleFilter filter : {ResampleFilter::Lanczos3, ResampleFilter::Mitchell, ResampleFilter::CatmullRom,
                                      ResampleFilter::Area}) {
            for (bool linear : {false, true}) {
                if (linear && filter != ResampleFilter::Lanczos3) continue;
                const double tPool = bestSeconds(5, [&] {
                    imaging::resampleWithFilter(rgb.data(), kW, kH, kW * 3, out.data(), W, H, W * 3, 3, {filter, linear});
                });
                const double tOne = bestSeconds(3, [&] {
                    imaging::resampleWithFilter(rgb.data(), kW, kH, kW * 3, out.data(), W, H, W * 3, 3,
                                                {filter, linear, true});
                });
                if (filter == ResampleFilter::Lanczos3 && !linear) tLanczos = tPool;
                const std::string name = std::string(imaging::filterName(filter)) + (linear ? " linear" : "");
                std::printf("  %-12s pool: %7.1f ms = %.2f x decode%s; one thread %7.1f ms\n", name.c_str(),
                            tPool * 1000, tPool / tDecode,
                            filter == ResampleFilter::Lanczos3 && !linear ? " (target <= 0.50)" : "", tOne * 1000);
            }
        }
        const double tPillow = pillowLanczos(rgb, W, H, 3);
        if (tPillow < 0)
            std::printf("  Pillow LANCZOS: python3 with Pillow not found (Debian: python3-pil), not compared\n");
        else
            std::printf("  Pillow LANCZOS, one thread:    %7.1f ms; lanczos3 on the pool takes %.2f x Pillow's time"
                        " (target <= 2)\n", tPillow * 1000, tLanczos / tPillow);
    }
}

} // namespace

int main() {
    is5_Initialize(0);
    auto rgb = bench::makePhoto(99);
    auto jpeg = bench::compressPhoto(rgb);
    std::vector<std::uint8_t> decoded(rgb.size());
    std::vector<std::uint8_t> half(std::size_t{kW / 2} * (kH / 2) * 3), preview(std::size_t{800} * 533 * 3);
    std::vector<std::uint8_t> threeQuarters(std::size_t{4500} * 3000 * 3);

    auto bicubic = [&](std::uint32_t flags) {
        is5_ResizeImage(rgb.data(), kW, kH, kW * 3, half.data(), kW / 2, kH / 2, kW / 2 * 3, 3, IS5_RESIZE_BICUBIC, flags);
    };
    const double tDecode = bestSeconds(5, [&] { decode(jpeg, decoded); });
    const double tBicubic = bestSeconds(7, [&] { bicubic(0); });
    const double tSingle = bestSeconds(3, [&] { bicubic(IS5_RESIZE_SINGLE_THREAD); });
    // 75 %: no destination column or row falls on a source one, so every sum is formed.
    const double tGeneral = bestSeconds(5, [&] {
        is5_ResizeImage(rgb.data(), kW, kH, kW * 3, threeQuarters.data(), 4500, 3000, 4500 * 3, 3, IS5_RESIZE_BICUBIC, 0);
    });
    const double tGeneralSingle = bestSeconds(3, [&] {
        is5_ResizeImage(rgb.data(), kW, kH, kW * 3, threeQuarters.data(), 4500, 3000, 4500 * 3, 3, IS5_RESIZE_BICUBIC,
                        IS5_RESIZE_SINGLE_THREAD);
    });
    const double tPerPixel = bestSeconds(1, [&] { codectest::referenceBicubic(rgb.data(), kW, kH, half.data(), kW / 2, kH / 2, 3); });
    const double tBox = bestSeconds(7, [&] {
        is5_ResizeImage(rgb.data(), kW, kH, kW * 3, preview.data(), 800, 533, 800 * 3, 3, IS5_RESIZE_BOX, 0);
    });

    std::printf("libjpeg-turbo decode 6000x4000:        %7.1f ms\n", tDecode * 1000);
    std::printf("bicubic 6000x4000 -> 3000x2000, pool:  %7.1f ms  = %.2f x decode (target <= 0.40)\n",
                tBicubic * 1000, tBicubic / tDecode);
    std::printf("bicubic, one thread:                   %7.1f ms  = %.2f x decode\n", tSingle * 1000, tSingle / tDecode);
    std::printf("bicubic, per-pixel formula:            %7.1f ms  = %.2f x decode; one thread is %.2f x faster (target >= 2)\n",
                tPerPixel * 1000, tPerPixel / tDecode, tPerPixel / tSingle);
    std::printf("bicubic 6000x4000 -> 4500x3000, pool:  %7.1f ms  = %.2f x decode (every sum formed)\n",
                tGeneral * 1000, tGeneral / tDecode);
    std::printf("bicubic 75 %%, one thread:              %7.1f ms  = %.2f x decode\n", tGeneralSingle * 1000,
                tGeneralSingle / tDecode);
    std::printf("box 6000x4000 -> 800x533, pool:        %7.1f ms  = %.2f x decode, %.2f x bicubic (target < 0.40)\n",
                tBox * 1000, tBox / tDecode, tBox / tBicubic);
    namedFilters(rgb, tDecode);
    is5_Shutdown();
    return 0;
}
