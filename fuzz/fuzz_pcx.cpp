// SPDX-License-Identifier: MIT
// Fuzz target: the PCX header, palette and picture readers, at every depth they offer.
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    return fuzz::onSource(data, size, "fuzz.pcx", [](IS5_SOURCE source) {
        std::uint32_t w = 0, h = 0, bits = 0, count = 0;
        ResolutionInfo resolution;
        Is5Rgbq palette[256];
        const bool header = is5_GetPCXDims(source, &w, &h, &bits, &resolution);
        is5_GetPCXPalette(source, &count, palette, 0);
        fuzz::readAgrees(header, w, h, {24u, 8u}, [&](std::uint32_t* rw, std::uint32_t* rh, std::uint32_t depth) {
            return is5_ReadPCX(source, rw, rh, depth, palette, 0);
        });
    });
}
