// SPDX-License-Identifier: MIT
// Fuzz target: the JPEG header reader and the decoder at 24 and 8 bits and at a reduced
// scale (libjpeg glue: error exits, the scan limit, the pixel guard, orientation).
#include "imaging/is5.h"
#include "platform/globalmemory.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A small pixel limit keeps each run quick; with the block cache off, freed pixel
    // blocks are really freed (use after free shows) and nothing is held at exit.
    static const bool limited = (is5_SetMaxPixels(std::uint64_t{1} << 24), platform::SetBlockCacheLimit(0), true);
    (void)limited;
    IS5_SOURCE source = is5_OpenMemorySource(data, size, "fuzz.jpg");
    if (!source) return 0;
    std::uint32_t w = 0, h = 0, bits = 0;
    ResolutionInfo resolution;
    const bool header = is5_GetJPGDims(source, &w, &h, &bits, &resolution);
    for (std::uint32_t depth : {24u, 8u}) {
        std::uint32_t rw = 0, rh = 0;
        if (HGLOBAL block = is5_ReadJPG(source, &rw, &rh, depth, 0)) {
            if (!header || rw != w || rh != h) __builtin_trap(); // the header reader must agree
            GlobalFree(block);
        }
    }
    // A reduced DCT scale (1/2, 1/4 or 1/8, picked by the input's length) gives the header's
    // size divided and rounded up.
    const std::uint32_t scale = 2u << (size % 3);
    std::uint32_t sw = 0, sh = 0;
    if (HGLOBAL block = is5_ReadJPG(source, &sw, &sh, 24, scale)) {
        if (!header || sw != (w + scale - 1) / scale || sh != (h + scale - 1) / scale) __builtin_trap();
        GlobalFree(block);
    }
    is5_CloseSource(source);
    return 0;
}
