// SPDX-License-Identifier: MIT
// The destination folders' rules without a window: how the history (most recent first)
// changes when a folder is set, chosen or erased, and the folders to create so that a
// destination exists.
#pragma once

#include <optional>
#include <string>
#include <vector>

/// "Set Folder" chose `folder`: it goes to the front, even when the history has it already.
void HistoryAfterSet(std::vector<std::string>& history, const std::string& folder);

/// An entry was picked from the list: its first exact match moves to the front.
void HistoryAfterChoice(std::vector<std::string>& history, const std::string& chosen);

/// The text was erased while `current` was the destination: its first exact match leaves
/// the history, and the new front entry (empty when none is left) becomes the destination.
/// A destination not in the history stays as it is. Returns the new destination.
std::string HistoryAfterErase(std::vector<std::string>& history, const std::string& current);

/// The folders missing for `destination` to exist, from the outermost in: absolute paths
/// from "/", relative ones from `base` (the current folder when empty). Doubled and
/// trailing '/' add no level.
std::vector<std::string> MissingFolders(const std::string& destination, const std::string& base = {});

/// Creates the missing folders in order; the first one that could not be made, or nullopt
/// when the destination now exists.
std::optional<std::string> CreateFolders(const std::string& destination, const std::string& base = {});
