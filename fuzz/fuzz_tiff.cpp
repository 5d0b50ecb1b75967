// SPDX-License-Identifier: MIT
// Fuzz target: the TIFF header reader and the decoder at 24, 8 and 1 bits, first page
// (libtiff glue: client procedures, handlers, allocation cap, the pixel guard).
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp(std::uint64_t{1} << 22);
    return fuzz::onSource(data, size, "fuzz.tif", [](IS5_SOURCE source) {
        std::uint32_t w = 0, h = 0, bits = 0;
        ResolutionInfo resolution;
        Is5Rgbq palette[256];
        const bool header = is5_GetTIFFDims(source, 0, &w, &h, &bits, &resolution);
        fuzz::readAgrees(header, w, h, {24u, 8u, 1u}, [&](std::uint32_t* rw, std::uint32_t* rh, std::uint32_t depth) {
            return is5_ReadTIFF(source, rw, rh, depth, palette, 0, 0);
        });
    });
}
