// SPDX-License-Identifier: MIT
// PNG reading through libpng: the header reader, the palette helper and the decoder to
// 24-bit RGB, 8-bit indexes or 1-bit packed rows.
// Format: https://www.w3.org/TR/png/ (PNG, third edition).
//
// Pixels are delivered as stored: gAMA, cHRM, sRGB and iCCP are not applied (those chunks
// are not even read). 16-bit samples are scaled to 8 bits with rounding (v / 257, libpng's
// png_set_scale_16). Transparency is laid over white with overWhite for 24-bit output;
// at 8 and 1 bits a transparent palette entry is blended over white in the palette, and a
// transparent grey level becomes white. CRC errors in any chunk, a damaged zlib stream and
// a missing or cut IEND chunk fail the read; Apple's CgBI files fail as not PNG.
#include "imaging/detail/lasterror.h"
#include "imaging/detail/pixels.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <new>

#include <png.h>

namespace imaging::detail {

namespace {

constexpr png_alloc_size_t kChunkMallocMax = 8u << 20;  // largest ancillary chunk kept
constexpr png_uint_32 kChunkCacheMax = 256;              // most ancillary chunks kept
constexpr std::size_t kRowBatch = 16;

struct PngHeader {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colourType = 0, interlace = 0;
    bool hasPhys = false;
    png_uint_32 xPerUnit = 0, yPerUnit = 0;
    int physUnit = 0;
    int paletteCount = 0;
    Is5Rgbq palette[256] = {};  // PLTE with tRNS laid over white; black past paletteCount
    bool hasGreyKey = false;    // grey file with a transparent level
    png_uint_16 greyKey = 0;
};

class PngDecoder {
public:
    explicit PngDecoder(Is5Source& source) : m_source(source) {}
    ~PngDecoder() {
        if (m_png) png_destroy_read_struct(&m_png, m_pngInfo ? &m_pngInfo : nullptr, nullptr);
    }
    PngDecoder(const PngDecoder&) = delete;
    PngDecoder& operator=(const PngDecoder&) = delete;

    std::uint32_t readHeader() noexcept {
        if (setjmp(m_jump)) return m_code;
        start();
        return IS5_OK;
    }

    std::uint32_t decode(std::uint32_t depth) noexcept {
        if (setjmp(m_jump)) return m_code;
        start();
        if (std::uint32_t rc = checkPictureSize(m_header.width, m_header.height)) return rc;
        const int colour = m_header.colourType;
        const bool grey = colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA;
        if (depth == 1 && (m_header.bitDepth != 1 || colour == PNG_COLOR_TYPE_GRAY_ALPHA)) return IS5_ERR_PARAM;
        if (depth == 8 && !grey && colour != PNG_COLOR_TYPE_PALETTE) return IS5_ERR_PARAM;

        // What each decoded row holds: 1 (index or grey), 2 (grey, alpha), 3 or 4 bytes.
        int channels;
        if (depth == 24) {
            if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(m_png);
            if (colour == PNG_COLOR_TYPE_GRAY && m_header.bitDepth < 8) png_set_expand_gray_1_2_4_to_8(m_png);
            if (png_get_valid(m_png, m_pngInfo, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(m_png);
            if (m_header.bitDepth == 16) png_set_scale_16(m_png);
            if (grey) png_set_gray_to_rgb(m_png);
        } else if (depth == 8) {
            // 1-bit grey keeps indexes 0 and 1 (its palette is black, white); other grey
            // depths are spread over 0…255 to index the grey ramp.
            if (colour == PNG_COLOR_TYPE_PALETTE || m_header.bitDepth == 1) png_set_packing(m_png);
            else if (grey && m_header.bitDepth < 8) png_set_expand_gray_1_2_4_to_8(m_png);
            if (grey && m_header.hasGreyKey && m_header.bitDepth != 1) png_set_tRNS_to_alpha(m_png);
            if (m_header.bitDepth == 16) png_set_scale_16(m_png);
        }
        const int passes = png_set_interlace_handling(m_png);
        png_read_update_info(m_png, m_pngInfo);
        channels = png_get_channels(m_png, m_pngInfo);
        if (depth != 1 && png_get_bit_depth(m_png, m_pngInfo) != 8) return IS5_ERR_FORMAT;

        const std::size_t width = m_header.width, height = m_header.height;
        const std::size_t stride = rowBytes(width, depth);
        if (!m_block.allocate(stride * height, depth == 1)) return IS5_ERR_MEMORY;
        std::uint8_t* out = m_block.data();
        const bool direct = depth == 1 || (depth == 24 && channels == 3) || (depth == 8 && channels == 1);
        if (direct) {
            if (png_get_rowbytes(m_png, m_pngInfo) != stride) return IS5_ERR_FORMAT;
            for (int pass = 0; pass < passes; ++pass) {
                for (std::size_t y = 0; y < height;) {
                    const std::size_t count = std::min(kRowBatch, height - y);
                    for (std::size_t i = 0; i < count; ++i) m_rows[i] = out + (y + i) * stride;
                    png_read_rows(m_png, m_rows, nullptr, static_cast<png_uint_32>(count));
                    y += count;
                }
            }
        } else {
            // Rows with alpha go through a buffer and are laid over white. Interlaced files
            // need the whole picture buffered, as each pass adds pixels to every row.
            const std::size_t inStride = width * static_cast<std::size_t>(channels);
            if (png_get_rowbytes(m_png, m_pngInfo) != inStride) return IS5_ERR_FORMAT;
            const std::size_t bufferRows = passes > 1 ? height : kRowBatch;
            m_buffer.reset(new (std::nothrow) std::uint8_t[inStride * bufferRows]);
            if (!m_buffer) return IS5_ERR_MEMORY;
            for (int pass = 0; pass < passes; ++pass) {
                for (std::size_t y = 0; y < height;) {
                    const std::size_t count = std::min(kRowBatch, height - y);
                    const std::size_t first = passes > 1 ? y : 0;
                    for (std::size_t i = 0; i < count; ++i) m_rows[i] = m_buffer.get() + (first + i) * inStride;
                    png_read_rows(m_png, m_rows, nullptr, static_cast<png_uint_32>(count));
                    if (passes == 1)
                        for (std::size_t i = 0; i < count; ++i)
                            composite(m_rows[i], out + (y + i) * stride, width, channels);
                    y += count;
                }
            }
            if (passes > 1)
                for (std::size_t y = 0; y < height; ++y)
                    composite(m_buffer.get() + y * inStride, out + y * stride, width, channels);
        }
        // A 1-bit grey file whose black is transparent shows white everywhere.
        if (depth != 24 && colour == PNG_COLOR_TYPE_GRAY && m_header.bitDepth == 1 && m_header.hasGreyKey &&
            m_header.greyKey == 0)
            std::memset(out, depth == 1 ? 0xFF : 0x01, stride * height);
        // The rest of the file must be whole: later IDAT data, chunk CRCs, IEND.
        png_read_end(m_png, nullptr);
        return IS5_OK;
    }

    const PngHeader& header() const { return m_header; }
    platform::UniqueGlobal& block() { return m_block; }

    /// The palette that goes with an 8- or 1-bit read; the entry count, 0 for truecolour.
    int outputPalette(Is5Rgbq* palette) const {
        const int colour = m_header.colourType;
        if (colour == PNG_COLOR_TYPE_PALETTE) {
            std::memcpy(palette, m_header.palette, sizeof m_header.palette);
            return m_header.paletteCount;
        }
        if (colour != PNG_COLOR_TYPE_GRAY && colour != PNG_COLOR_TYPE_GRAY_ALPHA) return 0;
        if (colour == PNG_COLOR_TYPE_GRAY && m_header.bitDepth == 1) {
            std::memset(palette, 0, sizeof(Is5Rgbq) * 256);
            palette[1] = {255, 255, 255, 0};
            return 2;
        }
        for (int i = 0; i < 256; ++i) {
            auto v = static_cast<std::uint8_t>(i);
            palette[i] = {v, v, v, 0};
        }
        return 256;
    }

private:
    static void composite(const std::uint8_t* in, std::uint8_t* out, std::size_t width, int channels) {
        if (channels == 4) {
            rgbaOverWhite(in, out, width);
        } else {  // grey and alpha, to a grey index
            for (std::size_t x = 0; x < width; ++x, in += 2) out[x] = overWhite(in[0], in[1]);
        }
    }

    void start() {
        m_code = IS5_ERR_FORMAT;
        m_png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, &onError, &onWarning);
        if (!m_png) fatal(IS5_ERR_MEMORY);
        m_pngInfo = png_create_info_struct(m_png);
        if (!m_pngInfo) fatal(IS5_ERR_MEMORY);
        if (!m_source.seek(0)) fatal(IS5_ERR_READ);
        m_position = 0;
        png_set_read_fn(m_png, this, &onRead);
        png_set_crc_action(m_png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
        const std::uint64_t side = std::min<std::uint64_t>(PNG_UINT_31_MAX, is5_GetMaxPixels());
        png_set_user_limits(m_png, static_cast<png_uint_32>(side), static_cast<png_uint_32>(side));
        png_set_chunk_cache_max(m_png, kChunkCacheMax);
        png_set_chunk_malloc_max(m_png, kChunkMallocMax);
        // Only the chunks that shape the pixels and the resolution are read; text, colour
        // profiles and the rest are skipped unread (their CRCs are still checked).
        static const png_byte kPhys[] = {'p', 'H', 'Y', 's', '\0'};
        png_set_keep_unknown_chunks(m_png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
        png_set_keep_unknown_chunks(m_png, PNG_HANDLE_CHUNK_AS_DEFAULT, kPhys, 1);
        png_read_info(m_png, m_pngInfo);

        png_uint_32 w = 0, h = 0;
        int bitDepth = 0, colour = 0, interlace = 0;
        png_get_IHDR(m_png, m_pngInfo, &w, &h, &bitDepth, &colour, &interlace, nullptr, nullptr);
        m_header.width = w;
        m_header.height = h;
        m_header.bitDepth = bitDepth;
        m_header.colourType = colour;
        m_header.interlace = interlace;
        png_uint_32 xPpu = 0, yPpu = 0;
        int unit = 0;
        if (png_get_pHYs(m_png, m_pngInfo, &xPpu, &yPpu, &unit)) {
            m_header.hasPhys = true;
            m_header.xPerUnit = xPpu;
            m_header.yPerUnit = yPpu;
            m_header.physUnit = unit;
        }
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        png_color_16p key = nullptr;
        const bool hasTrns = png_get_tRNS(m_png, m_pngInfo, &alpha, &alphaCount, &key) != 0;
        if (colour == PNG_COLOR_TYPE_PALETTE) {
            png_colorp entries = nullptr;
            int count = 0;
            if (png_get_PLTE(m_png, m_pngInfo, &entries, &count) && entries) {
                count = std::clamp(count, 0, 256);
                for (int i = 0; i < count; ++i) {
                    const std::uint32_t a = hasTrns && alpha && i < alphaCount ? alpha[i] : 255u;
                    m_header.palette[i] = {overWhite(entries[i].red, a), overWhite(entries[i].green, a),
                                           overWhite(entries[i].blue, a), 0};
                }
                m_header.paletteCount = count;
            }
        } else if (colour == PNG_COLOR_TYPE_GRAY && hasTrns && key) {
            m_header.hasGreyKey = true;
            m_header.greyKey = key->gray;
        }
    }

    [[noreturn]] void fatal(std::uint32_t code) {
        m_code = code;
        std::longjmp(m_jump, 1);
    }

    static void onError(png_structp png, png_const_charp message) {
        auto& self = *static_cast<PngDecoder*>(png_get_error_ptr(png));
        if (self.m_code == IS5_ERR_FORMAT && message) {
            if (std::strstr(message, "user limit")) self.m_code = IS5_ERR_TOO_LARGE;
            else if (std::strstr(message, "ut of memory")) self.m_code = IS5_ERR_MEMORY;
        }
        std::longjmp(self.m_jump, 1);
    }
    static void onWarning(png_structp, png_const_charp) {}

    static void onRead(png_structp png, png_bytep data, std::size_t length) {
        auto& self = *static_cast<PngDecoder*>(png_get_io_ptr(png));
        std::size_t got;
        if (const std::uint8_t* memory = self.m_source.memory()) {
            const std::uint64_t left = self.m_source.size() - self.m_position;
            got = static_cast<std::size_t>(std::min<std::uint64_t>(left, length));
            std::memcpy(data, memory + self.m_position, got);
        } else {
            got = self.m_source.read(data, length);
        }
        self.m_position += got;
        if (got != length) {
            self.m_code = IS5_ERR_READ;
            png_error(png, "file ends early");
        }
    }

    Is5Source& m_source;
    std::uint64_t m_position = 0;
    png_structp m_png = nullptr;
    png_infop m_pngInfo = nullptr;
    std::jmp_buf m_jump;
    std::uint32_t m_code = IS5_ERR_FORMAT;
    PngHeader m_header;
    png_bytep m_rows[kRowBatch] = {};
    std::unique_ptr<std::uint8_t[]> m_buffer;
    platform::UniqueGlobal m_block;
};

} // namespace

} // namespace imaging::detail

using imaging::detail::failBlock;
using imaging::detail::failBool;

HGLOBAL is5_ReadPNG(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t /*flags*/) {
    static constexpr const char* kFn = "is5_ReadPNG";
    if (!source || !width || !height || (depth != 24 && depth != 8 && depth != 1)) return failBlock(IS5_ERR_PARAM, kFn);
    try {
        auto decoder = std::make_unique<imaging::detail::PngDecoder>(*source);
        if (std::uint32_t rc = decoder->decode(depth)) return failBlock(rc, kFn);
        if (depth != 24 && palette) decoder->outputPalette(palette);
        *width = decoder->header().width;
        *height = decoder->header().height;
        return imaging::detail::succeed(kFn, decoder->block().release());
    } catch (const std::bad_alloc&) {
        return failBlock(IS5_ERR_MEMORY, kFn);
    }
}

BOOL is5_GetPNGDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitDepth,
                    std::uint32_t* colourType, ResolutionInfo* resolution) {
    static constexpr const char* kFn = "is5_GetPNGDims";
    if (!source) return failBool(IS5_ERR_PARAM, kFn);
    try {
        auto decoder = std::make_unique<imaging::detail::PngDecoder>(*source);
        if (std::uint32_t rc = decoder->readHeader()) return failBool(rc, kFn);
        const auto& hdr = decoder->header();
        if (width) *width = hdr.width;
        if (height) *height = hdr.height;
        if (bitDepth) *bitDepth = static_cast<std::uint32_t>(hdr.bitDepth);
        if (colourType) *colourType = static_cast<std::uint32_t>(hdr.colourType);
        if (resolution) {
            ResolutionInfo info;
            if (hdr.hasPhys) {
                info.xResolution = hdr.xPerUnit;
                info.yResolution = hdr.yPerUnit;
                info.unit = hdr.physUnit;
            }
            *resolution = info;
        }
        return imaging::detail::succeed<BOOL>(kFn, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kFn);
    }
}

BOOL is5_GetPNGPalette(IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette, std::uint32_t /*flags*/) {
    static constexpr const char* kFn = "is5_GetPNGPalette";
    if (!source || !count || !palette) return failBool(IS5_ERR_PARAM, kFn);
    try {
        auto decoder = std::make_unique<imaging::detail::PngDecoder>(*source);
        if (std::uint32_t rc = decoder->readHeader()) return failBool(rc, kFn);
        Is5Rgbq entries[256] = {};
        const int n = decoder->outputPalette(entries);
        std::memcpy(palette, entries, sizeof(Is5Rgbq) * static_cast<std::size_t>(n));
        *count = static_cast<std::uint32_t>(n);
        return imaging::detail::succeed<BOOL>(kFn, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kFn);
    }
}
