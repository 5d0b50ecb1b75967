// SPDX-License-Identifier: MIT
// PCX writer: version 5, run-length encoded; 24-bit pictures as three 8-bit planes per
// scan line, 8-bit pictures as one plane with the 256-colour palette at the end.
// Format document: ZSoft PCX Technical Reference Manual, revision 5,
//   https://www.fileformat.info/format/pcx/egff.htm
#include "imaging/codecs/buffereddest.h"
#include "imaging/codecs/pcx.h"
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace imaging::pcx {

namespace {

constexpr std::uint8_t kVersion5 = 5;
// xMax and yMax are 16-bit, and so is the even bytes-per-line count.
constexpr std::uint32_t kMaxWidth = 65534;
constexpr std::uint32_t kMaxHeight = 65536;
constexpr std::uint32_t kMaxRun = 63;
constexpr std::uint8_t kPaletteInfoColour = 1;

// Dots per inch as a 16-bit field: truncated as a C cast does, held to 0-65535.
std::uint16_t dpiField(double v) {
    if (!std::isfinite(v) || v <= 0) return 0;
    return static_cast<std::uint16_t>(std::min(v, 65535.0));
}

// One plane's line of bytes as runs: a run, or a single byte with both top bits set,
// is a count byte (0xC0 | n) followed by the value; other single bytes stand alone.
// Runs never cross the end of the line.
void encodeLine(const std::uint8_t* line, std::size_t n, std::vector<std::uint8_t>& out) {
    for (std::size_t x = 0; x < n;) {
        const std::uint8_t v = line[x];
        std::size_t run = 1;
        while (x + run < n && run < kMaxRun && line[x + run] == v) ++run;
        if (run > 1 || (v & kRunFlag) == kRunFlag) out.push_back(static_cast<std::uint8_t>(kRunFlag | run));
        out.push_back(v);
        x += run;
    }
}

class PcxWriter {
public:
    explicit PcxWriter(IS5_DEST dest) : m_out(dest) {}

    std::uint32_t write(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t depth,
                        std::uint32_t stride, const Is5Rgbq* palette, const ResolutionInfo* resolution) {
        const std::uint32_t planes = depth == 24 ? 3 : 1;
        const std::size_t bytesPerLine = (std::size_t{width} + 1) & ~std::size_t{1}; // even, as the format asks

        std::vector<std::uint8_t> header(kHeaderSize, 0);
        header[0] = kManufacturer;
        header[1] = kVersion5;
        header[2] = kEncodingRle;
        header[3] = 8;
        auto put16 = [&](std::size_t at, std::uint32_t v) {
            header[at] = static_cast<std::uint8_t>(v);
            header[at + 1] = static_cast<std::uint8_t>(v >> 8);
        };
        put16(8, width - 1);
        put16(10, height - 1);
        put16(12, resolution ? dpiField(resolution->xResolution) : 0);
        put16(14, resolution ? dpiField(resolution->yResolution) : 0);
        if (depth == 8)
            for (int i = 0; i < 16; ++i) {
                header[16 + 3 * i] = palette[i].r;
                header[17 + 3 * i] = palette[i].g;
                header[18 + 3 * i] = palette[i].b;
            }
        header[65] = static_cast<std::uint8_t>(planes);
        put16(66, static_cast<std::uint32_t>(bytesPerLine));
        put16(68, kPaletteInfoColour);
        m_out.write(header);

        std::vector<std::uint8_t> plane(bytesPerLine, 0);
        std::vector<std::uint8_t> encoded;
        encoded.reserve(bytesPerLine * planes * 2);
        for (std::uint32_t y = 0; y < height && m_out.ok(); ++y) {
            const std::uint8_t* row = pixels + std::size_t{y} * stride;
            encoded.clear();
            for (std::uint32_t p = 0; p < planes; ++p) {
                if (depth == 24)
                    for (std::uint32_t x = 0; x < width; ++x) plane[x] = row[3 * std::size_t{x} + p];
                else
                    std::copy(row, row + width, plane.begin());
                encodeLine(plane.data(), bytesPerLine, encoded);
            }
            m_out.write(encoded);
        }

        if (depth == 8) {
            std::vector<std::uint8_t> tail;
            tail.reserve(kEndPaletteSize);
            tail.push_back(kPaletteMarker);
            for (int i = 0; i < 256; ++i) {
                tail.push_back(palette[i].r);
                tail.push_back(palette[i].g);
                tail.push_back(palette[i].b);
            }
            m_out.write(tail);
        }
        m_out.flush();
        return m_out.code();
    }

private:
    detail::BufferedDest m_out;
};

} // namespace

} // namespace imaging::pcx

BOOL is5_WritePCX(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t depth, std::uint32_t stride, const Is5Rgbq* palette, const ResolutionInfo* resolution,
                  std::uint32_t /*flags*/) {
    using namespace imaging::detail;
    constexpr const char* kFunction = "is5_WritePCX";
    if ((depth != 24 && depth != 8) || (depth == 8 && !palette) ||
        !validPicture(dest, pixels, width, height, depth, stride) || width > imaging::pcx::kMaxWidth ||
        height > imaging::pcx::kMaxHeight)
        return endWrite(dest, IS5_ERR_PARAM, kFunction);
    try {
        imaging::pcx::PcxWriter writer(dest);
        return endWrite(dest, writer.write(pixels, width, height, depth, stride, palette, resolution), kFunction);
    } catch (const std::bad_alloc&) {
        return endWrite(dest, IS5_ERR_MEMORY, kFunction);
    }
}
