// SPDX-License-Identifier: MIT
// What the fuzz targets share: a pixel limit that keeps each run quick and no block cache
// (every freed block is really freed, so AddressSanitizer sees use after free and nothing
// is held at exit); a memory source over the input; the header reader's agreement.
#pragma once

#include "imaging/is5.h"
#include "platform/globalmemory.h"

#include <cstdint>
#include <initializer_list>

namespace fuzz {

inline void setUp(std::uint64_t maxPixels = std::uint64_t{1} << 24) {
    static const bool once = (is5_SetMaxPixels(maxPixels), platform::SetBlockCacheLimit(0), true);
    (void)once;
}

/// Runs `body` on a memory source over the input named `name`; always 0, as libFuzzer wants.
template <typename Body>
int onSource(const std::uint8_t* data, std::size_t size, const char* name, Body body) {
    if (IS5_SOURCE source = is5_OpenMemorySource(data, size, name)) {
        body(source);
        is5_CloseSource(source);
    }
    return 0;
}

/// Reads at each depth with `read(&width, &height, depth)`: a picture that reads must have
/// the size the header reader gave.
template <typename Read>
void readAgrees(bool header, std::uint32_t w, std::uint32_t h, std::initializer_list<std::uint32_t> depths, Read read) {
    for (std::uint32_t depth : depths) {
        std::uint32_t rw = 0, rh = 0;
        if (HGLOBAL block = read(&rw, &rh, depth)) {
            if (!header || rw != w || rh != h) __builtin_trap();
            GlobalFree(block);
        }
    }
}

} // namespace fuzz
