// SPDX-License-Identifier: MIT
// TIFF pictures with pixels that are far from square are stretched to their true shape.
#include "imaging/isimageex.h"
#include "testutil.h"

#include <gtest/gtest.h>

TEST(TiffAspect, StretchedOnlyWhenTheResolutionsDifferByMoreThanAQuarter) {
    testutil::TempDir dir;
    struct Row {
        double xres, yres;
        std::uint32_t depth, expectedHeight;
    };
    const std::vector<Row> rows = {
        {204, 98, 24, 41 * 204 / 98}, // fax resolution: 85 rows
        {204, 98, 8, 41 * 204 / 98},
        {98, 204, 24, 19},            // 41 / (204 / 98) = 19.69, truncated
        {300, 250, 24, 41},           // ratio 0.833: left alone
        {300, 300, 24, 41},
        {1, 1000, 24, 41},            // a ratio no real picture has: kept as read
        {3000, 1, 24, 41},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << r.xres << " x " << r.yres << " at " << r.depth);
        CISImageEx img;
        ASSERT_EQ(img.Allocate(30, 41, r.depth), 0u);
        for (std::uint32_t i = 0; i < img.GetRowBytes() * img.height; ++i) img.GetPixels()[i] = std::uint8_t(i % 7);
        for (int i = 0; i < 256; ++i) img.palette[i] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0};
        img.paletteColours = 256;
        img.outputXResolution = r.xres;
        img.outputYResolution = r.yres;
        img.outputResolutionUnit = 2;
        const std::string path = dir / "fax.tif";
        ASSERT_EQ(img.Write(r.depth == 24 ? kImageTiff : kImageTiffPalette, path), 0u);

        CISImageEx back;
        ASSERT_EQ(back.Read(path, kImageDetect), 0u);
        EXPECT_EQ(back.imageType, r.depth == 24 ? kImageTiff : kImageTiffPalette);
        EXPECT_EQ(back.width, 30u);
        EXPECT_EQ(back.height, r.expectedHeight);
        EXPECT_EQ(back.bitsPerPixel, r.depth);
    }
}

// A stored 4294967295/1 reads as the float 2^32, which no 32-bit field holds: the writers
// get the largest that does. libtiff writes no such value from a float, so 1234/1 is
// patched into it.
TEST(TiffResolution, BeyondThirtyTwoBitsIsClamped) {
    testutil::TempDir dir;
    CISImageEx img;
    ASSERT_EQ(img.Allocate(3, 2, 24), 0u);
    img.outputXResolution = img.outputYResolution = 1234;
    img.outputResolutionUnit = 2;
    ASSERT_EQ(img.Write(kImageTiff, dir / "r.tif"), 0u);
    std::string bytes = testutil::readFile(dir / "r.tif");
    const std::string stored("\xD2\x04\0\0\x01\0\0\0", 8), huge("\xFF\xFF\xFF\xFF\x01\0\0\0", 8);
    for (auto at = bytes.find(stored); at != std::string::npos; at = bytes.find(stored)) bytes.replace(at, 8, huge);
    testutil::writeFile(dir / "r.tif", bytes);
    CISImageEx back;
    ASSERT_EQ(back.Read(dir / "r.tif", kImageDetect), 0u);
    EXPECT_EQ(back.xResolution, 4294967296.0);
    EXPECT_EQ(back.outputXResolution, 4294967295.0);
}
