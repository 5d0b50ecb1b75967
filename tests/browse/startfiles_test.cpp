// SPDX-License-Identifier: MIT
// Starting with files or a folder: which folder is listed, which pictures are ticked, and
// what is named as left out.
#include "browse/startfiles.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <filesystem>

using Strings = std::vector<std::string>;

TEST(StartupFiles, OneFolderItsPicturesAndTheRestNamed) {
    testutil::TempDir dir;
    const std::string t = dir.str();
    std::filesystem::create_directories(dir.path() / "a/sub");
    std::filesystem::create_directories(dir.path() / "b");
    for (const char* file : {"a/x.jpg", "a/y.PNG", "a/notes.txt", "b/z.jpg"}) testutil::writeFile(dir / file, "x");
    const struct {
        const char* what;
        Strings arguments;
        std::string folder;
        Strings names, leftOut;
    } rows[] = {
        {"pictures of one folder, relative and repeated", {"a/x.jpg", "a/./y.PNG", "a/x.jpg"}, t + "/a", {"x.jpg", "y.PNG"}, {}},
        {"a folder, with a trailing slash", {"a/"}, t + "/a", {}, {}},
        {"the folder of the first existing one", {"gone.jpg", "b/z.jpg", "a/x.jpg", "a/notes.txt", "a/sub"},
         t + "/b", {"z.jpg"}, {"gone.jpg", "a/x.jpg", "a/notes.txt", "a/sub"}},
        {"a folder and a picture in it", {t + "/a", t + "/a/x.jpg"}, t + "/a", {"x.jpg"}, {}},
        {"nothing that exists", {"gone.jpg"}, "", {}, {"gone.jpg"}},
    };
    for (const auto& row : rows) {
        const StartupFiles plan = PlanStartupFiles(row.arguments, t);
        EXPECT_EQ(plan.folder, row.folder) << row.what;
        EXPECT_EQ(plan.names, row.names) << row.what;
        EXPECT_EQ(plan.leftOut, row.leftOut) << row.what;
    }
}
