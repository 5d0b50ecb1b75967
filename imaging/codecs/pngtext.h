// SPDX-License-Identifier: MIT
// The text chunks of a PNG file (tEXt, zTXt, iTXt) and rewriting a file with changed
// texts while every other chunk stays byte for byte and in order.
// Format: https://www.w3.org/TR/png/ (PNG, third edition), sections 11.3.3.
#pragma once

#include "imaging/is5.h"

#include <cstdint>
#include <string>
#include <vector>

namespace imaging::detail {

struct PngTextChunk {
    std::uint64_t offset = 0;  ///< where the chunk's length field stands
    std::uint32_t length = 0;  ///< its data length (the chunk takes 12 more bytes)
    std::string key;           ///< as stored (Latin-1); empty when the chunk is damaged
    std::string text;          ///< UTF-8
    bool textRead = false;     ///< false: the text could not be read (bad CRC, damaged zlib data, too large)
};

struct PngLayout {
    std::vector<PngTextChunk> texts;
    std::uint64_t afterHeader = 0; ///< the end of the IHDR chunk
    std::uint64_t fileSize = 0;
};

/// Walks the chunks of the PNG at the source's start up to IEND, reading the text chunks.
/// IS5_ERR_FORMAT when it is not a PNG or IHDR is not first, IS5_ERR_READ when a chunk
/// reaches past the end of the file or IEND is missing.
std::uint32_t readPngLayout(Is5Source& source, PngLayout& layout);

/// A whole chunk holding `key` and `text` (UTF-8): tEXt when the text is Latin-1, else
/// iTXt. The key must be a valid PNG keyword.
std::vector<std::uint8_t> makePngTextChunk(const std::string& key, const std::string& text);

/// Whether the bytes are well-formed UTF-8.
bool validUtf8(const std::string& text);

/// Latin-1 bytes as UTF-8.
std::string latin1ToUtf8(const std::string& latin1);

} // namespace imaging::detail
