// SPDX-License-Identifier: MIT
// Splits a path into drive, folder, file name and extension the way _splitpath_s does, with '/' as the separator.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

/// The separator every "folder/name" path of the program is built with.
inline constexpr char kPathSeparator = '/';

/// Buffer sizes of the four parts, each counting the terminating NUL, as the
/// *NumberOfElements arguments of _splitpath_s. A size of 0 means the part is not wanted:
/// it is neither returned nor checked.
struct SplitPathSizes {
    std::size_t drive = 3;
    std::size_t dir = 256;
    std::size_t fname = 256;
    std::size_t ext = 256;
};

struct SplitPathResult {
    int error = 0;     ///< 0, EINVAL (null or empty path) or ERANGE (a part does not fit)
    std::string drive; ///< always empty: Linux paths have no drive
    std::string dir;   ///< everything up to and including the last '/'
    std::string fname; ///< the last component without its extension
    std::string ext;   ///< from the last '.' of the last component, dot included
    bool ok() const { return error == 0; }
};

/// Splits a path. On any error every part comes back empty, as _splitpath_s leaves its buffers.
/// "/a/b.c.jpg" gives "", "/a/", "b.c", ".jpg"; ".bashrc" gives name "" and extension ".bashrc".
SplitPathResult splitPath(const char* path, const SplitPathSizes& sizes = {});
inline SplitPathResult splitPath(const std::string& path, const SplitPathSizes& sizes = {}) {
    return splitPath(path.c_str(), sizes);
}

/// _splitpath_s with its C signature and results (0, EINVAL, ERANGE; errno set on error).
/// A buffer may be null only together with a size of 0. Every buffer is emptied on error.
int _splitpath_s(const char* path, char* drive, std::size_t driveNumberOfElements, char* dir,
                 std::size_t dirNumberOfElements, char* fname, std::size_t nameNumberOfElements, char* ext,
                 std::size_t extNumberOfElements);

} // namespace platform
