// SPDX-License-Identifier: MIT
// Helpers for the writer tests: one maker of deterministic pictures at 24, 8 and 1 bits (as
// the writers take them, or as an image object), their colours as plain RGB, writing into
// memory or a real file, and the independent command-line tools (pngcheck, tiffinfo,
// ImageMagick). Files are read back with codectest's decode.
#pragma once

#include "codectest.h"
#include "testutil.h"

#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace writertest {

using codectest::Bytes;
using codectest::decode;
using codectest::Decoded;
using codectest::hex;

/// A picture as the writers take it: rows `stride` bytes apart, a 256-entry palette.
struct Picture {
    std::uint32_t width = 0, height = 0, depth = 24, stride = 0, colours = 0;
    std::vector<std::uint8_t> pixels;
    std::array<Is5Rgbq, 256> palette{};
    const std::uint8_t* data() const { return pixels.data(); }
};

/// What a picture holds besides its size and depth.
struct Look {
    /// 8 bits: indexes below this many (0: 256). 24 bits: 0 for any colour, else pixels of
    /// only this many colours.
    std::uint32_t colours = 0;
    std::uint32_t padding = 0;  ///< unused bytes at the end of each row
    bool smooth = false;        ///< a photograph's gradients and noise (8 bits: grey levels)
    bool whiteFirst = false;    ///< 1 bit: palette {white, black} instead of {black, white}
};

inline std::uint32_t tightStride(std::uint32_t width, std::uint32_t depth) {
    return depth == 24 ? width * 3 : depth == 8 ? width : (width + 7) / 8;
}

/// The hard-edged pattern (the default): every byte value, noise with runs of every length,
/// runs longer than any RLE count, ramps and alternating values, which the lossless
/// encoders must keep exactly. Or, with `look.smooth`, what JPEG is made for.
inline Picture makePicture(std::uint32_t width, std::uint32_t height, std::uint32_t depth, Look look = {}) {
    Picture p;
    p.width = width;
    p.height = height;
    p.depth = depth;
    const bool fewColours = depth == 24 && look.colours != 0 && !look.smooth;
    const std::uint32_t colours = depth == 1 ? 2 : look.colours ? look.colours : 256;
    p.colours = depth == 1 ? 2 : depth == 8 ? colours : 0;
    p.stride = tightStride(width, depth) + look.padding;
    p.pixels.assign(std::size_t{p.stride} * height, 0xA5); // padding bytes hold junk
    for (std::uint32_t i = 0; i < 256; ++i)
        p.palette[i] = {static_cast<std::uint8_t>(i * 37 + 11), static_cast<std::uint8_t>(255 - i),
                        static_cast<std::uint8_t>(i * 101), 0};
    if (depth == 1) {
        p.palette[look.whiteFirst ? 1 : 0] = {0, 0, 0, 0};
        p.palette[look.whiteFirst ? 0 : 1] = {255, 255, 255, 0};
    }
    std::uint32_t seed = width * 7919u + height * 104729u + depth;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 16;
    };
    if (look.smooth) {
        if (depth == 8)
            for (int i = 0; i < 256; ++i) p.palette[i] = {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0};
        for (std::uint32_t y = 0; y < height; ++y)
            for (std::uint32_t x = 0; x < width; ++x) {
                const int noise = static_cast<int>(next() >> 13) - 4;
                const double fx = double(x) / width, fy = double(y) / height;
                const int v[3] = {int(60 + 140 * fx + 20 * std::sin(fy * 6)), int(200 - 120 * fy),
                                  int(90 + 60 * std::cos((fx + fy) * 5))};
                for (std::uint32_t c = 0; c < depth / 8; ++c)
                    p.pixels[std::size_t{y} * p.stride + x * (depth / 8) + c] =
                        static_cast<std::uint8_t>(std::clamp(v[c] + noise, 0, 255));
            }
        return p;
    }
    const std::uint32_t valueDepth = fewColours ? 8 : depth;
    const std::size_t count = tightStride(width, valueDepth);
    std::vector<std::uint8_t> values(count);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint32_t kind = y % 4; // noise with runs, a long run, a ramp, alternating values
        for (std::size_t i = 0; i < count;) {
            std::uint32_t v = kind == 0 ? next() : kind == 1 ? 0xC5 : kind == 2 ? (i * 3 + y) : (i % 2 ? 0xFF : 0x00);
            if (valueDepth == 8) v %= colours;
            std::size_t run = kind == 0 && next() % 4 == 0 ? 1 + next() % 300 : 1;
            for (; run > 0 && i < count; --run) values[i++] = static_cast<std::uint8_t>(v);
        }
        if (depth == 1 && width % 8) values[count - 1] &= static_cast<std::uint8_t>(0xFF00u >> (width % 8));
        std::uint8_t* row = p.pixels.data() + std::size_t{y} * p.stride;
        if (!fewColours) {
            std::copy(values.begin(), values.end(), row);
            continue;
        }
        for (std::size_t x = 0; x < count; ++x) {
            const Is5Rgbq& c = p.palette[values[x]];
            row[3 * x] = c.r;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.b;
        }
    }
    return p;
}

/// Little-endian fields of a written file.
inline std::uint32_t le16(const Bytes& b, std::size_t at) { return std::uint8_t(b[at]) | std::uint8_t(b[at + 1]) << 8; }
inline std::uint32_t le32(const Bytes& b, std::size_t at) { return le16(b, at) | le16(b, at + 2) << 16; }

/// The colours, R G B per pixel, of a picture or an image object, through its palette when it
/// has one.
inline Bytes coloursOf(const Picture& p) {
    const auto rgb = codectest::colours(p.data(), p.width, p.height, p.depth, p.palette.data(), p.stride);
    return Bytes(rgb.begin(), rgb.end());
}
inline Bytes coloursOf(const CISImageEx& img) {
    const auto rgb = codectest::colours(img.GetPixels(), img.width, img.height, img.bitsPerPixel, img.palette,
                                        img.GetRowBytes());
    return Bytes(rgb.begin(), rgb.end());
}

/// An image object holding `p`.
inline void toImage(CISImageEx& img, const Picture& p) {
    ASSERT_EQ(img.Allocate(p.width, p.height, p.depth), 0u);
    for (std::uint32_t y = 0; y < p.height; ++y)
        std::memcpy(img.GetPixels() + std::size_t{y} * img.GetRowBytes(), p.data() + std::size_t{y} * p.stride,
                    img.GetRowBytes());
    std::copy(p.palette.begin(), p.palette.end(), img.palette);
    img.paletteColours = p.colours;
}

/// Each pixel's grey level (299 R + 587 G + 114 B) / 1000, rounded, in all three channels; with
/// `bw`, black or white by that level at the threshold 128: what a picture becomes at 1 bit.
inline Bytes greyed(const Bytes& rgb, bool bw = false) {
    Bytes out;
    for (std::size_t i = 0; i + 2 < rgb.size(); i += 3) {
        const unsigned grey = (299u * std::uint8_t(rgb[i]) + 587u * std::uint8_t(rgb[i + 1]) +
                               114u * std::uint8_t(rgb[i + 2]) + 500) / 1000;
        out.append(3, char(bw ? (grey >= 128 ? 255 : 0) : grey));
    }
    return out;
}

/// The first position where two colour strings differ, as text, or "" when equal.
inline std::string firstDifference(const Bytes& a, const Bytes& b, std::uint32_t width) {
    if (a.size() != b.size()) return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) {
            const std::size_t pixel = i / 3;
            return "pixel (" + std::to_string(pixel % width) + ", " + std::to_string(pixel / width) + ") channel " +
                   std::to_string(i % 3) + ": " + std::to_string(std::uint8_t(a[i])) + " vs " +
                   std::to_string(std::uint8_t(b[i]));
        }
    return "";
}

/// Largest difference of any channel between two colour strings of the same length.
inline int maxDifference(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size()) return 256;
    int most = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        most = std::max(most, std::abs(int(std::uint8_t(a[i])) - int(std::uint8_t(b[i]))));
    return most;
}

/// What a writer call left: its result, last error and the bytes of a memory destination.
struct Written {
    BOOL ok = FALSE;
    std::uint32_t code = 0;
    Bytes bytes;
};

inline Written writeToMemory(const std::function<BOOL(IS5_DEST)>& write) {
    IS5_DEST dest = is5_OpenMemoryDest();
    Written w;
    w.ok = write(dest);
    w.code = is5_GetLastError();
    std::size_t size = 0;
    const std::uint8_t* data = is5_GetDestBuffer(dest, &size);
    if (w.ok) w.bytes.assign(reinterpret_cast<const char*>(data), size);
    is5_CloseDest(dest);
    return w;
}

/// Writes through a file destination: 0 when the picture reached `path`, else the last error
/// (with 1000 added when the writer said it succeeded or the name was taken).
inline std::uint32_t writeToFile(const std::string& path, const std::function<BOOL(IS5_DEST)>& write) {
    IS5_DEST dest = is5_OpenFileDest(path.c_str(), 0);
    if (!dest) return 2000;
    const BOOL wrote = write(dest);
    const std::uint32_t code = is5_GetLastError();
    const BOOL published = is5_CloseDest(dest);
    return wrote && published ? 0 : code + (wrote || published ? 1000 : 0);
}

/// One writer called straight, as the round trips, the full disk, the resolution rows,
/// ImageMagick and the PNG chunk tests call it: `option` is a TIFF's compression; bilevel
/// TIFFs are written as the image object writes them, with option 32 when entry 0 is black.
inline BOOL writeDirect(int type, std::uint32_t option, IS5_DEST d, const Picture& p,
                        const ResolutionInfo* res = nullptr) {
    const Is5Rgbq* pal = p.palette.data();
    const bool rgb = p.depth == 24;
    switch (type) {
    case kImageJpeg: return is5_WriteJPG(d, p.data(), p.width, p.height, p.depth, p.stride, 75, res, 0);
    case kImageBmp:
        return is5_WriteBMP(d, p.data(), p.width, p.height, p.depth, p.stride, p.colours, pal, res, 0);
    case kImageGif: return is5_WriteGIF(d, p.data(), p.width, p.height, p.stride, 0, -1, 8, pal, 0);
    case kImagePsd: return is5_WritePSD(d, p.data(), p.width, p.height, p.depth, p.stride, pal, 0);
    case kImagePcx: return is5_WritePCX(d, p.data(), p.width, p.height, p.depth, p.stride, pal, res, 0);
    case kImageTga: return is5_WriteTGA(d, p.data(), p.width, p.height, p.depth, p.stride, pal, nullptr, 0);
    case kImageWbmp: return is5_WriteWBMP(d, p.data(), p.width, p.height, p.stride, 0);
    case kImageWebp: return is5_WriteWEBP(d, p.data(), p.width, p.height, p.stride, 75, IS5_WEBP_LOSSLESS);
    case kImageWmf:
    case kImageEmf:
        return is5_WriteRGBToMetafile(d, p.data(), p.width, p.height, p.stride, type == kImageEmf, 0);
    case kImagePng:
        return is5_WritePNG(d, p.data(), p.width, p.height, p.stride, p.depth == 1 ? 1 : 8, p.colours,
                            rgb ? nullptr : pal, rgb ? 2 : 3, 0.345, res, 0);
    default:
        return is5_WriteTIFF(d, p.data(), p.width, p.height, p.depth, p.stride, pal, option, res,
                             p.depth == 1 && pal[0].r + pal[0].g + pal[0].b == 0 ? 32 : 0);
    }
}

/// The program's reader of `type`, at `depth`, on the file written.
inline HGLOBAL readDirect(int type, std::uint32_t depth, IS5_SOURCE s, const Bytes& file, std::uint32_t* w,
                          std::uint32_t* h, Is5Rgbq* pal) {
    switch (type) {
    case kImagePcx: return is5_ReadPCX(s, w, h, depth, pal, 0);
    case kImageTga: return is5_ReadTGA(s, w, h, depth, pal, 0);
    case kImageWbmp: return is5_ReadWBMP(s, w, h, pal, 8, 0);
    case kImageWebp: return is5_ReadWEBP(s, w, h, 24, 0);
    case kImageWmf:
    case kImageEmf: return is5_ReadMetafileFromMemory(file.data(), file.size(), w, h, 100, 100);
    case kImagePng: return is5_ReadPNG(s, w, h, depth, pal, 0);
    default: return is5_ReadTIFF(s, w, h, depth, pal, 0, 0);
    }
}

// ---- independent tools --------------------------------------------------------------------

/// The output and exit status of a shell command.
struct ToolRun {
    int status = -1;
    Bytes out;
};

inline ToolRun run(const std::string& command) {
    ToolRun r;
    std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return r;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

inline bool haveTool(const std::string& name) { return run("command -v " + name).status == 0; }

/// Skips the test when a tool is missing, except on CI (CI=true), where that fails it.
#define REQUIRE_TOOL(name) REQUIRE_OR_SKIP(::writertest::haveTool(name), name)

/// ImageMagick's decode of a file's first picture as 8-bit R, G, B, turned upright
/// (ImageMagick keeps a bottom-up TGA's rows as stored and only notes the orientation);
/// empty when it cannot read the file.
inline Bytes magickRgb(const std::string& path) {
    const ToolRun r = run("convert '" + path + "[0]' -auto-orient -depth 8 rgb:-");
    return r.status == 0 ? r.out : Bytes();
}

/// Bytes of a file written to disk, for the tools.
inline std::string saveTemp(const testutil::TempDir& dir, const std::string& name, const Bytes& bytes) {
    const std::string path = dir / name;
    testutil::writeFile(path, bytes);
    return path;
}

} // namespace writertest
