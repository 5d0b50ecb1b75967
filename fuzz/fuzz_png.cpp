// SPDX-License-Identifier: MIT
// Fuzz target: the PNG header and palette readers and the decoder at every depth it offers
// (libpng glue: error and read callbacks, chunk limits, the pixel guard).
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    return fuzz::onSource(data, size, "fuzz.png", [](IS5_SOURCE source) {
        std::uint32_t w = 0, h = 0, bitDepth = 0, colourType = 0, count = 0;
        ResolutionInfo resolution;
        Is5Rgbq palette[256];
        const bool header = is5_GetPNGDims(source, &w, &h, &bitDepth, &colourType, &resolution);
        is5_GetPNGPalette(source, &count, palette, 0);
        fuzz::readAgrees(header, w, h, {24u, 8u, 1u}, [&](std::uint32_t* rw, std::uint32_t* rh, std::uint32_t depth) {
            return is5_ReadPNG(source, rw, rh, depth, palette, 0);
        });
    });
}
