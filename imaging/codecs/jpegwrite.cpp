// SPDX-License-Identifier: MIT
// JPEG writing through libjpeg: 24-bit RGB or 8-bit grey, baseline or progressive, with
// the JFIF density and the calling thread's marker segments and comments.
// Format: ITU-T T.81 (https://www.w3.org/Graphics/JPEG/itu-t81.pdf), JFIF 1.02.
//
// Chroma is halved both ways (4:2:0) below quality 90 and kept whole (4:4:4) from 90 up.
// Below 90, on photographs, the quantisation sets the error and whole chroma costs 40-50 %
// more bytes for almost no gain; from 90 the halved colour planes become the error floor (at quality
// 100 an rms error of 2.5 against 0.8 on a photo-like picture, and a largest error of 116
// against 4 on sharp colour edges; bench/write_bench.cpp measures both).
#include "imaging/codecs/buffereddest.h"
#include "imaging/codecs/outputlists.h"
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace imaging::detail {

namespace {

constexpr std::size_t kOutputBufferSize = std::size_t{1} << 20;
constexpr int kFullChromaQuality = 90;
constexpr JDIMENSION kRowBatch = 16;

struct JpegParams {
    const std::uint8_t* pixels = nullptr;
    std::uint32_t width = 0, height = 0, depth = 24, stride = 0;
    int quality = 75;
    bool progressive = false;
    std::uint8_t densityUnit = 0;
    std::uint16_t xDensity = 1, yDensity = 1;
};

// JFIF stores the density as two 16-bit integers and a unit (0 aspect ratio only, 1 per
// inch, 2 per cm). Values are truncated as a C cast does; a unit outside 0-2, or a value
// that does not truncate into 1-65535, would misstate the picture, so the file then says
// only "square pixels" (unit 0, 1:1).
void chooseDensity(const ResolutionInfo* resolution, JpegParams& p) {
    if (!resolution) return;
    auto fits = [](double v) { return std::isfinite(v) && v >= 1.0 && v < 65536.0; };
    const ResolutionInfo& r = *resolution;
    if (r.unit < 0 || r.unit > 2 || !fits(r.xResolution) || !fits(r.yResolution)) return;
    p.densityUnit = static_cast<std::uint8_t>(r.unit);
    p.xDensity = static_cast<std::uint16_t>(r.xResolution);
    p.yDensity = static_cast<std::uint16_t>(r.yResolution);
}

class JpegEncoder {
public:
    explicit JpegEncoder(IS5_DEST dest) : m_dest(dest), m_buffer(new JOCTET[kOutputBufferSize]) {}
    ~JpegEncoder() {
        if (m_created) jpeg_destroy_compress(&m_info);
    }
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // Everything that libjpeg may leave through longjmp happens in here; the function
    // keeps no locals that live across a library call, only members.
    std::uint32_t encode(const JpegParams& params) noexcept {
        if (setjmp(m_error.jump)) return m_error.code;
        m_info.err = jpeg_std_error(&m_error.pub);
        m_error.pub.error_exit = &onError;
        m_error.pub.emit_message = &onMessage;
        m_error.pub.output_message = &onOutput;
        m_error.code = IS5_ERR_PARAM;
        jpeg_create_compress(&m_info);
        m_created = true;

        m_destMgr.self = this;
        m_destMgr.pub.init_destination = &initDestination;
        m_destMgr.pub.empty_output_buffer = &emptyOutputBuffer;
        m_destMgr.pub.term_destination = &termDestination;
        m_info.dest = &m_destMgr.pub;

        m_info.image_width = params.width;
        m_info.image_height = params.height;
        m_info.input_components = params.depth == 24 ? 3 : 1;
        m_info.in_color_space = params.depth == 24 ? JCS_RGB : JCS_GRAYSCALE;
        jpeg_set_defaults(&m_info);
        jpeg_set_quality(&m_info, params.quality, TRUE);
        if (params.depth == 24 && params.quality >= kFullChromaQuality) {
            m_info.comp_info[0].h_samp_factor = 1;
            m_info.comp_info[0].v_samp_factor = 1;
        }
        if (params.progressive) jpeg_simple_progression(&m_info);
        m_info.write_JFIF_header = TRUE;
        m_info.density_unit = params.densityUnit;
        m_info.X_density = params.xDensity;
        m_info.Y_density = params.yDensity;
        m_info.optimize_coding = FALSE;

        jpeg_start_compress(&m_info, TRUE);
        for (const JpegOutputMarker& m : jpegOutputMarkers())
            jpeg_write_marker(&m_info, m.marker, m.data.data(), static_cast<unsigned>(m.data.size()));
        for (const std::string& text : jpegOutputText())
            jpeg_write_marker(&m_info, JPEG_COM, reinterpret_cast<const JOCTET*>(text.data()),
                              static_cast<unsigned>(text.size()));

        while (m_info.next_scanline < m_info.image_height) {
            m_batch = std::min<JDIMENSION>(kRowBatch, m_info.image_height - m_info.next_scanline);
            for (JDIMENSION i = 0; i < m_batch; ++i)
                m_rows[i] = const_cast<JSAMPROW>(params.pixels + std::size_t{m_info.next_scanline + i} * params.stride);
            jpeg_write_scanlines(&m_info, m_rows, m_batch);
        }
        jpeg_finish_compress(&m_info);
        return IS5_OK;
    }

private:
    struct ErrorManager {
        jpeg_error_mgr pub;
        std::jmp_buf jump;
        std::uint32_t code;
    };
    struct DestinationManager {
        jpeg_destination_mgr pub;
        JpegEncoder* self;
    };

    static JpegEncoder& selfOf(j_compress_ptr info) { return *reinterpret_cast<DestinationManager*>(info->dest)->self; }
    static ErrorManager& errorOf(j_common_ptr info) { return *reinterpret_cast<ErrorManager*>(info->err); }

    [[noreturn]] static void fail(j_common_ptr info, std::uint32_t code) {
        ErrorManager& err = errorOf(info);
        err.code = code;
        std::longjmp(err.jump, 1);
    }

    static void onError(j_common_ptr info) {
        switch (errorOf(info).pub.msg_code) {
        case JERR_OUT_OF_MEMORY: fail(info, IS5_ERR_MEMORY);
        default: fail(info, IS5_ERR_PARAM);
        }
    }
    static void onMessage(j_common_ptr, int) {}
    static void onOutput(j_common_ptr) {}

    static void initDestination(j_compress_ptr info) {
        JpegEncoder& self = selfOf(info);
        info->dest->next_output_byte = self.m_buffer.get();
        info->dest->free_in_buffer = kOutputBufferSize;
    }
    // The whole buffer is full (libjpeg ignores free_in_buffer here).
    static boolean emptyOutputBuffer(j_compress_ptr info) {
        JpegEncoder& self = selfOf(info);
        self.pass(info, kOutputBufferSize);
        info->dest->next_output_byte = self.m_buffer.get();
        info->dest->free_in_buffer = kOutputBufferSize;
        return TRUE;
    }
    static void termDestination(j_compress_ptr info) {
        JpegEncoder& self = selfOf(info);
        self.pass(info, kOutputBufferSize - info->dest->free_in_buffer);
    }
    void pass(j_compress_ptr info, std::size_t bytes) {
        if (bytes && !is5_WriteDest(m_dest, m_buffer.get(), bytes)) {
            const std::uint32_t code = is5_GetLastError();
            fail(reinterpret_cast<j_common_ptr>(info), code ? code : IS5_ERR_WRITE);
        }
    }

    IS5_DEST m_dest;
    std::unique_ptr<JOCTET[]> m_buffer;
    jpeg_compress_struct m_info{};
    ErrorManager m_error{};
    DestinationManager m_destMgr{};
    JSAMPROW m_rows[kRowBatch] = {};
    JDIMENSION m_batch = 0;
    bool m_created = false;
};

} // namespace

} // namespace imaging::detail

BOOL is5_WriteJPG(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t depth, std::uint32_t stride, int quality, const ResolutionInfo* resolution,
                  std::uint32_t options) {
    using namespace imaging::detail;
    constexpr const char* kFunction = "is5_WriteJPG";
    if ((depth != 24 && depth != 8) || !validPicture(dest, pixels, width, height, depth, stride) ||
        width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        return endWrite(dest, IS5_ERR_PARAM, kFunction);
    try {
        JpegParams params;
        params.pixels = pixels;
        params.width = width;
        params.height = height;
        params.depth = depth;
        params.stride = stride;
        params.quality = std::clamp(quality, 1, 100);
        params.progressive = (options & 1u) != 0;
        chooseDensity(resolution, params);
        auto encoder = std::make_unique<JpegEncoder>(dest);
        return endWrite(dest, encoder->encode(params), kFunction);
    } catch (const std::bad_alloc&) {
        return endWrite(dest, IS5_ERR_MEMORY, kFunction);
    }
}
