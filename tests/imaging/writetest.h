// SPDX-License-Identifier: MIT
// Helpers for the writer tests: deterministic pictures at 24, 8 and 1 bits, their colours
// as plain RGB, and ImageMagick as an independent reader of what was written.
#pragma once

#include "imaging/isimageex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

namespace writetest {

using Rgb = std::vector<std::uint8_t>;

/// A small deterministic random sequence.
struct Lcg {
    std::uint32_t state;
    std::uint32_t next() {
        state = state * 1103515245u + 12345u;
        return state >> 8;
    }
};

/// A picture at `depth`. 24 bits: a smooth photograph-like picture when `colours` is 0,
/// else pixels drawn from `colours` random colours. 8 bits: random indexes below `colours`
/// with a random palette of that many entries. 1 bit: random bits with the palette
/// {black, white} or, with `colours` 3, {white, black}.
inline void makePicture(CISImageEx& img, std::uint32_t depth, std::uint32_t w, std::uint32_t h, std::uint32_t colours,
                        std::uint32_t seed = 1) {
    ASSERT_EQ(img.Allocate(w, h, depth), 0u);
    Lcg rng{seed};
    std::uint8_t* px = img.GetPixels();
    const std::uint32_t row = img.GetRowBytes();
    if (depth == 24 && colours == 0) {
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x) {
                const double fx = double(x) / w, fy = double(y) / h;
                const int n = int(rng.next() % 13) - 6;
                std::uint8_t* p = px + std::size_t{y} * row + 3 * x;
                p[0] = std::uint8_t(std::clamp(int(128 + 110 * std::sin(fx * 7 + fy * 2)) + n, 0, 255));
                p[1] = std::uint8_t(std::clamp(int(120 + 100 * std::cos(fy * 5 - fx * 3)) + n, 0, 255));
                p[2] = std::uint8_t(std::clamp(int(100 + 90 * std::sin((fx + fy) * 9)) + n, 0, 255));
            }
        img.paletteColours = 0;
        return;
    }
    if (depth == 24) {
        std::vector<std::uint32_t> table(colours);
        for (auto& c : table) c = rng.next() & 0xFFFFFF;
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = 0; x < w; ++x) {
                const std::uint32_t c = table[rng.next() % colours];
                std::uint8_t* p = px + std::size_t{y} * row + 3 * x;
                p[0] = std::uint8_t(c >> 16);
                p[1] = std::uint8_t(c >> 8);
                p[2] = std::uint8_t(c);
            }
        img.paletteColours = 0;
        return;
    }
    if (depth == 8) {
        for (std::uint32_t i = 0; i < 256; ++i) {
            const std::uint32_t c = rng.next();
            img.palette[i] = {std::uint8_t(c), std::uint8_t(c >> 8), std::uint8_t(c >> 16), 0};
        }
        // Runs of one index now and then, so RLE and LZW see repeats as well as noise.
        for (std::uint32_t y = 0; y < h; ++y) {
            std::uint8_t* p = px + std::size_t{y} * row;
            for (std::uint32_t x = 0; x < w;) {
                const std::uint8_t v = std::uint8_t(rng.next() % colours);
                std::uint32_t run = rng.next() % 4 == 0 ? 1 + rng.next() % 300 : 1;
                for (; run > 0 && x < w; --run) p[x++] = v;
            }
        }
        img.paletteColours = colours;
        return;
    }
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < row; ++x) px[std::size_t{y} * row + x] = std::uint8_t(rng.next());
    const bool whiteFirst = colours == 3;
    img.palette[0] = whiteFirst ? Is5Rgbq{255, 255, 255, 0} : Is5Rgbq{0, 0, 0, 0};
    img.palette[1] = whiteFirst ? Is5Rgbq{0, 0, 0, 0} : Is5Rgbq{255, 255, 255, 0};
    img.paletteColours = 2;
}

/// The picture's colours, three bytes a pixel, looked up by the test itself.
inline Rgb rgbOf(const CISImageEx& img) {
    Rgb out;
    out.reserve(std::size_t{img.width} * img.height * 3);
    const std::uint8_t* px = img.GetPixels();
    const std::uint32_t row = img.GetRowBytes();
    for (std::uint32_t y = 0; y < img.height; ++y)
        for (std::uint32_t x = 0; x < img.width; ++x) {
            const std::uint8_t* r = px + std::size_t{y} * row;
            if (img.bitsPerPixel == 24) {
                out.insert(out.end(), r + 3 * x, r + 3 * x + 3);
                continue;
            }
            const std::uint32_t index = img.bitsPerPixel == 8 ? r[x] : (r[x / 8] >> (7 - x % 8)) & 1;
            out.insert(out.end(), {img.palette[index].r, img.palette[index].g, img.palette[index].b});
        }
    return out;
}

/// The grey level (299 R + 587 G + 114 B) / 1000, rounded, of each pixel.
inline std::vector<std::uint8_t> greyLevels(const Rgb& rgb) {
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        out.push_back(std::uint8_t((299u * rgb[i] + 587u * rgb[i + 1] + 114u * rgb[i + 2] + 500) / 1000));
    return out;
}

/// Black or white by grey level at the threshold 128: what a picture becomes when written
/// at 1 bit.
inline Rgb thresholded(const Rgb& rgb) {
    Rgb out;
    for (std::uint8_t grey : greyLevels(rgb)) out.insert(out.end(), 3, grey >= 128 ? 255 : 0);
    return out;
}

/// The first position where two colour buffers differ, as text, or "" when equal.
inline std::string firstDifference(const Rgb& a, const Rgb& b, std::uint32_t width) {
    if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) {
            const std::size_t pixel = i / 3;
            return "pixel (" + std::to_string(pixel % width) + ", " + std::to_string(pixel / width) + ") channel " +
                   std::to_string(i % 3) + ": " + std::to_string(a[i]) + " vs " + std::to_string(b[i]);
        }
    return "";
}

// ---- ImageMagick ---------------------------------------------------------------------

inline bool haveMagick() { return std::system("command -v convert >/dev/null 2>&1 && command -v identify >/dev/null 2>&1") == 0; }

/// Skips the calling test when ImageMagick is missing, or fails it when CI=true.
#define REQUIRE_MAGICK()                                                                         \
    if (!::writetest::haveMagick()) {                                                            \
        const char* ci = std::getenv("CI");                                                      \
        if (ci && std::string(ci) == "true") FAIL() << "ImageMagick (convert, identify) missing under CI"; \
        GTEST_SKIP() << "ImageMagick's convert/identify not installed (scripts/install-deps.sh installs them)"; \
    }

inline std::optional<std::string> runCommand(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    if (::pclose(pipe) != 0) return std::nullopt;
    return out;
}

struct MagickPicture {
    std::uint32_t width = 0, height = 0, depth = 0;
    std::string format;
    Rgb rgb;
};

/// The picture at `path` as ImageMagick decodes it: size, depth, format and 8-bit RGB.
inline std::optional<MagickPicture> magickRead(const std::string& path) {
    auto info = runCommand("identify -format '%w %h %z %m\\n' '" + path + "[0]' 2>/dev/null");
    auto pixels = runCommand("convert '" + path + "[0]' -depth 8 rgb:- 2>/dev/null");
    if (!info || !pixels) return std::nullopt;
    MagickPicture p;
    char format[32] = {};
    if (std::sscanf(info->c_str(), "%u %u %u %31s", &p.width, &p.height, &p.depth, format) != 4) return std::nullopt;
    p.format = format;
    p.rgb.assign(pixels->begin(), pixels->end());
    return p;
}

} // namespace writetest
