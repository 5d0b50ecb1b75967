// SPDX-License-Identifier: MIT
// The chunks of a WebP file besides its pixels: the colour profile ("ICCP"), the EXIF block
// ("EXIF") and the XMP packet ("XMP "), read from a source picture and put into a copy.
// Format: RFC 9649 (WebP Image Format) section 2.7 (extended file format).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imaging::detail {

/// Whether the bytes start as a WebP file: "RIFF", a size, "WEBP".
bool isWebpFile(const std::uint8_t* data, std::size_t size);

/// The payload of the first top-level chunk `fourcc` of the WebP file at `path`; empty when
/// there is none, when it is larger than `limit`, or when the file is not WebP or its
/// chunks run past its end before that one.
std::vector<std::uint8_t> ReadWebpChunk(const std::string& path, const char (&fourcc)[5], std::size_t limit);

/// Puts `data` into the WebP file held in `file` as chunk `fourcc` ("ICCP", "EXIF" or
/// "XMP "), replacing one already there, through libwebp's muxer (which writes the extended
/// header and its flags). False when the bytes are not a WebP file the muxer takes.
bool SetWebpChunk(std::vector<std::uint8_t>& file, const char (&fourcc)[5], const std::vector<std::uint8_t>& data);

} // namespace imaging::detail
