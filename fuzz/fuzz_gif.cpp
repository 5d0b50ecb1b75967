// SPDX-License-Identifier: MIT
// Fuzz target: the GIF header reader and the first-frame reader.
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    return fuzz::onSource(data, size, "fuzz.gif", [](IS5_SOURCE source) {
        std::uint32_t w = 0, h = 0, bits = 0, rbits = 0;
        Is5Rgbq palette[256];
        const bool header = is5_GetGIFDims(source, &w, &h, &bits);
        fuzz::readAgrees(header, w, h, {8u}, [&](std::uint32_t* rw, std::uint32_t* rh, std::uint32_t) {
            HGLOBAL block = is5_ReadGIF(source, rw, rh, &rbits, palette, 0);
            if (block && (rbits < 1 || rbits > 8)) __builtin_trap();
            return block;
        });
    });
}
