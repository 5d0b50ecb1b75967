// SPDX-License-Identifier: MIT
// WBMP reader: hand-built type 0 files at each depth, multi-byte sizes and their limits,
// bad files, the pixel guard, and the image object.
#include "codectest.h"

#include <algorithm>

namespace {

using namespace codectest;

Decoded readWbmp(const Bytes& file, std::uint32_t depth) {
    return decodeFile(file, "t.wbmp", [&](IS5_SOURCE src, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* pal) {
        std::fill_n(pal, 256, Is5Rgbq{7, 7, 7, 7});
        return is5_ReadWBMP(src, w, h, pal, depth, 0);
    });
}

// 3 x 2: white, black, white / black, white, black.
const Bytes kSmall = hex({0, 0, 3, 2, 0xA0, 0x40});
const Bytes kWhite = hex({255, 255, 255}), kBlack = hex({0, 0, 0});

} // namespace

TEST(WbmpPixels, EveryDepth) {
    struct Row {
        Bytes file;
        std::uint32_t depth, width, height;
        Bytes expected;
    };
    const std::vector<Row> cases = {
        {kSmall, 8, 3, 2, hex({1, 0, 1, 0, 1, 0})},
        {kSmall, 24, 3, 2, kWhite + kBlack + kWhite + kBlack + kWhite + kBlack},
        {kSmall, 1, 3, 2, hex({0xA0, 0x40})},
        {hex({0, 0, 9, 1, 0xFF, 0x80}), 8, 9, 1, Bytes(9, '\1')},          // two bytes per row
        {hex({0, 0, 0x81, 0x00, 1}) + Bytes(16, '\xFF'), 8, 128, 1, Bytes(128, '\1')}, // two-byte width
    };
    for (const Row& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth) + ", width " + std::to_string(c.width));
        Decoded d = readWbmp(c.file, c.depth);
        ASSERT_EQ(d.code, IS5_OK);
        EXPECT_EQ(d.width, c.width);
        EXPECT_EQ(d.height, c.height);
        EXPECT_EQ(d.pixels, c.expected);
        if (c.depth != 24) {
            EXPECT_TRUE(d.palette[0].r == 0 && d.palette[0].g == 0 && d.palette[0].b == 0);
            EXPECT_TRUE(d.palette[1].r == 255 && d.palette[1].g == 255 && d.palette[1].b == 255);
        }
        EXPECT_EQ(headerDims(c.file, [](IS5_SOURCE s, auto* w, auto* h, auto*) { return is5_GetWBMPDims(s, w, h); }),
                  (Dims{true, c.width, c.height, 0}));
    }
}

TEST(WbmpErrors, BadFilesGiveTheirCode) {
    const std::vector<BadFile> cases = {
        {"type 1", hex({1, 0, 3, 2, 0xA0, 0x40}), 8, IS5_ERR_UNSUPPORTED},
        {"extension headers", hex({0, 0x80, 3, 2, 0xA0, 0x40}), 8, IS5_ERR_FORMAT},
        {"width past 32 bits", hex({0, 0, 0x90, 0x80, 0x80, 0x80, 0x00, 1, 0}), 8, IS5_ERR_FORMAT},
        {"width of six bytes", hex({0, 0, 0x80, 0x80, 0x80, 0x80, 0x80, 0x01, 1, 0}), 8, IS5_ERR_FORMAT},
        {"width 0", hex({0, 0, 0, 2, 0xA0, 0x40}), 8, IS5_ERR_FORMAT},
        {"header cut in the width", hex({0, 0, 0x81}), 8, IS5_ERR_READ},
        {"rows missing", hex({0, 0, 8, 4, 0xFF}), 8, IS5_ERR_READ},
        {"huge picture", hex({0, 0, 0xC0, 0x80, 0x00, 0xC0, 0x80, 0x00}), 8, IS5_ERR_TOO_LARGE},
        {"depth 4", kSmall, 4, IS5_ERR_PARAM},
    };
    expectEachFails(cases, readWbmp);
}

TEST(WbmpImageObject, ReadsAsTwoColourIndexes) {
    CISImageEx img;
    ASSERT_EQ(readObject(img, kSmall, "p.wbmp"), 0u);
    EXPECT_EQ(img.imageType, kImageWbmp);
    EXPECT_EQ(img.bitsPerPixel, 8u);
    EXPECT_EQ(img.paletteColours, 2u);
    const auto picture = colours(img.GetPixels(), 3, 2, 8, img.palette);
    EXPECT_EQ(Bytes(picture.begin(), picture.end()), kWhite + kBlack + kWhite + kBlack + kWhite + kBlack);
}
