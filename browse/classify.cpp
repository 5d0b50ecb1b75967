// SPDX-License-Identifier: MIT
// The extension table of the file list.
#include "browse/classify.h"

#include <array>
#include <string_view>

namespace {

struct ExtensionClass {
    std::string_view extension;
    std::int32_t code;
};

// Compared in this order; the first equal entry decides.
constexpr std::array<ExtensionClass, 30> kExtensions{{
    {".jpg", 3},  {".jpeg", 3}, {".bmp", 1},  {".png", 4},  {".gif", 2},  {".tif", 6},  {".tiff", 6}, {".wmf", 7},
    {".emf", 8},  {".psd", 10}, {".wbmp", 13}, {".tga", 14}, {".pcd", 16}, {".jpf", 17}, {".jp2", 17}, {".fpx", 19},
    {".pbm", 20}, {".pgm", 21}, {".ppm", 22}, {".dng", 23}, {".cr2", 24}, {".crw", 24}, {".raf", 25}, {".dcr", 26},
    {".mrw", 27}, {".nef", 28}, {".orf", 29}, {".pef", 30}, {".srf", 31}, {".webp", kClassWebp},
}};

} // namespace

std::int32_t ClassifyExtension(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos) return 0;
    std::string extension = name.substr(dot);
    for (char& c : extension)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const ExtensionClass& entry : kExtensions)
        if (entry.extension == extension) return entry.code;
    return 0;
}
