// SPDX-License-Identifier: MIT
// Fuzz target: the PCX header, palette and picture readers, at every depth they offer.
#include "imaging/is5.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A lower pixel limit keeps each run quick; without the block cache every freed block
    // is really freed, so AddressSanitizer sees use after free and nothing is held at exit.
    static const bool once = (is5_SetMaxPixels(std::uint64_t{1} << 24), platform::SetBlockCacheLimit(0), true);
    (void)once;
    IS5_SOURCE source = is5_OpenMemorySource(data, size, "fuzz.pcx");
    if (!source) return 0;
    std::uint32_t w = 0, h = 0, bits = 0, count = 0;
    ResolutionInfo resolution;
    Is5Rgbq palette[256];
    const bool header = is5_GetPCXDims(source, &w, &h, &bits, &resolution);
    is5_GetPCXPalette(source, &count, palette, 0);
    for (std::uint32_t depth : {24u, 8u}) {
        std::uint32_t rw = 0, rh = 0;
        if (HGLOBAL block = is5_ReadPCX(source, &rw, &rh, depth, palette, 0)) {
            if (!header || rw != w || rh != h) __builtin_trap(); // the header reader must agree
            GlobalFree(block);
        }
    }
    is5_CloseSource(source);
    return 0;
}
