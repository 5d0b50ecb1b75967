// SPDX-License-Identifier: MIT
// Fuzz target: the PhotoCD base-image reader.
#include "imaging/is5.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // No recycled blocks, so leak checks see every block.
    static const bool setUp = (platform::SetBlockCacheLimit(0), true);
    (void)setUp;
    IS5_SOURCE source = is5_OpenMemorySource(data, size, "fuzz.pcd");
    if (!source) return 0;
    std::uint32_t w = 0, h = 0;
    if (HGLOBAL block = is5_ReadPCD(source, &w, &h, 3, 0)) {
        if (!((w == 768 && h == 512) || (w == 512 && h == 768))) __builtin_trap();
        GlobalFree(block);
    }
    is5_CloseSource(source);
    return 0;
}
