// SPDX-License-Identifier: MIT
// Photoshop reader: hand-built files of every colour mode, raw and PackBits, with known
// pixels; merged transparency; the header and palette readers; damaged files.
#include "codectest.h"

namespace {

using namespace codectest;

struct PsdShape {
    std::string signature = "8BPS";
    unsigned version = 1, channels = 3, depth = 8, mode = 3;
    std::uint32_t width = 2, height = 1;
    std::string colourData{};
    int layerCount = 0; // 0: an empty layer section
    unsigned compression = 0;
    std::string data{}; // everything after the compression word
};

std::string build(const PsdShape& p) {
    std::string f = p.signature + be16(p.version) + std::string(6, '\0') + be16(p.channels) + be32(p.height) +
                    be32(p.width) + be16(p.depth) + be16(p.mode);
    f += be32(static_cast<std::uint32_t>(p.colourData.size())) + p.colourData;
    f += be32(4) + std::string("ab\0\0", 4);    // image resources (opaque here)
    std::string layers = p.layerCount ? be32(2) + be16(static_cast<std::uint16_t>(p.layerCount)) : "";
    f += be32(static_cast<std::uint32_t>(layers.size())) + layers;
    return f + be16(p.compression) + p.data;
}

// PackBits data: per channel, per row, the packed bytes; the byte counts go first.
std::string packed(const std::vector<std::vector<std::string>>& channels) {
    std::string counts, data;
    for (const auto& rows : channels)
        for (const auto& row : rows) {
            counts += be16(static_cast<unsigned>(row.size()));
            data += row;
        }
    return counts + data;
}

std::string palette768(const std::vector<std::array<int, 4>>& entries) { // index, r, g, b
    std::string d(768, '\0');
    for (const auto& e : entries)
        for (int c = 0; c < 3; ++c) d[static_cast<std::size_t>(c * 256 + e[0])] = static_cast<char>(e[c + 1]);
    return d;
}

Decoded readPsd(const std::string& file, std::uint32_t depth) {
    return decodeFile(file, "t.psd", [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* pal) {
        return is5_ReadPSD(s, w, h, depth, pal, 0);
    });
}

std::vector<std::uint8_t> asVector(const std::string& b) { return {b.begin(), b.end()}; }

using Px = std::vector<std::uint8_t>;

PsdShape bitmap() {
    PsdShape p{.channels = 1, .depth = 1, .mode = 0, .width = 10, .height = 2};
    p.data = hex({0xA5, 0x00, 0x12, 0xC0}); // 1 = black
    return p;
}

} // namespace

TEST(PsdRead, GoldenPixels) {
    using Entry = std::array<int, 4>; // index, r, g, b
    struct Row {
        const char* name;
        PsdShape layout;
        std::uint32_t depth;
        Px pixels;
        std::vector<Entry> entries{}; // palette entries that come with 8-bit output
    };
    PsdShape bitmapPacked = bitmap();
    bitmapPacked.compression = 1;
    bitmapPacked.data = packed({{hex({0x00, 0xA5, 0x00, 0x00}), hex({0x01, 0x12, 0xC0})}});
    const PsdShape grey{.channels = 1, .mode = 1, .data = hex({0, 200})};
    PsdShape indexed{.channels = 1, .mode = 2, .data = hex({5, 0})};
    indexed.colourData = palette768({{0, 1, 2, 3}, {5, 250, 100, 50}});
    const PsdShape rgb{.width = 3, .data = hex({255, 0, 9, 128, 1, 9, 0, 2, 9})};
    // Two rows of three: a run, a literal, a run and a literal per channel.
    const PsdShape rgbPacked{.width = 3, .height = 2, .compression = 1,
                            .data = packed({{hex({0xFE, 7}), hex({0x02, 1, 2, 3})},
                                            {hex({0x02, 4, 5, 6}), hex({0xFE, 8})},
                                            {hex({0xFE, 9}), hex({0x80, 0xFE, 10})}})};
    const PsdShape cmyk{.channels = 4, .mode = 4, .data = hex({255, 128, 0, 128, 255, 128, 255, 128})};
    const PsdShape deep{.depth = 16, .width = 1, .data = hex({0x12, 0x34, 0xFF, 0x00, 0x00, 0xFF})};
    // Merged transparency (negative layer count): black at alpha 0 cannot be matted
    // colour, so these colours are laid over white here.
    const PsdShape straight{.channels = 4, .layerCount = -1, .data = hex({0, 0, 0, 0, 0, 0, 0, 128})};
    const PsdShape matted{.channels = 4, .layerCount = -1, .data = hex({255, 200, 255, 180, 255, 160, 0, 128})};
    const PsdShape extraChannel{.channels = 4, .layerCount = 2, .data = hex({1, 2, 3, 4, 5, 6, 0, 0})};
    const PsdShape greyAlpha{.channels = 2, .mode = 1, .layerCount = -1, .data = hex({0, 90, 0, 255})};

    const std::vector<Row> rows = {
        {"bitmap raw, indexes", bitmap(), 8, {1, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1, 1},
         {{0, 255, 255, 255}, {1, 0, 0, 0}}},
        {"bitmap raw, 1 bit as stored", bitmap(), 1, {0xA5, 0x00, 0x12, 0xC0}},
        {"bitmap PackBits, indexes", bitmapPacked, 8, {1, 0, 1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1, 1}},
        {"greyscale, 8 bits", grey, 8, {0, 200}, {{0, 0, 0, 0}, {200, 200, 200, 200}}},
        {"greyscale, 24 bits", grey, 24, {0, 0, 0, 200, 200, 200}},
        {"indexed, 8 bits", indexed, 8, {5, 0}, {{0, 1, 2, 3}, {5, 250, 100, 50}, {6, 0, 0, 0}}},
        {"indexed, 24 bits", indexed, 24, {250, 100, 50, 1, 2, 3}},
        {"RGB raw", rgb, 24, {255, 128, 0, 0, 1, 2, 9, 9, 9}},
        {"RGB PackBits", rgbPacked, 24, {7, 4, 9, 7, 5, 9, 7, 6, 9, 1, 8, 10, 2, 8, 10, 3, 8, 10}},
        {"CMYK, inverted inks", cmyk, 24, {255, 0, 255, 64, 64, 64}},
        {"16 bits per channel: high bytes", deep, 24, {0x12, 0xFF, 0x00}},
        {"unassociated transparency over white", straight, 24, {255, 255, 255, 127, 127, 127}},
        {"colours already matted over white", matted, 24, {255, 255, 255, 200, 180, 160}},
        {"extra channel without merged transparency", extraChannel, 24, {1, 3, 5, 2, 4, 6}},
        {"greyscale with transparency, 8 bits", greyAlpha, 8, {255, 90}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string file = build(r.layout);
        auto d = readPsd(file, r.depth);
        ASSERT_EQ(d.code, IS5_OK);
        EXPECT_EQ(d.width, r.layout.width);
        EXPECT_EQ(d.height, r.layout.height);
        EXPECT_EQ(asVector(d.pixels), r.pixels);

        std::uint32_t channels = 0, mode = 99;
        EXPECT_EQ(headerDims(file, [&](IS5_SOURCE s, auto* w, auto* h, auto* b) {
                      return is5_GetPSDDims(s, w, h, b, &channels, &mode);
                  }),
                  (Dims{true, d.width, d.height, r.layout.depth}));
        EXPECT_EQ(channels, r.layout.channels);
        EXPECT_EQ(mode, r.layout.mode);

        // The palette reader gives the palette that comes with 8-bit output: bitmap white
        // and black, a grey ramp, the indexed colours; none for the other modes.
        const std::uint32_t colours = mode == 0 ? 2 : mode == 1 || mode == 2 ? 256 : 0;
        std::array<Is5Rgbq, 256> pal{};
        std::uint32_t count = 0;
        IS5_SOURCE src = is5_OpenMemorySource(file.data(), file.size(), "t.psd");
        EXPECT_EQ(is5_GetPSDPalette(src, &count, pal.data(), 0), colours ? TRUE : FALSE);
        is5_CloseSource(src);
        EXPECT_EQ(count, colours);
        for (const Entry& e : r.entries)
            for (const auto& p : {d.palette[e[0]], pal[e[0]]}) EXPECT_EQ((Entry{e[0], p.r, p.g, p.b}), e);
    }
}

TEST(PsdRead, DamagedAndUnsupportedFiles) {
    auto with = [](PsdShape p, auto change) {
        change(p);
        return build(p);
    };
    const PsdShape rgb{.data = hex({1, 2, 3, 4, 5, 6})};
    const PsdShape rle{.height = 2, .compression = 1,
                      .data = packed({{hex({0xFF, 1}), hex({0xFF, 2})},
                                      {hex({0xFF, 3}), hex({0xFF, 4})},
                                      {hex({0xFF, 5}), hex({0xFF, 6})}})};
    const std::string valid = build(rgb);
    const std::vector<BadFile> rows = {
        {"truncated header", valid.substr(0, 20), 24, IS5_ERR_READ},
        {"bad signature", with(rgb, [](PsdShape& p) { p.signature = "8BPX"; }), 24, IS5_ERR_FORMAT},
        {"large document format", with(rgb, [](PsdShape& p) { p.version = 2; }), 24, IS5_ERR_UNSUPPORTED},
        {"unknown version", with(rgb, [](PsdShape& p) { p.version = 3; }), 24, IS5_ERR_FORMAT},
        {"no channels", with(rgb, [](PsdShape& p) { p.channels = 0; }), 24, IS5_ERR_FORMAT},
        {"RGB with two channels", with(rgb, [](PsdShape& p) { p.channels = 2; }), 24, IS5_ERR_FORMAT},
        {"32 bits per channel", with(rgb, [](PsdShape& p) { p.depth = 32; }), 24, IS5_ERR_UNSUPPORTED},
        {"Lab", with(rgb, [](PsdShape& p) { p.mode = 9; }), 24, IS5_ERR_UNSUPPORTED},
        {"duotone", with(rgb, [](PsdShape& p) { p.mode = 8; p.channels = 1; }), 24, IS5_ERR_UNSUPPORTED},
        {"multichannel", with(rgb, [](PsdShape& p) { p.mode = 7; }), 24, IS5_ERR_UNSUPPORTED},
        {"indexed without colour data", with(rgb, [](PsdShape& p) { p.mode = 2; p.channels = 1; }), 24, IS5_ERR_FORMAT},
        {"ZIP compression", with(rgb, [](PsdShape& p) { p.compression = 2; }), 24, IS5_ERR_UNSUPPORTED},
        {"unknown compression", with(rgb, [](PsdShape& p) { p.compression = 9; }), 24, IS5_ERR_FORMAT},
        {"raw data one byte short", valid.substr(0, valid.size() - 1), 24, IS5_ERR_READ},
        {"section longer than the file", valid.substr(0, 30) + be32(1000) + valid.substr(34), 24, IS5_ERR_READ},
        {"byte counts beyond the file", build(rle).substr(0, build(rle).size() - 1), 24, IS5_ERR_READ},
        {"byte count too small for the row", with(rle, [](PsdShape& p) { p.data[1] = 1; }), 24, IS5_ERR_FORMAT},
        {"run past the row's end", with(rle, [](PsdShape& p) { p.data[12] = static_cast<char>(0xFE); }), 24,
         IS5_ERR_FORMAT},
        {"literal past its byte count", with(rle, [](PsdShape& p) { p.data[12] = 0x01; }), 24, IS5_ERR_FORMAT},
        {"30000 x 30000", with(rgb, [](PsdShape& p) { p.width = p.height = 30000; }), 24, IS5_ERR_TOO_LARGE},
        {"RGB at 8 bits", valid, 8, IS5_ERR_UNSUPPORTED},
        {"depth 4", valid, 4, IS5_ERR_PARAM},
    };
    expectEachFails(rows, readPsd);
}

TEST(PsdRead, ThroughTheImageObject) {
    CISImageEx img;
    ASSERT_EQ(readObject(img, build(bitmap()), "bitmap.psd"), 0u);
    EXPECT_EQ(img.imageType, kImagePsdBitmap);
    EXPECT_EQ(img.bitsPerPixel, 8u);
    EXPECT_EQ(img.paletteColours, 2u);
    EXPECT_EQ(colours(img.GetPixels(), 2, 1, 8, img.palette), (Px{0, 0, 0, 255, 255, 255})); // 1 is black

    ASSERT_EQ(readObject(img, build(PsdShape{.data = hex({1, 2, 3, 4, 5, 6})}), "rgb.psd"), 0u);
    EXPECT_EQ(img.imageType, kImagePsd);
    EXPECT_EQ(img.bitsPerPixel, 24u);
    EXPECT_EQ(colours(img.GetPixels(), 2, 1, 24, nullptr), (Px{1, 3, 5, 2, 4, 6}));
}
