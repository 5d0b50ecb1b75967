// SPDX-License-Identifier: MIT
// The folder tree's rules: the top-level table, item paths, and the walk over a real tree.
#include "browse/foldertree.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

platform::KnownFolderPath found(const char* path) { return {path, ERROR_SUCCESS}; }

std::vector<RootFolder> table() {
    return BuildRootFolderTable(
        {{"/", DRIVE_FIXED}, {"/media/usb/", DRIVE_REMOVABLE}, {"/mnt/data/", DRIVE_REMOTE}},
        [](platform::KnownFolder folder) {
            switch (folder) {
            case platform::KnownFolder::Pictures: return found("/home/ann/Pictures");
            case platform::KnownFolder::Documents: return platform::KnownFolderPath{"/home/ann/Documents",
                                                                                    ERROR_PATH_NOT_FOUND};
            default: return found("/home/ann/Desktop");
            }
        });
}

} // namespace

TEST(FolderTree, TableKeepsFixedAndNetworkDrivesThenFoundSpecialFolders) {
    const std::vector<RootFolder> roots = table();
    std::vector<std::string> got;
    for (const RootFolder& r : roots)
        got.push_back(r.strLabel + "=" + r.strPath + "@" + std::to_string(r.nCommandId) + "#" + std::to_string(r.nType));
    EXPECT_EQ(got, (std::vector<std::string>{"/=/@701#3", "/mnt/data/=/mnt/data/@702#4",
                                             "Pictures=/home/ann/Pictures@703#7", "Desktop=/home/ann/Desktop@704#7"}));
}

TEST(FolderTree, ItemPathsFromTheirTexts) {
    const std::vector<RootFolder> roots = table();
    struct Row {
        std::vector<std::string> texts; // the item first, its top-level ancestor last
        const char* expect;
    } rows[] = {
        {{"/"}, "/"},
        {{"home", "/"}, "/home"},
        {{"Holiday", "2011", "/mnt/data/"}, "/mnt/data/2011/Holiday"},
        {{"Pictures"}, "/home/ann/Pictures"},
        {{"Family", "Pictures"}, "/home/ann/Pictures/Family"},
        {{"Kids", "Family", "Pictures (Virtual)"}, "/home/ann/Pictures/Family/Kids"},
        {{"Desktop (Virtual)"}, "/home/ann/Desktop"},
        // A folder named like a special folder below a drive is only a folder.
        {{"Pictures", "backup", "/mnt/data/"}, "/mnt/data/backup/Pictures"},
        {{"x", "Desktop", "/"}, "/Desktop/x"},
    };
    for (const Row& row : rows) EXPECT_EQ(ItemPathFromTexts(row.texts, roots), row.expect) << row.expect;
    EXPECT_EQ(JoinPath("/", "a"), "/a");
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
}

TEST(FolderTree, WalkIsDepthFirstInListingOrderAndEndsOnLinks) {
    testutil::TempDir root;
    for (const char* dir : {"b", "b/inner", "A", "A/deep/deeper", ".hidden", ".hidden/x", "_under"})
        fs::create_directories(root.path() / dir);
    testutil::writeFile(root / "file.jpg", "x");
    fs::create_directory_symlink("/", root.path() / "A/toroot");
    fs::create_directory_symlink(".", root.path() / "b/self");
    fs::create_symlink("missing", root.path() / "dangling");

    std::vector<std::string> added;
    int between = 0;
    // Tokens are the folder's path, so each addition shows where it was put.
    std::vector<std::unique_ptr<std::string>> tokens;
    auto add = [&](FolderToken parent, const std::string& name) -> FolderToken {
        const std::string path = *static_cast<std::string*>(parent) + "/" + name;
        added.push_back(path);
        tokens.push_back(std::make_unique<std::string>(path));
        return tokens.back().get();
    };
    std::string top = "";
    WalkSubfolders(root.str(), &top, add, [&] { ++between; });
    EXPECT_EQ(added, (std::vector<std::string>{"/A", "/A/deep", "/A/deep/deeper", "/A/toroot", "/b", "/b/inner",
                                               "/b/self", "/_under"}));
    EXPECT_EQ(between, 7) << "once per folder listed; links are not entered";

    added.clear();
    WalkSubfolders(root / "no such folder", &top, add);
    EXPECT_TRUE(added.empty());
}
