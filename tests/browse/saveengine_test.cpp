// SPDX-License-Identifier: MIT
// One picture of a batch save on real files: each stage's failure leaves nothing behind and
// keeps an existing output; a prepared picture appears under its name only when published.
#include "browse/saveengine.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void writePicture(const std::string& path, std::uint32_t w, std::uint32_t h) {
    CISImageEx image;
    ASSERT_EQ(image.Allocate(w, h, 24), kImageOk);
    std::uint8_t* p = image.GetPixels();
    for (std::size_t i = 0; i < std::size_t{w} * h * 3; ++i) p[i] = static_cast<std::uint8_t>(i * 7 % 251);
    ASSERT_EQ(image.Write(kImageJpeg, path), kImageOk);
}

SaveOptions halfSize(const std::string& destination) {
    SaveOptions options;
    options.size.choice = 4; // 50%
    options.destination = destination;
    return options;
}

} // namespace

TEST(SaveEngine, EachFailingStageLeavesNothingAndKeepsTheOutput) {
    testutil::TempDir dir;
    fs::create_directory(dir.path() / "out");
    writePicture(dir / "a.jpg", 64, 48);
    testutil::writeFile(dir / "out/a_50pc.jpg", "old");
    testutil::writeFile(dir / "broken.jpg", "not a picture");
    testutil::writeFile(dir / "plain", "x");
    // A folder path longer than a name may be: the output name cannot be made from it.
    std::string deep = dir.str();
    while (deep.size() < 300) deep += "/nested-folder-level";
    fs::create_directories(deep);
    writePicture(deep + "/b.jpg", 64, 48);

    struct Row {
        const char* what;
        std::string source;
        std::string destination;
        std::int32_t choice;
        SaveStage stage;
    } rows[] = {
        {"unreadable", dir / "broken.jpg", dir / "out", 4, SaveStage::Read},
        {"resized to nothing", dir / "a.jpg", dir / "out", 7, SaveStage::Resize},
        {"unsplittable path", deep + "/b.jpg", dir / "out", 4, SaveStage::Split},
        {"parent is a file", dir / "a.jpg", dir / "plain/out", 4, SaveStage::Write},
        {"missing folder", dir / "a.jpg", dir / "missing", 4, SaveStage::Write},
        {"written", dir / "a.jpg", dir / "out", 4, SaveStage::Written},
    };
    for (const Row& row : rows) {
        SaveOptions options = halfSize(row.destination);
        options.size.choice = row.choice; // "Set Dimensions" with empty edits asks for 0 x 0
        CISImageEx image;
        PreparedPicture picture = PreparePicture(row.source, options, image, "test-1");
        EXPECT_EQ(picture.stage, row.stage) << row.what;
        // Reading, resizing and writing fail with their call's code; a name has none.
        const bool coded = row.stage == SaveStage::Read || row.stage == SaveStage::Resize || row.stage == SaveStage::Write;
        EXPECT_EQ(picture.code != 0, coded) << row.what;
        EXPECT_FALSE(image.HasPicture()) << row.what;
        if (row.stage == SaveStage::Written) {
            EXPECT_EQ(testutil::namesIn(dir.path() / "out"), (std::vector<std::string>{".test-1.part", "a_50pc.jpg"}));
            EXPECT_EQ(testutil::readFile(dir / "out/a_50pc.jpg"), "old") << "nothing published yet";
            DiscardPicture(picture);
        }
        EXPECT_EQ(testutil::namesIn(dir.path() / "out"), std::vector<std::string>{"a_50pc.jpg"}) << row.what;
        EXPECT_EQ(testutil::readFile(dir / "out/a_50pc.jpg"), "old") << row.what;
    }
}

TEST(SaveEngine, PublishingReplacesFilesAndLinksButNotFolders) {
    testutil::TempDir dir;
    writePicture(dir / "a.jpg", 64, 48);
    const std::string source = testutil::readFile(dir / "a.jpg");
    CISImageEx image;

    // An existing output is replaced; the picture is the half-size copy.
    testutil::writeFile(dir / "a_50pc.jpg", "old");
    PreparedPicture picture = PreparePicture(dir / "a.jpg", halfSize(dir.str()), image, "t");
    ASSERT_TRUE(PublishPicture(picture));
    CISImageEx written;
    ASSERT_EQ(written.Read(dir / "a_50pc.jpg", kImageDetect), kImageOk);
    EXPECT_EQ(written.width, 32u);
    EXPECT_TRUE(picture.tempPath.empty());

    // A link in the output's place is replaced, its target (here the source) untouched.
    fs::remove(dir.path() / "a_50pc.jpg");
    fs::create_symlink(dir / "a.jpg", dir / "a_50pc.jpg");
    picture = PreparePicture(dir / "a.jpg", halfSize(dir.str()), image, "t");
    ASSERT_TRUE(PublishPicture(picture));
    EXPECT_FALSE(fs::is_symlink(dir / "a_50pc.jpg"));
    EXPECT_EQ(testutil::readFile(dir / "a.jpg"), source);

    // A folder of the output's name stays; the picture is thrown away.
    fs::remove(dir.path() / "a_50pc.jpg");
    fs::create_directory(dir.path() / "a_50pc.jpg");
    picture = PreparePicture(dir / "a.jpg", halfSize(dir.str()), image, "t");
    std::string reason;
    EXPECT_FALSE(PublishPicture(picture, &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_TRUE(fs::is_directory(dir.path() / "a_50pc.jpg"));
    EXPECT_EQ(testutil::namesIn(dir.path()), (std::vector<std::string>{"a.jpg", "a_50pc.jpg"}));
    EXPECT_EQ(testutil::readFile(dir / "a.jpg"), source);
}

TEST(SaveEngine, FullDiskFailsTheWriteAndLeavesNoFile) {
    testutil::TempDir dir;
    writePicture(dir / "a.jpg", 400, 300);
    testutil::writeFile(dir / "a_50pc.png", "old");
    // A child process with a file size limit plays a full disk (root ignores permissions).
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{2048, 2048};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        SaveOptions options = halfSize(dir.str());
        options.type = *OutputTypeFor(1); // PNG
        CISImageEx image;
        const PreparedPicture picture = PreparePicture(dir / "a.jpg", options, image, "t");
        ::_exit(picture.stage == SaveStage::Write && picture.code != 0 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(testutil::namesIn(dir.path()), (std::vector<std::string>{"a.jpg", "a_50pc.png"}));
    EXPECT_EQ(testutil::readFile(dir / "a_50pc.png"), "old");
}

TEST(SaveEngine, NumberedNamesGoBeforeTheExtension) {
    const std::tuple<const char*, std::uint32_t, const char*> rows[] = {
        {"out/x_50pc.jpg", 1, "out/x_50pc (1).jpg"},
        {"out/a.b/x_50pc.tar.png", 12, "out/a.b/x_50pc.tar (12).png"},
        {"out/a.b/noext", 2, "out/a.b/noext (2)"},
        {"out/.hidden", 3, "out/.hidden (3)"},
    };
    for (const auto& [path, number, expect] : rows) EXPECT_EQ(NumberedPath(path, number), expect);
}
