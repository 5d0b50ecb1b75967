// SPDX-License-Identifier: MIT
// TIFF writing through libtiff: one directory of strips, 24-bit RGB (contiguous samples),
// 8-bit palette or 1-bit bilevel, with the given compression and resolution.
// Format: TIFF 6.0 (Adobe TIFF Revision 6.0, 1992).
//
// libtiff writes through client procedures over the destination. For one directory
// written strip by strip it only writes, seeks (to patch the header's directory offset)
// and asks for the size; it reads back only when appending to an existing file, which
// never happens here, so the read procedure fails rather than keeping a copy of the file.
#include "imaging/codecs/buffereddest.h"
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include <tiffio.h>

namespace imaging::detail {

namespace {

// About this many bytes of pixels per strip: large enough for LZW and Deflate to find
// their matches, small enough that a reader need not hold much.
constexpr std::size_t kStripBytes = std::size_t{64} << 10;

struct TiffParams {
    const std::uint8_t* pixels = nullptr;
    std::uint32_t width = 0, height = 0, depth = 24, stride = 0;
    const Is5Rgbq* palette = nullptr;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint16_t photometric = PHOTOMETRIC_RGB;
    float xResolution = 1, yResolution = 1;
    std::uint16_t resolutionUnit = RESUNIT_NONE;
};

// Compression schemes written: none, LZW, Deflate (both codes), PackBits at every depth;
// the CCITT fax schemes for bilevel pictures only.
bool compressionFits(std::uint32_t compression, std::uint32_t depth) {
    switch (compression) {
    case COMPRESSION_NONE:
    case COMPRESSION_LZW:
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
    case COMPRESSION_PACKBITS: return TIFFIsCODECConfigured(static_cast<std::uint16_t>(compression)) != 0;
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
        return depth == 1 && TIFFIsCODECConfigured(static_cast<std::uint16_t>(compression)) != 0;
    default: return false;
    }
}

// The resolution as given when its unit is 1 (none), 2 (inch) or 3 (cm) and both values
// are positive; otherwise square pixels with no unit.
void chooseResolution(const ResolutionInfo* resolution, TiffParams& p) {
    if (!resolution) return;
    const ResolutionInfo& r = *resolution;
    auto fits = [](double v) { return std::isfinite(v) && v > 0 && v <= 4294967295.0; };
    if (r.unit < RESUNIT_NONE || r.unit > RESUNIT_CENTIMETER || !fits(r.xResolution) || !fits(r.yResolution)) return;
    p.xResolution = static_cast<float>(r.xResolution);
    p.yResolution = static_cast<float>(r.yResolution);
    p.resolutionUnit = static_cast<std::uint16_t>(r.unit);
}

// Messages that libtiff sends without a file at hand go nowhere.
void silenceGlobalHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

class TiffEncoder {
public:
    explicit TiffEncoder(IS5_DEST dest) : m_out(dest), m_start(is5_TellDest(dest)) {}

    std::uint32_t encode(const TiffParams& p) {
        silenceGlobalHandlers();
        std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                            &TIFFOpenOptionsFree);
        if (!options) return IS5_ERR_MEMORY;
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), &onMessage, this);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), &onWarning, this);
        std::unique_ptr<TIFF, TiffCloser> tif(TIFFClientOpenExt("destination", "w", this, &onRead, &onWrite, &onSeek,
                                                                &onClose, &onSize, &onMap, &onUnmap, options.get()));
        if (!tif) return failure();
        TIFF* t = tif.get();

        const std::uint16_t samples = p.depth == 24 ? 3 : 1;
        const std::uint16_t bits = p.depth == 1 ? 1 : 8;
        const std::size_t rowBytesOut = static_cast<std::size_t>(rowBytes(p.width, p.depth));
        const std::uint32_t rowsPerStrip =
            static_cast<std::uint32_t>(std::clamp<std::size_t>(kStripBytes / rowBytesOut, 1, p.height));
        bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.width) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.height) &&
                  TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bits) && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples) &&
                  TIFFSetField(t, TIFFTAG_PHOTOMETRIC, p.photometric) &&
                  TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                  TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
                  TIFFSetField(t, TIFFTAG_COMPRESSION, p.compression) &&
                  TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip) &&
                  TIFFSetField(t, TIFFTAG_XRESOLUTION, p.xResolution) &&
                  TIFFSetField(t, TIFFTAG_YRESOLUTION, p.yResolution) &&
                  TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, p.resolutionUnit);
        // Horizontal differencing helps LZW and Deflate on colour samples; palette indexes
        // and bits do not predict each other.
        const bool predicts = p.compression == COMPRESSION_LZW || p.compression == COMPRESSION_ADOBE_DEFLATE ||
                              p.compression == COMPRESSION_DEFLATE;
        if (ok && predicts && p.depth == 24) ok = TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        if (ok && p.depth == 8) {
            m_map.resize(3 * 256);
            for (int i = 0; i < 256; ++i) {
                // 8-bit entries to the 16-bit range: 255 becomes 65535.
                m_map[i] = static_cast<std::uint16_t>(p.palette[i].r * 257u);
                m_map[256 + i] = static_cast<std::uint16_t>(p.palette[i].g * 257u);
                m_map[512 + i] = static_cast<std::uint16_t>(p.palette[i].b * 257u);
            }
            ok = TIFFSetField(t, TIFFTAG_COLORMAP, m_map.data(), m_map.data() + 256, m_map.data() + 512);
        }
        if (!ok) return failure();

        // libtiff's encoders may change the row they are given (the predictor does), so
        // each row goes through a copy.
        m_row.resize(rowBytesOut);
        for (std::uint32_t y = 0; y < p.height; ++y) {
            std::memcpy(m_row.data(), p.pixels + std::size_t{y} * p.stride, rowBytesOut);
            if (TIFFWriteScanline(t, m_row.data(), y, 0) != 1) return failure();
        }
        if (!TIFFWriteDirectory(t)) return failure();
        tif.reset();
        if (m_failed || !m_out.flush()) return failure();
        return IS5_OK;
    }

private:
    // What went wrong: the destination's error when a write failed, else libtiff refused
    // the parameters or ran out of memory.
    std::uint32_t failure() const {
        if (!m_out.ok()) return m_out.code();
        return m_outOfMemory ? IS5_ERR_MEMORY : IS5_ERR_PARAM;
    }

    static TiffEncoder& selfOf(thandle_t handle) { return *static_cast<TiffEncoder*>(handle); }

    static int onMessage(TIFF*, void* user, const char*, const char* format, va_list) {
        auto& self = *static_cast<TiffEncoder*>(user);
        self.m_failed = true;
        if (format && std::strstr(format, "emory")) self.m_outOfMemory = true;
        return 1;
    }
    static int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

    static tmsize_t onRead(thandle_t, void*, tmsize_t) { return -1; }
    static tmsize_t onWrite(thandle_t handle, void* data, tmsize_t size) {
        TiffEncoder& self = selfOf(handle);
        if (size < 0 || !self.m_out.write(data, static_cast<std::size_t>(size))) return -1;
        self.m_end = std::max(self.m_end, self.m_out.tell() - self.m_start);
        return size;
    }
    // Offsets are relative to where the file starts in the destination.
    static toff_t onSeek(thandle_t handle, toff_t offset, int whence) {
        TiffEncoder& self = selfOf(handle);
        const std::uint64_t here = self.m_out.tell() - self.m_start;
        std::uint64_t target;
        switch (whence) {
        case SEEK_SET: target = offset; break;
        case SEEK_CUR: target = here + offset; break;
        case SEEK_END: target = self.m_end + offset; break;
        default: return static_cast<toff_t>(-1);
        }
        if (target != here && !self.m_out.seek(self.m_start + target)) return static_cast<toff_t>(-1);
        return target;
    }
    static int onClose(thandle_t) { return 0; }
    static toff_t onSize(thandle_t handle) { return selfOf(handle).m_end; }
    static int onMap(thandle_t, void**, toff_t*) { return 0; }
    static void onUnmap(thandle_t, void*, toff_t) {}

    BufferedDest m_out;
    std::uint64_t m_start;
    std::uint64_t m_end = 0;
    bool m_failed = false, m_outOfMemory = false;
    std::vector<std::uint16_t> m_map;
    std::vector<std::uint8_t> m_row;
};

} // namespace

} // namespace imaging::detail

BOOL is5_WriteTIFF(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                   std::uint32_t depth, std::uint32_t stride, const Is5Rgbq* palette, std::uint32_t compression,
                   const ResolutionInfo* resolution, std::uint32_t options) {
    using namespace imaging::detail;
    constexpr const char* kFunction = "is5_WriteTIFF";
    if ((depth != 24 && depth != 8 && depth != 1) || (depth == 8 && !palette) ||
        !validPicture(dest, pixels, width, height, depth, stride) || !compressionFits(compression, depth))
        return endWrite(dest, IS5_ERR_PARAM, kFunction);
    try {
        TiffParams params;
        params.pixels = pixels;
        params.width = width;
        params.height = height;
        params.depth = depth;
        params.stride = stride;
        params.palette = palette;
        params.compression = static_cast<std::uint16_t>(compression);
        // Bilevel: 0 bits are white unless option 32 says they are black.
        if (depth == 1) params.photometric = (options & 32u) ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_MINISWHITE;
        else if (depth == 8) params.photometric = PHOTOMETRIC_PALETTE;
        chooseResolution(resolution, params);
        TiffEncoder encoder(dest);
        return endWrite(dest, encoder.encode(params), kFunction);
    } catch (const std::bad_alloc&) {
        return endWrite(dest, IS5_ERR_MEMORY, kFunction);
    }
}
