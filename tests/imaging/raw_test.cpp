// SPDX-License-Identifier: MIT
// The camera-raw module: small DNG files written here with libtiff (a Bayer mosaic and a
// linear RGB one) decode through LibRaw at their size with flat areas flat and colours
// where they belong; damaged and foreign files fail cleanly, through the installed hook.
#include "codectest.h"
#include "dngfile.h"

#include "imaging/israw.h"

#include <thread>

namespace {

using namespace dngfile;

using RawResult = codectest::Shown;

std::optional<RawResult> readRaw(const std::string& bytes, std::uint32_t* code) {
    return codectest::readShown(bytes, 24, [](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq*) {
        return israw_Read(s, w, h, 24, 1.0, 1, -1, "embed", 0, 0, 0, 0);
    }, code);
}

// Mean and spread of one channel over a band's inner part (away from demosaicing edges).
struct Stats {
    double mean[3] = {}, spread = 0;
};
Stats bandStats(const RawResult& r, std::uint32_t band) {
    Stats s;
    std::vector<double> values[3];
    for (std::uint32_t y = 4; y < r.height - 4; ++y)
        for (std::uint32_t x = band * 16 + 4; x < band * 16 + 12; ++x)
            for (int c = 0; c < 3; ++c) values[c].push_back(r.rgb[(y * r.width + x) * 3 + c]);
    for (int c = 0; c < 3; ++c) {
        double sum = 0, lo = 255, hi = 0;
        for (double v : values[c]) sum += v, lo = std::min(lo, v), hi = std::max(hi, v);
        s.mean[c] = sum / values[c].size();
        s.spread = std::max(s.spread, hi - lo);
    }
    return s;
}

class RawDng : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        Is5ExtHook* hook = is5_GetExtHook(0);
        ASSERT_TRUE(israw_SetHook(hook));
        is5_ReleaseExtHook(hook);
    }
};

} // namespace

// After LibRaw's automatic brightening the light grey band is near white, so the checks
// are about shape, not exact levels: flat bands stay flat (spread ≤ 6), grey bands stay
// neutral (channels within 8 of each other), the darker grey stays darker, and the red
// and blue bands are clearly red and blue.
TEST_P(RawDng, DecodesAtNaturalSizeWithFlatNeutralGreysAndColours) {
    std::uint32_t code = 0;
    const auto r = readRaw(makeDng(GetParam()), &code);
    ASSERT_TRUE(r) << code;
    ASSERT_EQ(r->width, kW);
    ASSERT_EQ(r->height, kH);
    const Stats dark = bandStats(*r, 0), light = bandStats(*r, 1), red = bandStats(*r, 2), blue = bandStats(*r, 3);
    for (const Stats* s : {&dark, &light, &red, &blue}) EXPECT_LE(s->spread, 6.0);
    for (const Stats* s : {&dark, &light}) {
        EXPECT_NEAR(s->mean[0], s->mean[1], 8.0);
        EXPECT_NEAR(s->mean[2], s->mean[1], 8.0);
    }
    EXPECT_GT(light.mean[1], dark.mean[1] + 40);
    EXPECT_GT(red.mean[0], red.mean[1] + 60);
    EXPECT_GT(red.mean[0], red.mean[2] + 60);
    EXPECT_GT(blue.mean[2], blue.mean[0] + 60);
    EXPECT_GT(blue.mean[2], blue.mean[1] + 60);
}

TEST_P(RawDng, OrientationSixComesOutTurned) {
    std::uint32_t code = 0;
    const auto r = readRaw(makeDng(GetParam(), ORIENTATION_RIGHTTOP), &code);
    ASSERT_TRUE(r) << code;
    EXPECT_EQ(r->width, kH);
    EXPECT_EQ(r->height, kW);
    // Turned clockwise, the stored left band (dark grey) is at the top, the blue at the bottom.
    const std::uint8_t* top = &r->rgb[(2 * r->width + r->width / 2) * 3];
    const std::uint8_t* bottom = &r->rgb[((r->height - 3) * r->width + r->width / 2) * 3];
    EXPECT_LT(top[2], bottom[2]);
    EXPECT_GT(bottom[2], bottom[0] + 60);
}

TEST_P(RawDng, CutCopiesFailCleanly) {
    const std::string whole = makeDng(GetParam());
    for (double keep : {0.05, 0.3, 0.6, 0.95}) {
        SCOPED_TRACE(keep);
        std::uint32_t code = 0;
        EXPECT_FALSE(readRaw(whole.substr(0, static_cast<std::size_t>(whole.size() * keep)), &code));
        EXPECT_NE(code, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, RawDng, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Cfa" : "LinearRaw"; });

namespace {

std::vector<std::pair<std::uint32_t, std::string>> g_hookCalls;
void recordError(std::uint32_t code, const char* function) { g_hookCalls.emplace_back(code, function ? function : ""); }
std::uint32_t noError() { return 0; }
std::uint64_t tinyLimit() { return 100; }

} // namespace

// The module reports through the hook it holds: the limit comes from the hook too.
TEST(RawModule, ReportsThroughTheInstalledHookAndUsesItsPixelLimit) {
    Is5ExtHook* base = is5_GetExtHook(0);
    Is5ExtHook hook = *base;
    is5_ReleaseExtHook(base);
    hook.setLastError = &recordError;
    hook.getLastError = &noError;
    hook.getMaxPixels = &tinyLimit;
    ASSERT_TRUE(israw_SetHook(&hook));
    g_hookCalls.clear();

    const std::string dng = makeDng(true);
    IS5_SOURCE source = is5_OpenMemorySource(dng.data(), dng.size(), "t.dng");
    std::uint32_t w = 0, h = 0;
    EXPECT_EQ(israw_Read(source, &w, &h, 24, 1.0, 1, -1, "embed", 0, 0, 0, 0), nullptr);
    is5_CloseSource(source);
    ASSERT_EQ(g_hookCalls.size(), 1u);
    EXPECT_EQ(g_hookCalls[0].first, IS5_ERR_TOO_LARGE);
    EXPECT_EQ(g_hookCalls[0].second, "israw_Read");

    // Another thread has no hook of its own: it still decodes with the layer's limit.
    std::uint32_t otherCode = 99, otherWidth = 0;
    std::thread([&] {
        IS5_SOURCE s = is5_OpenMemorySource(dng.data(), dng.size(), "t.dng");
        std::uint32_t tw = 0, th = 0;
        HGLOBAL block = israw_Read(s, &tw, &th, 24, 1.0, 1, -1, "embed", 0, 0, 0, 0);
        otherCode = is5_GetLastError();
        otherWidth = tw;
        if (block) GlobalFree(block);
        is5_CloseSource(s);
    }).join();
    EXPECT_EQ(otherCode, 0u);
    EXPECT_EQ(otherWidth, kW);
    EXPECT_EQ(g_hookCalls.size(), 1u);

    Is5ExtHook* restore = is5_GetExtHook(0);
    israw_SetHook(restore);
    is5_ReleaseExtHook(restore);
    Is5ExtHook small{};
    small.size = 16;
    EXPECT_FALSE(israw_SetHook(&small));
    EXPECT_FALSE(israw_SetHook(nullptr));
}

// The object's raw path over a file source (the file is read into memory for LibRaw) reads
// a DNG. A JPEG named like a Canon raw file, read the same way: LibRaw finds no raw data in
// it and the read fails with the format code, leaving no picture.
TEST(RawModule, ReadsADngFileButAJpegNamedCr2FailsAsNotRaw) {
    testutil::TempDir dir;
    CISImageEx jpeg, img;
    testutil::writeFile(dir / "t.dng", makeDng(true));
    ASSERT_EQ(img.Read(dir / "t.dng", kImageRaw), 0u);
    EXPECT_EQ(std::tuple(img.width, img.height, img.bitsPerPixel), std::tuple(kW, kH, 24u));
    ASSERT_EQ(jpeg.Allocate(32, 32, 24), 0u);
    ASSERT_EQ(jpeg.Write(kImageJpeg, dir / "photo.cr2"), 0u);
    EXPECT_EQ(img.Read(dir / "photo.cr2", kImageRaw), IS5_ERR_FORMAT);
    EXPECT_FALSE(img.HasPicture());
    // Nor is an empty or junk file anything but a clean failure.
    testutil::writeFile(dir / "empty.nef", "");
    EXPECT_NE(img.Read(dir / "empty.nef", kImageRaw), 0u);
    testutil::writeFile(dir / "junk.dng", std::string(5000, 'x'));
    EXPECT_EQ(img.Read(dir / "junk.dng", kImageRaw), IS5_ERR_FORMAT);
}
