// SPDX-License-Identifier: MIT
// Which files are pictures: the image type code of a file name's extension.
#pragma once

#include <cstdint>
#include <string>

/// Codes above this one, up to kLastRawClass, mark camera raw files, which are read as type 23.
inline constexpr std::int32_t kLastNonRawClass = 22;
inline constexpr std::int32_t kLastRawClass = 31;
/// WebP, which came after the raw types and takes the code after theirs.
inline constexpr std::int32_t kClassWebp = 32;

/// The picture type code of a file from its name alone: the text after the last '.' of the
/// whole lower-cased string (".jpg" 3, ".bmp" 1, ".png" 4, … ".dng" 23, ".nef" 28 …, ".webp" 32);
/// 0 when it is not a picture or has no dot.
std::int32_t ClassifyExtension(const std::string& name);

/// True when ClassifyExtension marks the file as camera raw.
inline bool IsCameraRaw(const std::string& name) {
    const std::int32_t code = ClassifyExtension(name);
    return code > kLastNonRawClass && code <= kLastRawClass;
}
