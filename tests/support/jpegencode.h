// SPDX-License-Identifier: MIT
// JPEG files written by libjpeg itself, in memory: the independent encoder the tests build
// their JPEG inputs with, and the benchmarks their photographs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace codectest {

using Bytes = std::string;

/// How libjpeg writes a test JPEG.
struct JpegOptions {
    int quality = 85;
    bool progressive = false, adobe = false, arithmetic = false, jfif = true;
    int hSample = 0, vSample = 0;                     ///< of the first component; 0: libjpeg's
    std::vector<std::pair<int, std::string>> markers = {}; ///< written after the header, in order
};

/// A JPEG written by libjpeg from interleaved samples.
inline Bytes encodeJpeg(std::uint32_t w, std::uint32_t h, int components, J_COLOR_SPACE space,
                        const std::vector<std::uint8_t>& samples, const JpegOptions& o = {}) {
    jpeg_compress_struct info{};
    jpeg_error_mgr err{};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &out, &size);
    info.image_width = w;
    info.image_height = h;
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, o.quality, TRUE);
    if (o.adobe) info.write_Adobe_marker = TRUE;
    if (!o.jfif) info.write_JFIF_header = FALSE;
    if (o.hSample) info.comp_info[0].h_samp_factor = o.hSample;
    if (o.vSample) info.comp_info[0].v_samp_factor = o.vSample;
    if (o.progressive) jpeg_simple_progression(&info);
    info.arith_code = o.arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    for (const auto& [marker, data] : o.markers) {
        const auto* bytes = reinterpret_cast<const JOCTET*>(data.data());
        jpeg_write_marker(&info, marker, bytes, static_cast<unsigned>(data.size()));
    }
    while (info.next_scanline < h) {
        const std::size_t at = std::size_t{info.next_scanline} * w * components;
        JSAMPROW row = const_cast<std::uint8_t*>(samples.data()) + at;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    Bytes bytes(reinterpret_cast<char*>(out), size);
    jpeg_destroy_compress(&info);
    std::free(out);
    return bytes;
}

} // namespace codectest
