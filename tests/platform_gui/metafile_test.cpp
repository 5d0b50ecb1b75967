// SPDX-License-Identifier: MIT
// Metafile rendering on hand-built WMF and EMF files: shapes, pens, bitmaps, mapping modes,
// paths and clipping checked at pixels away from anti-aliased edges, and crafted bad files.
#include "metafilebuild.h"

#include "platform/gui/metafile.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using platform::MetafileStatus;
using namespace metafilebuild;

std::uint32_t f32(float f) {
    std::uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

constexpr std::uint32_t kRed = 0x0000FF, kGreen = 0x00FF00, kBlue = 0xFF0000, kYellow = 0x00FFFF;
using Rgb = std::array<int, 3>;
constexpr Rgb kWhiteRgb{255, 255, 255}, kRedRgb{255, 0, 0}, kGreenRgb{0, 255, 0}, kBlueRgb{0, 0, 255},
    kYellowRgb{255, 255, 0}, kBlackRgb{0, 0, 0};

struct Picture {
    MetafileStatus status = MetafileStatus::BadParam;
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb;
    std::string error;
    Rgb at(std::uint32_t x, std::uint32_t y) const {
        const std::uint8_t* p = &rgb[(std::size_t{y} * width + x) * 3];
        return {p[0], p[1], p[2]};
    }
};

Picture render(const Bytes& file, std::uint32_t scale = 100, std::uint64_t maxPixels = 1 << 24,
               std::uint64_t maxPainted = 0) {
    Picture pic;
    pic.status = platform::RenderMetafile(
        file.data(), file.size(), {scale, scale, maxPixels, maxPainted},
        [&](std::uint32_t w, std::uint32_t h) {
            pic.width = w;
            pic.height = h;
            pic.rgb.assign(std::size_t{w} * h * 3, 0x5A);
            return pic.rgb.data();
        },
        &pic.error);
    return pic;
}

struct PixelCheck {
    std::uint32_t x, y;
    Rgb colour;
};

void expectPixels(const Picture& pic, const std::vector<PixelCheck>& checks) {
    ASSERT_EQ(pic.status, MetafileStatus::Ok) << pic.error;
    for (const PixelCheck& c : checks) {
        ASSERT_LT(c.x, pic.width);
        ASSERT_LT(c.y, pic.height);
        EXPECT_EQ(pic.at(c.x, c.y), c.colour) << "at " << c.x << "," << c.y;
    }
}

// ---- bitmaps: a 2 × 2 DIB, rows given top first

// A colour as a DIB stores it: blue in the low byte.
std::uint32_t bgr(std::uint32_t c) { return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF); }

// A BITMAPINFOHEADER of `width` × `height` (negative: top row first) with nothing after it.
Bytes dibHeader(std::int32_t width, std::int32_t height, int bpp) {
    Bytes info;
    for (std::int32_t v : {40, width, height}) put32(info, static_cast<std::uint32_t>(v));
    put16(info, 1);
    put16(info, static_cast<std::uint32_t>(bpp));
    info.resize(40, 0);
    return info;
}

Bytes makeDib(int bpp, const std::array<std::uint32_t, 4>& topFirst = {kRed, kGreen, kBlue, kYellow},
              bool topDown = false) {
    Bytes info = dibHeader(2, topDown ? -2 : 2, bpp);
    std::vector<std::uint32_t> palette;
    auto indexOf = [&](std::uint32_t c) {
        for (std::size_t i = 0; i < palette.size(); ++i)
            if (palette[i] == c) return static_cast<std::uint32_t>(i);
        palette.push_back(c);
        return static_cast<std::uint32_t>(palette.size() - 1);
    };
    Bytes bits;
    for (int row = 0; row < 2; ++row) {
        const int y = topDown ? row : 1 - row;
        const std::uint32_t a = topFirst[y * 2], b = topFirst[y * 2 + 1];
        Bytes line;
        switch (bpp) {
        case 1: line.push_back(static_cast<std::uint8_t>(indexOf(a) << 7 | indexOf(b) << 6)); break;
        case 4: line.push_back(static_cast<std::uint8_t>(indexOf(a) << 4 | indexOf(b))); break;
        case 8: line.push_back(static_cast<std::uint8_t>(indexOf(a))); line.push_back(static_cast<std::uint8_t>(indexOf(b))); break;
        case 16: // 5 bits of red, of green, of blue
            for (std::uint32_t c : {a, b}) put16(line, (c & 0xF8) << 7 | (c >> 6 & 0x3E0) | (c >> 19 & 0x1F));
            break;
        case 24: put32(line, bgr(a) | bgr(b) << 24); put16(line, bgr(b) >> 8); break; // B G R B G R
        case 32: put32(line, bgr(a)); put32(line, bgr(b)); break;
        }
        while (line.size() % 4) line.push_back(0);
        bits.insert(bits.end(), line.begin(), line.end());
    }
    if (bpp <= 8) {
        set32(info, 32, static_cast<std::uint32_t>(palette.size()));
        for (std::uint32_t c : palette) put32(info, bgr(c));
    }
    info.insert(info.end(), bits.begin(), bits.end());
    return info;
}

// EMR_STRETCHDIBITS of the whole 2 × 2 bitmap into x, y, w, h.
Emf stretchDib(Emf emf, const Bytes& dib, int x, int y, int w, int h) {
    const std::size_t info = 40 + std::size_t(dib[32] | dib[33] << 8) * 4; // the header and the colours used
    return emf.rec(81, {0, 0, 0, 0, x, y, 0, 0, 2, 2, 80, static_cast<std::int64_t>(info),
                        static_cast<std::int64_t>(80 + info), static_cast<std::int64_t>(dib.size() - info), 0,
                        0x00CC0020, w, h},
                   dib);
}

struct DibRow {
    const char* name;
    int bpp;
    bool topDown = false;
    std::array<std::uint32_t, 4> pixels = {kRed, kGreen, kBlue, kYellow};
    std::array<Rgb, 4> expected = {kRedRgb, kGreenRgb, kBlueRgb, kYellowRgb};
};

class DibRecord : public ::testing::TestWithParam<DibRow> {};

TEST_P(DibRecord, EveryDepthLandsItsFourPixelsInTheirQuadrants) {
    const DibRow& row = GetParam();
    const Bytes dib = makeDib(row.bpp, row.pixels, row.topDown);
    // The bitmap is stretched to 40 × 40 at 8, 4: quadrant centres are 10 pixels in.
    const std::vector<PixelCheck> checks = {{18, 14, row.expected[0]}, {38, 14, row.expected[1]},
                                            {18, 34, row.expected[2]}, {38, 34, row.expected[3]},
                                            {60, 20, kWhiteRgb},       {4, 2, kWhiteRgb}};
    expectPixels(render(stretchDib(Emf(), dib, 8, 4, 40, 40).bytes()), checks);
    // The same through a WMF STRETCHDIB record (parameters last to first).
    expectPixels(render(Wmf().rec(0x0F43, {0x0020, 0x00CC, 0, 2, 2, 0, 0, 40, 40, 4, 8}, dib).bytes()), checks);
}

INSTANTIATE_TEST_SUITE_P(
    Depths, DibRecord,
    ::testing::Values(DibRow{"bpp1", 1, false, {0, 0xFFFFFF, 0xFFFFFF, 0}, {kBlackRgb, kWhiteRgb, kWhiteRgb, kBlackRgb}},
                      DibRow{"bpp4", 4}, DibRow{"bpp8", 8}, DibRow{"bpp16", 16}, DibRow{"bpp24", 24},
                      DibRow{"bpp32", 32}, DibRow{"bpp24TopDown", 24, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- shapes, pens, paths, mapping and state: each file drawn, its pixels checked

struct DrawnRow {
    const char* name;
    Bytes file;
    std::vector<PixelCheck> checks;
    std::uint32_t scale = 100; // per cent, both ways
};

// An EMF with a red brush and no pen, then `records` (type then parameters), then a
// rectangle from l, t to r, b.
Emf mapped(std::initializer_list<std::vector<std::int64_t>> records, std::int64_t l, std::int64_t t, std::int64_t r,
           std::int64_t b) {
    Emf emf;
    emf.brush(1, kRed).nullPen();
    for (const auto& rec : records) {
        Bytes params;
        for (std::size_t i = 1; i < rec.size(); ++i) put32(params, static_cast<std::uint32_t>(rec[i]));
        emf.rec(static_cast<std::uint32_t>(rec[0]), {}, params);
    }
    emf.rec(43, {l, t, r, b});
    return emf;
}

// A pie on the circle centred at 48,48 from its rightmost to its topmost point.
Bytes pie(bool wmf, bool clockwise) {
    if (wmf) return Wmf(96, 96).brush(kRed).select(0).rec(0x081A, {8, 48, 48, 88, 88, 88, 8, 8}).bytes();
    Emf emf(96, 96);
    emf.brush(1, kRed).nullPen();
    if (clockwise) emf.rec(57, {2});
    return emf.rec(47, {8, 8, 88, 88, 88, 48, 48, 8}).bytes();
}

// Two squares wound the same way: alternate leaves the inner one open, winding fills it.
Bytes nestedSquares(std::uint32_t mode) {
    return Emf().brush(1, kRed).nullPen().rec(19, {mode})
        .rec(8, {0, 0, 0, 0, 2, 8, 4, 4, 2, 2, 44, 2, 44, 46, 2, 46, 14, 14, 34, 14, 34, 34, 14, 34}).bytes();
}

Bytes deepSaves() {
    // Deeper nesting than the player keeps is ignored, not followed into memory.
    Emf deep;
    for (int i = 0; i < 3000; ++i) deep.rec(33, {});
    deep.brush(1, kGreen).nullPen().rec(43, {10, 10, 50, 30});
    for (int i = 0; i < 3000; ++i) deep.rec(34, {-1});
    return deep.bytes();
}

std::vector<DrawnRow> drawnRows() {
    const std::vector<PixelCheck> ccw = {{68, 28, kRedRgb}, {28, 28, kWhiteRgb}, {68, 68, kWhiteRgb}, {5, 90, kWhiteRgb}};
    return {
        {"rectangleEmf", Emf().brush(1, kRed).nullPen().rec(43, {10, 10, 50, 30}).bytes(),
         {{30, 20, kRedRgb}, {11, 11, kRedRgb}, {48, 28, kRedRgb}, {5, 5, kWhiteRgb}, {60, 20, kWhiteRgb}, {30, 40, kWhiteRgb}}},
        {"rectangleWmf", Wmf().brush(kRed).select(0).rectangle(10, 10, 50, 30).bytes(),
         {{30, 20, kRedRgb}, {5, 5, kWhiteRgb}, {60, 20, kWhiteRgb}}},
        // A 3-pixel blue pen from 10,20 to 80,20 covers rows 19 and 20 entirely.
        {"penWidth3", Emf().rec(38, {1, 0, 3, 0, kBlue}).rec(37, {1}).rec(27, {10, 20}).rec(54, {80, 20}).bytes(),
         {{45, 20, kBlueRgb}, {45, 19, kBlueRgb}, {45, 25, kWhiteRgb}, {85, 20, kWhiteRgb}}},
        // An extended geometric pen of width 7 with flat caps: rows 17 to 22, nothing beyond x = 80.
        {"extPenFlatCaps",
         Emf().rec(95, {1, 0, 0, 0, 0, 0x00010200, 7, 0, kGreen, 0, 0}).rec(37, {1}).rec(27, {10, 20}).rec(54, {80, 20}).bytes(),
         {{45, 17, kGreenRgb}, {45, 22, kGreenRgb}, {45, 26, kWhiteRgb}, {82, 20, kWhiteRgb}}},
        // WMF: MOVETO and LINETO take y before x.
        {"penWmf",
         Wmf().rec(0x02FA, {0, 3, 0, static_cast<std::int32_t>(kBlue & 0xFFFF), static_cast<std::int32_t>(kBlue >> 16)})
             .select(0).rec(0x0214, {20, 10}).rec(0x0213, {20, 80}).bytes(),
         {{45, 20, kBlueRgb}, {45, 25, kWhiteRgb}}},
        // A null brush leaves the inside white; the stock black brush fills.
        {"nullBrush", Emf().brush(1, kRed, 1).rec(38, {2, 0, 3, 0, 0}).rec(37, {2}).rec(43, {10, 10, 50, 30}).bytes(),
         {{30, 20, kWhiteRgb}, {10, 20, kBlackRgb}}},
        {"stockBlackBrush", Emf().rec(37, {0x80000004}).nullPen().rec(43, {10, 10, 50, 30}).bytes(), {{30, 20, kBlackRgb}}},
        // An ellipse (centre filled, corner not) and a triangle with a vertical left side.
        {"ellipseAndTriangle",
         Emf().brush(1, kRed).nullPen().rec(42, {0, 0, 40, 40}).rec(3, {0, 0, 0, 0, 3, 50, 2, 90, 2, 50, 42}).bytes(),
         {{20, 20, kRedRgb}, {2, 2, kWhiteRgb}, {55, 10, kRedRgb}, {85, 35, kWhiteRgb}}},
        {"pieCounterClockwise", pie(false, false), ccw},
        {"pieWmf", pie(true, false), ccw}, // WMF has no arc direction record
        {"pieClockwise", pie(false, true),
         {{68, 28, kWhiteRgb}, {28, 28, kRedRgb}, {68, 68, kRedRgb}, {5, 90, kWhiteRgb}}},
        {"fillAlternate", nestedSquares(1), {{24, 24, kWhiteRgb}, {6, 24, kRedRgb}, {60, 24, kWhiteRgb}}},
        {"fillWinding", nestedSquares(2), {{24, 24, kRedRgb}, {6, 24, kRedRgb}, {60, 24, kWhiteRgb}}},
        // A right triangle built from MOVETO and POLYLINETO, closed and filled; a Bézier path
        // stroked with a 5-pixel green pen along its straight-line control points.
        {"paths",
         Emf().brush(1, kRed).nullPen()
             .rec(59, {}).rec(27, {10, 4}).rec(6, {0, 0, 0, 0, 2, 10, 44, 50, 44}).rec(61, {}).rec(60, {})
             .rec(62, {0, 0, 0, 0}).rec(38, {2, 0, 5, 0, kGreen}).rec(37, {2})
             .rec(59, {}).rec(27, {60, 10}).rec(5, {0, 0, 0, 0, 3, 70, 10, 80, 10, 90, 10}).rec(60, {}).rec(64, {0, 0, 0, 0})
             .bytes(),
         {{14, 36, kRedRgb}, {40, 10, kWhiteRgb}, {75, 10, kGreenRgb}, {75, 16, kWhiteRgb}}},
        // window 1000 × 1000 on a 96 × 48 viewport: the lower-right quarter
        {"anisotropic", mapped({{17, 8}, {9, 1000, 1000}, {11, 96, 48}}, 500, 500, 1000, 1000).bytes(),
         {{72, 36, kRedRgb}, {24, 12, kWhiteRgb}, {72, 12, kWhiteRgb}}},
        // the same with the viewport's origin moved left and up by half
        {"viewportOrigin", mapped({{17, 8}, {9, 1000, 1000}, {11, 96, 48}, {12, -48, -24}}, 500, 500, 1000, 1000).bytes(),
         {{24, 12, kRedRgb}, {72, 36, kWhiteRgb}}},
        // isotropic keeps the proportions: 1000 × 1000 becomes 48 × 48
        {"isotropic", mapped({{17, 7}, {9, 1000, 1000}, {11, 96, 48}}, 0, 0, 1000, 1000).bytes(),
         {{24, 24, kRedRgb}, {72, 24, kWhiteRgb}}},
        // 0.01 mm units with y up: 12.7 mm by 6.35 mm is 48 × 24 pixels
        {"himetric", mapped({{17, 3}}, 0, 0, 1270, -635).bytes(), {{24, 12, kRedRgb}, {72, 36, kWhiteRgb}, {24, 36, kWhiteRgb}}},
        // twips (1/1440 inch) with y up and the window origin moved
        {"twips", mapped({{17, 6}, {10, 0, 720}}, 0, 720, 720, 0).bytes(), {{24, 12, kRedRgb}, {72, 12, kWhiteRgb}}},
        {"worldTransform", mapped({{35, f32(2), f32(0), f32(0), f32(2), f32(10), f32(0)}}, 0, 0, 10, 10).bytes(),
         {{20, 10, kRedRgb}, {35, 10, kWhiteRgb}, {5, 10, kWhiteRgb}, {20, 25, kWhiteRgb}}},
        // WMF window origin 100,100, extent 200 × 100 fills the picture
        {"wmfWindow", Wmf().rec(0x020B, {100, 100}).rec(0x020C, {100, 200}).brush(kRed).select(0).rectangle(200, 150, 300, 200).bytes(),
         {{72, 36, kRedRgb}, {24, 12, kWhiteRgb}, {72, 12, kWhiteRgb}}},
        {"saveRestoreBrush",
         Emf().brush(1, kRed).nullPen().rec(33, {}).brush(2, kBlue).rec(34, {-1}).rec(43, {10, 10, 50, 30}).bytes(),
         {{30, 20, kRedRgb}}},
        {"deepSavesIgnored", deepSaves(), {{30, 20, kGreenRgb}}},
        // Brush 0 red, brush 1 blue; delete 0, create green (takes slot 0), select 0.
        {"deletedWmfSlotReused",
         Wmf(96, 48, 2).brush(kRed).brush(kBlue).rec(0x01F0, {0}).brush(kGreen).select(0).rectangle(10, 10, 50, 30).bytes(),
         {{30, 20, kGreenRgb}}},
        // At 200 % the picture and the drawing double (the far corner is 191, 95).
        {"scaled200", Emf().brush(1, kRed).nullPen().rec(43, {10, 10, 50, 30}).bytes(),
         {{60, 40, kRedRgb}, {98, 58, kRedRgb}, {110, 40, kWhiteRgb}, {60, 64, kWhiteRgb}, {191, 95, kWhiteRgb}}, 200},
        {"clipRectangles",
         Emf().brush(1, kRed).nullPen().rec(30, {20, 10, 60, 40}).rec(29, {30, 20, 40, 30}).rec(43, {0, 0, 96, 48}).bytes(),
         {{25, 15, kRedRgb}, {55, 35, kRedRgb}, {35, 25, kWhiteRgb}, {10, 5, kWhiteRgb}, {70, 20, kWhiteRgb}}},
    };
}

void PrintTo(const DrawnRow& row, std::ostream* os) { *os << row.name; }

class Drawn : public ::testing::TestWithParam<DrawnRow> {};

TEST_P(Drawn, PixelsLandWhereTheRecordsSend) {
    expectPixels(render(GetParam().file, GetParam().scale), GetParam().checks);
}

INSTANTIATE_TEST_SUITE_P(Records, Drawn, ::testing::ValuesIn(drawnRows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MetafileShapes, TransparentHatchShowsItsColourAndTheWhiteBeneath) {
    const Picture pic = render(Emf().rec(18, {1}).brush(1, kBlue, 2, 4).nullPen().rec(43, {0, 0, 96, 48}).bytes());
    ASSERT_EQ(pic.status, MetafileStatus::Ok);
    int blue = 0, white = 0;
    for (std::uint32_t y = 8; y < 40; ++y)
        for (std::uint32_t x = 8; x < 88; ++x) {
            blue += pic.at(x, y) == kBlueRgb;
            white += pic.at(x, y) == kWhiteRgb;
        }
    EXPECT_GT(blue, 200);
    EXPECT_GT(white, 1000);
}

TEST(MetafileState, LargePicturesDrawnInBandsJoinWithoutSeams) {
    // 2400 × 2400 is drawn in more than one band (a band holds about 4 million pixels, so
    // the first seam falls near row 1747); shapes, clipping and bitmaps cross it unbroken.
    Emf emf(2400, 2400);
    emf.brush(1, kRed).nullPen().rec(30, {100, 0, 2300, 2400}).rec(43, {0, 1600, 2400, 1900});
    emf = stretchDib(emf, makeDib(24), 1000, 1500, 400, 400);
    emf.rec(38, {2, 0, 9, 0, kBlue}).rec(37, {2}).rec(27, {200, 100}).rec(54, {200, 2300});
    Picture pic = render(emf.bytes());
    ASSERT_EQ(pic.status, MetafileStatus::Ok) << pic.error;
    for (std::uint32_t y = 1600; y < 1900; ++y) {
        ASSERT_EQ(pic.at(150, y), kRedRgb) << y;
        ASSERT_EQ(pic.at(50, y), kWhiteRgb) << y;   // clipped away
        ASSERT_EQ(pic.at(2350, y), kWhiteRgb) << y; // clipped away
        ASSERT_EQ(pic.at(200, y), kBlueRgb) << y;   // the vertical line
        ASSERT_EQ(pic.at(1300, y), y < 1700 ? kGreenRgb : kYellowRgb) << y;
    }
    EXPECT_EQ(pic.at(1100, 1550), kRedRgb);
    EXPECT_EQ(pic.at(1100, 1950), kWhiteRgb);
}

// ---- sizes

TEST(MetafileSize, NaturalSizesFollowTheHeaders) {
    Bytes wmf1200 = Wmf(1369, 600).bytes();
    wmf1200[14] = 0xB0;
    wmf1200[15] = 0x04; // 1200 units per inch
    const Bytes boxed = Wmf(0, 0, 4, false).rectangle(-10, 5, 70, 45).bytes();
    struct Row {
        const char* what;
        Bytes file;
        std::uint32_t xScale, yScale, width, height;
    } const rows[] = {
        // EMF: frame 0 … 2899 hundredths of a millimetre is 109.57 pixels at 96 per inch.
        {"emf frame", Emf().frame(2899, 1270).bytes(), 100, 100, 110, 48},
        // Placeable WMF: 1369 units at 1200 per inch is 109.52 pixels.
        {"placeable wmf", wmf1200, 100, 100, 110, 48},
        {"bare wmf: its window extent", Wmf(0, 0, 4, false).rec(0x020C, {200, 300}).rectangle(0, 0, 10, 10).bytes(), 100,
         100, 300, 200},
        {"bare wmf without a window: the box of what it draws", boxed, 100, 100, 80, 40},
        {"scaled", boxed, 50, 300, 40, 120},
    };
    for (const Row& r : rows) {
        const platform::MetafileRequest request{r.xScale, r.yScale, 1 << 24, 0};
        std::uint32_t w = 0, h = 0;
        ASSERT_EQ(platform::MetafileSize(r.file.data(), r.file.size(), request, w, h), MetafileStatus::Ok) << r.what;
        EXPECT_EQ((std::pair{w, h}), (std::pair{r.width, r.height})) << r.what;
        // The rendered picture has the size the header reader announced.
        const Picture pic = render(r.file, r.xScale);
        if (r.xScale == r.yScale) { EXPECT_EQ((std::pair{pic.width, pic.height}), (std::pair{w, h})) << r.what; }
    }
}

// ---- bad files

struct BadRow {
    const char* name;
    Bytes file;
    MetafileStatus expected;
    std::uint64_t maxPixels = 1 << 16;
    std::uint64_t maxPainted = 0;
};

Bytes truncated(Bytes b, std::size_t cut) {
    b.resize(b.size() - cut);
    return b;
}

Bytes withDeclaredSize(Bytes b) {
    set32(b, 48, static_cast<std::uint32_t>(b.size()));
    return b;
}

// The 24-bit DIB with the header field at `at` claiming `value`: 1000 rows (at 8) or a width
// of 4000 (at 4) where there are 2.
Bytes lyingDib(std::size_t at, std::uint32_t value) {
    Bytes dib = makeDib(24);
    set32(dib, at, value);
    return dib;
}

Bytes hugeDib() {
    Bytes dib = dibHeader(512, 512, 1);
    put32(dib, 0);
    put32(dib, 0xFFFFFF);
    dib.resize(dib.size() + 512 * 64, 0x55);
    return Emf().rec(81, {0, 0, 0, 0, 0, 0, 0, 0, 512, 512, 80, 48, 128, 512 * 64, 0, 0x00CC0020, 40, 40}, dib).bytes();
}

Bytes manyFills() {
    Emf emf;
    for (int i = 0; i < 20; ++i) emf.rec(43, {0, 0, 96, 48});
    return emf.bytes();
}

// Records that change nothing but still cost their replay: more than a 24 × 24 picture may
// replay, fewer than a 96 × 96 one may.
Bytes manyRecords(int side) {
    Emf emf(side, side);
    for (int i = 0; i < 270000; ++i) emf.rec(18, {1});
    return emf.bytes();
}

// One polyline of 300,000 points across a 24 × 24 picture.
Bytes longPolyline() {
    Bytes points;
    for (int i = 0; i < 300000; ++i) {
        put32(points, static_cast<std::uint32_t>(i % 24));
        put32(points, static_cast<std::uint32_t>(i % 23));
    }
    return Emf(24, 24).rec(4, {0, 0, 0, 0, 300000}, points).bytes();
}

std::vector<BadRow> badRows() {
    Bytes good = Emf().brush(1, kRed).rec(43, {10, 10, 50, 30}).bytes();
    Bytes goodWmf = Wmf().brush(kRed).select(0).rectangle(10, 10, 50, 30).bytes();
    std::vector<BadRow> rows = {
        {"notAMetafile", Bytes(100, 'x'), MetafileStatus::BadFormat},
        {"tooShort", Bytes{0xD7, 0xCD}, MetafileStatus::Truncated},
        {"emfShorterThanDeclared", truncated(good, 10), MetafileStatus::Truncated},
        {"emfCutInsideRecord", withDeclaredSize(truncated(good, 10)), MetafileStatus::Truncated},
        {"emfRecordSizeZero", Emf().rawSize(43, 0).bytes(), MetafileStatus::BadFormat},
        {"emfRecordSizeHuge", Emf().rawSize(43, 0x7FFFFFF0).bytes(), MetafileStatus::Truncated},
        {"emfSelectOutsideTable", Emf(96, 48, 2).rec(37, {7}).bytes(), MetafileStatus::BadFormat},
        {"emfCreateOutsideTable", Emf(96, 48, 2).rec(39, {9, 0, kRed, 0}).bytes(), MetafileStatus::BadFormat},
        {"emfDeleteOutsideTable", Emf(96, 48, 2).rec(40, {70000}).bytes(), MetafileStatus::BadFormat},
        {"emfPolygonCountLies", Emf().rec(3, {0, 0, 0, 0, 1000000000, 1, 1, 5, 5}).bytes(), MetafileStatus::BadFormat},
        {"emfPolyPolygonCountsLie", Emf().rec(8, {0, 0, 0, 0, 1, 2, 9, 1, 1, 5, 5}).bytes(), MetafileStatus::BadFormat},
        {"emfDibHeaderLies", stretchDib(Emf(), lyingDib(8, 1000), 0, 0, 40, 40).bytes(), MetafileStatus::BadFormat},
        {"emfDibOffsetOutside", Emf().rec(81, {0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 80, 40, 5000, 16, 0, 0x00CC0020, 4, 4}).bytes(),
         MetafileStatus::BadFormat},
        {"emfDibOverPixelLimit", hugeDib(), MetafileStatus::TooLarge},
        {"emfAbsurdFrame", Emf().frame(2000000000, 2000000000).bytes(), MetafileStatus::TooLarge},
        {"emfTooMuchPainting", manyFills(), MetafileStatus::TooComplex, 1 << 16, 20000},
        {"emfRecordsBeyondItsSize", manyRecords(24), MetafileStatus::TooComplex},
        {"emfSegmentsBeyondItsSize", longPolyline(), MetafileStatus::TooComplex},
        {"wmfCut", truncated(goodWmf, 9), MetafileStatus::Truncated},
        {"wmfRecordSizeZero", Wmf().rawSize(0x041B, 0).bytes(), MetafileStatus::BadFormat},
        {"wmfRecordSizeHuge", Wmf().rawSize(0x041B, 0x40000000).bytes(), MetafileStatus::Truncated},
        {"wmfTableOverflow", Wmf(96, 48, 1).brush(kRed).brush(kBlue).bytes(), MetafileStatus::BadFormat},
        {"wmfSelectOutsideTable", Wmf(96, 48, 2).select(5).bytes(), MetafileStatus::BadFormat},
        {"wmfPolygonCountLies", Wmf().rec(0x0324, {30000, 1, 1, 5, 5}).bytes(), MetafileStatus::BadFormat},
        {"wmfDibHeaderLies", Wmf().rec(0x0F43, {0x20, 0xCC, 0, 2, 2, 0, 0, 40, 40, 0, 0}, lyingDib(4, 4000)).bytes(),
         MetafileStatus::BadFormat},
        {"wmfZeroUnitsPerInch", [] {
             Bytes b = Wmf().bytes();
             b[14] = b[15] = 0;
             return b;
         }(), MetafileStatus::BadFormat},
        {"wmfAbsurdBox", [] {
             Bytes b = Wmf(32000, 32000).bytes();
             b[14] = 1;
             b[15] = 0; // one unit per inch: 3 million pixels a side
             return b;
         }(), MetafileStatus::TooLarge},
    };
    return rows;
}

class BadMetafile : public ::testing::TestWithParam<BadRow> {};

TEST_P(BadMetafile, FailsCleanlyWithItsCode) {
    const BadRow& row = GetParam();
    Picture pic = render(row.file, 100, row.maxPixels, row.maxPainted);
    EXPECT_EQ(pic.status, row.expected) << pic.error;
    EXPECT_FALSE(pic.error.empty());
}

INSTANTIATE_TEST_SUITE_P(Crafted, BadMetafile, ::testing::ValuesIn(badRows()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MetafileParameters, ZeroScaleOrLimitIsRefused) {
    // The replay budget grows with the picture: what a 24 x 24 one may not replay, a 96 x 96 may.
    EXPECT_EQ(render(manyRecords(96)).status, MetafileStatus::Ok);
    Bytes good = Emf().bytes();
    EXPECT_EQ(render(good, 0).status, MetafileStatus::BadParam);
    EXPECT_EQ(render(good, 100, 0).status, MetafileStatus::BadParam);
    // The pixel limit is checked before the allocator is asked.
    bool asked = false;
    platform::MetafileRequest request{100, 100, 96 * 48 - 1, 0}; // 100 %, the pixels of 96 x 48 less one
    EXPECT_EQ(platform::RenderMetafile(good.data(), good.size(), request,
                                       [&](std::uint32_t, std::uint32_t) {
                                           asked = true;
                                           return static_cast<std::uint8_t*>(nullptr);
                                       }),
              MetafileStatus::TooLarge);
    EXPECT_FALSE(asked);
    // An allocator that has no memory ends the rendering.
    request.maxPixels = 1 << 20;
    EXPECT_EQ(platform::RenderMetafile(good.data(), good.size(), request,
                                       [](std::uint32_t, std::uint32_t) { return static_cast<std::uint8_t*>(nullptr); }),
              MetafileStatus::NoMemory);
}

} // namespace
