// SPDX-License-Identifier: MIT
// Destinations publish a picture under its name only when it is complete.
#include "imaging/detail/failpoint.h"
#include "imaging/is5.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

TEST(Destination, PublishesOnlyCompletePictures) {
    testutil::TempDir dir;
    const std::string target = dir / "out.jpg";
    testutil::writeFile(target, "the old picture");

    struct Row {
        bool complete, failed;
        const char* expected;
    };
    for (const Row& r : std::vector<Row>{{false, false, "the old picture"},
                                         {true, true, "the old picture"},
                                         {true, false, "the new picture"}}) {
        IS5_DEST dest = is5_OpenFileDest(target.c_str(), 0);
        ASSERT_NE(dest, nullptr);
        // Nothing shows under the final name while writing.
        ASSERT_TRUE(is5_WriteDest(dest, "the new ", 8));
        EXPECT_EQ(testutil::readFile(target), "the old picture");
        ASSERT_TRUE(is5_WriteDest(dest, "picture", 7));
        if (r.complete) is5_MarkDestComplete(dest);
        if (r.failed) is5_MarkDestFailed(dest);
        EXPECT_EQ(is5_CloseDest(dest), r.complete && !r.failed);
        EXPECT_EQ(testutil::readFile(target), r.expected);
        EXPECT_EQ(testutil::filesIn(dir.path()), 1u) << "a temporary file was left behind";
    }

    // Patching a header after the data, as some writers do.
    IS5_DEST dest = is5_OpenFileDest(target.c_str(), 0);
    is5_WriteDest(dest, "xxxx-body", 9);
    is5_SeekDest(dest, 0);
    is5_WriteDest(dest, "HEAD", 4);
    is5_MarkDestComplete(dest);
    ASSERT_TRUE(is5_CloseDest(dest));
    EXPECT_EQ(testutil::readFile(target), "HEAD-body");
}

TEST(Destination, FailedOpensLeaveNothing) {
    testutil::TempDir dir;
    testutil::writeFile(dir.path() / "plain-file", "x");
    for (const std::string& path : {dir / "missing/out.png", dir / "plain-file/out.png", std::string(""), dir.str() + "/"}) {
        EXPECT_EQ(is5_OpenFileDest(path.c_str(), 0), nullptr) << path;
        EXPECT_NE(is5_GetLastError(), 0u);
    }
    // Short of memory once the temporary file exists.
    imaging::detail::allocationHook = [](const char*) { throw std::bad_alloc(); };
    EXPECT_EQ(is5_OpenFileDest((dir / "out.png").c_str(), 0), nullptr);
    imaging::detail::allocationHook = nullptr;
    EXPECT_EQ(is5_GetLastError(), IS5_ERR_MEMORY);
    EXPECT_EQ(testutil::filesIn(dir.path()), 1u) << "a temporary file was left behind";
}

TEST(Destination, MemoryDestinationCollectsBytes) {
    IS5_DEST dest = is5_OpenMemoryDest();
    is5_WriteDest(dest, "abc", 3);
    is5_SeekDest(dest, 5);
    is5_WriteDest(dest, "z", 1);
    std::size_t size = 0;
    const std::uint8_t* bytes = is5_GetDestBuffer(dest, &size);
    ASSERT_EQ(size, 6u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes), 6), std::string("abc\0\0z", 6));
    EXPECT_EQ(is5_TellDest(dest), 6u);
    is5_CloseDest(dest);
}
