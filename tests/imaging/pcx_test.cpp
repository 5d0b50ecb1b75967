// SPDX-License-Identifier: MIT
// PCX reader: hand-built files of every plane layout, palette source and encoding checked
// pixel by pixel, bad headers, the pixel guard, palettes, dimensions and the image object.
#include "codectest.h"

namespace {

using namespace codectest;

// Entry i of the header palette and of the end-of-file one.
Bytes hp(int i) { return hex({16 * i, 100 + i, 200 - i}); }
Bytes ep(int i) { return hex({i, 255 - i, i / 2}); }

Bytes headerPalette() {
    Bytes p;
    for (int i = 0; i < 16; ++i) p += hp(i);
    return p;
}
// After its marker.
Bytes endPalette() {
    Bytes p = hex({0x0C});
    for (int i = 0; i < 256; ++i) p += ep(i);
    return p;
}

// A PCX file put together field by field.
struct PcxFile {
    int version = 5, encoding = 1, bits = 8, planes = 1;
    int xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    int bytesPerLine = 2;
    Bytes palette16 = headerPalette();
    Bytes data = {}, trailer = {};

    Bytes build() const {
        Bytes b = hex({0x0A, version, encoding, bits});
        for (int v : {xMin, yMin, xMax, yMax, 300, 300}) put16(b, v);
        b += palette16;
        b += hex({0, planes});
        put16(b, bytesPerLine);
        put16(b, 1);
        b.resize(128, '\0');
        return b + data + trailer;
    }
};

PcxFile pcx(int bits, int planes, int w, int h, int bytesPerLine, Bytes data, int encoding = 1) {
    return {.encoding = encoding, .bits = bits, .planes = planes, .xMax = w - 1, .yMax = h - 1,
            .bytesPerLine = bytesPerLine, .data = std::move(data)};
}
PcxFile withTrailer(PcxFile f, Bytes trailer) {
    f.trailer = std::move(trailer);
    return f;
}

Decoded readPcx(const Bytes& file, std::uint32_t depth) {
    return decodeFile(file, "t.pcx", [&](IS5_SOURCE src, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* pal) {
        return is5_ReadPCX(src, w, h, depth, pal, 0);
    });
}

struct PixelRow {
    const char* name;
    PcxFile file;
    std::uint32_t depth;
    Bytes expected; // output pixels; for depth 8, the palette colours of the indexes
};

std::vector<PixelRow> pixelRows() {
    const Bytes w = hex({255, 255, 255}), k = hex({0, 0, 0});
    // Four planes of one bit, raw: index = plane bits 0..3 of each pixel: 3, 10, 5.
    const PcxFile ega = pcx(1, 4, 3, 1, 2, hex({0xA0, 0, 0xC0, 0, 0x20, 0, 0x40, 0}), 0);
    PcxFile egaV3 = ega;
    egaV3.version = 3;
    const PcxFile window{.encoding = 0, .bits = 4, .xMin = 10, .yMin = 7, .xMax = 12, .yMax = 7,
                         .data = hex({0x2F, 0x50})};
    return {
        {"1 bit: black and white whatever the header says", pcx(1, 1, 3, 2, 2, hex({0xA0, 0, 0x40, 0})), 24,
         w + k + w + k + w + k},
        {"1 bit, as indexes", pcx(1, 1, 3, 2, 2, hex({0xA0, 0, 0x40, 0})), 8, w + k + w + k + w + k},
        {"2 bits: header palette", pcx(2, 1, 3, 1, 2, hex({0xC1, 0xD8, 0})), 24, hp(3) + hp(1) + hp(2)},
        {"4 bits, raw", pcx(4, 1, 3, 1, 2, hex({0x2F, 0x50}), 0), 8, hp(2) + hp(15) + hp(5)},
        {"4 planes of 1 bit", ega, 24, hp(3) + hp(10) + hp(5)},
        {"version 2.8 without palette: EGA colours", egaV3, 8,
         hex({0x00, 0xAA, 0xAA, 0x55, 0xFF, 0x55, 0xAA, 0x00, 0xAA})},
        {"8 bits with the palette at the end", withTrailer(pcx(8, 1, 3, 1, 4, hex({1, 0xC2, 5, 0})), endPalette()), 24,
         ep(1) + ep(5) + ep(5)},
        {"8 bits, as indexes", withTrailer(pcx(8, 1, 3, 1, 4, hex({1, 0xC2, 5, 0})), endPalette()), 8,
         ep(1) + ep(5) + ep(5)},
        {"8 bits without a palette: grey", pcx(8, 1, 3, 1, 4, hex({1, 0xC2, 5, 0})), 24,
         hex({1, 1, 1, 5, 5, 5, 5, 5, 5})},
        {"a run across scan lines", pcx(8, 1, 2, 2, 2, hex({0xC4, 7})), 24, Bytes(12, '\7')},
        {"window away from the origin", window, 8, hp(2) + hp(15) + hp(5)},
        {"24 bits in three planes",
         pcx(8, 3, 2, 2, 2, hex({10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120}), 0), 24,
         hex({10, 30, 50, 20, 40, 60, 70, 90, 110, 80, 100, 120})},
        {"four planes of 8 bits: alpha over white", pcx(8, 4, 2, 1, 2, hex({255, 0, 0, 0, 0, 0, 128, 0}), 0), 24,
         hex({255, 127, 127}) + w},
        {"four planes of 8 bits, alpha zero: opaque", pcx(8, 4, 2, 1, 2, hex({255, 0, 0, 0, 0, 0, 0, 0}), 0), 24,
         hex({255, 0, 0}) + k},
    };
}

// Failures name the row rather than dumping its bytes.
void PrintTo(const PixelRow& row, std::ostream* os) { *os << row.name; }

class PcxPixels : public ::testing::TestWithParam<PixelRow> {};

} // namespace

TEST_P(PcxPixels, DecodeToKnownPixels) {
    const PixelRow& row = GetParam();
    const Bytes file = row.file.build();
    Decoded d = readPcx(file, row.depth);
    ASSERT_EQ(d.code, IS5_OK);
    EXPECT_EQ(d.width, std::uint32_t(row.file.xMax - row.file.xMin + 1));
    EXPECT_EQ(d.height, std::uint32_t(row.file.yMax - row.file.yMin + 1));
    EXPECT_EQ(row.depth == 8 ? d.colours(8) : d.pixels, row.expected);
    ResolutionInfo res;
    EXPECT_EQ(headerDims(file, [&](IS5_SOURCE s, auto* w, auto* h, auto* b) { return is5_GetPCXDims(s, w, h, b, &res); }),
              (Dims{true, d.width, d.height, std::uint32_t(row.file.bits * row.file.planes)}));
    EXPECT_EQ(res.xResolution, 300.0);
    EXPECT_EQ(res.unit, 2);
}

INSTANTIATE_TEST_SUITE_P(Rows, PcxPixels, ::testing::ValuesIn(pixelRows()),
                         [](const auto& info) { return rowName(info.param.name, info.index); });

TEST(PcxErrors, BadFilesGiveTheirCode) {
    const PcxFile ok = pcx(8, 1, 3, 1, 4, hex({1, 2, 3, 0}), 0);
    auto with = [&](auto change) {
        PcxFile f = ok;
        change(f);
        return f.build();
    };
    const std::vector<BadFile> cases = {
        {"line shorter than the width", pcx(1, 1, 17, 1, 2, hex({0, 0})).build(), 24, IS5_ERR_FORMAT},
        {"window ends before it starts", with([](PcxFile& f) { f.xMin = 5, f.xMax = 4; }), 24, IS5_ERR_FORMAT},
        {"encoding 2", with([](PcxFile& f) { f.encoding = 2; }), 24, IS5_ERR_FORMAT},
        {"not ZSoft", "\x0B" + ok.build().substr(1), 24, IS5_ERR_FORMAT},
        {"no planes", with([](PcxFile& f) { f.planes = 0; }), 24, IS5_ERR_FORMAT},
        {"one plane of 24 bits", with([](PcxFile& f) { f.bits = 24, f.bytesPerLine = 12; }), 24, IS5_ERR_UNSUPPORTED},
        {"raw data short", with([](PcxFile& f) { f.data.resize(3); }), 24, IS5_ERR_READ},
        {"run-length data ends early", pcx(8, 1, 4, 2, 4, hex({0xC4, 1, 2})).build(), 24, IS5_ERR_READ},
        {"picture far larger than its data", pcx(8, 1, 60000, 1000, 60000, hex({0xFF, 1})).build(), 24, IS5_ERR_READ},
        {"huge picture", with([](PcxFile& f) { f.xMax = f.yMax = 65534, f.bytesPerLine = 65535; }), 24,
         IS5_ERR_TOO_LARGE},
        {"depth 8 of 24 bits", pcx(8, 3, 1, 1, 2, Bytes(6, '\1'), 0).build(), 8, IS5_ERR_PARAM},
        {"depth 1", ok.build(), 1, IS5_ERR_PARAM},
    };
    expectEachFails(cases, readPcx);
}

// The image object reads pictures of up to 8 bits per pixel at depth 8 with the palette
// reader's colours, and others at 24 bits.
TEST(PcxImageObject, DepthVariantAndPalette) {
    struct Row {
        PcxFile file;
        int type;
        std::uint32_t depth, colours;
        Bytes colour1;
    };
    const std::vector<Row> cases = {
        {pcx(1, 1, 3, 1, 2, hex({0xA0, 0})), kImagePcxPalette, 8, 2, hex({255, 255, 255})},
        {pcx(1, 4, 3, 1, 2, Bytes(8, '\0'), 0), kImagePcxPalette, 8, 16, hp(1)},
        {withTrailer(pcx(8, 1, 3, 1, 4, hex({1, 2, 3, 0}), 0), endPalette()), kImagePcxPalette, 8, 256, ep(1)},
        {pcx(8, 3, 1, 1, 2, Bytes(6, '\1'), 0), kImagePcx, 24, 0, Bytes()},
    };
    for (const Row& c : cases) {
        CISImageEx img;
        ASSERT_EQ(readObject(img, c.file.build(), "p.pcx"), 0u);
        EXPECT_EQ(img.imageType, c.type);
        EXPECT_EQ(img.bitsPerPixel, c.depth);
        EXPECT_EQ(img.paletteColours, c.colours);
        if (c.depth == 8) { EXPECT_EQ(hex({img.palette[1].r, img.palette[1].g, img.palette[1].b}), c.colour1); }
    }
}
