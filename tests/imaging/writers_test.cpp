// SPDX-License-Identifier: MIT
// What every writer shares, one table each: the arguments each refuses; the resolution each
// type stores; each round trip through our readers; a full disk leaves no file and keeps the
// old one; ImageMagick decodes what each writes; and each reader's pixel limit, on files the
// writers made.
#include "writertest.h"

#include <gtest/gtest.h>

#include <csignal>
#include <limits>
#include <tuple>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace writertest;

namespace {

// ---- refused arguments -------------------------------------------------------------------------

TEST(Writers, RefuseArgumentsTheyCannotWriteAndLeaveTheOldFile) {
    const Picture rgb = makePicture(16, 4, 24), idx = makePicture(16, 4, 8), bits = makePicture(16, 4, 1);
    const Picture wide = makePicture(32768, 1, 24), widest = makePicture(32767, 1, 24);
    const std::vector<std::uint8_t> big(70000 * 3, 1), sevens(4, 7);
    const Is5Rgbq* pal = idx.palette.data();
    const std::uint8_t *px = rgb.data(), *ix = idx.data(), *ones = big.data(); // every index 1
    struct Row {
        const char* what;
        std::function<BOOL(IS5_DEST)> write;
        std::uint32_t code = IS5_ERR_PARAM; // 0: written
    };
    const std::vector<Row> rows = {
        {"no destination", [&](IS5_DEST) { return is5_WritePSD(nullptr, px, 4, 1, 24, 12, nullptr, 0); }},
        {"JPEG no destination", [&](IS5_DEST) { return is5_WriteJPG(nullptr, px, 16, 4, 24, 48, 75, nullptr, 0); }},
        {"JPEG 1-bit", [&](IS5_DEST d) { return is5_WriteJPG(d, px, 16, 4, 1, 48, 75, nullptr, 0); }},
        {"JPEG 32-bit", [&](IS5_DEST d) { return is5_WriteJPG(d, px, 16, 4, 32, 64, 75, nullptr, 0); }},
        {"JPEG zero height", [&](IS5_DEST d) { return is5_WriteJPG(d, px, 16, 0, 24, 48, 75, nullptr, 0); }},
        {"JPEG short stride", [&](IS5_DEST d) { return is5_WriteJPG(d, px, 16, 4, 24, 47, 75, nullptr, 0); }},
        {"JPEG too wide", [&](IS5_DEST d) { return is5_WriteJPG(d, big.data(), 65501, 1, 8, 65501, 75, nullptr, 0); }},
        {"PNG no destination",
         [&](IS5_DEST) { return is5_WritePNG(nullptr, px, 4, 4, 12, 8, 0, nullptr, 2, 0.345, nullptr, 0); }},
        {"PNG no pixels", [&](IS5_DEST d) { return is5_WritePNG(d, nullptr, 4, 4, 12, 8, 0, nullptr, 2, 0.345, nullptr, 0); }},
        {"PNG grey colour type", [&](IS5_DEST d) { return is5_WritePNG(d, ix, 16, 4, 16, 8, 256, pal, 0, 0.345, nullptr, 0); }},
        {"PNG RGBA colour type", [&](IS5_DEST d) { return is5_WritePNG(d, ix, 16, 4, 16, 8, 0, nullptr, 6, 0.345, nullptr, 0); }},
        {"PNG 16-bit RGB", [&](IS5_DEST d) { return is5_WritePNG(d, ix, 16, 4, 16, 16, 0, nullptr, 2, 0.345, nullptr, 0); }},
        {"PNG 4-bit palette", [&](IS5_DEST d) { return is5_WritePNG(d, ix, 16, 4, 16, 4, 16, pal, 3, 0.345, nullptr, 0); }},
        {"PNG no colours", [&](IS5_DEST d) { return is5_WritePNG(d, ix, 16, 4, 16, 8, 0, pal, 3, 0.345, nullptr, 0); }},
        {"PNG 257 colours", [&](IS5_DEST d) { return is5_WritePNG(d, ix, 16, 4, 16, 8, 257, pal, 3, 0.345, nullptr, 0); }},
        {"PNG no palette", [&](IS5_DEST d) { return is5_WritePNG(d, ix, 16, 4, 16, 8, 256, nullptr, 3, 0.345, nullptr, 0); }},
        {"PNG 3 colours at 1 bit", [&](IS5_DEST d) { return is5_WritePNG(d, ix, 16, 4, 16, 1, 3, pal, 3, 0.345, nullptr, 0); }},
        {"PNG zero width", [&](IS5_DEST d) { return is5_WritePNG(d, ix, 0, 4, 16, 8, 256, pal, 3, 0.345, nullptr, 0); }},
        {"PNG short stride", [&](IS5_DEST d) { return is5_WritePNG(d, ix, 16, 4, 15, 8, 256, pal, 3, 0.345, nullptr, 0); }},
        {"TIFF JPEG compression", [&](IS5_DEST d) { return is5_WriteTIFF(d, px, 16, 4, 24, 48, nullptr, 7, nullptr, 0); }},
        {"TIFF fax for colour", [&](IS5_DEST d) { return is5_WriteTIFF(d, px, 16, 4, 24, 48, nullptr, 4, nullptr, 0); }},
        {"TIFF unknown scheme", [&](IS5_DEST d) { return is5_WriteTIFF(d, px, 16, 4, 24, 48, nullptr, 12345, nullptr, 0); }},
        {"TIFF palette without map", [&](IS5_DEST d) { return is5_WriteTIFF(d, px, 16, 4, 8, 16, nullptr, 1, nullptr, 0); }},
        {"TIFF 4-bit", [&](IS5_DEST d) { return is5_WriteTIFF(d, px, 16, 4, 4, 8, pal, 1, nullptr, 0); }},
        {"TIFF short stride", [&](IS5_DEST d) { return is5_WriteTIFF(d, bits.data(), 16, 4, 1, 1, nullptr, 1, nullptr, 0); }},
        {"BMP depth 4", [&](IS5_DEST d) { return is5_WriteBMP(d, px, 2, 2, 4, 2, 16, pal, nullptr, 0); }},
        {"BMP short stride", [&](IS5_DEST d) { return is5_WriteBMP(d, px, 4, 2, 24, 11, 0, nullptr, nullptr, 0); }},
        {"BMP 8 without palette", [&](IS5_DEST d) { return is5_WriteBMP(d, px, 2, 2, 8, 2, 2, nullptr, nullptr, 0); }},
        {"BMP no pixels", [&](IS5_DEST d) { return is5_WriteBMP(d, nullptr, 2, 2, 24, 6, 0, nullptr, nullptr, 0); }},
        {"BMP zero height", [&](IS5_DEST d) { return is5_WriteBMP(d, px, 2, 0, 24, 6, 0, nullptr, nullptr, 0); }},
        {"GIF too wide", [&](IS5_DEST d) { return is5_WriteGIF(d, big.data(), 70000, 1, 70000, 0, -1, 8, pal, 0); }},
        {"GIF index past the table", [&](IS5_DEST d) { return is5_WriteGIF(d, sevens.data(), 4, 1, 4, 0, -1, 2, pal, 0); }},
        {"GIF transparent past the table", [&](IS5_DEST d) { return is5_WriteGIF(d, ones, 4, 1, 4, 0, 4, 2, pal, 0); }},
        {"GIF 9 bits", [&](IS5_DEST d) { return is5_WriteGIF(d, ones, 4, 1, 4, 0, -1, 9, pal, 0); }},
        {"GIF no palette", [&](IS5_DEST d) { return is5_WriteGIF(d, ones, 4, 1, 4, 0, -1, 8, nullptr, 0); }},
        {"PSD depth 1", [&](IS5_DEST d) { return is5_WritePSD(d, px, 8, 1, 1, 1, pal, 0); }},
        {"PSD wider than 30000", [&](IS5_DEST d) { return is5_WritePSD(d, big.data(), 30001, 1, 24, 90003, nullptr, 0); }},
        {"PSD 8 without palette", [&](IS5_DEST d) { return is5_WritePSD(d, ix, 4, 1, 8, 4, nullptr, 0); }},
        {"PCX 1-bit", [&](IS5_DEST d) { return is5_WritePCX(d, px, 16, 4, 1, 2, pal, nullptr, 0); }},
        {"PCX 8-bit without palette", [&](IS5_DEST d) { return is5_WritePCX(d, px, 16, 4, 8, 16, nullptr, nullptr, 0); }},
        {"PCX too wide", [&](IS5_DEST d) { return is5_WritePCX(d, big.data(), 65535, 1, 8, 65535, pal, nullptr, 0); }},
        {"PCX short stride", [&](IS5_DEST d) { return is5_WritePCX(d, px, 16, 4, 24, 47, nullptr, nullptr, 0); }},
        {"TGA 1-bit", [&](IS5_DEST d) { return is5_WriteTGA(d, px, 16, 4, 1, 2, pal, nullptr, 0); }},
        {"TGA 8-bit without palette", [&](IS5_DEST d) { return is5_WriteTGA(d, px, 16, 4, 8, 16, nullptr, nullptr, 0); }},
        {"TGA too wide", [&](IS5_DEST d) { return is5_WriteTGA(d, big.data(), 65536, 1, 8, 65536, pal, nullptr, 0); }},
        {"WBMP no pixels", [&](IS5_DEST d) { return is5_WriteWBMP(d, nullptr, 16, 4, 16, 0); }},
        {"WBMP zero width", [&](IS5_DEST d) { return is5_WriteWBMP(d, px, 0, 4, 16, 0); }},
        {"metafile kind 2", [&](IS5_DEST d) { return is5_WriteRGBToMetafile(d, px, 16, 4, 48, 2, 0); }},
        {"WMF too wide", [&](IS5_DEST d) { return is5_WriteRGBToMetafile(d, wide.data(), 32768, 1, wide.stride, 0, 0); }},
        {"WMF widest", [&](IS5_DEST d) { return is5_WriteRGBToMetafile(d, widest.data(), 32767, 1, widest.stride, 0, 0); }, 0},
        {"EMF short stride", [&](IS5_DEST d) { return is5_WriteRGBToMetafile(d, px, 16, 4, 47, 1, 0); }},
        {"WebP no pixels", [&](IS5_DEST d) { return is5_WriteWEBP(d, nullptr, 16, 4, 48, 75, 0); }},
        {"WebP short stride", [&](IS5_DEST d) { return is5_WriteWEBP(d, px, 16, 4, 47, 75, 0); }},
        {"WebP too wide", [&](IS5_DEST d) { return is5_WriteWEBP(d, big.data(), 16384, 1, 16384 * 3, 75, 0); }},
        {"WebP widest", [&](IS5_DEST d) { return is5_WriteWEBP(d, big.data(), 16383, 1, 16383 * 3, 75, 0); }, 0},
    };
    testutil::TempDir dir;
    const std::string target = dir / "keep.img";
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        testutil::writeFile(target, "old");
        EXPECT_EQ(writeToFile(target, r.write), r.code);
        if (r.code) {
            EXPECT_EQ(testutil::readFile(target), "old");
        }
        EXPECT_EQ(testutil::filesIn(dir.path()), 1u) << "a temporary file was left behind";
    }
}

// ---- resolution --------------------------------------------------------------------------------

/// How a row hands its resolution over: as the image object's output fields (unit 1 none,
/// 2 per inch, 3 per cm), straight to the writer as stored values (or none at all), or as the
/// output fields of a JPEG which is read back and written again as the row's type.
enum class Route { Object, Writer, NoneToTheWriter, ThroughJpeg };
using enum Route;

/// The resolution the program's header reader finds in a file of `type`.
ResolutionInfo storedResolution(int type, const Bytes& file) {
    IS5_SOURCE src = is5_OpenMemorySource(file.data(), file.size(), "r");
    ResolutionInfo res{-1, -1, -1};
    BOOL ok = FALSE;
    switch (type) {
    case kImageJpeg: ok = is5_GetJPGDims(src, nullptr, nullptr, nullptr, &res); break;
    case kImageBmp: case kImageBmpPalette: case kImageBmpBw: ok = is5_GetBMPDims(src, nullptr, nullptr, nullptr, &res); break;
    case kImagePng: case kImagePngPalette: ok = is5_GetPNGDims(src, nullptr, nullptr, nullptr, nullptr, &res); break;
    case kImagePcx: ok = is5_GetPCXDims(src, nullptr, nullptr, nullptr, &res); break;
    default: ok = is5_GetTIFFDims(src, 0, nullptr, nullptr, nullptr, &res); break;
    }
    is5_CloseSource(src);
    EXPECT_TRUE(ok);
    return res;
}

struct ResolutionRow {
    const char* what;
    Route route;
    int type;
    double x, y;
    int unit;
    double storedX, storedY;
    int storedUnit;
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

void PrintTo(const ResolutionRow& r, std::ostream* os) { *os << r.what; }

class OutputResolution : public ::testing::TestWithParam<ResolutionRow> {};

TEST_P(OutputResolution, IsStoredInTheTypesOwnUnit) {
    const ResolutionRow& r = GetParam();
    const Picture p = makePicture(16, 8, 24);
    Bytes file;
    if (r.route == Writer || r.route == NoneToTheWriter) {
        const ResolutionInfo info{r.x, r.y, r.unit};
        const ResolutionInfo* res = r.route == Writer ? &info : nullptr;
        file = writeToMemory([&](IS5_DEST d) { return writeDirect(r.type, 1, d, p, res); }).bytes;
    } else {
        testutil::TempDir dir;
        CISImageEx img;
        toImage(img, p);
        img.outputResolutionUnit = r.unit;
        img.outputXResolution = r.x;
        img.outputYResolution = r.y;
        if (r.route == ThroughJpeg) {
            ASSERT_EQ(img.Write(kImageJpeg, dir / "photo.jpg"), 0u);
            CISImageEx photo;
            ASSERT_EQ(photo.Read(dir / "photo.jpg", kImageDetect), 0u);
            ASSERT_EQ(photo.Write(r.type, dir / "out"), 0u);
        } else {
            ASSERT_EQ(img.Write(r.type, dir / "out"), 0u);
        }
        file = testutil::readFile(dir / "out");
    }
    ASSERT_FALSE(file.empty());
    if (r.type == kImagePng && r.storedUnit == 0) {
        EXPECT_EQ(file.find("pHYs"), std::string::npos);
    }
    const ResolutionInfo stored = storedResolution(r.type, file);
    EXPECT_FLOAT_EQ(stored.xResolution, r.storedX);
    EXPECT_FLOAT_EQ(stored.yResolution, r.storedY);
    EXPECT_EQ(stored.unit, r.storedUnit);
}

// JPEG: the JFIF unit is the output unit less one; PNG and BMP in pixels per metre, truncated
// as a C cast (300 x 39.37 = 11811), nothing without a unit; TIFF as given with its own
// unit; a BMP without a resolution reads as 300 x 300, unit 0; a PCX stores whole dots per
// inch, 0 from the image object. Values a type cannot hold give square pixels or nothing.
INSTANTIATE_TEST_SUITE_P(
    Types, OutputResolution,
    ::testing::ValuesIn(std::vector<ResolutionRow>{
        {"jpeg_none", Object, kImageJpeg, 2, 3, 1, 2, 3, 0},
        {"jpeg_inch", Object, kImageJpeg, 300, 150, 2, 300, 150, 1},
        {"jpeg_cm", Object, kImageJpeg, 118, 40, 3, 118, 40, 2},
        {"bmp_inch", Object, kImageBmp, 72, 96, 2, 2834, 3779, 2},
        {"bmp_palette_cm", Object, kImageBmpPalette, 40, 118.11, 3, 4000, 11811, 2},
        {"bmp_no_unit", Object, kImageBmp, 72, 72, 1, 300, 300, 0},
        {"bmp_unit_0", Object, kImageBmp, 72, 72, 0, 300, 300, 0},
        {"bmp_1bit", Object, kImageBmpBw, 72, 72, 2, 300, 300, 0},
        {"png_cm", Object, kImagePng, 40, 40, 3, 4000, 4000, 1},
        {"png_palette_inch", Object, kImagePngPalette, 96, 96, 2, 3779, 3779, 1},
        {"png_300_inch", Object, kImagePng, 300, 300, 2, 11811, 11811, 1},
        {"png_no_unit", Object, kImagePng, 300, 300, 1, 0, 0, 0},
        {"tiff_cm", Object, kImageTiff, 118, 59, 3, 118, 59, 3},
        {"tiff_palette_inch", Object, kImageTiffPalette, 72, 72, 2, 72, 72, 2},
        {"pcx_object", Object, kImagePcx, 300, 300, 2, 0, 0, 2},
        {"jpeg_300_to_bmp", ThroughJpeg, kImageBmp, 300, 300, 2, 11811, 11811, 2},
        {"jpeg_300_to_png", ThroughJpeg, kImagePng, 300, 300, 2, 11811, 11811, 1},
        {"jfif_per_inch", Writer, kImageJpeg, 300, 300, 1, 300, 300, 1},
        {"jfif_per_cm_truncated", Writer, kImageJpeg, 118.11, 118.9, 2, 118, 118, 2},
        {"jfif_aspect_only", Writer, kImageJpeg, 72, 144, 0, 72, 144, 0},
        {"jfif_largest", Writer, kImageJpeg, 65535.9, 1, 1, 65535, 1, 1},
        {"jfif_zero", Writer, kImageJpeg, 0, 0, 1, 1, 1, 0},
        {"jfif_too_large", Writer, kImageJpeg, 65536, 300, 1, 1, 1, 0},
        {"jfif_negative", Writer, kImageJpeg, -300, 300, 1, 1, 1, 0},
        {"jfif_not_a_number", Writer, kImageJpeg, kNaN, 300, 1, 1, 1, 0},
        {"jfif_unknown_unit", Writer, kImageJpeg, 300, 300, 3, 1, 1, 0},
        {"jfif_none_given", NoneToTheWriter, kImageJpeg, 0, 0, 0, 1, 1, 0},
        {"phys_300_ppi", Writer, kImagePng, 300 * 39.37, 300 * 39.37, 0, 11811, 11811, 1},
        {"phys_truncated", Writer, kImagePng, 3779.9, 7559.2, 0, 3779, 7559, 1},
        {"phys_zero", Writer, kImagePng, 0, 0, 0, 0, 0, 0},
        {"phys_one_zero", Writer, kImagePng, 0, 2835, 0, 0, 0, 0},
        {"phys_negative", Writer, kImagePng, -1, 2835, 0, 0, 0, 0},
        {"phys_not_a_number", Writer, kImagePng, kNaN, 2835, 0, 0, 0, 0},
        {"phys_too_large", Writer, kImagePng, 3e9, 2835, 0, 0, 0, 0},
        {"phys_none_given", NoneToTheWriter, kImagePng, 0, 0, 0, 0, 0, 0},
        {"tiff_inch", Writer, kImageTiff, 300, 300, 2, 300, 300, 2},
        {"tiff_cm_fraction", Writer, kImageTiff, 118.11, 59.5, 3, 118.11, 59.5, 3},
        {"tiff_aspect_only", Writer, kImageTiff, 1, 2, 1, 1, 2, 1},
        {"tiff_none_given", NoneToTheWriter, kImageTiff, 0, 0, 0, 1, 1, 1},
        {"tiff_zero", Writer, kImageTiff, 0, 0, 2, 1, 1, 1},
        {"tiff_unknown_unit", Writer, kImageTiff, 300, 300, 4, 1, 1, 1},
        {"pcx_truncated", Writer, kImagePcx, 300.9, 72.2, 2, 300, 72, 2},
        {"pcx_sixteen_bits", Writer, kImagePcx, 70000, -5, 2, 65535, 0, 2},
        {"pcx_none_given", NoneToTheWriter, kImagePcx, 0, 0, 0, 0, 0, 2},
    }),
    [](const auto& info) { return std::string(info.param.what); });

// ---- every writer and its reader --------------------------------------------------------------

/// What the file must hold: the picture's colours, black and white by grey level, or
/// white wherever an 8-bit picture is non-zero.
enum class Expect { Same, Thresholded, NonZeroWhite };

/// A picture written as `type` through the image object and read back by it with type
/// detection, or (objectDepth 0) straight through the writer, with `option` (a TIFF's
/// compression), and back through the reader of the type at the picture's depth.
struct WriterRow {
    std::string what;
    int type;
    std::uint32_t depth;          // of the source picture
    std::uint32_t objectDepth;    // what the image object reads back
    const char* format = nullptr; // ImageMagick's name of the file's format, if checked here
    Look look = {};
    Expect expect = Expect::Same;
    bool rle = false;             // BMP: bmpWriteFlag
    std::uint32_t option = 0;
    std::array<std::uint32_t, 2> large{}; // a larger picture for this row
};

void PrintTo(const WriterRow& r, std::ostream* os) { *os << r.what; }

std::vector<WriterRow> writerRows() {
    std::vector<WriterRow> rows = {
        {"bmp24_from24", kImageBmp, 24, 24, "BMP3"},
        {"bmp24_from8", kImageBmp, 8, 24, "BMP3", {.colours = 200}},
        {"bmp24_from1", kImageBmp, 1, 24, "BMP3"},
        {"bmp8_from8", kImageBmpPalette, 8, 8, "BMP3", {.colours = 200}},
        {"bmp8_from8_rle", kImageBmpPalette, 8, 8, "BMP3", {.colours = 5}, Expect::Same, true},
        {"bmp8_from8_noisy_rle", kImageBmpPalette, 8, 8, "BMP3", {}, Expect::Same, true},
        {"bmp8_from24_of_180", kImageBmpPalette, 24, 8, "BMP3", {.colours = 180}},
        {"bmp8_from1", kImageBmpPalette, 1, 8, "BMP3"},
        {"bmp1_from1", kImageBmpBw, 1, 1, "BMP3"},
        {"bmp1_from1_white_first", kImageBmpBw, 1, 1, "BMP3", {.whiteFirst = true}},
        {"bmp1_from24", kImageBmpBw, 24, 1, "BMP3", {}, Expect::Thresholded},
        {"bmp1_from8", kImageBmpBw, 8, 1, "BMP3", {}, Expect::Thresholded},
        {"gif_from8", kImageGif, 8, 8, "GIF"},
        {"gif_from8_of_2", kImageGif, 8, 8, "GIF", {.colours = 2}},
        {"gif_from24_of_256", kImageGif, 24, 8, "GIF", {.colours = 256}},
        {"gif_from1", kImageGif, 1, 8, "GIF"},
        {"psd24_from24", kImagePsd, 24, 24, "PSD"},
        {"psd24_from8", kImagePsd, 8, 24, "PSD"},
        {"psd24_from1", kImagePsd, 1, 24, "PSD", {.whiteFirst = true}},
        {"psd8_from8", kImagePsdBitmap, 8, 24, "PSD"},
        {"psd8_from24_of_100", kImagePsdBitmap, 24, 24, "PSD", {.colours = 100}},
        {"psd8_from1", kImagePsdBitmap, 1, 24, "PSD"},
        // ImageMagick's view of these is checked straight through their writers below, where
        // the pictures these types take as they are also go round (PCX and PNG at 24 bits, 1-bit
        // PNG and TIFF with black first, 8-bit PCX).
        {"pcx24_from8", kImagePcx, 8, 24},
        {"pcx8_from1", kImagePcxPalette, 1, 8},
        {"png24_from1", kImagePng, 1, 24},
        {"png8_from8", kImagePngPalette, 8, 8},
        {"png1_from1_white_first", kImagePngBw, 1, 1, nullptr, {.whiteFirst = true}},
        {"png1_from24", kImagePngBw, 24, 1, nullptr, {}, Expect::Thresholded},
        {"tiff24_from24", kImageTiff, 24, 24},
        {"tiff8_from8", kImageTiffPalette, 8, 8},
        {"tiff1_from1_white_first", kImageTiffBw, 1, 1, nullptr, {.whiteFirst = true}},
        {"tiff1_from24", kImageTiffBw, 24, 1, nullptr, {}, Expect::Thresholded},
        {"tiff1_from8", kImageTiffBw, 8, 1, nullptr, {}, Expect::Thresholded},
        {"tga24_from8", kImageTga, 8, 24},
        {"tga8_from8", kImageTgaPalette, 8, 8},
        {"wbmp_from1", kImageWbmp, 1, 8},
        {"wbmp_from1_white_first", kImageWbmp, 1, 8, nullptr, {.whiteFirst = true}},
        {"wmf_from24", kImageWmf, 24, 24},
        {"emf_from8", kImageEmf, 8, 24},
        // Straight through the writers.
        {"pcx24", kImagePcx, 24, 0, "PCX"},
        {"pcx8", kImagePcx, 8, 0, "PCX"},
        {"tga24", kImageTga, 24, 0, "TGA"},
        {"tga8", kImageTga, 8, 0, "TGA"},
        {"wbmp", kImageWbmp, 8, 0, "WBMP", {}, Expect::NonZeroWhite},
        {"webp_lossless", kImageWebp, 24, 0, "WEBP"},
        {"wmf", kImageWmf, 24, 0, nullptr, {}, Expect::Same, false, 0, {640, 480}},
        {"emf", kImageEmf, 24, 0, nullptr, {}, Expect::Same, false, 0, {640, 480}},
        {"png24", kImagePng, 24, 0, "PNG"},
        {"png8", kImagePng, 8, 0, "PNG"},
        {"png1", kImagePng, 1, 0, "PNG"},
        {"png8_of_16", kImagePng, 8, 0, "PNG", {.colours = 16}},
        {"png8_of_1", kImagePng, 8, 0, "PNG", {.colours = 1}},
        {"tiff1_fax3", kImageTiff, 1, 0, "TIFF", {}, Expect::Same, false, 3},
        {"tiff1_fax4", kImageTiff, 1, 0, "TIFF", {}, Expect::Same, false, 4}};
    for (auto [name, compression] : {std::pair{"none", 1u}, {"lzw", 5u}, {"zip", 8u}, {"packbits", 32773u}})
        for (std::uint32_t depth : {24u, 8u, 1u}) {
            rows.push_back({"tiff" + std::to_string(depth) + "_" + name, kImageTiff, depth, 0, "TIFF", {},
                            Expect::Same, false, compression});
            if (compression == 8 && depth == 24) rows.back().large = {33, 2000}; // many strips
        }
    return rows;
}

const std::vector<WriterRow> kWriters = writerRows();

Bytes expectedColours(const Picture& p, Expect expect) {
    if (expect == Expect::Thresholded) return greyed(coloursOf(p), true);
    if (expect == Expect::Same) return coloursOf(p);
    Bytes out;
    for (std::uint32_t y = 0; y < p.height; ++y)
        for (std::uint32_t x = 0; x < p.width; ++x) out.append(3, p.pixels[std::size_t{y} * p.stride + x] ? '\xFF' : '\0');
    return out;
}

/// Writes a row's picture to `target`: 0 when it was published, else the code.
std::uint32_t writeRow(const WriterRow& r, const Picture& p, const std::string& target) {
    if (!r.objectDepth) return writeToFile(target, [&](IS5_DEST d) { return writeDirect(r.type, r.option, d, p); });
    CISImageEx img;
    toImage(img, p);
    img.bmpWriteFlag = r.rle;
    return img.Write(r.type, target);
}

/// The file a row makes of `p`: through the image object, or straight through the writer
/// into memory.
Bytes written(const WriterRow& r, const Picture& p) {
    testutil::TempDir dir;
    if (r.objectDepth) {
        EXPECT_EQ(writeRow(r, p, dir / "out"), 0u);
        return testutil::readFile(dir / "out");
    }
    const Written w = writeToMemory([&](IS5_DEST d) { return writeDirect(r.type, r.option, d, p); });
    EXPECT_TRUE(w.ok) << "error " << w.code;
    return w.bytes;
}

class RoundTrip : public ::testing::TestWithParam<WriterRow> {};

TEST_P(RoundTrip, ReadsBackTheSameColoursAtEveryShape) {
    // Widths around the four-byte row padding and the eight-pixel byte of 1-bit rows, pictures
    // large enough for LZW table resets and many RLE rows, and rows with unused bytes between them.
    const WriterRow& r = GetParam();
    std::vector<std::array<std::uint32_t, 3>> shapes = { // width, height, padding
        {1, 1, 0}, {3, 5, 0}, {124, 4, 0}, {125, 3, 0}, {126, 3, 0}, {127, 4, 0}, {300, 200, 0}, {200, 9, 0}, {31, 5, 3}};
    for (std::uint32_t width : {1u, 2u, 3u, 124u, 125u, 126u, 127u}) shapes.push_back({width, 9, 0});
    if (r.large[0]) shapes.push_back({r.large[0], r.large[1], 0});
    testutil::TempDir dir;
    for (const auto& [width, height, padding] : shapes) {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height) + " padded " + std::to_string(padding));
        Look look = r.look;
        look.padding = padding;
        const Picture p = makePicture(width, height, r.depth, look);
        const Bytes file = written(r, p), expected = expectedColours(p, r.expect);
        ASSERT_FALSE(file.empty());
        if (r.objectDepth) {
            CISImageEx back; // a WBMP is known by its name only
            const std::string path = saveTemp(dir, "p." + r.what.substr(0, r.what.find_first_of("0123456789_")), file);
            ASSERT_EQ(back.Read(path, kImageDetect), 0u);
            EXPECT_EQ(back.bitsPerPixel, r.objectDepth);
            EXPECT_EQ(std::tuple(back.width, back.height, firstDifference(coloursOf(back), expected, width)),
                      std::tuple(width, height, ""));
            continue;
        }
        const Decoded back = decode(file, [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq* pal) {
            return readDirect(r.type, r.depth, s, file, w, h, pal);
        });
        ASSERT_TRUE(back.ok) << back.code;
        EXPECT_EQ(std::tuple(back.width, back.height, firstDifference(back.colours(r.depth), expected, width)),
                  std::tuple(width, height, ""));
        // PCX, TGA and PNG keep an 8-bit picture's indexes as they are.
        if (r.depth == 8 && (r.type == kImagePcx || r.type == kImageTga || r.type == kImagePng)) {
            for (std::uint32_t y = 0; y < height; ++y)
                EXPECT_EQ(back.pixels.substr(std::size_t{y} * width, width),
                          Bytes(reinterpret_cast<const char*>(p.data()) + std::size_t{y} * p.stride, width));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Writers, RoundTrip, ::testing::ValuesIn(kWriters),
                         [](const auto& info) { return info.param.what; });

// ---- a full disk -------------------------------------------------------------------------------

class FullDisk : public ::testing::TestWithParam<WriterRow> {};

TEST_P(FullDisk, LeavesNoFileAndKeepsTheOldOne) {
    // Each row writes a 300 x 200 picture; type -1 writes 16 KiB of plain bytes into the destination.
    const WriterRow& r = GetParam();
    const Picture p = makePicture(300, 200, r.depth);
    const auto plainBytes = [](IS5_DEST d) {
        const std::vector<char> block(1024, 'z');
        BOOL all = TRUE;
        for (int i = 0; i < 16 && all; ++i) all = is5_WriteDest(d, block.data(), block.size());
        is5_MarkDestComplete(d);
        return all;
    };
    testutil::TempDir dir;
    const std::string target = dir / "picture.out";
    testutil::writeFile(target, "kept");
    // A child process with a small file size limit plays a full disk (root ignores permissions).
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit((r.type < 0 ? writeToFile(target, plainBytes) : writeRow(r, p, target)) == IS5_ERR_WRITE ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(testutil::readFile(target), "kept");
    EXPECT_EQ(testutil::filesIn(dir.path()), 1u);
}

// The writers without a round trip of their own here, and the others as their round trips
// call them, at 24 bits (their files outgrow the limit).
std::vector<WriterRow> fullDiskRows() {
    std::vector<WriterRow> rows = {
        {"destination", -1, 24, 0}, {"object_bmp", kImageBmp, 24, 24}, {"object_gif", kImageGif, 24, 8},
        {"object_psd", kImagePsd, 24, 24}, {"jpeg", kImageJpeg, 24, 0}, {"bmp", kImageBmp, 24, 0},
        {"gif", kImageGif, 8, 0}, {"psd", kImagePsd, 24, 0}, {"wbmp", kImageWbmp, 8, 0}};
    for (const WriterRow& w : kWriters)
        if (!w.objectDepth && w.depth == 24) rows.push_back(w);
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Writers, FullDisk, ::testing::ValuesIn(fullDiskRows()),
                         [](const auto& info) { return info.param.what; });

// ---- ImageMagick agrees ------------------------------------------------------------------------

struct MagickRow {
    std::string what;
    Picture picture;
    std::function<Bytes(const Picture&)> write;
    const char* format;          // ImageMagick's name of the file's format
    Expect expect = Expect::Same;
    int tolerance = 0;           // largest difference of a channel
    std::string facts = "";      // more of identify's view, for JPEG
};

void PrintTo(const MagickRow& r, std::ostream* os) { *os << r.what; }

/// A row's writer: what `write` leaves in a memory destination.
std::function<Bytes(const Picture&)> inMemory(std::function<BOOL(IS5_DEST, const Picture&)> write) {
    return [write](const Picture& p) { return writeToMemory([&](IS5_DEST d) { return write(d, p); }).bytes; };
}

std::vector<MagickRow> magickRows() {
    std::vector<MagickRow> rows;
    // Every conversion the own writers make, at three sizes; the others as their round trips write.
    // ImageMagick 6 does not read one-channel indexed Photoshop files: those are checked by the
    // round trips only.
    for (const WriterRow& r : kWriters) {
        using Sizes = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
        for (auto [w, h] : r.objectDepth ? Sizes{{3, 5}, {127, 4}, {300, 200}} : Sizes{{125, 6}})
            if (r.format && r.type != kImagePsdBitmap)
                rows.push_back({r.objectDepth ? r.what + "_" + std::to_string(w) + "x" + std::to_string(h) : r.what,
                                makePicture(w, h, r.depth, r.look), [r](const Picture& p) { return written(r, p); },
                                r.format, r.expect});
    }
    // JPEG within its error bound, with the density, the chroma sampling (halved below
    // quality 90) and the scans (progressive with option 1). Bounds: the largest error seen
    // with libjpeg-turbo 2.1.5 plus a margin; small pictures carry the whole gradient across a
    // few pixels, so halved chroma costs more there.
    struct Jpeg { std::uint32_t depth, width, height; int quality; std::uint32_t options; const char* facts; int bound; };
    const char* halved = " sRGB 300 300 PixelsPerInch 2x2,1x1,1x1";
    const char* whole = " sRGB 300 300 PixelsPerInch 1x1,1x1,1x1";
    const char* grey = " Gray 300 300 PixelsPerInch 1x1";
    for (const Jpeg& j : {Jpeg{24, 200, 120, 75, 0, halved, 12}, Jpeg{24, 200, 120, 100, 0, whole, 5},
                          Jpeg{8, 200, 120, 75, 0, grey, 10}, Jpeg{8, 200, 120, 100, 0, grey, 2},
                          Jpeg{24, 200, 120, 75, 1, halved, 12}, Jpeg{24, 127, 9, 75, 1, halved, 32},
                          Jpeg{24, 127, 9, 100, 1, whole, 5}, Jpeg{24, 1, 1, 75, 0, halved, 2},
                          Jpeg{8, 3, 2, 100, 0, grey, 2}, Jpeg{24, 3, 17, 100, 0, whole, 3},
                          Jpeg{24, 96, 40, 89, 0, halved, 12}, Jpeg{24, 96, 40, 90, 0, whole, 8},
                          Jpeg{24, 96, 40, 95, 0, whole, 8}}) {
        const auto write = [q = j.quality, options = j.options](IS5_DEST d, const Picture& p) {
            const ResolutionInfo dpi300{300, 300, 1};
            return is5_WriteJPG(d, p.data(), p.width, p.height, p.depth, p.stride, q, &dpi300, options);
        };
        rows.push_back({"jpeg" + std::to_string(j.depth) + "_q" + std::to_string(j.quality) + "_" +
                            std::to_string(j.width) + "x" + std::to_string(j.height) + (j.options ? "_progressive" : ""),
                        makePicture(j.width, j.height, j.depth, {.smooth = true}), inMemory(write), "JPEG",
                        Expect::Same, j.bound, j.facts + std::string(j.options ? " JPEG" : " None")});
    }
    // Lossy WebP within its error bound at two qualities (18 and 8 seen with libwebp 1.2.4):
    // quality 95 must be closer than 75 can be.
    for (const auto& [quality, bound] : {std::pair{75, 20}, std::pair{95, 10}})
        rows.push_back({"webp_q" + std::to_string(quality), makePicture(96, 40, 24, {.smooth = true}),
                        inMemory([q = quality](IS5_DEST d, const Picture& p) {
                            return is5_WriteWEBP(d, p.data(), p.width, p.height, p.stride, q, 0);
                        }),
                        "WEBP", Expect::Same, bound});
    return rows;
}

class MagickAgrees : public ::testing::TestWithParam<MagickRow> {};

TEST_P(MagickAgrees, OnSizeFormatAndPixels) {
    REQUIRE_TOOL("convert");
    const MagickRow& r = GetParam();
    const Picture& p = r.picture;
    testutil::TempDir dir;
    std::string name = std::string("m.") + r.format; // ImageMagick knows TGA and WBMP by the name only
    std::transform(name.begin(), name.end(), name.begin(), [](char c) { return c == '3' ? ' ' : char(std::tolower(c)); });
    const std::string path = saveTemp(dir, name.substr(0, name.find(' ')), r.write(p));
    const Bytes seen = magickRgb(path);
    const std::string extra =
        r.facts.empty() ? "" : " %[colorspace] %x %y %U %[jpeg:sampling-factor] %[interlace]";
    EXPECT_EQ(run("identify -format '%w %h %m" + extra + "' '" + path + "'").out,
              std::to_string(p.width) + " " + std::to_string(p.height) + " " + r.format + r.facts);
    const Bytes expected = expectedColours(p, r.expect);
    if (r.tolerance) { EXPECT_LE(maxDifference(seen, expected), r.tolerance); }
    else EXPECT_EQ(firstDifference(seen, expected, p.width), "");
}

INSTANTIATE_TEST_SUITE_P(Writers, MagickAgrees, ::testing::ValuesIn(magickRows()),
                         [](const auto& info) { return info.param.what; });

// ---- each reader's pixel limit -----------------------------------------------------------------

TEST(Readers, PixelLimitAllowsExactlyTheLimit) {
    // 5 x 4 pictures written by the program, read back with the limit at 20 and at 19.
    const std::vector<std::tuple<int, std::uint32_t, const char*>> rows = { // type, depth, file
        {kImageBmp, 24, "a.bmp"},  {kImageBmpPalette, 8, "b.bmp"}, {kImageBmpBw, 1, "c.bmp"},
        {kImagePcx, 24, "a.pcx"},  {kImagePcxPalette, 8, "b.pcx"}, {kImageTga, 24, "a.tga"},
        {kImageTgaPalette, 8, "b.tga"}, {kImageWbmp, 1, "a.wbmp"}, {kImagePng, 24, "a.png"},
        {kImagePngPalette, 8, "b.png"}, {kImageJpeg, 24, "a.jpg"}, {kImageJpegGrey, 24, "b.jpg"},
        {kImageTiff, 24, "a.tif"}, {kImageTiffBw, 1, "b.tif"}, {kImageGif, 8, "a.gif"},
        {kImagePsd, 24, "a.psd"},  {kImagePsdBitmap, 8, "b.psd"}, {kImageWebp, 24, "a.webp"}};
    testutil::TempDir dir;
    const std::uint64_t saved = is5_GetMaxPixels();
    for (const auto& [type, depth, name] : rows) {
        SCOPED_TRACE(name);
        CISImageEx img, back;
        toImage(img, makePicture(5, 4, depth));
        ASSERT_EQ(img.Write(type, dir / name), 0u);
        is5_SetMaxPixels(20);
        EXPECT_EQ(back.Read(dir / name, kImageDetect), IS5_OK);
        is5_SetMaxPixels(19);
        EXPECT_EQ(back.Read(dir / name, kImageDetect), IS5_ERR_TOO_LARGE);
        is5_SetMaxPixels(saved);
    }
}

} // namespace
