// SPDX-License-Identifier: MIT
// The names of the pictures a batch save writes: the source's name, an underscore, a
// suffix naming the size choice, and the output type's extension.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

/// The text between the underscore and the extension for a size-choice code: "1024x768",
/// "50pc", "At33pc" (the custom scale × 100, truncated), "_1200x900" (the target size),
/// "75pc", "_S1920x1080" (the target size of the screen choice); empty for other codes.
std::string SizeSuffix(std::int32_t choice, double customScale, std::uint32_t targetWidth,
                       std::uint32_t targetHeight);

/// The suffix of the command line's own choices, named by what was asked, not by the
/// picture: "L1600" (long edge), "S1080" (short edge), "fit800x600"; empty for other codes.
std::string EdgeSizeSuffix(std::int32_t choice, std::uint32_t edge, std::uint32_t boxWidth, std::uint32_t boxHeight);

struct OutputNameRequest {
    std::string sourcePath;        ///< the picture being saved
    std::string destination;       ///< the destination folder (not used with useSourceFolder)
    bool useSourceFolder = false;  ///< write beside the source picture instead
    std::int32_t sizeChoice = 0;   ///< the size-choice code that was applied
    double customScale = 1.0;      ///< m_dCustomScale
    std::uint32_t targetWidth = 0; ///< the output size (named by codes 7 and 9)
    std::uint32_t targetHeight = 0;
    std::string extension;         ///< "jpg", "png", … without the dot
    std::uint32_t edge = 0;        ///< what the long-edge, short-edge and fit choices asked for
    std::uint32_t boxWidth = 0;
    std::uint32_t boxHeight = 0;
};

/// The output path: "<destination>/<name>_<suffix>.<ext>", or with useSourceFolder
/// "<source folder>/<name>_<suffix>.<ext>", where <name> is the source's file name without
/// its last extension (inner dots kept). nullopt when the source path cannot be split into
/// its parts (an empty path, or a part longer than 255 characters).
std::optional<std::string> OutputPath(const OutputNameRequest& request);

/// The folder a path lies in, without a trailing '/': "." for a bare name, "/" at the root.
std::string FolderOf(const std::string& path);
