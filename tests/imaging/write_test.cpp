// SPDX-License-Identifier: MIT
// CISImageEx::Write: result codes, types without a writer, the type taken from the
// extension, failures that leave no file and keep an old one, the depth conversions seen
// in the files written, and a source object that never changes.
#include "testutil.h"
#include "writetest.h"

#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using writetest::Rgb;

namespace {

std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::uint32_t le32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | std::uint8_t(b[at + i]);
    return v;
}

/// Everything about an image object that Write must leave alone.
struct Snapshot {
    std::vector<std::uint8_t> pixels;
    std::vector<std::uint8_t> palette;
    std::uint32_t width, height, bitsPerPixel, paletteColours;
    double xResolution, yResolution, outputX, outputY;
    int unit, outputUnit, imageType, quality, wbmpThreshold;
    std::string fileName;

    explicit Snapshot(const CISImageEx& img)
        : pixels(img.GetPixels(), img.GetPixels() + std::size_t{img.GetRowBytes()} * img.height),
          palette(reinterpret_cast<const std::uint8_t*>(img.palette),
                  reinterpret_cast<const std::uint8_t*>(img.palette) + sizeof img.palette),
          width(img.width), height(img.height), bitsPerPixel(img.bitsPerPixel), paletteColours(img.paletteColours),
          xResolution(img.xResolution), yResolution(img.yResolution), outputX(img.outputXResolution),
          outputY(img.outputYResolution), unit(img.resolutionUnit), outputUnit(img.outputResolutionUnit),
          imageType(img.imageType), quality(img.jpegQuality), wbmpThreshold(img.wbmpThreshold), fileName(img.fileName) {}
    bool operator==(const Snapshot&) const = default;
};

} // namespace

TEST(Write, NoPictureIsFiveAndWritesNothing) {
    testutil::TempDir dir;
    CISImageEx empty;
    EXPECT_EQ(empty.Write(kImageBmp, dir / "a.bmp"), 5u);
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST(Write, TypesWithoutAWriterAreFiveAndKeepTheOldFile) {
    struct Row {
        int type;
        const char* name;
    };
    const std::vector<Row> rows = {
        {kImagePcd, "out.pcd"},  {kImageDetect, "out.xyz"}, {kImageDetect, "noextension"},
        {kImageDetect, "out.pcd"}, {kImageRaw, "out.bmp"},  {kImagePpm, "out.ppm"},
        {100, "out.bmp"},        {-1, "out.bmp"},
    };
    testutil::TempDir dir;
    CISImageEx img;
    writetest::makePicture(img, 24, 8, 8, 0);
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.type) + " " + r.name);
        testutil::writeFile(dir / r.name, "old");
        EXPECT_EQ(img.Write(r.type, dir / r.name), 5u);
        EXPECT_EQ(testutil::readFile(dir / r.name), "old");
        EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{r.name}) << "no temporary file left";
        fs::remove(dir / r.name);
    }
}

TEST(Write, TypeFromTheExtension) {
    struct Row {
        const char* name;
        std::string magic;
        int readType; // what detection makes of the file
    };
    const std::vector<Row> rows = {
        {"a.bmp", "BM", kImageBmp},
        {"b.BMP", "BM", kImageBmp},
        {"c.gif", "GIF89a", kImageGif},
        {"d.psd", "8BPS", kImagePsd},
    };
    testutil::TempDir dir;
    CISImageEx img;
    writetest::makePicture(img, 24, 20, 10, 40);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ASSERT_EQ(img.Write(kImageDetect, dir / r.name), 0u);
        EXPECT_EQ(testutil::readFile(dir / r.name).substr(0, r.magic.size()), r.magic);
        CISImageEx back;
        ASSERT_EQ(back.Read(dir / r.name, kImageDetect), 0u);
        EXPECT_EQ(back.imageType, r.readType);
        EXPECT_EQ(writetest::rgbOf(back), writetest::rgbOf(img));
    }
}

TEST(Write, DestinationsThatCannotBeMadeWriteNothing) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "plain", "x");
    struct Row {
        std::string path;
        std::uint32_t code;
    };
    CISImageEx img;
    writetest::makePicture(img, 8, 4, 4, 16);
    for (const Row& r : std::vector<Row>{{dir / "missing/out.bmp", IS5_ERR_OPEN},
                                         {dir / "plain/out.bmp", IS5_ERR_OPEN},
                                         {"", IS5_ERR_PARAM},
                                         {dir.str() + "/", IS5_ERR_PARAM}}) {
        SCOPED_TRACE(r.path);
        EXPECT_EQ(img.Write(kImageBmpPalette, r.path), r.code);
    }
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"plain"});
    EXPECT_EQ(testutil::readFile(dir / "plain"), "x");
}

TEST(Write, AWriterFailureKeepsTheOldFile) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "wide.psd", "old picture");
    CISImageEx img;
    writetest::makePicture(img, 24, 30001, 1, 3); // wider than a Photoshop file may be
    EXPECT_EQ(img.Write(kImagePsd, dir / "wide.psd"), IS5_ERR_PARAM);
    EXPECT_EQ(testutil::readFile(dir / "wide.psd"), "old picture");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"wide.psd"});
}

TEST(Write, APictureThatCannotTakeItsNameFails) {
    // The picture is complete, but its name is a folder: the rename that publishes it fails.
    testutil::TempDir dir;
    fs::create_directory(dir / "taken.bmp");
    CISImageEx img;
    writetest::makePicture(img, 24, 4, 4, 0);
    EXPECT_EQ(img.Write(kImageBmp, dir / "taken.bmp"), IS5_ERR_WRITE);
    EXPECT_TRUE(fs::is_directory(dir / "taken.bmp"));
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"taken.bmp"});
}

TEST(Write, FullDiskLeavesNoFileAndKeepsTheOldOne) {
    struct Row {
        int type;
        const char* name;
    };
    for (const Row& r : std::vector<Row>{{kImageBmp, "big.bmp"}, {kImageGif, "big.gif"}, {kImagePsd, "big.psd"}}) {
        SCOPED_TRACE(r.name);
        testutil::TempDir dir;
        const std::string target = dir / r.name;
        testutil::writeFile(target, "kept");
        // A child process with a file size limit plays a full disk (root ignores permissions).
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{16384, 16384};
            ::setrlimit(RLIMIT_FSIZE, &limit);
            CISImageEx img;
            img.Allocate(300, 300, 24);
            writetest::Lcg rng{1};
            for (std::size_t i = 0; i < 300 * 300 * 3; ++i) img.GetPixels()[i] = std::uint8_t(rng.next());
            ::_exit(img.Write(r.type, target) == IS5_ERR_WRITE ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(testutil::readFile(target), "kept");
        EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{r.name});
    }
}

TEST(Write, TheSourceNeverChanges) {
    testutil::TempDir dir;
    for (std::uint32_t depth : {24u, 8u, 1u}) {
        CISImageEx img;
        writetest::makePicture(img, depth, 33, 17, depth == 8 ? 40 : depth == 1 ? 3 : 0);
        img.xResolution = img.yResolution = 72;
        img.resolutionUnit = 2;
        img.outputResolutionUnit = 2;
        img.fileName = "source.name";
        img.imageType = depth == 24 ? kImageBmp : depth == 8 ? kImageGif : kImageBmpBw;
        const Snapshot before(img);
        for (int type = kImageJpeg; type <= kImageGif; ++type) {
            SCOPED_TRACE("depth " + std::to_string(depth) + " type " + std::to_string(type));
            img.Write(type, dir / ("out" + std::to_string(type)));
            EXPECT_TRUE(Snapshot(img) == before);
        }
    }
}

TEST(Write, ConvertedPalettesInTheFiles) {
    struct Row {
        const char* name;
        std::uint32_t depth, colours;
        int type;
        std::uint32_t clrUsed;             // biClrUsed of the BMP written
        std::vector<std::uint8_t> palette; // the first entries written, B G R 0
    };
    const std::vector<Row> rows = {
        {"24 bits to 8: 256 entries", 24, 0, kImageBmpPalette, 256, {}},
        {"1 bit to 8: its own two entries", 1, 3, kImageBmpPalette, 2, {255, 255, 255, 0, 0, 0, 0, 0}},
        {"8 bits kept: its 16 entries", 8, 16, kImageBmpPalette, 16, {}},
        {"24 bits to 1: black then white", 24, 0, kImageBmpBw, 2, {0, 0, 0, 0, 255, 255, 255, 0}},
        {"8 bits to 1: black then white", 8, 200, kImageBmpBw, 2, {0, 0, 0, 0, 255, 255, 255, 0}},
        {"1 bit kept: white then black", 1, 3, kImageBmpBw, 2, {255, 255, 255, 0, 0, 0, 0, 0}},
    };
    testutil::TempDir dir;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CISImageEx img;
        writetest::makePicture(img, r.depth, 10, 6, r.colours);
        ASSERT_EQ(img.Write(r.type, dir / "p.bmp"), 0u);
        const std::string file = testutil::readFile(dir / "p.bmp");
        EXPECT_EQ(le32(file, 46), r.clrUsed);
        EXPECT_EQ(file.substr(54, r.palette.size()), std::string(r.palette.begin(), r.palette.end()));
    }
}

TEST(Write, BlackAndWhiteForWbmp) {
    // A colour is white when its squared distance from white is at most 3 x threshold².
    struct Row {
        int threshold;
        std::uint32_t colour;
        bool white;
    };
    const std::vector<Row> rows = {
        {128, 0xFFFFFF, true},  {128, 0x7F7F7F, true},  {128, 0x7E7E7E, false}, {128, 0xFFFF00, false},
        {128, 0xC8C864, true},  {128, 0x000000, false}, {128, 0xFF8080, true},  {0, 0xFFFFFF, true},
        {0, 0xFEFFFF, false},   {10, 0xF5F5F5, true},   {10, 0xF4F5F5, false},
    };
    testutil::TempDir dir;
    for (int threshold : {128, 0, 10}) {
        std::vector<Row> group;
        for (const Row& r : rows)
            if (r.threshold == threshold) group.push_back(r);
        const auto n = std::uint32_t(group.size());
        // 24 bits: decided per pixel. 8 bits: per palette entry, the pixels naming the
        // entries in reverse order.
        for (std::uint32_t depth : {24u, 8u}) {
            SCOPED_TRACE("threshold " + std::to_string(threshold) + ", depth " + std::to_string(depth));
            CISImageEx img;
            ASSERT_EQ(img.Allocate(n, 1, depth), 0u);
            Rgb expected;
            for (std::uint32_t i = 0; i < n; ++i) {
                const std::uint32_t c = group[i].colour;
                if (depth == 24) {
                    img.GetPixels()[3 * i] = std::uint8_t(c >> 16);
                    img.GetPixels()[3 * i + 1] = std::uint8_t(c >> 8);
                    img.GetPixels()[3 * i + 2] = std::uint8_t(c);
                } else {
                    img.palette[n - 1 - i] = {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c), 0};
                    img.GetPixels()[i] = std::uint8_t(n - 1 - i);
                }
                expected.insert(expected.end(), 3, group[i].white ? 255 : 0);
            }
            img.paletteColours = depth == 8 ? n : 0;
            img.wbmpThreshold = threshold;
            ASSERT_EQ(img.Write(kImageWbmp, dir / "bw.wbmp"), 0u);
            CISImageEx back;
            ASSERT_EQ(back.Read(dir / "bw.wbmp", kImageDetect), 0u);
            EXPECT_EQ(writetest::firstDifference(writetest::rgbOf(back), expected, n), "");
        }
    }
    // A 1-bit picture keeps its black and white, whichever entry holds which.
    CISImageEx bits;
    writetest::makePicture(bits, 1, 21, 5, 3);
    ASSERT_EQ(bits.Write(kImageWbmp, dir / "bits.wbmp"), 0u);
    CISImageEx back;
    ASSERT_EQ(back.Read(dir / "bits.wbmp", kImageDetect), 0u);
    EXPECT_EQ(writetest::rgbOf(back), writetest::rgbOf(bits));
}

TEST(Write, GreyJpegHoldsTheGreyLevels) {
    // Quality 100: the largest difference from the exact grey levels measured 1 for each
    // source depth; the bound allows 2.
    struct Row {
        const char* name;
        std::uint32_t depth, colours;
    };
    testutil::TempDir dir;
    for (const Row& r : std::vector<Row>{{"24 bits", 24, 0}, {"8 bits", 8, 256}, {"1 bit", 1, 3}}) {
        SCOPED_TRACE(r.name);
        CISImageEx img;
        writetest::makePicture(img, r.depth, 64, 48, r.colours);
        img.jpegQuality = 100;
        ASSERT_EQ(img.Write(kImageJpegGrey, dir / "g.jpg"), 0u);
        CISImageEx back;
        ASSERT_EQ(back.Read(dir / "g.jpg", kImageDetect), 0u);
        ASSERT_EQ(back.bitsPerPixel, 8u);
        ASSERT_EQ(back.imageType, kImageJpegGrey);
        const std::vector<std::uint8_t> expected = writetest::greyLevels(writetest::rgbOf(img));
        int worst = 0;
        for (std::size_t i = 0; i < expected.size(); ++i) worst = std::max(worst, std::abs(back.GetPixels()[i] - expected[i]));
        EXPECT_LE(worst, 2) << "largest grey difference";
    }
}

TEST(Write, PalettePicturesAreExpandedForJpeg) {
    // An 8-bit picture of smooth indexes into a smooth palette comes back as a 24-bit JPEG
    // of its colours (quality 100: largest difference measured 3, bound 5).
    testutil::TempDir dir;
    CISImageEx img;
    ASSERT_EQ(img.Allocate(64, 32, 8), 0u);
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 64; ++x) img.GetPixels()[y * 64 + x] = std::uint8_t(x * 3 + y);
    for (int i = 0; i < 256; ++i) img.palette[i] = {std::uint8_t(i), std::uint8_t(255 - i), std::uint8_t(i / 2), 0};
    img.paletteColours = 256;
    img.jpegQuality = 100;
    ASSERT_EQ(img.Write(kImageJpeg, dir / "e.jpg"), 0u);
    CISImageEx back;
    ASSERT_EQ(back.Read(dir / "e.jpg", kImageDetect), 0u);
    ASSERT_EQ(back.bitsPerPixel, 24u);
    const Rgb expected = writetest::rgbOf(img), got = writetest::rgbOf(back);
    int worst = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) worst = std::max(worst, std::abs(got[i] - expected[i]));
    EXPECT_LE(worst, 5);
}

TEST(Write, OneBitTiffAndPng) {
    struct Row {
        const char* name;
        int type;
        std::uint32_t depth, colours;
        bool thresholded;
    };
    const std::vector<Row> rows = {
        {"TIFF from 1 bit, black first", kImageTiffBw, 1, 2, false},
        {"TIFF from 1 bit, white first", kImageTiffBw, 1, 3, false},
        {"TIFF from 24 bits", kImageTiffBw, 24, 0, true},
        {"TIFF from 8 bits", kImageTiffBw, 8, 256, true},
        {"PNG from 1 bit, white first", kImagePngBw, 1, 3, false},
        {"PNG from 24 bits", kImagePngBw, 24, 0, true},
    };
    testutil::TempDir dir;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        CISImageEx img;
        writetest::makePicture(img, r.depth, 45, 7, r.colours);
        const std::string path = dir / (r.type == kImageTiffBw ? "b.tif" : "b.png");
        ASSERT_EQ(img.Write(r.type, path), 0u);
        CISImageEx back;
        ASSERT_EQ(back.Read(path, kImageDetect), 0u);
        EXPECT_EQ(back.bitsPerPixel, 1u);
        const Rgb source = writetest::rgbOf(img);
        EXPECT_EQ(writetest::firstDifference(writetest::rgbOf(back), r.thresholded ? writetest::thresholded(source) : source,
                                             45),
                  "");
    }
}

TEST(Write, ResolutionByType) {
    testutil::TempDir dir;
    CISImageEx img;
    writetest::makePicture(img, 24, 16, 8, 0);
    auto be16 = [](const std::string& b, std::size_t at) { return std::uint32_t(std::uint8_t(b[at])) << 8 | std::uint8_t(b[at + 1]); };

    // JPEG: the JFIF unit is the output unit less one, the values as given.
    struct JpegRow {
        int unit;
        double x, y;
        std::uint32_t jfifUnit, jfifX, jfifY;
    };
    for (const JpegRow& r : std::vector<JpegRow>{{1, 2, 3, 0, 2, 3}, {2, 300, 150, 1, 300, 150}, {3, 118, 40, 2, 118, 40}}) {
        SCOPED_TRACE("JPEG unit " + std::to_string(r.unit));
        img.outputResolutionUnit = r.unit;
        img.outputXResolution = r.x;
        img.outputYResolution = r.y;
        ASSERT_EQ(img.Write(kImageJpeg, dir / "r.jpg"), 0u);
        const std::string file = testutil::readFile(dir / "r.jpg");
        ASSERT_EQ(file.substr(6, 5), std::string("JFIF\0", 5));
        EXPECT_EQ(std::uint8_t(file[13]), r.jfifUnit);
        EXPECT_EQ(be16(file, 14), r.jfifX);
        EXPECT_EQ(be16(file, 16), r.jfifY);
    }

    // BMP and PNG in pixels per metre (truncated), nothing without a unit; TIFF as given
    // with its own unit. The 1-bit BMP gets no resolution, as every type not named here.
    struct Row {
        int type;
        const char* name;
        int unit;
        double x, y;
        double storedX, storedY;
        int storedUnit; // as the header readers report it: a BMP without one as 300 x 300, unit 0
    };
    const std::vector<Row> rows = {
        {kImageBmp, "r.bmp", 2, 72, 96, 2834, 3779, 2},      {kImageBmpPalette, "r.bmp", 3, 40, 118.11, 4000, 11811, 2},
        {kImageBmp, "r.bmp", 1, 300, 300, 300, 300, 0},      {kImageBmp, "r.bmp", 0, 300, 300, 300, 300, 0},
        {kImageBmpBw, "r.bmp", 2, 300, 300, 300, 300, 0},    {kImagePng, "r.png", 3, 40, 40, 4000, 4000, 1},
        {kImagePngPalette, "r.png", 2, 96, 96, 3779, 3779, 1}, {kImageTiff, "r.tif", 3, 118, 59, 118, 59, 3},
        {kImageTiffPalette, "r.tif", 2, 72, 72, 72, 72, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.type) + " unit " + std::to_string(r.unit));
        img.outputResolutionUnit = r.unit;
        img.outputXResolution = r.x;
        img.outputYResolution = r.y;
        const std::string path = dir / r.name;
        ASSERT_EQ(img.Write(r.type, path), 0u);
        IS5_SOURCE src = is5_OpenFileSource(path.c_str());
        ResolutionInfo res;
        const char kind = r.name[2];
        const BOOL ok = kind == 'b'   ? is5_GetBMPDims(src, nullptr, nullptr, nullptr, &res)
                        : kind == 'p' ? is5_GetPNGDims(src, nullptr, nullptr, nullptr, nullptr, &res)
                                      : is5_GetTIFFDims(src, 0, nullptr, nullptr, nullptr, &res);
        is5_CloseSource(src);
        ASSERT_TRUE(ok);
        EXPECT_EQ(res.xResolution, r.storedX);
        EXPECT_EQ(res.yResolution, r.storedY);
        EXPECT_EQ(res.unit, r.storedUnit);
    }

    // Every other type gets none: a PCX stores 0 dots per inch.
    img.outputResolutionUnit = 2;
    img.outputXResolution = img.outputYResolution = 300;
    ASSERT_EQ(img.Write(kImagePcx, dir / "r.pcx"), 0u);
    EXPECT_EQ(testutil::readFile(dir / "r.pcx").substr(12, 4), std::string(4, '\0'));
}

TEST(Write, A300PpiJpegBecomes11811PixelsPerMetre) {
    testutil::TempDir dir;
    CISImageEx img;
    writetest::makePicture(img, 24, 16, 8, 0);
    img.outputResolutionUnit = 2;
    img.outputXResolution = img.outputYResolution = 300;
    ASSERT_EQ(img.Write(kImageJpeg, dir / "photo.jpg"), 0u);
    CISImageEx photo;
    ASSERT_EQ(photo.Read(dir / "photo.jpg", kImageDetect), 0u);
    ASSERT_EQ(photo.Write(kImageBmp, dir / "photo.bmp"), 0u);
    const std::string bmp = testutil::readFile(dir / "photo.bmp");
    EXPECT_EQ(le32(bmp, 38), 11811u);
    EXPECT_EQ(le32(bmp, 42), 11811u);
    ASSERT_EQ(photo.Write(kImagePng, dir / "photo.png"), 0u);
    IS5_SOURCE src = is5_OpenFileSource((dir / "photo.png").c_str());
    ResolutionInfo res;
    EXPECT_TRUE(is5_GetPNGDims(src, nullptr, nullptr, nullptr, nullptr, &res));
    is5_CloseSource(src);
    EXPECT_EQ(res.xResolution, 11811);
    EXPECT_EQ(res.yResolution, 11811);
}
