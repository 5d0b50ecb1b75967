// SPDX-License-Identifier: MIT
// The PCX, TGA, WBMP and metafile writers' header fields and encodings, every size of
// metafile, and what JPEG and PNG files written through CISImageEx carry. Their round trips
// are in writers_test.cpp.
#include "writertest.h"

#include "imaging/isimageex.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace writertest;

namespace {

// ---- PCX -------------------------------------------------------------------------------------

Written writePcx(const Picture& p, const ResolutionInfo* resolution = nullptr) {
    return writeToMemory([&](IS5_DEST d) {
        return is5_WritePCX(d, p.data(), p.width, p.height, p.depth, p.stride, p.palette.data(), resolution, 0);
    });
}

TEST(PcxWriter, HeaderFields) {
    for (std::uint32_t depth : {24u, 8u})
        for (std::uint32_t width : {1u, 2u, 125u}) {
            const Written w = writePcx(makePicture(width, 3, depth));
            ASSERT_GE(w.bytes.size(), 128u);
            EXPECT_EQ(w.bytes[1], 5);                                  // version 5
            EXPECT_EQ(w.bytes[2], 1);                                  // run-length encoded
            EXPECT_EQ(std::uint8_t(w.bytes[65]), depth == 24 ? 3 : 1); // planes
            EXPECT_EQ(le16(w.bytes, 66), (width + 1) / 2 * 2);        // even bytes per line
        }
}

TEST(PcxWriter, RunsNeverExceed63AndBytesWithTopBitsSetAreEscaped) {
    // One line of 64 equal bytes and single bytes at 0xC0 and above.
    Picture p = makePicture(70, 1, 8);
    std::fill(p.pixels.begin(), p.pixels.begin() + 64, 0x07);
    p.pixels[64] = 0xC0;
    p.pixels[65] = 0xFF;
    p.pixels[66] = 0x3F;
    const Written w = writePcx(p);
    ASSERT_TRUE(w.ok);
    const Bytes line = w.bytes.substr(128, w.bytes.size() - 128 - 769);
    EXPECT_EQ(line.substr(0, 8), Bytes("\xFF\x07\x07\xC1\xC0\xC1\xFF\x3F", 8));
}

// ---- TGA -------------------------------------------------------------------------------------

Written writeTga(const Picture& p) {
    return writeToMemory([&](IS5_DEST d) {
        return is5_WriteTGA(d, p.data(), p.width, p.height, p.depth, p.stride, p.palette.data(), nullptr, 0);
    });
}

TEST(TgaWriter, HeaderAndFooter) {
    for (std::uint32_t depth : {24u, 8u}) {
        const Written w = writeTga(makePicture(5, 3, depth));
        EXPECT_EQ(w.bytes[2], depth == 24 ? 2 : 1); // true-colour or colour-mapped, uncompressed
        EXPECT_EQ(w.bytes[17], 0);                  // bottom-left origin
        EXPECT_EQ(w.bytes.substr(w.bytes.size() - 18), Bytes("TRUEVISION-XFILE.\0", 18));
    }
}

// ---- WBMP ------------------------------------------------------------------------------------

Written writeWbmp(const Picture& p) {
    return writeToMemory([&](IS5_DEST d) { return is5_WriteWBMP(d, p.data(), p.width, p.height, p.stride, 0); });
}

TEST(WbmpWriter, SidesAreMultiByteIntegers) {
    struct Row {
        std::uint32_t width, height;
        Bytes header;
    };
    for (const Row& r : {Row{1, 1, Bytes("\0\0\x01\x01", 4)}, Row{127, 128, Bytes("\0\0\x7F\x81\x00", 5)},
                         Row{200, 16384, Bytes("\0\0\x81\x48\x81\x80\x00", 7)}}) {
        const Picture p = makePicture(r.width, r.height, 8);
        const Written w = writeWbmp(p);
        ASSERT_TRUE(w.ok);
        EXPECT_EQ(w.bytes.substr(0, r.header.size()), r.header);
        EXPECT_EQ(w.bytes.size(), r.header.size() + std::size_t{(r.width + 7) / 8} * r.height);
    }
}

// ---- metafiles -------------------------------------------------------------------------------

Written writeMetafile(const Picture& p, std::uint32_t kind) {
    return writeToMemory(
        [&](IS5_DEST d) { return is5_WriteRGBToMetafile(d, p.data(), p.width, p.height, p.stride, kind, 0); });
}

Decoded renderMetafile(const Bytes& file) {
    Decoded r;
    HGLOBAL block = is5_ReadMetafileFromMemory(file.data(), file.size(), &r.width, &r.height, 100, 100);
    r.code = is5_GetLastError();
    if (block) {
        r.ok = true;
        r.pixels.assign(static_cast<const char*>(GlobalLock(block)), GlobalSize(block));
        GlobalFree(block);
    }
    return r;
}

TEST(MetafileWriter, EveryWidthAndHeightRendersOneToOne) {
    // The EMF frame is chosen per size; each of these sizes must come back exact.
    for (std::uint32_t side = 1; side <= 300; ++side) {
        const Picture wide = makePicture(side, 1, 24), tall = makePicture(1, side, 24);
        for (const Picture* p : {&wide, &tall}) {
            const Decoded back = renderMetafile(writeMetafile(*p, 1).bytes);
            ASSERT_TRUE(back.ok) << side;
            ASSERT_EQ(back.width, p->width);
            ASSERT_EQ(back.height, p->height);
            ASSERT_EQ(back.pixels, coloursOf(*p)) << side;
        }
    }
}

TEST(MetafileWriter, PlaceableHeaderChecksumAndSizes) {
    // Our player checks neither; other programs do.
    const Bytes wmf = writeMetafile(makePicture(40, 30, 24), 0).bytes,
                emf = writeMetafile(makePicture(40, 30, 24), 1).bytes;
    std::uint32_t checksum = 0;
    for (std::size_t i = 0; i < 20; i += 2)
        checksum ^= le16(wmf, i);
    EXPECT_EQ(le16(wmf, 20), checksum);
    EXPECT_EQ(le16(wmf, 28) | le16(wmf, 30) << 16, (wmf.size() - 22) / 2); // words after the placeable header
    EXPECT_EQ(le16(emf, 48) | le16(emf, 50) << 16, emf.size());
}

// ---- through the image object ----------------------------------------------------------------

TEST(WriterThroughObject, JpegAndPngCarryNothingFromEarlierWrites) {
    testutil::TempDir dir;
    CISImageEx img;
    toImage(img, makePicture(16, 16, 24));
    ASSERT_TRUE(is5_AddJPGOutputText("left over"));
    ASSERT_TRUE(is5_AddJPGOutputMarker(0xE5, reinterpret_cast<const std::uint8_t*>("old"), 3));
    ASSERT_TRUE(is5_AddPNGOutputText("Old", "left over"));
    ASSERT_EQ(img.Write(kImageJpeg, dir / "a.jpg"), 0u);
    ASSERT_EQ(img.Write(kImagePng, dir / "a.png"), 0u);
    EXPECT_EQ(testutil::readFile(dir / "a.jpg").find("left over"), std::string::npos);
    EXPECT_EQ(testutil::readFile(dir / "a.jpg").find("\xFF\xE5"), std::string::npos);
    EXPECT_EQ(testutil::readFile(dir / "a.png").find("left over"), std::string::npos);
}

} // namespace
