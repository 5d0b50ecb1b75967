// SPDX-License-Identifier: MIT
// Writing speed and size: a 3000 x 2000 photo-like picture through every writer, the PNG
// writer's settings against libpng's defaults, and JPEG's chroma subsampling by quality.
#include "imaging/is5.h"
#include "tests/support/jpegencode.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

constexpr std::uint32_t kWidth = 3000, kHeight = 2000;
constexpr int kRuns = 5;

struct Picture {
    std::uint32_t width, height;
    std::vector<std::uint8_t> rgb;
};

// Smooth gradients and waves with fine noise on top, as a photograph has: deterministic.
Picture photoLike(std::uint32_t width, std::uint32_t height) {
    Picture p{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 3)};
    std::uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return static_cast<int>((seed >> 16) & 0xFFFF);
    };
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const double fx = double(x) / width, fy = double(y) / height;
            const double base[3] = {40 + 150 * fx + 30 * std::sin(fy * 9.0),
                                    60 + 120 * fy + 25 * std::sin(fx * 13.0 + fy * 5),
                                    90 + 80 * (1 - fx) * fy + 20 * std::cos((fx + fy) * 7)};
            for (int c = 0; c < 3; ++c) {
                const int noise = next() % 9 - 4 + next() % 5 - 2;
                p.rgb[(std::size_t{y} * width + x) * 3 + c] =
                    static_cast<std::uint8_t>(std::clamp(int(base[c]) + noise, 0, 255));
            }
        }
    return p;
}

// Saturated colour blocks with sharp edges over a gradient: where halved chroma shows.
Picture colourEdges(std::uint32_t width, std::uint32_t height) {
    Picture p{width, height, std::vector<std::uint8_t>(std::size_t{width} * height * 3)};
    static const std::uint8_t kColours[6][3] = {{220, 30, 30},  {30, 200, 40},  {40, 60, 230},
                                                {240, 220, 40}, {200, 40, 200}, {30, 200, 210}};
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* out = &p.rgb[(std::size_t{y} * width + x) * 3];
            const bool block = ((x / 37) + (y / 29)) % 3 == 0;
            const std::uint8_t* c = kColours[(x / 37 + 2 * (y / 29)) % 6];
            for (int k = 0; k < 3; ++k)
                out[k] = block ? c[k] : static_cast<std::uint8_t>(80 + (x + y) * 100 / (width + height));
        }
    return p;
}

double bestMs(const std::function<void()>& work) {
    double best = 1e300;
    for (int i = 0; i < kRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// Runs one is5_ writer into a memory destination; returns the bytes written (0 on failure).
std::size_t intoMemory(const std::function<BOOL(IS5_DEST)>& write) {
    IS5_DEST dest = is5_OpenMemoryDest();
    std::size_t size = 0;
    if (write(dest)) is5_GetDestBuffer(dest, &size);
    is5_CloseDest(dest);
    return size;
}

std::size_t libpngDefault(const Picture& p) {
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp s, png_bytep d, std::size_t n) {
            auto* v = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(s));
            v->insert(v->end(), d, d + n);
        },
        [](png_structp) {});
    png_set_IHDR(png, info, p.width, p.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    for (std::uint32_t y = 0; y < p.height; ++y)
        png_write_row(png, &p.rgb[std::size_t{y} * p.width * 3]);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out.size();
}

// libjpeg directly, for the subsampling comparison the is5_ call decides by itself.
std::vector<std::uint8_t> jpegWith(const Picture& p, int quality, bool fullChroma) {
    const int sampling = fullChroma ? 1 : 0;
    const std::string bytes = codectest::encodeJpeg(p.width, p.height, 3, JCS_RGB, p.rgb,
                                                    {.quality = quality, .hSample = sampling, .vSample = sampling});
    return {bytes.begin(), bytes.end()};
}

struct Error {
    double rms = 0;
    int max = 0;
};

Error decodeError(const Picture& p, const std::vector<std::uint8_t>& jpeg) {
    IS5_SOURCE src = is5_OpenMemorySource(jpeg.data(), jpeg.size(), "bench.jpg");
    std::uint32_t w = 0, h = 0;
    HGLOBAL block = is5_ReadJPG(src, &w, &h, 24, 0);
    is5_CloseSource(src);
    Error e;
    if (!block) return e;
    const auto* px = static_cast<const std::uint8_t*>(GlobalLock(block));
    double sum = 0;
    for (std::size_t i = 0; i < p.rgb.size(); ++i) {
        const int d = std::abs(int(px[i]) - int(p.rgb[i]));
        sum += double(d) * d;
        e.max = std::max(e.max, d);
    }
    GlobalFree(block);
    e.rms = std::sqrt(sum / p.rgb.size());
    return e;
}

} // namespace

int main() {
    const Picture photo = photoLike(kWidth, kHeight);
    const std::uint32_t stride = kWidth * 3;
    std::printf("Writing a %u x %u photo-like picture (best of %d runs)\n\n", kWidth, kHeight, kRuns);

    // PNG: the writer's settings against libpng's defaults.
    std::size_t ours = 0, reference = 0;
    const double oursMs = bestMs([&] {
        ours = intoMemory([&](IS5_DEST d) {
            return is5_WritePNG(d, photo.rgb.data(), kWidth, kHeight, stride, 8, 0, nullptr, 2, 0.345, nullptr, 0);
        });
    });
    const double referenceMs = bestMs([&] { reference = libpngDefault(photo); });
    std::printf("PNG  is5_WritePNG (adaptive filters, Z_RLE)  %9zu bytes %8.1f ms\n", ours, oursMs);
    std::printf("PNG  libpng defaults (level 6, Z_FILTERED)   %9zu bytes %8.1f ms\n", reference, referenceMs);
    std::printf("     size %+.2f %%, %.1f x as fast\n\n", 100.0 * (double(ours) / double(reference) - 1),
                referenceMs / oursMs);

    // Every writer once, for scale.
    std::vector<std::uint8_t> grey(std::size_t{kWidth} * kHeight);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<std::uint8_t>(
            (photo.rgb[3 * i] * 299 + photo.rgb[3 * i + 1] * 587 + photo.rgb[3 * i + 2] * 114) / 1000);
    Is5Rgbq ramp[256];
    for (int i = 0; i < 256; ++i)
        ramp[i] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0};
    const ResolutionInfo dpi{300, 300, 2};
    struct Row {
        const char* name;
        std::function<BOOL(IS5_DEST)> write;
    };
    const std::vector<Row> rows = {
        {"JPEG q75 (4:2:0)",
         [&](IS5_DEST d) { return is5_WriteJPG(d, photo.rgb.data(), kWidth, kHeight, 24, stride, 75, nullptr, 0); }},
        {"JPEG q75 progressive",
         [&](IS5_DEST d) { return is5_WriteJPG(d, photo.rgb.data(), kWidth, kHeight, 24, stride, 75, nullptr, 1); }},
        {"JPEG q95 (4:4:4)",
         [&](IS5_DEST d) { return is5_WriteJPG(d, photo.rgb.data(), kWidth, kHeight, 24, stride, 95, nullptr, 0); }},
        {"JPEG grey q75",
         [&](IS5_DEST d) { return is5_WriteJPG(d, grey.data(), kWidth, kHeight, 8, kWidth, 75, nullptr, 0); }},
        {"PNG 8-bit palette",
         [&](IS5_DEST d) {
             return is5_WritePNG(d, grey.data(), kWidth, kHeight, kWidth, 8, 256, ramp, 3, 0.345, nullptr, 0);
         }},
        {"TIFF none",
         [&](IS5_DEST d) {
             return is5_WriteTIFF(d, photo.rgb.data(), kWidth, kHeight, 24, stride, nullptr, 1, &dpi, 0);
         }},
        {"TIFF LZW",
         [&](IS5_DEST d) {
             return is5_WriteTIFF(d, photo.rgb.data(), kWidth, kHeight, 24, stride, nullptr, 5, &dpi, 0);
         }},
        {"TIFF Deflate",
         [&](IS5_DEST d) {
             return is5_WriteTIFF(d, photo.rgb.data(), kWidth, kHeight, 24, stride, nullptr, 8, &dpi, 0);
         }},
        {"PCX 24-bit",
         [&](IS5_DEST d) { return is5_WritePCX(d, photo.rgb.data(), kWidth, kHeight, 24, stride, nullptr, &dpi, 0); }},
        {"TGA 24-bit",
         [&](IS5_DEST d) {
             return is5_WriteTGA(d, photo.rgb.data(), kWidth, kHeight, 24, stride, nullptr, nullptr, 0);
         }},
        {"WBMP", [&](IS5_DEST d) { return is5_WriteWBMP(d, grey.data(), kWidth, kHeight, kWidth, 0); }},
        {"EMF", [&](IS5_DEST d) { return is5_WriteRGBToMetafile(d, photo.rgb.data(), kWidth, kHeight, stride, 1, 0); }},
    };
    for (const Row& r : rows) {
        std::size_t size = 0;
        const double ms = bestMs([&] { size = intoMemory(r.write); });
        std::printf("%-22s %10zu bytes %8.1f ms\n", r.name, size, ms);
    }

    // JPEG: halved (4:2:0) against whole (4:4:4) chroma by quality, on the photo and on
    // sharp colour edges.
    const Picture edges = colourEdges(1200, 800);
    for (const auto& [name, picture] : {std::pair<const char*, const Picture*>{"photo-like", &photo},
                                        std::pair<const char*, const Picture*>{"colour edges", &edges}}) {
        std::printf("\nJPEG chroma, %s %u x %u:   4:2:0 bytes  rms   max |  4:4:4 bytes  rms   max\n", name,
                    picture->width, picture->height);
        for (int quality : {75, 85, 90, 95, 100}) {
            const auto halved = jpegWith(*picture, quality, false), whole = jpegWith(*picture, quality, true);
            const Error eh = decodeError(*picture, halved), ew = decodeError(*picture, whole);
            std::printf("  q%-3d                      %10zu %5.2f %4d | %10zu %5.2f %4d\n", quality, halved.size(),
                        eh.rms, eh.max, whole.size(), ew.rms, ew.max);
        }
    }
    return 0;
}
