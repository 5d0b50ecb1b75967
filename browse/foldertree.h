// SPDX-License-Identifier: MIT
// The folder tree's rules without a window: the table of top-level folders (drives, then
// the pictures, documents and desktop folders), the full path of a tree item from the
// texts of the item and its ancestors, and the depth-first walk of a folder structure.
#pragma once

#include "platform/files.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// Drive type of a special folder entry.
inline constexpr std::int32_t kRootFolderSpecial = 7;
/// Command id of the first top-level entry; each further entry has the next one.
inline constexpr std::int32_t kFirstRootFolderCommand = 701;
inline constexpr std::int32_t kLastRootFolderCommand = 724;
/// What a top-level item made by a root command adds to a special folder's label.
inline constexpr const char* kVirtualSuffix = " (Virtual)";

/// One top-level item of the folder tree.
struct RootFolder {
    std::int32_t nType = 0;   ///< DRIVE_FIXED, DRIVE_REMOTE, or kRootFolderSpecial
    std::string strLabel;     ///< the item's text: the drive root ("/", "/mnt/data/"), or "Pictures" …
    std::string strPath;      ///< the folder: the drive root, or the special folder's path (no trailing '/')
    std::int32_t nCommandId = 0;
};

/// The top-level entries: the fixed and network drives in the order given, then "Pictures",
/// "Documents" and "Desktop" for each lookup that succeeds; command ids from 701.
std::vector<RootFolder> BuildRootFolderTable(
    const std::vector<platform::DriveRoot>& drives,
    const std::function<platform::KnownFolderPath(platform::KnownFolder)>& lookup);

/// The full path of a tree item. `texts` holds the item's text first, then its ancestors'
/// up to the top-level item. A drive root (text ending in '/') is prefixed as it is; a
/// top-level item whose text contains a special folder's label stands for that folder's
/// path (so "Pictures (Virtual)" does too); below the top level a name is only a name.
std::string ItemPathFromTexts(const std::vector<std::string>& texts, const std::vector<RootFolder>& roots);

/// The top-level entry a top-level item's text stands for: the drive whose label equals
/// it, or the special folder whose label it contains; null when none does.
const RootFolder* RootFolderForText(const std::string& text, const std::vector<RootFolder>& roots);

/// "folder/name" with exactly one '/' between them.
std::string JoinPath(const std::string& folder, const std::string& name);

/// Reads the whole folder structure below `path`, depth-first in listing order: `add` is
/// called with the parent's token and each subfolder's name and returns the subfolder's
/// token; the walk then reads that subfolder before the next sibling. Names starting with
/// '.' and files are skipped; symbolic links and mount points are added but not entered,
/// so the walk ends on link loops and stays on its file system. An unreadable folder gets
/// no children. `between`, when given, runs before each folder is listed.
using FolderToken = void*;
void WalkSubfolders(const std::string& path, FolderToken parent,
                    const std::function<FolderToken(FolderToken parent, const std::string& name)>& add,
                    const std::function<void()>& between = {});
