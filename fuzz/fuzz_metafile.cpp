// SPDX-License-Identifier: MIT
// Fuzz target: the WMF and EMF renderer, at natural size and at an uneven scale. Text
// records are drawn as well: the renderer makes its own offscreen application for fonts.
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp(std::uint64_t{1} << 20);
    std::uint32_t w = 0, h = 0;
    HGLOBAL block = is5_ReadMetafileFromMemory(data, size, &w, &h, 100, 100);
    if (!block) return 0;
    if (GlobalSize(block) != std::size_t{w} * h * 3) __builtin_trap(); // the block holds the whole picture
    GlobalFree(block);
    if ((block = is5_ReadMetafileFromMemory(data, size, &w, &h, 37, 180))) GlobalFree(block);
    return 0;
}
