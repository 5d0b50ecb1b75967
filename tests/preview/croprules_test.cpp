// SPDX-License-Identifier: MIT
// The crop rules: the band mapped onto the picture, the section's fit in the pane, and the
// save-cropped-image dialog's size, quality, type and path rules. Expected values were
// worked out by hand from the rules.
#include "preview/croprules.h"
#include "preview/layout.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {
auto fields(const CropEdges& e) { return std::tuple(e.x0, e.y0, e.x1, e.y1); }
auto fields(const PreviewPlacement& p) { return std::tuple(p.x, p.y, p.width, p.height); }
} // namespace

TEST(CropRules, BandsMapOntoThePictureOrAreIgnored) {
    const PaneRect shown{0, 50, 600, 350}; // a 2000 x 1000 picture in a 600 x 400 pane
    const struct {
        const char* what;
        PaneRect band, placement;
        std::uint32_t w, h;
        std::optional<CropEdges> expected;
    } rows[] = {
        {"inside", {150, 100, 450, 300}, shown, 2000, 1000, CropEdges{500, 166, 1500, 833}},
        {"dragged up and left", {450, 300, 150, 100}, shown, 2000, 1000, CropEdges{500, 166, 1500, 833}},
        {"the whole placement", {0, 50, 600, 350}, shown, 2000, 1000, CropEdges{0, 0, 2000, 1000}},
        {"a small picture stretched", {0, 0, 300, 200}, {0, 0, 600, 400}, 16, 24, CropEdges{0, 0, 8, 12}},
        {"ending in the white band", {150, 100, 450, 360}, shown, 2000, 1000, std::nullopt},
        {"starting left of the picture", {-1, 100, 450, 300}, {0, 50, 600, 350}, 2000, 1000, std::nullopt},
        {"nothing placed", {0, 0, 10, 10}, {0, 0, 0, 0}, 2000, 1000, std::nullopt},
        // Products stay in 32 bits as the mapping has always computed them.
        {"a wide picture", {0, 0, 600, 1}, {0, 0, 600, 1}, 7000000, 1, CropEdges{0, 0, 7000000, 1}},
    };
    for (const auto& row : rows) {
        const auto got = MapCropToPicture(row.band, row.placement, row.w, row.h);
        ASSERT_EQ(got.has_value(), row.expected.has_value()) << row.what;
        if (got) {
            EXPECT_EQ(fields(*got), fields(*row.expected)) << row.what;
        }
    }
}

TEST(CropRules, SectionsAreFittedNeverStretched) {
    const struct {
        std::uint32_t w, h;
        int cw, ch;
        PreviewPlacement expected;
    } rows[] = {
        {1001, 668, 600, 400, {0, 0, 600, 400}},
        {10, 5, 600, 400, {0, 50, 600, 300}}, // small: enlarged in its proportions
        {100, 300, 600, 300, {250, 0, 100, 300}},
        {300, 100, 300, 600, {0, 250, 300, 100}},
        {0, 10, 600, 400, {0, 0, 0, 0}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(fields(FitCroppedSection(row.w, row.h, row.cw, row.ch)), fields(row.expected)) << row.w << "x" << row.h;
}

TEST(CropRules, DialogSizesQualitiesTypesAndPaths) {
    const struct {
        CropSizeButton button;
        bool preserve;
        std::int32_t w, h;
        const char *widthText, *heightText;
        std::int32_t ew, eh;
    } sizes[] = {
        {CropSizeButton::B1024, true, 1000, 667, "", "", 1024, 683},
        {CropSizeButton::B800, true, 400, 1000, "", "", 240, 600},
        {CropSizeButton::B800, false, 400, 1000, "", "", 800, 600},
        {CropSizeButton::Screen, true, 1000, 667, "", "", 1920, 1280},
        {CropSizeButton::Dimensions, true, 1000, 667, "300px", "abc", 300, 0},
        {CropSizeButton::Cropped, false, 1000, 667, "", "", 1000, 667},
    };
    for (const auto& row : sizes) {
        CropSizeRequest request;
        request.button = row.button;
        request.preserveAspect = row.preserve;
        request.cropWidth = row.w;
        request.cropHeight = row.h;
        request.screenWidth = 1920;
        request.screenHeight = 1080;
        request.widthText = row.widthText;
        request.heightText = row.heightText;
        const CropSize got = CropOutputSize(request);
        EXPECT_EQ(std::tuple(got.width, got.height), std::tuple(row.ew, row.eh)) << static_cast<int>(row.button);
    }
    EXPECT_EQ(CropSizeButtonFor(3), CropSizeButton::B1920); // by position, not by size
    EXPECT_EQ(CropSizeButtonFor(7), CropSizeButton::Dimensions);
    EXPECT_EQ(CropSizeButtonFor(4), CropSizeButton::Screen);

    const struct {
        int radio;
        const char* text;
        std::int32_t current, expected;
    } qualities[] = {{2, "", 100, 75}, {5, "5", 100, 100}, {5, "letters", 100, 100}, {5, "letters", 80, 80},
                     {5, "101", 100, 100}, {5, "10", 100, 10}, {5, "9", 100, 100}};
    for (const auto& row : qualities)
        EXPECT_EQ(CropQuality(row.radio, row.text, row.current), row.expected) << row.radio << " " << row.text;

    EXPECT_EQ(CropTypeRadioForExtension(".PSD"), 4);
    EXPECT_EQ(CropTypeRadioForExtension(".Png"), 1);
    EXPECT_EQ(CropTypeRadioForExtension(".tif"), 0);
    EXPECT_EQ(CropTypeForRadio(3).writerType, 21);
    EXPECT_EQ(CropOutputPath("/out", "a", true, "png"), "/out/a_Cropped.png");
    EXPECT_EQ(CropOutputPath("/out/", "a", false, "jpg"), "/out/a.jpg");
    EXPECT_TRUE(CropPathProblem("", "a"));
    EXPECT_TRUE(CropPathProblem("/out", ""));
    EXPECT_TRUE(CropPathProblem("/out", "a/b"));
    EXPECT_FALSE(CropPathProblem("/out", "a"));
}
