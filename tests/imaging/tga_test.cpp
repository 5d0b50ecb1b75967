// SPDX-License-Identifier: MIT
// TGA reader: hand-built files of every image type, depth, origin and alpha rule checked
// pixel by pixel, RLE packets across rows, bad files, the pixel guard, palettes, the image
// object, and the same pictures stored in several layouts.
#include "corpus.h"
#include "codectest.h"

namespace {

using namespace codectest;

// A TGA file put together field by field; a non-negative attribute type adds a version 2
// extension area and footer.
struct TgaFile {
    int imageType = 2;
    int colourMapType = 0;
    int mapFirst = 0, mapLength = 0, mapBits = 0;
    int width = 1, height = 1, pixelBits = 24, descriptor = 0;
    Bytes id = {}, map = {}, data = {};
    int attributeType = -1;

    Bytes build() const {
        Bytes b = hex({int(id.size()), colourMapType, imageType});
        put16(b, mapFirst);
        put16(b, mapLength);
        b += hex({mapBits, 0, 0, 0, 0});
        put16(b, width);
        put16(b, height);
        b += hex({pixelBits, descriptor});
        b += id + map + data;
        if (attributeType >= 0) {
            const std::uint32_t extension = std::uint32_t(b.size());
            Bytes area(495, '\0');
            area[0] = char(495 & 0xFF);
            area[1] = char(495 >> 8);
            area[494] = char(attributeType);
            b += area;
            put32(b, extension);
            b += Bytes(4, '\0') + "TRUEVISION-XFILE." + Bytes(1, '\0');
        }
        return b;
    }
};

Decoded readTga(const Bytes& file, std::uint32_t depth) {
    return decodeFile(file, "t.tga", [&](IS5_SOURCE src, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* pal) {
        return is5_ReadTGA(src, w, h, depth, pal, 0);
    });
}

TgaFile trueColour(int w, int h, int bits, int descriptor, Bytes data, int attributeType = -1) {
    return {.width = w, .height = h, .pixelBits = bits, .descriptor = descriptor, .data = std::move(data),
            .attributeType = attributeType};
}
// A one-row picture of 8-bit indexes into `length` colours of `bits` from index `first`.
TgaFile mapped(int first, int bits, Bytes map, int length, int w, Bytes indexes, int descriptor = 0) {
    return {.imageType = 1, .colourMapType = 1, .mapFirst = first, .mapLength = length, .mapBits = bits, .width = w,
            .pixelBits = 8, .descriptor = descriptor, .map = std::move(map), .data = std::move(indexes)};
}
TgaFile typed(TgaFile f, int imageType) {
    f.imageType = imageType;
    return f;
}

struct PixelRow {
    const char* name;
    TgaFile file;
    std::uint32_t depth;
    Bytes expected; // output pixels; for depth 8, the palette colours of the indexes
};

const Bytes kWhite = hex({255, 255, 255}), kBlack = hex({0, 0, 0});
const Bytes kRgb2x2 = hex({3, 2, 1, 6, 5, 4, 9, 8, 7, 12, 11, 10}); // two rows of B, G, R

std::vector<PixelRow> pixelRows() {
    const Bytes p1 = hex({1, 2, 3}), p2 = hex({4, 5, 6}), p3 = hex({7, 8, 9}), p4 = hex({10, 11, 12});
    const Bytes alphaPixels = hex({0x33, 0x22, 0x11, 0xFF, 0x33, 0x22, 0x11, 0x00, 0x00, 0x00, 0xFF, 0x80});
    const Bytes zeroAlpha = hex({0x33, 0x22, 0x11, 0, 0x66, 0x55, 0x44, 0});
    const Bytes map24 = hex({30, 20, 10, 60, 50, 40, 90, 80, 70});
    // A true-colour file with an image id and a colour map it does not use, both skipped.
    const TgaFile withId{.colourMapType = 1, .mapLength = 2, .mapBits = 24, .width = 2, .height = 2, .descriptor = 0x20,
                         .id = "hello", .map = Bytes(6, '\x77'), .data = kRgb2x2};
    return {
        {"24-bit, bottom-left origin", trueColour(2, 2, 24, 0x00, kRgb2x2), 24, p3 + p4 + p1 + p2},
        {"24-bit, top-left origin", trueColour(2, 2, 24, 0x20, kRgb2x2), 24, p1 + p2 + p3 + p4},
        {"24-bit, top-right origin", trueColour(2, 2, 24, 0x30, kRgb2x2), 24, p2 + p1 + p4 + p3},
        {"image id and unused colour map skipped", withId, 24, p1 + p2 + p3 + p4},
        {"16-bit: the attribute bit alone is not alpha",
         trueColour(3, 1, 16, 0x01, hex({0x00, 0x7C, 0xE0, 0x83, 0x11, 0x00})), 24,
         hex({255, 0, 0, 0, 255, 0, 0, 0, 140})},
        {"16-bit: alpha when the extension area says so",
         trueColour(2, 1, 16, 0x01, hex({0x00, 0x7C, 0x00, 0xFC}), 3), 24, kWhite + hex({255, 0, 0})},
        {"32-bit: alpha by the descriptor", trueColour(3, 1, 32, 0x08, alphaPixels), 24,
         hex({0x11, 0x22, 0x33}) + kWhite + hex({255, 127, 127})},
        {"32-bit: no attribute bits, opaque", trueColour(3, 1, 32, 0x00, alphaPixels), 24,
         hex({0x11, 0x22, 0x33, 0x11, 0x22, 0x33, 255, 0, 0})},
        {"32-bit: alpha zero everywhere, opaque", trueColour(2, 1, 32, 0x08, zeroAlpha), 24,
         hex({0x11, 0x22, 0x33, 0x44, 0x55, 0x66})},
        {"32-bit: extension area says no alpha", trueColour(3, 1, 32, 0x08, alphaPixels, 0), 24,
         hex({0x11, 0x22, 0x33, 0x11, 0x22, 0x33, 255, 0, 0})},
        {"32-bit: premultiplied alpha", trueColour(2, 1, 32, 0x08, hex({0, 0, 0x40, 0x80, 0, 0, 0, 0}), 4), 24,
         hex({191, 127, 127}) + kWhite},
        {"colour map from index 2; others black", mapped(2, 24, map24, 3, 5, hex({2, 4, 3, 0, 9})), 24,
         hex({10, 20, 30, 70, 80, 90, 40, 50, 60}) + kBlack + kBlack},
        {"colour map from index 2, as indexes", mapped(2, 24, map24, 3, 5, hex({2, 4, 3, 0, 9})), 8,
         hex({10, 20, 30, 70, 80, 90, 40, 50, 60}) + kBlack + kBlack},
        {"15-bit colour map", mapped(0, 15, hex({0x00, 0x7C, 0x1F, 0x00}), 2, 2, hex({1, 0})), 24,
         hex({0, 0, 255, 255, 0, 0})},
        {"32-bit colour map with alpha", mapped(0, 32, hex({0, 0, 255, 0x80, 255, 0, 0, 255}), 2, 2, hex({0, 1}), 0x08),
         8, hex({255, 127, 127, 0, 0, 255})},
        {"8-bit grey", typed(trueColour(3, 1, 8, 0x20, hex({0, 128, 255})), 3), 24,
         hex({0, 0, 0, 128, 128, 128, 255, 255, 255})},
        {"8-bit grey, as indexes", typed(trueColour(3, 1, 8, 0x20, hex({0, 128, 255})), 3), 8,
         hex({0, 0, 0, 128, 128, 128, 255, 255, 255})},
        {"grey with alpha", typed(trueColour(2, 1, 16, 0x08, hex({0x40, 0xFF, 0x40, 0x00})), 3), 24,
         hex({0x40, 0x40, 0x40}) + kWhite},
        {"RLE true colour, packets across rows",
         typed(trueColour(3, 2, 24, 0x20, hex({0x83, 3, 2, 1, 0x01, 6, 5, 4, 9, 8, 7})), 10), 24,
         p1 + p1 + p1 + p1 + p2 + p3},
        {"RLE grey, bottom-left", typed(trueColour(2, 2, 8, 0x00, hex({0x00, 0x10, 0x82, 0x20})), 11), 8,
         hex({0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x10, 0x10, 0x10, 0x20, 0x20, 0x20})},
        {"RLE colour map", typed(mapped(0, 24, map24, 3, 4, hex({0x81, 2, 0x01, 0, 1})), 9), 24,
         hex({70, 80, 90, 70, 80, 90, 10, 20, 30, 40, 50, 60})},
    };
}

// Failures name the row rather than dumping its bytes.
void PrintTo(const PixelRow& row, std::ostream* os) { *os << row.name; }

class TgaPixels : public ::testing::TestWithParam<PixelRow> {};

} // namespace

TEST_P(TgaPixels, DecodeToKnownPixels) {
    const PixelRow& row = GetParam();
    const Bytes file = row.file.build();
    Decoded d = readTga(file, row.depth);
    ASSERT_EQ(d.code, IS5_OK);
    EXPECT_EQ(d.width, std::uint32_t(row.file.width));
    EXPECT_EQ(d.height, std::uint32_t(row.file.height));
    EXPECT_EQ(row.depth == 8 ? d.colours(8) : d.pixels, row.expected);
    EXPECT_EQ(headerDims(file, is5_GetTGADims), (Dims{true, d.width, d.height, std::uint32_t(row.file.pixelBits)}));
}

INSTANTIATE_TEST_SUITE_P(Rows, TgaPixels, ::testing::ValuesIn(pixelRows()),
                         [](const auto& info) { return rowName(info.param.name, info.index); });

TEST(TgaErrors, BadFilesGiveTheirCode) {
    const TgaFile ok = trueColour(2, 1, 24, 0, hex({1, 2, 3, 4, 5, 6}));
    auto with = [&](auto change) {
        TgaFile f = ok;
        change(f);
        return f.build();
    };
    const std::vector<BadFile> cases = {
        {"packet past the last pixel", typed(trueColour(2, 1, 24, 0, hex({0x82, 1, 2, 3})), 10).build(), 24,
         IS5_ERR_FORMAT},
        {"raw packet past the last pixel", typed(trueColour(2, 1, 24, 0, hex({0x02, 1, 2, 3, 4, 5, 6, 7, 8, 9})), 10).build(),
         24, IS5_ERR_FORMAT},
        {"RLE data ends early", typed(trueColour(4, 1, 24, 0, hex({0x81, 1, 2, 3, 0x01, 4})), 10).build(), 24,
         IS5_ERR_READ},
        {"RLE picture far larger than its data", typed(trueColour(4000, 4000, 24, 0, hex({0xFF, 1, 2, 3})), 10).build(),
         24, IS5_ERR_READ},
        {"raw data short", with([](TgaFile& f) { f.data.resize(5); }), 24, IS5_ERR_READ},
        {"width 0", with([](TgaFile& f) { f.width = 0; }), 24, IS5_ERR_FORMAT},
        {"no image data", with([](TgaFile& f) { f.imageType = 0; }), 24, IS5_ERR_FORMAT},
        {"Huffman compressed", with([](TgaFile& f) { f.imageType = 32; }), 24, IS5_ERR_UNSUPPORTED},
        {"true colour of 8 bits", with([](TgaFile& f) { f.pixelBits = 8; }), 24, IS5_ERR_FORMAT},
        {"colour-mapped without a map", with([](TgaFile& f) { f.imageType = 1, f.pixelBits = 8; }), 24, IS5_ERR_FORMAT},
        {"16-bit indexes", mapped(0, 24, hex({1, 2, 3}), 1, 1, hex({0, 0})).build().replace(16, 1, 1, char(16)), 24,
         IS5_ERR_UNSUPPORTED},
        {"colour map past the end", mapped(0, 24, hex({1, 2, 3}), 200, 1, "").build(), 24, IS5_ERR_READ},
        {"huge picture", with([](TgaFile& f) { f.width = f.height = 65535; }), 24, IS5_ERR_TOO_LARGE},
        {"depth 8 of true colour", ok.build(), 8, IS5_ERR_PARAM},
        {"depth 1", mapped(0, 24, hex({1, 2, 3}), 1, 1, hex({0})).build(), 1, IS5_ERR_PARAM},
    };
    expectEachFails(cases, readTga);
}

// The image object reads colour-mapped and 8-bit grey files at depth 8 with the palette
// the palette reader gives, and everything else at 24 bits.
TEST(TgaImageObject, DepthVariantAndPalette) {
    struct Row {
        TgaFile file;
        int type;
        std::uint32_t depth, colours;
        Bytes firstColours;
    };
    const std::vector<Row> cases = {
        {mapped(2, 24, hex({30, 20, 10, 60, 50, 40}), 2, 2, hex({3, 2})), kImageTgaPalette, 8, 4,
         kBlack + kBlack + hex({10, 20, 30, 40, 50, 60})},
        {typed(trueColour(1, 1, 8, 0, hex({9})), 3), kImageTgaPalette, 8, 256, hex({0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3})},
        {trueColour(1, 1, 24, 0, hex({1, 2, 3})), kImageTga, 24, 0, ""},
    };
    for (const Row& c : cases) {
        CISImageEx img;
        ASSERT_EQ(readObject(img, c.file.build(), "p.tga"), 0u);
        EXPECT_EQ(img.imageType, c.type);
        EXPECT_EQ(img.bitsPerPixel, c.depth);
        EXPECT_EQ(img.paletteColours, c.colours);
        Bytes first;
        for (std::size_t i = 0; i < c.firstColours.size() / 3; ++i)
            first += hex({img.palette[i].r, img.palette[i].g, img.palette[i].b});
        EXPECT_EQ(first, c.firstColours);
    }
}

// Pillow's GIMP-made pictures: the same picture at both origins, raw and run-length
// encoded, must read the same.
TEST(TgaCorpus, OriginsAndEncodingsAgree) {
    REQUIRE_CORPUS(corpus);
    for (const char* kind : {"l", "la", "p", "rgb", "rgba"}) {
        std::vector<std::vector<std::uint8_t>> pictures;
        for (const char* variant : {"bl_raw", "bl_rle", "tl_raw", "tl_rle"}) {
            const std::string name = std::string("pillow/ok/tga/200x32_") + kind + "_" + variant + ".tga";
            CISImageEx img;
            ASSERT_EQ(img.Read((corpus / name).string(), kImageDetect), 0u) << name;
            ASSERT_EQ(img.width, 200u);
            ASSERT_EQ(img.height, 32u);
            std::vector<std::uint8_t> rgb;
            for (std::uint32_t i = 0; i < 200 * 32; ++i) {
                const std::uint8_t* p = img.GetPixels();
                if (img.bitsPerPixel == 24) rgb.insert(rgb.end(), p + 3 * i, p + 3 * i + 3);
                else rgb.insert(rgb.end(), {img.palette[p[i]].r, img.palette[p[i]].g, img.palette[p[i]].b});
            }
            pictures.push_back(std::move(rgb));
        }
        for (std::size_t i = 1; i < pictures.size(); ++i) EXPECT_EQ(pictures[i], pictures[0]) << kind << " variant " << i;
    }
}
