// SPDX-License-Identifier: MIT
// Fuzz target: the WBMP header and picture readers, at every depth they offer.
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    return fuzz::onSource(data, size, "fuzz.wbmp", [](IS5_SOURCE source) {
        std::uint32_t w = 0, h = 0;
        Is5Rgbq palette[256];
        const bool header = is5_GetWBMPDims(source, &w, &h);
        fuzz::readAgrees(header, w, h, {24u, 8u, 1u}, [&](std::uint32_t* rw, std::uint32_t* rh, std::uint32_t depth) {
            return is5_ReadWBMP(source, rw, rh, palette, depth, 0);
        });
    });
}
