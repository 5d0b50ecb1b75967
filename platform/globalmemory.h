// SPDX-License-Identifier: MIT
// Movable memory blocks for pixel buffers, handed from the readers to the image object.
// Large blocks are recycled: the first touch of fresh memory costs more than decoding
// into memory that is already mapped.
#pragma once

#include "platform/wintypes.h"

#include <cstddef>
#include <utility>

struct GlobalBlock__;
using HGLOBAL = GlobalBlock__*;

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GHND = GMEM_MOVEABLE | GMEM_ZEROINIT;

/// A block of `bytes` bytes (zeroed with GMEM_ZEROINIT), or nullptr when memory is short.
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
/// Releases the block; returns nullptr as Windows does on success.
HGLOBAL GlobalFree(HGLOBAL block);
/// The block's bytes (blocks never move here, so the lock is only a lookup).
void* GlobalLock(HGLOBAL block);
BOOL GlobalUnlock(HGLOBAL block);
std::size_t GlobalSize(HGLOBAL block);

namespace platform {

/// Owns one block and frees it when it goes.
class UniqueGlobal {
public:
    UniqueGlobal() = default;
    explicit UniqueGlobal(HGLOBAL block) : m_block(block) {}
    ~UniqueGlobal() { reset(); }
    UniqueGlobal(UniqueGlobal&& other) noexcept : m_block(std::exchange(other.m_block, nullptr)) {}
    UniqueGlobal& operator=(UniqueGlobal&& other) noexcept {
        if (this != &other) {
            reset();
            m_block = std::exchange(other.m_block, nullptr);
        }
        return *this;
    }
    UniqueGlobal(const UniqueGlobal&) = delete;
    UniqueGlobal& operator=(const UniqueGlobal&) = delete;

    /// Allocates `bytes` bytes, replacing any block held; false when memory is short.
    bool allocate(std::size_t bytes, bool zero = false) {
        reset();
        m_block = GlobalAlloc(zero ? GHND : GMEM_MOVEABLE, bytes);
        return m_block != nullptr;
    }
    HGLOBAL get() const { return m_block; }
    HGLOBAL release() { return std::exchange(m_block, nullptr); }
    void reset(HGLOBAL block = nullptr) {
        if (m_block) GlobalFree(m_block);
        m_block = block;
    }
    std::uint8_t* data() const { return static_cast<std::uint8_t*>(GlobalLock(m_block)); }
    std::size_t size() const { return m_block ? GlobalSize(m_block) : 0; }
    explicit operator bool() const { return m_block != nullptr; }

private:
    HGLOBAL m_block = nullptr;
};

/// Most bytes that freed blocks may keep cached for reuse (0 turns recycling off).
void SetBlockCacheLimit(std::size_t bytes);

} // namespace platform
