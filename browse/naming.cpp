// SPDX-License-Identifier: MIT
// The output naming rule of the batch save.
#include "browse/naming.h"

#include "platform/paths.h"

#include <climits>
#include <cstdio>
#include <string>

namespace {

// A double converted to int as the C cast does on x86: truncated, and the "integer
// indefinite" value INT_MIN when it does not fit.
int truncateToInt(double value) {
    if (!(value > static_cast<double>(INT_MIN) - 1.0 && value < static_cast<double>(INT_MAX) + 1.0)) return INT_MIN;
    return static_cast<int>(value);
}

} // namespace

std::string SizeSuffix(std::int32_t choice, double customScale, std::uint32_t targetWidth,
                       std::uint32_t targetHeight) {
    char text[64];
    switch (choice) {
    case 0: return "1024x768";
    case 1: return "800x600";
    case 2: return "640x480";
    case 3: return "320x240";
    case 4: return "50pc";
    case 5: return "25pc";
    case 6:
        std::snprintf(text, sizeof text, "%s%dpc", "At", truncateToInt(customScale * 100.0));
        return text;
    case 7:
        std::snprintf(text, sizeof text, "%s%dx%d", "_", static_cast<int>(targetWidth), static_cast<int>(targetHeight));
        return text;
    case 8: return "75pc";
    case 9:
        std::snprintf(text, sizeof text, "%s%dx%d", "_S", static_cast<int>(targetWidth),
                      static_cast<int>(targetHeight));
        return text;
    default: return {};
    }
}

std::string EdgeSizeSuffix(std::int32_t choice, std::uint32_t edge, std::uint32_t boxWidth, std::uint32_t boxHeight) {
    switch (choice) {
    case 10: return "L" + std::to_string(edge);
    case 11: return "S" + std::to_string(edge);
    case 12: return "fit" + std::to_string(boxWidth) + "x" + std::to_string(boxHeight);
    default: return {};
    }
}

std::optional<std::string> OutputPath(const OutputNameRequest& request) {
    const platform::SplitPathResult parts = platform::splitPath(request.sourcePath);
    if (!parts.ok()) return std::nullopt;
    const std::string suffix =
        request.sizeChoice >= 10
            ? EdgeSizeSuffix(request.sizeChoice, request.edge, request.boxWidth, request.boxHeight)
            : SizeSuffix(request.sizeChoice, request.customScale, request.targetWidth, request.targetHeight);
    const std::string tail = parts.fname + "_" + suffix + "." + request.extension;
    if (request.useSourceFolder) return parts.drive + parts.dir + tail;
    return request.destination + platform::kPathSeparator + tail;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
