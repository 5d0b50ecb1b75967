// SPDX-License-Identifier: MIT
// The PNG reader: file and memory sources, resolution, damaged files and refused depths
// (libraryref_test.cpp holds every suite file against libpng at each depth).
#include "codectest.h"
#include "corpus.h"
#include "testutil.h"

#include "imaging/is5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <zlib.h>

namespace fs = std::filesystem;

namespace {

// Our reader at `depth`; 8- and 1-bit results shown through the palette that came with them.
std::optional<codectest::Shown> ourDecode(const std::string& bytes, std::uint32_t depth, std::uint32_t* code = nullptr,
                                          const std::string& path = {}) {
    return codectest::readShown(
        bytes, depth,
        [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* palette) { return is5_ReadPNG(s, w, h, depth, palette, 0); },
        code, path);
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

} // namespace

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
