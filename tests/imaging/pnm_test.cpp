// SPDX-License-Identifier: MIT
// Portable anymap reader: every P-type plain and raw, maximum values 15 and 65535,
// comments, output depths and palettes, the header reader, damaged files.
#include "codectest.h"

namespace {

using namespace codectest;

Decoded readPnm(const std::string& file, std::uint32_t depth) {
    return decodeFile(file, "t.pnm", [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* pal) {
        return is5_ReadPNM(s, w, h, depth, pal, 0);
    });
}

std::vector<std::uint8_t> asVector(const std::string& b) { return {b.begin(), b.end()}; }

const std::string kBitmapRaw = "P4\n10 2\n" + hex({0xA5, 0x00, 0x12, 0xC0});
const std::vector<std::uint8_t> kBitmapIndexes = {1, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1, 1};

} // namespace

TEST(PnmRead, GoldenPixels) {
    struct Row {
        const char* name;
        std::string file;
        std::uint32_t depth, width, height, dimsBits;
        std::vector<std::uint8_t> pixels;
    };
    const std::vector<Row> rows = {
        {"P1 with a comment", "P1\n# c\n3 2\n1 0 1\n0 1 1\n", 1, 3, 2, 1, {0xA0, 0x60}},
        {"P1 without separators", "P1 3 2 101011", 1, 3, 2, 1, {0xA0, 0x60}},
        {"P1 at 24 bits", "P1 2 1 10", 24, 2, 1, 1, {0, 0, 0, 255, 255, 255}},
        {"P4 at 1 bit, as stored", kBitmapRaw, 1, 10, 2, 1, {0xA5, 0x00, 0x12, 0xC0}},
        {"P4 at 8 bits, indexes", kBitmapRaw, 8, 10, 2, 1, kBitmapIndexes},
        {"P2 maximum 15, values above clamped", "P2 2 2 15 0 15 7 20", 8, 2, 2, 8, {0, 255, 119, 255}},
        {"P2 at 24 bits", "P2 1 1 255 77", 24, 1, 1, 8, {77, 77, 77}},
        {"P5", "P5\n2 1\n255\n" + hex({9, 250}), 8, 2, 1, 8, {9, 250}},
        {"P5 maximum 15", "P5 3 1 15\n" + hex({15, 7, 16}), 8, 3, 1, 8, {255, 119, 255}},
        {"P5 maximum 65535, big-endian", "P5 2 1 65535\n" + hex({0x12, 0x34, 0xFF, 0xFF}), 8, 2, 1, 8, {18, 255}},
        {"P3", "P3 2 1 255\n255 0 0  0 128 255\n", 24, 2, 1, 24, {255, 0, 0, 0, 128, 255}},
        {"P6", "P6\n1 1\n255\n" + hex({1, 2, 3}), 24, 1, 1, 24, {1, 2, 3}},
        {"P6 maximum 65535", "P6 1 1 65535\n" + hex({0xFF, 0xFF, 0x80, 0x00, 0, 0}), 24, 1, 1, 24, {255, 128, 0}},
        {"comments between every field", "P6#a\n#b\n1#c\n 1 # d\n255\n" + hex({4, 5, 6}), 24, 1, 1, 24, {4, 5, 6}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto d = readPnm(r.file, r.depth);
        ASSERT_EQ(d.code, IS5_OK);
        EXPECT_EQ(d.width, r.width);
        EXPECT_EQ(d.height, r.height);
        EXPECT_EQ(asVector(d.pixels), r.pixels);
        EXPECT_EQ(headerDims(r.file, is5_GetPNMDims), (Dims{true, r.width, r.height, r.dimsBits}));
    }
}

TEST(PnmRead, DamagedFilesFailCleanly) {
    const std::vector<BadFile> rows = {
        {"empty", "", 24, IS5_ERR_READ},
        {"magic only", "P", 24, IS5_ERR_READ},
        {"PAM", "P7\nWIDTH 1\n", 24, IS5_ERR_UNSUPPORTED},
        {"unknown type", "P9 1 1 255\n", 24, IS5_ERR_FORMAT},
        {"no space after the magic", "P61 1 255\n" + hex({1, 2, 3}), 24, IS5_ERR_FORMAT},
        {"negative width", "P6 -1 1 255\n", 24, IS5_ERR_FORMAT},
        {"height beyond 32 bits", "P6 32 358888888632\n", 24, IS5_ERR_FORMAT},
        {"zero width", "P6 0 1 255\n", 24, IS5_ERR_FORMAT},
        {"maximum 0", "P5 1 1 0\n" + hex({0}), 8, IS5_ERR_FORMAT},
        {"maximum 65536", "P5 1 1 65536\n" + hex({0, 0}), 8, IS5_ERR_FORMAT},
        {"no space after the maximum", "P5 1 1 255x", 8, IS5_ERR_FORMAT},
        {"header ends", "P5 1 1 255", 8, IS5_ERR_READ},
        {"raw raster short", "P5 2 2 255\n" + hex({1, 2, 3}), 8, IS5_ERR_READ},
        {"16-bit raster short", "P5 1 2 65535\n" + hex({1, 2, 3}), 8, IS5_ERR_READ},
        {"plain raster short", "P2 2 1 255 7", 8, IS5_ERR_READ},
        {"plain raster ends later", "P2 2 2 255 77 77 77 ", 8, IS5_ERR_READ},
        {"letter in a P1 raster", "P1 2 1 0x", 1, IS5_ERR_FORMAT},
        {"letter in a P2 raster", "P2 2 1 255 7 x", 8, IS5_ERR_FORMAT},
        {"100000 x 100000", "P5 100000 100000 255\n", 8, IS5_ERR_TOO_LARGE},
        {"PGM at 1 bit", "P5 1 1 255\n" + hex({1}), 1, IS5_ERR_UNSUPPORTED},
        {"PPM at 8 bits", "P6 1 1 255\n" + hex({1, 2, 3}), 8, IS5_ERR_UNSUPPORTED},
        {"depth 16", "P6 1 1 255\n" + hex({1, 2, 3}), 16, IS5_ERR_PARAM},
    };
    expectEachFails(rows, readPnm);
}

TEST(PnmRead, ThroughTheImageObject) {
    // The object reads PBM at 1 bit and PGM at 8 with the palette the reader gives: the
    // first pixel's colour shows that palette (PBM: 1 is black).
    struct Row {
        const char* name;
        std::string file;
        int type;
        std::uint32_t bits, colours;
        std::vector<std::uint8_t> first;
    };
    const std::vector<Row> rows = {
        {"a.pbm", kBitmapRaw, kImagePbm, 1, 2, {0, 0, 0}},
        {"b.pbm", "P1 2 1 01", kImagePbm, 1, 2, {255, 255, 255}},
        {"a.pgm", "P2 2 1 255 40 50", kImagePgm, 8, 256, {40, 40, 40}},
        {"a.ppm", "P6 1 1 255\n" + hex({7, 8, 9}), kImagePpm, 24, 0, {7, 8, 9}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CISImageEx img;
        ASSERT_EQ(readObject(img, r.file, r.name), 0u);
        EXPECT_EQ(img.imageType, r.type);
        EXPECT_EQ(img.bitsPerPixel, r.bits);
        EXPECT_EQ(img.paletteColours, r.colours);
        EXPECT_EQ(colours(img.GetPixels(), 1, 1, r.bits, img.palette), r.first);
    }
}
