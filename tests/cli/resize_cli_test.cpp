// SPDX-License-Identifier: MIT
// brimvale-resize run as a child process on copies of corpus pictures: names, sizes,
// parallel runs, --info, exit statuses, the overwrite rule, and metafile text drawn as the
// window draws it.
#include "browse/formatsize.h"
#include "corpus.h"
#include "imaging/codecs/exif.h"
#include "imaging/iccprofile.h"
#include "imaging/isimageex.h"
#include "imaging/metadata.h"
#include "metafilebuild.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <QGuiApplication>

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

// The files of a folder (names → bytes), hidden ones included.
std::map<std::string, std::string> folderContents(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir))
        files[entry.path().filename().string()] = testutil::readFile(entry.path());
    return files;
}

ImageSize pictureSize(const fs::path& path) {
    CISImageEx image;
    EXPECT_EQ(image.Read(path.string(), kImageDetect), kImageOk) << path;
    return {image.width, image.height};
}

class ResizeCli : public ::testing::Test {
protected:
    testutil::TempDir dir;
    fs::path corpus;

    void SetUp() override {
        auto found = testutil::corpusDir();
        REQUIRE_OR_SKIP(found, "the picture corpus (set BRIMVALE_CORPUS)");
        corpus = *found;
        fs::create_directories(dir.path() / "in");
    }

    // Copies a corpus file into the test's "in" folder under a new name.
    std::string source(const std::string& corpusPath, const std::string& name) {
        const fs::path target = dir.path() / "in" / name;
        fs::copy_file(corpus / corpusPath, target, fs::copy_options::overwrite_existing);
        return target.string();
    }

    // Runs brimvale-resize in `cwd` (the test folder when empty); a run that hangs is killed
    // after two minutes and fails the test (status -1) instead of blocking the suite.
    RunResult run(const std::vector<std::string>& arguments, const fs::path& cwd = {}) {
        std::string command = "cd '" + (cwd.empty() ? dir.str() : cwd.string()) + "' && timeout -s KILL 120 " +
                              BRIMVALE_RESIZE_PATH;
        for (const std::string& a : arguments) command += " '" + a + "'"; // no argument holds a quote
        command += " > '" + dir / "stdout.txt" + "' 2> '" + dir / "stderr.txt" + "'";
        const int status = std::system(command.c_str());
        RunResult result;
        if (WIFEXITED(status) && WEXITSTATUS(status) < 124) result.status = WEXITSTATUS(status);
        result.out = testutil::readFile(dir / "stdout.txt");
        result.err = testutil::readFile(dir / "stderr.txt");
        return result;
    }
};

constexpr const char* kJpeg = "libjpeg-turbo/ok/testorig.jpg"; // 227 x 149
constexpr const char* kPng = "pngsuite/primary/basn2c08.png";  // 32 x 32, RGB
constexpr const char* kPalettePng = "pngsuite/primary/basn3p08.png";
constexpr const char* kBmp = "bmpsuite/g/rgb24.bmp";           // 127 x 64
constexpr const char* kGif = "image-gif/ok/sample_1.gif";

// A JPEG with an APP1 segment holding `body` put right after its start marker.
std::string withApp1(const std::string& jpeg, const std::string& body) {
    const std::string length{char((body.size() + 2) >> 8), char((body.size() + 2) & 0xFF)};
    return jpeg.substr(0, 2) + "\xFF\xE1" + length + body + jpeg.substr(2);
}

} // namespace

TEST_F(ResizeCli, NamesAndSizesOfEveryChoice) {
    const std::string photo = source(kJpeg, "IMG_0001.JPG");
    const std::string dotted = source(kJpeg, "IMG.0001.jpg");
    struct Row {
        std::vector<std::string> options;
        std::string output; // relative to the test folder
        ImageSize size;
    } const rows[] = {
        {{"-s", "800x600", "-d", "out"}, "out/IMG_0001_800x600.jpg", {800, 525}},
        {{"-s", "25%", "-t", "png", "-d", "out"}, "out/IMG_0001_25pc.png", {56, 37}},
        {{"--percent", "33", "-d", "out"}, "out/IMG_0001_At33pc.jpg", {74, 49}},
        {{"--dimensions", "1200x900", "-t", "bmp", "-d", "out"}, "out/IMG_0001__1200x900.bmp", {1200, 900}},
        {{"--screen", "1920x1080", "--source-folder"}, "in/IMG_0001__S1920x1080.jpg", {1920, 1080}},
        {{"-s", "75%", "--dest=out"}, "out/IMG_0001_75pc.jpg", {170, 111}},
        {{"-s", "320x240", "-t", "gif", "-d", "out"}, "out/IMG_0001_320x240.gif", {320, 210}},
        {{"--percent=29", "-t", "psd", "-d", "out"}, "out/IMG_0001_At28pc.psd", {65, 43}},
        {{"-s", "25%", "-t", "png", "-d", "deep/er/out/"}, "deep/er/out/IMG_0001_25pc.png", {56, 37}}, // made
    };
    for (const Row& row : rows) {
        std::vector<std::string> arguments = row.options;
        arguments.push_back(photo);
        const RunResult r = run(arguments);
        SCOPED_TRACE(row.output + "\n" + r.err);
        ASSERT_EQ(r.status, 0);
        const fs::path written = dir.path() / row.output;
        ASSERT_TRUE(fs::exists(written));
        const ImageSize size = pictureSize(written);
        EXPECT_EQ(size.cx, row.size.cx);
        EXPECT_EQ(size.cy, row.size.cy);
        const std::string bytes = FormatSize(fs::file_size(written));
        const bool besideSource = row.output.starts_with("in/");
        const std::string shown = besideSource ? written.string() : row.output;
        EXPECT_EQ(r.out, photo + " -> " + shown + " (" + std::to_string(row.size.cx) + "x" +
                             std::to_string(row.size.cy) + ", " + bytes + ")\n1 picture saved to " +
                             (besideSource ? "the same folder as the original picture(s)"
                                           : fs::path(row.output).parent_path().string()) +
                             " (" + bytes + " total).\n");
    }

    const RunResult r = run({"-s", "800x600", "-d", "out", dotted});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir.path() / "out/IMG.0001_800x600.jpg"));
}

TEST_F(ResizeCli, ParallelRunsMatchTheSequentialRun) {
    std::vector<std::string> files = {source(kJpeg, "a.jpg"),          source(kPng, "b.png"),
                                      source(kBmp, "c.bmp"),           source(kPalettePng, "d.png"),
                                      source(kGif, "e.gif"),           source(kJpeg, "f.jpg"),
                                      dir / "in/missing.jpg",           source(kPng, "a.png"),
                                      source(kBmp, "g.bmp"),           source(kJpeg, "h.jpg")};
    // "a.png" names the same output as "a.jpg": it fails like in a sequential run.
    const std::vector<std::pair<const char*, std::vector<std::string>>> runs = {
        {"png", {}}, {"jpg", {}}, {"jpg", {"--max-size", "40K", "--fast"}}};
    for (const auto& [type, extra] : runs) {
        SCOPED_TRACE(std::string(type) + (extra.empty() ? "" : " --max-size"));
        std::map<std::string, std::string> outputs[2];
        RunResult results[2];
        const char* jobs[2] = {"1", "4"};
        for (int k = 0; k < 2; ++k) {
            const fs::path cwd = dir.path() / (std::string(type) + jobs[k] + std::to_string(extra.size()));
            fs::create_directories(cwd);
            std::vector<std::string> arguments{"-k", "-j", jobs[k], "-t", type, "-s", "640x480", "-d", "out"};
            arguments.insert(arguments.end(), extra.begin(), extra.end());
            arguments.insert(arguments.end(), files.begin(), files.end());
            results[k] = run(arguments, cwd);
            outputs[k] = folderContents(cwd / "out");
        }
        EXPECT_EQ(results[0].status, 1);
        EXPECT_EQ(results[1].status, 1);
        EXPECT_EQ(results[0].out, results[1].out);
        EXPECT_EQ(results[0].err, results[1].err);
        EXPECT_EQ(outputs[0], outputs[1]); // names and bytes; no temporary file left over
        EXPECT_EQ(outputs[0].size(), 8u);
        EXPECT_NE(results[0].out.find("8 pictures saved to out ("), std::string::npos);
        EXPECT_NE(results[0].err.find("missing.jpg: Unable to read the image"), std::string::npos);
        EXPECT_NE(results[0].err.find("a_640x480." + std::string(type) + " already exists"), std::string::npos);
    }
}

TEST_F(ResizeCli, FirstFailureStopsAndDiscardsTheRest) {
    const std::string good1 = source(kJpeg, "p1.jpg");
    const std::string bad = source("pngsuite/corrupt/xs1n0g01.png", "p2.png");
    const std::string good3 = source(kPng, "p3.png");
    const std::string good4 = source(kBmp, "p4.bmp");
    for (const char* jobs : {"1", "3"}) {
        SCOPED_TRACE(jobs);
        fs::remove_all(dir.path() / "out");
        const RunResult r = run({"-j", jobs, "-d", "out", good1, bad, good3, good4});
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(bad + ": Unable to read the image (error 6: damaged or cut off)"), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find("save image number 2"), std::string::npos) << r.err;
        // Only the picture before the failure, and no temporary files of later ones.
        const auto written = folderContents(dir.path() / "out");
        ASSERT_EQ(written.size(), 1u);
        EXPECT_EQ(written.begin()->first, "p1_50pc.jpg");
        EXPECT_NE(r.out.find("1 picture saved to out ("), std::string::npos);
    }
}

TEST_F(ResizeCli, InfoLines) {
    const std::string bad = source("pngsuite/corrupt/xs1n0g01.png", "bad.png");
    const RunResult r = run({"--info", (corpus / kBmp).string(), (corpus / kPalettePng).string(),
                             (corpus / kJpeg).string(), bad});
    EXPECT_EQ(r.status, 1);
    // 2835 pixels per metre is 28.35 per centimetre.
    EXPECT_EQ(r.out, (corpus / kBmp).string() +
                         "\ttype=2\twidth=127\theight=64\tbits=24\tcolours=0\txres=28.35\tyres=28.35\tunit=3\n" +
                         (corpus / kPalettePng).string() +
                         "\ttype=7\twidth=32\theight=32\tbits=8\tcolours=256\txres=0\tyres=0\tunit=1\n" +
                         (corpus / kJpeg).string() +
                         "\ttype=0\twidth=227\theight=149\tbits=24\tcolours=0\txres=1\tyres=1\tunit=1\n" + bad +
                         "\terror=6\n");
}

TEST_F(ResizeCli, BadCommandLinesExitWith2) {
    const std::string photo = source(kJpeg, "z.jpg");
    const std::vector<std::vector<std::string>> rows = {
        {"--frobnicate", "-d", "out", photo},
        {"-s", "900x700", "-d", "out", photo},
        {"-d", "out"},
        {"-d", "out", "--source-folder", photo},
        {photo},
        {"-j", "0", "-d", "out", photo},
        {"--percent", "abc", "-d", "out", photo},
        {"-q", "high", "-d", "out", photo},
        {"-t", "tiff", "-d", "out", photo},
        {"--lossless", "-d", "out", photo},
        {"--dimensions", "1200", "-d", "out", photo},
        {"--screen", "0x10", "-d", "out", photo},
        {"--mode", "19", "-d", "out", photo},
        {"--overwrite=yes", "-d", "out", photo},
        {"-d", "out", photo, "-q"},
        {"--metadata-from", photo, "-d", "out", photo},
        {"--stamp", photo, photo},
        {"--stamp"},
        {"--if-exists", "never", "-d", "out", photo},
        {"--strip-private", "-d", "out", photo},
        {"--long-edge", "0", "-d", "out", photo}, {"--short-edge", "-3", "-d", "out", photo},
        {"--fit", "100", "-d", "out", photo}, {"--fit", "0x5", "-d", "out", photo},
        {"--no-enlarge=1", "-d", "out", photo}, {"--filter", "bicubic", "-d", "out", photo},
        {"--linear-light", "-d", "out", photo}, {"--filter", "exact", "--linear-light", "-d", "out", photo},
        {"--filter", "area", "--mode", "0", "-d", "out", photo},
    };
    for (const auto& arguments : rows) {
        const RunResult r = run(arguments);
        std::string shown;
        for (const std::string& a : arguments) shown += a + " ";
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_TRUE(r.out.empty()) << shown;
        EXPECT_NE(r.err.find("brimvale-resize: "), std::string::npos) << shown;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out"));
}

TEST_F(ResizeCli, SourceReplacedByAnEarlierOutputIsReadAfterIt) {
    // The second file is the first one's output: a sequential run reads the new picture
    // (113 x 74) there, not the PNG that was in its place, and so must a parallel one.
    const std::string first = source(kJpeg, "a.jpg");
    fs::create_directories(dir.path() / "out");
    fs::copy_file(corpus / kPng, dir.path() / "out/a_50pc.jpg");
    for (const char* jobs : {"1", "4"}) {
        SCOPED_TRACE(jobs);
        fs::copy_file(corpus / kPng, dir.path() / "out/a_50pc.jpg", fs::copy_options::overwrite_existing);
        const RunResult r = run({"--overwrite", "-j", jobs, "-d", "out", first, "out/a_50pc.jpg"});
        EXPECT_EQ(r.status, 0) << r.err;
        const ImageSize size = pictureSize(dir.path() / "out/a_50pc_50pc.jpg");
        EXPECT_EQ(size.cx, 56u);
        EXPECT_EQ(size.cy, 37u);
    }
}

// What a batch meets, said in words: a named pipe or a folder given as a picture (refused
// at once), a missing file, a file of no known type, a size that comes out empty or too
// large, a folder that takes no file.
TEST_F(ResizeCli, FailuresAreSaidInWords) {
    const std::string fifo = dir / "in/pipe.jpg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    CISImageEx line;
    ASSERT_EQ(line.Allocate(10, 1, 24), kImageOk);
    const std::string thin = dir / "in/thin.png";
    ASSERT_EQ(line.Write(kImagePng, thin), kImageOk);
    testutil::writeFile(dir / "in/passwd", "root:x:0:0:root:/root:/bin/bash\n");
    const std::string photo = source(kJpeg, "photo.jpg");
    struct Row {
        std::vector<std::string> arguments;
        const char* says;
    } rows[] = {
        {{"-d", "out", fifo}, "pipe.jpg: Unable to read the image (error 8: not a regular file)"},
        {{"-d", "out", dir / "in"}, "in: Unable to read the image (error 8: not a regular file)"},
        {{"-d", "out", thin}, "thin.png to 5x0: the result would be empty (error 5)"},
        {{"-d", "out", dir / "in/gone.jpg"}, "gone.jpg: Unable to read the image (error 5: no such file)"},
        {{"-d", "out", dir / "in/passwd"}, "passwd: Unable to read the image (error 5: not a picture of a known type)"},
        {{"--dimensions", "60000x60000", "-d", "out", photo},
         "photo.jpg to 60000x60000 (error 90: picture larger than 268 megapixels)"},
        // Root may write anywhere, but no one makes files in /proc/sys.
        {{"-d", "/proc/sys", photo}, "Unable to write /proc/sys/photo_50pc.jpg (error 2: cannot write in /proc/sys: "},
    };
    for (const Row& row : rows) {
        const RunResult r = run(row.arguments);
        EXPECT_EQ(r.status, 1) << row.says;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
    }
}

TEST_F(ResizeCli, StampInPlace) {
    const std::string withTexts = source("pngsuite/unused/ct1n0g04.png", "texts.png");
    PictureMetadata given;
    ASSERT_EQ(ReadPictureMetadata(withTexts, given), "");
    const std::string cut = dir / "in/cut.jpg";
    testutil::writeFile(cut, testutil::readFile(corpus / kJpeg).substr(0, 300));
    struct Row {
        std::vector<std::string> arguments;
        int status;
        bool changed;
        std::string says;
        std::string description; // read back from the stamped file
    } rows[] = {
        {{"--stamp", source(kJpeg, "a.jpg"), "--metadata-from", withTexts}, 0, true, "",
         given.description + " cropped section"},
        {{"--stamp", source(kPng, "b.png")}, 0, true, "", ""},
        {{"--stamp", source(kBmp, "c.bmp")}, 0, false, "", ""},
        {{"--stamp", cut}, 1, false, "brimvale-resize: Unable to write EXIF data.\n", ""},
        {{"--stamp", dir / "in/gone.jpg"}, 1, false,
         "brimvale-resize: The File, " + dir / "in/gone.jpg" + " could not be found. Unable to proceed.\n", ""},
        {{"--stamp", source(kJpeg, "d.jpg"), "--metadata-from", dir / "in/gone.png"}, 1, false,
         "brimvale-resize: The File, " + dir / "in/gone.png" + " could not be found. Unable to proceed reading metadata.\n",
         ""},
    };
    for (const Row& row : rows) {
        const std::string& target = row.arguments[1];
        const std::string before = testutil::readFile(target);
        const RunResult r = run(row.arguments);
        EXPECT_EQ(r.status, row.status) << target;
        EXPECT_EQ(r.err, row.says);
        EXPECT_EQ(testutil::readFile(target) != before, row.changed) << target;
        if (!row.changed) continue;
        PictureMetadata stamped;
        EXPECT_EQ(ReadPictureMetadata(target, stamped), "");
        EXPECT_EQ(stamped.description, row.description) << target;
        if (!row.description.empty()) { EXPECT_EQ(stamped.author, given.author); }
        EXPECT_EQ(stamped.time.size(), 19u) << target;
    }
}

namespace {

using metafilebuild::Bytes;
using metafilebuild::Emf;
using metafilebuild::Wmf;

// A bare WMF of 160 x 48 units: its window extent, then a font or none, then the text.
Wmf wmf160x48() { return Wmf(160, 48, 1, false).rec(0x020C, {48, 160}); }

// An EMF of 160 x 48 device pixels at 96 dpi: one font, green text on the baseline at (x, y).
Bytes emf(int height, int weight, int escapement, const std::string& face, const std::string& s, int x, int y) {
    return Emf(160, 48, 2).font(1, height, weight, escapement, face).rec(24, {0x008000}).rec(22, {24})
        .textOut(s, x, y).bytes();
}

} // namespace

// The window reads pictures with a QGuiApplication in place; brimvale-resize has none of its
// own. Both must draw a metafile's text alike, also when several pictures are read at once.
TEST_F(ResizeCli, MetafileTextAsTheWindowDrawsIt) {
    static int argc = 3;
    static char name[] = "brimvale", option[] = "-platform", platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    static QGuiApplication window(argc, argv);
    const std::vector<std::pair<std::string, Bytes>> rows{
        {"bold.wmf", wmf160x48().font(-24, 700, 0, false, "DejaVu Sans").select(0)
                         .textOut("Brimvale", 8, 10).bytes()},
        {"default.wmf", wmf160x48().rec(0x0209, {0xC0, 0}).rec(0x012E, {6}).textOut("centred text", 80, 4).bytes()},
        {"aslant.wmf", wmf160x48().font(-18, 400, 150, true, "Liberation Serif").select(0)
                           .textOut("Aslant", 20, 30).bytes()},
        {"serif.emf", emf(-20, 400, 0, "Liberation Serif", "Serif text", 6, 36)},
        {"turned.emf", emf(-16, 700, -200, "Liberation Sans", "Turned", 40, 4)},
    };
    std::vector<std::string> arguments{"-j", "3", "--dimensions", "160x48", "-t", "bmp", "-d", "out"};
    for (const auto& [file, bytes] : rows) {
        testutil::writeFile(dir.path() / "in" / file, std::string(bytes.begin(), bytes.end()));
        arguments.push_back((dir.path() / "in" / file).string());
    }
    const RunResult r = run(arguments);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    for (const auto& [file, bytes] : rows) {
        CISImageEx window, command;
        ASSERT_EQ(window.Read((dir.path() / "in" / file).string(), kImageDetect), kImageOk) << file;
        ASSERT_EQ(command.Read(dir / ("out/" + fs::path(file).stem().string() + "__160x48.bmp"), kImageBmp), kImageOk) << file;
        ASSERT_EQ(window.width * window.height, 160u * 48);
        const std::string drawn(reinterpret_cast<const char*>(window.GetPixels()), 160 * 48 * 3);
        EXPECT_LT(std::count(drawn.begin(), drawn.end(), '\xff'), 160 * 48 * 3 - 200) << file << " shows its text";
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(command.GetPixels()), 160 * 48 * 3), drawn) << file;
    }
}

TEST_F(ResizeCli, EdgeFitAndNoEnlargeSizes) {
    const std::string photo = source(kJpeg, "P.jpg"); // 227 x 149
    const std::string square = source(kPng, "Q.png"); // 32 x 32
    struct Row {
        std::vector<std::string> options;
        std::string file;
        std::string output;
        ImageSize size;
    } const rows[] = {
        {{"--long-edge", "100"}, photo, "out/P_L100.jpg", {100, 66}},
        {{"--short-edge=100", "-t", "png"}, photo, "out/P_S100.png", {152, 100}},
        {{"--fit", "300x100"}, photo, "out/P_fit300x100.jpg", {152, 100}},
        {{"--fit", "100x300"}, photo, "out/P_fit100x300.jpg", {100, 66}},
        {{"--fit", "100x300", "-t", "png"}, square, "out/Q_fit100x300.png", {100, 100}},
        {{"--long-edge", "1000", "--no-enlarge"}, photo, "out/P_L1000.jpg", {227, 149}},
        {{"--dimensions", "1200x100", "--no-enlarge"}, photo, "out/P__1200x100.jpg", {227, 149}},
        {{"--short-edge", "16", "--no-enlarge", "-t", "png"}, square, "out/Q_S16.png", {16, 16}},
    };
    for (const Row& row : rows) {
        std::vector<std::string> arguments = row.options;
        arguments.insert(arguments.end(), {"-d", "out", row.file});
        const RunResult r = run(arguments);
        SCOPED_TRACE(row.output + "\n" + r.err);
        ASSERT_EQ(r.status, 0);
        const ImageSize size = pictureSize(dir.path() / row.output);
        EXPECT_EQ(size.cx, row.size.cx);
        EXPECT_EQ(size.cy, row.size.cy);
        EXPECT_NE(r.out.find(" -> " + row.output + " (" + std::to_string(row.size.cx) + "x" +
                             std::to_string(row.size.cy) + ", "),
                  std::string::npos);
    }
}

TEST_F(ResizeCli, ExistingOutputsSkippedRenamedOrAskedFor) {
    const std::string photo = source(kJpeg, "x.jpg");
    const fs::path old = dir.path() / "out/x_50pc.jpg";
    // Runs with `answers` as standard input; the child inherits this process's descriptor 0.
    auto runAnswering = [&](std::vector<std::string> arguments, const std::string& answers) {
        testutil::writeFile(dir.path() / "answers.txt", answers);
        const int saved = ::dup(STDIN_FILENO);
        const int input = ::open((dir.path() / "answers.txt").c_str(), O_RDONLY);
        ::dup2(input, STDIN_FILENO);
        ::close(input);
        arguments.insert(arguments.end(), {"-d", "out", photo});
        const RunResult r = run(arguments);
        ::dup2(saved, STDIN_FILENO);
        ::close(saved);
        return r;
    };
    struct Row {
        std::vector<std::string> options;
        std::string answers;
        bool replaced;
        std::string says; // on standard output or error
        std::vector<std::string> newFiles;
        int status = 0;
    } const rows[] = {
        {{"-j", "1"}, "", false, "out/x_50pc.jpg already exists", {}, 1}, // refused by default
        {{"--overwrite"}, "", true, "1 picture saved", {}},
        {{"--if-exists", "skip"}, "", false, "x_50pc.jpg exists; skipped\n0 pictures saved to out (0 KB total).\n"
                                             "1 picture skipped: its output already existed.\n", {}},
        {{"--if-exists=ask"}, "n\n", false, "1 picture skipped", {}},
        {{"--if-exists=ask"}, "", false, "1 picture skipped", {}},
        {{"--if-exists=ask"}, "yes\n", true, "1 picture saved", {}},
        {{"--if-exists", "overwrite"}, "", true, "1 picture saved", {}},
        {{"--if-exists", "rename"}, "", false, "-> out/x_50pc (1).jpg (113x74, ", {"x_50pc (1).jpg"}},
        {{"--if-exists", "rename", "-j", "2"}, "", false, "-> out/x_50pc (2).jpg", {"x_50pc (1).jpg", "x_50pc (2).jpg"}},
    };
    for (const Row& row : rows) {
        fs::remove_all(dir.path() / "out");
        fs::create_directories(dir.path() / "out");
        testutil::writeFile(old, "old");
        if (row.newFiles.size() > 1) testutil::writeFile(dir.path() / "out" / row.newFiles[0], "one");
        const RunResult r = runAnswering(row.options, row.answers);
        SCOPED_TRACE(row.options.back() + " " + row.answers + "\n" + r.out + r.err);
        EXPECT_EQ(r.status, row.status);
        EXPECT_NE((r.out + r.err).find(row.says), std::string::npos);
        EXPECT_EQ(testutil::readFile(old) != "old", row.replaced);
        if (row.replaced) { EXPECT_EQ(pictureSize(old).cy, 74u); }
        EXPECT_EQ(folderContents(dir.path() / "out").size(), 1 + row.newFiles.size());
        if (!row.newFiles.empty()) { EXPECT_EQ(pictureSize(dir.path() / "out" / row.newFiles.back()).cx, 113u); }
        if (row.options.back() == "ask") {
            EXPECT_NE(r.err.find("x_50pc.jpg already exists. Replace it? [y/N]"), std::string::npos);
        }
    }
}

TEST_F(ResizeCli, RecursiveRunMirrorsTheTreeWithoutLinksAndKeepsDates) {
    const fs::path tree = dir.path() / "in/tree";
    fs::create_directories(tree / "sub/deeper");
    fs::create_directories(tree / ".hidden");
    fs::copy_file(corpus / kJpeg, tree / "a.jpg");
    fs::copy_file(corpus / kPng, tree / "sub/b.png");
    fs::copy_file(corpus / kBmp, tree / "sub/deeper/c.bmp");
    fs::copy_file(corpus / kJpeg, tree / ".hidden/d.jpg");
    testutil::writeFile(tree / "notes.txt", "not a picture");
    fs::create_directory_symlink(tree / "sub", tree / "link");
    fs::create_symlink(tree / "a.jpg", tree / "linked.jpg");
    const std::string single = source(kPng, "single.png");
    const timespec when[2] = {{978307200, 0}, {978307200, 500000000}}; // 2001-01-01
    ASSERT_EQ(::utimensat(AT_FDCWD, (tree / "sub/b.png").c_str(), when, 0), 0);

    RunResult r = run({"-r", "--keep-dates", "-t", "png", "-d", "out", tree.string(), single});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> written;
    for (const auto& entry : fs::recursive_directory_iterator(dir.path() / "out"))
        if (entry.is_regular_file()) written.push_back(fs::relative(entry.path(), dir.path() / "out").string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, (std::vector<std::string>{"a_50pc.png", "single_50pc.png", "sub/b_50pc.png",
                                                 "sub/deeper/c_50pc.png"}));
    // Walk order: a folder's pictures, then its subfolders depth first, then the next argument.
    EXPECT_LT(r.out.find("a_50pc.png"), r.out.find("sub/b_50pc.png"));
    EXPECT_LT(r.out.find("sub/deeper/c_50pc.png"), r.out.find("single_50pc.png"));
    struct stat info {};
    ASSERT_EQ(::stat((dir.path() / "out/sub/b_50pc.png").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, when[1].tv_sec);
    EXPECT_EQ(info.st_mtim.tv_nsec, when[1].tv_nsec);

    // Without -r a folder is refused as before; without --keep-dates the copy is new.
    r = run({"-k", "-t", "png", "-d", "out2", tree.string(), (tree / "sub/b.png").string()});
    EXPECT_EQ(r.status, 1);
    ASSERT_EQ(::stat((dir.path() / "out2/b_50pc.png").c_str(), &info), 0);
    EXPECT_GT(info.st_mtim.tv_sec, when[1].tv_sec);
}

TEST_F(ResizeCli, ColourProfileKeptUnlessStripped) {
    const std::string photo = source("pillow/ok/jpeg/pil_sample_rgb.jpg", "icc.jpg"); // 3144-byte profile
    const std::string layered = source("pillow/ok/psd/hopper.psd", "icc.psd");
    const std::vector<std::uint8_t> profile = imaging::ReadIccProfile(photo);
    ASSERT_EQ(profile.size(), 3144u);
    // exiftool reads the same bytes, so the reader is not just agreeing with the writer.
    if (std::system("exiftool -ver >/dev/null 2>&1") == 0) {
        ASSERT_EQ(std::system(("exiftool -q -b -ICC_Profile " + photo + " > " + dir / "icc.icc").c_str()), 0);
        EXPECT_EQ(testutil::readFile(dir / "icc.icc"), std::string(profile.begin(), profile.end()));
    }
    ASSERT_EQ(imaging::ReadIccProfile(layered).size(), 3144u); // another sRGB profile of the same size
    for (const std::string& file : {photo, layered}) {
        const std::vector<std::uint8_t> own = imaging::ReadIccProfile(file);
        for (const char* type : {"jpg", "png", "psd", "webp", "bmp"}) {
            SCOPED_TRACE(file + " " + type);
            fs::remove_all(dir.path() / "out");
            fs::remove_all(dir.path() / "bare");
            ASSERT_EQ(run({"-t", type, "-d", "out", file}).status, 0);
            ASSERT_EQ(run({"--strip-icc", "-t", type, "-d", "bare", file}).status, 0);
            const std::string name = fs::path(file).stem().string() + "_50pc." + type;
            const bool holds = std::string(type) != "bmp";
            EXPECT_EQ(imaging::ReadIccProfile(dir / ("out/" + name)), holds ? own : std::vector<std::uint8_t>{});
            EXPECT_TRUE(imaging::ReadIccProfile(dir / ("bare/" + name)).empty());
            EXPECT_EQ(pictureSize(dir.path() / "out" / name).cx, pictureSize(dir.path() / "bare" / name).cx);
        }
    }
}

// A zone plate halved: the exact route keeps full-contrast false rings in the corner, where
// every filter shows grey; the names do not change with the filter.
TEST_F(ResizeCli, FiltersTurnFineRingsGreyUnderTheSameNames) {
    CISImageEx zone;
    ASSERT_EQ(zone.Allocate(400, 300, 24), kImageOk);
    const std::int64_t period = 1000;
    for (std::uint32_t y = 0; y < 300; ++y)
        for (std::uint32_t x = 0; x < 400; ++x) {
            const std::int64_t dx = std::int64_t{x} - 200, dy = std::int64_t{y} - 150;
            const std::int64_t r2 = (dx * dx + dy * dy) % period, n = 2 * std::min(r2, period - r2);
            const auto v = static_cast<std::uint8_t>(255 - 255 * (3 * n * n * period - 2 * n * n * n) /
                                                               (period * period * period));
            std::fill_n(zone.GetPixels() + (std::size_t{y} * 400 + x) * 3, 3, v);
        }
    ASSERT_EQ(zone.Write(kImagePng, (dir.path() / "in" / "zone.png").string()), kImageOk);
    struct Row {
        std::vector<std::string> options;
        double maxSpread; // standard deviation of the 30 x 30 corner
    } const rows[] = {
        {{}, 1000},
        {{"--filter", "exact"}, 1000},
        {{"--filter", "lanczos3"}, 12},
        {{"--filter=mitchell"}, 12},
        {{"--filter", "catmull-rom"}, 12},
        {{"--filter", "area"}, 40}, // a box average is a weak low-pass: rings fade, not vanish
        {{"--filter", "lanczos3", "--linear-light"}, 12},
    };
    double exactSpread = 0;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        std::vector<std::string> arguments = rows[i].options;
        const std::string folder = "f" + std::to_string(i);
        arguments.insert(arguments.end(), {"-s", "50%", "-t", "png", "-d", folder, (dir.path() / "in" / "zone.png").string()});
        const RunResult r = run(arguments);
        SCOPED_TRACE(folder + "\n" + r.err);
        ASSERT_EQ(r.status, 0);
        CISImageEx out;
        ASSERT_EQ(out.Read((dir.path() / folder / "zone_50pc.png").string(), kImageDetect), kImageOk);
        ASSERT_EQ(out.width * out.height, 200u * 150);
        double sum = 0, squares = 0;
        for (std::uint32_t y = 0; y < 30; ++y)
            for (std::uint32_t x = 0; x < 30; ++x) {
                const double v = out.GetPixels()[(std::size_t{y} * 200 + x) * 3];
                sum += v;
                squares += v * v;
            }
        const double spread = std::sqrt(squares / 900 - (sum / 900) * (sum / 900));
        EXPECT_LE(spread, rows[i].maxSpread);
        if (i == 0) exactSpread = spread;
    }
    EXPECT_GT(exactSpread, 60); // the rings the filters remove are there to remove
}

TEST_F(ResizeCli, MetadataKeptUprightAndSizedOrStrippedOfPrivateParts) {
    using imaging::detail::ExifDirectory;
    // A 400 x 300 JPEG stored turned (Orientation 6), with GPS, a maker note, serial numbers,
    // a thumbnail and an XMP packet.
    CISImageEx picture;
    ASSERT_EQ(picture.Allocate(400, 300, 24), kImageOk);
    std::fill_n(picture.GetPixels(), 400 * 300 * 3, std::uint8_t{90});
    ASSERT_EQ(picture.Write(kImageJpeg, (dir.path() / "plain.jpg").string()), kImageOk);
    ASSERT_EQ(picture.Allocate(16, 12, 24), kImageOk);
    ASSERT_EQ(picture.Write(kImageJpeg, (dir.path() / "thumb.jpg").string()), kImageOk);
    imaging::detail::ExifBlock block;
    auto tag = [&block](ExifDirectory d, std::uint16_t id, std::uint16_t type, const std::string& bytes) {
        const std::size_t unit = imaging::detail::exifTypeSize(type);
        block.put(d, {id, type, static_cast<std::uint32_t>(bytes.size() / unit), {bytes.begin(), bytes.end()}});
    };
    tag(ExifDirectory::ifd0, 0x010F, 2, std::string("Brimvale test\0", 14));
    tag(ExifDirectory::ifd0, 0x0112, 3, std::string("\6\0", 2));
    tag(ExifDirectory::exif, 0x9000, 7, "0232");
    tag(ExifDirectory::exif, 0x927C, 7, "maker note bytes");
    tag(ExifDirectory::exif, 0xA002, 3, std::string("\x90\x01", 2));
    tag(ExifDirectory::exif, 0xA003, 3, std::string("\x2C\x01", 2));
    tag(ExifDirectory::exif, 0xA430, 2, std::string("Ann Owner\0", 10));
    tag(ExifDirectory::exif, 0xA431, 2, std::string("BODY123\0", 8));
    tag(ExifDirectory::exif, 0xA435, 2, std::string("LENS456\0", 8));
    tag(ExifDirectory::gps, 0x0000, 1, std::string("\2\3\0\0", 4));
    tag(ExifDirectory::gps, 0x0001, 2, std::string("N\0", 2));
    tag(ExifDirectory::ifd1, 0x0103, 3, std::string("\6\0", 2));
    const std::string thumb = testutil::readFile(dir.path() / "thumb.jpg");
    block.thumbnail.assign(thumb.begin(), thumb.end());
    const std::vector<std::uint8_t> tiff = imaging::detail::buildExifTiff(block);
    const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                            "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                            "rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'><dc:creator><rdf:Seq>"
                            "<rdf:li>Ann</rdf:li></rdf:Seq></dc:creator></rdf:Description></rdf:RDF></x:xmpmeta>";
    const std::string plain = testutil::readFile(dir.path() / "plain.jpg");
    const fs::path photo = dir.path() / "in" / "meta.jpg";
    const std::string withXmp = withApp1(plain, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + xmp);
    const std::string exif = std::string("Exif\0\0", 6) + std::string(tiff.begin(), tiff.end());
    testutil::writeFile(photo, withApp1(withXmp, exif));

    auto tags = [this](const fs::path& file) {
        EXPECT_EQ(std::system(("exiftool -a -G0 -s -s -n " + file.string() + " > " + (dir / "tags.txt")).c_str()), 0);
        return testutil::readFile(dir / "tags.txt");
    };
    const std::string given = tags(photo);
    for (const char* line : {"[EXIF] Orientation: 6", "[EXIF] GPSLatitudeRef: N", "[EXIF] SerialNumber: BODY123",
                             "[EXIF] ThumbnailImage:", "[XMP] Creator: Ann"})
        ASSERT_NE(given.find(line), std::string::npos) << line << "\n" << given;

    // The copy is 150 x 200: the upright 300 x 400 picture halved.
    const std::vector<std::string> kept = {"[EXIF] Orientation: 1", "[EXIF] ExifImageWidth: 150",
                                           "[EXIF] ExifImageHeight: 200", "[EXIF] Make: Brimvale test"};
    const std::vector<std::string> privateParts = {"[EXIF] GPS", "MakerNote", "[EXIF] SerialNumber", "LensSerialNumber",
                                                   "OwnerName", "[XMP]"};
    struct Row {
        std::vector<std::string> options;
        std::string type;
        std::vector<std::string> present, absent;
    } const rows[] = {
        {{"--keep-metadata"}, "jpg", {"[EXIF] GPSLatitudeRef: N", "[EXIF] LensSerialNumber: LENS456", "[XMP] Creator: Ann"}, {}},
        {{"--keep-metadata", "--strip-private"}, "jpg", {}, privateParts},
        {{"--keep-metadata"}, "png", {"[EXIF] GPSLatitudeRef: N", "[EXIF] OwnerName: Ann Owner", "[XMP] Creator: Ann"}, {}},
        {{"--keep-metadata", "--strip-private"}, "png", {}, privateParts},
        {{"--keep-metadata"}, "webp", {"[EXIF] GPSLatitudeRef: N", "[EXIF] SerialNumber: BODY123", "[XMP] Creator: Ann"}, {}},
        {{"--keep-metadata", "--strip-private", "--lossless"}, "webp", {}, privateParts},
        {{}, "jpg", {}, {"[EXIF]", "[XMP]"}},
        {{}, "webp", {}, {"[EXIF]", "[XMP]"}},
        {{}, "png", {}, {"[EXIF]", "[XMP]"}},
        {{"--keep-metadata"}, "bmp", {}, {"[EXIF]", "[XMP]"}},
    };
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        const std::string folder = "m" + std::to_string(i);
        std::vector<std::string> arguments = row.options;
        arguments.insert(arguments.end(), {"-s", "50%", "-t", row.type, "-d", folder, photo.string()});
        const RunResult r = run(arguments);
        SCOPED_TRACE(folder + "\n" + r.err);
        ASSERT_EQ(r.status, 0);
        const fs::path out = dir.path() / folder / ("meta_50pc." + row.type);
        EXPECT_EQ(pictureSize(out).cx, 150u);
        const std::string found = tags(out);
        SCOPED_TRACE(found);
        const bool keeps = !row.options.empty() && row.type != "bmp";
        std::vector<std::string> present = row.present, absent = row.absent;
        if (keeps) present.insert(present.end(), kept.begin(), kept.end());
        absent.insert(absent.end(), {"Warning", "Thumbnail", "Orientation: 6"});
        for (const std::string& line : present) EXPECT_NE(found.find(line), std::string::npos) << line;
        for (const std::string& line : absent) EXPECT_EQ(found.find(line), std::string::npos) << line;
        if (keeps) {
            const std::string check = "exiv2 -q -pa " + out.string() + " > " + (dir / "exiv2.txt") + " 2>&1";
            EXPECT_EQ(std::system(check.c_str()), 0);
            const std::string exiv2 = testutil::readFile(dir / "exiv2.txt");
            EXPECT_NE(exiv2.find("Exif.Image.Orientation"), std::string::npos) << exiv2;
            EXPECT_EQ(exiv2.find("Warning"), std::string::npos) << exiv2;
            EXPECT_EQ(exiv2.find("Error"), std::string::npos) << exiv2;
        }
    }
}

// --max-size: each line names the quality chosen; a picture over the limit even at quality 1
// is still written and makes the exit status 1, but does not stop the run.
TEST_F(ResizeCli, MaxSizeChoosesTheQualityAndReportsPicturesOverIt) {
    const std::string first = source(kJpeg, "a.jpg"), second = source(kBmp, "b.bmp");
    struct Row {
        std::vector<std::string> options;
        int status;
        std::vector<std::string> written; // in out/
        std::string said;                 // on standard output or error
    } const rows[] = {
        {{"--max-size", "6k"}, 0, {"a_50pc.jpg", "b_50pc.jpg"}, "a_50pc.jpg (113x74, "},
        {{"--max-size=1M", "--quiet"}, 0, {"a_50pc.jpg", "b_50pc.jpg"}, "2 pictures saved"},
        {{"--max-size", "300"}, 1, {"a_50pc.jpg", "b_50pc.jpg"}, "a_50pc.jpg is "}, // tables alone take more
        {{"-k", "--max-size", "300"}, 1, {"a_50pc.jpg", "b_50pc.jpg"}, "b_50pc.jpg is "},
        {{"--max-size", "0"}, 2, {}, "bad value '0'"},
        {{"--max-size", "5X"}, 2, {}, "bad value '5X'"},
        {{"--max-size", "5K", "-t", "png"}, 2, {}, "--max-size needs"},
        {{"--max-size", "5K", "-t", "webp", "--lossless"}, 2, {}, "--max-size needs"},
        {{"--max-size", "2k", "-t", "webp"}, 0, {"a_50pc.webp", "b_50pc.webp"}, "a_50pc.webp (113x74, "},
    };
    for (const Row& row : rows) {
        fs::remove_all(dir.path() / "out");
        std::vector<std::string> arguments = row.options;
        arguments.insert(arguments.end(), {"-d", "out", first, second});
        const RunResult r = run(arguments);
        SCOPED_TRACE(row.options[1] + "\n" + r.out + r.err);
        EXPECT_EQ(r.status, row.status);
        EXPECT_NE((r.out + r.err).find(row.said), std::string::npos);
        std::vector<std::string> names;
        if (fs::exists(dir.path() / "out")) names = testutil::namesIn(dir.path() / "out");
        EXPECT_EQ(names, row.written);
        // quality N after M encodings: the quality of a file within the limit, found in at most 8
        if (row.options[1].ends_with('k')) {
            const std::uintmax_t limit = std::stoul(row.options[1]) * 1024;
            for (const std::string& name : names) EXPECT_LE(fs::file_size(dir.path() / "out" / name), limit);
            const std::size_t at = r.out.find("KB, quality ");
            ASSERT_NE(at, std::string::npos);
            const int quality = std::stoi(r.out.substr(at + 12));
            EXPECT_TRUE(quality > 1 && quality < 100) << quality;
            EXPECT_LE(std::stoi(r.out.substr(r.out.find(" after ", at) + 7)), 8);
        }
    }
}

// --fast on a 1200 x 800 JPEG stored on its side (Orientation 6): reduced decoding where the
// copy is at most a quarter of the upright picture on each side, close to the exact copy;
// the same bytes where it does not apply. Without --fast the copy is the one the plain
// route (read, bicubic resize, write) makes.
TEST_F(ResizeCli, FastCopiesStayCloseToTheExactOnes) {
    CISImageEx picture;
    ASSERT_EQ(picture.Allocate(1200, 800, 24), kImageOk);
    for (std::uint32_t y = 0; y < 800; ++y)
        for (std::uint32_t x = 0; x < 1200; ++x) {
            std::uint8_t* p = picture.GetPixels() + (std::size_t{y} * 1200 + x) * 3;
            const bool block = x > 300 && x < 700 && y > 200 && y < 500; // hard edges
            p[0] = static_cast<std::uint8_t>(block ? 230 : x * 200 / 1200);
            p[1] = static_cast<std::uint8_t>(128 + 100 * std::sin(x * 0.05) * std::cos(y * 0.03));
            p[2] = static_cast<std::uint8_t>(block ? 20 : y * 255 / 800);
        }
    picture.jpegQuality = 90;
    ASSERT_EQ(picture.Write(kImageJpeg, (dir.path() / "flat.jpg").string()), kImageOk);
    imaging::detail::ExifBlock exif;
    exif.put(imaging::detail::ExifDirectory::ifd0, {0x0112, 3, 1, {0, 6}});
    exif.bigEndian = true;
    const std::vector<std::uint8_t> tiff = imaging::detail::buildExifTiff(exif);
    const fs::path photo = dir.path() / "in" / "side.jpg";
    testutil::writeFile(photo, withApp1(testutil::readFile(dir.path() / "flat.jpg"),
                                        std::string("Exif\0\0", 6) + std::string(tiff.begin(), tiff.end())));
    const std::string png = source(kPng, "small.png");

    struct Row {
        std::vector<std::string> size;
        std::string file, output;
        ImageSize upright;
        double maxMean; // the mean and largest difference from the exact copy, per channel
        int maxPeak;    // (0: the same bytes); the peaks lie on the hard edges
    } const rows[] = {
        {{"--fit", "100x100"}, photo.string(), "side_fit100x100.jpg", {67, 100}, 6.5, 96}, // 1/4
        {{"--fit", "300x300"}, photo.string(), "side_fit300x300.jpg", {200, 300}, 2.5, 80}, // 1/2
        {{"-s", "50%"}, photo.string(), "side_50pc.jpg", {400, 600}, 0, 0},
        {{"--fit", "8x8"}, png, "small_fit8x8.jpg", {8, 8}, 0, 0}, // not a JPEG
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.output);
        std::vector<std::string> arguments = row.size;
        arguments.insert(arguments.end(), {"-d", "exact", row.file});
        ASSERT_EQ(run(arguments).status, 0);
        arguments.insert(arguments.begin(), "--fast");
        arguments[arguments.size() - 2] = "fast";
        ASSERT_EQ(run(arguments).status, 0);
        const fs::path exactFile = dir.path() / "exact" / row.output, fastFile = dir.path() / "fast" / row.output;
        CISImageEx exact, fast, plainRoute;
        ASSERT_EQ(exact.Read(exactFile.string(), kImageDetect), kImageOk);
        ASSERT_EQ(fast.Read(fastFile.string(), kImageDetect), kImageOk);
        EXPECT_EQ(fast.width, row.upright.cx);
        EXPECT_EQ(fast.height, row.upright.cy);
        ASSERT_EQ(exact.width * exact.height, fast.width * fast.height);
        EXPECT_EQ(testutil::readFile(exactFile) == testutil::readFile(fastFile), row.maxPeak == 0);
        double sum = 0;
        int peak = 0;
        const std::size_t samples = std::size_t{exact.width} * exact.height * 3;
        for (std::size_t i = 0; i < samples; ++i) {
            const int d = std::abs(exact.GetPixels()[i] - fast.GetPixels()[i]);
            sum += d;
            peak = std::max(peak, d);
        }
        EXPECT_LE(sum / samples, row.maxMean);
        EXPECT_LE(peak, row.maxPeak);

        ASSERT_EQ(plainRoute.Read(row.file, kImageDetect), kImageOk);
        ASSERT_EQ(plainRoute.ResizeInPlace(row.upright, 17), kImageOk);
        ASSERT_EQ(plainRoute.Write(kImageJpeg, (dir.path() / "plain.jpg").string()), kImageOk);
        EXPECT_EQ(testutil::readFile(exactFile), testutil::readFile(dir.path() / "plain.jpg"));
    }
}
