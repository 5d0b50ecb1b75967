// SPDX-License-Identifier: MIT
// One picture of a batch save on real files: each stage's failure leaves nothing behind and
// keeps an existing output; a prepared picture appears under its name only when published.
#include "browse/qualitysearch.h"
#include "browse/saveengine.h"
#include "corpus.h"
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

TEST(SaveEngine, FastDecodeScaleLeavesTwiceTheTarget) {
    const struct {
        ImageSize picture, target;
        std::uint32_t scale;
    } rows[] = {
        {{6000, 4000}, {1500, 1000}, 2}, {{6000, 4000}, {1501, 1000}, 1}, {{6000, 4000}, {3000, 2000}, 1},
        {{6000, 4000}, {1024, 683}, 2},  {{3000, 2000}, {1024, 683}, 1},  {{6000, 4000}, {375, 250}, 8},
        {{6000, 4000}, {376, 250}, 4},   {{4000, 6000}, {683, 1024}, 2},  {{227, 149}, {14, 9}, 8},
        {{227, 149}, {15, 9}, 4},        // 227 / 8 rounds up to 29, short of 30
        {{4294967295u, 8}, {2147483648u, 1}, 1}, // twice the width does not wrap to 0
    };
    for (const auto& r : rows)
        EXPECT_EQ(FastDecodeScale(r.picture, r.target), r.scale)
            << r.picture.cx << "x" << r.picture.cy << " to " << r.target.cx << "x" << r.target.cy;
}

// Limits taken from the finished files at a few qualities, of a photograph whose colour
// profile (3144 bytes) is kept and so counts. Bisection promises a quality whose file fits
// and, below 100, a quality above it whose file does not; with sizes that grow with the
// quality, as libjpeg's do here, that is the highest quality that fits.
TEST(SaveEngine, MaxSizeTakesTheHighestQualityWhoseFileFits) {
    REQUIRE_CORPUS(corpus);
    testutil::TempDir dir;
    fs::copy_file(corpus / "pillow/ok/jpeg/pil_sample_rgb.jpg", dir.path() / "icc.jpg");
    SaveOptions options = halfSize(dir.str());
    options.size.choice = 6; // a custom percent
    options.size.customScale = 3.0; // 300 x 300
    options.keepIcc = true;
    CISImageEx image;
    auto save = [&](std::int32_t quality, std::uint64_t limit) {
        SaveOptions settings = options;
        settings.quality = quality;
        settings.maxBytes = limit;
        PreparedPicture picture = PreparePicture(dir / "icc.jpg", settings, image, "t");
        EXPECT_EQ(picture.stage, SaveStage::Written);
        const std::uint64_t size = picture.tempPath.empty() ? 0 : fs::file_size(picture.tempPath);
        DiscardPicture(picture);
        return std::pair{picture, size};
    };
    const struct {
        std::int32_t quality; // the limit is the file's size at this quality
        std::int64_t slack;   // plus this many bytes
        bool fits;
    } rows[] = {{100, 0, true}, {100, 5000, true}, {60, 0, true}, {60, -1, true}, {1, 0, true}, {1, -1, false}};
    for (const auto& row : rows) {
        const std::uint64_t limit = save(row.quality, 0).second + row.slack;
        const auto [picture, size] = save(75, limit);
        SCOPED_TRACE(std::to_string(row.quality) + " " + std::to_string(row.slack) + ": quality " +
                     std::to_string(picture.quality));
        EXPECT_LE(picture.encodes, kMaxQualityEncodes);
        EXPECT_EQ(picture.overLimit, !row.fits);
        if (!row.fits) {
            EXPECT_EQ(picture.quality, 1);
            EXPECT_EQ(size, limit + 1);
            continue;
        }
        EXPECT_LE(size, limit);
        if (picture.quality < 100) { EXPECT_GT(save(picture.quality + 1, 0).second, limit); }
        if (row.slack >= 0) { EXPECT_GE(picture.quality, row.quality); }
        else EXPECT_LT(picture.quality, row.quality);
    }
    EXPECT_EQ(save(75, save(100, 0).second).first.encodes, 1u);
}
