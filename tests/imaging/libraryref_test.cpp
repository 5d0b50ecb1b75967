// SPDX-License-Identifier: MIT
// The readers built on a library against that library used plainly: every good corpus
// JPEG, PNG and TIFF decoded both ways at each depth the reader offers, one table row per
// reader.
#include "codectest.h"
#include "corpus.h"

#include "imaging/codecs/exif.h"
#include "imaging/is5.h"

#include <gtest/gtest.h>

#include <csetjmp>
#include <cstring>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace fs = std::filesystem;
using codectest::Shown;

namespace {

/// What the library gives for one file: 8-bit RGB with alpha over white, and what the
/// reader's output at 8 and 1 bits must show (empty: that depth is not checked).
struct Reference {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> rgb = {};
    std::vector<std::uint8_t> eight = {}; ///< compared with the 8-bit block itself when `eightRaw`
    bool eightRaw = false;
    bool one = false;                     ///< 1-bit output shows `rgb`
    bool skip = false;                    ///< a file the library cannot give plainly: the reader must still read it
    std::vector<Is5Rgbq> palette = {};    ///< the palette reader's entries, which 8-bit output must come with
};

// ---- libjpeg straight: read_header, start, read_scanlines into RGB and into grey.

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

std::optional<std::vector<std::uint8_t>> libjpegDecode(const std::string& bytes, J_COLOR_SPACE out, Reference& ref) {
    jpeg_decompress_struct info{};
    JpegError err{};
    std::vector<std::uint8_t> px;
    info.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = [](j_common_ptr c) { std::longjmp(reinterpret_cast<JpegError*>(c->err)->jump, 1); };
    err.pub.output_message = [](j_common_ptr) {};
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&info);
        return std::nullopt;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
    jpeg_read_header(&info, TRUE);
    for (jpeg_saved_marker_ptr m = info.marker_list; m; m = m->next) {
        imaging::detail::ExifFacts facts;
        // Oriented files are turned by the reader (orientation_test.cpp), so not compared here.
        if (imaging::detail::readExifSegment(m->data, m->data_length, facts) && facts.orientation != 1) ref.skip = true;
    }
    info.out_color_space = out;
    jpeg_start_decompress(&info);
    ref.width = info.output_width;
    ref.height = info.output_height;
    px.resize(std::size_t{ref.width} * ref.height * info.output_components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = px.data() + std::size_t{info.output_scanline} * ref.width * info.output_components;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_destroy_decompress(&info);
    return px;
}

// Our 24- and 8-bit output is libjpeg's own, byte for byte. CMYK files, which libjpeg
// cannot give as RGB, are converted by the reader (jpeg_test.cpp).
std::optional<Reference> jpegReference(const fs::path&, const std::string& bytes) {
    Reference ref;
    auto rgb = libjpegDecode(bytes, JCS_RGB, ref);
    if (!rgb) return Reference{.skip = true};
    auto grey = libjpegDecode(bytes, JCS_GRAYSCALE, ref);
    if (!grey) return std::nullopt;
    ref.rgb = std::move(*rgb);
    ref.eight = std::move(*grey);
    ref.eightRaw = true;
    return ref;
}

// ---- libpng's low-level API in its plainest use: expand everything to 8-bit RGB(A) (16-bit
// samples scaled with png_set_scale_16, as the reader does), then lay alpha over white.

std::optional<Reference> pngReference(const fs::path&, const std::string& bytes) {
    struct Input {
        const std::string* bytes;
        std::size_t at;
    } input{&bytes, 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    Reference ref;
    std::vector<std::uint8_t> pixels;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return std::nullopt;
    }
    png_set_read_fn(png, &input, [](png_structp p, png_bytep out, std::size_t n) {
        auto* in = static_cast<Input*>(png_get_io_ptr(p));
        if (n > in->bytes->size() - in->at) png_error(p, "short");
        std::memcpy(out, in->bytes->data() + in->at, n);
        in->at += n;
    });
    png_read_info(png, info);
    int bitDepth = 0, colourType = 0, paletteCount = 0;
    png_get_IHDR(png, info, &ref.width, &ref.height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    png_colorp palette = nullptr;
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_get_PLTE(png, info, &palette, &paletteCount);
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const int channels = png_get_channels(png, info);
    const std::size_t stride = png_get_rowbytes(png, info);
    pixels.resize(stride * ref.height);
    for (png_uint_32 y = 0; y < ref.height; ++y) rows.push_back(pixels.data() + y * stride);
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    ref.rgb.resize(std::size_t{ref.width} * ref.height * 3);
    for (std::size_t i = 0, n = std::size_t{ref.width} * ref.height; i < n; ++i) {
        const std::uint8_t* p = &pixels[i * channels];
        const std::uint32_t a = channels == 4 ? p[3] : 255;
        for (int c = 0; c < 3; ++c)
            ref.rgb[i * 3 + c] = static_cast<std::uint8_t>((p[c] * a + 255u * (255u - a) + 127u) / 255u);
    }
    // Palette and grey files read at 8 bits, 1-bit files (but grey with alpha) at 1 bit, and
    // the indexes shown through the palette give libpng's colours.
    const bool grey = colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA;
    if (colourType == PNG_COLOR_TYPE_PALETTE || grey) ref.eight = ref.rgb;
    ref.one = bitDepth == 1 && colourType != PNG_COLOR_TYPE_GRAY_ALPHA;

    // The header reader agrees with IHDR and PLTE, and its palette is the one 8-bit output comes with.
    IS5_SOURCE source = is5_OpenMemorySource(bytes.data(), bytes.size(), "t.png");
    std::uint32_t w = 0, h = 0, depth = 0, type = 0, count = 0;
    Is5Rgbq entries[256];
    EXPECT_TRUE(is5_GetPNGDims(source, &w, &h, &depth, &type, nullptr));
    EXPECT_TRUE(is5_GetPNGPalette(source, &count, entries, 0));
    is5_CloseSource(source);
    EXPECT_EQ(std::tie(w, h, depth, type),
              std::tuple(ref.width, ref.height, std::uint32_t(bitDepth), std::uint32_t(colourType)));
    const int expectedCount = colourType == PNG_COLOR_TYPE_PALETTE ? paletteCount
                              : grey ? (bitDepth == 1 && colourType == PNG_COLOR_TYPE_GRAY ? 2 : 256) : 0;
    EXPECT_EQ(count, std::uint32_t(expectedCount));
    ref.palette.assign(entries, entries + std::min<std::uint32_t>(count, 256));
    return ref;
}

// ---- libtiff's whole-picture RGBA read, top row first, alpha laid over white. The reader
// reads in bands rather than whole; 8-bit output shown through its palette gives the same
// colours wherever the reader offers that depth.

std::optional<Reference> tiffReference(const fs::path& path, const std::string& bytes) {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFF* tif = TIFFOpen(path.string().c_str(), "r");
    if (!tif) return Reference{.skip = true};
    Reference ref;
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &ref.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &ref.height);
    std::vector<std::uint32_t> raster(std::size_t{ref.width} * ref.height);
    const int ok = TIFFReadRGBAImageOriented(tif, ref.width, ref.height, raster.data(), ORIENTATION_TOPLEFT, 1);
    TIFFClose(tif);
    // e.g. the Group 3 file this libtiff cannot read alone; oriented files are turned.
    if (!ok || orientation != ORIENTATION_TOPLEFT) return Reference{.skip = true};
    ref.rgb.resize(raster.size() * 3);
    for (std::size_t i = 0; i < raster.size(); ++i) {
        const std::uint32_t behind = 255 - TIFFGetA(raster[i]);
        ref.rgb[i * 3] = static_cast<std::uint8_t>(std::min(255u, TIFFGetR(raster[i]) + behind));
        ref.rgb[i * 3 + 1] = static_cast<std::uint8_t>(std::min(255u, TIFFGetG(raster[i]) + behind));
        ref.rgb[i * 3 + 2] = static_cast<std::uint8_t>(std::min(255u, TIFFGetB(raster[i]) + behind));
    }
    const codectest::Dims dims = codectest::headerDims(
        bytes, [](IS5_SOURCE s, auto* w, auto* h, auto* bits) { return is5_GetTIFFDims(s, 0, w, h, bits, nullptr); });
    EXPECT_EQ(dims, (codectest::Dims{true, ref.width, ref.height, dims.bits}));
    if (dims.bits <= 8) ref.eight = ref.rgb;
    return ref;
}

using Read = std::function<HGLOBAL(IS5_SOURCE, std::uint32_t*, std::uint32_t*, std::uint32_t, Is5Rgbq*)>;

struct LibraryRow {
    const char* name;
    std::function<bool(const testutil::CorpusEntry&)> takes;
    std::function<std::optional<Reference>(const fs::path&, const std::string&)> reference;
    Read read;
    bool fromFileToo; ///< also read through a file source
    int atLeast;      ///< files that must be compared
};

const LibraryRow kLibraries[] = {
    {"Jpeg", [](const auto& e) { return std::regex_search(e.path, std::regex(R"(\.(jpe?g|JPG)$)")); }, jpegReference,
     [](auto s, auto w, auto h, std::uint32_t depth, auto) { return is5_ReadJPG(s, w, h, depth, 0); }, true, 12},
    {"Png", [](const auto& e) {
         return (e.suite == "pngsuite" || e.suite == "libpng-testpngs") && e.path.ends_with(".png");
     },
     pngReference,
     [](auto s, auto w, auto h, std::uint32_t depth, auto pal) { return is5_ReadPNG(s, w, h, depth, pal, 0); }, false,
     200},
    {"Tiff", [](const auto& e) { return std::regex_search(e.path, std::regex(R"(\.tiff?$)")); }, tiffReference,
     [](auto s, auto w, auto h, std::uint32_t depth, auto pal) { return is5_ReadTIFF(s, w, h, depth, pal, 0, 0); },
     false, 20},
};

class LibraryAgrees : public ::testing::TestWithParam<LibraryRow> {};

} // namespace

TEST_P(LibraryAgrees, EveryGoodCorpusFileAtEveryDepth) {
    REQUIRE_CORPUS(corpus);
    const LibraryRow& row = GetParam();
    int compared = 0;
    for (const auto& entry : testutil::readManifest(corpus)) {
        if (entry.expect != "ok" || !row.takes(entry)) continue;
        SCOPED_TRACE(entry.path);
        const fs::path file = corpus / entry.path;
        const std::string bytes = testutil::readFile(file);
        auto ref = row.reference(file, bytes);
        ASSERT_TRUE(ref.has_value());
        auto read = [&](std::uint32_t depth, const std::string& path = {}) {
            const auto one = [&](IS5_SOURCE s, auto* w, auto* h, Is5Rgbq* pal) { return row.read(s, w, h, depth, pal); };
            return codectest::readShown(bytes, depth, one, nullptr, path);
        };
        if (ref->skip) {
            EXPECT_TRUE(read(24).has_value());
            continue;
        }
        for (const std::string& path : {std::string(), row.fromFileToo ? file.string() : std::string()}) {
            auto ours = read(24, path);
            ASSERT_TRUE(ours.has_value());
            EXPECT_EQ(std::tie(ours->width, ours->height), std::tie(ref->width, ref->height));
            EXPECT_TRUE(ours->rgb == ref->rgb);
            if (!ref->eight.empty()) {
                auto eight = read(8, path);
                ASSERT_TRUE(eight.has_value());
                EXPECT_TRUE((ref->eightRaw ? eight->raw : eight->rgb) == ref->eight) << "8-bit";
                if (!ref->palette.empty()) {
                    EXPECT_EQ(std::memcmp(eight->palette.data(), ref->palette.data(), ref->palette.size() * sizeof(Is5Rgbq)), 0);
                }
            }
            if (ref->one) {
                auto one = read(1, path);
                ASSERT_TRUE(one.has_value());
                EXPECT_TRUE(one->rgb == ref->rgb) << "1-bit";
            }
            if (!row.fromFileToo) break;
        }
        ++compared;
    }
    EXPECT_GE(compared, row.atLeast);
}

INSTANTIATE_TEST_SUITE_P(Readers, LibraryAgrees, ::testing::ValuesIn(kLibraries),
                         [](const auto& info) { return std::string(info.param.name); });
