// SPDX-License-Identifier: MIT
// Resampling: the bicubic resampler against a one-pixel-at-a-time reference, threads
// against no threads, the filters' properties, palette and 1-bit pictures, and the
// object's Resize rules.
#include "bicubicref.h"
#include "codectest.h"
#include "imaging/detail/failpoint.h"
#include "imaging/is5.h"
#include "imaging/isimageex.h"
#include "imaging/resample/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <tuple>

namespace {

using codectest::randomPixels;
using codectest::referenceBicubic;

std::vector<std::uint8_t> resize(const std::vector<std::uint8_t>& src, std::uint32_t w, std::uint32_t h, std::uint32_t W,
                                 std::uint32_t H, std::uint32_t bpp, std::uint32_t mode, std::uint32_t flags = 0) {
    std::vector<std::uint8_t> out(std::size_t{W} * H * bpp, 0xCD);
    EXPECT_TRUE(is5_ResizeImage(src.data(), w, h, w * bpp, out.data(), W, H, W * bpp, bpp, mode, flags))
        << w << "x" << h << " -> " << W << "x" << H << " mode " << mode << " error " << is5_GetLastError();
    return out;
}

void fill24(CISImageEx& img, std::uint32_t w, std::uint32_t h, const std::vector<std::uint8_t>& rgb) {
    ASSERT_EQ(img.Allocate(w, h, 24), 0u);
    std::copy(rgb.begin(), rgb.end(), img.GetPixels());
}

} // namespace

TEST(Bicubic, MatchesTheFormulaByteForByte) {
    struct Size {
        std::uint32_t w, h, W, H;
    };
    const std::vector<Size> sizes = {
        {640, 480, 320, 240}, {97, 61, 33, 20}, {33, 20, 97, 61}, {2, 2, 4, 4}, {1, 1, 5, 3},  {5, 3, 1, 1},
        {2, 7, 9, 2},         {3, 3, 2, 2},     {250, 3, 21, 7},  {21, 40, 80, 9}, {300, 200, 299, 201}, {64, 64, 23, 41},
        // Ratios that land on source columns or rows, wholly or in part.
        {64, 64, 16, 16},     {300, 200, 100, 150}, {33, 20, 33, 10}, {40, 30, 40, 45}, {90, 60, 45, 60},
    };
    std::uint32_t seed = 1;
    for (std::uint32_t bpp : {3u, 1u, 4u}) {
        for (const auto& s : sizes) {
            SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " -> " << s.W << "x" << s.H << " at " << bpp);
            auto src = randomPixels(std::size_t{s.w} * s.h * bpp, seed++);
            EXPECT_EQ(resize(src, s.w, s.h, s.W, s.H, bpp, IS5_RESIZE_BICUBIC),
                      referenceBicubic(src, s.w, s.h, s.W, s.H, bpp));
        }
    }
}

TEST(Bicubic, KnownPixelsAndClamping) {
    // 640 x 480 halved: (0, 0) is source (0, 0) and (1, 1) is source (2, 2).
    auto src = randomPixels(640 * 480 * 3, 7);
    auto half = resize(src, 640, 480, 320, 240, 3, IS5_RESIZE_BICUBIC);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(half[k], src[k]);
        EXPECT_EQ(half[(1 * 320 + 1) * 3 + k], src[(2 * 640 + 2) * 3 + k]);
    }

    // Two pixels to four, in one column: rows 3 maps to y = 1.5, rows 0, 1, 1, 1:
    // -0.125 P0 + 1.125 P1. Column 3 is the last source pixel. The last row: 254.375,
    // truncated, not rounded.
    struct Row {
        std::uint8_t p0, p1, expected;
    };
    for (const Row& r : std::vector<Row>{{0, 200, 225}, {255, 0, 0}, {100, 104, 104}, {8, 240, 255}, {16, 200, 223},
                                         {8, 227, 254}}) {
        const std::vector<std::uint8_t> two = {r.p0, r.p1};
        EXPECT_EQ(resize(two, 1, 2, 1, 4, 1, IS5_RESIZE_BICUBIC)[3], r.expected) << int(r.p0) << " " << int(r.p1);
        EXPECT_EQ(resize(two, 2, 1, 4, 1, 1, IS5_RESIZE_BICUBIC)[3], r.p1);
    }
    // 4 -> 2 with the box filter: (100 + 0) / 2, source 1 mirrored for -1 and 0; then sources 1 and 2.
    EXPECT_EQ(resize({0, 100, 200, 50}, 4, 1, 2, 1, 1, IS5_RESIZE_BOX), (std::vector<std::uint8_t>{50, 150}));
}

TEST(Bicubic, PoolGivesTheSameBytesAsOneThread) {
    ASSERT_GE(is5_GetWorkerCount(), 2u);
    for (std::uint32_t W : {20u, 21u, 97u, 4097u}) {
        const std::uint32_t w = W * 2 + 3, h = 9, H = 5;
        auto src = randomPixels(std::size_t{w} * h * 3, W);
        for (std::uint32_t mode : {IS5_RESIZE_BICUBIC, IS5_RESIZE_BOX})
            EXPECT_EQ(resize(src, w, h, W, H, 3, mode), resize(src, w, h, W, H, 3, mode, IS5_RESIZE_SINGLE_THREAD))
                << W << " mode " << mode;
    }
}

namespace {

std::mutex g_seenMutex;
std::set<std::thread::id> g_seenThreads;
std::uint32_t g_stopAfter = 0, g_calls = 0;

BOOL recordThread(std::uint32_t, std::uint32_t, std::uintptr_t) {
    std::lock_guard lock(g_seenMutex);
    g_seenThreads.insert(std::this_thread::get_id());
    return ++g_calls < g_stopAfter;
}

} // namespace

TEST(Bicubic, NarrowPicturesStayOnTheCallingThreadAndCallbacksCanStop) {
    auto src = randomPixels(60 * 10 * 3, 3);
    for (auto [W, onCaller] : std::vector<std::pair<std::uint32_t, bool>>{{20, true}, {21, false}}) {
        g_seenThreads.clear();
        g_calls = 0;
        g_stopAfter = 1000000;
        is5_SetProgressCallback(&recordThread, 0);
        std::vector<std::uint8_t> out(std::size_t{W} * 8 * 3);
        EXPECT_TRUE(is5_ResizeImage(src.data(), 60, 10, 180, out.data(), W, 8, W * 3, 3, IS5_RESIZE_BICUBIC, 0));
        is5_SetProgressCallback(nullptr, 0);
        EXPECT_EQ(g_seenThreads.count(std::this_thread::get_id()) == 1 && g_seenThreads.size() == 1, onCaller) << W;
        // One call per destination row of each band.
        EXPECT_EQ(g_calls, onCaller ? 8u : 32u);
    }
    // A callback that says stop ends the work with code 14, on one thread or many.
    for (std::uint32_t W : {20u, 21u}) {
        g_calls = 0;
        g_stopAfter = 2;
        is5_SetProgressCallback(&recordThread, 0);
        std::vector<std::uint8_t> out(std::size_t{W} * 8 * 3);
        EXPECT_FALSE(is5_ResizeImage(src.data(), 60, 10, 180, out.data(), W, 8, W * 3, 3, IS5_RESIZE_BICUBIC, 0));
        EXPECT_EQ(is5_GetLastError(), IS5_ERR_CANCELLED);
        is5_SetProgressCallback(nullptr, 0);
    }
}

TEST(Filters, WeightsSumToOneAndFlatPicturesStayFlat) {
    for (std::uint32_t filter = 0; filter <= 13; ++filter) {
        for (auto [n, m] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{{100, 13}, {13, 100}, {7, 7}, {3, 1}, {1, 4}}) {
            auto c = imaging::detail::buildFilterContributors(n, m, filter);
            for (std::uint32_t i = 0; i < m; ++i) {
                double sum = 0;
                for (std::uint32_t k = 0; k < c.count[i]; ++k) {
                    sum += c.weight[c.start[i] + k];
                    EXPECT_LT(c.index[c.start[i] + k], n);
                }
                EXPECT_NEAR(sum, 1.0, 1e-5) << "filter " << filter << " " << n << "->" << m << " at " << i;
            }
        }
    }
    // Flat pictures stay flat under every mode but bicubic, whose truncation may take one off.
    for (std::uint32_t mode = 0; mode <= 18; ++mode) {
        for (std::uint8_t level : {std::uint8_t(0), std::uint8_t(128), std::uint8_t(255)}) {
            std::vector<std::uint8_t> flat(31 * 17 * 3, level);
            for (auto [W, H] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{{10, 5}, {62, 40}}) {
                auto out = resize(flat, 31, 17, W, H, 3, mode);
                for (std::uint8_t v : out) {
                    if (mode == IS5_RESIZE_BICUBIC) { EXPECT_LE(std::abs(int(v) - level), 1); }
                    else ASSERT_EQ(v, level) << "mode " << mode << " " << W << "x" << H;
                }
            }
        }
    }
    std::vector<std::uint8_t> out(4), src(4);
    EXPECT_FALSE(is5_ResizeImage(src.data(), 2, 2, 2, out.data(), 1, 1, 1, 1, 19, 0));
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM);
    EXPECT_FALSE(is5_ResizeImage(src.data(), 2, 2, 2, src.data(), 1, 1, 1, 1, 17, 0)); // same buffer
}

TEST(ImageResize, RulesOfTheObject) {
    auto rgb = randomPixels(40 * 30 * 3, 11);
    CISImageEx src;
    fill24(src, 40, 30, rgb);
    src.xResolution = 299.9;
    src.yResolution = 1e300;
    src.resolutionUnit = 2;

    CISImageEx same;
    ASSERT_EQ(same.Resize(src, 40, 30, 3), 0u); // same size: an exact copy whatever the mode
    EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), same.GetPixels()));

    // Enlarging with the area modes resamples bicubically.
    CISImageEx big, cubic;
    ASSERT_EQ(big.Resize(src, 50, 45, IS5_RESIZE_AREA), 0u);
    ASSERT_EQ(cubic.Resize(src, 50, 45, IS5_RESIZE_BICUBIC), 0u);
    EXPECT_TRUE(std::equal(big.GetPixels(), big.GetPixels() + 50 * 45 * 3, cubic.GetPixels()));
    EXPECT_EQ(big.xResolution, 299.0);
    EXPECT_EQ(big.yResolution, 4294967295.0); // what a 32-bit field can hold
    EXPECT_EQ(big.resolutionUnit, 2);

    // A failed resize leaves the object as it was.
    CISImageEx kept;
    fill24(kept, 40, 30, rgb);
    EXPECT_EQ(kept.ResizeInPlace({20, 15}, 99), IS5_ERR_PARAM);
    EXPECT_EQ(kept.width, 40u);
    EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), kept.GetPixels()));
    EXPECT_EQ(kept.ResizeInPlace({20, 15}, IS5_RESIZE_BICUBIC), 0u);
    EXPECT_EQ(std::tie(kept.width, kept.height), std::tuple(20u, 15u));

    // Nothing above the pixel limit is made, and the source stays as it was.
    is5_SetMaxPixels(2000);
    CISImageEx tooLarge;
    EXPECT_EQ(tooLarge.Allocate(50, 41, 8), IS5_ERR_TOO_LARGE);
    EXPECT_FALSE(tooLarge.HasPicture());
    EXPECT_EQ(tooLarge.Resize(src, 41, 50, IS5_RESIZE_BICUBIC), IS5_ERR_TOO_LARGE);
    EXPECT_EQ(kept.ResizeInPlace({50, 41}, IS5_RESIZE_BOX), IS5_ERR_TOO_LARGE);
    EXPECT_EQ(kept.width, 20u);
    is5_SetMaxPixels(0);

    CISImageEx empty, target;
    EXPECT_EQ(target.Resize(empty, 10, 10, 17), 5u);
}

// A band that cannot have its buffers on a pool thread (these sizes are banded) fails its
// resize with a code; the picture and the pool carry on.
TEST(ImageResize, BandsThatThrowFailTheResizeOnly) {
    struct Row {
        void (*hook)(const char*);
        std::uint32_t mode, code;
    } const rows[] = {
        {[](const char*) { throw std::bad_alloc(); }, IS5_RESIZE_BICUBIC, IS5_ERR_MEMORY},
        {[](const char*) { throw std::bad_alloc(); }, IS5_RESIZE_BOX, IS5_ERR_MEMORY},
        {[](const char*) { throw std::runtime_error("band"); }, IS5_RESIZE_BICUBIC, IS5_ERR_JOB_FAILED},
    };
    const auto rgb = randomPixels(64 * 32 * 3, 5);
    CISImageEx picture;
    fill24(picture, 64, 32, rgb);
    for (const Row& row : rows) {
        imaging::detail::allocationHook = row.hook;
        EXPECT_EQ(picture.ResizeInPlace({40, 20}, row.mode), row.code);
        imaging::detail::allocationHook = nullptr;
        EXPECT_EQ(picture.width, 64u);
        EXPECT_TRUE(std::equal(rgb.begin(), rgb.end(), picture.GetPixels()));
    }
    EXPECT_EQ(resize(rgb, 64, 32, 40, 20, 3, IS5_RESIZE_BICUBIC),
              resize(rgb, 64, 32, 40, 20, 3, IS5_RESIZE_BICUBIC, IS5_RESIZE_SINGLE_THREAD));
}

TEST(ImageResize, PaletteAndOneBitPictures) {
    // Two colours stay two colours, whatever mode is asked for.
    CISImageEx two;
    ASSERT_EQ(two.Allocate(30, 20, 8), 0u);
    two.palette[0] = {255, 0, 0, 0};
    two.palette[1] = {0, 0, 255, 0};
    two.paletteColours = 2;
    for (std::uint32_t i = 0; i < 600; ++i) two.GetPixels()[i] = (i / 7 + i / 30) % 2;
    for (std::uint32_t mode : {0u, 17u, 14u, 18u}) {
        for (auto [W, H] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{{13, 9}, {47, 33}}) {
            CISImageEx out;
            ASSERT_EQ(out.Resize(two, W, H, mode), 0u);
            EXPECT_EQ(out.paletteColours, 2u);
            EXPECT_EQ(out.palette[1].b, 255);
            for (std::uint32_t i = 0; i < W * H; ++i) ASSERT_LE(out.GetPixels()[i], 1) << mode;
        }
    }

    // 1-bit: a lone 1 among 0s survives shrinking (the threshold drops to 64 when 0s are
    // the majority), and a lone 0 among 1s likewise (threshold 192).
    for (auto [bits, expected] : std::vector<std::pair<std::uint8_t, std::uint8_t>>{{0x40, 0x40}, {0xBC, 0xB0}}) {
        CISImageEx bw, smaller;
        ASSERT_EQ(bw.Allocate(6, 1, 1), 0u);
        bw.GetPixels()[0] = bits;
        ASSERT_EQ(smaller.Resize(bw, 4, 1, 17), 0u);
        EXPECT_EQ(smaller.paletteColours, 2u);
        EXPECT_EQ(smaller.GetPixels()[0], expected) << std::hex << int(bits);
    }
}

TEST(Crop, CornersClippingAndPalettes) {
    CISImageEx img;
    ASSERT_EQ(img.Allocate(50, 60, 24), 0u);
    for (std::uint32_t i = 0; i < 50 * 60 * 3; ++i) img.GetPixels()[i] = static_cast<std::uint8_t>(i * 31 / 7);
    // Corners in either order, inclusive; cut to the picture. Every pixel kept is the one
    // it was at the corner (x, y) on.
    struct Row {
        std::int32_t l, t, r, b;
        std::uint32_t code, w, h, x, y;
    };
    for (const Row& r : std::vector<Row>{{10, 20, 10, 20, 0, 1, 1, 10, 20},
                                         {30, 40, 10, 20, 0, 21, 21, 10, 20},
                                         {10, 20, 30, 40, 0, 21, 21, 10, 20},
                                         {-5, -5, 4, 4, 0, 5, 5, 0, 0},
                                         {45, 55, 80, 90, 0, 5, 5, 45, 55},
                                         {50, 0, 60, 10, 5, 50, 60, 0, 0},
                                         {-10, -10, -1, -1, 5, 50, 60, 0, 0},
                                         {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, 0, 50, 60, 0, 0}}) {
        SCOPED_TRACE(testing::Message() << r.l << "," << r.t << " " << r.r << "," << r.b);
        CISImageEx c;
        c.CopyFrom(img);
        EXPECT_EQ(c.Crop(r.l, r.t, r.r, r.b), r.code);
        ASSERT_EQ(std::tie(c.width, c.height), std::tie(r.w, r.h)); // a failed crop leaves the picture
        for (std::uint32_t y = 0; y < r.h; ++y)
            ASSERT_EQ(0, std::memcmp(c.GetPixels() + y * r.w * 3, img.GetPixels() + ((y + r.y) * 50 + r.x) * 3, r.w * 3));
    }

    // 1-bit crops at every bit offset match the bits they cut; palettes are kept.
    CISImageEx bits;
    ASSERT_EQ(bits.Allocate(37, 3, 1), 0u);
    bits.palette[0] = {1, 2, 3, 0};
    bits.palette[1] = {4, 5, 6, 0};
    for (std::uint32_t i = 0; i < bits.GetRowBytes() * 3; ++i) bits.GetPixels()[i] = static_cast<std::uint8_t>(0x5A ^ (i * 37));
    auto bit = [](const CISImageEx& im, std::uint32_t x, std::uint32_t y) {
        return (im.GetPixels()[y * im.GetRowBytes() + x / 8] >> (7 - x % 8)) & 1;
    };
    for (std::int32_t left = 0; left < 9; ++left) {
        CISImageEx c;
        c.CopyFrom(bits);
        ASSERT_EQ(c.Crop(left, 1, left + 19, 2), 0u);
        EXPECT_EQ(c.paletteColours, 2u);
        EXPECT_EQ(c.palette[1].g, 5);
        for (std::uint32_t y = 0; y < 2; ++y)
            for (std::uint32_t x = 0; x < 20; ++x) ASSERT_EQ(bit(c, x, y), bit(bits, x + left, y + 1)) << left;
    }
}

TEST(FillSolidRect, ExtentsColoursAndDepths) {
    std::vector<std::uint8_t> buf(6 * 4 * 3, 0);
    Is5Rect r{1, 1, 3, 3}; // three columns, two rows
    ASSERT_TRUE(is5_FillSolidRect(buf.data(), 6, 4, 3, 18, &r, 0x112233, 0));
    auto at = [&](int x, int y) { // the three bytes of (x, y) in their order
        const std::uint8_t* p = &buf[(y * 6 + x) * 3];
        return p[0] << 16 | p[1] << 8 | p[2];
    };
    EXPECT_EQ((std::vector{at(1, 1), at(3, 2), at(4, 2), at(1, 3)}), (std::vector{0x112233, 0x112233, 0, 0}));
    Is5Rect all{4, 2, 100, 100};
    ASSERT_TRUE(is5_FillSolidRect(buf.data(), 6, 4, 3, 18, &all, 0x112233, 1)); // cut to the buffer, swapped
    EXPECT_EQ(at(5, 3), 0x332211);
    Is5Rect outside{7, 0, 9, 2};
    auto before = buf;
    EXPECT_TRUE(is5_FillSolidRect(buf.data(), 6, 4, 3, 18, &outside, 0xFFFFFF, 0));
    EXPECT_EQ(buf, before);

    std::vector<std::uint8_t> grey(4 * 2, 0);
    Is5Rect g{0, 0, 1, 1};
    ASSERT_TRUE(is5_FillSolidRect(grey.data(), 4, 2, 1, 4, &g, 0xABCDEF, 0));
    EXPECT_EQ(grey, (std::vector<std::uint8_t>{0xEF, 0xEF, 0, 0, 0, 0, 0, 0}));
    for (std::uint32_t bpp : {0u, 2u, 5u}) {
        EXPECT_FALSE(is5_FillSolidRect(grey.data(), 1, 1, bpp, 8, &g, 0, 0));
        EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM);
    }
}
