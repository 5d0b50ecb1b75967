// SPDX-License-Identifier: MIT
// Fuzz target: the WMF and EMF renderer, at natural size and at an uneven scale. Text
// records are drawn as well: the renderer makes its own offscreen application for fonts.
#include "imaging/is5.h"
#include "platform/globalmemory.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A small pixel limit keeps each run quick; no block recycling, so that the blocks the
    // cache would keep at exit are not taken for leaks.
    static const bool limited = (is5_SetMaxPixels(std::uint64_t{1} << 20), platform::SetBlockCacheLimit(0), true);
    (void)limited;
    std::uint32_t w = 0, h = 0;
    HGLOBAL block = is5_ReadMetafileFromMemory(data, size, &w, &h, 100, 100);
    if (!block) return 0;
    if (GlobalSize(block) != std::size_t{w} * h * 3) __builtin_trap(); // the block holds the whole picture
    GlobalFree(block);
    if ((block = is5_ReadMetafileFromMemory(data, size, &w, &h, 37, 180))) GlobalFree(block);
    return 0;
}
