// SPDX-License-Identifier: MIT
// Every picture of the shared corpus through the whole read path, one test per suite:
// good files decode (and match their references where they have one), bad files fail
// cleanly, and nothing crashes or leaks. A reader that hangs runs into the test's ctest
// TIMEOUT (tests/CMakeLists.txt); how fast the readers are is for the benchmarks.
#include "codectest.h"
#include "corpus.h"
#include "refimage.h"

#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <QCryptographicHash>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>

namespace fs = std::filesystem;

namespace {

testutil::RgbImage toRgb(const CISImageEx& img) {
    return {img.width, img.height, codectest::colours(img.GetPixels(), img.width, img.height, img.bitsPerPixel, img.palette)};
}

struct Reference {
    std::string path;   // relative to the corpus
    bool isPng;         // a reference rendering (decoded by libpng) or another corpus file (decoded by us)
    int tolerance;      // largest allowed channel difference
};

// Pictures that have a reference: renderings by another decoder, or the same picture
// stored in another format.
std::optional<Reference> referenceFor(const fs::path& corpus, const std::string& path) {
    auto exists = [&](const std::string& p) { return fs::exists(corpus / p); };
    auto name = fs::path(path).filename().string();
    // These BMPs declare an alpha mask but leave every alpha bit 0, which the reader takes as
    // opaque; their reference renders them transparent, so they are held to the same
    // pictures stored without alpha.
    static const std::map<std::string, std::string> kOpaqueTwins = {
        {"V3_A1_R5_G5_B5.bmp", "Info_X1_R5_G5_B5.bmp"},
        {"V3_A1_R5_G5_B5_Top_Down.bmp", "Info_X1_R5_G5_B5_Top_Down.bmp"},
        {"V3_A4_R4_G4_B4.bmp", "V3_X4_R4_G4_B4.bmp"},
        {"V3_A4_R4_G4_B4_Top_Down.bmp", "V3_X4_R4_G4_B4_Top_Down.bmp"},
    };
    if (auto it = kOpaqueTwins.find(name); it != kOpaqueTwins.end() && path.rfind("image-rs/ok/bmp/", 0) == 0)
        return Reference{"image-rs/reference/bmp/" + it->second + ".png", true, 0};
    // BMP Suite stores each of its test pictures in several encodings; image-rs renders one
    // of each family.
    static const std::map<std::string, std::string> kBmpSuiteFamilies = {
        {"pal4.bmp", "pal4rle"}, {"pal4rle.bmp", "pal4rle"},
        {"pal8.bmp", "pal8v5"}, {"pal8-0.bmp", "pal8v5"}, {"pal8os2.bmp", "pal8v5"}, {"pal8rle.bmp", "pal8v5"},
        {"pal8topdown.bmp", "pal8v5"}, {"pal8v4.bmp", "pal8v5"}, {"pal8v5.bmp", "pal8v5"},
        {"rgb16.bmp", "rgb16"}, {"rgb16bfdef.bmp", "rgb16"},
        {"rgb16-565.bmp", "rgb16-565"}, {"rgb16-565pal.bmp", "rgb16-565"},
        {"rgb24.bmp", "rgb24"}, {"rgb24pal.bmp", "rgb24"}, {"rgb32.bmp", "rgb24"}, {"rgb32bf.bmp", "rgb24"},
        {"rgb32bfdef.bmp", "rgb24"},
    };
    if (auto it = kBmpSuiteFamilies.find(name); it != kBmpSuiteFamilies.end() && path.rfind("bmpsuite/g/", 0) == 0)
        return Reference{"image-rs/reference/bmp/" + it->second + ".bmp.png", true, 0};
    if (path.rfind("image-rs/ok/bmp/", 0) == 0 && exists("image-rs/reference/bmp/" + name + ".png"))
        return Reference{"image-rs/reference/bmp/" + name + ".png", true, 0};
    if (path.rfind("tga-image-rs/", 0) == 0 && fs::path(path).extension() == ".tga" &&
        exists("tga-image-rs/reference-image-rs/" + name + ".png"))
        return Reference{"tga-image-rs/reference-image-rs/" + name + ".png", true, 0};
    // stb's PNM files are PngSuite pictures converted (the originals' gamma left aside).
    if (path.rfind("stb-pnm/ok/", 0) == 0 && exists("pngsuite/unused/" + fs::path(path).stem().string() + ".png"))
        return Reference{"pngsuite/unused/" + fs::path(path).stem().string() + ".png", false, 0};
    static const std::map<std::string, Reference> kTwins = {
        {"libtiff-pics/rgb-3c-8b.tiff", {"libtiff-pics/rgb-3c-8b.ppm", false, 0}},
        {"libtiff-pics/rgb-3c-8b.bmp", {"libtiff-pics/rgb-3c-8b.ppm", false, 0}},
        {"libtiff-pics/palette-1c-8b.bmp", {"libtiff-pics/palette-1c-8b.gif", false, 0}},
        {"libtiff-pics/palette-1c-8b.tiff", {"libtiff-pics/palette-1c-8b.gif", false, 1}},
        {"libtiff-pics/minisblack-1c-8b.tiff", {"libtiff-pics/minisblack-1c-8b.pgm", false, 0}},
        {"libtiff-pics/miniswhite-1c-1b.tiff", {"libtiff-pics/miniswhite-1c-1b.pbm", false, 0}},
        {"commons-imaging/ok/oregon-photo/oregon-small.bmp", {"commons-imaging/ok/oregon-photo/oregon-small.ppm", false, 0}},
        {"commons-imaging/ok/oregon-photo/oregon-small.tga", {"commons-imaging/ok/oregon-photo/oregon-small.ppm", false, 0}},
        {"commons-imaging/ok/oregon-photo/oregon-small.pcx", {"commons-imaging/ok/oregon-photo/oregon-small.ppm", false, 0}},
        {"commons-imaging/ok/oregon-photo/oregon-small.psd", {"commons-imaging/ok/oregon-photo/oregon-small.ppm", false, 3}},
        {"commons-imaging/ok/oregon-photo/oregon-small.wbmp", {"commons-imaging/ok/oregon-photo/oregon-small.pbm", false, 0}},
        {"libjpeg-turbo/ok/testorig.jpg", {"libjpeg-turbo/ok/testorig.ppm", false, 3}},
        {"libtiff-pics/rgb-3c-16b.ppm", {"libtiff-pics/rgb-3c-8b.ppm", false, 1}},
    };
    if (auto it = kTwins.find(path); it != kTwins.end()) return it->second;
    return std::nullopt;
}

// Suites held to a stricter class than the manifest gives them: the manifest lags the
// reader. It still lists every WebP file as unsupported, from before WebP was read.
const std::map<std::string, std::string> kExpectOverride = {{"libwebp-test-data", "ok"}};

class CorpusSuite : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST_P(CorpusSuite, EveryFileBehavesAsTheManifestSays) {
    REQUIRE_CORPUS(corpus);
    const std::string suite = GetParam();
    int checked = 0, compared = 0;
    for (auto entry : testutil::readManifest(corpus)) {
        if (entry.suite != suite || entry.expect == "reference") continue;
        if (auto it = kExpectOverride.find(suite); it != kExpectOverride.end()) entry.expect = it->second;
        SCOPED_TRACE(entry.path + " (" + entry.expect + ")");
        CISImageEx img;
        const std::uint32_t code = img.Read((corpus / entry.path).string(), kImageDetect);
        ++checked;
        if (entry.expect == "ok") {
            EXPECT_EQ(code, 0u);
            EXPECT_TRUE(img.HasPicture());
        } else if (entry.expect == "bad") {
            EXPECT_NE(code, 0u);
            EXPECT_FALSE(img.HasPicture());
            EXPECT_EQ(img.width, 0u);
        }
        if (code == 0) {
            // Whatever decodes is a whole picture of a depth the layer knows.
            EXPECT_TRUE(img.bitsPerPixel == 24 || img.bitsPerPixel == 8 || img.bitsPerPixel == 1);
            EXPECT_GT(img.width, 0u);
            EXPECT_GT(img.height, 0u);
        }
        if (entry.expect != "ok" || code != 0) continue;
        auto ref = referenceFor(corpus, entry.path);
        if (!ref) continue;
        std::optional<testutil::RgbImage> expected;
        if (ref->isPng) {
            expected = testutil::decodeReferencePng((corpus / ref->path).string());
        } else {
            CISImageEx twin;
            if (twin.Read((corpus / ref->path).string(), kImageDetect) == 0) expected = toRgb(twin);
        }
        ASSERT_TRUE(expected.has_value()) << "reference unreadable: " << ref->path;
        int diff = testutil::maxDifference(toRgb(img), *expected);
        EXPECT_GE(diff, 0) << "size differs from " << ref->path << ": " << img.width << "x" << img.height << " vs "
                           << expected->width << "x" << expected->height;
        EXPECT_LE(diff, ref->tolerance) << "pixels differ from " << ref->path;
        ++compared;
    }
    EXPECT_GT(checked, 0) << "no files of suite " << suite;
    RecordProperty("files", checked);
    RecordProperty("compared", compared);
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusSuite,
                         ::testing::Values("bmpsuite", "commons-imaging", "image-gif", "image-rs", "libgd",
                                           "libjpeg-turbo", "libnsgif", "libpng-testpngs", "libtiff-pics",
                                           "libwebp-test-data", "pillow",
                                           "pngsuite", "psd-tools", "sail", "stb-pnm", "tga-image-rs"),
                         [](const auto& info) {
                             return std::regex_replace(info.param, std::regex("-"), "_");
                         });

// libwebp's own decodes of its test files: libwebp_tests.md5 holds the MD5 of dwebp's PAM
// (R, G, B, A) and PPM (alpha dropped) output for most of them. The reader's unblended
// 32-bit output, written out in those two layouts, must give the same sums.
TEST(WebpCorpus, DecodesEveryPixelAsLibwebpsOwnDecoder) {
    REQUIRE_CORPUS(corpus);
    const fs::path folder = corpus / "libwebp-test-data";
    std::ifstream sums(folder / "libwebp_tests.md5");
    std::map<std::string, std::string> expected; // "NAME.webp.pam" -> MD5
    for (std::string sum, name; sums >> sum >> name;) expected[name] = sum;
    int compared = 0;
    for (const auto& [output, sum] : expected) {
        const std::string kind = fs::path(output).extension().string();
        if (kind != ".pam" && kind != ".ppm") continue;
        const std::string name = fs::path(output).stem().string();
        SCOPED_TRACE(output);
        const codectest::Decoded d = codectest::decode(
            {}, [](IS5_SOURCE s, auto* w, auto* h, auto*) { return is5_ReadWEBP(s, w, h, 32, 0); }, folder / name);
        ASSERT_TRUE(d.ok) << d.code;
        const std::uint32_t w = d.width, h = d.height;
        const char* rgba = d.pixels.data();
        std::string file;
        if (kind == ".pam") {
            file = "P7\nWIDTH " + std::to_string(w) + "\nHEIGHT " + std::to_string(h) +
                   "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
            file.append(rgba, std::size_t{w} * h * 4);
        } else {
            file = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
            for (std::size_t i = 0; i < std::size_t{w} * h; ++i) file.append(rgba + 4 * i, 3);
        }
        const QByteArray md5 = QCryptographicHash::hash(QByteArrayView(file.data(), qsizetype(file.size())),
                                                        QCryptographicHash::Md5).toHex();
        EXPECT_EQ(md5.toStdString(), sum);
        ++compared;
    }
    EXPECT_EQ(compared, 2 * 96);
}
