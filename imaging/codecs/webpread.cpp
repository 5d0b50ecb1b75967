// SPDX-License-Identifier: MIT
// WebP reading through libwebp: the header reader and the decoder of still pictures (lossy,
// lossless, with or without alpha) and of an animation's first frame as it shows on its canvas.
// Format: RFC 9649 (WebP Image Format).
//
// The file is taken whole into memory (libwebp decodes from one buffer; a RIFF file is
// at most 4 GiB and is read, never decoded, before its size is checked). The picture's size
// comes from the headers and is checked against the pixel limit before any pixel is
// allocated. Pixels are delivered as libwebp's default decode gives them (the same as its
// dwebp tool); colour profiles are not applied. At 24 bits alpha is laid over white with
// overWhite, as the PNG reader does; depth 32 hands back R, G, B, A unblended.
#include "imaging/codecs/webpchunks.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/pixels.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <webp/decode.h>
#include <webp/demux.h>

namespace imaging::detail {

namespace {

constexpr std::uint64_t kRiffHeader = 12;                          // "RIFF", size, "WEBP"
constexpr std::uint64_t kLargestFile = 0xFFFFFFFFull + 8;          // what a RIFF size can describe
constexpr std::size_t kFirstHeaderBytes = 4096;                    // first try of the header reader

std::uint32_t codeOf(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_OK: return IS5_OK;
    case VP8_STATUS_OUT_OF_MEMORY: return IS5_ERR_MEMORY;
    case VP8_STATUS_INVALID_PARAM: return IS5_ERR_PARAM;
    case VP8_STATUS_UNSUPPORTED_FEATURE: return IS5_ERR_UNSUPPORTED;
    case VP8_STATUS_SUSPENDED:
    case VP8_STATUS_NOT_ENOUGH_DATA: return IS5_ERR_READ;
    case VP8_STATUS_USER_ABORT: return IS5_ERR_CANCELLED;
    default: return IS5_ERR_FORMAT;
    }
}

/// The source's bytes: the memory source's own, or up to `limit` bytes read from the file.
class WebpBytes {
public:
    explicit WebpBytes(Is5Source& source) : m_source(source) {}

    /// Makes at least the first min(limit, size) bytes available; IS5_OK, or why not.
    std::uint32_t load(std::uint64_t limit) {
        const std::uint64_t size = m_source.size();
        if (size > kLargestFile) return IS5_ERR_FORMAT;
        const std::uint64_t want = std::min(limit, size);
        if (m_source.memory()) {
            m_data = m_source.memory();
            m_size = static_cast<std::size_t>(want);
            return IS5_OK;
        }
        if (want <= m_buffer.size()) return IS5_OK;
        const std::size_t had = m_buffer.size();
        m_buffer.resize(static_cast<std::size_t>(want));
        if (!m_source.seek(had) || m_source.read(m_buffer.data() + had, m_buffer.size() - had) != m_buffer.size() - had)
            return IS5_ERR_READ;
        m_data = m_buffer.data();
        m_size = m_buffer.size();
        return IS5_OK;
    }
    bool whole() const { return m_size == m_source.size(); }
    const std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    Is5Source& m_source;
    std::vector<std::uint8_t> m_buffer;
    const std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};

struct WebpHeader {
    std::uint32_t width = 0, height = 0; // the canvas of an animation
    bool alpha = false;
    bool animation = false;
};

/// Reads the header from as little of the file as answers it, doubling what is read.
std::uint32_t readHeader(WebpBytes& bytes, WebpHeader& header) {
    for (std::uint64_t limit = kFirstHeaderBytes;; limit *= 2) {
        if (std::uint32_t rc = bytes.load(limit)) return rc;
        // Only RIFF-wrapped files count as WebP: libwebp would also take a bare VP8 or VP8L stream.
        if (!isWebpFile(bytes.data(), bytes.size())) return bytes.size() < kRiffHeader ? IS5_ERR_READ : IS5_ERR_FORMAT;
        WebPBitstreamFeatures features;
        const VP8StatusCode status = WebPGetFeatures(bytes.data(), bytes.size(), &features);
        if (status == VP8_STATUS_NOT_ENOUGH_DATA && !bytes.whole()) continue;
        if (status != VP8_STATUS_OK) return codeOf(status);
        if (features.width <= 0 || features.height <= 0) return IS5_ERR_FORMAT;
        header.width = static_cast<std::uint32_t>(features.width);
        header.height = static_cast<std::uint32_t>(features.height);
        header.alpha = features.has_alpha != 0;
        header.animation = features.has_animation != 0;
        return IS5_OK;
    }
}

/// The first frame of an animation on its canvas, R, G, B, A, into `rgba` (width × 4 a row).
std::uint32_t decodeFirstFrame(const WebpBytes& bytes, const WebpHeader& header, std::uint8_t* rgba) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) return IS5_ERR_UNSUPPORTED;
    options.color_mode = MODE_RGBA;
    options.use_threads = 0;
    const WebPData data{bytes.data(), bytes.size()};
    std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(WebPAnimDecoderNew(&data, &options),
                                                                        &WebPAnimDecoderDelete);
    if (!decoder) {
        // The demuxer tells a cut-off file from a damaged one.
        WebPDemuxState state = WEBP_DEMUX_PARSE_ERROR;
        WebPDemuxer* demux = WebPDemuxPartial(&data, &state);
        WebPDemuxDelete(demux);
        return state == WEBP_DEMUX_PARSE_ERROR || state == WEBP_DEMUX_DONE ? IS5_ERR_FORMAT : IS5_ERR_READ;
    }
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info) || info.canvas_width != header.width ||
        info.canvas_height != header.height || info.frame_count == 0)
        return IS5_ERR_FORMAT;
    std::uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp) || !frame) return IS5_ERR_FORMAT;
    std::memcpy(rgba, frame, std::size_t{header.width} * header.height * 4);
    return IS5_OK;
}

/// A still picture as R, G, B, A (`channels` 4) or R, G, B (3) into `out`.
std::uint32_t decodeStill(const WebpBytes& bytes, const WebpHeader& header, std::uint8_t* out, int channels) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return IS5_ERR_UNSUPPORTED;
    config.output.colorspace = channels == 4 ? MODE_RGBA : MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = out;
    config.output.u.RGBA.stride = static_cast<int>(header.width) * channels;
    config.output.u.RGBA.size = std::size_t{header.width} * header.height * static_cast<std::size_t>(channels);
    const VP8StatusCode status = WebPDecode(bytes.data(), bytes.size(), &config);
    WebPFreeDecBuffer(&config.output);
    return codeOf(status);
}

std::uint32_t decode(Is5Source& source, std::uint32_t depth, WebpHeader& header, platform::UniqueGlobal& block) {
    WebpBytes bytes(source);
    if (std::uint32_t rc = readHeader(bytes, header)) return rc;
    if (std::uint32_t rc = checkPictureSize(header.width, header.height)) return rc;
    // The picture fits the limit; int strides and sizes cannot overflow (2^31 pixels at most).
    if (header.width > 0x1FFFFFFF) return IS5_ERR_TOO_LARGE;
    if (std::uint32_t rc = bytes.load(kLargestFile)) return rc;

    const std::size_t pixels = std::size_t{header.width} * header.height;
    const bool blend = depth == 24 && (header.alpha || header.animation);
    if (!block.allocate(pixels * (depth == 32 ? 4 : 3))) return IS5_ERR_MEMORY;
    if (depth == 24 && !blend) return decodeStill(bytes, header, block.data(), 3);

    std::unique_ptr<std::uint8_t[]> buffer;
    std::uint8_t* rgba = block.data();
    if (blend) {
        buffer.reset(new (std::nothrow) std::uint8_t[pixels * 4]);
        if (!buffer) return IS5_ERR_MEMORY;
        rgba = buffer.get();
    }
    const std::uint32_t rc = header.animation ? decodeFirstFrame(bytes, header, rgba) : decodeStill(bytes, header, rgba, 4);
    if (rc || !blend) return rc;
    rgbaOverWhite(rgba, block.data(), pixels);
    return IS5_OK;
}

} // namespace

} // namespace imaging::detail

using imaging::detail::failBlock;
using imaging::detail::failBool;

HGLOBAL is5_ReadWEBP(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                     std::uint32_t /*flags*/) {
    static constexpr const char* kFn = "is5_ReadWEBP";
    if (!source || !width || !height || (depth != 24 && depth != 32)) return failBlock(IS5_ERR_PARAM, kFn);
    try {
        imaging::detail::WebpHeader header;
        platform::UniqueGlobal block;
        if (std::uint32_t rc = imaging::detail::decode(*source, depth, header, block)) return failBlock(rc, kFn);
        *width = header.width;
        *height = header.height;
        return imaging::detail::succeed(kFn, block.release());
    } catch (const std::bad_alloc&) {
        return failBlock(IS5_ERR_MEMORY, kFn);
    }
}

BOOL is5_GetWEBPDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, BOOL* hasAlpha,
                     BOOL* isAnimation) {
    static constexpr const char* kFn = "is5_GetWEBPDims";
    if (!source) return failBool(IS5_ERR_PARAM, kFn);
    try {
        imaging::detail::WebpBytes bytes(*source);
        imaging::detail::WebpHeader header;
        if (std::uint32_t rc = imaging::detail::readHeader(bytes, header)) return failBool(rc, kFn);
        if (width) *width = header.width;
        if (height) *height = header.height;
        if (hasAlpha) *hasAlpha = header.alpha ? TRUE : FALSE;
        if (isAnimation) *isAnimation = header.animation ? TRUE : FALSE;
        return imaging::detail::succeed<BOOL>(kFn, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kFn);
    }
}
