// SPDX-License-Identifier: MIT
// The PNG reader: file and memory sources, resolution, damaged files and refused depths
// (libraryref_test.cpp holds every suite file against libpng at each depth).
#include "codectest.h"
#include "corpus.h"

#include <zlib.h>

namespace {

using namespace codectest;

// Our reader at `depth`; 8- and 1-bit results shown through the palette that came with them.
std::optional<Shown> ourDecode(const std::string& bytes, std::uint32_t depth, std::uint32_t* code = nullptr,
                               const std::string& path = {}) {
    return readShown(
        bytes, depth,
        [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* palette) {
            return is5_ReadPNG(s, w, h, depth, palette, 0);
        },
        code, path);
}


const std::string kSignature("\x89PNG\r\n\x1a\n", 8);
// The header chunk of an 8-bit picture of the colour type (0 grey, 2 RGB).
std::string ihdr(std::uint32_t w, std::uint32_t h, char colourType) {
    return pngChunk("IHDR", be32(w) + be32(h) + '\x08' + colourType + std::string(3, '\0'));
}

// An 8-bit grey or RGB picture of w × h with every sample (x + y) & 255, one IDAT.
std::string makePng(std::uint32_t w, std::uint32_t h, char colourType = 0) {
    const std::uint32_t samples = colourType ? 3 : 1;
    std::string raw;
    for (std::uint32_t y = 0; y < h; ++y) {
        raw += '\0';
        for (std::uint32_t x = 0; x < w * samples; ++x) raw += static_cast<char>((x / samples + y) & 0xFF);
    }
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string z(size, '\0');
    compress(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
             static_cast<uLong>(raw.size()));
    z.resize(size);
    return kSignature + ihdr(w, h, colourType) + pngChunk("tEXt", std::string("Comment\0made by the test", 24)) +
           pngChunk("IDAT", z) + pngChunk("IEND", "");
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
    ResolutionInfo res;
    EXPECT_EQ(headerDims(testutil::readFile(corpus / row.path), [&](IS5_SOURCE s, auto* w, auto* h, auto*) {
                  return is5_GetPNGDims(s, w, h, nullptr, nullptr, &res);
              }),
              (Dims{true, row.width, row.height, 0}));
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
    const std::string good = makePng(40, 30);
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
}

// Whole files the reader refuses: a header of 100000 × 100000 over a few bytes of data is
// refused at the pixel limit, not allocated (the limit itself is in writers_test.cpp);
// Apple's CgBI chunk ahead of IHDR is not a standard PNG; and depths that do not fit.
TEST(PngReader, RefusedFilesGiveTheirCode) {
    const std::string grey = makePng(4, 3), rgb = makePng(4, 3, 2);
    const std::string huge = kSignature + ihdr(100000, 100000, 2) +
                             pngChunk("IDAT", std::string("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) +
                             pngChunk("IEND", "");
    const std::vector<BadFile> rows = {
        {"100000 x 100000", huge, 24, IS5_ERR_TOO_LARGE},
        {"CgBI ahead of IHDR", kSignature + pngChunk("CgBI", std::string("\x50\x00\x20\x02", 4)) + grey.substr(8), 24,
         IS5_ERR_FORMAT},
        {"RGB at 8 bits", rgb, 8, IS5_ERR_PARAM},
        {"8-bit grey at 1 bit", grey, 1, IS5_ERR_PARAM},
        {"8-bit grey at 16 bits", grey, 16, IS5_ERR_PARAM},
    };
    expectEachFails(rows, [](const Bytes& file, std::uint32_t depth) {
        return decode(file, [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* pal) {
            return is5_ReadPNG(s, w, h, depth, pal, 0);
        });
    });
}
