// SPDX-License-Identifier: MIT
// Buffered, bounds-checked reading from a source for the hand-written decoders. A read
// past the end returns zeros and sets a flag that stays set, so a decoder checks ok()
// once per row or header instead of after every byte.
#pragma once

#include "imaging/detail/source.h"

#include <cstdint>
#include <algorithm>
#include <cstring>
#include <vector>

namespace imaging::detail {

class ByteReader {
public:
    explicit ByteReader(Is5Source& source, std::size_t bufferSize = 64 * 1024)
        : m_source(source), m_size(source.size()), m_buffer(bufferSize) {
        m_bufferStart = m_position = source.tell();
    }

    bool ok() const { return m_ok; }
    /// Marks the data as bad from here on (a decoder's own consistency check failed).
    void setFailed() { m_ok = false; }
    std::uint64_t size() const { return m_size; }
    std::uint64_t tell() const { return m_position; }
    std::uint64_t remaining() const { return m_position < m_size ? m_size - m_position : 0; }

    /// Moves to an absolute position; a position past the end fails and sets the flag.
    bool seek(std::uint64_t position) {
        if (position > m_size) {
            m_ok = false;
            return false;
        }
        m_position = position;
        return true;
    }
    bool skip(std::uint64_t n) { return seek(n > remaining() ? m_size + 1 : m_position + n); }

    std::uint8_t u8() {
        if (m_position >= m_bufferStart && m_position < m_bufferStart + m_bufferFill)
            return m_buffer[static_cast<std::size_t>(m_position++ - m_bufferStart)];
        std::uint8_t b = 0;
        read(&b, 1);
        return b;
    }
    std::uint16_t u16le() { std::uint16_t a = u8(); return static_cast<std::uint16_t>(a | (u8() << 8)); }
    std::uint16_t u16be() { std::uint16_t a = u8(); return static_cast<std::uint16_t>((a << 8) | u8()); }
    std::uint32_t u32le() { std::uint32_t a = u16le(); return a | (std::uint32_t{u16le()} << 16); }
    std::uint32_t u32be() { std::uint32_t a = u16be(); return (a << 16) | u16be(); }
    std::int32_t s32le() { return static_cast<std::int32_t>(u32le()); }

    /// Reads exactly n bytes; short data fills the rest with zeros and sets the flag.
    bool read(void* out, std::size_t n) {
        auto* dst = static_cast<std::uint8_t*>(out);
        while (n > 0) {
            if (m_position >= m_bufferStart && m_position < m_bufferStart + m_bufferFill) {
                std::size_t offset = static_cast<std::size_t>(m_position - m_bufferStart);
                std::size_t take = std::min(n, m_bufferFill - offset);
                std::memcpy(dst, m_buffer.data() + offset, take);
                dst += take;
                n -= take;
                m_position += take;
                continue;
            }
            if (m_position >= m_size || !refill()) {
                std::memset(dst, 0, n);
                m_ok = false;
                return false;
            }
        }
        return true;
    }

private:
    bool refill() {
        if (!m_source.seek(m_position)) return false;
        m_bufferStart = m_position;
        m_bufferFill = m_source.read(m_buffer.data(), m_buffer.size());
        return m_bufferFill > 0;
    }

    Is5Source& m_source;
    std::uint64_t m_size;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_bufferStart = 0;
    std::size_t m_bufferFill = 0;
    std::uint64_t m_position = 0;
    bool m_ok = true;
};

} // namespace imaging::detail
