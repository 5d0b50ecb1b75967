// SPDX-License-Identifier: MIT
// The output size rule, the quality rule, the output type table and the summary line.
#include "app/sizerule.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <utility>

namespace {

struct SizeRow {
    const char* what;
    std::int32_t choice;
    std::uint32_t w, h;
    std::uint32_t expectW, expectH;
};

SizeRequest request(std::int32_t choice, std::uint32_t w, std::uint32_t h) {
    SizeRequest r;
    r.choice = choice;
    r.pictureWidth = w;
    r.pictureHeight = h;
    return r;
}

} // namespace

TEST(ComputeTargetSize, PresetBoxesAndFixedPercents) {
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
    };
    for (const SizeRow& row : rows) {
        SCOPED_TRACE(row.what);
        const TargetSize t = ComputeTargetSize(request(row.choice, row.w, row.h));
        EXPECT_EQ(t.width, row.expectW);
        EXPECT_EQ(t.height, row.expectH);
        EXPECT_EQ(t.choice, row.choice);
    }
}

TEST(ComputeTargetSize, CustomPercentTruncatesTheDoubleProduct) {
    struct Row {
        double scale;
        std::uint32_t w, h, expectW, expectH;
    } const rows[] = {
        {33 / 100.0, 3000, 2000, 990, 660},
        {150 / 100.0, 3000, 2000, 4500, 3000},
        // 100 x 0.29 is 28.999999999999996 in doubles.
        {29 / 100.0, 100, 100, 28, 28},
        {57 / 100.0, 100, 300, 56, 170},
        {1.0, 123, 45, 123, 45},
        {0.001, 999, 999, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.scale);
        SizeRequest r = request(kSizeChoiceCustomPercent, row.w, row.h);
        r.customScale = row.scale;
        const TargetSize t = ComputeTargetSize(r);
        EXPECT_EQ(t.width, row.expectW);
        EXPECT_EQ(t.height, row.expectH);
    }
}

TEST(ComputeTargetSize, DimensionTextsAreReadAsUnsignedNumbers) {
    struct Row {
        const char* width;
        const char* height;
        std::uint32_t expectW, expectH;
    } const rows[] = {
        {"1200", "900", 1200, 900},
        {"  640", "\t480", 640, 480},
        {"12abc", "7 px", 12, 7},
        {"", "abc", 0, 0},
        {"x100", "-", 0, 0},
        {"-1", "+5", 4294967295u, 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.width) + " | " + row.height);
        SizeRequest r = request(kSizeChoiceDimensions, 3000, 2000);
        r.widthText = row.width;
        r.heightText = row.height;
        const TargetSize t = ComputeTargetSize(r);
        EXPECT_EQ(t.width, row.expectW);
        EXPECT_EQ(t.height, row.expectH);
        EXPECT_EQ(t.choice, kSizeChoiceDimensions);
    }
}

TEST(ComputeTargetSize, ScreenChoiceIgnoresTheProportionsAndNoChoiceGivesNothing) {
    for (auto [w, h] : {std::pair{3000u, 2000u}, std::pair{2000u, 3000u}, std::pair{1u, 1u}}) {
        SizeRequest r = request(kSizeChoiceScreen, w, h);
        r.screenWidth = 1920;
        r.screenHeight = 1080;
        const TargetSize t = ComputeTargetSize(r);
        EXPECT_EQ(t.width, 1920u);
        EXPECT_EQ(t.height, 1080u);
        EXPECT_EQ(t.choice, kSizeChoiceScreen);
    }
    const TargetSize none = ComputeTargetSize(request(kSizeChoiceNone, 3000, 2000));
    EXPECT_EQ(none.width, 0u);
    EXPECT_EQ(none.height, 0u);
    EXPECT_EQ(none.choice, 0);
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

TEST(EdgeAndFitRules, SidesInProportionRoundedAndAtLeastOne) {
    struct Row {
        const char* what;
        std::int32_t choice;
        std::uint32_t w, h, edge, boxW, boxH;
        std::uint32_t expectW, expectH;
    } const rows[] = {
        {"long edge, landscape", kSizeChoiceLongEdge, 3000, 2000, 1600, 0, 0, 1600, 1067},
        {"long edge, portrait", kSizeChoiceLongEdge, 2000, 3000, 1600, 0, 0, 1067, 1600},
        {"long edge, square", kSizeChoiceLongEdge, 500, 500, 64, 0, 0, 64, 64},
        {"long edge, 1 pixel enlarged", kSizeChoiceLongEdge, 1, 1, 7, 0, 0, 7, 7},
        {"long edge, a 1-pixel line keeps a side of 1", kSizeChoiceLongEdge, 3000, 1, 100, 0, 0, 100, 1},
        {"short edge, landscape", kSizeChoiceShortEdge, 3000, 2000, 1080, 0, 0, 1620, 1080},
        {"short edge, portrait", kSizeChoiceShortEdge, 2000, 3001, 1080, 0, 0, 1080, 1621},
        {"short edge, square", kSizeChoiceShortEdge, 9, 9, 3, 0, 0, 3, 3},
        {"short edge of a line passes 32 bits and is held", kSizeChoiceShortEdge, 4294967295u, 1, 2, 0, 0,
         4294967295u, 2},
        {"fit, landscape into a landscape box", kSizeChoiceFit, 3000, 2000, 0, 800, 600, 800, 533},
        {"fit, portrait into a landscape box", kSizeChoiceFit, 2000, 3000, 0, 800, 600, 400, 600},
        {"fit, landscape into a portrait box", kSizeChoiceFit, 3000, 2000, 0, 600, 800, 600, 400},
        {"fit, square into a wide box", kSizeChoiceFit, 100, 100, 0, 300, 200, 200, 200},
        {"fit, same proportions fill the box", kSizeChoiceFit, 1500, 1000, 0, 300, 200, 300, 200},
        {"fit, 1 pixel", kSizeChoiceFit, 1, 1, 0, 1920, 1080, 1080, 1080},
        {"fit, limit-sized picture", kSizeChoiceFit, 4294967295u, 4294967295u, 0, 2, 1, 1, 1},
        {"empty picture", kSizeChoiceLongEdge, 0, 10, 100, 0, 0, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SizeRequest r = request(row.choice, row.w, row.h);
        r.edge = row.edge;
        r.boxWidth = row.boxW;
        r.boxHeight = row.boxH;
        const TargetSize t = ComputeTargetSize(r);
        EXPECT_EQ(t.width, row.expectW);
        EXPECT_EQ(t.height, row.expectH);
        EXPECT_EQ(t.choice, row.choice);
    }
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
