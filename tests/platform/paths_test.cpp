// SPDX-License-Identifier: MIT
// The path splitter: parts, buffer limits and errors as _splitpath_s gives them.
#include "platform/paths.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace {

struct SplitRow {
    const char* path;
    platform::SplitPathSizes sizes;
    int error;
    const char* dir;
    const char* fname;
    const char* ext;
};

void PrintTo(const SplitRow& row, std::ostream* os) {
    *os << '"' << (row.path ? row.path : "(null)") << "\" in " << row.sizes.drive << '/' << row.sizes.dir << '/'
        << row.sizes.fname << '/' << row.sizes.ext;
}

std::string repeat(char c, std::size_t n) { return std::string(n, c); }

class SplitPathRows : public ::testing::TestWithParam<SplitRow> {};

TEST_P(SplitPathRows, GivesThePartsOrTheError) {
    const SplitRow& row = GetParam();
    const platform::SplitPathResult parts = platform::splitPath(row.path, row.sizes);
    EXPECT_EQ(parts.error, row.error);
    EXPECT_EQ(parts.drive, "");
    EXPECT_EQ(parts.dir, row.dir);
    EXPECT_EQ(parts.fname, row.fname);
    EXPECT_EQ(parts.ext, row.ext);
}

const platform::SplitPathSizes kDefault{};

INSTANTIATE_TEST_SUITE_P(
    Paths, SplitPathRows,
    ::testing::Values(SplitRow{"/home/u/pic.jpg", kDefault, 0, "/home/u/", "pic", ".jpg"},
                      SplitRow{"/a/b.c.jpeg", kDefault, 0, "/a/", "b.c", ".jpeg"},
                      SplitRow{"name", kDefault, 0, "", "name", ""},
                      SplitRow{".bashrc", kDefault, 0, "", "", ".bashrc"},
                      SplitRow{"/home/u/.bashrc", kDefault, 0, "/home/u/", "", ".bashrc"},
                      SplitRow{"/a.b/c", kDefault, 0, "/a.b/", "c", ""},
                      SplitRow{"/a/b/", kDefault, 0, "/a/b/", "", ""},
                      SplitRow{"/", kDefault, 0, "/", "", ""},
                      SplitRow{"/x/..", kDefault, 0, "/x/", ".", "."},
                      SplitRow{"trailing.", kDefault, 0, "", "trailing", "."},
                      // A backslash is an ordinary character of a Linux name.
                      SplitRow{"C:\\x\\y.png", kDefault, 0, "", "C:\\x\\y", ".png"},
                      SplitRow{"", kDefault, EINVAL, "", "", ""},
                      SplitRow{nullptr, kDefault, EINVAL, "", "", ""},
                      // Limits count the NUL: "/abcd/" needs 7 elements, ".jpeg" needs 6.
                      SplitRow{"/abcd/x.jpg", {3, 7, 256, 256}, 0, "/abcd/", "x", ".jpg"},
                      SplitRow{"/abcd/x.jpg", {3, 6, 256, 256}, ERANGE, "", "", ""},
                      SplitRow{"/a/x.jpeg", {3, 256, 256, 5}, ERANGE, "", "", ""},
                      SplitRow{"/a/x.jpeg", {3, 256, 256, 6}, 0, "/a/", "x", ".jpeg"},
                      SplitRow{"/a/name.jpg", {3, 256, 4, 256}, ERANGE, "", "", ""},
                      // A size of 0: the part is neither returned nor checked.
                      SplitRow{"/a/very/long/folder/x.jpg", {3, 0, 256, 256}, 0, "", "x", ".jpg"},
                      SplitRow{"/a/x.jpg", {3, 256, 0, 0}, 0, "/a/", "", ""}));

TEST(SplitPath, NameOf255CharactersFitsTheDefaultBufferAnd256DoNot) {
    const platform::SplitPathResult fits = platform::splitPath("/p/" + repeat('n', 255) + ".jpg");
    EXPECT_EQ(fits.error, 0);
    EXPECT_EQ(fits.fname.size(), 255u);

    const platform::SplitPathResult tooLong = platform::splitPath("/p/" + repeat('n', 256) + ".jpg");
    EXPECT_EQ(tooLong.error, ERANGE);
    EXPECT_EQ(tooLong.dir, "");
    EXPECT_EQ(tooLong.ext, "");
}

TEST(SplitPathS, FillsTheCallersBuffers) {
    char drive[3] = "x", dir[256] = "x", fname[256] = "x", ext[256] = "x";
    ASSERT_EQ(platform::_splitpath_s("/srv/pics/cat.png", drive, 3, dir, 256, fname, 256, ext, 256), 0);
    EXPECT_STREQ(drive, "");
    EXPECT_STREQ(dir, "/srv/pics/");
    EXPECT_STREQ(fname, "cat");
    EXPECT_STREQ(ext, ".png");
}

TEST(SplitPathS, EmptiesEveryBufferAndSetsErrnoWhenAPartDoesNotFit) {
    char drive[3] = "x", dir[4] = "old", fname[256] = "old", ext[256] = "old";
    errno = 0;
    EXPECT_EQ(platform::_splitpath_s("/long/cat.png", drive, 3, dir, sizeof dir, fname, 256, ext, 256), ERANGE);
    EXPECT_EQ(errno, ERANGE);
    EXPECT_STREQ(drive, "");
    EXPECT_STREQ(dir, "");
    EXPECT_STREQ(fname, "");
    EXPECT_STREQ(ext, "");
}

TEST(SplitPathS, SkipsNullBuffersOfSizeZeroAndRejectsNullWithASize) {
    char fname[256] = "old";
    EXPECT_EQ(platform::_splitpath_s("/a/b.c", nullptr, 0, nullptr, 0, fname, 256, nullptr, 0), 0);
    EXPECT_STREQ(fname, "b");

    std::strcpy(fname, "old");
    EXPECT_EQ(platform::_splitpath_s("/a/b.c", nullptr, 3, nullptr, 0, fname, 256, nullptr, 0), EINVAL);
    EXPECT_STREQ(fname, "");

    char dir[256] = "old";
    EXPECT_EQ(platform::_splitpath_s(nullptr, nullptr, 0, dir, 256, nullptr, 0, nullptr, 0), EINVAL);
    EXPECT_STREQ(dir, "");
}

} // namespace
