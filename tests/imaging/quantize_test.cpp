// SPDX-License-Identifier: MIT
// The quantizer and the small conversions: exact palettes for pictures that fit, the
// least-populated-first merging, nearest-colour mapping against a brute-force search,
// error bounds on photographs, and the packing, grey and comparison helpers.
#include "corpus.h"
#include "writertest.h"

#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace {

struct Quantized {
    bool ok = false;
    std::vector<std::uint8_t> indexes;
    std::array<Is5Rgbq, 300> palette{}; // room past 256 shows any write beyond it
};

Quantized quantize(const std::vector<std::uint8_t>& rgb, std::uint32_t w, std::uint32_t h, std::uint32_t colours) {
    Quantized q;
    q.palette.fill({0xAB, 0xCD, 0xEF, 0x77});
    q.indexes.assign(std::size_t{w} * h, 0);
    q.ok = is5_QuantizeRGBTo8Bit(rgb.data(), w, h, w * 3, q.indexes.data(), w, colours, q.palette.data(), 1, 20, 0);
    return q;
}

std::uint32_t packed(const std::uint8_t* p) { return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2]; }
std::uint32_t packed(const Is5Rgbq& c) { return std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b; }

int distance(const std::uint8_t* p, const Is5Rgbq& c) {
    const int dr = p[0] - c.r, dg = p[1] - c.g, db = p[2] - c.b;
    return dr * dr + dg * dg + db * db;
}

/// Mean absolute difference per channel between the picture and its quantized colours.
double meanError(const std::vector<std::uint8_t>& rgb, const Quantized& q) {
    double sum = 0;
    for (std::size_t i = 0; i < q.indexes.size(); ++i) {
        const Is5Rgbq& c = q.palette[q.indexes[i]];
        sum += std::abs(rgb[3 * i] - c.r) + std::abs(rgb[3 * i + 1] - c.g) + std::abs(rgb[3 * i + 2] - c.b);
    }
    return sum / double(rgb.size());
}

} // namespace

TEST(Quantize, PicturesThatFitKeepTheirExactColours) {
    struct Row {
        const char* name;
        std::vector<std::uint32_t> colours; // drawn from in turn
        std::uint32_t wanted;
    };
    std::vector<std::uint32_t> reds(256), scattered(256), fine(200);
    const auto noise = codectest::randomPixels(256 * 3, 5);
    for (std::uint32_t i = 0; i < 256; ++i) {
        reds[i] = i << 16;
        scattered[i] = packed(&noise[3 * i]);
    }
    // 200 colours packed into a few 5-bit cells: averaging any cell would change them.
    for (std::uint32_t i = 0; i < 200; ++i) fine[i] = (100 + i % 10) << 16 | (50 + i / 10 % 10) << 8 | (7 + i / 100);
    const std::vector<Row> rows = {
        {"one colour", {0x123456}, 256},
        {"two colours in one cell", {0x000000, 0x010101}, 256},
        {"a red ramp", reds, 256},
        {"256 scattered colours", scattered, 256},
        {"200 colours in few cells", fine, 256},
        {"16 colours asked for 16", std::vector<std::uint32_t>(scattered.begin(), scattered.begin() + 16), 16},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::uint32_t w = 37, h = 29;
        std::vector<std::uint8_t> rgb;
        for (std::uint32_t i = 0; i < w * h; ++i) {
            const std::uint32_t c = r.colours[(i * 7 + i / w) % r.colours.size()];
            rgb.insert(rgb.end(), {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)});
        }
        const Quantized q = quantize(rgb, w, h, r.wanted);
        ASSERT_TRUE(q.ok);
        for (std::size_t i = 0; i < q.indexes.size(); ++i)
            ASSERT_EQ(packed(q.palette[q.indexes[i]]), packed(&rgb[3 * i])) << "pixel " << i;
        std::set<std::uint32_t> used(q.indexes.begin(), q.indexes.end());
        EXPECT_EQ(used.size(), std::set<std::uint32_t>(r.colours.begin(), r.colours.end()).size());
        EXPECT_EQ(q.palette[r.wanted].reserved, 0x77) << "nothing written past the colours asked for";
    }
}

TEST(Quantize, LeastPopulatedLeavesMergeFirst) {
    // 100 red, 10 blue and 1 green pixel, two colours wanted: the green pixel is merged
    // up the tree first, then the blue ones join it, so the colours are red and the
    // rounded mean of 10 blue and 1 green: (0, 255 / 11, 2550 / 11) = (0, 23, 232).
    std::vector<std::uint8_t> rgb;
    for (int i = 0; i < 100; ++i) rgb.insert(rgb.end(), {255, 0, 0});
    for (int i = 0; i < 10; ++i) rgb.insert(rgb.end(), {0, 0, 255});
    rgb.insert(rgb.end(), {0, 255, 0});
    const Quantized q = quantize(rgb, 111, 1, 2);
    ASSERT_TRUE(q.ok);
    const std::set<std::uint32_t> palette = {packed(q.palette[0]), packed(q.palette[1])};
    EXPECT_EQ(palette, (std::set<std::uint32_t>{0xFF0000, 0x0017E8}));
    EXPECT_EQ(packed(q.palette[q.indexes[0]]), 0xFF0000u);
    EXPECT_EQ(packed(q.palette[q.indexes[105]]), 0x0017E8u);
    EXPECT_EQ(packed(q.palette[q.indexes[110]]), 0x0017E8u);
}

TEST(Quantize, ColoursAreClampedToOneTo256) {
    // 4096 colours of noise, far more than any palette holds.
    const std::vector<std::uint8_t> rgb = codectest::randomPixels(64 * 64 * 3, 11);
    for (auto [asked, entries] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
             {0, 1}, {1, 1}, {7, 7}, {256, 256}, {300, 256}, {100000, 256}}) {
        SCOPED_TRACE("asked " + std::to_string(asked));
        const Quantized q = quantize(rgb, 64, 64, asked);
        ASSERT_TRUE(q.ok);
        EXPECT_LT(*std::max_element(q.indexes.begin(), q.indexes.end()), entries);
        EXPECT_EQ(std::set<std::uint8_t>(q.indexes.begin(), q.indexes.end()).size(), entries);
        EXPECT_EQ(q.palette[entries].reserved, 0x77);
    }
    // One colour for everything: the rounded mean of all the pixels.
    const std::vector<std::uint8_t> two = {0, 0, 0, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    const Quantized one = quantize(two, 4, 1, 0);
    EXPECT_EQ(packed(one.palette[0]), 0xBFBFBFu); // (3 x 255 + 2) / 4 = 191
}

TEST(Quantize, EveryPixelGetsItsNearestColourLowestIndexOnTies) {
    // A smooth picture with noise quantized to 256, 64 and 5 colours; every pixel checked
    // against a search of the whole palette.
    const std::vector<std::uint8_t> rgb = writertest::makePicture(90, 70, 24, {.smooth = true}).pixels;
    for (std::uint32_t colours : {256u, 64u, 5u}) {
        SCOPED_TRACE(std::to_string(colours) + " colours");
        const Quantized q = quantize(rgb, 90, 70, colours);
        ASSERT_TRUE(q.ok);
        for (std::size_t i = 0; i < q.indexes.size(); ++i) {
            std::uint32_t best = 0;
            for (std::uint32_t e = 1; e < colours; ++e)
                if (distance(&rgb[3 * i], q.palette[e]) < distance(&rgb[3 * i], q.palette[best])) best = e;
            ASSERT_EQ(q.indexes[i], best) << "pixel " << i;
        }
    }

    // 100 pixels of (0, 0, 0), 100 of (0, 0, 40) and one of (0, 0, 20) halfway between,
    // two colours wanted: the lone pixel joins the black ones, whose mean stays black, and
    // is then as far from black as from (0, 0, 40). It takes the lower index.
    std::vector<std::uint8_t> tie;
    for (int i = 0; i < 100; ++i) tie.insert(tie.end(), {0, 0, 0, 0, 0, 40});
    tie.insert(tie.end(), {0, 0, 20});
    const Quantized q = quantize(tie, 201, 1, 2);
    ASSERT_TRUE(q.ok);
    const std::uint8_t* middle = &tie[600];
    ASSERT_EQ(distance(middle, q.palette[0]), distance(middle, q.palette[1])) << "no tie to break";
    EXPECT_EQ(q.indexes[200], 0);
}

TEST(Quantize, PhotographsStayClose) {
    // Mean absolute error per channel at 256 colours, as measured: 6.93 on the synthetic
    // picture (smooth gradients under noise of +-6 spread its pixels over many cells) and
    // 3.35 on the corpus photograph. The bounds leave a little room above those.
    const std::vector<std::uint8_t> rgb = writertest::makePicture(320, 240, 24, {.smooth = true}).pixels;
    const Quantized q = quantize(rgb, 320, 240, 256);
    ASSERT_TRUE(q.ok);
    EXPECT_LT(meanError(rgb, q), 7.5);
    EXPECT_EQ(std::set<std::uint8_t>(q.indexes.begin(), q.indexes.end()).size(), 256u);

    REQUIRE_CORPUS(corpus);
    CISImageEx photo;
    ASSERT_EQ(photo.Read((corpus / "commons-imaging/ok/oregon-photo/oregon-small.ppm").string(), kImageDetect), 0u);
    ASSERT_EQ(photo.bitsPerPixel, 24u);
    const std::uint8_t* px = photo.GetPixels();
    const std::vector<std::uint8_t> photoRgb(px, px + std::size_t{photo.width} * photo.height * 3);
    const Quantized p = quantize(photoRgb, photo.width, photo.height, 256);
    ASSERT_TRUE(p.ok);
    EXPECT_LT(meanError(photoRgb, p), 3.6);
}

TEST(Quantize, BadArguments) {
    std::vector<std::uint8_t> rgb(12), out(4);
    Is5Rgbq palette[256];
    EXPECT_FALSE(is5_QuantizeRGBTo8Bit(nullptr, 2, 2, 6, out.data(), 2, 256, palette, 1, 20, 0));
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM);
    EXPECT_FALSE(is5_QuantizeRGBTo8Bit(rgb.data(), 2, 2, 5, out.data(), 2, 256, palette, 1, 20, 0));
    EXPECT_FALSE(is5_QuantizeRGBTo8Bit(rgb.data(), 2, 2, 6, out.data(), 1, 256, palette, 1, 20, 0));
    EXPECT_FALSE(is5_QuantizeRGBTo8Bit(rgb.data(), 2, 2, 6, out.data(), 2, 256, nullptr, 1, 20, 0));
    EXPECT_FALSE(is5_QuantizeRGBTo8Bit(rgb.data(), 0, 2, 6, out.data(), 2, 256, palette, 1, 20, 0));
    EXPECT_TRUE(is5_QuantizeRGBTo8Bit(rgb.data(), 2, 2, 6, out.data(), 2, 256, palette, 1, 20, 0));
    EXPECT_EQ(is5_GetLastError(), 0u);
}

TEST(Convert, ColourCompareSumsSquaredDifferences) {
    struct Row {
        std::uint32_t a, b, tolerance;
        bool match;
    };
    for (const Row& r : std::vector<Row>{
             {0x000000, 0x000000, 0, true},
             {0x000001, 0x000000, 0, false},
             {0x030405, 0x000000, 50, true},   // 9 + 16 + 25
             {0x030405, 0x000000, 49, false},
             {0x7F7F7F, 0xFFFFFF, 3 * 128 * 128, true},   // 3 x 128^2: grey 127 is within
             {0x7E7E7E, 0xFFFFFF, 3 * 128 * 128, false},
             {0xFF0000, 0x00FF00, 130050, true},
             {0xFF0000, 0x00FF00, 130049, false},
         }) {
        EXPECT_EQ(is5_ColorCompare(r.a, r.b, r.tolerance) != FALSE, r.match) << std::hex << r.a << " " << r.b << std::dec
                                                                            << " within " << r.tolerance;
    }
}

TEST(Convert, PackAndUnpack) {
    struct Row {
        std::uint32_t bits;
        std::vector<std::uint8_t> values; // one byte per pixel
        std::vector<std::uint8_t> packed;
    };
    const std::vector<Row> rows = {
        {1, {1, 0, 1, 0, 0, 1, 0, 1}, {0xA5}},
        {1, {1, 1, 1, 0, 0, 0, 0, 0, 1, 1}, {0xE0, 0xC0}},
        {2, {3, 0, 1, 2, 2}, {0xC6, 0x80}},
        {4, {0xA, 0x5, 0xF}, {0xA5, 0xF0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.bits) + " bits");
        const auto n = std::uint32_t(r.values.size());
        std::vector<std::uint8_t> packedOut(r.packed.size(), 0xEE), unpacked(n, 0xEE);
        ASSERT_TRUE(is5_Pack8BitBuffer(r.values.data(), n, packedOut.data(), r.bits));
        EXPECT_EQ(packedOut, r.packed);
        ASSERT_TRUE(is5_UnpackBufferTo8Bit(r.packed.data(), n, unpacked.data(), r.bits));
        EXPECT_EQ(unpacked, r.values);
    }
    // Any non-zero byte packs as a 1 bit.
    const std::uint8_t any[] = {0, 7, 255, 0};
    std::uint8_t out = 0;
    ASSERT_TRUE(is5_Pack8BitBuffer(any, 4, &out, 1));
    EXPECT_EQ(out, 0x60);
    EXPECT_FALSE(is5_Pack8BitBuffer(any, 4, &out, 3));
    EXPECT_FALSE(is5_UnpackBufferTo8Bit(any, 4, &out, 8));
}

TEST(Convert, GreyLevelsAndThresholds) {
    // Grey = (299 R + 587 G + 114 B) / 1000, rounded: the ITU-R BT.601 weights.
    const std::uint8_t rgb[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255, 10, 20, 30, 0, 0, 0};
    std::uint8_t grey[6] = {};
    ASSERT_TRUE(is5_ImageToGrayScale8Bit(rgb, 6, 1, 18, 24, nullptr, grey, 6, 0));
    EXPECT_EQ(std::vector<std::uint8_t>(grey, grey + 6), (std::vector<std::uint8_t>{76, 150, 29, 255, 18, 0}));

    Is5Rgbq palette[256] = {};
    palette[3] = {0, 255, 0, 0};
    palette[9] = {255, 255, 255, 0};
    const std::uint8_t indexes[] = {3, 9, 0};
    ASSERT_TRUE(is5_ImageToGrayScale8Bit(indexes, 3, 1, 3, 8, palette, grey, 3, 0));
    EXPECT_EQ(std::vector<std::uint8_t>(grey, grey + 3), (std::vector<std::uint8_t>{150, 255, 0}));
    EXPECT_FALSE(is5_ImageToGrayScale8Bit(indexes, 3, 1, 3, 8, nullptr, grey, 3, 0));
    EXPECT_FALSE(is5_ImageToGrayScale8Bit(indexes, 3, 1, 3, 16, palette, grey, 3, 0));

    // Two rows with a stride wider than the picture: 1 at or above the threshold.
    const std::uint8_t levels[] = {127, 128, 255, 99, /**/ 0, 200, 128, 99};
    std::uint8_t bits[6] = {};
    ASSERT_TRUE(is5_GrayscaleTo1Bit(levels, 3, 2, 4, bits, 3, 128));
    EXPECT_EQ(std::vector<std::uint8_t>(bits, bits + 6), (std::vector<std::uint8_t>{0, 1, 1, 0, 1, 1}));

    // Palette expansion.
    const std::uint8_t two[] = {9, 3};
    std::uint8_t out[6] = {};
    ASSERT_TRUE(is5_8BitToRGB(two, 2, 1, 2, palette, out, 6, 0));
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 6), (std::vector<std::uint8_t>{255, 255, 255, 0, 255, 0}));
    EXPECT_FALSE(is5_8BitToRGB(two, 2, 1, 2, nullptr, out, 6, 0));
    EXPECT_FALSE(is5_8BitToRGB(two, 2, 1, 2, palette, out, 5, 0));
}
