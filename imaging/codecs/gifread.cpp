// SPDX-License-Identifier: MIT
// GIF reader: the first frame of a GIF87a or GIF89a file as palette indexes on its canvas,
// and the header reader behind is5_GetGIFDims.
//
// The picture is the logical screen, enlarged when the first frame reaches past its right
// or bottom edge. Where the frame does not cover it, the canvas holds the frame's
// transparent index when it has one (so it shows white like the frame's own transparent
// pixels), else the background index (index 0 when that lies outside the palette).
// A frame whose data ends early or meets an impossible code keeps what was decoded and
// shows the fill index for the rest; one that yields no pixel at all is refused.
#include "imaging/codecs/gif.h"

#include "imaging/detail/bytereader.h"
#include "imaging/detail/lasterror.h"
#include "platform/globalmemory.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <vector>

namespace imaging::gif {
namespace {

using detail::ByteReader;

bool skipSubBlocks(ByteReader& in) {
    for (;;) {
        std::uint8_t n = in.u8();
        if (!in.ok()) return false;
        if (n == 0) return true;
        if (!in.skip(n)) return false;
    }
}

// The image data's bytes, taken from its chain of sub-blocks.
class SubBlockStream {
public:
    explicit SubBlockStream(ByteReader& in) : m_in(in) {}

    /// The next byte; false at the chain's terminator or where the data ends.
    bool next(std::uint8_t& b) {
        if (m_left == 0) {
            if (m_done) return false;
            std::uint8_t n = m_in.u8();
            if (!m_in.ok() || n == 0) {
                m_done = true;
                return false;
            }
            m_left = n;
        }
        b = m_in.u8();
        if (!m_in.ok()) {
            m_done = true;
            m_left = 0;
            return false;
        }
        --m_left;
        return true;
    }

private:
    ByteReader& m_in;
    unsigned m_left = 0;
    bool m_done = false;
};

// Variable-width codes, least significant bit first.
class CodeReader {
public:
    explicit CodeReader(SubBlockStream& blocks) : m_blocks(blocks) {}

    bool read(unsigned bits, unsigned& code) {
        while (m_count < bits) {
            std::uint8_t b;
            if (!m_blocks.next(b)) return false;
            m_buffer |= std::uint32_t{b} << m_count;
            m_count += 8;
        }
        code = m_buffer & ((1u << bits) - 1u);
        m_buffer >>= bits;
        m_count -= bits;
        return true;
    }

private:
    SubBlockStream& m_blocks;
    std::uint32_t m_buffer = 0;
    unsigned m_count = 0;
};

// Places decoded values on the canvas in the frame's row order (interlaced or not).
class FrameWriter {
public:
    FrameWriter(std::uint8_t* canvas, std::uint32_t canvasWidth, const Header& h, std::uint8_t wideValueIndex)
        : m_canvas(canvas), m_canvasWidth(canvasWidth), m_left(h.left), m_top(h.top), m_width(h.frameWidth),
          m_height(h.frameHeight), m_interlaced(h.interlaced), m_wideValueIndex(wideValueIndex) {
        m_row = rowPointer();
    }

    bool full() const { return m_rowsDone >= m_height; }
    std::uint64_t written() const { return m_written; }

    /// Writes values in order until the frame is full.
    void put(const std::uint16_t* values, std::size_t count) {
        for (std::size_t i = 0; i < count && !full(); ++i) {
            unsigned v = values[i];
            // Values above 255 (minimum code sizes above 8) have no palette entry.
            m_row[m_x] = v > 255 ? m_wideValueIndex : static_cast<std::uint8_t>(v);
            ++m_written;
            if (++m_x == m_width) nextRow();
        }
    }

private:
    // Interlaced frames store every 8th row from 0, every 8th from 4, every 4th from 2,
    // then every 2nd from 1.
    static constexpr std::uint32_t kPassStart[4] = {0, 4, 2, 1};
    static constexpr std::uint32_t kPassStep[4] = {8, 8, 4, 2};

    std::uint8_t* rowPointer() const {
        return m_canvas + (std::size_t{m_top} + m_y) * m_canvasWidth + m_left;
    }

    void nextRow() {
        m_x = 0;
        if (++m_rowsDone >= m_height) return;
        if (!m_interlaced) {
            ++m_y;
        } else {
            m_y += kPassStep[m_pass];
            while (m_y >= m_height && m_pass < 3) m_y = kPassStart[++m_pass];
        }
        m_row = rowPointer();
    }

    std::uint8_t* m_canvas;
    std::uint32_t m_canvasWidth, m_left, m_top, m_width, m_height;
    bool m_interlaced;
    std::uint8_t m_wideValueIndex;
    std::uint8_t* m_row = nullptr;
    std::uint32_t m_x = 0, m_y = 0, m_rowsDone = 0;
    unsigned m_pass = 0;
    std::uint64_t m_written = 0;
};

enum class LzwEnd { Complete, DataEnded, BadCode };

// Decodes the LZW stream until the end code, a full frame, the end of the data or a code
// that names no table entry. Deferred clear: a full table stays in use, unchanged,
// until the encoder sends a clear code.
LzwEnd decodeLzw(CodeReader& codes, unsigned minCodeSize, FrameWriter& out) {
    const unsigned clear = 1u << minCodeSize;
    const unsigned end = clear + 1;
    std::vector<std::uint16_t> prefix(kMaxCodes), suffix(kMaxCodes), stack(kMaxCodes + 1);
    for (unsigned i = 0; i < clear; ++i) suffix[i] = static_cast<std::uint16_t>(i);

    unsigned codeSize = minCodeSize + 1;
    unsigned next = clear + 2;
    unsigned previous = kMaxCodes; // none since the last clear
    while (!out.full()) {
        unsigned code;
        if (!codes.read(codeSize, code)) return LzwEnd::DataEnded;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = clear + 2;
            previous = kMaxCodes;
            continue;
        }
        if (code == end) return LzwEnd::Complete;

        std::size_t n = 0;
        std::uint16_t first;
        if (previous == kMaxCodes) {
            if (code > clear) return LzwEnd::BadCode; // the first code must be a literal
            stack[n++] = static_cast<std::uint16_t>(code);
            first = static_cast<std::uint16_t>(code);
        } else {
            if (code > next || (code == next && next >= kMaxCodes)) return LzwEnd::BadCode;
            // Table entries point to strictly smaller codes, so this walk ends at a literal;
            // code == next is the string of the previous code plus its own first value.
            unsigned k = code == next ? previous : code;
            if (code == next) ++n; // room for the repeated first value, written below
            while (k >= clear) {
                stack[n++] = suffix[k];
                k = prefix[k];
            }
            stack[n++] = static_cast<std::uint16_t>(k);
            first = static_cast<std::uint16_t>(k);
            if (code == next) stack[0] = first;
            if (next < kMaxCodes) {
                prefix[next] = static_cast<std::uint16_t>(previous);
                suffix[next] = first;
                ++next;
            }
        }
        if (next >= (1u << codeSize) && codeSize < kMaxCodeBits) ++codeSize;
        previous = code;
        std::reverse(stack.begin(), stack.begin() + static_cast<std::ptrdiff_t>(n));
        out.put(stack.data(), n);
    }
    return LzwEnd::Complete;
}

bool readTable(ByteReader& in, unsigned bits, std::array<Rgb, 256>& table) {
    for (unsigned i = 0; i < (1u << bits); ++i) table[i] = {in.u8(), in.u8(), in.u8()};
    return in.ok();
}

} // namespace

std::uint32_t GifReader::readHeader(Header& h) {
    if (!m_source.seek(0)) return IS5_ERR_READ;
    ByteReader in(m_source, 4096);
    char signature[6];
    in.read(signature, sizeof signature);
    std::uint32_t width = in.u16le(), height = in.u16le();
    std::uint8_t packed = in.u8();
    h.background = in.u8();
    in.u8(); // pixel aspect ratio
    if (!in.ok()) return in.size() >= 6 && std::memcmp(signature, "GIF", 3) != 0 ? IS5_ERR_FORMAT : IS5_ERR_READ;
    if (std::memcmp(signature, "GIF87a", 6) != 0 && std::memcmp(signature, "GIF89a", 6) != 0) return IS5_ERR_FORMAT;
    h.screenWidth = width;
    h.screenHeight = height;
    h.hasGlobalTable = (packed & 0x80) != 0;
    if (h.hasGlobalTable) {
        h.globalTableBits = (packed & 7u) + 1;
        if (!readTable(in, h.globalTableBits, h.globalTable)) return IS5_ERR_READ;
    }

    for (;;) {
        std::uint8_t block = in.u8();
        if (!in.ok()) return IS5_ERR_READ;
        if (block == kExtensionIntroducer) {
            std::uint8_t label = in.u8();
            if (label == kGraphicControlLabel) {
                std::uint8_t size = in.u8();
                if (size >= 4) {
                    std::uint8_t flags = in.u8();
                    in.skip(2); // delay
                    h.transparentIndex = in.u8();
                    h.hasTransparency = (flags & 1) != 0;
                    in.skip(size - 4u);
                } else if (size > 0) {
                    in.skip(size);
                }
                if (size > 0 && !skipSubBlocks(in)) return IS5_ERR_READ;
            } else {
                // A control extension governs the next graphic block only: plain text
                // (label 1) consumes it.
                if (label == 0x01) h.hasTransparency = false;
                if (!skipSubBlocks(in)) return IS5_ERR_READ;
            }
            if (!in.ok()) return IS5_ERR_READ;
            continue;
        }
        if (block == kImageSeparator) {
            h.left = in.u16le();
            h.top = in.u16le();
            h.frameWidth = in.u16le();
            h.frameHeight = in.u16le();
            std::uint8_t frameFlags = in.u8();
            if (!in.ok()) return IS5_ERR_READ;
            h.hasLocalTable = (frameFlags & 0x80) != 0;
            h.interlaced = (frameFlags & 0x40) != 0;
            h.localTableBits = h.hasLocalTable ? (frameFlags & 7u) + 1 : 0;
            h.afterDescriptor = in.tell();
            if (h.frameWidth == 0 || h.frameHeight == 0) return IS5_ERR_FORMAT;
            h.canvasWidth = std::max(h.screenWidth, h.left + h.frameWidth);
            h.canvasHeight = std::max(h.screenHeight, h.top + h.frameHeight);
            return IS5_OK;
        }
        // The trailer before any frame, or a byte that starts no block.
        return IS5_ERR_FORMAT;
    }
}

std::uint32_t GifReader::read(Picture& out, Is5Rgbq* palette) {
    Header h;
    if (std::uint32_t rc = readHeader(h)) return rc;
    if (std::uint32_t rc = detail::checkPictureSize(h.canvasWidth, h.canvasHeight)) return rc;

    if (!m_source.seek(h.afterDescriptor)) return IS5_ERR_READ;
    ByteReader in(m_source);
    std::array<Rgb, 256> localTable{};
    if (h.hasLocalTable && !readTable(in, h.localTableBits, localTable)) return IS5_ERR_READ;
    unsigned minCodeSize = in.u8();
    if (!in.ok()) return IS5_ERR_READ;
    if (minCodeSize < 1 || minCodeSize > kMaxMinCodeSize) return IS5_ERR_FORMAT;

    // The colours: the frame's own table, else the global one, else a grey ramp.
    std::array<Is5Rgbq, 256> colours{};
    unsigned tableSize = 0;
    unsigned bits = 8;
    if (h.hasLocalTable || h.hasGlobalTable) {
        bits = h.hasLocalTable ? h.localTableBits : h.globalTableBits;
        const auto& table = h.hasLocalTable ? localTable : h.globalTable;
        tableSize = 1u << bits;
        for (unsigned i = 0; i < tableSize; ++i) colours[i] = {table[i].r, table[i].g, table[i].b, 0};
    } else {
        for (unsigned i = 0; i < 256; ++i) {
            auto v = static_cast<std::uint8_t>(i);
            colours[i] = {v, v, v, 0};
        }
    }
    // Indexes past a short table keep their zeroed entries: black, never stale memory.
    if (h.hasTransparency) colours[h.transparentIndex] = {255, 255, 255, 0};

    std::uint8_t fill = 0;
    if (h.hasTransparency) fill = h.transparentIndex;
    else if (h.background < tableSize) fill = h.background;

    // Values above 255 get a black entry: one past a short table, else the darkest colour.
    std::uint8_t wideValueIndex = 0;
    if (tableSize > 0 && tableSize < 256 && !(h.hasTransparency && h.transparentIndex == tableSize)) {
        wideValueIndex = static_cast<std::uint8_t>(tableSize);
    } else {
        unsigned darkest = 766;
        for (unsigned i = 0; i < 256; ++i) {
            if (h.hasTransparency && i == h.transparentIndex) continue;
            unsigned sum = unsigned{colours[i].r} + colours[i].g + colours[i].b;
            if (sum < darkest) {
                darkest = sum;
                wideValueIndex = static_cast<std::uint8_t>(i);
            }
        }
    }

    platform::UniqueGlobal block;
    const std::size_t bytes = std::size_t{h.canvasWidth} * h.canvasHeight;
    if (!block.allocate(bytes)) return IS5_ERR_MEMORY;
    std::memset(block.data(), fill, bytes);

    SubBlockStream blocks(in);
    CodeReader codes(blocks);
    FrameWriter writer(block.data(), h.canvasWidth, h, wideValueIndex);
    LzwEnd end = decodeLzw(codes, minCodeSize, writer);
    if (writer.written() == 0) return end == LzwEnd::DataEnded ? IS5_ERR_READ : IS5_ERR_FORMAT;

    if (palette) std::copy(colours.begin(), colours.end(), palette);
    out.width = h.canvasWidth;
    out.height = h.canvasHeight;
    out.bits = bits;
    out.pixels = block.release();
    return IS5_OK;
}

} // namespace imaging::gif

HGLOBAL is5_ReadGIF(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bits,
                    Is5Rgbq* palette, std::uint32_t /*flags*/) {
    constexpr const char* kName = "is5_ReadGIF";
    if (!source || !width || !height) return imaging::detail::failBlock(IS5_ERR_PARAM, kName);
    try {
        imaging::gif::GifReader reader(*source);
        imaging::gif::Picture picture;
        if (std::uint32_t rc = reader.read(picture, palette)) return imaging::detail::failBlock(rc, kName);
        *width = picture.width;
        *height = picture.height;
        if (bits) *bits = picture.bits;
        return imaging::detail::succeed(kName, picture.pixels);
    } catch (const std::exception&) {
        return imaging::detail::failBlock(IS5_ERR_MEMORY, kName);
    }
}

BOOL is5_GetGIFDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* colourResolution) {
    constexpr const char* kName = "is5_GetGIFDims";
    if (!source) return imaging::detail::failBool(IS5_ERR_PARAM, kName);
    try {
        imaging::gif::GifReader reader(*source);
        imaging::gif::Header h;
        if (std::uint32_t rc = reader.readHeader(h)) return imaging::detail::failBool(rc, kName);
        if (width) *width = h.canvasWidth;
        if (height) *height = h.canvasHeight;
        if (colourResolution) *colourResolution = h.hasGlobalTable ? h.globalTableBits : 8;
        return imaging::detail::succeed<BOOL>(kName, TRUE);
    } catch (const std::exception&) {
        return imaging::detail::failBool(IS5_ERR_MEMORY, kName);
    }
}
