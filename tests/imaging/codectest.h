// SPDX-License-Identifier: MIT
// Helpers for the tests of the hand-written readers: byte strings for building files, and
// reading a built file back through a real file on disk.
#pragma once

#include "jpegencode.h"
#include "testutil.h"

#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace codectest {

using Bytes = std::string;

inline Bytes hex(std::initializer_list<int> values) {
    Bytes b;
    for (int v : values) b.push_back(char(v));
    return b;
}
inline void put16(Bytes& b, std::uint32_t v) { b += hex({int(v & 0xFF), int(v >> 8 & 0xFF)}); }
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline Bytes be16(std::uint32_t v) { return hex({int(v >> 8 & 0xFF), int(v & 0xFF)}); }
inline Bytes be32(std::uint32_t v) { return be16(v >> 16) + be16(v & 0xFFFF); }

/// A PNG chunk: its length, its type and data, and their CRC.
inline Bytes pngChunk(const char* type, const Bytes& data) {
    const Bytes body = std::string(type, 4) + data;
    return be32(static_cast<std::uint32_t>(data.size())) + body +
           be32(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size())));
}

/// Bytes from a seeded generator, the same for the same seed.
inline std::vector<std::uint8_t> randomPixels(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(rng());
    return v;
}

/// The worker pool, started once for the test binary with a worker per core.
inline const bool kPoolStarted = (is5_Initialize(0), true);

/// The colour of every pixel of rows `stride` bytes apart (0: tightly packed) at 24, 8 or 1
/// bits: 24-bit samples as they are, fewer bits looked up in `palette`.
inline std::vector<std::uint8_t> colours(const std::uint8_t* px, std::uint32_t width, std::uint32_t height,
                                         std::uint32_t depth, const Is5Rgbq* palette,
                                         std::size_t stride = 0) {
    if (!stride) stride = depth == 24 ? std::size_t{width} * 3 : depth == 8 ? width : (width + 7) / 8;
    std::vector<std::uint8_t> rgb(std::size_t{width} * height * 3);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* row = px + y * stride;
            std::uint8_t* o = &rgb[(std::size_t{y} * width + x) * 3];
            if (depth == 24) {
                std::copy_n(row + x * 3, 3, o);
                continue;
            }
            const Is5Rgbq& c = palette[depth == 8 ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1];
            o[0] = c.r, o[1] = c.g, o[2] = c.b;
        }
    return rgb;
}

/// What one read gave: whether the reader handed a block over, its last error, the size, the
/// block's bytes (empty on failure) and the palette that came with it.
struct Decoded {
    bool ok = false;
    std::uint32_t code = 0, width = 0, height = 0;
    Bytes pixels;
    std::array<Is5Rgbq, 256> palette{};
    /// Each pixel's colour, R G B, the block being tightly packed rows at `depth`.
    Bytes colours(std::uint32_t depth) const {
        const auto rgb = codectest::colours(reinterpret_cast<const std::uint8_t*>(pixels.data()), width, height,
                                            depth, palette.data());
        return Bytes(rgb.begin(), rgb.end());
    }
};

/// Hands `bytes` from memory (or the file at `path`) to `read(source, &width, &height,
/// palette)`, the call of one reader, and collects what comes back.
template <typename Read>
Decoded decode(const Bytes& bytes, Read read, const std::string& path = {}) {
    IS5_SOURCE src = path.empty() ? is5_OpenMemorySource(bytes.data(), bytes.size(), "t")
                                  : is5_OpenFileSource(path.c_str());
    Decoded d;
    HGLOBAL block = src ? read(src, &d.width, &d.height, d.palette.data()) : nullptr;
    d.code = is5_GetLastError();
    if (block) {
        d.ok = true;
        d.pixels.assign(static_cast<const char*>(GlobalLock(block)), GlobalSize(block));
        GlobalFree(block);
    }
    if (src) is5_CloseSource(src);
    return d;
}

/// The same through a real file: `file` saved under `name` in a fresh folder.
template <typename Read>
Decoded decodeFile(const Bytes& file, const std::string& name, Read read) {
    testutil::TempDir dir;
    testutil::writeFile(dir / name, file);
    return decode(file, read, dir / name);
}

/// A GIF read by the program's reader, with the colour resolution it reports (GIF is always
/// read at 8 bits); the palette starts as 0xEE everywhere, so an entry the reader leaves unset shows.
inline Decoded readGif(const Bytes& file, std::uint32_t* bits = nullptr) {
    return decode(file, [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* pal) {
        std::fill_n(pal, 256, Is5Rgbq{0xEE, 0xEE, 0xEE, 0xEE});
        return is5_ReadGIF(s, w, h, bits, pal, 0);
    });
}

/// What one read gave as the pixel tests look at it: the block as the reader handed it over,
/// the palette that came with it and each pixel's colour.
struct Shown {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> raw, rgb;
    std::array<Is5Rgbq, 256> palette{};
};

/// `decode` with the block seen at `depth`; nullopt when the read fails, with its code in *code.
template <typename Read>
std::optional<Shown> readShown(const Bytes& bytes, std::uint32_t depth, Read read, std::uint32_t* code = nullptr,
                               const std::string& path = {}) {
    const Decoded d = decode(bytes, read, path);
    if (code) *code = d.code;
    if (!d.ok) return std::nullopt;
    const auto* px = reinterpret_cast<const std::uint8_t*>(d.pixels.data());
    return Shown{d.width, d.height, {px, px + d.pixels.size()}, colours(px, d.width, d.height, depth, d.palette.data()),
                 d.palette};
}

/// A damaged file, the depth it is read at and the code it must fail with.
struct BadFile {
    const char* name;
    Bytes file;
    std::uint32_t depth, code;
};

/// Reads each damaged file with `read(file, depth)` (a reader's Decoded): it must fail with
/// its own code and hand back no pixels. The table over the readers with this shape; each
/// reader's test file holds its rows.
template <typename Read>
void expectEachFails(const std::vector<BadFile>& rows, Read read) {
    for (const BadFile& r : rows) {
        SCOPED_TRACE(r.name);
        const Decoded d = read(r.file, r.depth);
        EXPECT_EQ(d.code, r.code);
        EXPECT_TRUE(d.pixels.empty());
    }
}

/// What a header reader says of a file: whether it read it, the size and the bits per pixel.
struct Dims {
    bool ok = false;
    std::uint32_t width = 0, height = 0, bits = 0;
    bool operator==(const Dims&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Dims& d) {
    return os << (d.ok ? "" : "failed ") << d.width << " x " << d.height << " x " << d.bits;
}

/// Asks one header reader, `dims(source, &width, &height, &bits)`, about `file` in memory.
template <typename Dimensions>
Dims headerDims(const Bytes& file, Dimensions dims) {
    IS5_SOURCE src = is5_OpenMemorySource(file.data(), file.size(), "t");
    Dims d;
    d.ok = dims(src, &d.width, &d.height, &d.bits);
    is5_CloseSource(src);
    return d;
}

/// Reads `file`, saved as `name` in a fresh folder, into `img` through the image object
/// with type detection; the code Read gave.
inline std::uint32_t readObject(CISImageEx& img, const Bytes& file, const std::string& name) {
    testutil::TempDir dir;
    testutil::writeFile(dir / name, file);
    return img.Read(dir / name, kImageDetect);
}

/// A test name from a row's description.
inline std::string rowName(std::string name, std::size_t index) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name + "_" + std::to_string(index);
}

} // namespace codectest
