// SPDX-License-Identifier: MIT
// GIF writer: one GIF89a frame of an 8-bit picture with a global colour table, LZW
// compressed, optionally interlaced, with a graphic control extension only when a
// transparent index is given. Format: the GIF89a format document (CompuServe, 1990), www.w3.org/Graphics/GIF
#include "imaging/codecs/gif.h"
#include "imaging/codecs/ownwrite.h"

#include <algorithm>
#include <array>
#include <new>
#include <vector>

namespace imaging::gif {
namespace {

using detail::DestWriter;

constexpr std::uint32_t kMaxSide = 0xFFFF;

/// LZW compression as GIF decoders expect it: codes packed least significant bit first
/// into sub-blocks of at most 255 bytes, the code width growing with the table, and a
/// clear code whenever the table reaches 4096 entries.
class LzwEncoder {
public:
    LzwEncoder(DestWriter& out, unsigned minCodeSize)
        : m_out(out), m_minCodeSize(minCodeSize), m_clear(1u << minCodeSize), m_end(m_clear + 1),
          m_codeSize(minCodeSize + 1) {
        m_keys.resize(kTableSize);
        m_codes.resize(kTableSize);
        m_out.u8(static_cast<std::uint8_t>(minCodeSize));
        restart();
    }

    void put(std::uint8_t index) {
        if (!m_started) {
            m_prefix = index;
            m_started = true;
            return;
        }
        const std::uint32_t key = (m_prefix << 8 | index) + 1; // 0 marks a free slot
        std::uint32_t slot = hash(key);
        while (m_keys[slot] != 0) {
            if (m_keys[slot] == key) {
                m_prefix = m_codes[slot];
                return;
            }
            slot = (slot + 1) & (kTableSize - 1);
        }
        emit(m_prefix);
        m_keys[slot] = key;
        m_codes[slot] = static_cast<std::uint16_t>(m_next++);
        // The decoder adds this entry only after reading the next code, so the width
        // grows once the next code could need the extra bit.
        if (m_next > (1u << m_codeSize) && m_codeSize < kMaxCodeBits) ++m_codeSize;
        if (m_next == kMaxCodes) restart();
        m_prefix = index;
    }

    void finish() {
        if (m_started) emit(m_prefix);
        // The decoder adds one more entry after that last code before it reads the end code.
        if (m_started && m_next == (1u << m_codeSize) && m_codeSize < kMaxCodeBits) ++m_codeSize;
        emit(m_end);
        if (m_bitCount > 0) byte(static_cast<std::uint8_t>(m_bits));
        flushBlock();
        m_out.u8(0); // block terminator
    }

private:
    static constexpr std::uint32_t kTableSize = 8192; // power of two, at most half full

    static std::uint32_t hash(std::uint32_t key) { return (key * 2654435761u) >> (32 - 13); }

    // A clear code (at the width in use) and an empty table.
    void restart() {
        emit(m_clear);
        std::fill(m_keys.begin(), m_keys.end(), 0);
        m_codeSize = m_minCodeSize + 1;
        m_next = m_clear + 2;
    }

    void emit(std::uint32_t code) {
        m_bits |= code << m_bitCount;
        m_bitCount += m_codeSize;
        while (m_bitCount >= 8) {
            byte(static_cast<std::uint8_t>(m_bits));
            m_bits >>= 8;
            m_bitCount -= 8;
        }
    }

    void byte(std::uint8_t b) {
        m_block[m_blockSize++] = b;
        if (m_blockSize == 255) flushBlock();
    }

    void flushBlock() {
        if (m_blockSize == 0) return;
        m_out.u8(static_cast<std::uint8_t>(m_blockSize));
        m_out.bytes(m_block.data(), m_blockSize);
        m_blockSize = 0;
    }

    DestWriter& m_out;
    const unsigned m_minCodeSize;
    const std::uint32_t m_clear, m_end;
    unsigned m_codeSize;
    std::uint32_t m_next = 0;
    std::uint32_t m_prefix = 0;
    bool m_started = false;
    std::vector<std::uint32_t> m_keys;
    std::vector<std::uint16_t> m_codes;
    std::uint32_t m_bits = 0;
    unsigned m_bitCount = 0;
    std::array<std::uint8_t, 255> m_block{};
    std::size_t m_blockSize = 0;
};

/// Rows in the order they are stored: top to bottom, or the four interlace passes.
std::vector<std::uint32_t> rowOrder(std::uint32_t height, bool interlace) {
    std::vector<std::uint32_t> order;
    order.reserve(height);
    if (!interlace) {
        for (std::uint32_t y = 0; y < height; ++y) order.push_back(y);
        return order;
    }
    constexpr std::uint32_t kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (std::uint32_t y = kStart[pass]; y < height; y += kStep[pass]) order.push_back(y);
    return order;
}

std::uint32_t writeGif(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                       std::uint32_t stride, std::uint32_t interlace, int transparentIndex, std::uint32_t bits,
                       const Is5Rgbq* palette) {
    if (std::uint32_t rc = detail::checkWriteArgs(dest, pixels, width, height, 8, stride)) return rc;
    if (!palette || bits < 1 || bits > 8 || width > kMaxSide || height > kMaxSide) return IS5_ERR_PARAM;
    const std::uint32_t tableSize = 1u << bits;
    if (transparentIndex >= int(tableSize)) return IS5_ERR_PARAM;
    // Every index must have an entry in the colour table, and a literal code below the clear code.
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + std::size_t{y} * stride;
        if (*std::max_element(row, row + width) >= tableSize) return IS5_ERR_PARAM;
    }

    DestWriter out(dest);
    out.bytes("GIF89a", 6);
    // Logical screen descriptor: global table present, colour resolution and table size
    // both `bits`, background 0, no aspect ratio.
    out.u16le(width);
    out.u16le(height);
    out.u8(static_cast<std::uint8_t>(0x80 | (bits - 1) << 4 | (bits - 1)));
    out.u8(0);
    out.u8(0);
    for (std::uint32_t i = 0; i < tableSize; ++i) {
        out.u8(palette[i].r);
        out.u8(palette[i].g);
        out.u8(palette[i].b);
    }
    if (transparentIndex >= 0) {
        out.u8(kExtensionIntroducer);
        out.u8(kGraphicControlLabel);
        out.u8(4);
        out.u8(0x01); // no disposal, no user input, transparent colour given
        out.u16le(0); // no delay
        out.u8(static_cast<std::uint8_t>(transparentIndex));
        out.u8(0);
    }
    out.u8(kImageSeparator);
    out.u16le(0);
    out.u16le(0);
    out.u16le(width);
    out.u16le(height);
    out.u8(interlace ? 0x40 : 0x00); // no local table

    LzwEncoder lzw(out, std::max<unsigned>(2, bits));
    for (std::uint32_t y : rowOrder(height, interlace != 0)) {
        const std::uint8_t* row = pixels + std::size_t{y} * stride;
        for (std::uint32_t x = 0; x < width; ++x) lzw.put(row[x]);
        if (!out.ok()) return IS5_ERR_WRITE;
    }
    lzw.finish();
    out.u8(kTrailer);
    out.flush();
    return out.ok() ? IS5_OK : IS5_ERR_WRITE;
}

} // namespace
} // namespace imaging::gif

BOOL is5_WriteGIF(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t stride, std::uint32_t interlace, int transparentIndex, std::uint32_t bits,
                  const Is5Rgbq* palette, std::uint32_t /*flags*/) {
    constexpr const char* kFunction = "is5_WriteGIF";
    std::uint32_t rc;
    try {
        rc = imaging::gif::writeGif(dest, pixels, width, height, stride, interlace, transparentIndex, bits, palette);
    } catch (const std::bad_alloc&) {
        rc = IS5_ERR_MEMORY;
    }
    return imaging::detail::finishWrite(dest, rc, kFunction);
}
