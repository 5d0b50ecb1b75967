// SPDX-License-Identifier: MIT
// BMP reader: hand-built files of every header, depth and compression checked pixel by
// pixel, row padding, bad headers, the pixel guard, palettes, resolution and the image object.
#include "codectest.h"

namespace {

using namespace codectest;

struct Rgb {
    std::uint8_t r, g, b;
};

// A BMP file put together field by field, as a writer would.
struct BmpFile {
    std::uint32_t headerSize = 40;
    std::int32_t width = 1, height = 1;
    std::uint32_t bitCount = 24;
    std::uint32_t compression = 0;
    std::uint32_t coloursUsed = 0;
    std::int32_t pelsPerMetre = 2835;
    std::vector<std::uint32_t> masks = {}; // after a 40-byte header, else inside the header
    std::vector<Rgb> palette = {};
    Bytes data;

    Bytes build() const {
        const std::uint32_t entry = headerSize == 12 ? 3 : 4;
        const std::uint32_t extra = headerSize == 40 ? 4 * std::uint32_t(masks.size()) : 0;
        const std::uint32_t offset = 14 + headerSize + extra + entry * std::uint32_t(palette.size());
        Bytes b = "BM";
        put32(b, offset + std::uint32_t(data.size()));
        put32(b, 0);
        put32(b, offset);
        put32(b, headerSize);
        if (headerSize == 12) {
            put16(b, width);
            put16(b, height);
            put16(b, 1);
            put16(b, bitCount);
        } else {
            Bytes h;
            put32(h, width);
            put32(h, height);
            put16(h, 1);
            put16(h, bitCount);
            put32(h, compression);
            put32(h, 0);
            put32(h, pelsPerMetre);
            put32(h, pelsPerMetre);
            put32(h, coloursUsed);
            put32(h, 0);
            if (headerSize > 40)
                for (std::uint32_t m : masks) put32(h, m);
            h.resize(headerSize - 4, '\0');
            b += h;
            if (headerSize == 40)
                for (std::uint32_t m : masks) put32(b, m);
        }
        for (const Rgb& c : palette) {
            b += hex({c.b, c.g, c.r});
            if (entry == 4) b.push_back('\0');
        }
        return b + data;
    }
};

// Rows of pixel values packed as stored: indexes MSB first, 16/32-bit little-endian words,
// 24-bit values 0xRRGGBB as B, G, R; each row padded to four bytes.
Bytes rows(std::uint32_t bpp, const std::vector<std::vector<std::uint32_t>>& values) {
    Bytes out;
    for (const auto& row : values) {
        Bytes r((row.size() * bpp + 31) / 32 * 4, '\0');
        for (std::size_t x = 0; x < row.size(); ++x) {
            const std::uint32_t v = row[x];
            if (bpp <= 8) {
                r[x * bpp / 8] = char(std::uint8_t(r[x * bpp / 8]) | v << (8 - bpp - x * bpp % 8));
            } else {
                for (std::uint32_t i = 0; i < bpp / 8; ++i) r[x * bpp / 8 + i] = char(v >> (8 * i));
            }
        }
        out += r;
    }
    return out;
}

Decoded readBmp(const Bytes& file, std::uint32_t depth) {
    return decodeFile(file, "t.bmp", [&](IS5_SOURCE src, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* pal) {
        return is5_ReadBMP(src, w, h, depth, pal, 0);
    });
}

const std::vector<Rgb> kRedBlue = {{255, 0, 0}, {0, 0, 255}};
const std::vector<Rgb> kSteps = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}, {13, 14, 15}, {16, 17, 18}};

struct PixelRow {
    const char* name;
    BmpFile file;
    std::uint32_t depth;
    std::uint32_t width, height;
    Bytes expected; // output pixels; for depth 8, the palette colours of the indexes
};

BmpFile indexed(std::uint32_t bpp, std::int32_t w, std::int32_t h, std::vector<Rgb> pal, Bytes data) {
    // A braced list is evaluated in order: the count is taken before the palette moves.
    return {.width = w, .height = h, .bitCount = bpp, .coloursUsed = std::uint32_t(pal.size()),
            .palette = std::move(pal), .data = std::move(data)};
}
BmpFile direct(std::uint32_t bpp, std::int32_t w, std::int32_t h, Bytes data, std::uint32_t headerSize = 40,
               std::uint32_t compression = 0, std::vector<std::uint32_t> masks = {}) {
    return {.headerSize = headerSize, .width = w, .height = h, .bitCount = bpp, .compression = compression,
            .masks = std::move(masks), .data = std::move(data)};
}
// The file with another header size and compression.
BmpFile withHeader(BmpFile f, std::uint32_t headerSize, std::uint32_t compression = 0) {
    f.headerSize = headerSize;
    f.compression = compression;
    return f;
}

std::vector<PixelRow> pixelRows() {
    const BmpFile oneBit = indexed(1, 3, 2, kRedBlue, rows(1, {{1, 0, 1}, {0, 0, 1}}));
    // RLE8, 3x3: a run, end of line; an absolute run with padding, end of line; a delta
    // over one pixel, a one-pixel run, end of bitmap (the rest stays index 0).
    const BmpFile rle8 =
        withHeader(indexed(8, 3, 3, kSteps, hex({3, 5, 0, 0, 0, 3, 1, 2, 3, 0, 0, 0, 0, 2, 1, 0, 1, 4, 0, 1})), 40, 1);
    const BmpFile rle8Clipped = withHeader(indexed(8, 2, 2, kSteps, hex({5, 1, 0, 0, 2, 2, 0, 1})), 40, 1);
    const BmpFile rle4 = withHeader(indexed(4, 3, 2, kSteps, hex({3, 0x12, 0, 0, 0, 3, 0x34, 0x50, 0, 1})), 40, 2);
    const Bytes s0 = hex({1, 2, 3}), s1 = hex({4, 5, 6}), s2 = hex({7, 8, 9}), s3 = hex({10, 11, 12}),
                s4 = hex({13, 14, 15}), s5 = hex({16, 17, 18});
    const Bytes red = hex({255, 0, 0}), blue = hex({0, 0, 255}), white = hex({255, 255, 255});
    return {
        {"1-bit, bottom-up, 24", oneBit, 24, 3, 2, red + red + blue + blue + red + blue},
        {"1-bit, bottom-up, 1", oneBit, 1, 3, 2, hex({0x20, 0xA0})},
        {"2-bit", indexed(2, 3, 1, {kSteps.begin(), kSteps.begin() + 4}, rows(2, {{3, 1, 2}})), 24, 3, 1, s3 + s1 + s2},
        {"4-bit", indexed(4, 3, 1, kSteps, rows(4, {{2, 0, 5}})), 8, 3, 1, s2 + s0 + s5},
        {"8-bit, top-down", indexed(8, 2, -2, kSteps, rows(8, {{0, 1}, {2, 2}})), 24, 2, 2, s0 + s1 + s2 + s2},
        {"8-bit, index past the palette reads as 0",
         indexed(8, 3, 1, {{9, 9, 9}, {1, 1, 1}}, rows(8, {{1, 7, 0}})), 24, 3, 1, hex({1, 1, 1, 9, 9, 9, 9, 9, 9})},
        {"OS/2 1.x core header", withHeader(indexed(8, 2, 1, kSteps, rows(8, {{1, 0}})), 12), 24, 2, 1, s1 + s0},
        {"OS/2 2.x 16-byte header", withHeader(indexed(4, 3, 1, kSteps, rows(4, {{0, 1, 0}})), 16), 24, 3, 1,
         s0 + s1 + s0},
        {"RLE8 runs, absolute, delta, end of bitmap", rle8, 8, 3, 3, s0 + s4 + s0 + s1 + s2 + s3 + s5 + s5 + s5},
        {"RLE8 run past the row end is clipped", rle8Clipped, 24, 2, 2, s2 + s2 + s1 + s1},
        {"RLE4 runs and absolute", rle4, 24, 3, 2, s3 + s4 + s5 + s1 + s2 + s1},
        {"OS/2 RLE24 absolute run",
         direct(24, 3, 1, hex({0, 3, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 1}), 64, 4), 24, 3, 1, s0 + s1 + s2},
        {"16-bit 5-5-5", direct(16, 3, 1, rows(16, {{0x7C00, 0x03E0, 0x0011}})), 24, 3, 1,
         hex({255, 0, 0, 0, 255, 0, 0, 0, 140})},
        {"16-bit 5-6-5 bit fields", direct(16, 3, 1, rows(16, {{0xF800, 0x07E0, 0x0020}}), 40, 3, {0xF800, 0x07E0, 0x1F}),
         24, 3, 1, hex({255, 0, 0, 0, 255, 0, 0, 4, 0})},
        {"32-bit, 40-byte header: fourth byte ignored", direct(32, 1, 1, rows(32, {{0x80112233}})), 24, 1, 1,
         hex({0x11, 0x22, 0x33})},
        {"32-bit, V5 alpha mask: over white",
         direct(32, 3, 1, rows(32, {{0xFF112233, 0x00112233, 0x80FF0000}}), 124, 0, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}),
         24, 3, 1, hex({0x11, 0x22, 0x33, 255, 255, 255, 255, 127, 127})},
        {"32-bit, V5 alpha mask all zero: opaque",
         direct(32, 2, 1, rows(32, {{0x00112233, 0x00445566}}), 124, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}), 24, 2, 1,
         hex({0x11, 0x22, 0x33, 0x44, 0x55, 0x66})},
        {"32-bit alpha bit fields after a 40-byte header",
         direct(32, 2, 1, rows(32, {{0x112233FF, 0xAABBCC00}}), 40, 6, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}), 24, 2, 1,
         hex({0x11, 0x22, 0x33}) + white},
        {"32-bit 10-10-10 bit fields keep the top 8 bits",
         direct(32, 1, 1, rows(32, {{0x3FF80003}}), 40, 3, {0x3FF00000, 0xFFC00, 0x3FF}), 24, 1, 1, hex({255, 0x80, 0})},
    };
}

// Failures name the row rather than dumping its bytes.
void PrintTo(const PixelRow& row, std::ostream* os) { *os << row.name; }

class BmpPixels : public ::testing::TestWithParam<PixelRow> {};

} // namespace

TEST_P(BmpPixels, DecodeToKnownPixels) {
    const PixelRow& row = GetParam();
    const Bytes file = row.file.build();
    Decoded d = readBmp(file, row.depth);
    ASSERT_EQ(d.code, IS5_OK);
    EXPECT_EQ(d.width, row.width);
    EXPECT_EQ(d.height, row.height);
    EXPECT_EQ(row.depth == 8 ? d.colours(8) : d.pixels, row.expected);

    // The header reader agrees with the picture.
    EXPECT_EQ(headerDims(file, [](IS5_SOURCE s, auto* w, auto* h, auto* b) { return is5_GetBMPDims(s, w, h, b, nullptr); }),
              (Dims{true, d.width, d.height, row.file.bitCount}));
}

INSTANTIATE_TEST_SUITE_P(Rows, BmpPixels, ::testing::ValuesIn(pixelRows()),
                         [](const auto& info) { return rowName(info.param.name, info.index); });

// Every row length pads to four bytes differently: widths 1, 3 and 124-127 at each depth.
TEST(BmpRowPadding, WidthsAndDepths) {
    for (std::uint32_t bpp : {1u, 4u, 8u, 24u}) {
        for (std::int32_t w : {1, 3, 124, 125, 126, 127}) {
            SCOPED_TRACE(std::to_string(bpp) + " bits, width " + std::to_string(w));
            const std::uint32_t levels = bpp == 24 ? 0 : 1u << bpp;
            auto value = [&](std::int32_t x, std::int32_t y) -> std::uint32_t {
                return bpp == 24 ? std::uint32_t(x << 16 | y << 8 | (x ^ 0x5A)) : std::uint32_t(x * 7 + y * 3) % levels;
            };
            std::vector<Rgb> pal;
            for (std::uint32_t i = 0; i < levels; ++i) pal.push_back({std::uint8_t(i), std::uint8_t(255 - i), 7});
            std::vector<std::vector<std::uint32_t>> stored(3, std::vector<std::uint32_t>(w));
            Bytes expected;
            for (std::int32_t y = 0; y < 3; ++y)
                for (std::int32_t x = 0; x < w; ++x) stored[2 - y][x] = value(x, y); // bottom-up
            for (std::int32_t y = 0; y < 3; ++y)
                for (std::int32_t x = 0; x < w; ++x) {
                    const std::uint32_t v = value(x, y);
                    expected += bpp == 24 ? hex({int(v >> 16), int(v >> 8 & 0xFF), int(v & 0xFF)})
                                          : hex({pal[v].r, pal[v].g, pal[v].b});
                }
            BmpFile f = bpp == 24 ? direct(24, w, 3, rows(24, stored)) : indexed(bpp, w, 3, pal, rows(bpp, stored));
            for (std::uint32_t depth : bpp <= 8 ? std::vector{24u, 8u} : std::vector{24u}) {
                const Decoded d = readBmp(f.build(), depth);
                ASSERT_EQ(d.code, IS5_OK) << depth;
                EXPECT_EQ(depth == 8 ? d.colours(8) : d.pixels, expected) << depth;
            }
        }
    }
}

TEST(BmpErrors, BadFilesGiveTheirCode) {
    BmpFile ok = direct(24, 4, 4, rows(24, std::vector<std::vector<std::uint32_t>>(4, {1, 2, 3, 4})));
    auto with = [&](auto change) {
        BmpFile f = ok;
        change(f);
        return f.build();
    };
    // Two rows short, no end of bitmap.
    const BmpFile rleCut = withHeader(indexed(8, 4, 4, kSteps, hex({4, 1, 0, 0, 4, 2})), 40, 1);
    const Bytes full = ok.build();
    const std::vector<BadFile> cases = {
        {"not BM", "BA" + full.substr(2), 24, IS5_ERR_FORMAT},
        {"header size 66", with([](BmpFile& f) { f.headerSize = 66; }), 24, IS5_ERR_FORMAT},
        {"width 0", with([](BmpFile& f) { f.width = 0; }), 24, IS5_ERR_FORMAT},
        {"negative width", with([](BmpFile& f) { f.width = -4; }), 24, IS5_ERR_FORMAT},
        {"height 0", with([](BmpFile& f) { f.height = 0; }), 24, IS5_ERR_FORMAT},
        {"3 bits per pixel", with([](BmpFile& f) { f.bitCount = 3; }), 24, IS5_ERR_FORMAT},
        {"RLE8 with 24 bits", with([](BmpFile& f) { f.compression = 1; }), 24, IS5_ERR_FORMAT},
        {"3 colours in a 1-bit file", indexed(1, 4, 1, {kSteps.begin(), kSteps.begin() + 3}, rows(1, {{0, 1, 0, 1}})).build(),
         24, IS5_ERR_FORMAT},
        {"mask with a gap", direct(16, 1, 1, rows(16, {{0}}), 40, 3, {0xF0F0, 0x0F00, 0x000F}).build(), 24,
         IS5_ERR_FORMAT},
        {"JPEG inside", with([](BmpFile& f) { f.compression = 4; }), 24, IS5_ERR_UNSUPPORTED},
        {"rows missing", full.substr(0, full.size() - 20), 24, IS5_ERR_READ},
        // The pixel offset is checked against the file before anything is read from it.
        {"pixel offset past the end", full.substr(0, 10) + hex({0xFF, 0xFF}) + full.substr(12), 24, IS5_ERR_READ},
        {"palette past the end", indexed(8, 1, 1, kSteps, "").build().substr(0, 60), 24, IS5_ERR_READ},
        {"RLE data ends early", rleCut.build(), 24, IS5_ERR_READ},
        {"huge picture", with([](BmpFile& f) { f.width = f.height = 100000; }), 24, IS5_ERR_TOO_LARGE},
        {"depth 8 of a 24-bit file", full, 8, IS5_ERR_PARAM},
        {"depth 1 of a 4-bit file", indexed(4, 1, 1, kSteps, rows(4, {{1}})).build(), 1, IS5_ERR_PARAM},
        {"depth 16", full, 16, IS5_ERR_PARAM},
    };
    expectEachFails(cases, readBmp);
}

TEST(BmpPalette, StoredEntriesAndCount) {
    struct Row {
        BmpFile file;
        std::uint32_t count;
    };
    std::vector<Rgb> ramp16;
    for (int i = 0; i < 16; ++i) ramp16.push_back({std::uint8_t(i), std::uint8_t(2 * i), std::uint8_t(3 * i)});
    const std::vector<Row> cases = {
        {indexed(8, 1, 1, {kSteps.begin(), kSteps.begin() + 3}, rows(8, {{0}})), 3},
        {indexed(1, 1, 1, {{5, 6, 7}}, rows(1, {{0}})), 2}, // 1-bit files always report two
        {withHeader(indexed(4, 1, 1, ramp16, rows(4, {{0}})), 12), 16},  // OS/2 1.x, 3-byte entries
    };
    for (const Row& c : cases) {
        Bytes file = c.file.build();
        IS5_SOURCE src = is5_OpenMemorySource(file.data(), file.size(), "p.bmp");
        std::uint32_t count = 0;
        std::array<Is5Rgbq, 256> pal;
        pal.fill({1, 1, 1, 1});
        ASSERT_TRUE(is5_GetBMPPalette(src, &count, pal.data(), 0));
        is5_CloseSource(src);
        EXPECT_EQ(count, c.count);
        // The stored entries with their fourth byte 0, then black to the end.
        Bytes want(sizeof pal, '\0');
        for (std::size_t i = 0; i < c.file.palette.size(); ++i)
            want.replace(i * 4, 3, hex({c.file.palette[i].r, c.file.palette[i].g, c.file.palette[i].b}));
        EXPECT_EQ(Bytes(reinterpret_cast<const char*>(pal.data()), sizeof pal), want);
    }
}

// The image object picks the depth from the header, and turns pixels per metre into
// pixels per centimetre; a file without resolution gets 300 x 300 without unit.
TEST(BmpImageObject, DepthVariantAndResolution) {
    struct Row {
        BmpFile file;
        int type;
        std::uint32_t depth, colours;
        double resolution;
        int unit;
    };
    const BmpFile noResolution = {.width = 2, .pelsPerMetre = 0, .data = rows(24, {{1, 2}})};
    const std::vector<Row> cases = {
        {indexed(1, 3, 2, kRedBlue, rows(1, {{1, 0, 1}, {0, 0, 1}})), kImageBmpBw, 1, 2, 28.35, 3},
        {indexed(4, 3, 1, kSteps, rows(4, {{2, 0, 5}})), kImageBmpPalette, 8, 6, 28.35, 3},
        {direct(24, 2, 1, rows(24, {{1, 2}})), kImageBmp, 24, 0, 28.35, 3},
        {noResolution, kImageBmp, 24, 0, 300.0, 1},
    };
    for (const Row& c : cases) {
        CISImageEx img;
        ASSERT_EQ(readObject(img, c.file.build(), "p.bmp"), 0u);
        EXPECT_EQ(img.imageType, c.type);
        EXPECT_EQ(img.bitsPerPixel, c.depth);
        EXPECT_EQ(img.paletteColours, c.colours);
        EXPECT_DOUBLE_EQ(img.xResolution, c.resolution);
        EXPECT_EQ(img.resolutionUnit, c.unit);
    }
}
