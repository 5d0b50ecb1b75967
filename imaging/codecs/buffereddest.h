// SPDX-License-Identifier: MIT
// What the writers share: a buffered writer over a destination that remembers its first
// failure, little-endian byte builders, and the one way a writer ends (complete or failed).
#pragma once

#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace imaging::detail {

/// Collects small writes into one buffer, so a file destination sees few large writes.
/// The first failure sticks: later writes do nothing and code() tells what went wrong.
class BufferedDest {
public:
    static constexpr std::size_t kDefaultCapacity = std::size_t{256} << 10;

    explicit BufferedDest(IS5_DEST dest, std::size_t capacity = kDefaultCapacity)
        : m_dest(dest), m_capacity(capacity), m_buffer(new std::uint8_t[capacity]), m_flushed(is5_TellDest(dest)) {}
    BufferedDest(const BufferedDest&) = delete;
    BufferedDest& operator=(const BufferedDest&) = delete;

    bool write(const void* data, std::size_t size) {
        if (m_code) return false;
        const auto* p = static_cast<const std::uint8_t*>(data);
        if (m_used + size > m_capacity) {
            if (!flush()) return false;
            if (size >= m_capacity) return pass(p, size);
        }
        std::memcpy(m_buffer.get() + m_used, p, size);
        m_used += size;
        return true;
    }
    bool write(const std::vector<std::uint8_t>& bytes) { return write(bytes.data(), bytes.size()); }

    /// Hands the buffered bytes to the destination.
    bool flush() {
        if (m_code) return false;
        if (m_used == 0) return true;
        const std::size_t n = m_used;
        m_used = 0;
        return pass(m_buffer.get(), n);
    }

    /// Moves the write position (after handing over what is buffered).
    bool seek(std::uint64_t position) {
        if (!flush()) return false;
        if (!is5_SeekDest(m_dest, position)) return setFailed();
        m_flushed = position;
        return true;
    }

    /// The logical write position, buffered bytes included.
    std::uint64_t tell() const { return m_flushed + m_used; }
    bool ok() const { return m_code == IS5_OK; }
    /// IS5_OK, or the destination's error from the first failed write.
    std::uint32_t code() const { return m_code; }

private:
    bool pass(const std::uint8_t* p, std::size_t n) {
        if (!is5_WriteDest(m_dest, p, n)) return setFailed();
        m_flushed += n;
        return true;
    }
    bool setFailed() {
        m_code = is5_GetLastError();
        if (m_code == IS5_OK) m_code = IS5_ERR_WRITE;
        return false;
    }

    IS5_DEST m_dest;
    std::size_t m_capacity;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_used = 0;
    std::uint64_t m_flushed;
    std::uint32_t m_code = IS5_OK;
};

inline void putLe16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void putLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    putLe16(out, v & 0xFFFFu);
    putLe16(out, v >> 16);
}

/// Ends a writer: on success the destination is marked complete and TRUE returned; on
/// failure it is marked failed (so nothing is published) and the code becomes the last
/// error.
inline BOOL endWrite(IS5_DEST dest, std::uint32_t code, const char* function) {
    if (code != IS5_OK) {
        if (dest) is5_MarkDestFailed(dest);
        return failBool(code, function);
    }
    is5_MarkDestComplete(dest);
    return succeed<BOOL>(function, TRUE);
}

/// The common checks of a writer's arguments: a destination, pixels, both sides non-zero
/// and a stride that holds a row of `depth` bits per pixel.
inline bool validPicture(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                         std::uint32_t depth, std::uint32_t stride) {
    return dest && pixels && width > 0 && height > 0 && stride >= rowBytes(width, depth);
}

} // namespace imaging::detail
