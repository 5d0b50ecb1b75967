// SPDX-License-Identifier: MIT
// Fuzz target: the WebP header reader and the decoder at 24 and 32 bits (libwebp glue: the
// whole-file load, the pixel guard, animations' first frame), and the muxer that puts a
// colour profile into a WebP.
#include "fuzztarget.h"

#include "imaging/codecs/webpchunks.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    fuzz::onSource(data, size, "fuzz.webp", [](IS5_SOURCE source) {
        std::uint32_t w = 0, h = 0;
        BOOL alpha = FALSE, animation = FALSE;
        const bool header = is5_GetWEBPDims(source, &w, &h, &alpha, &animation);
        fuzz::readAgrees(header, w, h, {24u, 32u}, [&](std::uint32_t* rw, std::uint32_t* rh, std::uint32_t depth) {
            return is5_ReadWEBP(source, rw, rh, depth, 0);
        });
    });
    std::vector<std::uint8_t> file(data, data + size);
    imaging::detail::SetWebpChunk(file, "ICCP", std::vector<std::uint8_t>(64, 7));
    return 0;
}
