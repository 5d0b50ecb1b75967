// SPDX-License-Identifier: MIT
// GIF reader: hand-built files with known pixels (LZW code size growth, repeated-string
// codes, deferred clear, interlacing, colour tables, transparency, canvas placement),
// the header reader's agreement, and damaged files.
#include "testutil.h"

#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

struct Code {
    unsigned value;
    unsigned width;
};

// LZW codes packed least significant bit first.
std::string packCodes(const std::vector<Code>& codes) {
    std::string out;
    std::uint32_t acc = 0;
    unsigned bits = 0;
    for (const Code& c : codes) {
        acc |= c.value << bits;
        bits += c.width;
        while (bits >= 8) {
            out.push_back(static_cast<char>(acc & 0xFF));
            acc >>= 8;
            bits -= 8;
        }
    }
    if (bits) out.push_back(static_cast<char>(acc & 0xFF));
    return out;
}

// Literal codes only, with a clear code often enough that the code width never grows.
std::vector<Code> literals(unsigned minCodeSize, const std::vector<unsigned>& values) {
    const unsigned clear = 1u << minCodeSize, width = minCodeSize + 1;
    std::vector<Code> codes;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i % (clear - 2) == 0) codes.push_back({clear, width});
        codes.push_back({values[i], width});
    }
    codes.push_back({clear + 1, width});
    return codes;
}

std::string le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

using Table = std::vector<std::array<std::uint8_t, 3>>;

std::string tableBytes(const Table& t) {
    std::string s;
    for (const auto& c : t) s.append({static_cast<char>(c[0]), static_cast<char>(c[1]), static_cast<char>(c[2])});
    return s;
}

unsigned tableBits(std::size_t entries) {
    unsigned bits = 1;
    while ((1u << bits) < entries) ++bits;
    return bits;
}

struct GifSpec {
    std::string version = "GIF89a";
    unsigned screenWidth = 0, screenHeight = 0;
    Table global;
    unsigned background = 0;
    std::string extensions; // whole extension blocks placed before the image
    unsigned left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    Table local;
    unsigned minCodeSize = 2;
    std::string data;      // the packed LZW bytes
    std::size_t chunk = 255; // sub-block size
};

std::string build(const GifSpec& g) {
    std::string f = g.version + le16(g.screenWidth) + le16(g.screenHeight);
    f.push_back(static_cast<char>(g.global.empty() ? 0 : 0x80 | (tableBits(g.global.size()) - 1)));
    f.push_back(static_cast<char>(g.background));
    f.push_back('\0');
    f += tableBytes(g.global);
    f += g.extensions;
    f += ',' + le16(g.left) + le16(g.top) + le16(g.width) + le16(g.height);
    f.push_back(static_cast<char>((g.local.empty() ? 0 : 0x80 | (tableBits(g.local.size()) - 1)) | (g.interlaced ? 0x40 : 0)));
    f += tableBytes(g.local);
    f.push_back(static_cast<char>(g.minCodeSize));
    for (std::size_t i = 0; i < g.data.size(); i += g.chunk) {
        std::string part = g.data.substr(i, g.chunk);
        f.push_back(static_cast<char>(part.size()));
        f += part;
    }
    f += std::string("\0;", 2);
    return f;
}

std::string graphicControl(bool transparent, unsigned index) {
    return std::string("\x21\xF9\x04", 3) + static_cast<char>(transparent ? 1 : 0) + std::string(2, '\0') +
           static_cast<char>(index) + std::string(1, '\0');
}

const Table kFour = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120}};

struct Decoded {
    std::uint32_t rc = 0;
    std::uint32_t width = 0, height = 0, bits = 0;
    std::vector<std::uint8_t> pixels;
    std::array<Is5Rgbq, 256> palette{};
};

Decoded readGif(const std::string& file) {
    Decoded d;
    d.palette.fill({0xEE, 0xEE, 0xEE, 0xEE}); // shows any entry the reader leaves unset
    IS5_SOURCE src = is5_OpenMemorySource(file.data(), file.size(), "t.gif");
    HGLOBAL block = is5_ReadGIF(src, &d.width, &d.height, &d.bits, d.palette.data(), 0);
    d.rc = is5_GetLastError();
    if (block) {
        auto* p = static_cast<std::uint8_t*>(GlobalLock(block));
        d.pixels.assign(p, p + GlobalSize(block));
        GlobalFree(block);
    }
    is5_CloseSource(src);
    return d;
}

struct Dims {
    BOOL ok;
    std::uint32_t rc, width, height, bits;
};

Dims gifDims(const std::string& file) {
    Dims d{};
    IS5_SOURCE src = is5_OpenMemorySource(file.data(), file.size(), "t.gif");
    d.ok = is5_GetGIFDims(src, &d.width, &d.height, &d.bits);
    d.rc = is5_GetLastError();
    is5_CloseSource(src);
    return d;
}

GifSpec simple(unsigned w, unsigned h, const std::vector<unsigned>& values) {
    GifSpec g;
    g.screenWidth = w;
    g.screenHeight = h;
    g.width = w;
    g.height = h;
    g.global = kFour;
    g.data = packCodes(literals(2, values));
    return g;
}

} // namespace

TEST(GifRead, GoldenPixels) {
    struct Row {
        const char* name;
        GifSpec spec;
        std::uint32_t width, height;
        std::vector<std::uint8_t> pixels;
    };
    std::vector<Row> rows;

    rows.push_back({"plain 2x2 GIF87a", simple(2, 2, {0, 1, 2, 3}), 2, 2, {0, 1, 2, 3}});
    rows.back().spec.version = "GIF87a";

    // Code width grows from 3 to 4 bits once entry 7 is made; codes 6 (first use) and 7
    // name the entry being defined, the string so far plus its own first value.
    GifSpec grow = simple(13, 1, {});
    grow.data = packCodes({{4, 3}, {1, 3}, {6, 3}, {6, 3}, {7, 4}, {2, 4}, {9, 4}, {5, 4}});
    rows.push_back({"code growth and repeated strings", grow, 13, 1, {1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 2}});

    // Rows are stored in the order 0, 4, 2, 1, 3 (the four interlace passes).
    GifSpec interlaced = simple(2, 5, {0, 1, 1, 1, 2, 3, 1, 2, 3, 0});
    interlaced.interlaced = true;
    rows.push_back({"interlaced 2x5", interlaced, 2, 5, {0, 1, 1, 2, 2, 3, 3, 0, 1, 1}});

    GifSpec pieces = simple(4, 2, {3, 2, 1, 0, 0, 1, 2, 3});
    pieces.chunk = 1; // every data byte in its own sub-block
    rows.push_back({"one-byte sub-blocks", pieces, 4, 2, {3, 2, 1, 0, 0, 1, 2, 3}});

    GifSpec onBackground = simple(3, 1, {1});
    onBackground.width = 1;
    onBackground.height = 1;
    onBackground.left = 2;
    onBackground.background = 3;
    rows.push_back({"frame on a wider screen: background index around it", onBackground, 3, 1, {3, 3, 1}});

    GifSpec badBackground = onBackground;
    badBackground.background = 9;
    rows.push_back({"background outside the palette: index 0", badBackground, 3, 1, {0, 0, 1}});

    GifSpec transparentAround = simple(3, 2, {0, 1});
    transparentAround.width = 2;
    transparentAround.height = 1;
    transparentAround.left = 1;
    transparentAround.top = 1;
    transparentAround.background = 3;
    transparentAround.extensions = graphicControl(true, 2);
    rows.push_back({"transparent index around the frame", transparentAround, 3, 2, {2, 2, 2, 2, 0, 1}});

    GifSpec oversized = simple(2, 1, {0, 1, 2, 3});
    oversized.width = 2;
    oversized.height = 2;
    oversized.left = 1;
    rows.push_back({"frame past the screen's edge enlarges the canvas", oversized, 3, 2, {0, 0, 1, 0, 2, 3}});

    // Eight 3-bit codes fill three bytes exactly, so no padding bits follow.
    GifSpec earlyEnd = simple(8, 1, {});
    earlyEnd.background = 2;
    earlyEnd.data = packCodes({{4, 3}, {1, 3}, {3, 3}, {4, 3}, {0, 3}, {2, 3}, {4, 3}, {1, 3}});
    rows.push_back({"data ends early: the rest is background", earlyEnd, 8, 1, {1, 3, 0, 2, 1, 2, 2, 2}});

    GifSpec badCodeLater = simple(4, 1, {});
    badCodeLater.background = 2;
    badCodeLater.data = packCodes({{4, 3}, {1, 3}, {7, 3}, {2, 3}}); // 7 names no entry yet
    rows.push_back({"impossible code after pixels: decoding stops", badCodeLater, 4, 1, {1, 2, 2, 2}});

    GifSpec wideValues = simple(2, 1, {});
    wideValues.global = {{200, 0, 0}, {0, 200, 0}};
    wideValues.minCodeSize = 9;
    wideValues.data = packCodes({{512, 10}, {300, 10}, {1, 10}, {513, 10}});
    rows.push_back({"values above 255 take the black entry past a short table", wideValues, 2, 1, {2, 1}});

    GifSpec codeSizeOne = simple(1, 1, {});
    codeSizeOne.global = {{0, 0, 0}, {255, 255, 255}};
    codeSizeOne.minCodeSize = 1;
    codeSizeOne.data = packCodes({{2, 2}, {1, 2}, {3, 3}});
    rows.push_back({"minimum code size 1", codeSizeOne, 1, 1, {1}});

    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::string file = build(r.spec);
        Decoded d = readGif(file);
        ASSERT_EQ(d.rc, IS5_OK);
        EXPECT_EQ(d.width, r.width);
        EXPECT_EQ(d.height, r.height);
        EXPECT_EQ(d.pixels, r.pixels);
        Dims dims = gifDims(file);
        EXPECT_TRUE(dims.ok);
        EXPECT_EQ(dims.width, d.width);
        EXPECT_EQ(dims.height, d.height);
    }
}

TEST(GifRead, FullTableStaysInUseUntilClear) {
    // Literals only: entry 6 + i holds values i and i + 1. At entry 4095 the table is full:
    // codes stay 12 bits wide, nothing more is added, and entry 4095 keeps its string
    // until the clear code restarts at 3 bits.
    std::vector<unsigned> values;
    for (unsigned i = 0; i < 4091; ++i) values.push_back((i * 5 / 3) % 4);
    std::vector<Code> codes = {{4, 3}};
    unsigned width = 3, next = 6;
    for (std::size_t i = 0; i < values.size(); ++i) {
        codes.push_back({values[i], width});
        if (i > 0 && next < 4096) ++next;
        if (next >= (1u << width) && width < 12) ++width;
    }
    ASSERT_EQ(next, 4096u);
    ASSERT_EQ(width, 12u);
    std::vector<std::uint8_t> expected(values.begin(), values.end());
    for (unsigned v : {3u, 2u, 1u}) {
        codes.push_back({v, 12});
        expected.push_back(static_cast<std::uint8_t>(v));
    }
    codes.push_back({4095, 12});
    expected.push_back(static_cast<std::uint8_t>(values[4089]));
    expected.push_back(static_cast<std::uint8_t>(values[4090]));
    codes.push_back({4, 12});
    codes.push_back({2, 3});
    expected.push_back(2);
    codes.push_back({5, 3});

    GifSpec g = simple(static_cast<unsigned>(expected.size()), 1, {});
    g.data = packCodes(codes);
    Decoded d = readGif(build(g));
    ASSERT_EQ(d.rc, IS5_OK);
    EXPECT_EQ(d.pixels, expected);
}

TEST(GifRead, PaletteFromTheTablesInUse) {
    // A local table replaces the global one; bits follow the table used.
    GifSpec local = simple(2, 2, {0, 1, 2, 3});
    local.global = {{1, 1, 1}, {2, 2, 2}};
    local.local = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}};
    Decoded d = readGif(build(local));
    ASSERT_EQ(d.rc, IS5_OK);
    EXPECT_EQ(d.bits, 2u);
    EXPECT_EQ(d.pixels, (std::vector<std::uint8_t>{0, 1, 2, 3}));
    for (unsigned i = 0; i < 4; ++i) {
        EXPECT_EQ(d.palette[i].r, local.local[i][0]);
        EXPECT_EQ(d.palette[i].g, local.local[i][1]);
        EXPECT_EQ(d.palette[i].b, local.local[i][2]);
    }
    // Entries past the table are black, so out-of-range indexes show black.
    for (unsigned i = 4; i < 256; ++i) EXPECT_EQ(d.palette[i].r + d.palette[i].g + d.palette[i].b, 0) << i;
    Dims dims = gifDims(build(local));
    EXPECT_EQ(dims.bits, 1u); // the header reader reports the global table

    // A transparent entry shows white.
    GifSpec transparent = simple(2, 1, {1, 3});
    transparent.extensions = graphicControl(true, 1);
    d = readGif(build(transparent));
    ASSERT_EQ(d.rc, IS5_OK);
    EXPECT_EQ(d.palette[1].r, 255);
    EXPECT_EQ(d.palette[1].g, 255);
    EXPECT_EQ(d.palette[1].b, 255);
    EXPECT_EQ(d.palette[3].r, 100);

    // Index 3 of a two-entry table is black.
    GifSpec shortTable = simple(2, 1, {3, 1});
    shortTable.global = {{9, 9, 9}, {250, 250, 250}};
    d = readGif(build(shortTable));
    ASSERT_EQ(d.rc, IS5_OK);
    EXPECT_EQ(d.bits, 1u);
    EXPECT_EQ(d.pixels[0], 3);
    EXPECT_EQ(d.palette[3].r + d.palette[3].g + d.palette[3].b, 0);

    // No table at all: a grey ramp, 8 bits.
    GifSpec none = simple(2, 1, {1, 2});
    none.global.clear();
    d = readGif(build(none));
    ASSERT_EQ(d.rc, IS5_OK);
    EXPECT_EQ(d.bits, 8u);
    EXPECT_EQ(d.palette[2].r, 2);
    EXPECT_EQ(d.palette[200].g, 200);
    EXPECT_EQ(gifDims(build(none)).bits, 8u);
}

TEST(GifRead, ExtensionsAreSkipped) {
    GifSpec g = simple(2, 1, {2, 1});
    g.extensions = std::string("\x21\xFE\x05" "hello" "\x03" "abc" "\x00", 13) +                       // comment
                   std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19) +       // application
                   graphicControl(true, 2) +                                               // for the text below
                   std::string("\x21\x01\x0C", 3) + std::string(12, '\x01') + "\x02hi" + std::string(1, '\0') +
                   std::string("\x21\x2A\x02zz\x00", 6) +                                  // unknown label
                   std::string("\x21\xF9\x00", 3);                                         // empty control block
    Decoded d = readGif(build(g));
    ASSERT_EQ(d.rc, IS5_OK);
    EXPECT_EQ(d.pixels, (std::vector<std::uint8_t>{2, 1}));
    // The control block belonged to the plain text, not to the frame.
    EXPECT_EQ(d.palette[2].r, 70);
}

TEST(GifRead, DamagedFilesFailCleanly) {
    GifSpec good = simple(2, 2, {0, 1, 2, 3});
    const std::string valid = build(good);
    const std::size_t descriptor = valid.find(',', 13 + 12);
    ASSERT_NE(descriptor, std::string::npos);

    auto with = [&](auto change) {
        GifSpec g = good;
        change(g);
        return build(g);
    };
    struct Row {
        const char* name;
        std::string file;
        std::uint32_t rc;
    };
    const std::vector<Row> rows = {
        {"empty", "", IS5_ERR_READ},
        {"truncated signature", "GIF8", IS5_ERR_READ},
        {"unknown version", with([](GifSpec& g) { g.version = "GIF90a"; }), IS5_ERR_FORMAT},
        {"not a GIF", "PNG89a" + valid.substr(6), IS5_ERR_FORMAT},
        {"ends inside the global table", valid.substr(0, 16), IS5_ERR_READ},
        {"ends inside the image descriptor", valid.substr(0, descriptor + 5), IS5_ERR_READ},
        {"trailer before any frame", valid.substr(0, descriptor) + ";", IS5_ERR_FORMAT},
        {"stray byte between blocks", valid.substr(0, descriptor) + std::string(1, '\0') + valid.substr(descriptor),
         IS5_ERR_FORMAT},
        {"zero-width frame", with([](GifSpec& g) { g.width = 0; }), IS5_ERR_FORMAT},
        {"minimum code size 0", with([](GifSpec& g) { g.minCodeSize = 0; }), IS5_ERR_FORMAT},
        {"minimum code size 12", with([](GifSpec& g) { g.minCodeSize = 12; }), IS5_ERR_FORMAT},
        {"first code names no entry", with([](GifSpec& g) { g.data = packCodes({{4, 3}, {7, 3}}); }), IS5_ERR_FORMAT},
        {"end code before any pixel", with([](GifSpec& g) { g.data = packCodes({{4, 3}, {5, 3}}); }), IS5_ERR_FORMAT},
        {"no image data", valid.substr(0, descriptor + 11), IS5_ERR_READ},
        {"empty data blocks", with([](GifSpec& g) { g.data.clear(); }), IS5_ERR_READ},
        {"declared 65535 x 65535", with([](GifSpec& g) { g.width = g.height = 65535; }), IS5_ERR_TOO_LARGE},
        {"screen far beyond the pixel limit", with([](GifSpec& g) { g.screenWidth = g.screenHeight = 60000; }),
         IS5_ERR_TOO_LARGE},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        Decoded d = readGif(r.file);
        EXPECT_EQ(d.rc, r.rc);
        EXPECT_TRUE(d.pixels.empty());
    }
}

TEST(GifRead, PixelLimitIsCheckedBeforeDecoding) {
    const std::string file = build(simple(20, 20, std::vector<unsigned>(400, 1)));
    ASSERT_EQ(readGif(file).rc, IS5_OK);
    is5_SetMaxPixels(399);
    Decoded d = readGif(file);
    is5_SetMaxPixels(0);
    EXPECT_EQ(d.rc, IS5_ERR_TOO_LARGE);
    EXPECT_TRUE(d.pixels.empty());
}

TEST(GifRead, ThroughTheImageObject) {
    testutil::TempDir dir;
    GifSpec g = simple(3, 2, {0, 1, 2, 3, 2, 1});
    g.global = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}, {4, 4, 4}};
    testutil::writeFile(dir / "p.gif", build(g));
    CISImageEx img;
    ASSERT_EQ(img.Read(dir / "p.gif", kImageDetect), 0u);
    EXPECT_EQ(img.imageType, kImageGif);
    EXPECT_EQ(img.bitsPerPixel, 8u);
    EXPECT_EQ(img.width, 3u);
    EXPECT_EQ(img.height, 2u);
    EXPECT_EQ(img.paletteColours, 8u);
    EXPECT_EQ(img.GetPixels()[4], 2);
    EXPECT_EQ(img.palette[2].g, 255);
    EXPECT_EQ(img.palette[3].b, 255);
}
