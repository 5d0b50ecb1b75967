// SPDX-License-Identifier: MIT
// The TIFF writer: the tags it writes (photometric, colour map, strips) as libtiff and
// tiffinfo read them. Its round trips are in writers_test.cpp.
#include "writertest.h"

#include <gtest/gtest.h>

#include <memory>

#include <tiffio.h>

using namespace writertest;

namespace {

// Bilevel pictures are written as the image object writes them: option 32 when palette
// entry 0 is black.
Written writeTiff(const Picture& p, std::uint32_t compression, const ResolutionInfo* resolution = nullptr,
                  int explicitOptions = -1) {
    const Is5Rgbq& zero = p.palette[0];
    const std::uint32_t options = explicitOptions >= 0                            ? std::uint32_t(explicitOptions)
                                  : p.depth == 1 && zero.r + zero.g + zero.b == 0 ? 32u
                                                                                  : 0u;
    return writeToMemory([&](IS5_DEST d) {
        return is5_WriteTIFF(d, p.data(), p.width, p.height, p.depth, p.stride, p.palette.data(), compression,
                             resolution, options);
    });
}

Decoded readTiff(const Bytes& file, std::uint32_t depth) {
    return decode(file, [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* pal) {
        return is5_ReadTIFF(s, w, h, depth, pal, 0, 0);
    });
}

struct TiffClose {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffClose>;

TiffPtr openWritten(const testutil::TempDir& dir, const Bytes& bytes) {
    return TiffPtr(TIFFOpen(saveTemp(dir, "t.tif", bytes).c_str(), "r"));
}

TEST(TiffWriter, ColourMapEntriesSpanTheSixteenBitRange) {
    testutil::TempDir dir;
    Picture p = makePicture(10, 3, 8);
    p.palette[0] = {0, 128, 255, 0};
    const TiffPtr tif = openWritten(dir, writeTiff(p, 1).bytes);
    ASSERT_TRUE(tif);
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr, photometric = 0;
    ASSERT_TRUE(TIFFGetField(tif.get(), TIFFTAG_COLORMAP, &red, &green, &blue));
    TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    EXPECT_EQ(photometric, PHOTOMETRIC_PALETTE);
    EXPECT_EQ(red[0], 0);
    EXPECT_EQ(green[0], 128 * 257);
    EXPECT_EQ(blue[0], 65535);
    for (int i = 1; i < 256; ++i)
        EXPECT_EQ(red[i], p.palette[i].r * 257) << i;
}

TEST(TiffWriter, BilevelPhotometricKeepsBlackBlack) {
    testutil::TempDir dir;
    struct Row {
        Is5Rgbq zero, one;
        std::uint32_t options;
        std::uint16_t photometric;
    };
    for (const Row& r : {Row{{0, 0, 0, 0}, {255, 255, 255, 0}, 32, PHOTOMETRIC_MINISBLACK},
                         Row{{255, 255, 255, 0}, {0, 0, 0, 0}, 0, PHOTOMETRIC_MINISWHITE}}) {
        Picture p = makePicture(21, 5, 1);
        p.palette[0] = r.zero;
        p.palette[1] = r.one;
        const Written w = writeTiff(p, 1, nullptr, int(r.options));
        ASSERT_TRUE(w.ok);
        const TiffPtr tif = openWritten(dir, w.bytes);
        std::uint16_t photometric = 0;
        ASSERT_TRUE(TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric));
        EXPECT_EQ(photometric, r.photometric);
        // The stored bits are the picture's own; the reader turns them into the same colours.
        EXPECT_EQ(readTiff(w.bytes, 1).colours(1), coloursOf(p)) << r.options;
        EXPECT_EQ(readTiff(w.bytes, 24).pixels, coloursOf(p)) << r.options;
    }
}

TEST(TiffWriter, WritesAfterBytesAlreadyInTheDestination) {
    // Offsets inside the file count from where it starts, not from the destination's start.
    const Picture p = makePicture(9, 4, 24);
    const Written w = writeToMemory([&](IS5_DEST d) {
        is5_WriteDest(d, "prefix", 6);
        return is5_WriteTIFF(d, p.data(), p.width, p.height, 24, p.stride, nullptr, 5, nullptr, 0);
    });
    ASSERT_TRUE(w.ok);
    ASSERT_EQ(w.bytes.substr(0, 6), "prefix");
    EXPECT_EQ(readTiff(w.bytes.substr(6), 24).pixels, coloursOf(p));
}

// ---- independent checks --------------------------------------------------------------------

TEST(TiffWriterTools, TiffinfoReportsTheTags) {
    REQUIRE_TOOL("tiffinfo");
    testutil::TempDir dir;
    const ResolutionInfo dpi{300, 300, 2};
    struct Row {
        std::uint32_t depth, compression, options;
        std::vector<std::string> facts;
    };
    const std::vector<Row> rows = {
        {24,
         5,
         0,
         {"Image Width: 77 Image Length: 9", "Bits/Sample: 8", "Samples/Pixel: 3", "LZW",
          "Photometric Interpretation: RGB color", "Resolution: 300, 300 pixels/inch",
          "Planar Configuration: single image plane"}},
        {8, 32773, 0, {"Bits/Sample: 8", "Samples/Pixel: 1", "PackBits", "Photometric Interpretation: palette color"}},
        {1, 4, 32, {"Bits/Sample: 1", "CCITT Group 4", "Photometric Interpretation: min-is-black"}},
        {1, 8, 0, {"Bits/Sample: 1", "Deflate", "Photometric Interpretation: min-is-white"}},
    };
    for (const Row& r : rows) {
        const Picture p = makePicture(77, 9, r.depth);
        const std::string path = dir / "i.tif";
        ASSERT_EQ(writeToFile(path, [&](IS5_DEST d) {
            return is5_WriteTIFF(d, p.data(), p.width, p.height, p.depth, p.stride, p.palette.data(), r.compression,
                                 &dpi, r.options);
        }), 0u);
        const ToolRun info = run("tiffinfo '" + path + "'");
        EXPECT_EQ(info.status, 0);
        for (const std::string& fact : r.facts)
            EXPECT_NE(info.out.find(fact), std::string::npos) << fact << "\n" << info.out;
    }
}

} // namespace
