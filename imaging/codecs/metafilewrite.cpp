// SPDX-License-Identifier: MIT
// Metafile writer: a 24-bit picture as one bitmap record, in a placeable WMF
// (META_STRETCHDIB) or an EMF (EMR_STRETCHDIBITS), sized so that a player at 96 pixels
// per inch draws the bitmap 1:1.
// Formats: https://learn.microsoft.com/openspecs/windows_protocols/ms-wmf/ and
//          https://learn.microsoft.com/openspecs/windows_protocols/ms-emf/
#include "imaging/codecs/buffereddest.h"
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

namespace imaging::metafile {

namespace {

using detail::putLe16;
using detail::putLe32;

constexpr std::uint32_t kWmf = 0, kEmf = 1;
constexpr std::uint32_t kSrcCopy = 0x00CC0020;
constexpr std::uint32_t kDibRgbColours = 0;
constexpr std::uint32_t kBitmapInfoSize = 40;
constexpr std::uint32_t kPixelsPerMetre96 = 3780; // 96 per inch

// WMF: coordinates are signed 16-bit.
constexpr std::uint32_t kWmfMaxSide = 32767;
constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr std::uint16_t kUnitsPerInch = 96;
constexpr std::uint16_t kSetWindowOrg = 0x020B, kSetWindowExt = 0x020C, kStretchDib = 0x0F43, kEof = 0x0000;
constexpr std::uint32_t kStretchDibFixedWords = 3 + 2 + 1 + 8;

// EMF records.
constexpr std::uint32_t kEmrHeader = 1, kEmrEof = 14, kEmrStretchDiBits = 81;
constexpr std::uint32_t kEmfHeaderSize = 108; // with szlMicrometers
constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t kStretchDiBitsFixed = 80;
constexpr std::uint32_t kEmfEofSize = 20;

struct Picture {
    const std::uint8_t* pixels;
    std::uint32_t width, height, stride;
    std::uint64_t dibStride() const { return (std::uint64_t{width} * 3 + 3) & ~std::uint64_t{3}; }
    std::uint64_t bitsSize() const { return dibStride() * height; }
};

void putBitmapInfo(std::vector<std::uint8_t>& out, const Picture& p) {
    putLe32(out, kBitmapInfoSize);
    putLe32(out, p.width);
    putLe32(out, p.height); // positive: rows bottom to top
    putLe16(out, 1);        // planes
    putLe16(out, 24);
    putLe32(out, 0);        // BI_RGB
    putLe32(out, static_cast<std::uint32_t>(p.bitsSize()));
    putLe32(out, kPixelsPerMetre96);
    putLe32(out, kPixelsPerMetre96);
    putLe32(out, 0);
    putLe32(out, 0);
}

// The DIB's rows: bottom to top, B, G, R, padded to four bytes.
void writeBits(detail::BufferedDest& out, const Picture& p) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(p.dibStride()), 0);
    for (std::uint32_t i = 0; i < p.height && out.ok(); ++i) {
        const std::uint8_t* in = p.pixels + std::size_t{p.height - 1 - i} * p.stride;
        for (std::size_t x = 0; x < p.width; ++x) {
            row[3 * x] = in[3 * x + 2];
            row[3 * x + 1] = in[3 * x + 1];
            row[3 * x + 2] = in[3 * x];
        }
        out.write(row);
    }
}

std::uint32_t writeWmf(IS5_DEST dest, const Picture& p) {
    const std::uint64_t stretchWords = kStretchDibFixedWords + (kBitmapInfoSize + p.bitsSize()) / 2;
    const std::uint64_t totalWords = 9 + 5 + 5 + stretchWords + 3;
    if (totalWords > std::numeric_limits<std::uint32_t>::max()) return IS5_ERR_PARAM;

    std::vector<std::uint8_t> head;
    // Placeable header: the picture's box in units of 1/96 inch, and a checksum that is
    // the XOR of its first ten 16-bit words.
    putLe32(head, kPlaceableKey);
    putLe16(head, 0);
    putLe16(head, 0);
    putLe16(head, 0);
    putLe16(head, p.width);
    putLe16(head, p.height);
    putLe16(head, kUnitsPerInch);
    putLe32(head, 0);
    std::uint16_t checksum = 0;
    for (std::size_t i = 0; i < 20; i += 2) checksum ^= static_cast<std::uint16_t>(head[i] | (head[i + 1] << 8));
    putLe16(head, checksum);
    // META_HEADER: a memory metafile of version 3.0, no objects.
    putLe16(head, 1);
    putLe16(head, 9);
    putLe16(head, 0x0300);
    putLe32(head, static_cast<std::uint32_t>(totalWords));
    putLe16(head, 0);
    putLe32(head, static_cast<std::uint32_t>(stretchWords));
    putLe16(head, 0);
    // The window covers the picture, for players that ignore the placeable header.
    putLe32(head, 5);
    putLe16(head, kSetWindowOrg);
    putLe16(head, 0);
    putLe16(head, 0);
    putLe32(head, 5);
    putLe16(head, kSetWindowExt);
    putLe16(head, p.height);
    putLe16(head, p.width);
    // META_STRETCHDIB: the whole bitmap into the whole window.
    putLe32(head, static_cast<std::uint32_t>(stretchWords));
    putLe16(head, kStretchDib);
    putLe32(head, kSrcCopy);
    putLe16(head, kDibRgbColours);
    putLe16(head, p.height); // source height, width, y, x
    putLe16(head, p.width);
    putLe16(head, 0);
    putLe16(head, 0);
    putLe16(head, p.height); // destination height, width, y, x
    putLe16(head, p.width);
    putLe16(head, 0);
    putLe16(head, 0);
    putBitmapInfo(head, p);

    detail::BufferedDest out(dest);
    out.write(head);
    writeBits(out, p);
    std::vector<std::uint8_t> tail;
    putLe32(tail, 3);
    putLe16(tail, kEof);
    out.write(tail);
    out.flush();
    return out.code();
}

// The frame, in 0.01 mm, of a side of `pixels` at 96 per inch. The header gives the
// reference device as exactly the frame's size in micrometres and the picture's size in
// pixels, so a player converts the frame back to the picture's size; of the frames that
// round to the right size, the one whose conversion in doubles comes out whole is taken,
// so the bitmap is placed 1:1 and nothing is resampled.
std::int64_t frameFor(std::uint32_t pixels) {
    const auto nominal = static_cast<std::int64_t>(std::llround(pixels * 2540.0 / 96.0));
    for (std::int64_t delta : {0, 1, -1, 2, -2}) {
        const std::int64_t frame = nominal + delta;
        if (frame <= 0) continue;
        const double millimetres = static_cast<double>(frame * 10) / 1000.0;
        const double perMillimetre = pixels / millimetres;
        const bool whole = static_cast<double>(frame) / 100 * perMillimetre == static_cast<double>(pixels);
        const bool rounds = std::llround(static_cast<double>(frame) * 96 / 2540) == pixels;
        if (whole && rounds) return frame;
    }
    return nominal;
}

std::uint32_t writeEmf(IS5_DEST dest, const Picture& p) {
    const std::uint64_t recordSize = kStretchDiBitsFixed + kBitmapInfoSize + p.bitsSize();
    const std::uint64_t total = kEmfHeaderSize + recordSize + kEmfEofSize;
    const std::int64_t frameX = frameFor(p.width), frameY = frameFor(p.height);
    const std::int64_t int32Max = std::numeric_limits<std::int32_t>::max();
    if (total > std::numeric_limits<std::uint32_t>::max() || frameX * 10 > int32Max || frameY * 10 > int32Max ||
        p.width > int32Max || p.height > int32Max)
        return IS5_ERR_PARAM;

    std::vector<std::uint8_t> head;
    putLe32(head, kEmrHeader);
    putLe32(head, kEmfHeaderSize);
    putLe32(head, 0); // bounds in device pixels, inclusive
    putLe32(head, 0);
    putLe32(head, p.width - 1);
    putLe32(head, p.height - 1);
    putLe32(head, 0); // frame in 0.01 mm
    putLe32(head, 0);
    putLe32(head, static_cast<std::uint32_t>(frameX));
    putLe32(head, static_cast<std::uint32_t>(frameY));
    putLe32(head, kEmfSignature);
    putLe32(head, 0x00010000); // version
    putLe32(head, static_cast<std::uint32_t>(total));
    putLe32(head, 3); // records
    putLe16(head, 1); // handles: the reserved index 0 only
    putLe16(head, 0);
    putLe32(head, 0); // no description
    putLe32(head, 0);
    putLe32(head, 0); // no palette
    putLe32(head, p.width); // reference device: the picture's size, in pixels...
    putLe32(head, p.height);
    putLe32(head, static_cast<std::uint32_t>(std::max<std::int64_t>(1, (frameX + 50) / 100))); // ...millimetres...
    putLe32(head, static_cast<std::uint32_t>(std::max<std::int64_t>(1, (frameY + 50) / 100)));
    putLe32(head, 0); // no pixel format
    putLe32(head, 0);
    putLe32(head, 0); // not OpenGL
    putLe32(head, static_cast<std::uint32_t>(frameX * 10)); // ...and micrometres
    putLe32(head, static_cast<std::uint32_t>(frameY * 10));

    putLe32(head, kEmrStretchDiBits);
    putLe32(head, static_cast<std::uint32_t>(recordSize));
    putLe32(head, 0); // bounds
    putLe32(head, 0);
    putLe32(head, p.width - 1);
    putLe32(head, p.height - 1);
    putLe32(head, 0); // destination x, y
    putLe32(head, 0);
    putLe32(head, 0); // source x, y, width, height
    putLe32(head, 0);
    putLe32(head, p.width);
    putLe32(head, p.height);
    putLe32(head, kStretchDiBitsFixed); // bitmap info: offset, size
    putLe32(head, kBitmapInfoSize);
    putLe32(head, kStretchDiBitsFixed + kBitmapInfoSize); // bits: offset, size
    putLe32(head, static_cast<std::uint32_t>(p.bitsSize()));
    putLe32(head, kDibRgbColours);
    putLe32(head, kSrcCopy);
    putLe32(head, p.width); // destination width, height
    putLe32(head, p.height);
    putBitmapInfo(head, p);

    detail::BufferedDest out(dest);
    out.write(head);
    writeBits(out, p);
    std::vector<std::uint8_t> tail;
    putLe32(tail, kEmrEof);
    putLe32(tail, kEmfEofSize);
    putLe32(tail, 0);  // no palette entries
    putLe32(tail, 16); // where they would start
    putLe32(tail, kEmfEofSize);
    out.write(tail);
    out.flush();
    return out.code();
}

} // namespace

} // namespace imaging::metafile

BOOL is5_WriteRGBToMetafile(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                            std::uint32_t stride, std::uint32_t kind, std::uint32_t /*flags*/) {
    using namespace imaging::detail;
    using namespace imaging::metafile;
    constexpr const char* kFunction = "is5_WriteRGBToMetafile";
    if ((kind != kWmf && kind != kEmf) || !validPicture(dest, pixels, width, height, 24, stride) ||
        (kind == kWmf && (width > kWmfMaxSide || height > kWmfMaxSide)))
        return endWrite(dest, IS5_ERR_PARAM, kFunction);
    try {
        const Picture picture{pixels, width, height, stride};
        return endWrite(dest, kind == kWmf ? writeWmf(dest, picture) : writeEmf(dest, picture), kFunction);
    } catch (const std::bad_alloc&) {
        return endWrite(dest, IS5_ERR_MEMORY, kFunction);
    }
}
