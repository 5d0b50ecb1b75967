// SPDX-License-Identifier: MIT
// The path splitter: drive (always empty), folder with its trailing '/', name and extension.
#include "platform/paths.h"

#include <cerrno>
#include <cstring>
#include <string_view>

namespace platform {

namespace {

// A part of length n needs n + 1 elements for its NUL; a size of 0 means "not wanted".
bool fits(std::size_t length, std::size_t size) { return size == 0 || length < size; }

} // namespace

SplitPathResult splitPath(const char* path, const SplitPathSizes& sizes) {
    SplitPathResult result;
    if (path == nullptr || *path == '\0') {
        result.error = EINVAL;
        return result;
    }
    const std::string_view whole(path);
    const std::size_t lastSeparator = whole.rfind(kPathSeparator);
    const std::size_t nameStart = lastSeparator == std::string_view::npos ? 0 : lastSeparator + 1;
    const std::string_view dir = whole.substr(0, nameStart);
    const std::string_view last = whole.substr(nameStart);
    const std::size_t dot = last.rfind('.');
    const std::string_view fname = dot == std::string_view::npos ? last : last.substr(0, dot);
    const std::string_view ext = dot == std::string_view::npos ? std::string_view{} : last.substr(dot);

    // The drive is empty and always fits a buffer of at least one element.
    if (!fits(dir.size(), sizes.dir) || !fits(fname.size(), sizes.fname) || !fits(ext.size(), sizes.ext)) {
        result.error = ERANGE;
        return result;
    }
    if (sizes.dir) result.dir = dir;
    if (sizes.fname) result.fname = fname;
    if (sizes.ext) result.ext = ext;
    return result;
}

int _splitpath_s(const char* path, char* drive, std::size_t driveNumberOfElements, char* dir,
                 std::size_t dirNumberOfElements, char* fname, std::size_t nameNumberOfElements, char* ext,
                 std::size_t extNumberOfElements) {
    struct Buffer {
        char* data;
        std::size_t size;
    };
    const Buffer buffers[] = {
        {drive, driveNumberOfElements}, {dir, dirNumberOfElements}, {fname, nameNumberOfElements}, {ext, extNumberOfElements}};
    auto clearAll = [&] {
        for (const Buffer& b : buffers)
            if (b.data && b.size) b.data[0] = '\0';
    };

    bool buffersValid = true;
    for (const Buffer& b : buffers) buffersValid = buffersValid && ((b.data == nullptr) == (b.size == 0));
    if (!buffersValid) {
        clearAll();
        errno = EINVAL;
        return EINVAL;
    }

    const SplitPathResult parts = splitPath(path, {driveNumberOfElements, dirNumberOfElements,
                                                   nameNumberOfElements, extNumberOfElements});
    if (!parts.ok()) {
        clearAll();
        errno = parts.error;
        return parts.error;
    }
    const std::string* texts[] = {&parts.drive, &parts.dir, &parts.fname, &parts.ext};
    for (int i = 0; i < 4; ++i)
        if (buffers[i].data) std::memcpy(buffers[i].data, texts[i]->c_str(), texts[i]->size() + 1);
    return 0;
}

} // namespace platform
