// SPDX-License-Identifier: MIT
// Pictures carrying each EXIF/TIFF Orientation value come out upright, at every depth,
// compared with ImageMagick's -auto-orient renderings; and the EXIF directory reader
// keeps to its bounds on damaged data.
#include "codectest.h"
#include "refimage.h"
#include "testutil.h"

#include "imaging/codecs/exif.h"
#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The fixtures sit beside the tests in the source tree.
const fs::path kData = fs::path(__FILE__).parent_path().parent_path() / "data" / "orientation";

// A decoded block in RGB, through its palette for 8- and 1-bit output.
testutil::RgbImage blockToRgb(HGLOBAL block, std::uint32_t w, std::uint32_t h, std::uint32_t depth,
                              const Is5Rgbq* palette) {
    return {w, h, codectest::colours(static_cast<const std::uint8_t*>(GlobalLock(block)), w, h, depth, palette)};
}

struct Kind {
    const char* name;  // file stem: <name>-oN.<ext>
    const char* ext;
    std::vector<std::uint32_t> depths;
};

class Orientation : public ::testing::TestWithParam<std::tuple<Kind, int>> {};

} // namespace

TEST_P(Orientation, EveryDepthComesOutUprightAsImageMagickShowsIt) {
    const auto& [kind, orientation] = GetParam();
    const std::string stem = std::string(kind.name) + "-o" + std::to_string(orientation);
    const fs::path file = kData / (stem + "." + kind.ext);
    auto expected = testutil::decodeReferencePng((kData / ("upright-" + stem + ".png")).string());
    ASSERT_TRUE(expected.has_value());
    const bool jpeg = std::string(kind.ext) == "jpg";
    const bool quarter = orientation >= 5;
    EXPECT_EQ(expected->width, quarter ? 16u : 24u);

    for (std::uint32_t depth : kind.depths) {
        SCOPED_TRACE(stem + " at depth " + std::to_string(depth));
        IS5_SOURCE source = is5_OpenFileSource(file.string().c_str());
        ASSERT_NE(source, nullptr);
        std::uint32_t w = 0, h = 0, hw = 0, hh = 0, bits = 0;
        Is5Rgbq palette[256] = {};
        ResolutionInfo res;
        HGLOBAL block = jpeg ? is5_ReadJPG(source, &w, &h, depth, 0) : is5_ReadTIFF(source, &w, &h, depth, palette, 0, 0);
        ASSERT_NE(block, nullptr) << is5_GetLastError();
        BOOL dims = jpeg ? is5_GetJPGDims(source, &hw, &hh, &bits, &res) : is5_GetTIFFDims(source, 0, &hw, &hh, &bits, &res);
        is5_CloseSource(source);
        EXPECT_TRUE(dims);
        EXPECT_EQ(std::tie(hw, hh), std::tie(w, h));
        if (jpeg && depth == 8)
            for (int i = 0; i < 256; ++i) palette[i] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0};
        EXPECT_EQ(testutil::maxDifference(blockToRgb(block, w, h, depth, palette), *expected), 0);
        GlobalFree(block);
    }

    // The whole read path picks the depth from the header and gives the same picture.
    CISImageEx img;
    ASSERT_EQ(img.Read(file.string(), kImageDetect), 0u);
    EXPECT_EQ(testutil::maxDifference(blockToRgb(img.globalPixels, img.width, img.height, img.bitsPerPixel, img.palette), *expected), 0);
}

INSTANTIATE_TEST_SUITE_P(AllValues, Orientation,
                         ::testing::Combine(::testing::Values(Kind{"colour", "jpg", {24}}, Kind{"grey", "jpg", {24, 8}},
                                                              Kind{"rgb", "tif", {24}}, Kind{"grey8", "tif", {24, 8}},
                                                              Kind{"bw", "tif", {24, 8, 1}}),
                                            ::testing::Range(1, 9)),
                         [](const auto& info) {
                             const Kind& k = std::get<0>(info.param);
                             return std::string(k.name) + "_" + k.ext + "_" + std::to_string(std::get<1>(info.param));
                         });

// ---- the EXIF directory reader on hand-made structures ------------------------------------

namespace {

// A little-endian TIFF header followed by IFD0 at offset 8 with the given 12-byte entries.
std::vector<std::uint8_t> tiffWith(const std::vector<std::vector<std::uint8_t>>& entries, std::uint16_t claimed = 0) {
    std::vector<std::uint8_t> t = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const std::uint16_t count = claimed ? claimed : static_cast<std::uint16_t>(entries.size());
    t.insert(t.end(), {std::uint8_t(count), std::uint8_t(count >> 8)});
    for (const auto& e : entries) t.insert(t.end(), e.begin(), e.end());
    return t;
}
// An entry of one value: a SHORT (type 3) in place, or a RATIONAL's (type 5) offset.
std::vector<std::uint8_t> entry(std::uint16_t tag, std::uint8_t type, std::uint16_t value) {
    return {std::uint8_t(tag), std::uint8_t(tag >> 8), type, 0, 1, 0, 0, 0, std::uint8_t(value), std::uint8_t(value >> 8),
            0, 0};
}
// Rationals' numerators and denominators appended.
void append32(std::vector<std::uint8_t>& t, std::initializer_list<std::uint32_t> values) {
    for (std::uint32_t v : values)
        t.insert(t.end(), {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)});
}

} // namespace

// A damaged directory gives the defaults again, even where an earlier read set other values.
TEST(ExifDirectory, OrientationInBothByteOrdersAndDefaultsOnDamage) {
    imaging::detail::ExifFacts facts;
    auto little = tiffWith({entry(0x0112, 3, 6)});
    ASSERT_TRUE(imaging::detail::readTiffIfd0(little.data(), little.size(), facts));
    EXPECT_EQ(facts.orientation, 6);
    // The same in big-endian order, behind the APP1 name.
    std::vector<std::uint8_t> big = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1,
                                     0x01, 0x12, 0, 3, 0, 0, 0, 1, 0, 8, 0, 0};
    ASSERT_TRUE(imaging::detail::readExifSegment(big.data(), big.size(), facts));
    EXPECT_EQ(facts.orientation, 8);
    big[0] = 'X';
    EXPECT_FALSE(imaging::detail::readExifSegment(big.data(), big.size(), facts));
    // Out-of-range value.
    auto bad = tiffWith({entry(0x0112, 3, 9)});
    ASSERT_TRUE(imaging::detail::readTiffIfd0(bad.data(), bad.size(), facts));
    EXPECT_EQ(facts.orientation, 1);
    // The directory claims 500 entries; only the first is there. The copy is exactly as
    // long as the data, so ASan catches any read past it.
    auto cut = tiffWith({entry(0x0112, 3, 3)}, 500);
    std::vector<std::uint8_t> exact(cut.begin(), cut.end());
    ASSERT_TRUE(imaging::detail::readTiffIfd0(exact.data(), exact.size(), facts));
    EXPECT_EQ(facts.orientation, 3);
    // IFD offset past the end.
    std::vector<std::uint8_t> far = {'I', 'I', 42, 0, 0xF0, 0xFF, 0, 0};
    ASSERT_TRUE(imaging::detail::readTiffIfd0(far.data(), far.size(), facts));
    EXPECT_EQ(facts.orientation, 1);
    // Not a TIFF header, or too short for one.
    std::vector<std::uint8_t> junk = {'I', 'M', 42, 0, 8, 0, 0, 0};
    EXPECT_FALSE(imaging::detail::readTiffIfd0(junk.data(), junk.size(), facts));
    EXPECT_FALSE(imaging::detail::readTiffIfd0(junk.data(), 4, facts));
}

TEST(ExifDirectory, ResolutionNeedsBothValuesWithNonZeroDenominators) {
    imaging::detail::ExifFacts facts;
    // Entries at 10..45, rationals from 46.
    auto t = tiffWith({entry(0x011A, 5, 46), entry(0x011B, 5, 54), entry(0x0128, 3, 3)});
    append32(t, {200, 1, 300, 2});
    ASSERT_TRUE(imaging::detail::readTiffIfd0(t.data(), t.size(), facts));
    EXPECT_TRUE(facts.hasResolution);
    EXPECT_DOUBLE_EQ(facts.xResolution, 200.0);
    EXPECT_DOUBLE_EQ(facts.yResolution, 150.0);
    EXPECT_EQ(facts.resolutionUnit, 3);
    // A zero denominator (entries end at 34), and a rational whose offset lies past the end.
    auto z = tiffWith({entry(0x011A, 5, 34), entry(0x011B, 5, 200)});
    append32(z, {72, 0});
    ASSERT_TRUE(imaging::detail::readTiffIfd0(z.data(), z.size(), facts));
    EXPECT_FALSE(facts.hasResolution);
    EXPECT_EQ(facts.resolutionUnit, 2);
}
