// SPDX-License-Identifier: MIT
// The texts of a batch save run.
#include "browse/savetext.h"

#include "browse/formatsize.h"

#include <cstdio>

namespace {

std::string numbered(const char* format, std::int32_t value) {
    char text[96];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

} // namespace

std::string RunSummaryText(std::int32_t count, bool useSourceFolder, const std::string& destination,
                           std::uint64_t totalBytes) {
    const std::string where = useSourceFolder ? kSourceFolderText : destination;
    const std::string total = FormatSize(totalBytes);
    const int length = std::snprintf(nullptr, 0, "%d picture%s saved to %s (%s total).", count, count == 1 ? "" : "s",
                                     where.c_str(), total.c_str());
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%d picture%s saved to %s (%s total).", count, count == 1 ? "" : "s",
                  where.c_str(), total.c_str());
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::string ResizeFailureText(const std::string& sourcePath) {
    return "Unable to resize " + sourcePath;
}

std::string OverwriteQuestionText(const std::string& outputPath) {
    return outputPath + " already exists. Do you wish to overwrite the existing image with the resized image?";
}

std::string WriteFailureText(const std::string& name, const std::string& suffix, const std::string& extension,
                             const std::string& folder) {
    return "Unable to write " + name + "_" + suffix + "." + extension + " to " + folder;
}

std::string SaveErrorText(std::int32_t position) {
    return numbered("An error occurred while trying to save image number %d", position);
}

std::string SavingText(std::int32_t count) {
    return numbered("Saving %d images", count);
}

std::string SavedPictureText(std::int32_t position) {
    return numbered("Saved picture: %d", position);
}
