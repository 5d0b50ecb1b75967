// SPDX-License-Identifier: MIT
// Paths cut to a rectangle paint the same inside it as the whole paths: figures reaching a
// few thousand pixels out, drawn both ways onto a small picture, pixel by pixel.
#include "platform/gui/pathcut.h"

#include <QImage>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPen>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

using platform::detail::cutForFill;
using platform::detail::cutForStroke;

constexpr int kSide = 64;
const QRectF kPicture(0, 0, kSide, kSide);

QImage draw(const std::function<void(QPainter&)>& paint) {
    QImage image(kSide, kSide, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    return image;
}

// Pixels that differ by more than a few levels, and pixels the path painted at all. Lines cut
// short are rasterized from other end points, which moves anti-aliased edges by a few levels;
// where two outlines cross inside one pixel, Qt's coverage also depends on which way each
// runs, and a figure cut open runs differently: a handful of such pixels may differ more.
std::pair<int, int> compare(const QImage& a, const QImage& b) {
    int differing = 0, painted = 0;
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int worst = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                        std::abs(qBlue(p) - qBlue(q))});
            differing += worst > 8;
            painted += p != qRgb(255, 255, 255);
        }
    return {differing, painted};
}

QPainterPath polygon(std::initializer_list<QPointF> points, bool close = true) {
    QPainterPath p;
    p.moveTo(*points.begin());
    for (auto it = points.begin() + 1; it != points.end(); ++it) p.lineTo(*it);
    if (close) p.closeSubpath();
    return p;
}

struct CutRow {
    const char* name;
    std::function<QPainterPath()> path;
    Qt::FillRule rule = Qt::WindingFill;
};

std::vector<CutRow> shapes() {
    return {
        {"triangleWithFarCorner", [] { return polygon({{10, 10}, {5000, 30}, {20, 50}}); }},
        {"crossedOddEven", [] { return polygon({{-3000, 10}, {3000, 50}, {10, -3000}, {50, 3000}}); }, Qt::OddEvenFill},
        {"crossedWinding", [] { return polygon({{-3000, 10}, {3000, 50}, {10, -3000}, {50, 3000}}); }},
        {"ringAroundThePicture",
         [] {
             QPainterPath p = polygon({{-4000, -4000}, {4000, -4000}, {4000, 4000}, {-4000, 4000}});
             p.addPath(polygon({{16, 16}, {48, 16}, {48, 48}, {16, 48}}));
             return p;
         },
         Qt::OddEvenFill},
        {"curveThroughThePicture",
         [] {
             QPainterPath p(QPointF(-3000, 40));
             p.cubicTo(QPointF(0, -1000), QPointF(60, 1100), QPointF(3000, 10));
             p.lineTo(QPointF(3000, 3000));
             p.closeSubpath();
             return p;
         }},
        {"insideOnly",
         [] {
             QPainterPath p(QPointF(8, 8));
             p.cubicTo(QPointF(60, 0), QPointF(60, 60), QPointF(8, 56));
             p.closeSubpath();
             return p;
         }},
        {"openFigureLeavingAndComingBack", [] { return polygon({{40, 30}, {40, -3000}, {3000, 3000}, {10, 50}}, false); }},
    };
}

class PathCut : public ::testing::TestWithParam<CutRow> {};

// Filled, and stroked with a wide pen with mitre joins and flat caps: a cap left where a
// corner should be, or a mitre cut short, shows as a notch.
TEST_P(PathCut, FillAndStrokePaintTheSameInside) {
    QPainterPath whole = GetParam().path();
    whole.setFillRule(GetParam().rule);
    QPen pen(Qt::blue, 9, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setMiterLimit(3);
    for (const bool stroke : {false, true}) {
        SCOPED_TRACE(stroke ? "stroke" : "fill");
        const double reach = stroke ? 9 * 3 + 4 : 4;
        const QRectF area = kPicture.adjusted(-reach, -reach, reach, reach);
        std::uint64_t segments = 0;
        const QPainterPath cut = stroke ? cutForStroke(whole, area, segments) : cutForFill(whole, area, segments);
        EXPECT_GT(segments, 0u);
        EXPECT_TRUE(area.adjusted(-1, -1, 1, 1).contains(cut.controlPointRect()));
        const auto paint = [&](const QPainterPath& path) {
            return draw([&](QPainter& p) { stroke ? p.strokePath(path, pen) : p.fillPath(path, Qt::red); });
        };
        const auto [differing, painted] = compare(paint(whole), paint(cut));
        EXPECT_LE(differing, stroke ? 4 : 0);
        EXPECT_GT(painted, 50);
    }
}

INSTANTIATE_TEST_SUITE_P(Shapes, PathCut, ::testing::ValuesIn(shapes()),
                         [](const auto& info) { return std::string(info.param.name); });

// A closed figure that starts inside the picture: cut, its start must stay a corner.
TEST(PathCutStroke, ClosedFigureKeepsTheCornerAtItsStart) {
    const QPainterPath square = polygon({{20, 20}, {20, -3000}, {3000, -3000}, {3000, 20}});
    std::uint64_t segments = 0;
    const QPainterPath cut = cutForStroke(square, kPicture.adjusted(-40, -40, 40, 40), segments);
    int figures = 0;
    for (int i = 0; i < cut.elementCount(); ++i) figures += cut.elementAt(i).type == QPainterPath::MoveToElement;
    EXPECT_EQ(figures, 1);
    QPen pen(Qt::blue, 9, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    const QImage whole = draw([&](QPainter& p) { p.strokePath(square, pen); });
    const QImage pieces = draw([&](QPainter& p) { p.strokePath(cut, pen); });
    EXPECT_EQ(pieces.pixel(17, 22), qRgb(0, 0, 255)); // the mitre's outer corner
    EXPECT_EQ(compare(whole, pieces).first, 0);
}

} // namespace
