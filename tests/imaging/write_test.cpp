// SPDX-License-Identifier: MIT
// CISImageEx::Write: the type taken from the extension, result codes, types without a
// writer, failures that leave no file and keep an old one, the depth conversions seen
// in the files written, and a source object that never changes.
#include "writertest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <tuple>

namespace fs = std::filesystem;
using namespace writertest;

namespace {

/// A folder's entries: the bytes of each file, "<folder>" for each folder.
std::map<std::string, std::string> folder(const fs::path& dir) {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::directory_iterator(dir))
        entries[e.path().filename().string()] = e.is_directory() ? "<folder>" : testutil::readFile(e.path());
    return entries;
}

/// Everything about an image object that Write must leave alone.
auto snapshot(const CISImageEx& img) {
    return std::tuple(Bytes(reinterpret_cast<const char*>(img.GetPixels()), std::size_t{img.GetRowBytes()} * img.height),
                      Bytes(reinterpret_cast<const char*>(img.palette), sizeof img.palette), img.width, img.height,
                      img.bitsPerPixel, img.paletteColours, img.xResolution, img.yResolution, img.outputXResolution,
                      img.outputYResolution, img.resolutionUnit, img.outputResolutionUnit, img.imageType,
                      img.jpegQuality, img.wbmpThreshold, img.fileName);
}

} // namespace

TEST(Write, TypeFromTheExtensionOrACodeThatLeavesTheFolderAsItWas) {
    // Each row writes into a fresh folder holding a file "plain", a folder "taken.bmp" and
    // "old" under the row's name where that can be. A written file (from 24 bits) replaces
    // "old" and is known by its first bytes and read back.
    struct Row {
        const char* what;
        int type;
        std::string name; // in the folder; "" is an empty path, "/" the folder itself
        std::uint32_t code;
        std::uint32_t width = 8; // 0: an object without a picture
        std::string magic = "";  // of the file written
        int readType = 0;        // what detection makes of it
    };
    const std::vector<Row> rows = {
        {"BMP by extension", kImageDetect, "a.bmp", 0, 8, "BM", kImageBmp},
        {"BMP by extension in capitals", kImageDetect, "b.BMP", 0, 8, "BM", kImageBmp},
        {"GIF by extension", kImageDetect, "c.gif", 0, 8, "GIF89a", kImageGif},
        {"Photoshop by extension", kImageDetect, "d.psd", 0, 8, "8BPS", kImagePsd},
        {"no picture", kImageBmp, "a.bmp", 5, 0},
        {"PCD has no writer", kImagePcd, "out.pcd", 5},
        {"unknown extension", kImageDetect, "out.xyz", 5},
        {"no extension", kImageDetect, "noextension", 5},
        {"PCD by extension", kImageDetect, "out.pcd", 5},
        {"camera raw", kImageRaw, "out.bmp", 5},
        {"PPM", kImagePpm, "out.ppm", 5},
        {"type 100", 100, "out.bmp", 5},
        {"type -1", -1, "out.bmp", 5},
        {"missing folder", kImageBmpPalette, "missing/out.bmp", IS5_ERR_OPEN},
        {"folder that is a file", kImageBmpPalette, "plain/out.bmp", IS5_ERR_OPEN},
        {"empty path", kImageBmpPalette, "", IS5_ERR_PARAM},
        {"path of a folder", kImageBmpPalette, "/", IS5_ERR_PARAM},
        {"wider than a Photoshop file may be", kImagePsd, "wide.psd", IS5_ERR_PARAM, 30001},
        // The picture is complete, but its name is a folder: the rename that publishes it fails.
        {"name taken by a folder", kImageBmp, "taken.bmp", IS5_ERR_WRITE},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        testutil::TempDir dir;
        testutil::writeFile(dir / "plain", "x");
        fs::create_directory(dir / "taken.bmp");
        if (r.name.size() > 1 && r.name.find('/') == std::string::npos && r.name != "taken.bmp")
            testutil::writeFile(dir / r.name, "old");
        const auto before = folder(dir.path());
        CISImageEx img;
        if (r.width) toImage(img, makePicture(r.width, 4, r.magic.empty() ? 8 : 24, {.colours = 16}));
        const std::string path = r.name.empty() ? "" : r.name == "/" ? dir.str() + "/" : dir / r.name;
        const std::uint32_t code = img.Write(r.type, path);
        EXPECT_EQ(code, r.code);
        if (r.code) {
            EXPECT_EQ(folder(dir.path()), before);
        }
        if (code || r.code) continue;
        EXPECT_EQ(testutil::readFile(path).substr(0, r.magic.size()), r.magic);
        CISImageEx back;
        ASSERT_EQ(back.Read(path, kImageDetect), 0u);
        EXPECT_EQ(back.imageType, r.readType);
        EXPECT_EQ(coloursOf(back), coloursOf(img));
    }
}

TEST(Write, TheSourceNeverChanges) {
    testutil::TempDir dir;
    for (std::uint32_t depth : {24u, 8u, 1u}) {
        CISImageEx img;
        toImage(img, makePicture(33, 17, depth, {.colours = depth == 8 ? 40u : 0u, .whiteFirst = depth == 1}));
        img.xResolution = img.yResolution = 72;
        img.resolutionUnit = 2;
        img.outputResolutionUnit = 2;
        img.fileName = "source.name";
        img.imageType = depth == 24 ? kImageBmp : depth == 8 ? kImageGif : kImageBmpBw;
        const auto before = snapshot(img);
        for (int type = kImageJpeg; type <= kImageGif; ++type) {
            SCOPED_TRACE("depth " + std::to_string(depth) + " type " + std::to_string(type));
            img.Write(type, dir / ("out" + std::to_string(type)));
            EXPECT_TRUE(snapshot(img) == before);
        }
    }
}

TEST(Write, ConvertedPalettesInTheFiles) {
    struct Row {
        const char* name;
        std::uint32_t depth;
        Look look;
        int type;
        std::uint32_t clrUsed;             // biClrUsed of the BMP written
        std::vector<std::uint8_t> palette; // the first entries written, B G R 0
    };
    const std::vector<Row> rows = {
        {"24 bits to 8: 256 entries", 24, {}, kImageBmpPalette, 256, {}},
        {"1 bit to 8: its own two entries", 1, {.whiteFirst = true}, kImageBmpPalette, 2, {255, 255, 255, 0, 0, 0, 0, 0}},
        {"8 bits kept: its 16 entries", 8, {.colours = 16}, kImageBmpPalette, 16, {}},
        {"24 bits to 1: black then white", 24, {}, kImageBmpBw, 2, {0, 0, 0, 0, 255, 255, 255, 0}},
        {"8 bits to 1: black then white", 8, {.colours = 200}, kImageBmpBw, 2, {0, 0, 0, 0, 255, 255, 255, 0}},
        {"1 bit kept: white then black", 1, {.whiteFirst = true}, kImageBmpBw, 2, {255, 255, 255, 0, 0, 0, 0, 0}},
    };
    testutil::TempDir dir;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CISImageEx img;
        toImage(img, makePicture(10, 6, r.depth, r.look));
        ASSERT_EQ(img.Write(r.type, dir / "p.bmp"), 0u);
        const std::string file = testutil::readFile(dir / "p.bmp");
        EXPECT_EQ(le32(file, 46), r.clrUsed);
        EXPECT_EQ(file.substr(54, r.palette.size()), std::string(r.palette.begin(), r.palette.end()));
    }
}

TEST(Write, BlackAndWhiteForWbmp) {
    // A colour is white when its squared distance from white is at most 3 x threshold²: at 24
    // bits per pixel, at 8 per palette entry, the pixels naming the entries in reverse order.
    struct Group {
        int threshold;
        std::vector<std::pair<std::uint32_t, bool>> colours; // and whether each comes out white
    };
    const std::vector<Group> groups = {
        {128, {{0xFFFFFF, true}, {0x7F7F7F, true}, {0x7E7E7E, false}, {0xFFFF00, false}, {0xC8C864, true},
               {0x000000, false}, {0xFF8080, true}}},
        {0, {{0xFFFFFF, true}, {0xFEFFFF, false}}},
        {10, {{0xF5F5F5, true}, {0xF4F5F5, false}}},
    };
    testutil::TempDir dir;
    for (const Group& g : groups)
        for (std::uint32_t depth : {24u, 8u}) {
            SCOPED_TRACE("threshold " + std::to_string(g.threshold) + ", depth " + std::to_string(depth));
            const auto n = std::uint32_t(g.colours.size());
            CISImageEx img;
            ASSERT_EQ(img.Allocate(n, 1, depth), 0u);
            std::uint8_t* px = img.GetPixels();
            Bytes expected;
            for (std::uint32_t i = 0; i < n; ++i) {
                const auto [c, white] = g.colours[i];
                const Is5Rgbq rgb{std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), 0};
                if (depth == 24) px[3 * i] = rgb.r, px[3 * i + 1] = rgb.g, px[3 * i + 2] = rgb.b;
                else img.palette[n - 1 - i] = rgb, px[i] = std::uint8_t(n - 1 - i);
                expected.append(3, white ? '\xFF' : '\0');
            }
            img.paletteColours = depth == 8 ? n : 0;
            img.wbmpThreshold = g.threshold;
            ASSERT_EQ(img.Write(kImageWbmp, dir / "bw.wbmp"), 0u);
            CISImageEx back;
            ASSERT_EQ(back.Read(dir / "bw.wbmp", kImageDetect), 0u);
            EXPECT_EQ(firstDifference(coloursOf(back), expected, n), "");
        }
}

TEST(Write, JpegHoldsTheGreyLevelsOrThePaletteColours) {
    // Quality 100. Grey: the grey levels of each source depth (largest difference measured 1,
    // bound 2). Colour from 8 bits: smooth indexes into a smooth palette, expanded to its
    // colours (measured 3, bound 5).
    struct Row {
        const char* name;
        std::uint32_t depth;
        Look look;
        int type;
        std::uint32_t bits; // of the picture read back
        int bound;
    };
    testutil::TempDir dir;
    for (const Row& r : std::vector<Row>{{"grey from 24 bits", 24, {.smooth = true}, kImageJpegGrey, 8, 2},
                                         {"grey from 8 bits", 8, {}, kImageJpegGrey, 8, 2},
                                         {"grey from 1 bit", 1, {.whiteFirst = true}, kImageJpegGrey, 8, 2},
                                         {"colour from 8 bits", 8, {.smooth = true}, kImageJpeg, 24, 5}}) {
        SCOPED_TRACE(r.name);
        CISImageEx img;
        toImage(img, makePicture(64, 48, r.depth, r.look));
        if (r.type == kImageJpeg)
            for (int i = 0; i < 256; ++i)
                img.palette[i] = {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2), 0};
        img.jpegQuality = 100;
        ASSERT_EQ(img.Write(r.type, dir / "g.jpg"), 0u);
        CISImageEx back;
        ASSERT_EQ(back.Read(dir / "g.jpg", kImageDetect), 0u);
        ASSERT_EQ(back.bitsPerPixel, r.bits);
        ASSERT_EQ(back.imageType, r.type);
        const Bytes expected = r.type == kImageJpegGrey ? greyed(coloursOf(img)) : coloursOf(img);
        EXPECT_LE(maxDifference(coloursOf(back), expected), r.bound);
    }
}
