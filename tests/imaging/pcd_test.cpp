// SPDX-License-Identifier: MIT
// PhotoCD reader: YCC to RGB on hand-made packs, chroma shared by 2 x 2 pixels, the four
// orientations, damaged packs, and the corpus picture against an independent decode.
#include "codectest.h"
#include "corpus.h"
#include "refimage.h"

#include <cstdlib>

namespace {

constexpr std::size_t kBase = 0x30000;
constexpr std::size_t kPair = 768 * 3; // two luma rows, then 384 C1 and 384 C2 bytes
constexpr std::size_t kPackSize = kBase + kPair * 256;

// A pack whose base image is black (Y 0, neutral chroma) but for a few marked pixels.
std::string makePack(int orientation) {
    std::string f(kPackSize, '\0');
    f.replace(2048, 7, "PCD_IPI");
    f[0xE02] = static_cast<char>(orientation);
    for (std::size_t pair = 0; pair < 256; ++pair) {
        std::size_t at = kBase + pair * kPair + 2 * 768;
        std::fill_n(f.begin() + static_cast<std::ptrdiff_t>(at), 384, static_cast<char>(156));
        std::fill_n(f.begin() + static_cast<std::ptrdiff_t>(at + 384), 384, static_cast<char>(137));
    }
    auto luma = [&](std::size_t x, std::size_t y, int v) { f[kBase + (y / 2) * kPair + (y % 2) * 768 + x] = static_cast<char>(v); };
    auto chroma = [&](std::size_t x, std::size_t y, int c1, int c2) {
        f[kBase + (y / 2) * kPair + 2 * 768 + x / 2] = static_cast<char>(c1);
        f[kBase + (y / 2) * kPair + 2 * 768 + 384 + x / 2] = static_cast<char>(c2);
    };
    luma(0, 0, 100);
    luma(1, 0, 200);
    luma(1, 1, 255);
    for (std::size_t y = 0; y < 2; ++y)
        for (std::size_t x = 2; x < 4; ++x) luma(x, y, 100);
    chroma(2, 0, 200, 100);
    luma(767, 511, 50);
    return f;
}

using codectest::Decoded;
using Rgb = std::vector<int>;

Decoded readPcd(const std::string& file, std::uint32_t resolution = 3) {
    return codectest::decode(file, [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq*) {
        return is5_ReadPCD(s, w, h, resolution, 0);
    });
}
// The colour of pixel (x, y) of the 24-bit picture.
Rgb at(const Decoded& d, std::uint32_t x, std::uint32_t y) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(d.pixels.data()) + (std::size_t{y} * d.width + x) * 3;
    return {p[0], p[1], p[2]};
}

} // namespace

TEST(PcdRead, PhotoYccToRgb) {
    Decoded d = readPcd(makePack(0));
    ASSERT_EQ(d.code, IS5_OK);
    ASSERT_EQ(d.width, 768u);
    ASSERT_EQ(d.height, 512u);
    // L = 1.3584 Y; neutral chroma (156, 137) adds nothing; values clamp at 255.
    EXPECT_EQ(at(d, 0, 0), (Rgb{136, 136, 136}));
    EXPECT_EQ(at(d, 1, 0), (Rgb{255, 255, 255}));
    EXPECT_EQ(at(d, 0, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(at(d, 1, 1), (Rgb{255, 255, 255}));
    // Y 100, C1 200, C2 100: R = 135.84 - 67.40, G = 135.84 - 18.93 + 34.30, B = 135.84 + 97.59,
    // for all four pixels that share the chroma sample.
    for (std::uint32_t y = 0; y < 2; ++y)
        for (std::uint32_t x = 2; x < 4; ++x) EXPECT_EQ(at(d, x, y), (Rgb{68, 151, 233})) << x << "," << y;
    EXPECT_EQ(at(d, 4, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(at(d, 767, 511), (Rgb{68, 68, 68}));
}

TEST(PcdRead, OrientationTurnsThePicture) {
    struct Row {
        int orientation;
        std::uint32_t width, height;
        std::uint32_t topLeftX, topLeftY;         // where the stored top-left pixel lands
        std::uint32_t bottomRightX, bottomRightY; // and the stored bottom-right one
    };
    const std::vector<Row> rows = {
        // Orientation 0 is PhotoYccToRgb's picture.
        {1, 512, 768, 0, 767, 511, 0}, // a quarter counter-clockwise
        {2, 768, 512, 767, 511, 0, 0},
        {3, 512, 768, 511, 0, 0, 767}, // a quarter clockwise
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.orientation);
        Decoded d = readPcd(makePack(r.orientation));
        ASSERT_EQ(d.code, IS5_OK);
        EXPECT_EQ(d.width, r.width);
        EXPECT_EQ(d.height, r.height);
        EXPECT_EQ(at(d, r.topLeftX, r.topLeftY), (Rgb{136, 136, 136}));
        EXPECT_EQ(at(d, r.bottomRightX, r.bottomRightY), (Rgb{68, 68, 68}));
    }
}

TEST(PcdRead, DamagedPacksFailCleanly) {
    const std::string pack = makePack(0);
    // The resolution stands in the depth column.
    const std::vector<codectest::BadFile> rows = {
        {"base image one byte short", pack.substr(0, pack.size() - 1), 3, IS5_ERR_READ},
        {"ends before the signature", pack.substr(0, 100), 3, IS5_ERR_READ},
        {"no signature", std::string(kPackSize, '\0'), 3, IS5_ERR_FORMAT},
        {"resolution other than the base", pack, 4, IS5_ERR_PARAM},
    };
    codectest::expectEachFails(rows, readPcd);
    is5_SetMaxPixels(768 * 512 - 1);
    EXPECT_EQ(readPcd(pack).code, IS5_ERR_TOO_LARGE);
    is5_SetMaxPixels(0);
}

// tests/data/pcd/hopper.pcd.png is Pillow 9.4's decode of the corpus picture (see the
// README beside it). Pillow applies the same PhotoYCC formula in its own fixed-point
// arithmetic and lands up to 3 levels away from the exact values (measured: max 3, mean
// 0.34), so the bound is max 4 and mean 0.5; a misplaced chroma sample or a wrong
// coefficient moves many pixels by far more.
TEST(PcdRead, MatchesAnIndependentDecode) {
    REQUIRE_CORPUS(corpus);
    const std::filesystem::path data = std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "pcd";
    auto reference = testutil::decodeReferencePng((data / "hopper.pcd.png").string());
    ASSERT_TRUE(reference.has_value());
    Decoded d = readPcd(testutil::readFile(corpus / "pillow/ok/pcd/hopper.pcd"));
    ASSERT_EQ(d.code, IS5_OK);
    ASSERT_EQ(d.width, reference->width);
    ASSERT_EQ(d.height, reference->height);
    int worst = 0;
    double total = 0;
    for (std::size_t i = 0; i < d.pixels.size(); ++i) {
        int diff = std::abs(int(std::uint8_t(d.pixels[i])) - int(reference->rgb[i]));
        worst = std::max(worst, diff);
        total += diff;
    }
    EXPECT_LE(worst, 4);
    EXPECT_LE(total / static_cast<double>(d.pixels.size()), 0.5);
}
