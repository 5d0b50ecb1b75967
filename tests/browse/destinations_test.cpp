// SPDX-License-Identifier: MIT
// Destination history steps, and the folders made for a destination on a real tree.
#include "browse/destinations.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

TEST(Destinations, HistorySteps) {
    struct Row {
        const char* what;
        Strings before;
        char step; // s: set, c: choice, e: erase
        std::string folder;
        Strings after;
        std::string current; // after an erase
    } rows[] = {
        {"the same folder set twice is listed twice", {"/a", "/b"}, 's', "/a", {"/a", "/a", "/b"}, ""},
        {"the third entry chosen comes first", {"/a", "/b", "/c"}, 'c', "/c", {"/c", "/a", "/b"}, ""},
        {"a choice compares case", {"/a", "/B"}, 'c', "/b", {"/a", "/B"}, ""},
        {"erasing the current one", {"/a", "/b", "/c"}, 'e', "/a", {"/b", "/c"}, "/b"},
        {"erasing one not in the history", {"/a", "/b"}, 'e', "/x", {"/a", "/b"}, "/x"},
        {"erasing the only entry leaves no destination", {"/a"}, 'e', "/a", {}, ""},
        {"erasing removes the first of two", {"/b", "/a", "/a"}, 'e', "/a", {"/b", "/a"}, "/b"},
    };
    for (Row row : rows) {
        std::string current;
        if (row.step == 's') HistoryAfterSet(row.before, row.folder);
        else if (row.step == 'c') HistoryAfterChoice(row.before, row.folder);
        else current = HistoryAfterErase(row.before, row.folder);
        EXPECT_EQ(row.before, row.after) << row.what;
        if (row.step == 'e') {
            EXPECT_EQ(current, row.current) << row.what;
        }
    }
}

TEST(Destinations, CreatesExactlyTheMissingLevels) {
    testutil::TempDir dir;
    const std::string t = dir.str();
    fs::create_directories(dir.path() / "have/sub");
    testutil::writeFile(dir / "have/file", "x");
    struct Row {
        std::string destination;
        std::string base;
        Strings missing;
        std::optional<std::string> failure;
    } rows[] = {
        {t + "/a/b/c", "", {t + "/a", t + "/a/b", t + "/a/b/c"}, std::nullopt},
        {t + "//x//y/", "", {t + "/x", t + "/x/y"}, std::nullopt},
        {t + "/have/sub", "", {}, std::nullopt},
        {"rel/one", t + "/have", {t + "/have/rel", t + "/have/rel/one"}, std::nullopt},
        {t + "/have/file/z", "", {t + "/have/file", t + "/have/file/z"}, t + "/have/file"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(MissingFolders(row.destination, row.base), row.missing) << row.destination;
        EXPECT_EQ(CreateFolders(row.destination, row.base), row.failure) << row.destination;
        if (!row.failure) {
            EXPECT_TRUE(fs::is_directory(row.base.empty() ? row.destination : row.base + "/" + row.destination))
                << row.destination;
        }
    }
    EXPECT_FALSE(fs::exists("/rel")) << "a relative destination is made where it is, not at the root";
}
