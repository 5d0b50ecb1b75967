// SPDX-License-Identifier: MIT
// Fuzz target: the Photoshop header, palette and merged-picture readers at every depth.
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    return fuzz::onSource(data, size, "fuzz.psd", [](IS5_SOURCE source) {
        std::uint32_t w = 0, h = 0, bits = 0, channels = 0, mode = 0, count = 0;
        Is5Rgbq palette[256];
        const bool header = is5_GetPSDDims(source, &w, &h, &bits, &channels, &mode);
        is5_GetPSDPalette(source, &count, palette, 0);
        fuzz::readAgrees(header, w, h, {24u, 8u, 1u}, [&](std::uint32_t* rw, std::uint32_t* rh, std::uint32_t depth) {
            return is5_ReadPSD(source, rw, rh, depth, palette, 0);
        });
    });
}
