// SPDX-License-Identifier: MIT
// The WebP reader beyond the corpus (whose pixels are checked in corpus_test.cpp): cut-off,
// damaged and oversized files, and an animation's first frame on its canvas, over white.
#include "corpus.h"
#include "writertest.h"

#include "imaging/detail/pixels.h"

#include <gtest/gtest.h>

using namespace writertest;

namespace {

/// Decodes WebP bytes at `depth`; the pixels, or nothing with the code in `code`.
std::optional<Bytes> decode(const Bytes& file, std::uint32_t depth, std::uint32_t* code, std::uint32_t* w = nullptr,
                            std::uint32_t* h = nullptr) {
    IS5_SOURCE source = is5_OpenMemorySource(file.data(), file.size(), "x.webp");
    std::uint32_t width = 0, height = 0;
    HGLOBAL block = is5_ReadWEBP(source, &width, &height, depth, 0);
    *code = is5_GetLastError();
    is5_CloseSource(source);
    if (!block) return std::nullopt;
    Bytes pixels(static_cast<const char*>(GlobalLock(block)), std::size_t{width} * height * (depth / 8));
    GlobalFree(block);
    if (w) *w = width;
    if (h) *h = height;
    return pixels;
}

} // namespace

TEST(WebpReader, CutOffDamagedAndOversizedFilesFailWithTheirCodes) {
    REQUIRE_CORPUS(corpus);
    std::uint32_t code = 0;
    // Lossless, lossy with an alpha chunk, plain lossy: every cut reads as data that ended early.
    for (const char* name : {"lossless_vec_1_0.webp", "alpha_filter_1.webp", "small_31x13.webp"}) {
        const Bytes whole = testutil::readFile(corpus / "libwebp-test-data" / name);
        ASSERT_TRUE(decode(whole, 24, &code).has_value()) << name;
        for (std::size_t keep = 0; keep < whole.size(); ++keep) {
            SCOPED_TRACE(std::string(name) + " cut to " + std::to_string(keep));
            EXPECT_FALSE(decode(whole.substr(0, keep), 24, &code).has_value());
            EXPECT_EQ(code, IS5_ERR_READ);
        }
    }
    const Bytes lossless = testutil::readFile(corpus / "libwebp-test-data" / "lossless_vec_1_0.webp");
    auto changed = [&](std::size_t at, char to) {
        Bytes bad = lossless;
        bad[at] = to;
        return bad;
    };
    // An animation whose 20000 x 20000 canvas only the header declares.
    const Bytes hugeCanvas = Bytes("RIFF\x16\0\0\0WEBPVP8X\x0a\0\0\0\x02\0\0\0\x1f\x4e\0\x1f\x4e\0", 30);
    struct Row {
        const char* what;
        Bytes file;
        std::uint32_t depth, code;
    } const rows[] = {
        {"not WEBP in the RIFF header", changed(11, 'Q'), 24, IS5_ERR_FORMAT},
        {"not a RIFF file", changed(3, 'X'), 24, IS5_ERR_FORMAT},
        {"a damaged lossless signature", changed(20, '\x2e'), 24, IS5_ERR_FORMAT},
        {"a bare lossless stream without its RIFF header", lossless.substr(20), 24, IS5_ERR_FORMAT},
        {"an animation canvas past the pixel limit", hugeCanvas, 24, IS5_ERR_TOO_LARGE},
        {"depth 8", lossless, 8, IS5_ERR_PARAM},
    };
    for (const Row& r : rows) {
        EXPECT_FALSE(decode(r.file, r.depth, &code).has_value()) << r.what;
        EXPECT_EQ(code, r.code) << r.what;
    }
}

TEST(WebpReader, AnimationGivesItsFirstFrameOnTheCanvasOverWhite) {
    REQUIRE_TOOL("convert");
    testutil::TempDir dir;
    // A half-transparent red 4 x 3 frame at (2, 1) of a 10 x 8 canvas, then a blue frame.
    const std::string png = dir / "red.png", anim = dir / "anim.webp";
    ASSERT_EQ(run("convert -size 4x3 xc:'rgba(255,0,0,0.5)' '" + png + "' && convert -size 4x3 xc:blue '" +
                  dir / "blue.png" + "' && convert -dispose none -delay 10 -page 10x8+2+1 '" + png +
                  "' -page 10x8+0+0 '" + dir / "blue.png" + "' -define webp:lossless=true '" + anim + "'")
                  .status,
              0);
    const Bytes file = testutil::readFile(anim);
    ASSERT_NE(file.find("ANMF"), std::string::npos) << "not an animation";
    std::uint32_t code = 0, w = 0, h = 0;
    const auto rgba = decode(file, 32, &code, &w, &h);
    ASSERT_TRUE(rgba.has_value()) << code;
    ASSERT_EQ(w, 10u);
    ASSERT_EQ(h, 8u);
    const auto rgb = decode(file, 24, &code);
    ASSERT_TRUE(rgb.has_value()) << code;
    for (std::uint32_t y = 0; y < 8; ++y)
        for (std::uint32_t x = 0; x < 10; ++x) {
            SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
            const std::size_t i = std::size_t{y} * 10 + x;
            const bool inFrame = x >= 2 && x < 6 && y >= 1 && y < 4;
            const auto alpha = static_cast<std::uint8_t>((*rgba)[4 * i + 3]);
            EXPECT_EQ(alpha, inFrame ? 128 : 0);
            const std::uint8_t shown = imaging::detail::overWhite(0, alpha);
            const Bytes expected = inFrame ? Bytes{'\xFF', char(shown), char(shown)} : Bytes(3, '\xFF');
            EXPECT_EQ(Bytes(rgb->data() + 3 * i, 3), expected);
        }
}
