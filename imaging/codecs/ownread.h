// SPDX-License-Identifier: MIT
// The is5_ faces shared by the hand-written readers that follow one shape: a reader class
// with open(), decode(depth, block), readPalette(), palette(), paletteCount() and header().
#pragma once

#include "imaging/detail/bytereader.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"
#include "platform/globalmemory.h"

#include <algorithm>
#include <array>
#include <new>

namespace imaging::detail {

/// What a paletted hand-written reader holds: the buffered source, the header, and the
/// palette 8-bit output uses with the count it reports (set by the codec's readPalette). `open` reads the header with the
/// codec's own readHeader(ByteReader&, Header&).
template <typename Header>
class PalettedReader {
public:
    explicit PalettedReader(Is5Source& source, std::size_t bufferSize = 64 * 1024) : m_in(source, bufferSize) {}

    std::uint32_t open() { return readHeader(m_in, m_header); }
    const Header& header() const { return m_header; }
    const std::array<Is5Rgbq, 256>& palette() const { return m_palette; }
    std::uint32_t paletteCount() const { return m_paletteCount; }

protected:
    ByteReader m_in;
    Header m_header;
    std::array<Is5Rgbq, 256> m_palette{};
    std::uint32_t m_paletteCount = 0;
};

/// Decodes the picture at the source's start with `Reader`; the palette goes to the
/// caller when `wantPalette` says the requested depth has one.
template <typename Reader>
HGLOBAL readPicture(const char* function, IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height,
                    std::uint32_t depth, Is5Rgbq* palette, bool wantPalette) {
    if (!source || !width || !height) return failBlock(IS5_ERR_PARAM, function);
    try {
        if (!source->seek(0)) return failBlock(IS5_ERR_READ, function);
        Reader reader(*source);
        if (std::uint32_t rc = reader.open()) return failBlock(rc, function);
        platform::UniqueGlobal block;
        if (std::uint32_t rc = reader.decode(depth, block)) return failBlock(rc, function);
        if (palette && wantPalette) std::copy(reader.palette().begin(), reader.palette().end(), palette);
        *width = reader.header().width;
        *height = reader.header().height;
        return succeed(function, block.release());
    } catch (const std::bad_alloc&) {
        return failBlock(IS5_ERR_MEMORY, function);
    }
}

/// Reads the header at the source's start with `Reader` and hands it to `fill`, which stores
/// what the caller asked for; the size goes to `width` and `height` where given.
template <typename Reader, typename Fill>
BOOL readDims(const char* function, IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, Fill fill) {
    if (!source) return failBool(IS5_ERR_PARAM, function);
    try {
        if (!source->seek(0)) return failBool(IS5_ERR_READ, function);
        Reader reader(*source, 512);
        if (std::uint32_t rc = reader.open()) return failBool(rc, function);
        if (width) *width = reader.header().width;
        if (height) *height = reader.header().height;
        fill(reader.header());
        return succeed(function, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, function);
    }
}

/// Reads the stored palette with `Reader`, and the count of entries it reports.
template <typename Reader>
BOOL readStoredPalette(const char* function, IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette) {
    if (!source || !count || !palette) return failBool(IS5_ERR_PARAM, function);
    try {
        if (!source->seek(0)) return failBool(IS5_ERR_READ, function);
        Reader reader(*source, 4096);
        if (std::uint32_t rc = reader.open()) return failBool(rc, function);
        if (std::uint32_t rc = reader.readPalette()) return failBool(rc, function);
        std::copy(reader.palette().begin(), reader.palette().end(), palette);
        *count = reader.paletteCount();
        return succeed(function, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, function);
    }
}

} // namespace imaging::detail
