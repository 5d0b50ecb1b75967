// SPDX-License-Identifier: MIT
// Fuzz target: the PNG text walk (tEXt, zTXt and iTXt, with their zlib data), and the text
// chunks made from what it reads, which must read back the same.
#include "fuzztarget.h"

#include "imaging/codecs/pngtext.h"
#include "imaging/detail/source.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A PNG skeleton holding one chunk between IHDR and IEND (CRCs of the fixed chunks inline).
std::vector<std::uint8_t> pngAround(const std::vector<std::uint8_t>& chunk) {
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                     0,    0,   0,   1,   0,    0,    0,    1,    8, 0, 0, 0,  0,   0x3A, 0x7E, 0x9B, 0x55};
    out.insert(out.end(), chunk.begin(), chunk.end());
    const std::uint8_t end[] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
    out.insert(out.end(), std::begin(end), std::end(end));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    return fuzz::onSource(data, size, "fuzz.png", [](IS5_SOURCE source) {
        const char* key = nullptr;
        const char* text = nullptr;
        for (std::uint32_t i = 0; is5_GetPNGInputText(source, i, &key, &text); ++i) {}
        imaging::detail::PngLayout layout;
        if (imaging::detail::readPngLayout(*source, layout) != IS5_OK) return;
        for (const auto& chunk : layout.texts) {
            if (chunk.key.empty() || !chunk.textRead) continue;
            const std::vector<std::uint8_t> png = pngAround(imaging::detail::makePngTextChunk(chunk.key, chunk.text));
            IS5_SOURCE made = is5_OpenMemorySource(png.data(), png.size());
            imaging::detail::PngLayout back;
            if (imaging::detail::readPngLayout(*made, back) != IS5_OK || back.texts.size() != 1 ||
                back.texts[0].key != chunk.key || back.texts[0].text != chunk.text)
                std::abort();
            is5_CloseSource(made);
        }
    });
}
