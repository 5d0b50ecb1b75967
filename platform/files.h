// SPDX-License-Identifier: MIT
// Files and folders: listings in NTFS order, file status, drive roots from the mount table,
// the user's pictures, documents and desktop folders, folder creation and the program's own path.
#pragma once

#include "platform/wintypes.h"

#include <compare>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

// Error codes beyond those of wintypes.h that the file calls report.
inline constexpr LONG ERROR_WRITE_PROTECT = 19;
inline constexpr LONG ERROR_GEN_FAILURE = 31;
inline constexpr LONG ERROR_DISK_FULL = 112;
inline constexpr LONG ERROR_ALREADY_EXISTS = 183;
inline constexpr LONG ERROR_FILENAME_EXCED_RANGE = 206;

// Drive types, as GetDriveTypeA answers them.
inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;

namespace platform {

/// The Windows error code for an errno value. ENOENT maps to ERROR_FILE_NOT_FOUND; callers
/// that deal in folders turn it into ERROR_PATH_NOT_FOUND themselves.
DWORD win32ErrorFromErrno(int error);

/// A point in time as the file system keeps it: seconds and nanoseconds since 1970 (UTC).
struct FileTime {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    std::time_t toTimeT() const { return static_cast<std::time_t>(seconds); }
    auto operator<=>(const FileTime&) const = default;
};

// ---- Folder listings (FindFirstFileA / FindNextFileA) ------------------------------------

struct DirEntry {
    std::string name;
    bool isDirectory = false;  ///< the entry, or the target of its link, is a folder
    bool isSymlink = false;    ///< the entry itself is a symbolic link
    bool isMountPoint = false; ///< the entry lies on another device (st_dev) than the listed folder
    std::uint64_t size = 0;
    FileTime creationTime; ///< birth time where the file system keeps one, else the last-write time
    FileTime lastWriteTime;
    FileTime lastAccessTime;
};

struct DirListing {
    DWORD error = ERROR_SUCCESS; ///< ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ... when unreadable
    std::vector<DirEntry> entries;
    bool ok() const { return error == ERROR_SUCCESS; }
};

/// True when a sorts before b in NTFS order: names compared byte by byte after folding
/// ASCII letters to upper case, so "_x" follows "Z"; names equal after folding keep byte order.
bool ntfsNameLess(std::string_view a, std::string_view b);

/// Lists a folder ("/a/b" or "/a/b/") with "." and ".." first and the rest in NTFS order.
/// A symbolic link is marked and described by its target (size, times, folder flag) when the
/// target exists, by the link itself when it dangles. Entries that vanish while the folder is
/// read are left out. An empty or unreadable folder path gives an error result.
DirListing listDirectory(const std::string& folder);

// ---- File status (CFile::GetStatus) ------------------------------------------------------

struct FileStatus {
    bool exists = false;
    bool isDirectory = false;
    std::uint64_t size = 0;
    FileTime creationTime;
    FileTime lastWriteTime;
    FileTime lastAccessTime;
};

/// The status of a file or folder, following symbolic links; exists is false when it cannot be read.
FileStatus getFileStatus(const std::string& path);

// ---- Drive roots (GetLogicalDriveStringsA, GetDriveTypeA) --------------------------------

inline constexpr const char* kDefaultMountsFile = "/proc/self/mounts";

/// The mount table that GetLogicalDriveStringsA and GetDriveTypeA read; an empty path
/// restores /proc/self/mounts. Returns the previous setting.
std::string setMountsFile(std::string path);
std::string mountsFile();

struct DriveRoot {
    std::string root; ///< ends with '/': "/", "/mnt/data/"
    UINT type = DRIVE_FIXED;
    bool operator==(const DriveRoot&) const = default;
};

/// The type of a mounted file system: DRIVE_REMOTE for network file systems, DRIVE_REMOVABLE
/// for anything mounted under /media or /run/media, DRIVE_CDROM for iso9660 and udf,
/// DRIVE_RAMDISK for tmpfs and ramfs, DRIVE_FIXED for disk file systems, and DRIVE_UNKNOWN
/// for virtual ones (proc, sysfs, cgroup, overlay, squashfs, ...).
UINT classifyMount(std::string_view mountPoint, std::string_view fsType);

/// The drives to offer: "/" first, then the mount points of disk (DRIVE_FIXED) and network
/// (DRIVE_REMOTE) file systems in byte order, each once. Where a folder is mounted more than
/// once the last (topmost) mount counts. Mount points that are files (bind mounts of single
/// files) are left out. "/" is always there, DRIVE_REMOTE when the root is a network mount.
std::vector<DriveRoot> driveRoots(const std::string& mountsPath);
inline std::vector<DriveRoot> driveRoots() { return driveRoots(mountsFile()); }

/// The type of a drive root ("/mnt/data" or "/mnt/data/"): its classification when it is a
/// mount point, DRIVE_NO_ROOT_DIR when it is not (or is a file).
UINT driveType(const std::string& root, const std::string& mountsPath);

// ---- The user's folders (SHGetFolderPathA) -----------------------------------------------

enum class KnownFolder { Pictures, Documents, Desktop };

struct KnownFolderPath {
    std::string path;            ///< without a trailing '/'; filled even when it does not exist
    DWORD error = ERROR_SUCCESS; ///< ERROR_PATH_NOT_FOUND when the folder does not exist
    bool ok() const { return error == ERROR_SUCCESS; }
};

/// The folder named by XDG_PICTURES_DIR, XDG_DOCUMENTS_DIR or XDG_DESKTOP_DIR: the environment
/// variable when it is set, else the line of $XDG_CONFIG_HOME/user-dirs.dirs (or
/// ~/.config/user-dirs.dirs), else $HOME/Pictures, $HOME/Documents or $HOME/Desktop.
/// Values are absolute paths or start with $HOME (or ${HOME}); anything else is ignored.
KnownFolderPath knownFolderPath(KnownFolder folder);

// ---- Folder creation (CreateDirectoryA) ---------------------------------------------------

/// Creates one folder. ERROR_ALREADY_EXISTS when something of that name exists,
/// ERROR_PATH_NOT_FOUND when the parent is missing or is not a folder.
DWORD createDirectory(const std::string& path);

// ---- The program's own path (GetModuleFileNameA) -------------------------------------------

/// The running executable's full path from /proc/self/exe; empty when it cannot be read.
std::string modulePath();

} // namespace platform

/// Writes the drive roots as NUL-terminated strings followed by one more NUL ("/\0/mnt/data/\0\0").
/// Returns the characters written without the final NUL, or, when nBufferLength is too small,
/// the size the buffer needs (with the final NUL) and writes nothing.
DWORD GetLogicalDriveStringsA(DWORD nBufferLength, LPSTR lpBuffer);

/// The drive type of a root path; a null path asks about "/".
UINT GetDriveTypeA(LPCSTR lpRootPathName);

/// With hModule null: copies the program's path and returns its length. When nSize is too
/// small the path is cut to nSize - 1 characters plus NUL and nSize is returned. Returns 0 on
/// failure or for any other module.
DWORD GetModuleFileNameA(void* hModule, LPSTR lpFilename, DWORD nSize);
