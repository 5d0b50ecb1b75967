// SPDX-License-Identifier: MIT
// Which files are pictures: the image type code of a file name's extension.
#pragma once

#include <cstdint>
#include <string>

/// Codes above this one mark camera raw files, which are read as type 23.
inline constexpr std::int32_t kLastNonRawClass = 22;

/// The picture type code of a file from its name alone: the text after the last '.' of the
/// whole lower-cased string (".jpg" 3, ".bmp" 1, ".png" 4, … ".dng" 23, ".nef" 28 …);
/// 0 when it is not a picture or has no dot.
std::int32_t ClassifyExtension(const std::string& name);

/// True when ClassifyExtension marks the file as camera raw.
inline bool IsCameraRaw(const std::string& name) {
    return ClassifyExtension(name) > kLastNonRawClass;
}
