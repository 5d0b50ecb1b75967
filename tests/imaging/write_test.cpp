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
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

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
