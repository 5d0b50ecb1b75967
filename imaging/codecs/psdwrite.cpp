// SPDX-License-Identifier: MIT
// Photoshop writer: a version 1 file with no image resources and no layers, holding the
// merged picture only, PackBits compressed: RGB (three channels) or indexed (one channel
// and a 768-byte colour table). Format: https://www.adobe.com/devnet-apps/photoshop/fileformatashtml/
#include "imaging/codecs/ownwrite.h"
#include "imaging/codecs/psd.h"

#include <new>
#include <vector>

namespace imaging::psd {
namespace {

using detail::DestWriter;

/// Version 1 files hold at most 30000 pixels a side.
constexpr std::uint32_t kMaxSide = 30000;

/// PackBits: runs of 2 to 128 equal bytes as (257 - n, byte) (a pair only where no
/// literal is open), other bytes as literals of up to 128 (n - 1, bytes). Appends to
/// `out` and returns the bytes added.
std::size_t packBits(const std::uint8_t* row, std::size_t size, std::vector<std::uint8_t>& out) {
    const std::size_t before = out.size();
    std::size_t x = 0;
    while (x < size) {
        std::size_t run = 1;
        while (x + run < size && run < 128 && row[x + run] == row[x]) ++run;
        if (run >= 2) {
            out.push_back(static_cast<std::uint8_t>(257 - run));
            out.push_back(row[x]);
            x += run;
            continue;
        }
        // A literal stretch ends before the next run of three (a run of two inside a
        // literal costs no more kept as literal bytes).
        const std::size_t start = x;
        ++x;
        while (x < size && x - start < 128) {
            if (x + 2 < size && row[x] == row[x + 1] && row[x] == row[x + 2]) break;
            ++x;
        }
        out.push_back(static_cast<std::uint8_t>(x - start - 1));
        out.insert(out.end(), row + start, row + x);
    }
    return out.size() - before;
}

std::uint32_t writePsd(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                       std::uint32_t depth, std::uint32_t stride, const Is5Rgbq* palette) {
    if (depth != 24 && depth != 8) return IS5_ERR_PARAM;
    if (std::uint32_t rc = detail::checkWriteArgs(dest, pixels, width, height, depth, stride)) return rc;
    if ((depth == 8 && !palette) || width > kMaxSide || height > kMaxSide) return IS5_ERR_PARAM;
    const std::uint32_t channels = depth == 24 ? 3 : 1;

    DestWriter out(dest);
    out.bytes("8BPS", 4);
    out.u16be(1);
    out.zeros(6);
    out.u16be(channels);
    out.u32be(height);
    out.u32be(width);
    out.u16be(8);
    out.u16be(depth == 24 ? kModeRgb : kModeIndexed);
    // Colour mode data: the indexed colour table as 256 reds, 256 greens, 256 blues.
    if (depth == 8) {
        out.u32be(768);
        for (int i = 0; i < 256; ++i) out.u8(palette[i].r);
        for (int i = 0; i < 256; ++i) out.u8(palette[i].g);
        for (int i = 0; i < 256; ++i) out.u8(palette[i].b);
    } else {
        out.u32be(0);
    }
    out.u32be(0); // image resources
    out.u32be(0); // layer and mask information
    out.u16be(kPackBits);

    // Every row of every channel has its packed length in a table ahead of the data; the
    // table is written as zeros first and filled in once the rows are known.
    const std::uint64_t tableAt = out.position();
    std::vector<std::uint16_t> lengths(std::size_t{channels} * height);
    out.zeros(lengths.size() * 2);
    std::vector<std::uint8_t> plane(width), packed;
    packed.reserve(std::size_t{width} + width / 128 + 2);
    for (std::uint32_t c = 0; c < channels; ++c) {
        for (std::uint32_t y = 0; y < height && out.ok(); ++y) {
            const std::uint8_t* row = pixels + std::size_t{y} * stride;
            const std::uint8_t* source = row;
            if (channels == 3) {
                for (std::uint32_t x = 0; x < width; ++x) plane[x] = row[3 * x + c];
                source = plane.data();
            }
            packed.clear();
            // At most width + width / 128 + 1 bytes: well inside 16 bits at 30000 pixels.
            lengths[std::size_t{c} * height + y] = static_cast<std::uint16_t>(packBits(source, width, packed));
            out.bytes(packed.data(), packed.size());
        }
    }
    const std::uint64_t end = out.position();
    out.seek(tableAt);
    for (std::uint16_t n : lengths) out.u16be(n);
    out.seek(end);
    out.flush();
    return out.ok() ? IS5_OK : IS5_ERR_WRITE;
}

} // namespace
} // namespace imaging::psd

BOOL is5_WritePSD(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t depth, std::uint32_t stride, const Is5Rgbq* palette, std::uint32_t /*flags*/) {
    constexpr const char* kFunction = "is5_WritePSD";
    std::uint32_t rc;
    try {
        rc = imaging::psd::writePsd(dest, pixels, width, height, depth, stride, palette);
    } catch (const std::bad_alloc&) {
        rc = IS5_ERR_MEMORY;
    }
    return imaging::detail::finishWrite(dest, rc, kFunction);
}
