// SPDX-License-Identifier: MIT
// The texts of a batch save run: its closing summary and the messages of a failed picture.
#pragma once

#include <cstdint>
#include <string>

/// What the summary names instead of a folder when pictures are written beside their sources.
inline constexpr const char* kSourceFolderText = "the same folder as the original picture(s)";

/// "%d picture%s saved to %s (%s total)." with the count (no "s" for one), the destination
/// folder or kSourceFolderText, and FormatSize of the bytes written.
std::string RunSummaryText(std::int32_t count, bool useSourceFolder, const std::string& destination,
                           std::uint64_t totalBytes);

inline constexpr const char* kNoPicturesText = "No pictures have been selected to save.";
inline constexpr const char* kUnableToReadText = "Unable to read the image";
inline constexpr const char* kSplitFailureText =
    "An error occurred attempting to determine the file name from the path. Please contact Kestrelby Software.";
inline constexpr const char* kDestinationNotSetText =
    "The folder in which the resized images are to be saved has not been set. Do so by clicking the \"Set Folder\" "
    "button and selecting and/or creating a destination folder.";

/// "Unable to resize " followed by the source path.
std::string ResizeFailureText(const std::string& sourcePath);
/// The output path followed by " already exists. Do you wish to overwrite …?"
std::string OverwriteQuestionText(const std::string& outputPath);
/// "Unable to write <name>_<suffix>.<extension> to <folder>": the picture's real file name and
/// the folder it was to go to (the destination, or the source's folder).
std::string WriteFailureText(const std::string& name, const std::string& suffix, const std::string& extension,
                             const std::string& folder);
/// "An error occurred while trying to save image number %d" (position counted from 1).
std::string SaveErrorText(std::int32_t position);
/// "Saving %d images" at the start of a run.
std::string SavingText(std::int32_t count);
/// "Saved picture: %d" after each picture (position counted from 1).
std::string SavedPictureText(std::int32_t position);
