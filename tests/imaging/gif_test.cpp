// SPDX-License-Identifier: MIT
// GIF reader: hand-built files with known pixels and colours (LZW code growth, repeated
// strings, deferred clear, interlacing, colour tables, transparency, canvas placement),
// the header reader's agreement, and damaged files.
#include "codectest.h"

#include <algorithm>

namespace {

using namespace codectest;

struct Code {
    unsigned value, width;
};

// LZW codes packed least significant bit first.
std::string packCodes(const std::vector<Code>& codes) {
    std::string out;
    std::uint32_t acc = 0;
    unsigned bits = 0;
    for (const Code& c : codes) {
        acc |= c.value << bits;
        for (bits += c.width; bits >= 8; bits -= 8, acc >>= 8) out.push_back(static_cast<char>(acc & 0xFF));
    }
    if (bits) out.push_back(static_cast<char>(acc));
    return out;
}

// Literal codes at minimum code size 2, with a clear code every two so the width stays 3.
std::string literals(const std::vector<unsigned>& values) {
    std::vector<Code> codes;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i % 2 == 0) codes.push_back({4, 3});
        codes.push_back({values[i], 3});
    }
    codes.push_back({5, 3});
    return packCodes(codes);
}

std::string le16(unsigned v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

// A colour table of n entries: entry i is (10 + 30i, 20 + 30i, 30 + 30i).
std::string table(unsigned n) {
    std::string t;
    for (unsigned i = 0; i < n; ++i) t += {char(10 + 30 * i), char(20 + 30 * i), char(30 + 30 * i)};
    return t;
}

struct GifShape {
    unsigned width = 0, height = 0; // the frame; the screen too unless set
    std::string data;               // the packed LZW bytes
    std::string global = table(4);
    unsigned screenWidth = 0, screenHeight = 0, background = 0;
    unsigned left = 0, top = 0;
    bool interlaced = false;
    std::string local{}, extensions{};
    unsigned minCodeSize = 2;
    std::string version = "GIF89a";
    std::size_t chunk = 255; // sub-block size
};

std::uint8_t tableFlags(const std::string& t) {
    unsigned bits = 1;
    while ((3u << bits) < t.size()) ++bits;
    return static_cast<std::uint8_t>(t.empty() ? 0 : 0x80 | (bits - 1));
}

std::string build(const GifShape& g) {
    std::string f = g.version + le16(g.screenWidth ? g.screenWidth : g.width) +
                    le16(g.screenHeight ? g.screenHeight : g.height);
    f += {char(tableFlags(g.global)), char(g.background), '\0'};
    f += g.global + g.extensions + ',' + le16(g.left) + le16(g.top) + le16(g.width) + le16(g.height);
    f += {char(tableFlags(g.local) | (g.interlaced ? 0x40 : 0))};
    f += g.local + char(g.minCodeSize);
    for (std::size_t i = 0; i < g.data.size(); i += g.chunk) {
        std::string part = g.data.substr(i, g.chunk);
        f += char(part.size()) + part;
    }
    return f + std::string("\0;", 2);
}

std::string graphicControl(unsigned transparentIndex) {
    return std::string("\x21\xF9\x04\x01\0\0", 6) + char(transparentIndex) + '\0';
}

std::vector<std::uint8_t> asVector(const Bytes& b) { return {b.begin(), b.end()}; }

} // namespace

TEST(GifRead, GoldenPixelsAndColours) {
    using Entry = std::array<int, 4>; // index, r, g, b
    struct Row {
        const char* name;
        GifShape layout;
        std::uint32_t width, height, bits;
        std::vector<std::uint8_t> pixels;
        std::vector<Entry> colours{};
    };
    GifShape plain87{.width = 2, .height = 2, .data = literals({0, 1, 2, 3})};
    plain87.version = "GIF87a";
    // Code 6 arrives while it is being defined (the string so far plus its first value);
    // codes widen from 3 to 4 bits once entry 7 is made.
    const GifShape growth{.width = 13, .height = 1,
                         .data = packCodes({{4, 3}, {1, 3}, {6, 3}, {6, 3}, {7, 4}, {2, 4}, {9, 4}, {5, 4}})};
    // Stored row order 0, 4, 2, 1, 3: the four interlace passes.
    const GifShape interlaced{.width = 2, .height = 5, .data = literals({0, 1, 1, 1, 2, 3, 1, 2, 3, 0}),
                             .interlaced = true};
    const GifShape pieces{.width = 4, .height = 2, .data = literals({3, 2, 1, 0, 0, 1, 2, 3}), .chunk = 1};
    const GifShape onScreen{.width = 1, .height = 1, .data = literals({1}), .screenWidth = 3, .screenHeight = 1,
                           .background = 3, .left = 2};
    GifShape outsideBackground = onScreen;
    outsideBackground.background = 9;
    GifShape transparentAround{.width = 2, .height = 1, .data = literals({0, 1}), .screenWidth = 3,
                              .screenHeight = 2, .background = 3, .left = 1, .top = 1};
    transparentAround.extensions = graphicControl(2);
    const GifShape oversized{.width = 2, .height = 2, .data = literals({0, 1, 2, 3}), .screenWidth = 2,
                            .screenHeight = 1, .left = 1};
    // Eight 3-bit codes end exactly on a byte: no padding bits can pass for codes.
    const GifShape earlyEnd{.width = 8, .height = 1,
                           .data = packCodes({{4, 3}, {1, 3}, {3, 3}, {4, 3}, {0, 3}, {2, 3}, {4, 3}, {1, 3}}),
                           .background = 2};
    const GifShape laterBadCode{.width = 4, .height = 1, .data = packCodes({{4, 3}, {1, 3}, {7, 3}, {2, 3}}),
                               .background = 2}; // 7 names no entry yet
    const GifShape wideValues{.width = 2, .height = 1, .data = packCodes({{512, 10}, {300, 10}, {1, 10}, {513, 10}}),
                             .global = table(2), .minCodeSize = 9};
    const GifShape codeSizeOne{.width = 1, .height = 1, .data = packCodes({{2, 2}, {1, 2}, {3, 3}}),
                              .global = table(2), .minCodeSize = 1};
    GifShape local{.width = 2, .height = 2, .data = literals({0, 1, 2, 3}), .global = table(2)};
    local.local = std::string("\xFF\0\0\0\xFF\0\0\0\xFF\xFF\xFF\0", 12);
    const GifShape shortTable{.width = 2, .height = 1, .data = literals({3, 1}), .global = table(2)};
    const GifShape noTable{.width = 2, .height = 1, .data = literals({1, 2}), .global = ""};
    GifShape extensions{.width = 2, .height = 1, .data = literals({2, 1})};
    extensions.extensions = std::string("\x21\xFE\x05" "hello" "\x03" "abc\0", 13) +           // comment
                            std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\0\0\0", 19) +       // application
                            graphicControl(2) +                                           // for the text
                            std::string("\x21\x01\x0C", 3) + std::string(12, '\x01') + std::string("\x02hi\0", 4) +
                            std::string("\x21\x2A\x02zz\0", 6) + std::string("\x21\xF9\0", 3);

    const std::vector<Row> rows = {
        {"GIF87a 2x2", plain87, 2, 2, 2, {0, 1, 2, 3}, {{1, 40, 50, 60}, {3, 100, 110, 120}}},
        {"code growth, repeated strings", growth, 13, 1, 2, {1, 1, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 2}},
        {"interlaced 2x5", interlaced, 2, 5, 2, {0, 1, 1, 2, 2, 3, 3, 0, 1, 1}},
        {"one-byte sub-blocks", pieces, 4, 2, 2, {3, 2, 1, 0, 0, 1, 2, 3}},
        {"background around the frame", onScreen, 3, 1, 2, {3, 3, 1}},
        {"background outside the palette: 0", outsideBackground, 3, 1, 2, {0, 0, 1}},
        {"transparent index around the frame, white", transparentAround, 3, 2, 2, {2, 2, 2, 2, 0, 1},
         {{2, 255, 255, 255}, {1, 40, 50, 60}}},
        {"frame past the screen enlarges the canvas", oversized, 3, 2, 2, {0, 0, 1, 0, 2, 3}},
        {"data ends early: background after", earlyEnd, 8, 1, 2, {1, 3, 0, 2, 1, 2, 2, 2}},
        {"impossible code after pixels: stops", laterBadCode, 4, 1, 2, {1, 2, 2, 2}},
        {"values above 255: black past a short table", wideValues, 2, 1, 1, {2, 1}, {{2, 0, 0, 0}}},
        {"minimum code size 1", codeSizeOne, 1, 1, 1, {1}},
        {"local table replaces the global", local, 2, 2, 2, {0, 1, 2, 3},
         {{0, 255, 0, 0}, {3, 255, 255, 0}, {4, 0, 0, 0}, {255, 0, 0, 0}}},
        {"index past the table: black", shortTable, 2, 1, 1, {3, 1}, {{1, 40, 50, 60}, {3, 0, 0, 0}}},
        {"no colour table: grey ramp", noTable, 2, 1, 8, {1, 2}, {{2, 2, 2, 2}, {200, 200, 200, 200}}},
        {"extensions skipped, control block spent on text", extensions, 2, 1, 2, {2, 1}, {{2, 70, 80, 90}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string file = build(r.layout);
        std::uint32_t bits = 0;
        const Decoded d = readGif(file, &bits);
        ASSERT_EQ(d.code, IS5_OK);
        EXPECT_EQ(d.width, r.width);
        EXPECT_EQ(d.height, r.height);
        EXPECT_EQ(bits, r.bits);
        EXPECT_EQ(asVector(d.pixels), r.pixels);
        for (const Entry& e : r.colours) {
            const Is5Rgbq& p = d.palette[e[0]];
            EXPECT_EQ((Entry{e[0], p.r, p.g, p.b}), e);
        }
        const std::uint32_t globalBits = r.layout.global.empty() ? 8u : r.layout.global.size() == 6 ? 1u : 2u;
        EXPECT_EQ(headerDims(file, is5_GetGIFDims), (Dims{true, d.width, d.height, globalBits}));
    }
}

TEST(GifRead, FullTableStaysInUseUntilClear) {
    // Literals only: entry 6 + i holds values i and i + 1. Once entry 4095 exists the codes
    // stay 12 bits wide and nothing is added, and entry 4095 keeps its string until the
    // clear code restarts at 3 bits.
    std::vector<std::uint8_t> expected;
    std::vector<Code> codes = {{4, 3}};
    unsigned width = 3, next = 6;
    for (unsigned i = 0; i < 4091; ++i) {
        expected.push_back(static_cast<std::uint8_t>((i * 5 / 3) % 4));
        codes.push_back({expected.back(), width});
        if (i > 0) ++next;
        if (next == (1u << width) && width < 12) ++width;
    }
    ASSERT_EQ(next, 4096u);
    for (unsigned v : {3u, 2u, 1u}) {
        codes.push_back({v, 12});
        expected.push_back(static_cast<std::uint8_t>(v));
    }
    codes.push_back({4095, 12});
    expected.push_back(expected[4089]);
    expected.push_back(expected[4090]);
    codes.insert(codes.end(), {{4, 12}, {2, 3}, {5, 3}});
    expected.push_back(2);

    const Decoded d = readGif(build({.width = unsigned(expected.size()), .height = 1, .data = packCodes(codes)}));
    ASSERT_EQ(d.code, IS5_OK);
    EXPECT_EQ(asVector(d.pixels), expected);
}

TEST(GifRead, DamagedFilesFailCleanly) {
    const GifShape good{.width = 2, .height = 2, .data = literals({0, 1, 2, 3})};
    const std::string valid = build(good);
    const std::size_t descriptor = 13 + 12;
    ASSERT_EQ(valid[descriptor], ',');
    auto with = [&](auto change) {
        GifShape g = good;
        change(g);
        return build(g);
    };
    const std::vector<BadFile> rows = {
        {"empty", "", 8, IS5_ERR_READ},
        {"truncated signature", "GIF8", 8, IS5_ERR_READ},
        {"unknown version", with([](GifShape& g) { g.version = "GIF90a"; }), 8, IS5_ERR_FORMAT},
        {"ends inside the global table", valid.substr(0, 16), 8, IS5_ERR_READ},
        {"ends inside the image descriptor", valid.substr(0, descriptor + 5), 8, IS5_ERR_READ},
        {"trailer before any frame", valid.substr(0, descriptor) + ";", 8, IS5_ERR_FORMAT},
        {"stray byte between blocks", valid.substr(0, descriptor) + '\0' + valid.substr(descriptor), 8, IS5_ERR_FORMAT},
        {"zero-width frame", with([](GifShape& g) { g.width = 0; g.screenWidth = 2; }), 8, IS5_ERR_FORMAT},
        {"minimum code size 0", with([](GifShape& g) { g.minCodeSize = 0; }), 8, IS5_ERR_FORMAT},
        {"minimum code size 12", with([](GifShape& g) { g.minCodeSize = 12; }), 8, IS5_ERR_FORMAT},
        {"first code names no entry", with([](GifShape& g) { g.data = packCodes({{4, 3}, {7, 3}}); }), 8,
         IS5_ERR_FORMAT},
        {"end code before any pixel", with([](GifShape& g) { g.data = packCodes({{4, 3}, {5, 3}}); }), 8,
         IS5_ERR_FORMAT},
        {"file ends after the code size", valid.substr(0, descriptor + 11), 8, IS5_ERR_READ},
        {"no data blocks", with([](GifShape& g) { g.data.clear(); }), 8, IS5_ERR_READ},
        {"frame of 65535 x 65535", with([](GifShape& g) { g.width = g.height = 65535; }), 8, IS5_ERR_TOO_LARGE},
        {"screen of 60000 x 60000", with([](GifShape& g) { g.screenWidth = g.screenHeight = 60000; }), 8,
         IS5_ERR_TOO_LARGE},
    };
    expectEachFails(rows, [](const Bytes& file, std::uint32_t) { return readGif(file); });
}

TEST(GifRead, ThroughTheImageObject) {
    CISImageEx img;
    const GifShape desc{.width = 3, .height = 2, .data = literals({0, 1, 2, 3, 2, 1}), .global = table(8)};
    ASSERT_EQ(readObject(img, build(desc), "p.gif"), 0u);
    EXPECT_EQ(img.imageType, kImageGif);
    EXPECT_EQ(img.bitsPerPixel, 8u);
    EXPECT_EQ(img.width, 3u);
    EXPECT_EQ(img.paletteColours, 8u);
    EXPECT_EQ(img.GetPixels()[4], 2);
    EXPECT_EQ(img.palette[7].b, 240);
}
