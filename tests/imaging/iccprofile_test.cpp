// SPDX-License-Identifier: MIT
// ICC profiles carried from file to file: bytes identical after a round trip through every
// type that holds one, a profile split over several JPEG chunks, damaged and oversized ones.
#include "codectest.h"
#include "corpus.h"
#include "imaging/codecs/webpchunks.h"
#include "imaging/iccprofile.h"
#include "imaging/isimageex.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>

namespace {

std::vector<std::uint8_t> pattern(std::size_t size) { return codectest::randomPixels(size, 7); }

} // namespace

TEST(IccProfile, SameBytesAfterARoundTripThroughEachType) {
    testutil::TempDir dir;
    CISImageEx picture;
    ASSERT_EQ(picture.Allocate(33, 17, 24), kImageOk);
    for (std::uint32_t i = 0; i < picture.GetRowBytes() * 17; ++i) picture.GetPixels()[i] = static_cast<std::uint8_t>(i);
    // 557 bytes: one chunk and odd (Photoshop pads it); 150001: three JPEG chunks, the last short.
    for (const std::size_t size : {std::size_t{557}, std::size_t{150001}}) {
        const std::vector<std::uint8_t> profile = pattern(size);
        for (const auto& [type, name] : {std::pair{kImageJpeg, "p.jpg"}, std::pair{kImagePng, "p.png"},
                                         std::pair{kImageTiff, "p.tif"}, std::pair{kImagePsd, "p.psd"},
                                         std::pair{kImageWebp, "p.webp"}}) {
            SCOPED_TRACE(std::string(name) + " " + std::to_string(size));
            const std::string path = dir / name;
            ASSERT_EQ(picture.Write(type, path), kImageOk);
            CISImageEx plain;
            ASSERT_EQ(plain.Read(path, kImageDetect), kImageOk);
            EXPECT_TRUE(imaging::ReadIccProfile(path).empty());
            ASSERT_TRUE(imaging::EmbedIccProfile(path, type, profile));
            EXPECT_EQ(imaging::ReadIccProfile(path), profile);
            CISImageEx kept; // and the picture reads as before
            ASSERT_EQ(kept.Read(path, kImageDetect), kImageOk);
            ASSERT_EQ(kept.width * kept.height, 33u * 17);
            EXPECT_EQ(0, std::memcmp(kept.GetPixels(), plain.GetPixels(), plain.GetRowBytes() * 17));
        }
    }
    EXPECT_FALSE(imaging::EmbedIccProfile(dir / "p.bmp", kImageBmp, pattern(10)));
}

TEST(IccProfile, DamagedOrOversizedProfilesAreNotRead) {
    testutil::TempDir dir;
    auto app2 = [](int sequence, int count, const std::string& data) {
        const std::string body = std::string("ICC_PROFILE\0", 12) + char(sequence) + char(count) + data;
        return std::string("\xFF\xE2") + char((body.size() + 2) >> 8) + char(body.size() + 2) + body;
    };
    const std::string soi = "\xFF\xD8", sos = "\xFF\xDA\x00\x02";
    struct Row {
        const char* what;
        std::string bytes;
        std::string profile;
    } const rows[] = {
        {"chunks out of order are put back in order", soi + app2(2, 2, "world") + app2(1, 2, "hello ") + sos,
         "hello world"},
        {"a missing chunk", soi + app2(1, 3, "a") + app2(3, 3, "c") + sos, ""},
        {"a repeated chunk", soi + app2(1, 2, "a") + app2(1, 2, "b") + sos, ""},
        {"counts that differ", soi + app2(1, 2, "a") + app2(2, 3, "b") + sos, ""},
        {"sequence 0", soi + app2(0, 1, "a") + sos, ""},
        {"cut inside a chunk", (soi + app2(1, 1, "abcdef")).substr(0, 20), ""},
    };
    for (const Row& row : rows) {
        testutil::writeFile(dir / "x.jpg", row.bytes);
        const std::vector<std::uint8_t> read = imaging::ReadIccProfile(dir / "x.jpg");
        EXPECT_EQ(std::string(read.begin(), read.end()), row.profile) << row.what;
    }

    // A PNG whose iCCP inflates beyond the limit is not read.
    CISImageEx picture;
    ASSERT_EQ(picture.Allocate(2, 2, 24), kImageOk);
    ASSERT_EQ(picture.Write(kImagePng, dir / "big.png"), kImageOk);
    std::string png = testutil::readFile(dir / "big.png");
    const std::string zeros(imaging::kMaxIccProfile + 1, '\0');
    uLongf packedSize = compressBound(zeros.size());
    std::string packed(packedSize, '\0');
    ASSERT_EQ(compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                        reinterpret_cast<const Bytef*>(zeros.data()), zeros.size(), 9), Z_OK);
    png.insert(33, codectest::pngChunk("iCCP", std::string("big\0\0", 5) + packed.substr(0, packedSize)));
    testutil::writeFile(dir / "big.png", png);
    EXPECT_TRUE(imaging::ReadIccProfile(dir / "big.png").empty());
    // Nor a WebP whose ICCP chunk is larger than a profile may be.
    ASSERT_EQ(picture.Write(kImageWebp, dir / "big.webp"), kImageOk);
    const std::string small = testutil::readFile(dir / "big.webp");
    std::vector<std::uint8_t> webp(small.begin(), small.end());
    ASSERT_TRUE(imaging::detail::SetWebpChunk(webp, "ICCP", std::vector<std::uint8_t>(imaging::kMaxIccProfile + 1)));
    testutil::writeFile(dir / "big.webp", std::string(webp.begin(), webp.end()));
    EXPECT_TRUE(imaging::ReadIccProfile(dir / "big.webp").empty());
    EXPECT_FALSE(imaging::EmbedIccProfile(dir / "x.jpg", kImageJpeg, pattern(imaging::kMaxIccProfile + 1)));
}
