// SPDX-License-Identifier: MIT
// The window's start with files or a folder.
#include "browse/startfiles.h"

#include "browse/classify.h"
#include "browse/naming.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// An absolute, normalised path without a trailing '/' (the root stays "/").
std::string absolute(const std::string& argument, const std::string& currentFolder) {
    fs::path path(argument);
    if (path.is_relative()) path = fs::path(currentFolder) / path;
    std::string text = path.lexically_normal().string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

} // namespace

StartupFiles PlanStartupFiles(const std::vector<std::string>& arguments, const std::string& currentFolder) {
    StartupFiles plan;
    std::vector<std::string> paths;
    for (const std::string& argument : arguments) paths.push_back(absolute(argument, currentFolder));
    std::error_code error;
    for (const std::string& path : paths) {
        if (fs::is_directory(path, error)) plan.folder = path;
        else if (fs::is_regular_file(path, error)) plan.folder = FolderOf(path);
        else continue;
        break;
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        if (path == plan.folder && fs::is_directory(path, error)) continue; // the folder itself
        const std::string name = path.substr(path.rfind('/') + 1);
        const bool picture = FolderOf(path) == plan.folder && fs::is_regular_file(path, error) &&
                             ClassifyExtension(name) != 0;
        if (!picture) plan.leftOut.push_back(arguments[i]);
        else if (std::find(plan.names.begin(), plan.names.end(), name) == plan.names.end()) plan.names.push_back(name);
    }
    return plan;
}
