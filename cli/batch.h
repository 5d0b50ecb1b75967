// SPDX-License-Identifier: MIT
// The batch engine of brimvale-resize: every picture goes the road of the window's
// "Save Images" (read, size rule, bicubic resize, naming rule, overwrite check, write),
// optionally several pictures at once with the results of a sequential run.
#pragma once

#include "cli/console.h"
#include "cli/options.h"

#include <atomic>
#include <string>

namespace cli {

inline constexpr int kExitOk = 0;          ///< every picture written (or read, for --info)
inline constexpr int kExitFailed = 1;      ///< a picture failed
inline constexpr int kExitUsage = 2;       ///< the command line is unusable
inline constexpr int kExitInterrupted = 130;

/// Converts the files of `options` in order and prints a line per picture written and the
/// run's summary. Stops at the first failure unless keepGoing; stops early, discarding what
/// is unpublished, when `interrupted` becomes true.
int RunBatch(const Options& options, Console& console, const std::atomic<bool>& interrupted);

/// The --info line of one file: "PATH\ttype=…\twidth=…\t…" or "PATH\terror=CODE".
/// `ok` tells which of the two it is.
std::string InfoLine(const std::string& path, bool& ok);

/// Prints the --info line of every file; 1 when any could not be read.
int RunInfo(const Options& options, Console& console);

} // namespace cli
