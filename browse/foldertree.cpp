// SPDX-License-Identifier: MIT
// Folder tree rules: top-level table, item paths, and the folder walk.
#include "browse/foldertree.h"

#include <utility>

namespace {

struct SpecialFolder {
    platform::KnownFolder folder;
    const char* label;
};

// In the order they are listed and tested.
constexpr SpecialFolder kSpecialFolders[] = {
    {platform::KnownFolder::Pictures, "Pictures"},
    {platform::KnownFolder::Documents, "Documents"},
    {platform::KnownFolder::Desktop, "Desktop"},
};

bool endsWithSlash(const std::string& text) { return !text.empty() && text.back() == '/'; }

} // namespace

std::vector<RootFolder> BuildRootFolderTable(
    const std::vector<platform::DriveRoot>& drives,
    const std::function<platform::KnownFolderPath(platform::KnownFolder)>& lookup) {
    std::vector<RootFolder> roots;
    std::int32_t command = kFirstRootFolderCommand;
    for (const platform::DriveRoot& drive : drives) {
        if (drive.type != DRIVE_FIXED && drive.type != DRIVE_REMOTE) continue;
        roots.push_back({static_cast<std::int32_t>(drive.type), drive.root, drive.root, command++});
    }
    for (const SpecialFolder& special : kSpecialFolders) {
        const platform::KnownFolderPath found = lookup(special.folder);
        if (!found.ok()) continue;
        roots.push_back({kRootFolderSpecial, special.label, found.path, command++});
    }
    return roots;
}

const RootFolder* RootFolderForText(const std::string& text, const std::vector<RootFolder>& roots) {
    for (const RootFolder& root : roots)
        if (root.nType != kRootFolderSpecial && root.strLabel == text) return &root;
    for (const SpecialFolder& special : kSpecialFolders) {
        if (text.find(special.label) == std::string::npos) continue;
        for (const RootFolder& root : roots)
            if (root.nType == kRootFolderSpecial && root.strLabel == special.label) return &root;
    }
    return nullptr;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (endsWithSlash(folder)) return folder + name;
    return folder + '/' + name;
}

std::string ItemPathFromTexts(const std::vector<std::string>& texts, const std::vector<RootFolder>& roots) {
    if (texts.empty()) return {};
    if (texts.size() == 1) {
        const RootFolder* root = RootFolderForText(texts.front(), roots);
        return root ? root->strPath : texts.front();
    }
    std::string path = texts.front();
    for (std::size_t i = 1; i < texts.size() && (path.empty() || path.front() != '/'); ++i) {
        const std::string& text = texts[i];
        if (endsWithSlash(text)) {
            path = text + path;
            continue;
        }
        std::string folder = text;
        if (i + 1 == texts.size()) {
            if (const RootFolder* root = RootFolderForText(text, roots)) folder = root->strPath;
        }
        path = JoinPath(folder, path);
    }
    return path;
}

void WalkSubfolders(const std::string& path, FolderToken parent,
                    const std::function<FolderToken(FolderToken, const std::string&)>& add,
                    const std::function<void()>& between) {
    // An explicit stack rather than recursion: a deep tree cannot exhaust the thread's stack.
    struct Level {
        std::string path;
        FolderToken token;
        std::vector<platform::DirEntry> entries;
        std::size_t next = 0;
    };
    std::vector<Level> stack;
    auto enter = [&](std::string folder, FolderToken token) {
        if (between) between();
        platform::DirListing listing = platform::listDirectory(folder);
        stack.push_back({std::move(folder), token, std::move(listing.entries), 0});
    };
    enter(path, parent);
    while (!stack.empty()) {
        Level& level = stack.back();
        if (level.next >= level.entries.size()) {
            stack.pop_back();
            continue;
        }
        const platform::DirEntry& entry = level.entries[level.next++];
        if (!entry.isDirectory || entry.name.empty() || entry.name.front() == '.') continue;
        FolderToken child = add(level.token, entry.name);
        if (entry.isSymlink || entry.isMountPoint) continue;
        enter(JoinPath(level.path, entry.name), child);
    }
}
