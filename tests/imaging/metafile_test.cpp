// SPDX-License-Identifier: MIT
// The is5_ metafile readers: the corpus drawings against independent renderings, result
// codes for missing, cut, bad and oversized files, and the image object's metafile path.
#include "corpus.h"
#include "refimage.h"
#include "testutil.h"

#include "imaging/is5.h"
#include "imaging/isimageex.h"
#include "platform/globalmemory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(__FILE__).parent_path().parent_path() / "data" / "metafile";

struct Decoded {
    std::uint32_t code = 0;
    testutil::RgbImage image;
};

// The file at `path` read by name, or with `fromMemory` its bytes read from memory.
Decoded readMetafile(const std::string& path, std::uint32_t scale = 100, bool fromMemory = false) {
    Decoded d;
    const std::string bytes = fromMemory ? testutil::readFile(path) : std::string();
    HGLOBAL block = fromMemory ? is5_ReadMetafileFromMemory(bytes.data(), bytes.size(), &d.image.width, &d.image.height,
                                                            scale, scale)
                               : is5_ReadMetafile(path.c_str(), &d.image.width, &d.image.height, scale, scale, 0, 0);
    d.code = is5_GetLastError();
    if (block) {
        const auto* px = static_cast<const std::uint8_t*>(GlobalLock(block));
        d.image.rgb.assign(px, px + GlobalSize(block));
        GlobalFree(block);
    }
    return d;
}

// The mean difference per channel (0 … 255), and the share of pixels with any channel more
// than 64 apart.
std::pair<double, double> compare(const testutil::RgbImage& a, const testutil::RgbImage& b) {
    const std::size_t pixels = std::size_t{a.width} * a.height;
    std::size_t over = 0;
    double sum = 0;
    for (std::size_t i = 0; i < pixels; ++i) {
        int worst = 0;
        for (int c = 0; c < 3; ++c) {
            int diff = std::abs(int(a.rgb[i * 3 + c]) - int(b.rgb[i * 3 + c]));
            sum += diff;
            worst = std::max(worst, diff);
        }
        over += worst > 64;
    }
    return {sum / (pixels * 3.0), double(over) / pixels};
}

class MetafileCorpus : public ::testing::TestWithParam<const char*> {};

// LibreOffice renders with its own anti-aliasing and places the picture to the nearest
// pixel by its own rounding, so the disc's one-pixel outline may sit a pixel away: on a
// 110-pixel picture that outline touches about 700 pixels, under 6 % of them. A missing
// fill, a wrong colour, a disc off by more than a pixel or a different size fails both
// bounds by far (a white picture is 40 % off, the disc shifted by 3 pixels 9 %).
TEST_P(MetafileCorpus, MatchesTheIndependentRendering) {
    REQUIRE_CORPUS(corpus);
    const std::string ext = GetParam(), path = corpus / ("pillow/ok/metafile/drawing." + ext);
    Decoded ours = readMetafile(path);
    ASSERT_EQ(ours.code, 0u);
    auto reference = testutil::decodeReferencePng((kData / ("drawing_" + ext + ".png")).string());
    ASSERT_TRUE(reference.has_value());
    ASSERT_EQ(std::tie(ours.image.width, ours.image.height), std::tie(reference->width, reference->height));
    ASSERT_EQ(ours.image.rgb.size(), reference->rgb.size());
    const auto [mean, over64] = compare(ours.image, *reference);
    EXPECT_LT(over64, 0.06);
    EXPECT_LT(mean, 6.0);

    // Scaled to half each way: half the size, the disc's inside still red.
    Decoded half = readMetafile(path, 50);
    ASSERT_EQ(half.code, 0u);
    EXPECT_EQ(std::tie(half.image.width, half.image.height), std::tuple(55u, 55u));
    const std::size_t centre = (std::size_t{40} * 55 + 40) * 3;
    EXPECT_EQ(half.image.rgb[centre], 255);
    EXPECT_EQ(half.image.rgb[centre + 1], 0);

    // From memory the same picture as from the file.
    Decoded memory = readMetafile(path, 100, true);
    EXPECT_EQ(memory.code, 0u);
    EXPECT_EQ(std::tie(memory.image.width, memory.image.height), std::tie(ours.image.width, ours.image.height));
    EXPECT_TRUE(memory.image.rgb == ours.image.rgb);

    // The image object reads it at 24 bits, as its own type.
    CISImageEx img;
    ASSERT_EQ(img.Read(path, kImageDetect), 0u);
    EXPECT_EQ(std::tie(img.bitsPerPixel, img.width, img.height), std::tuple(24u, 110u, 110u));
    EXPECT_EQ(img.imageType, ext == "wmf" ? kImageWmf : kImageEmf);
    EXPECT_EQ(img.resolutionUnit, 1);
}

INSTANTIATE_TEST_SUITE_P(Drawings, MetafileCorpus, ::testing::Values("wmf", "emf"));

struct CodeRow {
    const char* name;
    std::string content; // written to a file; empty name part means "no file"
    std::uint32_t expected;
};

class MetafileCodes : public ::testing::TestWithParam<CodeRow> {};

std::string corpusBytes(const char* rel, std::size_t cut) {
    auto dir = testutil::corpusDir();
    if (!dir) return {}; // the test skips itself without the corpus
    std::string s = testutil::readFile(*dir / rel);
    s.resize(s.size() - std::min(cut, s.size()));
    return s;
}

TEST_P(MetafileCodes, BadFilesGiveTheirCode) {
    REQUIRE_CORPUS(corpus);
    const CodeRow& row = GetParam();
    testutil::TempDir dir;
    const std::string path = dir / "picture.emf";
    if (row.expected != IS5_ERR_OPEN) testutil::writeFile(path, row.content);
    std::uint32_t w = 7, h = 7;
    HGLOBAL block = is5_ReadMetafile(path.c_str(), &w, &h, 100, 100, 0, 0);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(is5_GetLastError(), row.expected);
    EXPECT_EQ(w, 7u);
    // The memory reader agrees on everything but a missing file.
    if (row.expected == IS5_ERR_OPEN) return;
    block = is5_ReadMetafileFromMemory(row.content.data(), row.content.size(), &w, &h, 100, 100);
    EXPECT_EQ(block, nullptr);
    EXPECT_EQ(is5_GetLastError(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MetafileCodes,
    ::testing::Values(CodeRow{"missing", "", IS5_ERR_OPEN},
                      CodeRow{"emfCut", corpusBytes("pillow/ok/metafile/drawing.emf", 100), IS5_ERR_READ},
                      CodeRow{"wmfCut", corpusBytes("pillow/ok/metafile/drawing.wmf", 100), IS5_ERR_READ},
                      CodeRow{"empty", "", IS5_ERR_READ},
                      CodeRow{"notAMetafile", std::string(200, 'Q'), IS5_ERR_FORMAT}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MetafileRead, PixelLimitAndParameters) {
    REQUIRE_CORPUS(corpus);
    const std::string path = (corpus / "pillow/ok/metafile/drawing.wmf").string();
    std::uint32_t w = 0, h = 0;
    is5_SetMaxPixels(110 * 110 - 1);
    EXPECT_EQ(is5_ReadMetafile(path.c_str(), &w, &h, 100, 100, 0, 0), nullptr);
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_TOO_LARGE);
    is5_SetMaxPixels(110 * 110);
    HGLOBAL block = is5_ReadMetafile(path.c_str(), &w, &h, 100, 100, 0, 0);
    EXPECT_NE(block, nullptr);
    GlobalFree(block);
    is5_SetMaxPixels(0); // back to the default
    EXPECT_EQ(is5_ReadMetafile(path.c_str(), &w, &h, 0, 100, 0, 0), nullptr);
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM);
    EXPECT_EQ(is5_ReadMetafile(path.c_str(), nullptr, &h, 100, 100, 0, 0), nullptr);
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM);
    EXPECT_EQ(is5_ReadMetafileFromMemory(nullptr, 10, &w, &h, 100, 100), nullptr);
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM);
}

} // namespace
