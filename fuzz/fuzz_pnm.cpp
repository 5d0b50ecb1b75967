// SPDX-License-Identifier: MIT
// Fuzz target: the PBM/PGM/PPM header reader and the reader at every depth it offers.
#include "imaging/is5.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Small pictures keep each run quick; no recycled blocks, so leak checks see every block.
    static const bool setUp = (is5_SetMaxPixels(std::uint64_t{1} << 24), platform::SetBlockCacheLimit(0), true);
    (void)setUp;
    IS5_SOURCE source = is5_OpenMemorySource(data, size, "fuzz.pnm");
    if (!source) return 0;
    std::uint32_t w = 0, h = 0, bits = 0;
    Is5Rgbq palette[256];
    const bool header = is5_GetPNMDims(source, &w, &h, &bits);
    for (std::uint32_t depth : {24u, 8u, 1u}) {
        std::uint32_t rw = 0, rh = 0;
        if (HGLOBAL block = is5_ReadPNM(source, &rw, &rh, depth, palette, 0)) {
            if (!header || rw != w || rh != h) __builtin_trap(); // the header reader must agree
            GlobalFree(block);
        }
    }
    is5_CloseSource(source);
    return 0;
}
