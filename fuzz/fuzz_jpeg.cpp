// SPDX-License-Identifier: MIT
// Fuzz target: the JPEG header reader and the decoder at 24 and 8 bits and at a reduced
// scale (libjpeg glue: error exits, the scan limit, the pixel guard, orientation).
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    return fuzz::onSource(data, size, "fuzz.jpg", [size](IS5_SOURCE source) {
        std::uint32_t w = 0, h = 0, bits = 0;
        ResolutionInfo resolution;
        const bool header = is5_GetJPGDims(source, &w, &h, &bits, &resolution);
        fuzz::readAgrees(header, w, h, {24u, 8u}, [&](std::uint32_t* rw, std::uint32_t* rh, std::uint32_t depth) {
            return is5_ReadJPG(source, rw, rh, depth, 0);
        });
        // A reduced DCT scale (1/2, 1/4 or 1/8, picked by the input's length) gives the
        // header's size divided and rounded up.
        const std::uint32_t scale = 2u << (size % 3);
        std::uint32_t sw = 0, sh = 0;
        if (HGLOBAL block = is5_ReadJPG(source, &sw, &sh, 24, scale)) {
            if (!header || sw != (w + scale - 1) / scale || sh != (h + scale - 1) / scale) __builtin_trap();
            GlobalFree(block);
        }
    });
}
