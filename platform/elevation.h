// SPDX-License-Identifier: MIT
// Whether the process counts as an administrator, and the restart of the program through pkexec.
#pragma once

#include "platform/wintypes.h"

#include <functional>
#include <string>
#include <vector>

namespace platform {

/// The two tests behind isAdministrator(). An empty function stands for the real test.
struct AdminProbes {
    std::function<bool()> isRoot;              ///< real: geteuid() == 0
    std::function<bool()> canWriteMachineHive; ///< real: IsHiveWritable(HKEY_LOCAL_MACHINE)
};

/// Installs the tests isAdministrator() uses; returns the previous ones.
AdminProbes setAdminProbes(AdminProbes probes);

/// True when the process runs as root or can write the machine hive (as under Wine, whoever
/// can change HKEY_LOCAL_MACHINE counts as a member of the Administrators group).
bool isAdministrator();

/// What became of a started command.
struct LaunchResult {
    bool started = false; ///< false: the command could not be run at all
    int exitStatus = 0;   ///< its exit status; 128 + signal number when a signal ended it
    int startError = 0;   ///< errno of the failed start (ENOENT when the program is missing)
};

/// Runs argv (argv[0] looked up on PATH), waits for it and reports how it ended.
using Launcher = std::function<LaunchResult(const std::vector<std::string>& argv)>;

/// The real launcher: posix_spawnp, then waitpid. Standard streams and environment are inherited.
LaunchResult spawnAndWait(const std::vector<std::string>& argv);

/// Installs the launcher restartElevated() uses (an empty one restores spawnAndWait); returns
/// the previous one.
Launcher setLauncher(Launcher launcher);

/// The command of the elevated restart: pkexec env, the display variables that are set and
/// not empty (DISPLAY, XAUTHORITY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR), BRIMVALE_REGISTRY_DIR
/// with the registry folder this process uses, exePath. pkexec clears the environment,
/// so these are handed on explicitly; then the arguments (files to open).
std::vector<std::string> elevatedRestartCommand(const std::string& exePath,
                                                const std::vector<std::string>& arguments = {});

/// Runs the program's own executable elevated through pkexec and waits for it to end.
/// ERROR_SUCCESS: the elevated copy ran (whatever its own exit status); the caller ends
/// with exit code 1. ERROR_CANCELLED: pkexec answered 126, the user dismissed the prompt.
/// ERROR_ACCESS_DENIED: pkexec answered 127 (not authorised, or it failed).
/// ERROR_FILE_NOT_FOUND: pkexec or the program's own path could not be found; another
/// Windows code for any other start failure.
DWORD restartElevated(const std::vector<std::string>& arguments = {});

} // namespace platform
