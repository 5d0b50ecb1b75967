// SPDX-License-Identifier: MIT
// Helpers for the writer tests: deterministic pictures at 24, 8 and 1 bits, writing into
// memory or a real file, reading back through the program's readers, and running the
// independent command-line tools (pngcheck, tiffinfo, ImageMagick) on what was written.
#pragma once

#include "testutil.h"

#include "imaging/is5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace writertest {

using Bytes = std::string;

/// A picture as the writers take it: rows `stride` bytes apart, a 256-entry palette.
struct Picture {
    std::uint32_t width = 0, height = 0, depth = 24, stride = 0, colours = 0;
    std::vector<std::uint8_t> pixels;
    std::array<Is5Rgbq, 256> palette{};
    const std::uint8_t* data() const { return pixels.data(); }
};

inline std::uint32_t tightStride(std::uint32_t width, std::uint32_t depth) {
    return depth == 24 ? width * 3 : depth == 8 ? width : (width + 7) / 8;
}

/// Every byte value, edges, runs longer than any RLE count and noise: what the encoders
/// must keep exactly. `padding` adds unused bytes at the end of each row.
inline Picture makePicture(std::uint32_t width, std::uint32_t height, std::uint32_t depth, std::uint32_t colours = 256,
                           std::uint32_t padding = 0) {
    Picture p;
    p.width = width;
    p.height = height;
    p.depth = depth;
    p.colours = depth == 24 ? 0 : depth == 1 ? 2 : colours;
    p.stride = tightStride(width, depth) + padding;
    p.pixels.assign(std::size_t{p.stride} * height, 0xA5); // padding bytes hold junk
    std::uint32_t seed = width * 7919u + height * 104729u + depth;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 16;
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = p.pixels.data() + std::size_t{y} * p.stride;
        const std::uint32_t kind = y % 4; // noise, a long run, a ramp, alternating values
        const std::size_t count = depth == 24 ? std::size_t{width} * 3 : depth == 8 ? width : (width + 7) / 8;
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t v = kind == 0 ? next() : kind == 1 ? 0xC5 : kind == 2 ? (i * 3 + y) : (i % 2 ? 0xFF : 0x00);
            if (depth == 8) v %= p.colours;
            row[i] = static_cast<std::uint8_t>(v);
        }
        if (depth == 1 && width % 8) row[count - 1] &= static_cast<std::uint8_t>(0xFF00u >> (width % 8));
    }
    for (std::uint32_t i = 0; i < 256; ++i)
        p.palette[i] = {static_cast<std::uint8_t>(i * 37 + 11), static_cast<std::uint8_t>(255 - i),
                        static_cast<std::uint8_t>(i * 101), 0};
    if (depth == 1) {
        p.palette[0] = {0, 0, 0, 0};
        p.palette[1] = {255, 255, 255, 0};
    }
    return p;
}

/// The picture's colours, R G B per pixel, through its palette when it has one.
inline Bytes coloursOf(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t depth,
                       std::uint32_t stride, const Is5Rgbq* palette) {
    Bytes out;
    out.reserve(std::size_t{width} * height * 3);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + std::size_t{y} * stride;
        for (std::uint32_t x = 0; x < width; ++x) {
            if (depth == 24) {
                out.append(reinterpret_cast<const char*>(row + 3 * x), 3);
                continue;
            }
            const std::uint32_t index = depth == 8 ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1;
            const Is5Rgbq& c = palette[index];
            out += static_cast<char>(c.r);
            out += static_cast<char>(c.g);
            out += static_cast<char>(c.b);
        }
    }
    return out;
}
inline Bytes coloursOf(const Picture& p) {
    return coloursOf(p.data(), p.width, p.height, p.depth, p.stride, p.palette.data());
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

/// Writes through a file destination; true when the picture reached `path`.
inline bool writeToFile(const std::string& path, const std::function<BOOL(IS5_DEST)>& write) {
    IS5_DEST dest = is5_OpenFileDest(path.c_str(), 0);
    if (!dest) return false;
    const BOOL ok = write(dest);
    return is5_CloseDest(dest) && ok;
}

/// A picture read back by one of the program's readers.
struct ReadBack {
    bool ok = false;
    std::uint32_t code = 0, width = 0, height = 0;
    Bytes pixels;
    std::array<Is5Rgbq, 256> palette{};
    Bytes colours(std::uint32_t depth) const {
        return coloursOf(reinterpret_cast<const std::uint8_t*>(pixels.data()), width, height, depth,
                         tightStride(width, depth), palette.data());
    }
};

/// `read` calls one reader on the source: (source, &width, &height, palette) -> block.
template <typename Read>
ReadBack readBack(const Bytes& file, const char* name, Read read) {
    IS5_SOURCE src = is5_OpenMemorySource(file.data(), file.size(), name);
    ReadBack r;
    HGLOBAL block = read(src, &r.width, &r.height, r.palette.data());
    r.code = is5_GetLastError();
    if (block) {
        r.ok = true;
        r.pixels.assign(static_cast<const char*>(GlobalLock(block)), GlobalSize(block));
        GlobalFree(block);
    }
    is5_CloseSource(src);
    return r;
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

inline bool onCi() {
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

/// Skips the test when a tool is missing, except on CI (CI=true), where that fails it.
#define REQUIRE_TOOL(name)                                                                              \
    do {                                                                                                \
        if (!writertest::haveTool(name)) {                                                              \
            if (writertest::onCi()) FAIL() << name << " is missing (scripts/install-deps.sh installs it)"; \
            GTEST_SKIP() << name << " is not installed; scripts/install-deps.sh installs it";          \
        }                                                                                               \
    } while (0)

/// ImageMagick's decode of a file as 8-bit R, G, B, turned upright (ImageMagick keeps a
/// bottom-up TGA's rows as stored and only notes the orientation).
inline Bytes magickRgb(const std::string& path) {
    return run("convert '" + path + "' -auto-orient -depth 8 rgb:-").out;
}

/// Bytes of a file written to disk, for the tools.
inline std::string saveTemp(const testutil::TempDir& dir, const std::string& name, const Bytes& bytes) {
    const std::string path = dir / name;
    testutil::writeFile(path, bytes);
    return path;
}

/// Largest difference of any channel between two colour strings of the same length.
inline int maxDifference(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size()) return 256;
    int most = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        most = std::max(most, std::abs(int(std::uint8_t(a[i])) - int(std::uint8_t(b[i]))));
    return most;
}

} // namespace writertest
