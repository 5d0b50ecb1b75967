// SPDX-License-Identifier: MIT
// JPEG decoding at a reduced DCT scale and the read for showing a picture: the scale rule,
// decoded sizes, orientation, the full size reported, and pixels that match the full
// decode averaged down.
#include "corpus.h"
#include "testutil.h"
#include "writertest.h"

#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

TEST(ReducedDecodeScale, LargestScaleWhoseRoundedUpSizeCoversTheDisplay) {
    const struct {
        std::uint32_t w, h, dw, dh, scale;
    } rows[] = {
        {6000, 4000, 700, 466, 8},   {6000, 4000, 751, 466, 4},   {6000, 4000, 700, 501, 4},
        {6000, 4000, 3000, 2000, 2}, {6000, 4000, 3001, 2000, 1},
        {227, 149, 29, 19, 8},       {227, 149, 30, 19, 4},  // 227 / 8 rounds up to 29
        {100, 100, 0, 0, 8},         {0, 100, 0, 0, 1},      {4294967295u, 1, 536870912u, 1, 8},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ReducedDecodeScale(r.w, r.h, r.dw, r.dh), r.scale) << r.w << "x" << r.h << " for " << r.dw << "x" << r.dh;
}

TEST(JpegReader, ScaleFlagTakesTheLowFourBits) {
    REQUIRE_CORPUS(corpus);
    IS5_SOURCE source = is5_OpenFileSource((corpus / "libjpeg-turbo/ok/testorig.jpg").string().c_str());
    std::uint32_t w = 0, h = 0;
    HGLOBAL block = is5_ReadJPG(source, &w, &h, 8, 0x104);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(w, 57u);
    EXPECT_EQ(h, 38u);
    GlobalFree(block);
    for (std::uint32_t flags : {3u, 5u, 7u, 9u, 15u}) {
        EXPECT_EQ(is5_ReadJPG(source, &w, &h, 24, flags), nullptr) << flags;
        EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM) << flags;
    }
    is5_CloseSource(source);
}

// The display size is asked with the full upright size; the decode is the smallest scale
// that covers it. Where the decoded size is an exact fraction of the picture, the reduced
// decode must be the full decode area-averaged down, the same way up. CMYK inks become RGB
// after the DCT has averaged them, and a product of averages departs further from the
// average of products, so those rows allow more.
TEST(ReadForDisplay, DecodesTheSmallestCoveringScaleOfTheSamePicture) {
    REQUIRE_CORPUS(corpus);
    const auto fixtures = std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "orientation";
    const struct {
        std::filesystem::path file;
        ImageSize display, decoded, full;
        double bound;  // mean difference per sample; 0 for a size check only
    } rows[] = {
        {corpus / "libjpeg-turbo/ok/testorig.jpg", {100, 60}, {114, 75}, {227, 149}, 0},
        {corpus / "libjpeg-turbo/ok/testorig.jpg", {25, 18}, {29, 19}, {227, 149}, 0},
        {corpus / "libjpeg-turbo/ok/testorig.jpg", {200, 100}, {227, 149}, {227, 149}, 0},
        {corpus / "pillow/ok/jpeg/hopper_gray.jpg", {20, 40}, {64, 64}, {128, 128}, 0},  // the taller need decides
        {corpus / "pillow/ok/jpeg/hopper_orientation_6.jpg", {60, 40}, {64, 64}, {128, 128}, 2},
        {corpus / "pillow/ok/jpeg/hopper_orientation_6.jpg", {16, 16}, {16, 16}, {128, 128}, 2},
        {corpus / "pillow/ok/jpeg/pil_sample_rgb.jpg", {25, 25}, {25, 25}, {100, 100}, 2},
        {fixtures / "colour-o6.jpg", {3, 5}, {4, 6}, {16, 24}, 2},  // stored 24 x 16, turned a quarter
        {fixtures / "colour-o6.jpg", {2, 3}, {2, 3}, {16, 24}, 2},
        {corpus / "pillow/nocrash/jpeg/pil_sample_cmyk.jpg", {50, 50}, {50, 50}, {100, 100}, 4},
        {corpus / "pillow/nocrash/jpeg/pil_sample_cmyk.jpg", {25, 25}, {25, 25}, {100, 100}, 4},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.file << " shown at " << r.display.cx << "x" << r.display.cy);
        ImageSize asked, full;
        CISImageEx reduced, whole;
        const auto answer = [&](ImageSize size) {
            asked = size;
            return r.display;
        };
        ASSERT_EQ(reduced.ReadForDisplay(r.file.string(), kImageDetect, answer, &full), kImageOk);
        EXPECT_EQ(std::tie(asked.cx, asked.cy, full.cx, full.cy), std::tie(r.full.cx, r.full.cy, r.full.cx, r.full.cy));
        ASSERT_EQ(std::tie(reduced.width, reduced.height), std::tie(r.decoded.cx, r.decoded.cy));
        if (r.bound == 0) continue;
        ASSERT_EQ(whole.Read(r.file.string(), kImageDetect), kImageOk);
        ASSERT_EQ(whole.ResizeInPlace(r.decoded, IS5_RESIZE_AREA), kImageOk);
        ASSERT_EQ(reduced.bitsPerPixel, 24u);
        const std::size_t n = std::size_t{reduced.width} * reduced.height * 3;
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += std::abs(int(reduced.GetPixels()[i]) - int(whole.GetPixels()[i]));
        EXPECT_LE(sum / n, r.bound);
    }
}

// Other types are read whole, with the display size still asked once; a JPEG cut off in
// its coded data fails at a reduced scale as it does at full size, and reports no size.
TEST(ReadForDisplay, OtherTypesAreReadWholeAndFailuresReportNoSize) {
    REQUIRE_CORPUS(corpus);
    int calls = 0;
    ImageSize asked, full;
    const auto small = [&](ImageSize size) {
        ++calls;
        asked = size;
        return ImageSize{4, 4};
    };
    CISImageEx img;
    ASSERT_EQ(img.ReadForDisplay((corpus / "pngsuite/primary/basn2c08.png").string(), kImageDetect, small, &full), kImageOk);
    EXPECT_EQ(std::tie(img.width, full.cx, full.cy, asked.cx, calls), std::tuple(32u, 32u, 32u, 32u, 1));

    testutil::TempDir dir;
    const std::string bytes = testutil::readFile(corpus / "libjpeg-turbo/ok/testorig.jpg");
    std::ofstream(dir / "cut.jpg", std::ios::binary) << bytes.substr(0, bytes.size() / 2);
    EXPECT_EQ(img.ReadForDisplay(dir / "cut.jpg", kImageDetect, small, &full), IS5_ERR_READ);
    EXPECT_EQ(full.cx, 0u);
    EXPECT_FALSE(img.HasPicture());
}

// What the preview shows: a photograph-sized picture read whole and box-filtered to the pane
// looks the same as one decoded at the reduced scale and box-filtered from there.
TEST(ReadForDisplay, PreviewRouteKeepsTheLookOfTheFullRoute) {
    testutil::TempDir dir;
    const struct {
        std::uint32_t w, h;
        ImageSize shown; // the size the pane shows it at
    } rows[] = {{3000, 2000, {606, 404}}, {2000, 3000, {269, 404}}};
    for (const auto& r : rows) {
        SCOPED_TRACE(testing::Message() << r.w << "x" << r.h);
        CISImageEx photo;
        writertest::toImage(photo, writertest::makePicture(r.w, r.h, 24, {.smooth = true}));
        const std::string path = dir / "photo.jpg";
        ASSERT_EQ(photo.Write(kImageJpeg, path), kImageOk);
        CISImageEx full, reduced;
        ImageSize size;
        ASSERT_EQ(full.Read(path, kImageDetect), kImageOk);
        ASSERT_EQ(reduced.ReadForDisplay(path, kImageDetect, [&](ImageSize) { return r.shown; }, &size), kImageOk);
        EXPECT_LT(reduced.width, r.w / 2) << "decoded at a reduced scale";
        ASSERT_EQ(full.ResizeInPlace(r.shown, IS5_RESIZE_BOX), kImageOk);
        ASSERT_EQ(reduced.ResizeInPlace(r.shown, IS5_RESIZE_BOX), kImageOk);
        const std::size_t n = std::size_t{r.shown.cx} * r.shown.cy * 3;
        double sum = 0;
        for (std::size_t i = 0; i < n; ++i) sum += std::abs(int(reduced.GetPixels()[i]) - int(full.GetPixels()[i]));
        EXPECT_LE(sum / n, 2.0);
    }
}
