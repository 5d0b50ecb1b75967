// SPDX-License-Identifier: MIT
// Writing the version file beside the build output.
#include "net/versionfilewriter.h"

#include "net/fileversioninfo.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/services.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace net {
namespace {

std::mutex g_sourceMutex;
ProgramPathSource g_source;

std::string programPath() {
    std::lock_guard lock(g_sourceMutex);
    return g_source ? g_source() : platform::modulePath();
}

bool holdsCMakeCache(const std::string& folder) {
    struct stat st {};
    return ::stat((folder + "CMakeCache.txt").c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

ProgramPathSource setProgramPathSource(ProgramPathSource source) {
    std::lock_guard lock(g_sourceMutex);
    std::swap(g_source, source);
    return source;
}

std::optional<std::string> versionFilePath(const std::string& program) {
    const auto parts = platform::splitPath(program, {0, program.size() + 1, program.size() + 1, program.size() + 1});
    if (!parts.ok() || parts.dir.empty() || parts.fname.empty()) return std::nullopt;
    // The build folder stands where the program is, or one up from its bin/.
    std::string folder = parts.dir;
    if (!holdsCMakeCache(folder)) {
        const std::size_t end = folder.size() - 1; // the trailing '/'
        const std::size_t start = folder.rfind('/', end - 1);
        if (start == std::string::npos || folder.compare(start + 1, end - start - 1, "bin") != 0) return std::nullopt;
        folder.resize(start + 1);
        if (!holdsCMakeCache(folder)) return std::nullopt;
    }
    return folder + parts.fname + "Setup/" + parts.fname + "Version.txt";
}

bool writeVersionLines(const std::string& path, const std::array<WORD, 4>& version) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return false;
    // Without its trailing slash, so that O_NOFOLLOW refuses a folder that is a link.
    const int dir = ::open(path.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dir < 0) return false;
    const int fd = ::openat(dir, path.c_str() + slash + 1, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    ::close(dir);
    if (fd < 0) return false;
    char text[64];
    const int length = std::snprintf(text, sizeof text, "%u\r\n%u\r\n%u\r\n%u\r\n", unsigned{version[0]},
                                     unsigned{version[1]}, unsigned{version[2]}, unsigned{version[3]});
    bool ok = length > 0;
    for (int done = 0; ok && done < length;) {
        const ssize_t n = ::write(fd, text + done, static_cast<std::size_t>(length - done));
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        done += ok ? static_cast<int>(n) : 0;
    }
    return ::close(fd) == 0 && ok;
}

} // namespace net

bool WriteVersionFile() {
    const std::string program = net::programPath();
    if (program.empty()) return false;
    const auto path = net::versionFilePath(program);
    if (!path) return false;
    CFileVersionInfo info;
    info.Create(program.c_str());
    if (!net::writeVersionLines(*path, info.GetFileVersion()))
        AfxMessageBox("Unable to open " + *path + " to write version file.", MB_OK);
    return true;
}
