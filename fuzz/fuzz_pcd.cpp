// SPDX-License-Identifier: MIT
// Fuzz target: the PhotoCD base-image reader.
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    return fuzz::onSource(data, size, "fuzz.pcd", [](IS5_SOURCE source) {
        std::uint32_t w = 0, h = 0;
        if (HGLOBAL block = is5_ReadPCD(source, &w, &h, 3, 0)) {
            if (!((w == 768 && h == 512) || (w == 512 && h == 768))) __builtin_trap();
            GlobalFree(block);
        }
    });
}
