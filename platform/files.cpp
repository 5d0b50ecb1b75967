// SPDX-License-Identifier: MIT
// Files and folders over POSIX: statx for times (birth time where kept), readdir sorted in NTFS
// order, the mount table for drive roots, user-dirs.dirs for the user's folders.
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace platform {

namespace {

// ---- stat with birth time -------------------------------------------------------------------

struct RawStat {
    bool isDirectory = false;
    bool isSymlink = false;
    std::uint64_t size = 0;
    dev_t device = 0;
    FileTime birth, write, access;
};

FileTime fromStatx(const struct statx_timestamp& t) {
    return {t.tv_sec, t.tv_nsec};
}

FileTime fromTimespec(const struct timespec& t) {
    return {static_cast<std::int64_t>(t.tv_sec), static_cast<std::uint32_t>(t.tv_nsec)};
}

// Reads the status of `name` relative to dirFd; returns 0 or an errno value. Where statx is
// not available (old kernels, some sandboxes) fstatat stands in, without birth times.
int statAt(int dirFd, const char* name, bool follow, RawStat& out) {
    struct statx sx {};
    const int flags = follow ? 0 : AT_SYMLINK_NOFOLLOW;
    if (::statx(dirFd, name, flags, STATX_BASIC_STATS | STATX_BTIME, &sx) == 0) {
        out.isDirectory = S_ISDIR(sx.stx_mode);
        out.isSymlink = S_ISLNK(sx.stx_mode);
        out.size = sx.stx_size;
        out.device = makedev(sx.stx_dev_major, sx.stx_dev_minor);
        out.write = fromStatx(sx.stx_mtime);
        out.access = fromStatx(sx.stx_atime);
        out.birth = (sx.stx_mask & STATX_BTIME) ? fromStatx(sx.stx_btime) : out.write;
        return 0;
    }
    if (errno != ENOSYS) return errno;
    struct stat st {};
    if (::fstatat(dirFd, name, &st, flags) != 0) return errno;
    out.isDirectory = S_ISDIR(st.st_mode);
    out.isSymlink = S_ISLNK(st.st_mode);
    out.size = static_cast<std::uint64_t>(st.st_size);
    out.device = st.st_dev;
    out.write = fromTimespec(st.st_mtim);
    out.access = fromTimespec(st.st_atim);
    out.birth = out.write;
    return 0;
}

unsigned char foldUpper(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

bool isDotEntry(std::string_view name) { return name == "." || name == ".."; }

// ---- Mount table ------------------------------------------------------------------------------

std::mutex g_mountsMutex;
std::string g_mountsFile; // empty: /proc/self/mounts

// Mount paths in the table escape space, tab, newline and backslash as \ooo octal.
std::string decodeMountField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && isOctal(field[i + 1]) && isOctal(field[i + 2]) &&
            isOctal(field[i + 3])) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += field[i];
    }
    return out;
}

bool isUnder(std::string_view path, std::string_view folder) {
    return path.size() > folder.size() && path.substr(0, folder.size()) == folder && path[folder.size()] == '/';
}

// Mount point (as the table writes it, no trailing '/' except for "/") -> drive type of the
// topmost mount there.
std::map<std::string, UINT> readMountTable(const std::string& mountsPath) {
    std::map<std::string, UINT> table;
    std::ifstream in(mountsPath);
    std::string line;
    while (std::getline(in, line)) {
        std::size_t pos = 0;
        std::string_view fields[3];
        int count = 0;
        const std::string_view text(line);
        while (count < 3) {
            pos = text.find_first_not_of(' ', pos);
            if (pos == std::string_view::npos) break;
            const std::size_t end = std::min(text.find(' ', pos), text.size());
            fields[count++] = text.substr(pos, end - pos);
            pos = end;
        }
        if (count < 3) continue;
        std::string mountPoint = decodeMountField(fields[1]);
        if (mountPoint.empty() || mountPoint[0] != '/') continue;
        while (mountPoint.size() > 1 && mountPoint.back() == '/') mountPoint.pop_back();
        table[mountPoint] = classifyMount(mountPoint, fields[2]);
    }
    return table;
}

// A bind mount of a single file (containers mount /etc/hosts that way) is no drive.
bool isFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string withTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// ---- The user's folders -------------------------------------------------------------------

std::string envValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string homeFolder() {
    std::string home = envValue("HOME");
    if (!home.empty()) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

// "$HOME/x", "${HOME}/x" or "/x" as an absolute path; anything else is not usable.
std::optional<std::string> expandFolderValue(std::string_view value, const std::string& home) {
    std::string path;
    for (std::string_view prefix : {std::string_view("$HOME"), std::string_view("${HOME}")}) {
        if (value.substr(0, prefix.size()) == prefix &&
            (value.size() == prefix.size() || value[prefix.size()] == '/')) {
            if (home.empty()) return std::nullopt;
            path = home + std::string(value.substr(prefix.size()));
            break;
        }
    }
    if (path.empty()) {
        if (value.empty() || value[0] != '/') return std::nullopt;
        path = value;
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

// The value of NAME=VALUE in user-dirs.dirs, written as the shell reads it: a double-quoted
// string with backslash escapes, or a bare word.
std::optional<std::string> userDirsValue(const std::string& file, std::string_view name) {
    std::ifstream in(file);
    std::string line;
    std::optional<std::string> found;
    while (std::getline(in, line)) {
        std::string_view text(line);
        const std::size_t start = text.find_first_not_of(" \t");
        if (start == std::string_view::npos || text[start] == '#') continue;
        text.remove_prefix(start);
        if (text.substr(0, name.size()) != name || text.size() <= name.size() || text[name.size()] != '=') continue;
        text.remove_prefix(name.size() + 1);
        std::string value;
        if (!text.empty() && text[0] == '"') {
            bool closed = false;
            for (std::size_t i = 1; i < text.size(); ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    value += text[++i];
                } else if (text[i] == '"') {
                    closed = true;
                    break;
                } else {
                    value += text[i];
                }
            }
            if (!closed) continue;
        } else {
            value = text.substr(0, text.find_first_of(" \t#"));
        }
        found = value; // the shell keeps the last assignment
    }
    return found;
}

} // namespace

DWORD win32ErrorFromErrno(int error) {
    switch (error) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EROFS: return ERROR_WRITE_PROTECT;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EBADF: return ERROR_INVALID_HANDLE;
    default: return ERROR_GEN_FAILURE;
    }
}

// ---- Listings -----------------------------------------------------------------------------------

bool ntfsNameLess(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char ca = foldUpper(static_cast<unsigned char>(a[i]));
        const unsigned char cb = foldUpper(static_cast<unsigned char>(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

DirListing listDirectory(const std::string& folder) {
    DirListing listing;
    if (folder.empty()) {
        listing.error = ERROR_PATH_NOT_FOUND;
        return listing;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) {
        const int error = errno;
        listing.error = error == ENOENT ? ERROR_PATH_NOT_FOUND : win32ErrorFromErrno(error);
        return listing;
    }
    const int fd = ::dirfd(dir.get());
    RawStat self;
    if (const int error = statAt(fd, ".", true, self); error != 0) {
        listing.error = win32ErrorFromErrno(error);
        return listing;
    }

    std::vector<DirEntry> dots;
    for (;;) {
        errno = 0;
        const dirent* d = ::readdir(dir.get());
        if (!d) {
            if (errno != 0) {
                listing.error = win32ErrorFromErrno(errno);
                listing.entries.clear();
                return listing;
            }
            break;
        }
        RawStat link;
        if (statAt(fd, d->d_name, false, link) != 0) continue; // gone since readdir
        RawStat described = link;
        if (link.isSymlink) {
            RawStat target;
            if (statAt(fd, d->d_name, true, target) == 0) described = target;
        }
        DirEntry entry;
        entry.name = d->d_name;
        entry.isDirectory = described.isDirectory;
        entry.isSymlink = link.isSymlink;
        entry.isMountPoint = link.device != self.device;
        entry.size = described.isDirectory ? 0 : described.size;
        entry.creationTime = described.birth;
        entry.lastWriteTime = described.write;
        entry.lastAccessTime = described.access;
        (isDotEntry(entry.name) ? dots : listing.entries).push_back(std::move(entry));
    }
    std::sort(listing.entries.begin(), listing.entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return ntfsNameLess(a.name, b.name); });
    std::sort(dots.begin(), dots.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    listing.entries.insert(listing.entries.begin(), std::make_move_iterator(dots.begin()),
                           std::make_move_iterator(dots.end()));
    return listing;
}

// ---- Status ----------------------------------------------------------------------------------

FileStatus getFileStatus(const std::string& path) {
    FileStatus status;
    RawStat raw;
    if (path.empty() || statAt(AT_FDCWD, path.c_str(), true, raw) != 0) return status;
    status.exists = true;
    status.isDirectory = raw.isDirectory;
    status.size = raw.isDirectory ? 0 : raw.size;
    status.creationTime = raw.birth;
    status.lastWriteTime = raw.write;
    status.lastAccessTime = raw.access;
    return status;
}

// ---- Drives ---------------------------------------------------------------------------------

std::string setMountsFile(std::string path) {
    std::lock_guard lock(g_mountsMutex);
    std::string previous = g_mountsFile;
    g_mountsFile = std::move(path);
    return previous;
}

std::string mountsFile() {
    std::lock_guard lock(g_mountsMutex);
    return g_mountsFile.empty() ? std::string(kDefaultMountsFile) : g_mountsFile;
}

UINT classifyMount(std::string_view mountPoint, std::string_view fsType) {
    static constexpr std::string_view kNetwork[] = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "ceph", "9p", "sshfs", "fuse.sshfs",
        "davfs", "fuse.davfs2", "fuse.rclone", "glusterfs", "fuse.glusterfs", "lustre", "gpfs", "beegfs"};
    static constexpr std::string_view kDisk[] = {
        "ext2", "ext3", "ext4", "xfs", "btrfs", "vfat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk",
        "f2fs", "zfs", "jfs", "reiserfs", "hfsplus", "nilfs2", "bcachefs"};
    const auto isOneOf = [fsType](const auto& list) {
        return std::find(std::begin(list), std::end(list), fsType) != std::end(list);
    };
    if (isOneOf(kNetwork)) return DRIVE_REMOTE;
    if (isUnder(mountPoint, "/media") || isUnder(mountPoint, "/run/media")) return DRIVE_REMOVABLE;
    if (fsType == "iso9660" || fsType == "udf") return DRIVE_CDROM;
    if (fsType == "tmpfs" || fsType == "ramfs") return DRIVE_RAMDISK;
    if (isOneOf(kDisk)) return DRIVE_FIXED;
    return DRIVE_UNKNOWN;
}

std::vector<DriveRoot> driveRoots(const std::string& mountsPath) {
    const std::map<std::string, UINT> table = readMountTable(mountsPath);
    std::vector<DriveRoot> roots;
    const auto root = table.find("/");
    roots.push_back({"/", root != table.end() && root->second == DRIVE_REMOTE ? DRIVE_REMOTE : DRIVE_FIXED});
    for (const auto& [mountPoint, type] : table) { // each mount point once
        if (mountPoint == "/" || (type != DRIVE_FIXED && type != DRIVE_REMOTE)) continue;
        if (isFile(mountPoint)) continue;
        roots.push_back({withTrailingSlash(mountPoint), type});
    }
    std::sort(roots.begin() + 1, roots.end(), [](const DriveRoot& a, const DriveRoot& b) { return a.root < b.root; });
    return roots;
}

UINT driveType(const std::string& root, const std::string& mountsPath) {
    std::string path = root;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path == "/") return driveRoots(mountsPath).front().type;
    if (path.empty() || path[0] != '/') return DRIVE_NO_ROOT_DIR;
    const std::map<std::string, UINT> table = readMountTable(mountsPath);
    const auto it = table.find(path);
    if (it == table.end() || isFile(path)) return DRIVE_NO_ROOT_DIR;
    return it->second;
}

// ---- The user's folders -------------------------------------------------------------------

KnownFolderPath knownFolderPath(KnownFolder folder) {
    const char* variable = "XDG_PICTURES_DIR";
    const char* fallback = "Pictures";
    if (folder == KnownFolder::Documents) {
        variable = "XDG_DOCUMENTS_DIR";
        fallback = "Documents";
    } else if (folder == KnownFolder::Desktop) {
        variable = "XDG_DESKTOP_DIR";
        fallback = "Desktop";
    }

    const std::string home = homeFolder();
    std::optional<std::string> path = expandFolderValue(envValue(variable), home);
    if (!path) {
        std::string configHome = envValue("XDG_CONFIG_HOME");
        if (configHome.empty() || configHome[0] != '/') configHome = home.empty() ? "" : home + "/.config";
        if (!configHome.empty()) {
            if (const auto value = userDirsValue(configHome + "/user-dirs.dirs", variable))
                path = expandFolderValue(*value, home);
        }
    }
    if (!path && !home.empty()) path = home + "/" + fallback;

    KnownFolderPath result;
    if (!path) {
        result.error = ERROR_PATH_NOT_FOUND;
        return result;
    }
    result.path = *path;
    struct stat st {};
    if (::stat(result.path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) result.error = ERROR_PATH_NOT_FOUND;
    return result;
}

// ---- Creation, module path -------------------------------------------------------------------

DWORD createDirectory(const std::string& path) {
    if (path.empty()) return ERROR_PATH_NOT_FOUND;
    if (::mkdir(path.c_str(), 0777) == 0) return ERROR_SUCCESS;
    const int error = errno;
    return error == ENOENT ? ERROR_PATH_NOT_FOUND : win32ErrorFromErrno(error);
}

std::string modulePath() {
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<std::size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(n));
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

} // namespace platform

DWORD GetLogicalDriveStringsA(DWORD nBufferLength, LPSTR lpBuffer) {
    std::string strings;
    for (const platform::DriveRoot& drive : platform::driveRoots()) {
        strings += drive.root;
        strings += '\0';
    }
    const std::size_t needed = strings.size() + 1; // the closing NUL
    if (lpBuffer == nullptr || needed > nBufferLength) return static_cast<DWORD>(needed);
    std::memcpy(lpBuffer, strings.data(), strings.size());
    lpBuffer[strings.size()] = '\0';
    return static_cast<DWORD>(strings.size());
}

UINT GetDriveTypeA(LPCSTR lpRootPathName) {
    return platform::driveType(lpRootPathName ? lpRootPathName : "/", platform::mountsFile());
}

DWORD GetModuleFileNameA(void* hModule, LPSTR lpFilename, DWORD nSize) {
    if (hModule != nullptr || lpFilename == nullptr || nSize == 0) return 0;
    const std::string path = platform::modulePath();
    if (path.empty()) return 0;
    if (path.size() >= nSize) {
        std::memcpy(lpFilename, path.data(), nSize - 1);
        lpFilename[nSize - 1] = '\0';
        return nSize;
    }
    std::memcpy(lpFilename, path.c_str(), path.size() + 1);
    return static_cast<DWORD>(path.size());
}
