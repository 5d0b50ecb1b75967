// SPDX-License-Identifier: MIT
// The output size rule, the quality rule, the output type table and the summary line.
#include "app/sizerule.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <utility>

namespace {

// One request and the size it gives: a choice, the picture, then the inputs that choice reads.
struct SizeRow {
    const char* what;
    std::int32_t choice;
    std::uint32_t w, h;
    std::uint32_t expectW, expectH;
    double scale = 0;                          // custom percent
    const char* widthText = "";                // dimensions
    const char* heightText = "";
    std::uint32_t edge = 0, boxW = 0, boxH = 0; // edges and fit; the screen for the screen choice
};

} // namespace

TEST(ComputeTargetSize, EveryChoiceGivesItsSize) {
    constexpr std::int32_t kPercent = kSizeChoiceCustomPercent, kDims = kSizeChoiceDimensions,
                           kLong = kSizeChoiceLongEdge, kShort = kSizeChoiceShortEdge, kFit = kSizeChoiceFit;
    const SizeRow rows[] = {
        {"landscape 1024 box", 0, 3000, 2000, 1024, 682},
        {"landscape 800 box", 1, 3000, 2000, 800, 533},
        {"landscape 640 box", 2, 3000, 2000, 640, 426},
        {"landscape 320 box", 3, 3000, 2000, 320, 213},
        {"portrait keeps the box's height", 0, 2000, 3000, 512, 768},
        {"portrait 800 box", 1, 2000, 3000, 400, 600},
        {"square takes the long side both ways", 0, 1000, 1000, 1024, 1024},
        {"square 320", 3, 1000, 1000, 320, 320},
        {"nearly square wide picture overshoots the short side", 0, 1000, 900, 1024, 921},
        {"enlarges small pictures", 1, 40, 30, 800, 600},
        // The width comes from S / (H / W) in doubles, which lands just below the exact
        // quotient here: 600 * 17 / 25 is 408, the rule gives 407.
        {"portrait through the double ratio", 1, 17, 25, 407, 600},
        {"portrait through the double ratio, 1024 box", 0, 59, 96, 471, 768},
        {"50%", 4, 3001, 2001, 1500, 1000},
        {"25%", 5, 3003, 2002, 750, 500},
        {"75%", 8, 3000, 2000, 2250, 1500},
        {"75% rounds down", 8, 3001, 7, 2250, 5},
        {"75% of a side whose triple passes 32 bits", 8, 2147483648u, 4, 1610612736, 3},
        {"33%", kPercent, 3000, 2000, 990, 660, 33 / 100.0},
        {"150%", kPercent, 3000, 2000, 4500, 3000, 150 / 100.0},
        // 100 x 0.29 is 28.999999999999996 in doubles.
        {"29% truncates the double product", kPercent, 100, 100, 28, 28, 29 / 100.0},
        {"57%", kPercent, 100, 300, 56, 170, 57 / 100.0},
        {"100%", kPercent, 123, 45, 123, 45, 1.0},
        {"0.1%", kPercent, 999, 999, 0, 0, 0.001},
        {"dimensions", kDims, 3000, 2000, 1200, 900, 0, "1200", "900"},
        {"dimensions after blanks", kDims, 3000, 2000, 640, 480, 0, "  640", "\t480"},
        {"dimensions before letters", kDims, 3000, 2000, 12, 7, 0, "12abc", "7 px"},
        {"no dimensions", kDims, 3000, 2000, 0, 0, 0, "", "abc"},
        {"letters first", kDims, 3000, 2000, 0, 0, 0, "x100", "-"},
        {"signs, read as unsigned", kDims, 3000, 2000, 4294967295u, 5, 0, "-1", "+5"},
        {"screen, landscape", kSizeChoiceScreen, 3000, 2000, 1920, 1080, 0, "", "", 0, 1920, 1080},
        {"screen, portrait", kSizeChoiceScreen, 2000, 3000, 1920, 1080, 0, "", "", 0, 1920, 1080},
        {"screen, 1 pixel", kSizeChoiceScreen, 1, 1, 1920, 1080, 0, "", "", 0, 1920, 1080},
        {"no choice", kSizeChoiceNone, 3000, 2000, 0, 0},
        {"long edge, landscape", kLong, 3000, 2000, 1600, 1067, 0, "", "", 1600},
        {"long edge, portrait", kLong, 2000, 3000, 1067, 1600, 0, "", "", 1600},
        {"long edge, square", kLong, 500, 500, 64, 64, 0, "", "", 64},
        {"long edge, 1 pixel enlarged", kLong, 1, 1, 7, 7, 0, "", "", 7},
        {"long edge, a 1-pixel line keeps a side of 1", kLong, 3000, 1, 100, 1, 0, "", "", 100},
        {"short edge, landscape", kShort, 3000, 2000, 1620, 1080, 0, "", "", 1080},
        {"short edge, portrait", kShort, 2000, 3001, 1080, 1621, 0, "", "", 1080},
        {"short edge, square", kShort, 9, 9, 3, 3, 0, "", "", 3},
        {"short edge of a line passes 32 bits and is held", kShort, 4294967295u, 1, 4294967295u, 2, 0, "", "", 2},
        {"fit, landscape into a landscape box", kFit, 3000, 2000, 800, 533, 0, "", "", 0, 800, 600},
        {"fit, portrait into a landscape box", kFit, 2000, 3000, 400, 600, 0, "", "", 0, 800, 600},
        {"fit, landscape into a portrait box", kFit, 3000, 2000, 600, 400, 0, "", "", 0, 600, 800},
        {"fit, square into a wide box", kFit, 100, 100, 200, 200, 0, "", "", 0, 300, 200},
        {"fit, same proportions fill the box", kFit, 1500, 1000, 300, 200, 0, "", "", 0, 300, 200},
        {"fit, 1 pixel", kFit, 1, 1, 1080, 1080, 0, "", "", 0, 1920, 1080},
        {"fit, limit-sized picture", kFit, 4294967295u, 4294967295u, 1, 1, 0, "", "", 0, 2, 1},
        {"empty picture", kLong, 0, 10, 0, 0, 0, "", "", 100},
    };
    for (const SizeRow& row : rows) {
        SCOPED_TRACE(row.what);
        SizeRequest r;
        r.choice = row.choice;
        r.pictureWidth = row.w;
        r.pictureHeight = row.h;
        r.customScale = row.scale;
        r.widthText = row.widthText;
        r.heightText = row.heightText;
        r.edge = row.edge;
        r.boxWidth = r.screenWidth = row.boxW;
        r.boxHeight = r.screenHeight = row.boxH;
        const TargetSize t = ComputeTargetSize(r);
        EXPECT_EQ(t.width, row.expectW);
        EXPECT_EQ(t.height, row.expectH);
        EXPECT_EQ(t.choice, row.choice == kSizeChoiceNone ? 0 : row.choice);
    }
}

TEST(QualityRule, OutsideOneToHundredBecomes75) {
    const std::pair<std::int32_t, std::int32_t> rows[] = {{0, 75},   {1, 1},    {50, 50},  {100, 100},
                                                          {101, 75}, {-5, 75},  {90, 90},  {1000, 75}};
    for (auto [given, used] : rows) EXPECT_EQ(EffectiveQuality(given), used) << given;
}

TEST(OutputTypeTable, ExtensionsAndWriterCodes) {
    const std::tuple<std::int32_t, const char*, int> rows[] = {
        {0, "jpg", 0}, {1, "png", 6}, {2, "bmp", 2}, {3, "gif", 21}, {4, "psd", 14}};
    for (auto [saveType, extension, writer] : rows) {
        const auto type = OutputTypeFor(saveType);
        ASSERT_TRUE(type) << saveType;
        EXPECT_STREQ(type->extension, extension);
        EXPECT_EQ(type->writerType, writer);
    }
    EXPECT_FALSE(OutputTypeFor(5));
    EXPECT_FALSE(OutputTypeFor(-1));
}

TEST(StatusSummary, SizeTexts) {
    struct Row {
        std::int32_t choice;
        std::uint32_t w, h;
        const char* percent;
        const char* width;
        const char* height;
        const char* expect;
    } const rows[] = {
        {0, 3000, 2000, "", "", "", "1024 x 768"},
        {3, 0, 0, "", "", "", "320 x 240"},
        {4, 3000, 2000, "", "", "", "50% (1500 x 1000)"},
        {4, 3000, 0, "", "", "", "50%"},
        {5, 3001, 2003, "", "", "", "25% (750 x 500)"},
        {5, 0, 0, "", "", "", "25%"},
        {8, 2000, 1000, "", "", "", "75% (1500 x 750)"},
        {8, 0, 1000, "", "", "", "75%"},
        {6, 3000, 2000, "33", "", "", "33% (990 x 660)"},
        {6, 0, 0, "33", "", "", "33%"},
        {6, 3000, 2000, "abc", "", "", "0% (0 x 0)"},
        {6, 50000000, 10, "100", "", "", "100% (50000000 x 10)"},
        {8, 2147483648u, 4, "", "", "", "75% (1610612736 x 3)"},
        {7, 3000, 2000, "", "1200", "900", "1200 x 900"},
        {7, 3000, 2000, "", "x", "", "0 x 0"},
        {9, 3000, 2000, "", "", "", "Screen size (1920 x 1080)"},
        {kSizeChoiceNone, 3000, 2000, "", "", "", ""},
    };
    for (const Row& row : rows) {
        SummaryRequest r;
        r.sizeChoice = row.choice;
        r.pictureWidth = row.w;
        r.pictureHeight = row.h;
        r.percentText = row.percent;
        r.widthText = row.width;
        r.heightText = row.height;
        r.screenWidth = 1920;
        r.screenHeight = 1080;
        EXPECT_EQ(SizeSummaryText(r), row.expect) << row.choice;
    }
}

TEST(StatusSummary, QualityAndTypeTexts) {
    const std::pair<std::int32_t, const char*> quality[] = {
        {0, "Quality: 25"}, {1, "Quality: 50"}, {2, "Quality: 75"}, {3, "Quality: 90"},
        {4, "Quality: 100 - no compression"}, {kQualityRadioSet, "Quality: 83"}, {kQualityRadioNone, ""}};
    for (auto [radio, expect] : quality) {
        SummaryRequest r;
        r.qualityRadio = radio;
        r.qualityText = "83";
        EXPECT_EQ(QualitySummaryText(r), expect) << radio;
    }
    const std::tuple<std::int32_t, std::int32_t, const char*> types[] = {
        {0, 0, "a JPG image (extension .jpg)"},
        {1, 1, "a PNG image (extension .png)"},
        {2, 2, "BMP images (extension .bmp)"},
        {3, 5, "GIF images (extension .gif)"},
        {4, 1, "a Photoshop image (extension .psd)"},
        {5, 1, ""},
    };
    for (auto [saveType, n, expect] : types) EXPECT_EQ(TypeSummaryText(saveType, n), expect) << saveType << " " << n;
}

TEST(StatusSummary, WholeLines) {
    SummaryRequest one;
    one.sizeChoice = kSizeChoiceHalf;
    one.pictureWidth = 3000;
    one.pictureHeight = 2000;
    one.qualityRadio = 2;
    one.saveType = 0;
    one.selectedCount = 1;
    const SummaryLine a = BuildStatusSummary(one);
    EXPECT_EQ(a.text, "1 image selected. It will be saved as a JPG image (extension .jpg), size: 50% (1500 x 1000), "
                      "Quality: 75.");
    EXPECT_EQ((std::array<int, 3>{a.red, a.green, a.blue}), (std::array<int, 3>{0, 106, 140}));
    EXPECT_FALSE(a.bold);

    SummaryRequest three = one;
    three.selectedCount = 3;
    three.sizeChoice = kSizeChoiceScreen;
    three.screenWidth = 1920;
    three.screenHeight = 1080;
    three.saveType = 4;
    three.qualityRadio = 4;
    EXPECT_EQ(BuildStatusSummary(three).text,
              "3 images selected. They will be saved as Photoshop images (extension .psd), size: Screen size (1920 x "
              "1080), Quality: 100 - no compression.");

    SummaryRequest none = one;
    none.selectedCount = 0;
    none.sizeChoice = kSizeChoiceBox1024;
    none.saveType = 1;
    none.qualityRadio = 3;
    const SummaryLine c = BuildStatusSummary(none);
    EXPECT_EQ(c.text, "No images selected. Current Settings: Size - 1024 x 768; Image Format - a PNG image (extension "
                      ".png); Quality: 90");
    EXPECT_EQ((std::array<int, 3>{c.red, c.green, c.blue}), (std::array<int, 3>{128, 0, 0}));
    EXPECT_TRUE(c.bold);
}

TEST(EdgeAndFitRules, WithoutEnlargingKeepsThePicturesOwnSize) {
    struct Row {
        TargetSize target;
        std::uint32_t w, h, expectW, expectH;
    } const rows[] = {
        {{800, 533, 1}, 3000, 2000, 800, 533},
        {{800, 600, 1}, 40, 30, 40, 30},
        {{200, 100, 7}, 100, 300, 100, 300}, // wider though shorter: still an enlargement
        {{100, 100, 10}, 100, 100, 100, 100},
    };
    for (const Row& row : rows) {
        const TargetSize t = WithoutEnlarging(row.target, row.w, row.h);
        EXPECT_EQ(t.width, row.expectW);
        EXPECT_EQ(t.height, row.expectH);
        EXPECT_EQ(t.choice, row.target.choice);
    }
}
