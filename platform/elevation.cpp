// SPDX-License-Identifier: MIT
// The administrator test (root, or write access to the machine hive) and the elevated restart
// through pkexec, with both the probes and the launcher replaceable.
#include "platform/elevation.h"

#include "platform/files.h"
#include "platform/winreg.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

std::mutex g_mutex;
AdminProbes g_probes;
Launcher g_launcher;

// pkexec's answers: the user dismissed the authentication dialog, or authorisation failed.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecFailed = 127;

} // namespace

AdminProbes setAdminProbes(AdminProbes probes) {
    std::lock_guard lock(g_mutex);
    std::swap(g_probes, probes);
    return probes;
}

bool isAdministrator() {
    AdminProbes probes;
    {
        std::lock_guard lock(g_mutex);
        probes = g_probes;
    }
    const bool root = probes.isRoot ? probes.isRoot() : ::geteuid() == 0;
    if (root) return true;
    return probes.canWriteMachineHive ? probes.canWriteMachineHive() : IsHiveWritable(HKEY_LOCAL_MACHINE);
}

LaunchResult spawnAndWait(const std::vector<std::string>& argv) {
    LaunchResult result;
    if (argv.empty()) {
        result.startError = EINVAL;
        return result;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    pid_t pid = 0;
    // glibc reports a failed exec (a missing program) as posix_spawnp's own result.
    if (const int error = ::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ); error != 0) {
        result.startError = error;
        return result;
    }
    result.started = true;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            // The child is no longer ours to wait for (someone else reaped it); how it ended is unknown.
            result.exitStatus = kPkexecFailed;
            return result;
        }
    }
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) result.exitStatus = 128 + WTERMSIG(status);
    return result;
}

Launcher setLauncher(Launcher launcher) {
    std::lock_guard lock(g_mutex);
    std::swap(g_launcher, launcher);
    return launcher;
}

std::vector<std::string> elevatedRestartCommand(const std::string& exePath, const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {"pkexec", "env"};
    for (const char* name : {"DISPLAY", "XAUTHORITY", "WAYLAND_DISPLAY", "XDG_RUNTIME_DIR"}) {
        const char* value = std::getenv(name);
        if (value && *value) argv.push_back(std::string(name) + "=" + value);
    }
    argv.push_back("BRIMVALE_REGISTRY_DIR=" + RegistryDirectory());
    argv.push_back(exePath);
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return argv;
}

DWORD restartElevated(const std::vector<std::string>& arguments) {
    const std::string exePath = modulePath();
    if (exePath.empty()) return ERROR_FILE_NOT_FOUND;
    Launcher launcher;
    {
        std::lock_guard lock(g_mutex);
        launcher = g_launcher;
    }
    const std::vector<std::string> argv = elevatedRestartCommand(exePath, arguments);
    const LaunchResult result = launcher ? launcher(argv) : spawnAndWait(argv);
    if (!result.started) {
        const DWORD error = win32ErrorFromErrno(result.startError); // ENOENT: ERROR_FILE_NOT_FOUND
        return error == ERROR_SUCCESS ? static_cast<DWORD>(ERROR_GEN_FAILURE) : error;
    }
    if (result.exitStatus == kPkexecDismissed) return ERROR_CANCELLED;
    if (result.exitStatus == kPkexecFailed) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

} // namespace platform
