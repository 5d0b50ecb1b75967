// SPDX-License-Identifier: MIT
// brimvale-resize run as a child process on copies of corpus pictures: names, sizes,
// parallel runs, --info, exit statuses, the overwrite rule, and metafile text drawn as the
// window draws it.
#include "browse/formatsize.h"
#include "corpus.h"
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
#include <functional>
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

constexpr const char* kJpeg = "libjpeg-turbo/ok/testorig.jpg"; // 227 x 149
constexpr const char* kPng = "pngsuite/primary/basn2c08.png";  // 32 x 32, RGB
constexpr const char* kPalettePng = "pngsuite/primary/basn3p08.png";
constexpr const char* kBmp = "bmpsuite/g/rgb24.bmp";           // 127 x 64
constexpr const char* kGif = "image-gif/ok/sample_1.gif";

// Writes tags into pictures in place (-n: numbers as they are stored); 0 when it could.
int exiftool(const std::string& arguments) {
    return std::system(("exiftool -q -n -overwrite_original " + arguments).c_str());
}

// A picture a run leaves, from its source; both relative to the test folder.
struct Written {
    std::string source, file;
    ImageSize size;
};

// One run of brimvale-resize in the test folder on the pictures makeSources puts under in/.
struct Call {
    std::vector<std::string> arguments;
    int status = 0;
    std::vector<std::string> says = {};   // on standard output or error; none: standard output is
                                          // exactly the lines of `written`, then the summary
    std::vector<Written> written = {};    // every file the run leaves outside in/, in order
    std::vector<std::string> before = {}; // copies of kPng there before the run, kept unless written
    std::string input = {};               // standard input
    std::uintmax_t maxBytes = 0;          // --max-size in K: every file within it, its quality told
};

// A run that writes one picture from the last argument, says so and sums it up, nothing else.
Call exact(std::vector<std::string> arguments, const std::string& file, ImageSize size,
          std::vector<std::string> before = {}) {
    const std::string source = arguments.back();
    return {std::move(arguments), 0, {}, {{source, file, size}}, std::move(before)};
}

// `options` refused as a whole before in/a.jpg is read: status 2, a message, nothing written.
Call bad(std::vector<std::string> options) {
    options.insert(options.end(), {"-d", "out", "in/a.jpg"});
    return {std::move(options), 2};
}

class ResizeCli : public ::testing::Test {
protected:
    testutil::TempDir dir, io; // the run's folder, and its standard input and output
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

    // Runs brimvale-resize in `cwd` (the test folder when empty) with `input` as standard
    // input; a run that hangs is killed after two minutes and fails the test (status -1)
    // instead of blocking the suite.
    RunResult run(const std::vector<std::string>& arguments, const fs::path& cwd = {},
                  const std::string& input = {}) {
        testutil::writeFile(io.path() / "in.txt", input);
        std::string command = "cd '" + (cwd.empty() ? dir.str() : cwd.string()) + "' && timeout -s KILL 120 " +
                              BRIMVALE_RESIZE_PATH;
        for (const std::string& a : arguments) command += " '" + a + "'"; // no argument holds a quote
        command += " < '" + io / "in.txt" + "' > '" + io / "out.txt" + "' 2> '" + io / "err.txt" + "'";
        const int status = std::system(command.c_str());
        RunResult result;
        if (WIFEXITED(status) && WEXITSTATUS(status) < 124) result.status = WEXITSTATUS(status);
        result.out = testutil::readFile(io / "out.txt");
        result.err = testutil::readFile(io / "err.txt");
        return result;
    }

    // The pictures the runs read, dated 2001-01-01 00:00:00.5 so a copy keeping its date
    // shows it, a tree to walk with a link, a hidden folder and a text file in it, and files
    // that are no pictures to read.
    void makeSources() {
        const fs::path in = dir.path() / "in";
        const std::pair<const char*, const char*> copies[] = {
            {kJpeg, "IMG_0001.JPG"}, {kJpeg, "IMG.0001.jpg"}, {kJpeg, "a.jpg"}, {kBmp, "b.bmp"},
            {kPng, "q.png"}, {kPalettePng, "pal.png"}, {"pngsuite/corrupt/xs1n0g01.png", "bad.png"},
            {kJpeg, "tree/a.jpg"}, {kPng, "tree/sub/b.png"}, {kBmp, "tree/sub/deeper/c.bmp"},
            {kJpeg, "tree/.hidden/d.jpg"}};
        const timespec when[2] = {{978307200, 0}, {978307200, 500000000}};
        for (const auto& [from, to] : copies) {
            fs::create_directories((in / to).parent_path());
            fs::copy_file(corpus / from, in / to);
            ASSERT_EQ(::utimensat(AT_FDCWD, (in / to).c_str(), when, 0), 0);
        }
        testutil::writeFile(in / "tree/notes.txt", "not a picture");
        fs::create_directory_symlink(in / "tree/sub", in / "tree/link");
        fs::create_symlink(in / "tree/a.jpg", in / "tree/linked.jpg");
        testutil::writeFile(in / "passwd", "root:x:0:0:root:/root:/bin/bash\n");
        ASSERT_EQ(::mkfifo((in / "pipe.jpg").c_str(), 0644), 0);
        CISImageEx line;
        ASSERT_EQ(line.Allocate(10, 1, 24), kImageOk);
        ASSERT_EQ(line.Write(kImagePng, (in / "thin.png").string()), kImageOk);
    }

    // Runs each row in a folder holding only in/ and the row's `before` files, and checks
    // it; `also` checks more of row i while its outputs are there.
    void expectRuns(const std::vector<Call>& rows, const std::function<void(std::size_t)>& also = {}) {
        makeSources();
        ASSERT_FALSE(HasFatalFailure());
        const std::string png = testutil::readFile(corpus / kPng);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const Call& row = rows[i];
            for (const auto& entry : fs::directory_iterator(dir.path()))
                if (entry.path().filename() != "in") fs::remove_all(entry.path());
            for (const std::string& file : row.before) {
                fs::create_directories((dir.path() / file).parent_path());
                fs::copy_file(corpus / kPng, dir.path() / file);
            }
            const RunResult r = run(row.arguments, {}, row.input);
            std::string shown;
            for (const std::string& a : row.arguments) shown += a + " ";
            SCOPED_TRACE(shown + "\n" + r.out + r.err);
            EXPECT_EQ(r.status, row.status);
            for (const std::string& text : row.says) EXPECT_NE((r.out + r.err).find(text), std::string::npos) << text;
            if (row.status == 2) {
                EXPECT_EQ(r.out, "");
                EXPECT_NE(r.err.find("brimvale-resize: "), std::string::npos);
                EXPECT_FALSE(fs::exists(dir.path() / "out"));
            }
            const bool quiet = std::ranges::count(row.arguments, "--quiet") > 0;
            const bool keepsDates = std::ranges::count(row.arguments, "--keep-dates") > 0;
            std::vector<std::string> expected = row.before, found;
            std::string lines;
            std::uintmax_t total = 0;
            for (const Written& w : row.written) {
                const fs::path file = dir.path() / w.file;
                ASSERT_TRUE(fs::is_regular_file(file)) << w.file;
                const ImageSize size = pictureSize(file);
                EXPECT_EQ(size.cx, w.size.cx) << w.file;
                EXPECT_EQ(size.cy, w.size.cy) << w.file;
                const std::uintmax_t bytes = fs::file_size(file);
                total += bytes;
                if (row.maxBytes) { EXPECT_LE(bytes, row.maxBytes * 1024) << w.file; }
                lines += w.source + " -> " + w.file + " (" + std::to_string(w.size.cx) + "x" +
                         std::to_string(w.size.cy) + ", " + FormatSize(bytes) + ")\n";
                if (!quiet) { EXPECT_NE((r.out + r.err).find(w.source + " -> " + w.file), std::string::npos); }
                if (w.source.starts_with("in/")) {
                    EXPECT_EQ(fs::last_write_time(file) == fs::last_write_time(dir.path() / w.source), keepsDates)
                        << w.file;
                }
                if (!w.file.starts_with("in/") && !std::ranges::count(expected, w.file)) expected.push_back(w.file);
            }
            if (row.says.empty() && !row.written.empty()) {
                const std::string where = row.written[0].file.starts_with("in/")
                                              ? "the same folder as the original picture(s)"
                                              : fs::path(row.written[0].file).parent_path().string();
                const std::size_t n = row.written.size();
                EXPECT_EQ(r.err, "");
                EXPECT_EQ(r.out, lines + std::to_string(n) + (n == 1 ? " picture" : " pictures") + " saved to " +
                                     where + " (" + FormatSize(total) + " total).\n");
            }
            // Nothing else is left: no temporary file, no copy of a link or of a hidden picture.
            for (auto it = fs::recursive_directory_iterator(dir.path()); it != fs::end(it); ++it) {
                if (it->path() == dir.path() / "in") it.disable_recursion_pending();
                else if (it->is_regular_file()) found.push_back(fs::relative(it->path(), dir.path()).string());
            }
            std::ranges::sort(expected);
            std::ranges::sort(found);
            EXPECT_EQ(found, expected);
            for (const std::string& file : row.before) {
                if (std::ranges::none_of(row.written, [&](const Written& w) { return w.file == file; })) {
                    EXPECT_TRUE(testutil::readFile(dir.path() / file) == png) << file << " was replaced";
                }
            }
            if (row.maxBytes) { // a quality between the ends, found in at most 8 encodings
                const std::size_t at = r.out.find("KB, quality ");
                ASSERT_NE(at, std::string::npos);
                const int quality = std::stoi(r.out.substr(at + 12));
                EXPECT_TRUE(quality > 1 && quality < 100) << quality;
                EXPECT_LE(std::stoi(r.out.substr(r.out.find(" after ", at) + 7)), 8);
            }
            if (also) also(i);
        }
    }
};

} // namespace

TEST_F(ResizeCli, NamesAndSizesOfEveryChoice) {
    const std::string P = "in/IMG_0001.JPG", Q = "in/q.png", T = "in/tree";
    expectRuns({
        exact({"-s", "800x600", "-d", "out", P}, "out/IMG_0001_800x600.jpg", {800, 525}),
        exact({"-s", "800x600", "-d", "out", "in/IMG.0001.jpg"}, "out/IMG.0001_800x600.jpg", {800, 525}),
        exact({"-s", "25%", "-t", "png", "-d", "out", P}, "out/IMG_0001_25pc.png", {56, 37}),
        exact({"--percent", "33", "-d", "out", P}, "out/IMG_0001_At33pc.jpg", {74, 49}),
        exact({"--dimensions", "1200x900", "-t", "bmp", "-d", "out", P}, "out/IMG_0001__1200x900.bmp", {1200, 900}),
        exact({"--screen", "1920x1080", "--source-folder", P}, "in/IMG_0001__S1920x1080.jpg", {1920, 1080}),
        exact({"-s", "75%", "--dest=out", P}, "out/IMG_0001_75pc.jpg", {170, 111}),
        exact({"-s", "320x240", "-t", "gif", "-d", "out", P}, "out/IMG_0001_320x240.gif", {320, 210}),
        exact({"--percent=29", "-t", "psd", "-d", "out", P}, "out/IMG_0001_At28pc.psd", {65, 43}),
        exact({"-s", "25%", "-t", "png", "-d", "deep/er/out/", P}, "deep/er/out/IMG_0001_25pc.png", {56, 37}),
        exact({"--long-edge", "100", "-d", "out", P}, "out/IMG_0001_L100.jpg", {100, 66}),
        exact({"--short-edge=100", "-t", "png", "-d", "out", P}, "out/IMG_0001_S100.png", {152, 100}),
        exact({"--fit", "300x100", "-d", "out", P}, "out/IMG_0001_fit300x100.jpg", {152, 100}),
        exact({"--fit", "100x300", "-d", "out", P}, "out/IMG_0001_fit100x300.jpg", {100, 66}),
        exact({"--fit", "100x300", "-t", "png", "-d", "out", Q}, "out/q_fit100x300.png", {100, 100}),
        exact({"--long-edge", "1000", "--no-enlarge", "-d", "out", P}, "out/IMG_0001_L1000.jpg", {227, 149}),
        exact({"--dimensions", "1200x100", "--no-enlarge", "-d", "out", P}, "out/IMG_0001__1200x100.jpg", {227, 149}),
        exact({"--short-edge", "16", "--no-enlarge", "-t", "png", "-d", "out", Q}, "out/q_S16.png", {16, 16}),
        // -r mirrors the tree, without links and hidden folders: a folder's pictures, then its
        // subfolders depth first, then the next argument; --keep-dates keeps the sources' dates.
        {{"-r", "--keep-dates", "-t", "png", "-d", "out", T, Q}, 0, {},
         {{T + "/a.jpg", "out/a_50pc.png", {113, 74}}, {T + "/sub/b.png", "out/sub/b_50pc.png", {16, 16}},
          {T + "/sub/deeper/c.bmp", "out/sub/deeper/c_50pc.png", {63, 32}}, {Q, "out/q_50pc.png", {16, 16}}}},
        {{"-k", "-t", "png", "-d", "out", T, T + "/sub/b.png"}, 1, {"in/tree: Unable to read the image (error 8"},
         {{T + "/sub/b.png", "out/b_50pc.png", {16, 16}}}},
    });
}

// "a.png" names the same output as "a.jpg" and fails like in a sequential run, as does the
// missing file; the other eight are written alike, byte for byte, and no temporary file is left.
TEST_F(ResizeCli, ParallelRunsMatchTheSequentialRun) {
    std::vector<std::string> files = {source(kJpeg, "a.jpg"), source(kPng, "b.png"), source(kBmp, "c.bmp"),
                                      source(kPalettePng, "d.png"), source(kGif, "e.gif"), source(kJpeg, "f.jpg"),
                                      dir / "in/missing.jpg", source(kPng, "a.png"), source(kBmp, "g.bmp"),
                                      source(kJpeg, "h.jpg")};
    for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
             {"-t", "png"}, {"-t", "jpg"}, {"-t", "jpg", "--max-size", "40K", "--fast"}}) {
        SCOPED_TRACE(options.back());
        std::pair<RunResult, std::map<std::string, std::string>> runs[2]; // -j 1, -j 4
        for (const char* jobs : {"1", "4"}) {
            const fs::path cwd = dir.path() / (options.back() + jobs);
            fs::create_directories(cwd);
            std::vector<std::string> arguments{"-k", "-j", jobs, "-s", "640x480", "-d", "out"};
            arguments.insert(arguments.end(), options.begin(), options.end());
            arguments.insert(arguments.end(), files.begin(), files.end());
            runs[*jobs == '4'] = {run(arguments, cwd), folderContents(cwd / "out")};
        }
        const auto& [sequential, parallel] = runs;
        EXPECT_EQ(sequential.first.status, 1);
        EXPECT_EQ(parallel.first.status, 1);
        EXPECT_EQ(sequential.first.out, parallel.first.out);
        EXPECT_EQ(sequential.first.err, parallel.first.err);
        EXPECT_EQ(sequential.second, parallel.second);
        EXPECT_EQ(sequential.second.size(), 8u);
        EXPECT_NE(sequential.first.out.find("8 pictures saved to out ("), std::string::npos);
        EXPECT_NE(sequential.first.err.find("missing.jpg: Unable to read the image"), std::string::npos);
        EXPECT_NE(sequential.first.err.find("a_640x480." + options[1] + " already exists"), std::string::npos);
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
    ASSERT_EQ(zone.Write(kImagePng, dir / "in/zone.png"), kImageOk);
    // The largest standard deviation of the copy's 30 x 30 corner, filter by filter.
    const std::pair<std::vector<std::string>, double> filters[] = {
        {{}, 1000}, {{"--filter", "exact"}, 1000}, {{"--filter", "lanczos3"}, 12}, {{"--filter=mitchell"}, 12},
        {{"--filter", "catmull-rom"}, 12}, {{"--filter", "lanczos3", "--linear-light"}, 12},
        {{"--filter", "area"}, 40}, // a box average is a weak low-pass: rings fade, not vanish
    };
    std::vector<Call> rows;
    for (auto [options, spread] : filters) {
        options.insert(options.end(), {"-s", "50%", "-t", "png", "-d", "out", "in/zone.png"});
        rows.push_back(exact(options, "out/zone_50pc.png", {200, 150}));
    }
    std::vector<double> spreads;
    expectRuns(rows, [&](std::size_t i) {
        CISImageEx out;
        ASSERT_EQ(out.Read(dir / "out/zone_50pc.png", kImageDetect), kImageOk);
        ASSERT_EQ(out.width * out.height, 200u * 150);
        double sum = 0, squares = 0;
        for (std::uint32_t y = 0; y < 30; ++y)
            for (std::uint32_t x = 0; x < 30; ++x) {
                const double v = out.GetPixels()[(std::size_t{y} * 200 + x) * 3];
                sum += v;
                squares += v * v;
            }
        spreads.push_back(std::sqrt(squares / 900 - (sum / 900) * (sum / 900)));
        EXPECT_LE(spreads.back(), filters[i].second);
    });
    ASSERT_FALSE(spreads.empty());
    EXPECT_GT(spreads[0], 60); // the rings the filters remove are there to remove
}

TEST_F(ResizeCli, MetadataKeptUprightAndSizedOrStrippedOfPrivateParts) {
    // A 400 x 300 JPEG stored turned (Orientation 6), with GPS, a maker note, serial numbers,
    // a thumbnail and an XMP packet.
    CISImageEx picture;
    ASSERT_EQ(picture.Allocate(400, 300, 24), kImageOk);
    std::fill_n(picture.GetPixels(), 400 * 300 * 3, std::uint8_t{90});
    const std::string photo = dir / "in/meta.jpg", thumb = dir / "thumb.jpg";
    ASSERT_EQ(picture.Write(kImageJpeg, photo), kImageOk);
    ASSERT_EQ(picture.Allocate(16, 12, 24), kImageOk);
    ASSERT_EQ(picture.Write(kImageJpeg, thumb), kImageOk);
    ASSERT_EQ(exiftool("-ExifByteOrder=II -Orientation=6 -Make='Brimvale test' -ExifVersion=0232 "
                       "'-MakerNoteUnknownText=maker note bytes' -ExifImageWidth=400 -ExifImageHeight=300 "
                       "-OwnerName='Ann Owner' -SerialNumber=BODY123 -LensSerialNumber=LENS456 "
                       "'-GPSVersionID=2 3 0 0' -GPSLatitudeRef=N -XMP-dc:Creator=Ann '-ThumbnailImage<=" +
                       thumb + "' " + photo), 0);

    auto tags = [this](const fs::path& file) {
        EXPECT_EQ(std::system(("exiftool -a -G0 -s -s -n " + file.string() + " > " + (dir / "tags.txt")).c_str()), 0);
        return testutil::readFile(dir / "tags.txt");
    };
    const std::string given = tags(photo);
    for (const char* line : {"[EXIF] Orientation: 6", "[EXIF] GPSLatitudeRef: N", "[EXIF] SerialNumber: BODY123",
                             "[EXIF] MakerNote", "[EXIF] ThumbnailImage:", "[XMP] Creator: Ann"})
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
        arguments.insert(arguments.end(), {"-s", "50%", "-t", row.type, "-d", folder, photo});
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

// What a run meets, said in words: a command line refused as a whole (status 2); a named pipe
// or a folder given as a picture (refused at once), a missing file, a file of no known type, a
// size that comes out empty or too large, a folder that takes no file (status 1, stopping at
// the first failure without -k and keeping only the pictures before it); --info lines.
TEST_F(ResizeCli, FailuresAreSaidInWords) {
    const std::string A = "in/a.jpg", out = "out/a_50pc.jpg";
    std::vector<Call> rows = {
        bad({"--frobnicate"}), bad({"-s", "900x700"}), bad({"-j", "0"}), bad({"--percent", "abc"}),
        bad({"-q", "high"}), bad({"-t", "tiff"}), bad({"--lossless"}), bad({"--dimensions", "1200"}),
        bad({"--screen", "0x10"}), bad({"--mode", "19"}), bad({"--overwrite=yes"}), bad({"--metadata-from", A}),
        bad({"--if-exists", "never"}), bad({"--strip-private"}), bad({"--long-edge", "0"}),
        bad({"--short-edge", "-3"}), bad({"--fit", "100"}), bad({"--fit", "0x5"}), bad({"--no-enlarge=1"}),
        bad({"--filter", "bicubic"}), bad({"--linear-light"}), bad({"--filter", "exact", "--linear-light"}),
        bad({"--filter", "area", "--mode", "0"}),
        {{"-d", "out"}, 2}, {{"-d", "out", "--source-folder", A}, 2}, {{A}, 2}, {{"-d", "out", A, "-q"}, 2},
        {{"--stamp", A, A}, 2}, {{"--stamp"}, 2},
        {{"-d", "out", "in/pipe.jpg"}, 1, {"in/pipe.jpg: Unable to read the image (error 8: not a regular file)"}},
        {{"-d", "out", "in"}, 1, {"in: Unable to read the image (error 8: not a regular file)"}},
        {{"-d", "out", "in/thin.png"}, 1, {"in/thin.png to 5x0: the result would be empty (error 5)"}},
        {{"-d", "out", "in/gone.jpg"}, 1, {"in/gone.jpg: Unable to read the image (error 5: no such file)"}},
        {{"-d", "out", "in/passwd"}, 1,
         {"in/passwd: Unable to read the image (error 5: not a picture of a known type)"}},
        {{"--dimensions", "60000x60000", "-d", "out", A}, 1,
         {"in/a.jpg to 60000x60000 (error 90: picture larger than 268 megapixels)"}},
        // Root may write anywhere, but no one makes files in /proc/sys.
        {{"-d", "/proc/sys", A}, 1, {"Unable to write /proc/sys/a_50pc.jpg (error 2: cannot write in /proc/sys: "}},
        // 2835 pixels per metre is 28.35 per centimetre.
        {{"--info", "in/b.bmp", "in/pal.png", A, "in/bad.png"}, 1,
         {"in/b.bmp\ttype=2\twidth=127\theight=64\tbits=24\tcolours=0\txres=28.35\tyres=28.35\tunit=3\n"
          "in/pal.png\ttype=7\twidth=32\theight=32\tbits=8\tcolours=256\txres=0\tyres=0\tunit=1\n"
          "in/a.jpg\ttype=0\twidth=227\theight=149\tbits=24\tcolours=0\txres=1\tyres=1\tunit=1\n"
          "in/bad.png\terror=6\n"}},
    };
    for (const char* jobs : {"1", "3"}) {
        rows.push_back({{"-j", jobs, "-d", "out", A, "in/bad.png", "in/q.png", "in/b.bmp"}, 1,
                        {"in/bad.png: Unable to read the image (error 6: damaged or cut off)", "save image number 2",
                         "1 picture saved to out ("},
                        {{A, out, {113, 74}}}});
    }
    expectRuns(rows);
}

// An output already there is refused, replaced, skipped, asked for or kept beside a
// numbered name; one that is a later source is read after it is written, also in parallel.
TEST_F(ResizeCli, ExistingOutputsSkippedRenamedOrAskedFor) {
    const std::string A = "in/a.jpg", out = "out/a_50pc.jpg", asked = out + " already exists. Replace it? [y/N]";
    const Written replaced{A, out, {113, 74}};
    expectRuns({
        {{"-j", "1", "-d", "out", A}, 1, {out + " already exists"}, {}, {out}}, // refused by default
        exact({"--overwrite", "-d", "out", A}, out, {113, 74}, {out}),
        exact({"--if-exists", "overwrite", "-d", "out", A}, out, {113, 74}, {out}),
        {{"--if-exists", "skip", "-d", "out", A}, 0,
         {"in/a.jpg: out/a_50pc.jpg exists; skipped\n0 pictures saved to out (0 KB total).\n"
          "1 picture skipped: its output already existed.\n"}, {}, {out}},
        {{"--if-exists=ask", "-d", "out", A}, 0, {"1 picture skipped", asked}, {}, {out}, "n\n"},
        {{"--if-exists=ask", "-d", "out", A}, 0, {"1 picture skipped", asked}, {}, {out}, ""},
        {{"--if-exists=ask", "-d", "out", A}, 0, {"1 picture saved", asked}, {replaced}, {out}, "yes\n"},
        exact({"--if-exists", "rename", "-d", "out", A}, "out/a_50pc (1).jpg", {113, 74}, {out}),
        exact({"--if-exists", "rename", "-j", "2", "-d", "out", A}, "out/a_50pc (2).jpg", {113, 74},
              {out, "out/a_50pc (1).jpg"}),
        // The second file is the first one's output: a sequential run reads the new picture
        // (113 x 74) there, not the PNG that was in its place, and so must a parallel one.
        {{"--overwrite", "-j", "1", "-d", "out", A, out}, 0, {}, {replaced, {out, "out/a_50pc_50pc.jpg", {56, 37}}},
         {out}},
        {{"--overwrite", "-j", "4", "-d", "out", A, out}, 0, {}, {replaced, {out, "out/a_50pc_50pc.jpg", {56, 37}}},
         {out}},
    });
}

// --max-size: each line names the quality chosen; a picture over the limit even at quality 1
// is still written and makes the exit status 1, but does not stop the run.
TEST_F(ResizeCli, MaxSizeChoosesTheQualityAndReportsPicturesOverIt) {
    const std::string A = "in/a.jpg", B = "in/b.bmp";
    const std::vector<Written> jpegs = {{A, "out/a_50pc.jpg", {113, 74}}, {B, "out/b_50pc.jpg", {63, 32}}};
    expectRuns({
        {{"--max-size", "6k", "-d", "out", A, B}, 0, {"a_50pc.jpg (113x74, "}, jpegs, {}, {}, 6},
        {{"--max-size=1M", "--quiet", "-d", "out", A, B}, 0, {"2 pictures saved"}, jpegs},
        {{"--max-size", "300", "-d", "out", A, B}, 1, {"a_50pc.jpg is "}, jpegs}, // tables alone take more
        {{"-k", "--max-size", "300", "-d", "out", A, B}, 1, {"b_50pc.jpg is "}, jpegs},
        {{"--max-size", "0", "-d", "out", A, B}, 2, {"bad value '0'"}},
        {{"--max-size", "5X", "-d", "out", A, B}, 2, {"bad value '5X'"}},
        {{"--max-size", "5K", "-t", "png", "-d", "out", A, B}, 2, {"--max-size needs"}},
        {{"--max-size", "5K", "-t", "webp", "--lossless", "-d", "out", A, B}, 2, {"--max-size needs"}},
        {{"--max-size", "2k", "-t", "webp", "-d", "out", A, B}, 0, {"a_50pc.webp (113x74, "},
         {{A, "out/a_50pc.webp", {113, 74}}, {B, "out/b_50pc.webp", {63, 32}}}, {}, {}, 2},
    });
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
    const std::string photo = dir / "in/side.jpg";
    ASSERT_EQ(picture.Write(kImageJpeg, photo), kImageOk);
    ASSERT_EQ(exiftool("-ExifByteOrder=MM -Orientation=6 " + photo), 0);
    const std::string png = source(kPng, "small.png");

    struct Row {
        std::vector<std::string> size;
        std::string file, output;
        ImageSize upright;
        double maxMean; // the mean and largest difference from the exact copy, per channel
        int maxPeak;    // (0: the same bytes); the peaks lie on the hard edges
    } const rows[] = {
        {{"--fit", "100x100"}, photo, "side_fit100x100.jpg", {67, 100}, 6.5, 96}, // 1/4
        {{"--fit", "300x300"}, photo, "side_fit300x300.jpg", {200, 300}, 2.5, 80}, // 1/2
        {{"-s", "50%"}, photo, "side_50pc.jpg", {400, 600}, 0, 0},
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
