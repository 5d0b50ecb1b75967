// SPDX-License-Identifier: MIT
// The version file a release publishes beside the program, written when the program runs
// from its own build tree: <build folder>/<name>Setup/<name>Version.txt.
#pragma once

#include "platform/wintypes.h"

#include <array>
#include <functional>
#include <optional>
#include <string>

namespace net {

/// Where WriteVersionFile finds the program. Empty: the running program (platform::modulePath).
/// Tests install a source of their own, so that no test writes into a build folder. Returns
/// the source installed before.
using ProgramPathSource = std::function<std::string()>;
ProgramPathSource setProgramPathSource(ProgramPathSource source);

/// The version file of the program at programPath, or nullopt when the program's folder is not
/// a CMake build folder (one holding CMakeCache.txt) or the bin/ folder of one.
std::optional<std::string> versionFilePath(const std::string& programPath);

/// Writes the four parts as "%u" lines ending in CR LF into an existing folder, following no
/// symbolic link on the way. False when the file cannot be written.
bool writeVersionLines(const std::string& path, const std::array<WORD, 4>& version);

} // namespace net

/// Writes the program's version file when it runs from its build tree: true then (with the
/// message "Unable to open <path> to write version file." when that failed), false elsewhere.
/// The setup folder is never created.
bool WriteVersionFile();
