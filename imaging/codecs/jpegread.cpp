// SPDX-License-Identifier: MIT
// JPEG reading through libjpeg: the header reader (size, depth, resolution) and the
// decoder to 24-bit RGB or 8-bit grey, at full size or a reduced DCT scale, turned upright
// by the EXIF Orientation tag.
// Format: ITU-T T.81 (https://www.w3.org/Graphics/JPEG/itu-t81.pdf), JFIF 1.02, EXIF 2.32.
//
// Damaged data: libjpeg's warnings (extraneous bytes, a stray marker) are tolerated, as
// most viewers do, but data that ends before the picture's coded data does (the decoder
// had to invent bits after the end of the file) fails with IS5_ERR_READ, so a cut-off
// file never passes as a good picture. A file that lacks only its closing EOI marker
// decodes. Arithmetic-coded data gives no such signal and decodes with grey filled in.
#include "imaging/codecs/exif.h"
#include "imaging/codecs/orient.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace imaging::detail {

namespace {

constexpr int kMaxScans = 1000;               // progressive files need about 10
constexpr std::size_t kInputBufferSize = 64 * 1024;
constexpr JDIMENSION kRowBatch = 16;
constexpr std::uint64_t kMemorySlack = 32ull << 20;

struct JpegHeader {
    std::uint32_t width = 0, height = 0;       // as stored
    int components = 0;
    bool jfif = false;
    int densityUnit = 0;
    std::uint32_t xDensity = 0, yDensity = 0;
    ExifFacts exif;
    bool hasExif = false;
};

class JpegDecoder {
public:
    explicit JpegDecoder(Is5Source& source) : m_source(source) {
        if (!source.memory()) m_buffer = std::make_unique<JOCTET[]>(kInputBufferSize);
    }
    ~JpegDecoder() {
        if (m_created) jpeg_destroy_decompress(&m_info);
    }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    /// Reads the markers up to the first scan. IS5_OK or an error code.
    std::uint32_t readHeader() noexcept {
        if (setjmp(m_error.jump)) return m_error.code;
        start();
        return IS5_OK;
    }

    /// Decodes the whole picture at depth 24 or 8 into block(), as stored (not yet upright),
    /// scaled by 1 / scaleDenominator (1, 2, 4 or 8) in the DCT: decodedWidth() x decodedHeight().
    std::uint32_t decode(std::uint32_t depth, unsigned scaleDenominator) noexcept {
        if (setjmp(m_error.jump)) return m_error.code;
        start();
        if (std::uint32_t rc = checkPictureSize(m_info.image_width, m_info.image_height)) return rc;
        m_info.mem->max_memory_to_use = memoryBudget();

        const bool cmyk = m_info.jpeg_color_space == JCS_CMYK || m_info.jpeg_color_space == JCS_YCCK;
        if (cmyk) m_info.out_color_space = JCS_CMYK;
        else m_info.out_color_space = depth == 24 ? JCS_RGB : JCS_GRAYSCALE;
        // A reduced scale skips most of the inverse DCT's work: each 8 x 8 block comes out
        // as 4 x 4, 2 x 2 or one pixel, ceil(side / denominator) pixels in all.
        m_info.scale_num = 1;
        m_info.scale_denom = scaleDenominator;
        jpeg_start_decompress(&m_info);

        const std::size_t width = m_info.output_width, height = m_info.output_height;
        m_decodedWidth = m_info.output_width;
        m_decodedHeight = m_info.output_height;
        const std::size_t stride = rowBytes(width, depth);
        if (!m_block.allocate(stride * height)) fatal(IS5_ERR_MEMORY);
        std::uint8_t* out = m_block.data();
        JSAMPROW rows[kRowBatch];
        if (!cmyk) {
            while (m_info.output_scanline < m_info.output_height) {
                const JDIMENSION first = m_info.output_scanline;
                const JDIMENSION count = std::min<JDIMENSION>(kRowBatch, m_info.output_height - first);
                for (JDIMENSION i = 0; i < count; ++i) rows[i] = out + (first + i) * stride;
                if (jpeg_read_scanlines(&m_info, rows, count) == 0) fatal(IS5_ERR_READ);
            }
        } else {
            m_cmykRows.reset(new (std::nothrow) std::uint8_t[width * 4 * kRowBatch]);
            if (!m_cmykRows) fatal(IS5_ERR_MEMORY);
            for (JDIMENSION i = 0; i < kRowBatch; ++i) rows[i] = m_cmykRows.get() + i * width * 4;
            // Adobe's files store the inks inverted (0 = full ink); others as plain ink amounts.
            const bool inverted = m_info.saw_Adobe_marker;
            while (m_info.output_scanline < m_info.output_height) {
                const JDIMENSION first = m_info.output_scanline;
                const JDIMENSION count = std::min<JDIMENSION>(kRowBatch, m_info.output_height - first);
                const JDIMENSION got = jpeg_read_scanlines(&m_info, rows, count);
                if (got == 0) fatal(IS5_ERR_READ);
                for (JDIMENSION i = 0; i < got; ++i)
                    cmykRow(rows[i], out + (first + i) * stride, width, depth, inverted);
            }
        }
        // The arithmetic decoder says nothing when it runs dry: it takes the end marker the
        // source supplied in place of data and decodes zeros from then on. Its coder may
        // lean on that marker for the last few bytes of a scan (an encoder drops trailing
        // zeros), so only a marker needed before the last row of blocks means a cut file.
        if (m_error.truncated ||
            (m_info.arith_code && m_error.ranOut && m_error.ranOutRow + 1 < m_info.total_iMCU_rows))
            return IS5_ERR_READ;
        // The rest of the file (normally just EOI) is not needed.
        jpeg_abort_decompress(&m_info);
        return IS5_OK;
    }

    const JpegHeader& header() const { return m_header; }
    std::uint32_t decodedWidth() const { return m_decodedWidth; }
    std::uint32_t decodedHeight() const { return m_decodedHeight; }
    platform::UniqueGlobal& block() { return m_block; }

private:
    struct ErrorManager {
        jpeg_error_mgr pub;
        std::jmp_buf jump;
        std::uint32_t code;
        bool ranOut;      // the source ran dry and an EOI marker was supplied in its place
        bool truncated;   // ... and the decoder then needed coded data it did not have
        JDIMENSION ranOutRow; // the row of blocks being read when the source first ran dry
    };
    struct SourceManager {
        jpeg_source_mgr pub;
        JpegDecoder* self;
    };
    struct ProgressMonitor {
        jpeg_progress_mgr pub;
    };

    // Everything up to and including jpeg_read_header; only ever called under setjmp.
    void start() {
        m_info.err = jpeg_std_error(&m_error.pub);
        m_error.pub.error_exit = &onError;
        m_error.pub.emit_message = &onMessage;
        m_error.pub.output_message = &onOutput;
        m_error.code = IS5_ERR_FORMAT;
        m_error.ranOut = m_error.truncated = false;
        m_error.ranOutRow = 0;
        jpeg_create_decompress(&m_info);
        m_created = true;

        if (!m_source.seek(0)) fatal(IS5_ERR_READ);
        m_src.self = this;
        m_src.pub.init_source = [](j_decompress_ptr) {};
        m_src.pub.term_source = [](j_decompress_ptr) {};
        m_src.pub.fill_input_buffer = &fillInput;
        m_src.pub.skip_input_data = &skipInput;
        m_src.pub.resync_to_restart = &jpeg_resync_to_restart;
        if (const std::uint8_t* memory = m_source.memory()) {
            m_src.pub.next_input_byte = memory;
            m_src.pub.bytes_in_buffer = static_cast<std::size_t>(m_source.size());
        } else {
            m_src.pub.next_input_byte = nullptr;
            m_src.pub.bytes_in_buffer = 0;
        }
        m_info.src = &m_src.pub;
        m_progress.pub.progress_monitor = &onProgress;
        m_info.progress = &m_progress.pub;
        jpeg_save_markers(&m_info, JPEG_APP0 + 1, 0xFFFF);

        jpeg_read_header(&m_info, TRUE);
        m_header.width = m_info.image_width;
        m_header.height = m_info.image_height;
        m_header.components = m_info.num_components;
        m_header.jfif = m_info.saw_JFIF_marker;
        m_header.densityUnit = m_info.density_unit;
        m_header.xDensity = m_info.X_density;
        m_header.yDensity = m_info.Y_density;
        // The first EXIF segment counts; later ones (some editors add a second) do not.
        for (jpeg_saved_marker_ptr m = m_info.marker_list; m; m = m->next) {
            if (m->marker != JPEG_APP0 + 1) continue;
            if (readExifSegment(m->data, m->data_length, m_header.exif)) {
                m_header.hasExif = true;
                break;
            }
        }
    }

    // What libjpeg may use: the coefficients of every component at full size padded to
    // whole MCUs (a progressive file keeps them all), plus room for its tables.
    long memoryBudget() const {
        auto padded = [](std::uint64_t v) { return (v + 31) / 32 * 32; };
        std::uint64_t bytes = padded(m_info.image_width) * padded(m_info.image_height) *
                                  static_cast<std::uint64_t>(std::max(1, m_info.num_components)) * sizeof(JCOEF) +
                              kMemorySlack;
        return static_cast<long>(std::min<std::uint64_t>(bytes, LONG_MAX));
    }

    static void cmykRow(const std::uint8_t* in, std::uint8_t* out, std::size_t width, std::uint32_t depth,
                        bool inverted) {
        for (std::size_t x = 0; x < width; ++x, in += 4) {
            // With inverted inks the stored value is already 255 - ink.
            std::uint32_t c = inverted ? in[0] : 255u - in[0];
            std::uint32_t m = inverted ? in[1] : 255u - in[1];
            std::uint32_t y = inverted ? in[2] : 255u - in[2];
            std::uint32_t k = inverted ? in[3] : 255u - in[3];
            std::uint32_t r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
            if (depth == 24) {
                out[x * 3] = static_cast<std::uint8_t>(r);
                out[x * 3 + 1] = static_cast<std::uint8_t>(g);
                out[x * 3 + 2] = static_cast<std::uint8_t>(b);
            } else {
                out[x] = static_cast<std::uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
            }
        }
    }

    [[noreturn]] void fatal(std::uint32_t code) {
        m_error.code = code;
        std::longjmp(m_error.jump, 1);
    }

    static ErrorManager& errorOf(j_common_ptr info) { return *reinterpret_cast<ErrorManager*>(info->err); }

    static void onError(j_common_ptr info) {
        ErrorManager& err = errorOf(info);
        switch (err.pub.msg_code) {
        case JERR_OUT_OF_MEMORY: err.code = IS5_ERR_MEMORY; break;
        case JERR_NO_BACKING_STORE: err.code = IS5_ERR_TOO_LARGE; break;
        case JERR_BAD_PRECISION:
        case JERR_CONVERSION_NOTIMPL: err.code = IS5_ERR_UNSUPPORTED; break;
        default: err.code = err.ranOut ? IS5_ERR_READ : IS5_ERR_FORMAT; break;
        }
        std::longjmp(err.jump, 1);
    }
    static void onMessage(j_common_ptr info, int level) {
        ErrorManager& err = errorOf(info);
        if (level >= 0) return;  // trace messages
        ++err.pub.num_warnings;
        if (err.pub.msg_code == JWRN_HIT_MARKER && err.ranOut) err.truncated = true;
    }
    static void onOutput(j_common_ptr) {}

    static void onProgress(j_common_ptr info) {
        if (!info->is_decompressor) return;
        auto* d = reinterpret_cast<j_decompress_ptr>(info);
        if (d->input_scan_number > kMaxScans) {
            ErrorManager& err = errorOf(info);
            err.code = IS5_ERR_FORMAT;
            std::longjmp(err.jump, 1);
        }
    }

    static boolean fillInput(j_decompress_ptr info) {
        static const JOCTET kEoi[2] = {0xFF, JPEG_EOI};
        JpegDecoder& self = *reinterpret_cast<SourceManager*>(info->src)->self;
        if (!self.m_source.memory()) {
            std::size_t got = self.m_source.read(self.m_buffer.get(), kInputBufferSize);
            if (got > 0) {
                info->src->next_input_byte = self.m_buffer.get();
                info->src->bytes_in_buffer = got;
                return TRUE;
            }
        }
        // Out of data: hand libjpeg an end marker so it stops, and remember why and where.
        if (!self.m_error.ranOut) self.m_error.ranOutRow = info->input_iMCU_row;
        self.m_error.ranOut = true;
        info->src->next_input_byte = kEoi;
        info->src->bytes_in_buffer = sizeof kEoi;
        return TRUE;
    }

    static void skipInput(j_decompress_ptr info, long count) {
        if (count <= 0) return;
        jpeg_source_mgr& src = *info->src;
        auto n = static_cast<std::uint64_t>(count);
        if (n <= src.bytes_in_buffer) {
            src.next_input_byte += n;
            src.bytes_in_buffer -= static_cast<std::size_t>(n);
            return;
        }
        n -= src.bytes_in_buffer;
        src.bytes_in_buffer = 0;
        JpegDecoder& self = *reinterpret_cast<SourceManager*>(info->src)->self;
        if (!self.m_source.memory()) {
            std::uint64_t target = std::min(self.m_source.size(), self.m_source.tell() + n);
            self.m_source.seek(target);
        }
        fillInput(info);
    }

    Is5Source& m_source;
    std::unique_ptr<JOCTET[]> m_buffer;
    std::unique_ptr<std::uint8_t[]> m_cmykRows;
    jpeg_decompress_struct m_info{};
    ErrorManager m_error{};
    SourceManager m_src{};
    ProgressMonitor m_progress{};
    bool m_created = false;
    JpegHeader m_header;
    std::uint32_t m_decodedWidth = 0, m_decodedHeight = 0;
    platform::UniqueGlobal m_block;
};

} // namespace

} // namespace imaging::detail

using imaging::detail::failBlock;
using imaging::detail::failBool;

HGLOBAL is5_ReadJPG(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    std::uint32_t flags) {
    static constexpr const char* kFn = "is5_ReadJPG";
    if (!source || !width || !height || (depth != 24 && depth != 8)) return failBlock(IS5_ERR_PARAM, kFn);
    unsigned scale = flags & IS5_JPEG_SCALE_MASK;
    if (scale == 0) scale = 1;
    if (scale != 1 && scale != 2 && scale != 4 && scale != 8) return failBlock(IS5_ERR_PARAM, kFn);
    try {
        auto decoder = std::make_unique<imaging::detail::JpegDecoder>(*source);
        if (std::uint32_t rc = decoder->decode(depth, scale)) return failBlock(rc, kFn);
        std::uint32_t w = decoder->decodedWidth(), h = decoder->decodedHeight();
        if (std::uint32_t rc =
                imaging::detail::orientUpright(decoder->block(), w, h, depth, decoder->header().exif.orientation))
            return failBlock(rc, kFn);
        *width = w;
        *height = h;
        return imaging::detail::succeed(kFn, decoder->block().release());
    } catch (const std::bad_alloc&) {
        return failBlock(IS5_ERR_MEMORY, kFn);
    }
}

BOOL is5_GetJPGDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerPixel,
                    ResolutionInfo* resolution) {
    static constexpr const char* kFn = "is5_GetJPGDims";
    if (!source) return failBool(IS5_ERR_PARAM, kFn);
    try {
        auto decoder = std::make_unique<imaging::detail::JpegDecoder>(*source);
        if (std::uint32_t rc = decoder->readHeader()) return failBool(rc, kFn);
        const auto& hdr = decoder->header();
        const bool swap = imaging::detail::orientationSwapsSides(hdr.exif.orientation);
        if (width) *width = swap ? hdr.height : hdr.width;
        if (height) *height = swap ? hdr.width : hdr.height;
        if (bitsPerPixel) *bitsPerPixel = static_cast<std::uint32_t>(hdr.components) * 8;
        if (resolution) {
            ResolutionInfo info;
            if (hdr.jfif) {
                info.xResolution = hdr.xDensity;
                info.yResolution = hdr.yDensity;
                info.unit = hdr.densityUnit;
            } else if (hdr.hasExif && hdr.exif.hasResolution) {
                // No JFIF segment: the EXIF tags, in JFIF's unit codes (inch 1, cm 2).
                info.xResolution = hdr.exif.xResolution;
                info.yResolution = hdr.exif.yResolution;
                info.unit = hdr.exif.resolutionUnit == 2 ? 1 : hdr.exif.resolutionUnit == 3 ? 2 : 0;
            }
            // The upright picture's horizontal resolution is the stored vertical one.
            if (swap) std::swap(info.xResolution, info.yResolution);
            *resolution = info;
        }
        return imaging::detail::succeed<BOOL>(kFn, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kFn);
    }
}
