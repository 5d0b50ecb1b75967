// SPDX-License-Identifier: MIT
// PNG writing through libpng: 24-bit RGB (colour type 2) and palette pictures (colour
// type 3) at 8 or 1 bits, with pHYs and the calling thread's text chunks.
// Format: https://www.w3.org/TR/png/ (PNG, third edition).
//
// No gAMA chunk is written, whatever gamma the caller hands over: the pixels are the
// file's own sRGB values as they were decoded, and a gAMA of anything but 1/2.2 would make
// viewers that honour it show them lighter or darker than the original.
#include "imaging/codecs/buffereddest.h"
#include "imaging/codecs/outputlists.h"
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <png.h>
#include <zlib.h>

namespace imaging::detail {

namespace {

// Compression of 24-bit pictures: rows filtered adaptively (libpng's per-row choice) and
// zlib's run-length strategy with its largest memory level. Filtered photographs are mostly
// small differences and runs of zeros, with few longer matches worth searching for. On the
// 3000 x 2000 photo-like picture of bench/write_bench.cpp this gives a file 0.6 % smaller
// than libpng's defaults (level 6, filtered strategy) in a fifth of the time; on the small
// photographs of the test corpus, files from 0.9 % smaller to 3.9 % larger. zlib levels
// 1-3 made files 3-25 % larger there, and levels 4-5 are no faster on noisy pictures.
constexpr int kRgbFilters = PNG_ALL_FILTERS;
constexpr int kRgbStrategy = Z_RLE;
constexpr int kRgbMemLevel = 9;
// Palette pictures keep libpng's defaults (unfiltered rows, zlib level 6): they are a
// third of the bytes, and their repeated index patterns need the real match search.
constexpr std::size_t kZlibBufferSize = std::size_t{128} << 10;

struct PngParams {
    const std::uint8_t* pixels = nullptr;
    std::uint32_t width = 0, height = 0, stride = 0;
    int bitDepth = 8, colourType = PNG_COLOR_TYPE_RGB;
    std::vector<png_color> palette; // PLTE entries (palette pictures)
    bool hasPhys = false;
    png_uint_32 xPerMetre = 0, yPerMetre = 0;
};

// pHYs in pixels per metre (the values always are; the unit code is not consulted),
// truncated as a C cast does; none for a zero, negative or unrepresentable value.
void choosePhys(const ResolutionInfo* resolution, PngParams& p) {
    if (!resolution) return;
    auto fits = [](double v) { return std::isfinite(v) && v >= 1.0 && v < 2147483648.0; };
    if (!fits(resolution->xResolution) || !fits(resolution->yResolution)) return;
    p.hasPhys = true;
    p.xPerMetre = static_cast<png_uint_32>(resolution->xResolution);
    p.yPerMetre = static_cast<png_uint_32>(resolution->yResolution);
}

// The largest index the picture uses, so the PLTE can cover every pixel.
std::uint32_t largestIndex(const PngParams& p) {
    std::uint32_t most = 0;
    for (std::uint32_t y = 0; y < p.height; ++y) {
        const std::uint8_t* row = p.pixels + std::size_t{y} * p.stride;
        if (p.bitDepth == 1) {
            const std::size_t full = p.width / 8, rest = p.width % 8;
            std::uint8_t any = 0;
            for (std::size_t i = 0; i < full; ++i) any |= row[i];
            if (rest) any |= static_cast<std::uint8_t>(row[full] & (0xFF00u >> rest));
            if (any) return 1;
        } else {
            most = std::max<std::uint32_t>(most, *std::max_element(row, row + p.width));
            if (most == 255) break;
        }
    }
    return most;
}

class PngEncoder {
public:
    explicit PngEncoder(IS5_DEST dest) : m_out(dest) {}
    ~PngEncoder() {
        if (m_png) png_destroy_write_struct(&m_png, m_pngInfo ? &m_pngInfo : nullptr);
    }
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;

    /// Takes the calling thread's text list (before encode, which must not allocate).
    void takeText() {
        const std::vector<PngOutputText>& texts = pngOutputText();
        m_text.resize(texts.size());
        for (std::size_t i = 0; i < texts.size(); ++i) {
            m_text[i] = png_text{};
            m_text[i].compression = PNG_TEXT_COMPRESSION_NONE;
            m_text[i].key = const_cast<png_charp>(texts[i].key.c_str());
            m_text[i].text = const_cast<png_charp>(texts[i].text.c_str());
            m_text[i].text_length = texts[i].text.size();
        }
    }

    // Everything that libpng may leave through longjmp happens in here, with no locals
    // that live across a library call.
    std::uint32_t encode(const PngParams& p) noexcept {
        if (setjmp(m_jump)) return m_code;
        m_png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, &onError, &onWarning);
        if (!m_png) return IS5_ERR_MEMORY;
        m_pngInfo = png_create_info_struct(m_png);
        if (!m_pngInfo) return IS5_ERR_MEMORY;
        png_set_write_fn(m_png, this, &onWrite, &onFlush);

        if (p.colourType == PNG_COLOR_TYPE_RGB) {
            png_set_filter(m_png, PNG_FILTER_TYPE_BASE, kRgbFilters);
            png_set_compression_strategy(m_png, kRgbStrategy);
            png_set_compression_mem_level(m_png, kRgbMemLevel);
        }
        png_set_compression_buffer_size(m_png, kZlibBufferSize);

        png_set_IHDR(m_png, m_pngInfo, p.width, p.height, p.bitDepth, p.colourType, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
        if (p.colourType == PNG_COLOR_TYPE_PALETTE)
            png_set_PLTE(m_png, m_pngInfo, p.palette.data(), static_cast<int>(p.palette.size()));
        if (p.hasPhys) png_set_pHYs(m_png, m_pngInfo, p.xPerMetre, p.yPerMetre, PNG_RESOLUTION_METER);
        if (!m_text.empty()) png_set_text(m_png, m_pngInfo, m_text.data(), static_cast<int>(m_text.size()));

        png_write_info(m_png, m_pngInfo);
        for (m_row = 0; m_row < p.height; ++m_row)
            png_write_row(m_png, p.pixels + std::size_t{m_row} * p.stride);
        png_write_end(m_png, nullptr);
        if (!m_out.flush()) return m_out.code();
        return IS5_OK;
    }

private:
    [[noreturn]] void fatal(std::uint32_t code) {
        m_code = code;
        std::longjmp(m_jump, 1);
    }
    static PngEncoder& selfOf(png_structp png) { return *static_cast<PngEncoder*>(png_get_io_ptr(png)); }

    static void onError(png_structp png, png_const_charp message) {
        auto& self = *static_cast<PngEncoder*>(png_get_error_ptr(png));
        if (self.m_code == IS5_OK)
            self.m_code = message && std::strstr(message, "ut of memory") ? IS5_ERR_MEMORY : IS5_ERR_PARAM;
        std::longjmp(self.m_jump, 1);
    }
    static void onWarning(png_structp, png_const_charp) {}

    static void onWrite(png_structp png, png_bytep data, std::size_t length) {
        PngEncoder& self = selfOf(png);
        if (!self.m_out.write(data, length)) {
            self.m_code = self.m_out.code();
            png_error(png, "write failed");
        }
    }
    static void onFlush(png_structp) {}

    BufferedDest m_out;
    png_structp m_png = nullptr;
    png_infop m_pngInfo = nullptr;
    std::jmp_buf m_jump;
    std::uint32_t m_code = IS5_OK;
    std::vector<png_text> m_text;
    std::uint32_t m_row = 0;
};

} // namespace

} // namespace imaging::detail

BOOL is5_WritePNG(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t stride, std::uint32_t bitDepth, std::uint32_t colours, const Is5Rgbq* palette,
                  std::uint32_t colourType, double /*gamma: not stored, see above*/, const ResolutionInfo* resolution,
                  std::uint32_t /*flags*/) {
    using namespace imaging::detail;
    constexpr const char* kFunction = "is5_WritePNG";
    const bool rgb = colourType == PNG_COLOR_TYPE_RGB && bitDepth == 8;
    const bool indexed = colourType == PNG_COLOR_TYPE_PALETTE && (bitDepth == 8 || bitDepth == 1) && palette &&
                         colours >= 1 && colours <= (1u << bitDepth);
    const std::uint32_t depth = rgb ? 24 : bitDepth;
    if ((!rgb && !indexed) || !validPicture(dest, pixels, width, height, depth, stride) || width > PNG_UINT_31_MAX ||
        height > PNG_UINT_31_MAX)
        return endWrite(dest, IS5_ERR_PARAM, kFunction);
    try {
        PngParams params;
        params.pixels = pixels;
        params.width = width;
        params.height = height;
        params.stride = stride;
        params.bitDepth = static_cast<int>(bitDepth);
        params.colourType = static_cast<int>(colourType);
        if (indexed) {
            // Indexes past the given colours are covered with black entries: a PLTE too
            // short for its pixels makes an invalid file.
            const std::uint32_t entries = std::max(colours, largestIndex(params) + 1);
            params.palette.assign(entries, png_color{0, 0, 0});
            for (std::uint32_t i = 0; i < colours; ++i) params.palette[i] = {palette[i].r, palette[i].g, palette[i].b};
        }
        choosePhys(resolution, params);
        auto encoder = std::make_unique<PngEncoder>(dest);
        encoder->takeText();
        return endWrite(dest, encoder->encode(params), kFunction);
    } catch (const std::bad_alloc&) {
        return endWrite(dest, IS5_ERR_MEMORY, kFunction);
    }
}
