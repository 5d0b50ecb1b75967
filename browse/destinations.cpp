// SPDX-License-Identifier: MIT
// Destination history and folder creation.
#include "browse/destinations.h"

#include "platform/files.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

void HistoryAfterSet(std::vector<std::string>& history, const std::string& folder) {
    history.insert(history.begin(), folder);
}

void HistoryAfterChoice(std::vector<std::string>& history, const std::string& chosen) {
    const auto it = std::find(history.begin(), history.end(), chosen);
    if (it == history.end() || it == history.begin()) return;
    history.erase(it);
    history.insert(history.begin(), chosen);
}

std::string HistoryAfterErase(std::vector<std::string>& history, const std::string& current) {
    const auto it = std::find(history.begin(), history.end(), current);
    if (it == history.end()) return current;
    history.erase(it);
    return history.empty() ? std::string() : history.front();
}

namespace {

bool isFolder(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::vector<std::string> MissingFolders(const std::string& destination, const std::string& base) {
    std::string start;
    if (!destination.empty() && destination.front() == '/') {
        start = "/";
    } else {
        std::error_code ec;
        start = base.empty() ? std::filesystem::current_path(ec).string() : base;
        if (start.empty() || start.back() != '/') start += '/';
    }
    // Every level of the path, each one step deeper; empty components add none.
    std::vector<std::string> levels;
    std::string path = start;
    std::size_t from = 0;
    while (from <= destination.size()) {
        std::size_t to = destination.find('/', from);
        if (to == std::string::npos) to = destination.size();
        const std::string component = destination.substr(from, to - from);
        if (!component.empty()) {
            if (path.back() != '/') path += '/';
            path += component;
            levels.push_back(path);
        }
        from = to + 1;
    }
    // The deepest existing level ends the walk up; everything below it is missing.
    std::size_t existing = levels.size();
    while (existing > 0 && !isFolder(levels[existing - 1])) --existing;
    return {levels.begin() + static_cast<std::ptrdiff_t>(existing), levels.end()};
}

std::optional<std::string> CreateFolders(const std::string& destination, const std::string& base) {
    for (const std::string& level : MissingFolders(destination, base)) {
        const DWORD rc = platform::createDirectory(level);
        if (rc != ERROR_SUCCESS && !(rc == ERROR_ALREADY_EXISTS && isFolder(level))) return level;
    }
    return std::nullopt;
}
