// SPDX-License-Identifier: MIT
// The calling thread's lists of what its next JPEG and PNG writes carry besides the pixels:
// JPEG marker segments and comments, PNG text chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imaging::detail {

struct JpegOutputMarker {
    std::uint8_t marker = 0; ///< 0xE0-0xEF (APPn) or 0xFE (COM)
    std::vector<std::uint8_t> data;
    int inputIndex = -1;     ///< the input segment it was copied from (is5_ReadJPGMarkers' list), or -1
};

/// This thread's output markers, for the functions that copy and replace them.
std::vector<JpegOutputMarker>& mutableJpegOutputMarkers();

struct PngOutputText {
    std::string key, text;
};

/// This thread's lists; another thread's additions never show here.
const std::vector<JpegOutputMarker>& jpegOutputMarkers();
const std::vector<std::string>& jpegOutputText();
const std::vector<PngOutputText>& pngOutputText();

} // namespace imaging::detail
