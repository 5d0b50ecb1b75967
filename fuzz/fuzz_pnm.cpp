// SPDX-License-Identifier: MIT
// Fuzz target: the PBM/PGM/PPM header reader and the reader at every depth it offers.
#include "fuzztarget.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    return fuzz::onSource(data, size, "fuzz.pnm", [](IS5_SOURCE source) {
        std::uint32_t w = 0, h = 0, bits = 0;
        Is5Rgbq palette[256];
        const bool header = is5_GetPNMDims(source, &w, &h, &bits);
        fuzz::readAgrees(header, w, h, {24u, 8u, 1u}, [&](std::uint32_t* rw, std::uint32_t* rh, std::uint32_t depth) {
            return is5_ReadPNM(source, rw, rh, depth, palette, 0);
        });
    });
}
