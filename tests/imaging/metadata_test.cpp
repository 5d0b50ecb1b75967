// SPDX-License-Identifier: MIT
// Reading and stamping a picture's description, author, copyright and time: JPEGs made
// here with libjpeg (EXIF blocks built by hand, in both byte orders) and PNG corpus files,
// checked byte for byte outside the EXIF segment or text chunks and read back by exiftool
// and exiv2 when they are installed.
#include "corpus.h"
#include "imaging/codecs/exif.h"
#include "imaging/metadata.h"
#include "testutil.h"
#include "writertest.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <csignal>
#include <cstring>
#include <map>
#include <sys/resource.h>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace {

constexpr std::time_t kNow = 1700000000;                // 2023-11-14 22:13:20 UTC
constexpr const char* kNowAtPlus3 = "2023:11:15 01:13:20"; // the same moment at UTC+3
constexpr const char* kExifFailed = "Unable to write EXIF data.";
constexpr const char* kPngFailed = "Unable to set description for PNG cropped image.";

// ---- fixtures -------------------------------------------------------------------------

struct JpegShape {
    int components = 3, hSample = 2, vSample = 2;
    bool progressive = false, jfif = true;
    int width = 48, height = 32;
};

std::string makeJpeg(const JpegShape& shape, const std::vector<std::pair<int, std::string>>& markers = {}) {
    const std::size_t rowSize = static_cast<std::size_t>(shape.width * shape.components);
    std::vector<std::uint8_t> samples(rowSize * static_cast<std::size_t>(shape.height));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<std::uint8_t>((i % rowSize * 7 + i / rowSize * 13) & 0xFF);
    const J_COLOR_SPACE space = shape.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    return codectest::encodeJpeg(shape.width, shape.height, shape.components, space, samples,
                                 {.quality = 60, .progressive = shape.progressive, .jfif = shape.jfif,
                                  .hSample = shape.hSample, .vSample = shape.vSample, .markers = markers});
}

// A TIFF structure laid out by hand: IFD0 (Make, Artist, Orientation 6) with the Exif and
// GPS directories, Exif with a rational, a maker note and the Interoperability directory,
// and IFD1 with a JPEG thumbnail.
struct Field {
    std::uint16_t tag, type;
    std::uint32_t count;
    std::string value; // already in the structure's byte order; a pointer is filled in later
    int pointsTo = -1; // directory index, or 5 for the thumbnail
};

std::string exifFixture(bool bigEndian, const std::string& makerNote, const std::string& thumbnail) {
    auto u16 = [&](std::uint32_t v) {
        return bigEndian ? std::string{char(v >> 8), char(v)} : std::string{char(v), char(v >> 8)};
    };
    auto u32 = [&](std::uint32_t v) { return bigEndian ? u16(v >> 16) + u16(v & 0xFFFF) : u16(v & 0xFFFF) + u16(v >> 16); };
    std::vector<std::vector<Field>> dirs = {
        {{0x010F, 2, 14, std::string("Brimvale Test\0", 14)}, {0x0112, 3, 1, u16(6) + u16(0)},
         {0x013B, 2, 8, std::string("Stamper\0", 8)}, {0x8769, 4, 1, "", 1}, {0x8825, 4, 1, "", 3}},
        {{0x829A, 5, 1, u32(1) + u32(250)}, {0x927C, 7, static_cast<std::uint32_t>(makerNote.size()), makerNote},
         {0xA005, 4, 1, "", 2}},
        {{0x0001, 2, 4, std::string("R98\0", 4)}},
        {{0x0000, 1, 4, std::string("\2\3\0\0", 4)}, {0x0001, 2, 2, std::string("N\0", 2)}},
        {{0x0103, 3, 1, u16(6) + u16(0)}, {0x0201, 4, 1, "", 5},
         {0x0202, 4, 1, u32(static_cast<std::uint32_t>(thumbnail.size()))}},
    };
    // Each directory with its out-of-line values, one after another from offset 8.
    std::vector<std::uint32_t> offsets;
    std::uint32_t at = 8;
    for (const auto& d : dirs) {
        offsets.push_back(at);
        at += 2 + 12 * static_cast<std::uint32_t>(d.size()) + 4;
        for (const Field& f : d) at += f.value.size() > 4 ? static_cast<std::uint32_t>(f.value.size() + 1) & ~1u : 0;
    }
    offsets.push_back(at); // the thumbnail
    std::string out = std::string(bigEndian ? "MM\0*" : "II*\0", 4) + u32(8);
    for (std::size_t i = 0; i < dirs.size(); ++i) {
        std::string data;
        std::uint32_t dataAt = offsets[i] + 2 + 12 * static_cast<std::uint32_t>(dirs[i].size()) + 4;
        out += u16(static_cast<std::uint32_t>(dirs[i].size()));
        for (const Field& f : dirs[i]) {
            out += u16(f.tag) + u16(f.type) + u32(f.count);
            if (f.pointsTo >= 0) {
                out += u32(offsets[static_cast<std::size_t>(f.pointsTo)]);
            } else if (f.value.size() <= 4) {
                out += f.value + std::string(4 - f.value.size(), '\0');
            } else {
                out += u32(dataAt + static_cast<std::uint32_t>(data.size()));
                data += f.value + std::string(f.value.size() & 1, '\0');
            }
        }
        out += u32(i == 0 ? offsets[4] : 0) + data;
    }
    return std::string("Exif\0\0", 6) + out + thumbnail;
}

const std::string kMakerNote = [] {
    std::string note = "TESTNOTE";
    for (int i = 0; i < 56; ++i) note += static_cast<char>(i * 37);
    return note;
}();
const std::string kThumbnail = makeJpeg({.components = 1, .hSample = 1, .vSample = 1, .width = 8, .height = 8});
const std::string kXmp = std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
// An ICC segment holding a bare profile header: its size and "acsp" signature.
const std::string kIcc = [] {
    std::string profile(132, '\0'); // the header and an empty tag table
    profile[3] = '\x84';
    profile.replace(36, 4, "acsp");
    return std::string("ICC_PROFILE\0\1\1", 14) + profile;
}();

// Where the EXIF APP1 segment stands and its length, or {npos, 0}.
std::pair<std::size_t, std::size_t> exifSegment(const std::string& jpeg) {
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && static_cast<unsigned char>(jpeg[at + 1]) != 0xDA) {
        const std::size_t length = (static_cast<unsigned char>(jpeg[at + 2]) << 8) | static_cast<unsigned char>(jpeg[at + 3]);
        if (static_cast<unsigned char>(jpeg[at + 1]) == 0xE1 && jpeg.compare(at + 4, 6, std::string("Exif\0\0", 6)) == 0)
            return {at, length + 2};
        at += 2 + length;
    }
    return {std::string::npos, 0};
}

// The file without its EXIF segment: everything a stamp must leave as it was.
std::string withoutExifSegment(const std::string& jpeg) {
    const auto [at, length] = exifSegment(jpeg);
    return at == std::string::npos ? jpeg : jpeg.substr(0, at) + jpeg.substr(at + length);
}

// PNG chunks as (type, whole chunk bytes), in order.
std::vector<std::pair<std::string, std::string>> pngChunks(const std::string& png) {
    std::vector<std::pair<std::string, std::string>> chunks;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = (std::size_t(std::uint8_t(png[at])) << 24) | (std::size_t(std::uint8_t(png[at + 1])) << 16) |
                                   (std::size_t(std::uint8_t(png[at + 2])) << 8) | std::uint8_t(png[at + 3]);
        chunks.emplace_back(png.substr(at + 4, 4), png.substr(at, length + 12));
        at += length + 12;
    }
    return chunks;
}

bool isText(const std::string& type) { return type == "tEXt" || type == "zTXt" || type == "iTXt"; }
std::string keyOf(const std::string& chunk) { return chunk.substr(8, chunk.find('\0', 8) - 8); }
// A key whose text the stamp replaces.
bool stampedKey(const std::string& key) {
    for (const char* name : {"Description", "Author", "Copyright", "Time"})
        if (key.find(name) != std::string::npos) return true;
    return false;
}

// A PNG with a tEXt chunk (Latin-1 text) inserted after IHDR.
std::string withTextChunk(const std::string& png, const std::string& key, const std::string& latin1) {
    const std::string body = "tEXt" + key + std::string(1, '\0') + latin1;
    const auto be32 = [](std::uint32_t n) { return std::string{char(n >> 24), char(n >> 16), char(n >> 8), char(n)}; };
    const auto crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    return png.substr(0, 33) + be32(static_cast<std::uint32_t>(body.size() - 4)) + body + be32(crc) + png.substr(33);
}

// ---- the reference tools ----------------------------------------------------------------

// A tool's "key<separator>value" lines: exiftool's "-Group:Tag=value" (warnings come as
// ExifTool:Warning), exiv2's "Key   value".
std::map<std::string, std::string> toolTags(const std::string& command, char separator) {
    std::map<std::string, std::string> tags;
    std::istringstream lines(writertest::run(command).out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t at = line.find(separator), from = line[0] == '-' ? 1 : 0;
        if (at != std::string::npos && at > from)
            tags[line.substr(from, at - from)] = line.substr(std::min(line.find_first_not_of(' ', at + 1), line.size()));
    }
    return tags;
}
std::map<std::string, std::string> exiftool(const std::string& path) {
    return toolTags("exiftool -args -G1 -a -n '" + path + "'", '=');
}

// ---- the test fixture ---------------------------------------------------------------------

class Metadata : public ::testing::Test {
protected:
    testutil::TempDir dir;
    // The stamp formats local time: run every test at UTC+3, so a UTC time shows.
    testutil::ScopedEnv tz{"TZ", "<+03>-3"};
    void SetUp() override { ::tzset(); }
    void TearDown() override { ::tzset(); }
};

} // namespace

TEST_F(Metadata, JpegStampReplacesOnlyTheExifSegment) {
    const bool tools = writertest::haveTool("exiftool") && writertest::haveTool("exiv2");
    struct Row {
        const char* name;
        JpegShape shape;
        int exif; // 0 none, 1 little-endian, 2 big-endian
        bool xmp, icc, twice;
        PictureMetadata record;
    };
    const PictureMetadata texts{"Harbour at dusk cropped section", "Ann Example", "(c) 2023 Ann", "2001:02:03 04:05:06"};
    const Row rows[] = {
        {"420.jpg", {}, 0, false, false, false, {}},
        {"444.jpg", {.hSample = 1, .vSample = 1}, 0, false, false, false, texts},
        {"grey.jpg", {.components = 1, .hSample = 1, .vSample = 1}, 0, false, false, false, {}},
        {"progressive.jpg", {.progressive = true}, 0, false, true, false, texts},
        {"noapp0.jpg", {.jfif = false}, 0, true, false, false, {}},
        {"exif-ii.jpg", {}, 1, true, true, false, {}},
        {"exif-mm.jpg", {.jfif = false}, 2, false, false, false, texts},
        {"twice.jpg", {}, 0, true, false, true, texts},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::pair<int, std::string>> markers;
        if (row.exif) markers.emplace_back(JPEG_APP0 + 1, exifFixture(row.exif == 2, kMakerNote, kThumbnail));
        if (row.xmp) markers.emplace_back(JPEG_APP0 + 1, kXmp);
        if (row.icc) markers.emplace_back(JPEG_APP0 + 2, kIcc);
        const std::string before = makeJpeg(row.shape, markers);
        const std::string path = writertest::saveTemp(dir, row.name, before);
        const std::string warningBefore = tools ? exiftool(path)["ExifTool:Warning"] : "";
        StampResult result = StampPictureMetadata(row.record, path, row.twice ? kNow - 3600 : kNow);
        if (row.twice) result = StampPictureMetadata(row.record, path, kNow);
        ASSERT_TRUE(result.ok) << result.message;
        EXPECT_EQ(result.message, "");
        const std::string after = testutil::readFile(path);
        EXPECT_EQ(withoutExifSegment(after), withoutExifSegment(before));
        if (!row.exif && !row.twice) {
            // The new segment goes right after JFIF's APP0, or right after SOI without one.
            EXPECT_EQ(exifSegment(after).first, row.shape.jfif ? 20u : 2u);
        }

        imaging::detail::ExifBlock block;
        const auto [exifAt, exifLength] = exifSegment(after);
        ASSERT_NE(exifAt, std::string::npos);
        const std::string tiff = after.substr(exifAt + 10, exifLength - 10); // after "Exif\0\0"
        ASSERT_TRUE(imaging::detail::parseExifTiff(reinterpret_cast<const std::uint8_t*>(tiff.data()), tiff.size(), block));
        EXPECT_EQ(block.bigEndian, row.exif == 2);
        if (row.exif) {
            // Earlier tags, the thumbnail and the maker note stay, the maker note at its offset.
            EXPECT_EQ(block.thumbnail, std::vector<std::uint8_t>(kThumbnail.begin(), kThumbnail.end()));
            const auto* note = block.find(imaging::detail::ExifDirectory::exif, 0x927C);
            ASSERT_NE(note, nullptr);
            EXPECT_EQ(std::string(note->value.begin(), note->value.end()), kMakerNote);
            imaging::detail::ExifBlock original;
            const std::string source = exifFixture(row.exif == 2, kMakerNote, kThumbnail).substr(6);
            imaging::detail::parseExifTiff(reinterpret_cast<const std::uint8_t*>(source.data()), source.size(), original);
            EXPECT_EQ(block.makerNoteOffset, original.makerNoteOffset);
        }

        PictureMetadata read;
        EXPECT_EQ(ReadPictureMetadata(path, read), "");
        const bool withExif = row.exif || row.twice;
        EXPECT_EQ(read.description, row.record.description.empty() ? (withExif ? "Not Set" : "No Description")
                                                                     : row.record.description);
        EXPECT_EQ(read.author, row.record.author.empty() ? "Author not set" : row.record.author);
        EXPECT_EQ(read.copyright,
                  row.record.copyright.empty() ? (withExif ? "Copyright not set" : "No Copyright set") : row.record.copyright);
        EXPECT_EQ(read.time, kNowAtPlus3);

        if (!tools) continue;
        auto tags = exiftool(path);
        // No warning that the unstamped file did not have (the fixture's maker note is unknown).
        EXPECT_EQ(tags["ExifTool:Warning"], warningBefore);
        EXPECT_EQ(tags["IFD0:ModifyDate"], kNowAtPlus3);
        EXPECT_EQ(tags["IFD0:Artist"], read.author);
        if (row.twice || !row.exif) {
            // Set by the first stamp and kept by the second.
            EXPECT_EQ(tags["ExifIFD:ExifVersion"], "0200");
            EXPECT_EQ(tags["ExifIFD:DateTimeOriginal"], row.twice ? "2023:11:15 00:13:20" : kNowAtPlus3);
        }
        if (withExif) {
            EXPECT_EQ(tags["IFD0:ImageWidth"], std::to_string(row.shape.width));
            EXPECT_EQ(tags["IFD0:ImageHeight"], std::to_string(row.shape.height));
        }
        if (row.exif) {
            EXPECT_EQ(tags["IFD0:Orientation"], "6");
            EXPECT_EQ(tags["IFD0:Make"], "Brimvale Test");
            EXPECT_EQ(tags["ExifIFD:ExposureTime"], "0.004");
            EXPECT_EQ(tags["InteropIFD:InteropIndex"], "R98");
            EXPECT_EQ(tags["GPS:GPSLatitudeRef"], "N");
            EXPECT_EQ(writertest::run("exiftool -b -ThumbnailImage '" + path + "'").out, kThumbnail);
        }
        auto keys = toolTags("exiv2 -q -Pkt '" + path + "'", ' ');
        EXPECT_EQ(keys["Exif.Image.DateTime"], kNowAtPlus3);
        EXPECT_EQ(keys["Exif.Image.Artist"], read.author);
        if (!withExif) { EXPECT_EQ(keys["Exif.Photo.ExifVersion"], "2.00"); }
    }
    if (!tools) REQUIRE_OR_SKIP(tools, "exiftool and exiv2");
}

TEST_F(Metadata, PngStampRewritesTextChunksOnly) {
    REQUIRE_CORPUS(corpus);
    const bool tools = writertest::haveTool("exiftool");
    struct Row {
        const char* corpusFile;
        std::string extraKey, extraText; // a tEXt chunk added to the corpus file (Latin-1)
        PictureMetadata record;
        PictureMetadata expectRead; // what ReadPictureMetadata gives before the stamp
    };
    const PictureMetadata texts{"Küste cropped section", "Ann", "(c) Ann", ""};
    const Row rows[] = {
        {"primary/basn2c08.png", "", "", texts, {}},
        {"primary/tbbn3p08.png", "", "", {}, {}},
        {"primary/basn0g08.png", "Time", "2001-02-03T04:05:06", texts, {"", "", "", "2001:02:03 04:05:06"}},
        {"16bit/basn2c16.png", "Creation Time", "Sat, 03 Feb 2001 04:05:06 GMT", {}, {"", "", "", "2001:02:03 04:05:06"}},
        {"primary/basn0g01.png", "Author", "J\xFCrgen", {"日本の港 cropped section", "", "", ""}, {"", "Jürgen", "", ""}},
        {"unused/ctzn0g04.png", "", "", texts,
         {"", "Willem A.J. van Schaik\n(willem@schaik.com)", "Copyright Willem van Schaik, Singapore 1995-96", ""}},
        {"unused/ctjn0g04.png", "", "", texts, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.corpusFile);
        std::string before = testutil::readFile(corpus / "pngsuite" / row.corpusFile);
        if (!row.extraKey.empty()) before = withTextChunk(before, row.extraKey, row.extraText);
        const std::string path = writertest::saveTemp(dir, "picture.png", before);
        PictureMetadata read;
        EXPECT_EQ(ReadPictureMetadata(path, read), "");
        if (!row.expectRead.author.empty() || !row.expectRead.time.empty()) {
            EXPECT_EQ(std::tie(read.author, read.copyright, read.time),
                      std::tie(row.expectRead.author, row.expectRead.copyright, row.expectRead.time));
        }
        const StampResult result = StampPictureMetadata(row.record, path, kNow);
        ASSERT_TRUE(result.ok) << result.message;
        const std::string after = testutil::readFile(path);

        // Every other chunk as it was, in order; text chunks of other keys kept.
        std::vector<std::string> kept, keptAfter;
        std::map<std::string, int> keys;
        for (const auto& [type, bytes] : pngChunks(before))
            if (!isText(type) || !stampedKey(keyOf(bytes))) kept.push_back(bytes);
        for (const auto& [type, bytes] : pngChunks(after)) {
            if (!isText(type) || !stampedKey(keyOf(bytes))) keptAfter.push_back(bytes);
            if (isText(type)) ++keys[keyOf(bytes)];
        }
        EXPECT_EQ(keptAfter, kept);
        const bool hasTime = row.extraKey == "Time";
        EXPECT_EQ(keys["Creation Time"], hasTime ? 0 : 1);
        EXPECT_EQ(keys["Time"], hasTime ? 1 : 0);
        EXPECT_EQ(keys["Description"], 1);
        EXPECT_EQ(keys["Author"], 1);
        EXPECT_EQ(keys["Copyright"], 1);

        EXPECT_EQ(ReadPictureMetadata(path, read), "");
        EXPECT_EQ(read.description, row.record.description);
        EXPECT_EQ(read.author, row.record.author);
        EXPECT_EQ(read.time, "2023:11:15 01:13:20");
        if (!tools) continue;
        auto tags = exiftool(path);
        EXPECT_EQ(tags.count("ExifTool:Warning"), 0u) << tags["ExifTool:Warning"];
        EXPECT_EQ(tags["PNG:Description"], row.record.description);
        EXPECT_EQ(tags[hasTime ? "PNG:Time" : "PNG:CreationTime"], kNowAtPlus3);
    }
    REQUIRE_OR_SKIP(tools, "exiftool");
}

TEST_F(Metadata, FailedStampLeavesTheFileAsItWas) {
    REQUIRE_CORPUS(corpus);
    const std::string jpeg = makeJpeg({});
    const std::string png = testutil::readFile(corpus / "pngsuite/primary/basn2c08.png");
    const std::size_t sos = jpeg.find("\xFF\xDA");
    struct Row {
        const char* name;
        std::string bytes;
        PictureMetadata record;
        bool ok;
        std::string message;
        std::size_t fullAt = 0; // the disk is full past this many bytes of a file (0: never)
    };
    const std::string large = makeJpeg({.width = 320, .height = 240});
    const std::string png16 = testutil::readFile(corpus / "pngsuite/16bit/basn2c16.png");
    const Row rows[] = {
        {"cut.jpg", jpeg.substr(0, sos - 30), {}, false, kExifFailed},
        {"huge.jpg", jpeg, {std::string(70000, 'x'), "", "", ""}, false, kExifFailed},
        {"cut.png", png.substr(0, png.size() - 40), {}, false, kPngFailed},
        {"picture.bmp", testutil::readFile(corpus / "bmpsuite/g/rgb24.bmp"), {}, true, ""},
        // Writes stop halfway through the rewritten picture.
        {"full.jpg", large, {}, false, kExifFailed, large.size() / 2},
        {"full.png", png16, {}, false, kPngFailed, png16.size() / 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = writertest::saveTemp(dir, row.name, row.bytes);
        if (row.fullAt == 0) {
            const StampResult result = StampPictureMetadata(row.record, path, kNow);
            EXPECT_EQ(result.ok, row.ok);
            EXPECT_EQ(result.message, row.message);
        } else {
            const pid_t pid = ::fork();
            if (pid == 0) { // the failed write is an error, not a signal
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{row.fullAt, row.fullAt};
                ::setrlimit(RLIMIT_FSIZE, &limit);
                const StampResult r = StampPictureMetadata(row.record, path, kNow);
                ::_exit(r.ok == row.ok && r.message == row.message ? 0 : 1);
            }
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        }
        EXPECT_EQ(testutil::readFile(path), row.bytes);
        EXPECT_EQ(testutil::namesIn(dir.path()), std::vector<std::string>{row.name}); // no temporary left
        fs::remove(path);
    }
    const std::string missing = dir / "missing.jpg";
    const StampResult result = StampPictureMetadata({}, missing, kNow);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.message, "The File, " + missing + " could not be found. Unable to proceed.");
    PictureMetadata record{"left", "over", "texts", "here"};
    EXPECT_EQ(ReadPictureMetadata(missing, record),
              "The File, " + missing + " could not be found. Unable to proceed reading metadata.");
    EXPECT_EQ(record.description, "");
}
