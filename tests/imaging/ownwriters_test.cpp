// SPDX-License-Identifier: MIT
// BMP, GIF and Photoshop writers: hand-checked bytes of small files, LZW at every length,
// interlace and transparency. Their round trips, the GIF's full colour table from 24 bits
// among them, are in writers_test.cpp.
#include "testutil.h"
#include "writertest.h"

#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

using namespace writertest;
using codectest::readGif;

TEST(OwnWriters, BmpBytesOfSmallPictures) {
    // 2 x 2 at 24 bits: rows bottom-up in B, G, R, padded to 8 bytes.
    const std::uint8_t rgb[] = {1, 2, 3, 4, 5, 6, /**/ 7, 8, 9, 10, 11, 12};
    std::string file = writeToMemory([&](IS5_DEST d) { return is5_WriteBMP(d, rgb, 2, 2, 24, 6, 0, nullptr, nullptr, 0); }).bytes;
    // Size, reserved, pixel data at; 2 x 2, 1 plane, 24 bits; BI_RGB, 16 bytes of pixels, no
    // resolution; colours used and important.
    EXPECT_EQ(file, "BM" + hex({70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
                                40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,
                                0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                0, 0, 0, 0, 0, 0, 0, 0,
                                9, 8, 7, 12, 11, 10, 0, 0, 3, 2, 1, 6, 5, 4, 0, 0}));

    // 10 x 1 at 1 bit: the unused low bits of the last byte are written as 0.
    const std::uint8_t bits[] = {0xA5, 0xFF};
    const Is5Rgbq bw[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
    file = writeToMemory([&](IS5_DEST d) { return is5_WriteBMP(d, bits, 10, 1, 1, 2, 2, bw, nullptr, 0); }).bytes;
    ASSERT_EQ(file.size(), 54u + 8u + 4u);
    EXPECT_EQ(le32(file, 46), 2u); // biClrUsed
    EXPECT_EQ(file.substr(54, 8), hex({0, 0, 0, 0, 255, 255, 255, 0}));
    EXPECT_EQ(file.substr(62, 4), hex({0xA5, 0xC0, 0, 0}));
}

TEST(OwnWriters, BmpRle8Encoding) {
    struct Row {
        const char* name;
        std::vector<std::uint8_t> pixels; // one row
        std::vector<int> data;            // the encoded pixel data
    };
    const std::vector<Row> rows = {
        {"run then literal", {5, 5, 5, 5, 1, 2, 3, 7}, {4, 5, 0, 4, 1, 2, 3, 7, 0, 1}},
        {"odd literal padded", {1, 2, 3}, {0, 3, 1, 2, 3, 0, 0, 1}},
        {"two singles", {9, 8}, {1, 9, 1, 8, 0, 1}},
        {"pair inside a literal", {1, 2, 2, 3}, {0, 4, 1, 2, 2, 3, 0, 1}},
        {"short literal before a run", {4, 6, 6, 6}, {1, 4, 3, 6, 0, 1}},
    };
    Is5Rgbq palette[256] = {};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const auto w = std::uint32_t(r.pixels.size());
        const std::string file =
            writeToMemory([&](IS5_DEST d) { return is5_WriteBMP(d, r.pixels.data(), w, 1, 8, w, 10, palette, nullptr, 1); }).bytes;
        const std::size_t dataAt = 54 + 4 * 10;
        ASSERT_GE(file.size(), dataAt);
        EXPECT_EQ(le32(file, 30), 1u); // BI_RLE8
        EXPECT_EQ(le32(file, 34), file.size() - dataAt);
        EXPECT_EQ(le32(file, 2), file.size());
        std::string expected;
        for (int v : r.data) expected.push_back(char(v));
        EXPECT_EQ(file.substr(dataAt), expected);
    }
    // Two rows: the first one stored (the bottom row) ends with end-of-line.
    const std::uint8_t two[] = {7, 7, 7, /**/ 1, 1, 1};
    const std::string file = writeToMemory([&](IS5_DEST d) { return is5_WriteBMP(d, two, 3, 2, 8, 3, 10, palette, nullptr, 1); }).bytes;
    EXPECT_EQ(file.substr(94), hex({3, 1, 0, 0, 3, 7, 0, 1}));
}

TEST(OwnWriters, BmpPaletteCoversEveryIndexUsed) {
    // Asked for 4 colours, the pixels use index 9: ten entries are written.
    std::vector<std::uint8_t> px = {0, 9, 3, 1};
    Is5Rgbq palette[256] = {};
    palette[9] = {1, 2, 3, 0};
    const std::string file = writeToMemory([&](IS5_DEST d) { return is5_WriteBMP(d, px.data(), 4, 1, 8, 4, 4, palette, nullptr, 0); }).bytes;
    EXPECT_EQ(le32(file, 46), 10u);
    EXPECT_EQ(le32(file, 10), 54u + 40u);
    EXPECT_EQ(file.substr(54 + 36, 4), hex({3, 2, 1, 0}));
}

TEST(OwnWriters, GifLzwAtEveryLength) {
    // Every picture length from 1 to 700 pixels at 1, 2, 4 and 8 bits: the code width grows
    // at a different point of each, and the end code must be read at the width in use.
    for (std::uint32_t bits : {1u, 2u, 4u, 8u}) {
        Is5Rgbq palette[256];
        for (int i = 0; i < 256; ++i) palette[i] = {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i * 7), 0};
        const Picture noise = makePicture(700, 1, 8, {.colours = 1u << bits});
        const std::vector<std::uint8_t> px = noise.pixels;
        for (std::uint32_t n = 1; n <= px.size(); ++n) {
            const std::string file = writeToMemory(
                [&](IS5_DEST d) { return is5_WriteGIF(d, px.data(), n, 1, n, 0, -1, bits, palette, 0); }).bytes;
            ASSERT_FALSE(file.empty());
            std::uint32_t gotBits = 0;
            const Decoded got = readGif(file, &gotBits);
            ASSERT_EQ(got.code, 0u) << bits << " bits, " << n << " pixels";
            ASSERT_EQ(gotBits, bits);
            ASSERT_EQ(Bytes(px.begin(), px.begin() + n), got.pixels) << bits << " bits, " << n;
        }
    }
}

TEST(OwnWriters, GifInterlaceAndTransparency) {
    Is5Rgbq palette[256] = {};
    for (int i = 0; i < 16; ++i) palette[i] = {std::uint8_t(16 * i), std::uint8_t(i), std::uint8_t(200 - i), 0};
    testutil::TempDir dir;
    for (std::uint32_t height : {1u, 2u, 3u, 5u, 8u, 9u, 17u, 33u}) {
        SCOPED_TRACE("height " + std::to_string(height));
        std::vector<std::uint8_t> px(5 * height);
        for (std::size_t i = 0; i < px.size(); ++i) px[i] = std::uint8_t((i / 5 + i) % 16);
        const std::string file =
            writeToMemory([&](IS5_DEST d) { return is5_WriteGIF(d, px.data(), 5, height, 5, 1, -1, 4, palette, 0); }).bytes;
        EXPECT_EQ(std::uint8_t(file[13 + 48 + 9]) & 0x40, 0x40) << "interlace flag";
        std::uint32_t bits = 0;
        const Decoded got = readGif(file, &bits);
        ASSERT_EQ(got.code, 0u);
        EXPECT_EQ(got.pixels, Bytes(px.begin(), px.end()));
        if (haveTool("convert")) {
            Bytes expected;
            for (std::uint8_t i : px) expected += hex({palette[i].r, palette[i].g, palette[i].b});
            EXPECT_EQ(firstDifference(magickRgb(saveTemp(dir, "i.gif", file)), expected, 5), "");
        }
    }

    // The graphic control extension appears only with a transparent index.
    const std::uint8_t px[] = {0, 1, 2, 3};
    const std::string plain = writeToMemory([&](IS5_DEST d) { return is5_WriteGIF(d, px, 2, 2, 2, 0, -1, 2, palette, 0); }).bytes;
    const std::string clear = writeToMemory([&](IS5_DEST d) { return is5_WriteGIF(d, px, 2, 2, 2, 0, 2, 2, palette, 0); }).bytes;
    EXPECT_EQ(plain.find("\x21\xF9"), std::string::npos);
    EXPECT_EQ(clear.substr(13 + 12, 8), hex({0x21, 0xF9, 4, 1, 0, 0, 2, 0}));
    EXPECT_EQ(clear.size(), plain.size() + 8);
}

TEST(OwnWriters, PsdBytesOfASmallPicture) {
    // 3 x 2 RGB: header, empty sections, PackBits with a count table of 3 channels x 2 rows.
    const std::uint8_t rgb[] = {9, 1, 2, 9, 1, 3, 9, 1, 4, /**/ 5, 5, 5, 6, 6, 6, 7, 7, 7};
    const std::string file = writeToMemory([&](IS5_DEST d) { return is5_WritePSD(d, rgb, 3, 2, 24, 9, nullptr, 0); }).bytes;
    const std::string expected = std::string("8BPS") +
                                 hex({0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 3, 0, 8, 0, 3,
                                                 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1,
                                                 // counts: red rows, green rows, blue rows
                                                 0, 2, 0, 4, 0, 2, 0, 4, 0, 4, 0, 4,
                                                 // red: run of 9s; 5 6 7
                                                 254, 9, 2, 5, 6, 7,
                                                 // green: run of 1s; 5 6 7
                                                 254, 1, 2, 5, 6, 7,
                                                 // blue: 2 3 4; 5 6 7
                                                 2, 2, 3, 4, 2, 5, 6, 7});
    EXPECT_EQ(file, expected);

    // Indexed: one channel after a 768-byte table of reds, greens, blues.
    Is5Rgbq palette[256] = {};
    palette[1] = {10, 20, 30, 0};
    const std::uint8_t idx[] = {1, 1};
    const std::string indexed = writeToMemory([&](IS5_DEST d) { return is5_WritePSD(d, idx, 2, 1, 8, 2, palette, 0); }).bytes;
    Bytes table(768, '\0');
    table[1] = 10;
    table[256 + 1] = 20;
    table[512 + 1] = 30;
    // 1 channel, 1 x 2, 8 bits, indexed mode; the table; empty sections; a run of two 1s.
    const Bytes header = hex({0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 8, 0, 2, 0, 0, 3, 0});
    EXPECT_EQ(indexed, "8BPS" + header + table + hex({0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 255, 1}));
}

