// SPDX-License-Identifier: MIT
// Shared plumbing of the hand-written writers (BMP, GIF, PSD): argument checks, a byte
// buffer in front of the destination, and the one way a writer call ends.
#pragma once

#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <cstdint>
#include <vector>

namespace imaging::detail {

/// Collects a writer's bytes and hands them to the destination in large pieces. The
/// first failed destination write sticks: later calls do nothing and ok() stays false.
class DestWriter {
public:
    explicit DestWriter(IS5_DEST dest) : m_dest(dest) { m_buffer.reserve(kChunk); }
    DestWriter(const DestWriter&) = delete;
    DestWriter& operator=(const DestWriter&) = delete;

    void u8(std::uint8_t v) {
        m_buffer.push_back(v);
        if (m_buffer.size() >= kChunk) flush();
    }
    void u16le(std::uint32_t v) {
        u8(static_cast<std::uint8_t>(v));
        u8(static_cast<std::uint8_t>(v >> 8));
    }
    void u32le(std::uint32_t v) {
        u16le(v & 0xFFFF);
        u16le(v >> 16);
    }
    void u16be(std::uint32_t v) {
        u8(static_cast<std::uint8_t>(v >> 8));
        u8(static_cast<std::uint8_t>(v));
    }
    void u32be(std::uint32_t v) {
        u16be(v >> 16);
        u16be(v & 0xFFFF);
    }
    void bytes(const void* data, std::size_t size) {
        const auto* p = static_cast<const std::uint8_t*>(data);
        if (m_buffer.size() + size > kChunk) flush();
        if (size >= kChunk) {
            if (m_ok) m_ok = is5_WriteDest(m_dest, p, size) != FALSE;
            return;
        }
        m_buffer.insert(m_buffer.end(), p, p + size);
    }
    void zeros(std::size_t count) {
        for (; count > 0; --count) u8(0);
    }

    /// Hands the buffered bytes to the destination.
    bool flush() {
        if (m_ok && !m_buffer.empty()) m_ok = is5_WriteDest(m_dest, m_buffer.data(), m_buffer.size()) != FALSE;
        m_buffer.clear();
        return m_ok;
    }
    /// Moves the write position (after flushing), for patching a header after the data.
    bool seek(std::uint64_t position) {
        if (flush()) m_ok = is5_SeekDest(m_dest, position) != FALSE;
        return m_ok;
    }
    /// The destination position of the next byte.
    std::uint64_t position() const { return is5_TellDest(m_dest) + m_buffer.size(); }
    bool ok() const { return m_ok; }

private:
    static constexpr std::size_t kChunk = 1 << 16;
    IS5_DEST m_dest;
    std::vector<std::uint8_t> m_buffer;
    bool m_ok = true;
};

/// Checks the arguments every writer shares: a destination, pixels, a non-empty picture
/// and rows at least `rowBytes(width, depth)` apart. IS5_OK or IS5_ERR_PARAM.
inline std::uint32_t checkWriteArgs(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width,
                                    std::uint32_t height, std::uint32_t depth, std::uint32_t stride) {
    if (!dest || !pixels || width == 0 || height == 0) return IS5_ERR_PARAM;
    if (stride < rowBytes(width, depth)) return IS5_ERR_PARAM;
    return IS5_OK;
}

/// Ends a writer call: on success the destination is marked complete (last, as the
/// destination asks); on failure it is marked failed and `code` becomes the last error.
inline BOOL finishWrite(IS5_DEST dest, std::uint32_t code, const char* function) {
    if (code == IS5_OK) {
        is5_MarkDestComplete(dest);
        return succeed(function, TRUE);
    }
    is5_MarkDestFailed(dest);
    return failBool(code, function);
}

} // namespace imaging::detail
