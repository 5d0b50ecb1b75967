// SPDX-License-Identifier: MIT
// WebP writing through libwebp: a 24-bit picture, lossy (VP8) at a quality or lossless (VP8L).
// Format: RFC 9649 (WebP Image Format).
//
// The encoder hands its output over piece by piece; it goes straight into the destination
// through BufferedDest, whose first failure makes libwebp stop. Colour profiles and kept
// metadata are added afterwards by the steps that edit a finished copy (imaging/iccprofile,
// imaging/keepmetadata), as for the other types.
#include "imaging/codecs/buffereddest.h"
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <algorithm>
#include <new>

#include <webp/encode.h>

namespace imaging::webp {

namespace {

int onOutput(const std::uint8_t* data, std::size_t size, const WebPPicture* picture) {
    return static_cast<detail::BufferedDest*>(picture->custom_ptr)->write(data, size) ? 1 : 0;
}

std::uint32_t codeOf(WebPEncodingError error) {
    switch (error) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY: return IS5_ERR_MEMORY;
    case VP8_ENC_ERROR_BAD_WRITE:
    case VP8_ENC_ERROR_FILE_TOO_BIG: return IS5_ERR_WRITE;
    case VP8_ENC_ERROR_USER_ABORT: return IS5_ERR_CANCELLED;
    default: return IS5_ERR_PARAM;
    }
}

struct PictureFree {
    void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};

std::uint32_t writeWebp(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                        std::uint32_t stride, int quality, bool lossless) {
    WebPConfig config;
    if (!WebPConfigPreset(&config, WEBP_PRESET_DEFAULT, static_cast<float>(quality))) return IS5_ERR_PARAM;
    // Lossless files take the quality as effort: how hard the encoder looks for a smaller file.
    config.lossless = lossless ? 1 : 0;
    if (!WebPValidateConfig(&config)) return IS5_ERR_PARAM;

    WebPPicture picture;
    if (!WebPPictureInit(&picture)) return IS5_ERR_PARAM;
    std::unique_ptr<WebPPicture, PictureFree> owner(&picture);
    picture.use_argb = lossless ? 1 : 0;
    picture.width = static_cast<int>(width);
    picture.height = static_cast<int>(height);
    if (!WebPPictureImportRGB(&picture, pixels, static_cast<int>(stride))) return codeOf(picture.error_code);

    detail::BufferedDest out(dest);
    picture.writer = &onOutput;
    picture.custom_ptr = &out;
    const bool encoded = WebPEncode(&config, &picture) != 0;
    out.flush();
    if (!out.ok()) return out.code();
    return encoded ? IS5_OK : codeOf(picture.error_code);
}

} // namespace

} // namespace imaging::webp

BOOL is5_WriteWEBP(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                   std::uint32_t stride, int quality, std::uint32_t options) {
    using namespace imaging::detail;
    constexpr const char* kFunction = "is5_WriteWEBP";
    if (!validPicture(dest, pixels, width, height, 24, stride) || width > WEBP_MAX_DIMENSION ||
        height > WEBP_MAX_DIMENSION || stride > 0x7FFFFFFF)
        return endWrite(dest, IS5_ERR_PARAM, kFunction);
    try {
        const bool lossless = (options & IS5_WEBP_LOSSLESS) != 0;
        return endWrite(dest,
                        imaging::webp::writeWebp(dest, pixels, width, height, stride, std::clamp(quality, 0, 100),
                                                 lossless),
                        kFunction);
    } catch (const std::bad_alloc&) {
        return endWrite(dest, IS5_ERR_MEMORY, kFunction);
    }
}
