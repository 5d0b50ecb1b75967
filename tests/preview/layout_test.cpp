// SPDX-License-Identifier: MIT
// The preview pane's layout: where one picture is drawn, and the montage grid. Expected
// values were worked out apart from this code, from the rules in double precision.
#include "preview/layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>

namespace {
auto fields(const PreviewPlacement& p) { return std::tuple(p.x, p.y, p.width, p.height); }
auto fields(const MontageGrid& g) { return std::tuple(g.cellWidth, g.cellHeight, g.rows, g.columns); }
} // namespace

TEST(FitPreview, StretchesSmallPicturesAndFitsOthersCentred) {
    const struct {
        std::uint32_t iw, ih;
        int cw, ch;
        PreviewPlacement expected;
    } rows[] = {
        {100, 50, 600, 400, {0, 0, 600, 400}},  // small: stretched over the pane
        {1, 1, 600, 400, {0, 0, 600, 400}},
        {2000, 1000, 600, 400, {0, 50, 600, 300}},
        {1000, 2000, 600, 400, {200, 0, 200, 400}},
        {500, 500, 600, 400, {100, 0, 400, 400}},
        {1000, 1100, 300, 600, {0, 135, 300, 330}},  // portrait, but the pane is narrower still
        // Four fifths of 600 x 400 is 480 x 320: a picture that reaches it either way is not small.
        {479, 319, 600, 400, {0, 0, 600, 400}},
        {480, 100, 600, 400, {0, 137, 600, 125}},
        {100, 320, 600, 400, {237, 0, 125, 400}},
        {479, 321, 600, 400, {2, 0, 596, 400}},
        // Four fifths of 603 x 404 is 4 * (603 / 5) x 4 * (404 / 5) = 480 x 320, not 482 x 323.
        {481, 100, 603, 404, {0, 139, 603, 125}},
        {100, 321, 600, 404, {237, 0, 125, 404}},
        {100000, 1, 600, 400, {0, 200, 600, 0}},  // a sliver keeps its proportions
        {0, 100, 600, 400, {}},
        {100, 100, 0, 400, {}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(fields(FitPreview(r.iw, r.ih, r.cw, r.ch)), fields(r.expected))
            << r.iw << "x" << r.ih << " in " << r.cw << "x" << r.ch;
}

TEST(ComputeMontageGrid, EachWayOfChoosingTheCells) {
    const double nan = std::nan(""), inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* what;
        int count;
        double aspect;
        int cw, ch;
        MontageGrid expected;
    } rows[] = {
        {"equal areas: the column-led layout wins", 1, 1.5, 600, 400, {600, 400, 1, 1}},
        {"row-led layout has the larger cells", 11, 1.0, 600, 400, {133, 133, 3, 4}},
        {"equal areas again, and the column-led layout fits", 4, 1.0, 600, 400, {200, 200, 2, 3}},
        {"column-led rows too tall: the height decides", 9, 1.0, 600, 400, {133, 133, 3, 4}},
        {"one row leaves width over: columns added", 6, 1.0, 1000, 300, {166, 166, 1, 6}},
        {"columns added, tall cells", 5, 0.5, 600, 400, {120, 240, 1, 5}},
        {"columns added, cells cut to the pane's height", 1, 1.0, 1000, 300, {300, 300, 1, 3}},
        {"room left both ways: columns spread over the width", 34, 1.0, 1000, 300, {76, 90, 3, 13}},
        {"columns added, then spread over the width", 19, 0.25, 1000, 300, {52, 248, 1, 19}},
        {"no pictures", 0, 1.5, 600, 400, {}},
        {"no aspect", 4, 0.0, 600, 400, {}},
        {"aspect not a number", 4, nan, 600, 400, {}},
        {"infinite aspect", 4, inf, 600, 400, {}},
        {"empty pane", 4, 1.5, 600, -2, {}},
        {"more columns than int counts", 4, 1e-300, 600, 400, {}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(fields(ComputeMontageGrid(r.count, r.aspect, r.cw, r.ch)), fields(r.expected)) << r.what;
}

TEST(ComputeMontageGrid, EveryGridHoldsItsPicturesInsideThePane) {
    const std::pair<int, int> panes[] = {{600, 400}, {700, 466}, {400, 600}, {1000, 300}, {123, 457}, {796, 430}};
    for (double aspect : {0.2, 0.75, 1.0, 1.5, 16.0 / 9, 3.0})
        for (auto [cw, ch] : panes)
            for (int count = 1; count <= 60; ++count) {
                const MontageGrid g = ComputeMontageGrid(count, aspect, cw, ch);
                SCOPED_TRACE(testing::Message() << count << " at " << aspect << " in " << cw << "x" << ch);
                EXPECT_GT(g.cellWidth, 0);
                EXPECT_GT(g.cellHeight, 0);
                EXPECT_GE(g.rows * g.columns, count);
                EXPECT_LE(g.columns * g.cellWidth, cw);
                EXPECT_LE(g.rows * g.cellHeight, ch);
            }
}
