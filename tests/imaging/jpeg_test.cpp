// SPDX-License-Identifier: MIT
// The JPEG reader: header facts, CMYK, cut-off files, the scan limit and the pixel guard
// (libraryref_test.cpp holds every corpus JPEG against libjpeg).
#include "codectest.h"
#include "corpus.h"

namespace {

using namespace codectest;

// Our reader over a memory source.
std::optional<Shown> ourDecode(const std::string& bytes, std::uint32_t depth, std::uint32_t* code = nullptr) {
    return readShown(bytes, depth, [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq*) {
        return is5_ReadJPG(s, w, h, depth, 0);
    }, code);
}

// A 64 × 48 colour picture with smooth gradients and a few edges.
std::vector<std::uint8_t> testPicture(std::uint32_t w, std::uint32_t h) {
    std::vector<std::uint8_t> rgb(std::size_t{w} * h * 3);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            std::uint8_t* p = &rgb[(std::size_t{y} * w + x) * 3];
            p[0] = static_cast<std::uint8_t>(x * 255 / w);
            p[1] = static_cast<std::uint8_t>(y * 255 / h);
            p[2] = (x / 8 + y / 8) % 2 ? 200 : 40;
        }
    return rgb;
}

} // namespace

struct DimsRow {
    const char* path;
    std::uint32_t width, height, bits;
    double xRes, yRes;
    int unit;
};

class JpegDims : public ::testing::TestWithParam<DimsRow> {};

// Expected values as ExifTool 12.57 reports them (-a -G1 -n): JFIF density when the file
// has a JFIF segment, else EXIF IFD0's resolution in JFIF's units.
TEST_P(JpegDims, HeaderReaderReportsSizeDepthAndResolution) {
    REQUIRE_CORPUS(corpus);
    const DimsRow& row = GetParam();
    const std::string bytes = testutil::readFile(corpus / row.path);
    ResolutionInfo res;
    EXPECT_EQ(headerDims(bytes, [&](IS5_SOURCE s, auto* w, auto* h, auto* b) {
                  is5_Seek(s, 100, IS5_SEEK_SET); // the reader starts from the beginning regardless
                  return is5_GetJPGDims(s, w, h, b, &res);
              }),
              (Dims{true, row.width, row.height, row.bits}));
    EXPECT_DOUBLE_EQ(res.xResolution, row.xRes);
    EXPECT_DOUBLE_EQ(res.yResolution, row.yRes);
    EXPECT_EQ(res.unit, row.unit);
    // The reader agrees on the size.
    const auto read = ourDecode(bytes, row.bits == 8 ? 8 : 24);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(std::pair(read->width, read->height), std::pair(row.width, row.height));
}

INSTANTIATE_TEST_SUITE_P(
    Corpus, JpegDims,
    ::testing::Values(DimsRow{"libjpeg-turbo/ok/testorig.jpg", 227, 149, 24, 1, 1, 0},
                      DimsRow{"pillow/ok/jpeg/hopper.jpg", 128, 128, 24, 96, 96, 1},
                      DimsRow{"pillow/ok/jpeg/hopper_gray.jpg", 128, 128, 8, 96, 96, 1},
                      DimsRow{"pillow/ok/jpeg/jfif_unit_cm.jpg", 1, 1, 8, 1, 2, 2},
                      DimsRow{"pillow/ok/jpeg/exif-200dpcm.jpg", 200, 200, 24, 200, 200, 2},
                      DimsRow{"pillow/ok/jpeg/photoshop-200dpi.jpg", 200, 200, 24, 200, 200, 1},
                      DimsRow{"pillow/nocrash/jpeg/broken_exif_dpi.jpg", 100, 100, 24, 1, 1, 0},
                      DimsRow{"pillow/nocrash/jpeg/pil_sample_cmyk.jpg", 100, 100, 32, 72, 72, 1}));

// Adobe CMYK (inverted inks) in flat 16 × 16 patches, written at quality 100: each patch
// comes out as R = (255 - C)(255 - K) / 255 and so on, within ±3 of the lossy round trip.
TEST(JpegReader, AdobeCmykBecomesRgbAndGrey) {
    struct Ink {
        std::uint8_t c, m, y, k;
    };
    const Ink patches[4] = {{255, 0, 0, 0}, {0, 200, 100, 0}, {0, 0, 0, 128}, {40, 80, 120, 60}};
    const std::uint32_t w = 64, h = 16;
    std::vector<std::uint8_t> stored(w * h * 4);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const Ink& ink = patches[x / 16];
            std::uint8_t* p = &stored[(y * w + x) * 4];
            p[0] = 255 - ink.c, p[1] = 255 - ink.m, p[2] = 255 - ink.y, p[3] = 255 - ink.k;
        }
    const std::string bytes = encodeJpeg(w, h, 4, JCS_CMYK, stored, {.quality = 100, .adobe = true});
    auto rgb = ourDecode(bytes, 24);
    auto grey = ourDecode(bytes, 8);
    ASSERT_TRUE(rgb && grey);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const Ink& ink = patches[i];
        auto channel = [&](std::uint8_t v) { return (255 - v) * (255 - ink.k) / 255.0; };
        const double r = channel(ink.c), g = channel(ink.m), b = channel(ink.y);
        const std::size_t centre = 8 * w + i * 16 + 8;
        EXPECT_NEAR(rgb->raw[centre * 3], r, 3);
        EXPECT_NEAR(rgb->raw[centre * 3 + 1], g, 3);
        EXPECT_NEAR(rgb->raw[centre * 3 + 2], b, 3);
        EXPECT_NEAR(grey->raw[centre], 0.299 * r + 0.587 * g + 0.114 * b, 3);
    }
}

// A file cut inside its coded data fails, Huffman- or arithmetic-coded (whose decoder runs
// on over missing data without a word); one that lacks only its EOI marker decodes. An
// arithmetic-coded file cut within its last row of blocks cannot be told from one that
// only lacks its end marker, so the cuts here stop short of it. Files built in each coding,
// then real arithmetic-coded ones, progressive (the corpus file's lossless transcode, kept
// with the fuzz inputs) and sequential (the corpus's), cut to a half, a third, a fifth and
// a tenth.
TEST(JpegReader, CutOffFilesFailButAMissingEndMarkerDoesNot) {
    auto check = [](const std::string& name, const std::string& whole, std::initializer_list<double> cuts) {
        SCOPED_TRACE(name);
        auto full = ourDecode(whole, 24);
        ASSERT_TRUE(full.has_value());
        auto noEoi = ourDecode(whole.substr(0, whole.size() - 2), 24);
        ASSERT_TRUE(noEoi.has_value());
        EXPECT_TRUE(noEoi->raw == full->raw);
        for (double cut : cuts) {
            std::uint32_t code = 0;
            auto part = ourDecode(whole.substr(0, static_cast<std::size_t>(whole.size() * cut)), 24, &code);
            EXPECT_FALSE(part.has_value()) << cut;
            EXPECT_EQ(code, IS5_ERR_READ) << cut;
        }
    };
    const auto picture = testPicture(64, 240);
    for (int kind = 0; kind < 4; ++kind) {
        const bool progressive = kind & 1, arithmetic = kind & 2;
        check(std::string(progressive ? "progressive" : "baseline") + (arithmetic ? " arithmetic" : ""),
              encodeJpeg(64, 240, 3, JCS_RGB, picture, {.progressive = progressive, .arithmetic = arithmetic}),
              {0.02, 0.1, 0.2, 1 / 3.0, 0.5, 0.6, 0.9});
    }
    const auto fuzz = std::filesystem::path(__FILE__).parent_path().parent_path() / "fuzz/jpeg";
    check("progressive", testutil::readFile(fuzz / "testimgari-progressive.jpg"), {1 / 2.0, 1 / 3.0, 1 / 5.0, 0.1});
    REQUIRE_CORPUS(corpus);
    check("sequential", testutil::readFile(corpus / "libjpeg-turbo/ok/testimgari.jpg"), {1 / 2.0, 1 / 3.0, 1 / 5.0, 0.1});
}

// A progressive file whose last scan is repeated: up to the limit it decodes (libjpeg
// warns about the bogus progression), past 1000 scans it is refused.
TEST(JpegReader, ScanCountIsBounded) {
    const std::string whole = encodeJpeg(64, 48, 3, JCS_RGB, testPicture(64, 48), {.progressive = true});
    const std::size_t lastScan = whole.rfind("\xFF\xDA");
    ASSERT_NE(lastScan, std::string::npos);
    const std::string scan = whole.substr(lastScan, whole.size() - 2 - lastScan);
    auto repeated = [&](int times) {
        std::string out = whole.substr(0, whole.size() - 2);
        for (int i = 0; i < times; ++i) out += scan;
        return out + "\xFF\xD9";
    };
    EXPECT_TRUE(ourDecode(repeated(900), 24).has_value());
    std::uint32_t code = 0;
    EXPECT_FALSE(ourDecode(repeated(1100), 24, &code).has_value());
    EXPECT_EQ(code, IS5_ERR_FORMAT);
}

// Files and depths the reader refuses, each with its code: a frame header claiming
// 65000 × 65000 is refused at the pixel limit, not allocated (the limit itself is in
// writers_test.cpp).
TEST(JpegReader, RefusedFilesGiveTheirCode) {
    const std::string bytes = encodeJpeg(16, 16, 3, JCS_RGB, testPicture(16, 16));
    const std::size_t sof = bytes.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    const std::vector<BadFile> rows = {
        {"65000 x 65000", bytes.substr(0, sof + 5) + "\xFD\xE8\xFD\xE8" + bytes.substr(sof + 9), 24, IS5_ERR_TOO_LARGE},
        {"not a JPEG", "GIF89a not a jpeg at all", 24, IS5_ERR_FORMAT},
        {"empty", "", 24, IS5_ERR_READ},
        {"depth 1", bytes, 1, IS5_ERR_PARAM},
    };
    expectEachFails(rows, [](const Bytes& file, std::uint32_t depth) {
        return decode(file, [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq*) {
            return is5_ReadJPG(s, w, h, depth, 0);
        });
    });
    // No source, nowhere to put the size.
    std::uint32_t w = 0, h = 0;
    EXPECT_EQ(is5_ReadJPG(nullptr, &w, &h, 24, 0), nullptr);
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM);
    IS5_SOURCE source = is5_OpenMemorySource(bytes.data(), bytes.size(), "t.jpg");
    EXPECT_EQ(is5_ReadJPG(source, nullptr, &h, 24, 0), nullptr);
    is5_CloseSource(source);
    // Cut before the first scan: libjpeg reads the header up to it, so even that fails.
    EXPECT_FALSE(headerDims(bytes.substr(0, bytes.find("\xFF\xDA")), [](IS5_SOURCE s, auto* w, auto* h, auto* b) {
                     return is5_GetJPGDims(s, w, h, b, nullptr);
                 }).ok);
}
