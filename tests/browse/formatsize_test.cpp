// SPDX-License-Identifier: MIT
// The size text of byte counts and the extension table of the file list.
#include "browse/classify.h"
#include "browse/formatsize.h"

#include <gtest/gtest.h>

TEST(FormatSize, KilobytesMegabytesGigabytes) {
    const std::pair<std::uint64_t, const char*> rows[] = {
        {0, "0 KB"},
        {900, "0 KB"},
        {1023, "0 KB"},
        {1024, "1 KB"},
        {126'000, "123 KB"},
        {1'048'575, "1023 KB"},
        {1'048'576, "1.0 MB"},
        // The digits after the point are the kilobytes left over, not a decimal fraction.
        {1'053'696, "1.5 MB"},
        {1'572'864, "1.512 MB"},
        {1'073'741'823, "1023.1023 MB"},
        {1'073'741'824, "1.0 GB"},
        {2'684'354'560, "2.512 GB"},
        {(std::uint64_t{1} << 40) - 1, "1023.1023 GB"},
    };
    for (auto [bytes, text] : rows) EXPECT_EQ(FormatSize(bytes), text) << bytes;
}

TEST(ClassifyExtension, ByTheLastDotOfTheWholeName) {
    const std::pair<const char*, std::int32_t> rows[] = {
        {"Photo.JPG", 3},     {"photo.jpeg", 3},   {"a.bmp", 1},        {"a.png", 4},        {"a.gif", 2},
        {"a.tif", 6},         {"a.TIFF", 6},       {"a.wmf", 7},        {"a.emf", 8},        {"a.psd", 10},
        {"X.Wbmp", 13},       {"a.tga", 14},       {"a.pcd", 16},       {"a.jpf", 17},       {"a.jp2", 17},
        {"a.fpx", 19},        {"a.pbm", 20},       {"a.pgm", 21},       {"a.ppm", 22},       {"raw.dng", 23},
        {"raw.CR2", 24},      {"raw.crw", 24},     {"a.raf", 25},       {"a.dcr", 26},       {"a.mrw", 27},
        {"a.nef", 28},        {"a.orf", 29},       {"a.pef", 30},       {"a.srf", 31},       {"A.WebP", 32},
        {"notes.txt", 0},
        {"archive", 0},       {"x.jpg.bak", 0},    {"x.", 0},           {"x.jpe", 0},        {"/p/.png", 4},
        {"/my.jpg/file", 0},  {"/photos/IMG.0001.jpg", 3},              {"", 0},
    };
    for (auto [name, code] : rows) EXPECT_EQ(ClassifyExtension(name), code) << name;
    EXPECT_TRUE(IsCameraRaw("shot.DNG"));
    EXPECT_TRUE(IsCameraRaw("shot.srf"));
    EXPECT_FALSE(IsCameraRaw("shot.ppm"));
    EXPECT_FALSE(IsCameraRaw("shot.webp"));
    EXPECT_FALSE(IsCameraRaw("shot"));
}
