// SPDX-License-Identifier: MIT
// Fuzz target: pictures built from the input go through the JPEG, PNG, TIFF, PCX, TGA, WBMP
// and metafile writers and back through the program's readers; the lossless ones must give
// back every colour, and no writer may fail on a valid picture.
#include "fuzztarget.h"

#include <cstring>
#include <functional>
#include <vector>

namespace {

struct Picture {
    std::uint32_t width, height, depth, stride;
    std::vector<std::uint8_t> pixels;
    Is5Rgbq palette[256];
};

// The picture's colours, R G B per pixel.
std::vector<std::uint8_t> colours(const std::uint8_t* px, std::uint32_t w, std::uint32_t h, std::uint32_t depth,
                                  std::uint32_t stride, const Is5Rgbq* palette) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) {
            const std::uint8_t* row = px + std::size_t{y} * stride;
            if (depth == 24) {
                out.insert(out.end(), row + 3 * x, row + 3 * x + 3);
                continue;
            }
            const Is5Rgbq& c = palette[depth == 8 ? row[x] : (row[x / 8] >> (7 - x % 8)) & 1];
            out.insert(out.end(), {c.r, c.g, c.b});
        }
    return out;
}

using Write = std::function<BOOL(IS5_DEST, const Picture&)>;
using Read = std::function<HGLOBAL(IS5_SOURCE, std::uint32_t*, std::uint32_t*, std::uint32_t depth, Is5Rgbq*)>;

// Writes, reads back at `readDepth`, and compares colours when `exact`.
void roundTrip(const Picture& p, const Write& write, const Read& read, std::uint32_t readDepth, bool exact) {
    IS5_DEST dest = is5_OpenMemoryDest();
    if (!write(dest, p)) __builtin_trap(); // a valid picture must always be written
    std::size_t size = 0;
    const std::uint8_t* bytes = is5_GetDestBuffer(dest, &size);
    IS5_SOURCE src = is5_OpenMemorySource(bytes, size, "fuzz");
    std::uint32_t w = 0, h = 0;
    Is5Rgbq palette[256] = {};
    HGLOBAL block = read(src, &w, &h, readDepth, palette);
    if (!block || w != p.width || h != p.height) __builtin_trap();
    const auto* back = static_cast<const std::uint8_t*>(GlobalLock(block));
    const std::uint32_t backStride = readDepth == 24 ? w * 3 : readDepth == 8 ? w : (w + 7) / 8;
    if (exact && colours(back, w, h, readDepth, backStride, palette) !=
                     colours(p.pixels.data(), p.width, p.height, p.depth, p.stride, p.palette))
        __builtin_trap();
    GlobalFree(block);
    is5_CloseSource(src);
    is5_CloseDest(dest);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    if (size < 5) return 0;
    const std::uint32_t width = 1u + data[0] % 150, height = 1u + data[1] % 20, choice = data[2], extra = data[3];
    data += 4;
    size -= 4;
    auto byteAt = [&](std::size_t i) { return data[i % size]; };

    Picture pictures[3];
    const std::uint32_t depths[3] = {24, 8, 1};
    for (int k = 0; k < 3; ++k) {
        Picture& p = pictures[k];
        p.width = width;
        p.height = height;
        p.depth = depths[k];
        p.stride = (depths[k] == 24 ? width * 3 : depths[k] == 8 ? width : (width + 7) / 8) + (extra & 3);
        p.pixels.resize(std::size_t{p.stride} * height);
        for (std::size_t i = 0; i < p.pixels.size(); ++i)
            p.pixels[i] = byteAt(i + 977 * k);
        for (int i = 0; i < 256; ++i)
            p.palette[i] = {byteAt(3 * i + 1), byteAt(3 * i + 2), byteAt(3 * i + 3), 0};
    }
    pictures[2].palette[0] = {0, 0, 0, 0};
    pictures[2].palette[1] = {255, 255, 255, 0};
    const Picture &rgb = pictures[0], &indexed = pictures[1], &bits = pictures[2];

    const std::uint32_t tiffSchemes[4] = {1, 5, 8, 32773};
    const std::uint32_t scheme = tiffSchemes[extra >> 6];
    const std::uint32_t colourCount = 1 + byteAt(7) % 256;
    Picture fewerColours = indexed; // a palette shorter than 256, every index inside it
    for (auto& v : fewerColours.pixels)
        v = static_cast<std::uint8_t>(v % colourCount);
    const Picture& fewer = fewerColours;

    switch (choice % 6) {
    case 0:
        for (const Picture* p : {&rgb, &indexed})
            roundTrip(*p, [](IS5_DEST d, const Picture& q) {
                return is5_WritePCX(d, q.pixels.data(), q.width, q.height, q.depth, q.stride, q.palette,
                                    nullptr, 0);
            }, [](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, std::uint32_t depth, Is5Rgbq* pal) {
                return is5_ReadPCX(s, w, h, depth, pal, 0);
            }, p->depth, true);
        break;
    case 1:
        for (const Picture* p : {&rgb, &indexed})
            roundTrip(*p, [](IS5_DEST d, const Picture& q) {
                return is5_WriteTGA(d, q.pixels.data(), q.width, q.height, q.depth, q.stride, q.palette,
                                    nullptr, 0);
            }, [](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, std::uint32_t depth, Is5Rgbq* pal) {
                return is5_ReadTGA(s, w, h, depth, pal, 0);
            }, p->depth, true);
        break;
    case 2:
        for (const Picture* p : {&rgb, &fewer, &bits})
            roundTrip(*p, [colourCount](IS5_DEST d, const Picture& q) {
                const std::uint32_t count = q.depth == 24 ? 0 : q.depth == 1 ? 2 : colourCount;
                return is5_WritePNG(d, q.pixels.data(), q.width, q.height, q.stride, q.depth == 1 ? 1 : 8,
                                    count, q.palette, q.depth == 24 ? 2 : 3, 0.345, nullptr, 0);
            }, [](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, std::uint32_t depth, Is5Rgbq* pal) {
                return is5_ReadPNG(s, w, h, depth, pal, 0);
            }, p->depth, true);
        break;
    case 3:
        for (const Picture* p : {&rgb, &indexed, &bits})
            roundTrip(*p, [scheme](IS5_DEST d, const Picture& q) {
                return is5_WriteTIFF(d, q.pixels.data(), q.width, q.height, q.depth, q.stride, q.palette,
                                     scheme, nullptr, 32);
            }, [](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, std::uint32_t depth, Is5Rgbq* pal) {
                return is5_ReadTIFF(s, w, h, depth, pal, 0, 0);
            }, p->depth, true);
        break;
    case 4: {
        // WBMP: a non-zero pixel is white, so the 8-bit picture becomes black and white first.
        Picture bw = indexed;
        for (auto& v : bw.pixels)
            v = v != 0;
        bw.palette[0] = {0, 0, 0, 0};
        bw.palette[1] = {255, 255, 255, 0};
        roundTrip(bw, [&](IS5_DEST d, const Picture&) {
            return is5_WriteWBMP(d, indexed.pixels.data(), width, height, indexed.stride, 0);
        }, [](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, std::uint32_t depth, Is5Rgbq* pal) {
            return is5_ReadWBMP(s, w, h, pal, depth, 0);
        }, 8, true);
        for (const Picture* p : {&rgb, &indexed})
            roundTrip(*p, [extra](IS5_DEST d, const Picture& q) {
                return is5_WriteJPG(d, q.pixels.data(), q.width, q.height, q.depth, q.stride, 1 + extra % 100,
                                    nullptr, extra & 1);
            }, [](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, std::uint32_t depth, Is5Rgbq*) {
                return is5_ReadJPG(s, w, h, depth, 0);
            }, p->depth, false);
        break;
    }
    default:
        for (std::uint32_t kind : {0u, 1u})
            roundTrip(rgb, [kind](IS5_DEST d, const Picture& q) {
                return is5_WriteRGBToMetafile(d, q.pixels.data(), q.width, q.height, q.stride, kind, 0);
            }, [](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, std::uint32_t, Is5Rgbq*) {
                std::vector<std::uint8_t> all(static_cast<std::size_t>(is5_GetSourceSize(s)));
                is5_Seek(s, 0, IS5_SEEK_SET);
                is5_Read(s, all.data(), static_cast<std::uint32_t>(all.size()));
                return is5_ReadMetafileFromMemory(all.data(), all.size(), w, h, 100, 100);
            }, 24, true);
        break;
    }
    return 0;
}
