// SPDX-License-Identifier: MIT
// The TIFF reader: 8- and 1-bit output of pictures written here with libtiff (strips and
// tiles, 1 to 16 bits, palette, min-is-white, alpha, CMYK), header facts, damaged files and
// the pixel guard (libraryref_test.cpp holds every corpus TIFF against libtiff).
#include "codectest.h"
#include "corpus.h"

#include <cstring>
#include <functional>

#include <tiffio.h>

namespace {

std::optional<codectest::Shown> ourDecode(const std::string& bytes, std::uint32_t depth, std::uint32_t* code = nullptr,
                                          std::uint32_t page = 0) {
    return codectest::readShown(
        bytes, depth,
        [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* palette) {
            HGLOBAL block = is5_ReadTIFF(s, w, h, depth, palette, page, 0);
            // The object's palette for 1-bit pictures: white, black.
            if (depth == 1) palette[0] = {255, 255, 255, 0}, palette[1] = {0, 0, 0, 0};
            return block;
        },
        code);
}

// A file written by libtiff: the layout sets the fields, `row` gives each packed row.
struct Layout {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 8, samples = 1, photometric = PHOTOMETRIC_MINISBLACK;
    std::uint32_t tileSize = 0;  // 0: strips of 3 rows
    std::uint16_t extra = 0;     // EXTRASAMPLE_* for a fourth sample
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    std::vector<std::uint16_t> colormap = {};  // r, g, b runs of 2^bits entries
};

std::string writeTiff(const Layout& l, const std::function<std::vector<std::uint8_t>(std::uint32_t)>& row) {
    testutil::TempDir dir;
    const std::string path = dir / "t.tif";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, l.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, l.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, l.orientation);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 300.0f);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 150.0f);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER);
    if (l.photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    if (l.extra) TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &l.extra);
    if (!l.colormap.empty()) {
        const std::size_t n = l.colormap.size() / 3;
        TIFFSetField(tif, TIFFTAG_COLORMAP, l.colormap.data(), l.colormap.data() + n, l.colormap.data() + 2 * n);
    }
    const std::size_t rowBytes = (std::size_t{l.width} * l.bits * l.samples + 7) / 8;
    if (l.tileSize) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, l.tileSize);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, l.tileSize);
        const std::size_t tileRow = (std::size_t{l.tileSize} * l.bits * l.samples + 7) / 8;
        std::vector<std::uint8_t> tile(tileRow * l.tileSize);
        for (std::uint32_t ty = 0; ty < l.height; ty += l.tileSize)
            for (std::uint32_t tx = 0; tx < l.width; tx += l.tileSize) {
                std::fill(tile.begin(), tile.end(), 0);
                for (std::uint32_t r = 0; r < l.tileSize && ty + r < l.height; ++r) {
                    const auto full = row(ty + r);
                    const std::size_t from = std::size_t{tx} * l.bits * l.samples / 8;
                    std::memcpy(tile.data() + r * tileRow, full.data() + from, std::min(tileRow, rowBytes - from));
                }
                TIFFWriteTile(tif, tile.data(), tx, ty, 0, 0);
            }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 3);
        for (std::uint32_t y = 0; y < l.height; ++y) TIFFWriteScanline(tif, row(y).data(), y, 0);
    }
    TIFFClose(tif);
    return testutil::readFile(path);
}

} // namespace

TEST(TiffReader, OneBitFilesKeepTheirBitsWithBlackAsOne) {
    REQUIRE_CORPUS(corpus);
    for (const char* name : {"libtiff-pics/miniswhite-1c-1b.tiff", "image-rs/ok/tiff/l1.tiff", "libtiff-pics/testfax4.tiff"}) {
        SCOPED_TRACE(name);
        const std::string bytes = testutil::readFile(corpus / name);
        auto one = ourDecode(bytes, 1);
        auto full = ourDecode(bytes, 24);
        ASSERT_TRUE(one && full);
        EXPECT_TRUE(one->rgb == full->rgb);
    }
}

// A Group 3 file written without EOL codes: libtiff 4.5 alone refuses it, the reader's
// second attempt reads it as Modified Huffman rows. The page has black text on white.
TEST(TiffReader, GroupThreeWithoutEolCodesDecodes) {
    REQUIRE_CORPUS(corpus);
    const std::string bytes = testutil::readFile(corpus / "libtiff-pics/testfax3_bug54_1dnoEOL.tif");
    auto one = ourDecode(bytes, 1);
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(one->width, 1728u);
    EXPECT_EQ(one->height, 2320u);
    std::size_t black = 0;
    for (std::uint8_t b : one->raw) black += static_cast<std::size_t>(__builtin_popcount(b));
    const double share = double(black) / (1728.0 * 2320.0);
    EXPECT_GT(share, 0.01);
    EXPECT_LT(share, 0.2);
    // The top rows are blank paper.
    EXPECT_TRUE(std::all_of(one->raw.begin(), one->raw.begin() + 216 * 10, [](std::uint8_t b) { return b == 0; }));
}

TEST(TiffReader, TiledFourBitPaletteKeepsIndexesAndScalesTheColourMap) {
    Layout l{.width = 40, .height = 20, .bits = 4, .photometric = PHOTOMETRIC_PALETTE, .tileSize = 16};
    for (int c = 0; c < 3; ++c)
        for (std::uint16_t i = 0; i < 16; ++i) l.colormap.push_back(static_cast<std::uint16_t>((c == 0 ? i : 15 - i) * 0x1111));
    auto index = [](std::uint32_t x, std::uint32_t y) { return (x * 3 + y) % 16; };
    const std::string bytes = writeTiff(l, [&](std::uint32_t y) {
        std::vector<std::uint8_t> r(20);
        for (std::uint32_t x = 0; x < 40; ++x) r[x / 2] |= static_cast<std::uint8_t>(index(x, y) << (x % 2 ? 0 : 4));
        return r;
    });
    auto d = ourDecode(bytes, 8);
    ASSERT_TRUE(d.has_value());
    ASSERT_EQ(d->width, 40u);
    for (std::uint32_t y = 0; y < 20; ++y)
        for (std::uint32_t x = 0; x < 40; ++x) ASSERT_EQ(d->raw[y * 40 + x], index(x, y)) << x << "," << y;
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(d->palette[i].r, i * 17);
        EXPECT_EQ(d->palette[i].g, (15 - i) * 17);
    }
    // 24-bit output through libtiff's own palette handling agrees.
    auto full = ourDecode(bytes, 24);
    ASSERT_TRUE(full.has_value());
    EXPECT_TRUE(full->rgb == d->rgb);
}

struct GreyRow {
    const char* name;
    std::uint16_t bits, photometric;
    std::uint32_t tile;
    std::vector<std::uint16_t> stored;     // four sample values, repeated along each row
    std::vector<std::uint8_t> expected8;   // their 8-bit grey levels
};

class TiffGrey : public ::testing::TestWithParam<GreyRow> {};

// Grey samples of 1 to 16 bits become grey-ramp indexes (min-is-white inverted, 16-bit by
// their high byte), in strips and in tiles, matching the 24-bit output.
TEST_P(TiffGrey, SamplesBecomeRampIndexes) {
    const GreyRow& row = GetParam();
    Layout l{.width = 37, .height = 11, .bits = row.bits, .photometric = row.photometric, .tileSize = row.tile};
    const std::string bytes = writeTiff(l, [&](std::uint32_t) {
        std::vector<std::uint8_t> r((37 * row.bits + 7) / 8 + 2);
        for (std::uint32_t x = 0; x < 37; ++x) {
            const std::uint32_t v = row.stored[x % 4];
            if (row.bits == 16) {
                std::memcpy(&r[x * 2], &row.stored[x % 4], 2);
            } else {
                const std::uint32_t bit = x * row.bits;
                r[bit / 8] |= static_cast<std::uint8_t>(v << (8 - row.bits - bit % 8));
            }
        }
        return r;
    });
    auto d = ourDecode(bytes, 8);
    auto full = ourDecode(bytes, 24);
    ASSERT_TRUE(d && full);
    for (std::uint32_t y = 0; y < 11; ++y)
        for (std::uint32_t x = 0; x < 37; ++x) ASSERT_EQ(d->raw[y * 37 + x], row.expected8[x % 4]) << x << "," << y;
    EXPECT_TRUE(full->rgb == d->rgb);
    if (row.bits == 1) {
        auto one = ourDecode(bytes, 1);
        ASSERT_TRUE(one.has_value());
        EXPECT_TRUE(one->rgb == d->rgb);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, TiffGrey,
    ::testing::Values(GreyRow{"black1", 1, PHOTOMETRIC_MINISBLACK, 0, {0, 1, 1, 0}, {0, 255, 255, 0}},
                      GreyRow{"white1tiled", 1, PHOTOMETRIC_MINISWHITE, 16, {0, 1, 1, 0}, {255, 0, 0, 255}},
                      GreyRow{"white2", 2, PHOTOMETRIC_MINISWHITE, 0, {0, 1, 2, 3}, {255, 170, 85, 0}},
                      GreyRow{"black4tiled", 4, PHOTOMETRIC_MINISBLACK, 16, {0, 5, 10, 15}, {0, 85, 170, 255}},
                      GreyRow{"black16", 16, PHOTOMETRIC_MINISBLACK, 0, {0x0000, 0x12FF, 0x8000, 0xFFFF}, {0, 0x12, 0x80, 0xFF}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TiffReader, AlphaIsLaidOverWhiteAndCmykConverted) {
    Layout rgba{.width = 8, .height = 4, .samples = 4, .photometric = PHOTOMETRIC_RGB, .extra = EXTRASAMPLE_UNASSALPHA};
    const std::string a = writeTiff(rgba, [](std::uint32_t y) {
        std::vector<std::uint8_t> r;
        for (int x = 0; x < 8; ++x) r.insert(r.end(), {200, 100, 50, static_cast<std::uint8_t>(y * 85)});
        return r;
    });
    auto d = ourDecode(a, 24);
    ASSERT_TRUE(d.has_value());
    for (std::uint32_t y = 0; y < 4; ++y) {
        const std::uint32_t alpha = y * 85;
        auto over = [&](std::uint32_t c) { return std::uint8_t((c * alpha + 255 * (255 - alpha) + 127) / 255); };
        EXPECT_EQ(std::vector(d->rgb.begin() + y * 24, d->rgb.begin() + y * 24 + 3),
                  (std::vector{over(200), over(100), over(50)})) << y;
    }
    Layout cmyk{.width = 4, .height = 1, .samples = 4, .photometric = PHOTOMETRIC_SEPARATED};
    const std::string c = writeTiff(cmyk, [](std::uint32_t) {
        return std::vector<std::uint8_t>{0, 0, 0, 0, 255, 0, 0, 0, 0, 0, 0, 255, 0, 128, 0, 0};
    });
    auto k = ourDecode(c, 24);
    ASSERT_TRUE(k.has_value());
    EXPECT_EQ(k->rgb, (std::vector<std::uint8_t>{255, 255, 255, 0, 255, 255, 0, 0, 0, 255, 127, 255}));
}

TEST(TiffReader, HeaderReportsBitsResolutionAndUprightSize) {
    Layout l{.width = 30, .height = 10, .samples = 3, .photometric = PHOTOMETRIC_RGB, .orientation = ORIENTATION_RIGHTTOP};
    const std::string bytes = writeTiff(l, [](std::uint32_t y) { return std::vector<std::uint8_t>(90, std::uint8_t(y)); });
    ResolutionInfo res;
    EXPECT_EQ(codectest::headerDims(bytes, [&](IS5_SOURCE s, auto* w, auto* h, auto* b) {
                  return is5_GetTIFFDims(s, 0, w, h, b, &res);
              }),
              (codectest::Dims{true, 10, 30, 24}));
    // Turned a quarter, the stored vertical resolution runs across.
    EXPECT_DOUBLE_EQ(res.xResolution, 150.0);
    EXPECT_DOUBLE_EQ(res.yResolution, 300.0);
    EXPECT_EQ(res.unit, RESUNIT_CENTIMETER);
    const auto read = ourDecode(bytes, 24);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(std::pair(read->width, read->height), std::pair(10u, 30u));
}

TEST(TiffReader, PagesBeyondTheLastFail) {
    REQUIRE_CORPUS(corpus);
    const std::string bytes = testutil::readFile(corpus / "libtiff-pics/test_two_ifds.tif");
    EXPECT_TRUE(ourDecode(bytes, 24, nullptr, 1).has_value());
    std::uint32_t code = 0;
    EXPECT_FALSE(ourDecode(bytes, 24, &code, 2).has_value());
    EXPECT_EQ(code, IS5_ERR_FORMAT);
}

TEST(TiffReader, DamagedAndOversizedFilesFailCleanly) {
    REQUIRE_CORPUS(corpus);
    for (const char* name : {"libtiff-pics/rgb-3c-8b.tiff", "libtiff-pics/quad-lzw-compat.tiff", "libtiff-pics/palette-1c-4b.tiff"}) {
        SCOPED_TRACE(name);
        const std::string bytes = testutil::readFile(corpus / name);
        // The directories of these files sit at the end: cutting keeps them out.
        for (double keep : {0.1, 0.5, 0.9}) {
            std::uint32_t code = 0;
            EXPECT_FALSE(ourDecode(bytes.substr(0, static_cast<std::size_t>(bytes.size() * keep)), 24, &code));
            EXPECT_NE(code, 0u);
        }
        std::uint32_t tooLarge = 0;
        is5_SetMaxPixels(157 * 151 - 1);
        EXPECT_FALSE(ourDecode(bytes, 24, &tooLarge).has_value());
        is5_SetMaxPixels(0);
        EXPECT_EQ(tooLarge, IS5_ERR_TOO_LARGE);
    }
}
