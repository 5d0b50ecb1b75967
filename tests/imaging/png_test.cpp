// SPDX-License-Identifier: MIT
// The PNG reader: every good PngSuite and libpng test file against libpng's own output
// at each depth the reader offers, header facts, palettes, and damaged files.
#include "corpus.h"
#include "testutil.h"

#include "imaging/is5.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <png.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace {

struct Reference {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, paletteCount = 0;
    std::vector<std::uint8_t> rgb;
};

// libpng's low-level API in its plainest use: expand everything to 8-bit RGB(A) (16-bit
// samples scaled with png_set_scale_16, as the reader does), then lay alpha over white.
std::optional<Reference> libpngDecode(const std::string& bytes) {
    struct Input {
        const std::string* bytes;
        std::size_t at;
    } input{&bytes, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    Reference ref;
    std::vector<std::uint8_t> pixels;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return std::nullopt;
    }
    png_set_read_fn(png, &input, [](png_structp p, png_bytep out, std::size_t n) {
        auto* in = static_cast<Input*>(png_get_io_ptr(p));
        if (n > in->bytes->size() - in->at) png_error(p, "short");
        std::memcpy(out, in->bytes->data() + in->at, n);
        in->at += n;
    });
    png_read_info(png, info);
    png_get_IHDR(png, info, &ref.width, &ref.height, &ref.bitDepth, &ref.colourType, nullptr, nullptr, nullptr);
    png_colorp palette = nullptr;
    if (ref.colourType == PNG_COLOR_TYPE_PALETTE) png_get_PLTE(png, info, &palette, &ref.paletteCount);
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    const std::size_t stride = png_get_rowbytes(png, info);
    pixels.resize(stride * ref.height);
    for (png_uint_32 y = 0; y < ref.height; ++y) rows.push_back(pixels.data() + y * stride);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    ref.rgb.resize(std::size_t{ref.width} * ref.height * 3);
    for (std::size_t i = 0, n = std::size_t{ref.width} * ref.height; i < n; ++i) {
        const std::uint8_t* p = &pixels[i * channels];
        const std::uint32_t a = channels == 4 ? p[3] : 255;
        for (int c = 0; c < 3; ++c)
            ref.rgb[i * 3 + c] = static_cast<std::uint8_t>((p[c] * a + 255u * (255u - a) + 127u) / 255u);
    }
    return ref;
}

struct Decoded {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb;  // through the palette for 8- and 1-bit output
};

// Our reader at `depth`; 8- and 1-bit results are shown through is5_GetPNGPalette's palette.
std::optional<Decoded> ourDecode(const std::string& bytes, std::uint32_t depth, std::uint32_t* code = nullptr,
                                 const std::string& path = {}) {
    IS5_SOURCE source = path.empty() ? is5_OpenMemorySource(bytes.data(), bytes.size(), "t.png")
                                     : is5_OpenFileSource(path.c_str());
    if (!source) return std::nullopt;
    Decoded d;
    Is5Rgbq readerPalette[256] = {};
    HGLOBAL block = is5_ReadPNG(source, &d.width, &d.height, depth, readerPalette, 0);
    if (code) *code = is5_GetLastError();
    if (!block) {
        is5_CloseSource(source);
        return std::nullopt;
    }
    Is5Rgbq palette[256] = {};
    std::uint32_t count = 0;
    if (depth != 24) {
        EXPECT_TRUE(is5_GetPNGPalette(source, &count, palette, 0));
        // The reader's palette and the helper's agree on every entry in use.
        EXPECT_EQ(std::memcmp(palette, readerPalette, sizeof(Is5Rgbq) * count), 0);
    }
    is5_CloseSource(source);
    const auto* px = static_cast<const std::uint8_t*>(GlobalLock(block));
    const std::size_t stride = depth == 24 ? d.width * 3 : depth == 8 ? d.width : (d.width + 7) / 8;
    d.rgb.resize(std::size_t{d.width} * d.height * 3);
    for (std::uint32_t y = 0; y < d.height; ++y)
        for (std::uint32_t x = 0; x < d.width; ++x) {
            const std::uint8_t* row = px + y * stride;
            std::uint8_t* o = &d.rgb[(std::size_t{y} * d.width + x) * 3];
            if (depth == 24) {
                std::memcpy(o, row + x * 3, 3);
                continue;
            }
            const unsigned i = depth == 8 ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1;
            EXPECT_LT(i, std::max(count, 1u)) << "index past the palette at " << x << "," << y;
            o[0] = palette[i].r, o[1] = palette[i].g, o[2] = palette[i].b;
        }
    GlobalFree(block);
    return d;
}

// A chunk with its length and CRC.
std::string chunk(const char* type, const std::string& data) {
    std::string out;
    const auto n = static_cast<std::uint32_t>(data.size());
    for (int s = 24; s >= 0; s -= 8) out += static_cast<char>(n >> s);
    std::string body = std::string(type, 4) + data;
    out += body;
    const std::uint32_t crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    for (int s = 24; s >= 0; s -= 8) out += static_cast<char>(crc >> s);
    return out;
}

std::string be32(std::uint32_t v) {
    return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
}

// An 8-bit grey picture of w × h with value (x + y) & 255, one IDAT.
std::string greyPng(std::uint32_t w, std::uint32_t h) {
    std::string raw;
    for (std::uint32_t y = 0; y < h; ++y) {
        raw += '\0';
        for (std::uint32_t x = 0; x < w; ++x) raw += static_cast<char>((x + y) & 0xFF);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string z(size, '\0');
    compress(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    z.resize(size);
    return std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", be32(w) + be32(h) + std::string("\x08\x00\x00\x00\x00", 5)) +
           chunk("tEXt", std::string("Comment\0made by the test", 24)) + chunk("IDAT", z) + chunk("IEND", "");
}

bool isSuitePng(const testutil::CorpusEntry& e) {
    return e.expect == "ok" && (e.suite == "pngsuite" || e.suite == "libpng-testpngs") &&
           fs::path(e.path).extension() == ".png";
}

} // namespace

// libpng's output is the reference: at 24 bits exactly; at 8 bits (palette and grey
// files) and 1 bit (1-bit files) the indexes shown through the palette give the same
// colours. The header reader agrees with libpng's IHDR and PLTE.
TEST(PngReader, EveryGoodSuiteFileMatchesLibpngAtEveryDepth) {
    REQUIRE_CORPUS(corpus);
    int files = 0, indexed = 0;
    for (const auto& entry : testutil::readManifest(corpus)) {
        if (!isSuitePng(entry)) continue;
        SCOPED_TRACE(entry.path);
        const fs::path file = corpus / entry.path;
        const std::string bytes = testutil::readFile(file);
        auto ref = libpngDecode(bytes);
        ASSERT_TRUE(ref.has_value());
        auto ours = ourDecode(bytes, 24);
        ASSERT_TRUE(ours.has_value());
        EXPECT_EQ(ours->width, ref->width);
        EXPECT_EQ(ours->height, ref->height);
        EXPECT_TRUE(ours->rgb == ref->rgb);

        const bool palette = ref->colourType == PNG_COLOR_TYPE_PALETTE;
        const bool grey = ref->colourType == PNG_COLOR_TYPE_GRAY || ref->colourType == PNG_COLOR_TYPE_GRAY_ALPHA;
        if (palette || grey) {
            auto eight = ourDecode(bytes, 8);
            ASSERT_TRUE(eight.has_value());
            EXPECT_TRUE(eight->rgb == ref->rgb) << "8-bit";
            ++indexed;
        }
        if (ref->bitDepth == 1 && ref->colourType != PNG_COLOR_TYPE_GRAY_ALPHA) {
            auto one = ourDecode(bytes, 1);
            ASSERT_TRUE(one.has_value());
            EXPECT_TRUE(one->rgb == ref->rgb) << "1-bit";
        }

        IS5_SOURCE source = is5_OpenMemorySource(bytes.data(), bytes.size(), "t.png");
        std::uint32_t w = 0, h = 0, depth = 0, type = 0, count = 0;
        Is5Rgbq entries[256];
        ASSERT_TRUE(is5_GetPNGDims(source, &w, &h, &depth, &type, nullptr));
        EXPECT_EQ(w, ref->width);
        EXPECT_EQ(h, ref->height);
        EXPECT_EQ(depth, std::uint32_t(ref->bitDepth));
        EXPECT_EQ(type, std::uint32_t(ref->colourType));
        ASSERT_TRUE(is5_GetPNGPalette(source, &count, entries, 0));
        const std::uint32_t expectedCount =
            palette ? ref->paletteCount : grey ? (ref->bitDepth == 1 && ref->colourType == 0 ? 2 : 256) : 0;
        EXPECT_EQ(count, expectedCount);
        is5_CloseSource(source);
        ++files;
    }
    EXPECT_GT(files, 200);
    EXPECT_GT(indexed, 80);
}

TEST(PngReader, FileAndMemorySourcesReadAlike) {
    REQUIRE_CORPUS(corpus);
    for (const char* name : {"pngsuite/primary/basi6a08.png", "pngsuite/16bit/basn6a16.png", "pngsuite/primary/basn3p02.png"}) {
        SCOPED_TRACE(name);
        const std::string bytes = testutil::readFile(corpus / name);
        auto fromMemory = ourDecode(bytes, 24);
        auto fromFile = ourDecode(bytes, 24, nullptr, (corpus / name).string());
        ASSERT_TRUE(fromMemory && fromFile);
        EXPECT_EQ(fromMemory->rgb, fromFile->rgb);
    }
}

struct PhysRow {
    const char* path;
    std::uint32_t width, height;
    double x, y;
    int unit;
};

class PngPhys : public ::testing::TestWithParam<PhysRow> {};

// Expected values as ExifTool 12.57 reports the pHYs chunk.
TEST_P(PngPhys, ResolutionIsReportedAsStored) {
    REQUIRE_CORPUS(corpus);
    const PhysRow& row = GetParam();
    IS5_SOURCE source = is5_OpenFileSource((corpus / row.path).string().c_str());
    ASSERT_NE(source, nullptr);
    std::uint32_t w = 0, h = 0;
    ResolutionInfo res;
    ASSERT_TRUE(is5_GetPNGDims(source, &w, &h, nullptr, nullptr, &res));
    is5_CloseSource(source);
    EXPECT_EQ(w, row.width);
    EXPECT_EQ(h, row.height);
    EXPECT_DOUBLE_EQ(res.xResolution, row.x);
    EXPECT_DOUBLE_EQ(res.yResolution, row.y);
    EXPECT_EQ(res.unit, row.unit);
}

INSTANTIATE_TEST_SUITE_P(PngSuite, PngPhys,
                         ::testing::Values(PhysRow{"pngsuite/unused/cdfn2c08.png", 8, 32, 1, 4, 0},
                                           PhysRow{"pngsuite/unused/cdhn2c08.png", 32, 8, 4, 1, 0},
                                           PhysRow{"pngsuite/unused/cdsn2c08.png", 8, 8, 1, 1, 0},
                                           PhysRow{"pngsuite/unused/cdun2c08.png", 32, 32, 1000, 1000, 1},
                                           PhysRow{"pngsuite/primary/basn0g08.png", 32, 32, 0, 0, 0}));

// Damage in any chunk, a cut anywhere and a missing IEND fail; the intact file decodes.
TEST(PngReader, DamagedFilesFail) {
    const std::string good = greyPng(40, 30);
    std::uint32_t code = 0;
    auto whole = ourDecode(good, 8, &code);
    ASSERT_TRUE(whole.has_value());
    EXPECT_EQ(whole->rgb[(5 * 40 + 7) * 3], 12);  // value x + y

    const std::size_t text = good.find("tEXt"), idat = good.find("IDAT");
    for (std::size_t at : {text + 8, idat + 20, good.size() - 2}) {
        SCOPED_TRACE(at);
        std::string bad = good;
        bad[at] = static_cast<char>(bad[at] ^ 0x40);
        EXPECT_FALSE(ourDecode(bad, 24, &code).has_value());
        EXPECT_NE(code, 0u);
    }
    for (std::size_t keep = 8; keep < good.size(); keep += 7) {
        SCOPED_TRACE(keep);
        EXPECT_FALSE(ourDecode(good.substr(0, keep), 24, &code).has_value());
        EXPECT_EQ(code, IS5_ERR_READ);
    }
    // Apple's CgBI chunk ahead of IHDR: not a standard PNG.
    std::string cgbi = good.substr(0, 8) + chunk("CgBI", std::string("\x50\x00\x20\x02", 4)) + good.substr(8);
    EXPECT_FALSE(ourDecode(cgbi, 24, &code).has_value());
    EXPECT_EQ(code, IS5_ERR_FORMAT);
}

TEST(PngReader, AHugeHeaderIsRefusedAtThePixelLimitNotAllocated) {
    // 100000 × 100000 declared, a few bytes of data (the limit itself is in writers_test.cpp).
    std::uint32_t code = 0;
    std::string huge = std::string("\x89PNG\r\n\x1a\n", 8) +
                       chunk("IHDR", be32(100000) + be32(100000) + std::string("\x08\x02\x00\x00\x00", 5)) +
                       chunk("IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + chunk("IEND", "");
    EXPECT_FALSE(ourDecode(huge, 24, &code).has_value());
    EXPECT_EQ(code, IS5_ERR_TOO_LARGE);
}

TEST(PngReader, DepthsThatDoNotFitTheFileAreRefused) {
    REQUIRE_CORPUS(corpus);
    std::uint32_t code = 0;
    const std::string rgb = testutil::readFile(corpus / "pngsuite/primary/basn2c08.png");
    EXPECT_FALSE(ourDecode(rgb, 8, &code).has_value());
    EXPECT_EQ(code, IS5_ERR_PARAM);
    const std::string grey8 = testutil::readFile(corpus / "pngsuite/primary/basn0g08.png");
    EXPECT_FALSE(ourDecode(grey8, 1, &code).has_value());
    EXPECT_EQ(code, IS5_ERR_PARAM);
    EXPECT_FALSE(ourDecode(grey8, 16, &code).has_value());
    EXPECT_EQ(code, IS5_ERR_PARAM);
}
