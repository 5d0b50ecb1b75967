// SPDX-License-Identifier: MIT
// The named filters: zone plates against float references made once with numpy
// (tests/data/filters), flat pictures kept flat to the byte, area averaging as the plain
// block mean, the pool against one thread, and palette and 1-bit pictures.
#include "codectest.h"
#include "refimage.h"

#include "imaging/is5.h"
#include "imaging/isimageex.h"
#include "imaging/resample/filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using imaging::FilterChoice;
using imaging::ResampleFilter;

namespace {

const fs::path kData = fs::path(__FILE__).parent_path().parent_path() / "data" / "filters";

constexpr ResampleFilter kFilters[] = {ResampleFilter::Lanczos3, ResampleFilter::Mitchell, ResampleFilter::CatmullRom,
                                       ResampleFilter::Area};

using Pixels = std::vector<std::uint8_t>;

// The zone plate of make-reference.py: rings of a smoothstep wave whose period in r² is
// 5w/2, so the rings pass the source's own limit near the corners.
Pixels zonePlate(std::uint32_t w, std::uint32_t h) {
    const std::int64_t p = 5 * std::int64_t{w} / 2;
    Pixels out(std::size_t{w} * h);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::int64_t dx = std::int64_t{x} - w / 2, dy = std::int64_t{y} - h / 2;
            const std::int64_t r2 = (dx * dx + dy * dy) % p, n = 2 * std::min(r2, p - r2);
            out[std::size_t{y} * w + x] = static_cast<std::uint8_t>(255 - 255 * (3 * n * n * p - 2 * n * n * n) / (p * p * p));
        }
    return out;
}

using codectest::randomPixels;

Pixels resample(const Pixels& src, std::uint32_t w, std::uint32_t h, std::uint32_t W, std::uint32_t H,
                std::uint32_t channels, FilterChoice choice) {
    Pixels out(std::size_t{W} * H * channels);
    EXPECT_EQ(imaging::resampleWithFilter(src.data(), w, h, w * channels, out.data(), W, H, W * channels, channels, choice),
              0u);
    return out;
}

std::string label(ResampleFilter f, bool linear) {
    return std::string(imaging::filterName(f)) + (linear ? " linear" : "");
}

} // namespace

TEST(NamedFilters, ZonePlatesMatchTheFloatReference) {
    struct Row {
        ResampleFilter filter;
        bool linear;
        const char* caseName;
        std::uint32_t w, h, W, H, rowStep;
    };
    // Every filter at every size, and Lanczos in linear light at half size.
    std::vector<Row> cases = {{ResampleFilter::Lanczos3, true, "half", 480, 330, 240, 165, 1}};
    for (ResampleFilter filter : kFilters)
        for (const Row& size : {Row{filter, false, "half", 480, 330, 240, 165, 1},
                                Row{filter, false, "third", 480, 330, 160, 110, 1},
                                Row{filter, false, "1024x768", 3000, 2000, 1024, 768, 16},
                                Row{filter, false, "enlarge", 100, 66, 250, 165, 1}})
            cases.push_back(size);
    for (const Row& row : cases) {
        const std::string name = label(row.filter, row.linear) + " " + row.caseName;
        SCOPED_TRACE(name);
        // The references are grey: R of each pixel is its level.
        const auto ref = testutil::decodeReferencePng(kData / (std::string(imaging::filterName(row.filter)) +
                                                              (row.linear ? "-linear-" : "-") + row.caseName + ".png"));
        ASSERT_TRUE(ref.has_value());
        const std::uint32_t rw = ref->width, rh = ref->height;
        ASSERT_EQ(rw, row.W);
        ASSERT_EQ(rh, (row.H + row.rowStep - 1) / row.rowStep);
        const Pixels out = resample(zonePlate(row.w, row.h), row.w, row.h, row.W, row.H, 1, {row.filter, row.linear});
        double squares = 0;
        for (std::uint32_t y = 0; y < rh; ++y)
            for (std::uint32_t x = 0; x < rw; ++x) {
                const double d = double(out[std::size_t{y} * row.rowStep * row.W + x]) - ref->rgb[(std::size_t{y} * rw + x) * 3];
                squares += d * d;
            }
        const double mse = squares / (double(rw) * rh);
        const double psnr = mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
        RecordProperty(name, std::to_string(psnr));
        EXPECT_GE(psnr, 50);
    }
}

TEST(NamedFilters, FlatPicturesStayFlat) {
    struct Size {
        std::uint32_t w, h, W, H;
    };
    const Size sizes[] = {{64, 48, 32, 24}, {99, 60, 33, 20}, {3000, 2000, 1024, 768}, {1, 40, 1, 13},
                          {40, 1, 13, 1},   {7, 5, 1, 1},     {1, 1, 1, 1},           {9, 6, 31, 17}};
    const std::uint8_t levels[] = {0, 1, 17, 128, 254, 255, 77};
    for (const Size& s : sizes)
        for (std::uint32_t channels : {1u, 3u, 4u}) {
            if (s.w == 3000 && channels != 3) continue; // one large row is enough
            for (ResampleFilter filter : kFilters)
                for (bool linear : {false, true})
                    for (std::uint32_t shift = 0; shift < (s.w == 3000 ? 1u : 7u); shift += channels == 1 ? 1 : 3) {
                        Pixels src(std::size_t{s.w} * s.h * channels);
                        for (std::size_t i = 0; i < src.size(); ++i) src[i] = levels[(i % channels + shift) % 7];
                        const Pixels out = resample(src, s.w, s.h, s.W, s.H, channels, {filter, linear});
                        std::size_t wrong = 0;
                        for (std::size_t i = 0; i < out.size(); ++i) wrong += out[i] != levels[(i % channels + shift) % 7];
                        EXPECT_EQ(wrong, 0u) << label(filter, linear) << " " << s.w << "x" << s.h << " -> " << s.W
                                             << "x" << s.H << ", " << channels << " channels, level shift " << shift;
                    }
        }
}

// Every level survives the trip into linear light and back.
TEST(NamedFilters, EveryFlatLevelSurvivesLinearLight) {
    for (ResampleFilter filter : kFilters)
        for (int level = 0; level < 256; ++level) {
            const Pixels src(8 * 6, static_cast<std::uint8_t>(level));
            EXPECT_EQ(resample(src, 8, 6, 3, 2, 1, {filter, true}), Pixels(3 * 2, static_cast<std::uint8_t>(level)))
                << imaging::filterName(filter) << " level " << level;
        }
}

TEST(NamedFilters, AreaAtWholeReductionsIsTheBlockMean) {
    struct Row {
        std::uint32_t w, h, kx, ky, channels;
    } const rows[] = {{64, 48, 2, 2, 3}, {99, 60, 3, 3, 1}, {120, 40, 4, 2, 4}, {50, 35, 5, 1, 3}, {21, 63, 1, 7, 1}};
    for (const Row& r : rows) {
        const std::uint32_t W = r.w / r.kx, H = r.h / r.ky, c = r.channels;
        const Pixels src = randomPixels(std::size_t{r.w} * r.h * c, r.w * 7 + r.h);
        const Pixels out = resample(src, r.w, r.h, W, H, c, {ResampleFilter::Area});
        const std::uint32_t n = r.kx * r.ky;
        std::size_t wrong = 0;
        for (std::uint32_t y = 0; y < H; ++y)
            for (std::uint32_t x = 0; x < W; ++x)
                for (std::uint32_t ch = 0; ch < c; ++ch) {
                    std::uint32_t sum = 0;
                    for (std::uint32_t b = 0; b < r.ky; ++b)
                        for (std::uint32_t a = 0; a < r.kx; ++a)
                            sum += src[(std::size_t{y * r.ky + b} * r.w + x * r.kx + a) * c + ch];
                    wrong += out[(std::size_t{y} * W + x) * c + ch] != (sum + n / 2) / n;
                }
        EXPECT_EQ(wrong, 0u) << r.w << "x" << r.h << " by " << r.kx << "x" << r.ky;
    }
}

TEST(NamedFilters, PoolGivesTheBytesOfOneThread) {
    struct Row {
        std::uint32_t w, h, W, H, channels;
    } const rows[] = {{1003, 701, 333, 234, 3}, {301, 207, 640, 401, 4}, {4097, 40, 1500, 21, 1}};
    for (const Row& r : rows) {
        const Pixels src = randomPixels(std::size_t{r.w} * r.h * r.channels, r.w);
        for (ResampleFilter filter : kFilters)
            for (bool linear : {false, true}) {
                const Pixels pool = resample(src, r.w, r.h, r.W, r.H, r.channels, {filter, linear, false});
                const Pixels one = resample(src, r.w, r.h, r.W, r.H, r.channels, {filter, linear, true});
                EXPECT_TRUE(pool == one) << label(filter, linear) << " " << r.w << "x" << r.h << " -> " << r.W << "x" << r.H;
            }
    }
}

// A fine pattern shrunk 4:1: the exact route keeps its contrast, a filter makes it grey.
TEST(NamedFilters, ImageDepthsKeepTheirDepthAndLoseFinePattern) {
    const std::vector<std::pair<std::uint32_t, bool>> depths = {{24, false}, {8, true}, {8, false}, {1, false}};
    for (auto [bits, greyPalette] : depths)
        for (ResampleFilter filter : kFilters) {
            CISImageEx image;
            ASSERT_EQ(image.Allocate(64, 32, bits), kImageOk);
            if (bits == 8) {
                image.paletteColours = greyPalette ? 256 : 3;
                for (std::uint32_t i = 0; i < image.paletteColours; ++i)
                    image.palette[i] = greyPalette ? Is5Rgbq{std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0}
                                                   : Is5Rgbq{std::uint8_t(i * 127), 0, 40, 0};
            }
            // Columns alternate 0 / full every pixel.
            for (std::uint32_t y = 0; y < 32; ++y) {
                std::uint8_t* p = image.GetPixels() + std::size_t{y} * image.GetRowBytes();
                for (std::uint32_t x = 0; x < 64; ++x) {
                    const bool on = x % 2;
                    if (bits == 24) std::fill_n(p + x * 3, 3, on ? 255 : 0);
                    else if (bits == 8) p[x] = on ? (greyPalette ? 255 : 2) : 0;
                    else if (on) p[x / 8] |= std::uint8_t(0x80 >> (x % 8));
                }
            }
            SCOPED_TRACE(std::to_string(bits) + " bits " + std::string(imaging::filterName(filter)));
            ASSERT_EQ(imaging::resizeImageWithFilter(image, {16, 8}, {filter}), kImageOk);
            ASSERT_EQ(image.bitsPerPixel, bits);
            ASSERT_EQ(image.width * image.height, 16u * 8);
            const std::uint8_t* p = image.GetPixels() + 2 * image.GetRowBytes();
            if (bits == 24) { EXPECT_NEAR(p[15], 128, 1); }
            if (bits == 8 && greyPalette) { EXPECT_NEAR(p[5], 128, 1); }
            if (bits == 8 && !greyPalette) { EXPECT_EQ(p[5], 1); } // (127, 0, 40) is the nearest to the blend
            if (bits == 1) { EXPECT_EQ(p[0], 0x00); }                  // half cover is below the threshold 192
        }
}
