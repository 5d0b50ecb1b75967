// SPDX-License-Identifier: MIT
// TIFF reading through libtiff: the header reader and the decoder to 24-bit RGB, 8-bit
// indexes or 1-bit packed rows, turned upright by the Orientation tag.
// Format: TIFF 6.0 (Adobe TIFF Revision 6.0, 1992).
//
// 24-bit output goes through libtiff's RGBA interface (every photometric it knows: grey,
// palette, RGB, CMYK, YCbCr, JPEG and old-style JPEG), strip by strip, with alpha laid over
// white. 8-bit output of palette and single-sample grey files, and 1-bit output, read the
// samples themselves so the indexes survive: palette files keep their colour map (16-bit
// entries cut to their high byte as libtiff's RGBA interface does, or used as they are
// when every entry is below 256, as old writers stored them), grey files become indexes into a grey ramp
// (16-bit samples by their high byte), and 1-bit rows follow the object's black-and-white
// palette: 0 white, 1 black.
#include "imaging/codecs/exif.h"
#include "imaging/codecs/orient.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/pixels.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include <tiffio.h>

namespace imaging::detail {

namespace {

constexpr tmsize_t kMinSingleAlloc = tmsize_t{64} << 20;

// libtiff messages go to the handlers of each open file; these catch the few it sends
// without a file at hand, so nothing reaches the terminal.
void silenceGlobalHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
}

struct TiffInfo {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bitsPerSample = 1, samplesPerPixel = 1, photometric = PHOTOMETRIC_MINISWHITE;
    std::uint16_t sampleFormat = SAMPLEFORMAT_UINT, orientation = ORIENTATION_TOPLEFT;
    float xResolution = 0, yResolution = 0;
    std::uint16_t resolutionUnit = RESUNIT_INCH;
};

class TiffFile {
public:
    explicit TiffFile(Is5Source& source) : m_source(source) {}
    ~TiffFile() {
        if (m_tif) TIFFClose(m_tif);
    }
    TiffFile(const TiffFile&) = delete;
    TiffFile& operator=(const TiffFile&) = delete;

    /// Opens the file and moves to directory `page`; reads the tags the reader needs.
    std::uint32_t open(std::uint32_t page) {
        silenceGlobalHandlers();
        if (!m_source.seek(0)) return IS5_ERR_READ;
        std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(),
                                                                            &TIFFOpenOptionsFree);
        if (!options) return IS5_ERR_MEMORY;
        // One allocation may hold a whole strip of the largest picture allowed, at 8 bytes a pixel.
        const std::uint64_t cap = std::min<std::uint64_t>(is5_GetMaxPixels(), std::uint64_t{1} << 40) * 8;
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), std::max(kMinSingleAlloc, static_cast<tmsize_t>(cap)));
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), &onError, this);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), &onWarning, this);
        const char* name = m_source.name.empty() ? "memory" : m_source.name.c_str();
        m_tif = TIFFClientOpenExt(name, "r", this, &onRead, &onWrite, &onSeek, &onClose, &onSize, &onMap, &onUnmap,
                                  options.get());
        if (!m_tif) return m_source.size() < 8 ? IS5_ERR_READ : IS5_ERR_FORMAT;
        if (page != 0 && !TIFFSetDirectory(m_tif, static_cast<tdir_t>(std::min<std::uint32_t>(page, 65535))))
            return IS5_ERR_FORMAT;
        TiffInfo& i = m_info;
        if (!TIFFGetField(m_tif, TIFFTAG_IMAGEWIDTH, &i.width) || !TIFFGetField(m_tif, TIFFTAG_IMAGELENGTH, &i.height))
            return IS5_ERR_FORMAT;
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_BITSPERSAMPLE, &i.bitsPerSample);
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_SAMPLESPERPIXEL, &i.samplesPerPixel);
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_SAMPLEFORMAT, &i.sampleFormat);
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_ORIENTATION, &i.orientation);
        if (!TIFFGetField(m_tif, TIFFTAG_PHOTOMETRIC, &i.photometric))
            i.photometric = i.samplesPerPixel >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISWHITE;
        TIFFGetField(m_tif, TIFFTAG_XRESOLUTION, &i.xResolution);
        TIFFGetField(m_tif, TIFFTAG_YRESOLUTION, &i.yResolution);
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_RESOLUTIONUNIT, &i.resolutionUnit);
        return IS5_OK;
    }

    TIFF* tif() const { return m_tif; }
    const TiffInfo& info() const { return m_info; }

private:
    static int onError(TIFF*, void*, const char*, const char*, va_list) { return 1; }
    static int onWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

    static Is5Source& sourceOf(thandle_t handle) { return static_cast<TiffFile*>(handle)->m_source; }
    static tmsize_t onRead(thandle_t handle, void* buffer, tmsize_t size) {
        if (size <= 0) return 0;
        return static_cast<tmsize_t>(sourceOf(handle).read(buffer, static_cast<std::size_t>(size)));
    }
    static tmsize_t onWrite(thandle_t, void*, tmsize_t) { return -1; }
    static toff_t onSeek(thandle_t handle, toff_t offset, int whence) {
        Is5Source& source = sourceOf(handle);
        std::uint64_t base = whence == SEEK_CUR ? source.tell() : whence == SEEK_END ? source.size() : 0;
        if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return static_cast<toff_t>(-1);
        // toff_t is unsigned; a negative relative move arrives as a large value.
        const std::uint64_t target = base + offset;
        if (!source.seek(target)) return static_cast<toff_t>(-1);
        return target;
    }
    static int onClose(thandle_t) { return 0; }
    static toff_t onSize(thandle_t handle) { return sourceOf(handle).size(); }
    static int onMap(thandle_t handle, void** base, toff_t* size) {
        Is5Source& source = sourceOf(handle);
        if (!source.memory()) return 0;
        *base = const_cast<std::uint8_t*>(source.memory());
        *size = source.size();
        return 1;
    }
    static void onUnmap(thandle_t, void*, toff_t) {}

    Is5Source& m_source;
    TIFF* m_tif = nullptr;
    TiffInfo m_info;
};

// Ends a TIFFRGBAImage that was begun, whatever happens after.
struct RgbaImage {
    TIFFRGBAImage image{};
    bool begun = false;
    ~RgbaImage() {
        if (begun) TIFFRGBAImageEnd(&image);
    }
};

std::uint8_t luma(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return static_cast<std::uint8_t>((r * 299 + g * 587 + b * 114 + 500) / 1000);
}

class TiffDecoder {
public:
    explicit TiffDecoder(const TiffFile& file) : m_tif(file.tif()), m_info(file.info()) {}

    std::uint32_t decode(std::uint32_t depth, Is5Rgbq* palette) {
        const TiffInfo& i = m_info;
        if (std::uint32_t rc = checkPictureSize(i.width, i.height)) return rc;
        const bool oneSample = i.samplesPerPixel == 1 && i.sampleFormat == SAMPLEFORMAT_UINT;
        const bool greyOrPalette = i.photometric == PHOTOMETRIC_MINISBLACK ||
                                   i.photometric == PHOTOMETRIC_MINISWHITE || i.photometric == PHOTOMETRIC_PALETTE;
        if (depth == 1) {
            if (!oneSample || !greyOrPalette || i.bitsPerSample != 1) return IS5_ERR_PARAM;
            return readSamples(1, palette);
        }
        if (depth == 8 && oneSample && greyOrPalette) {
            const std::uint16_t b = i.bitsPerSample;
            const bool fits = b == 1 || b == 2 || b == 4 || b == 8 || (b == 16 && i.photometric != PHOTOMETRIC_PALETTE);
            if (fits) return readSamples(8, palette);
        }
        return readRgba(depth, palette);
    }

    platform::UniqueGlobal& block() { return m_block; }

private:
    // ---- samples of single-sample files -------------------------------------------------

    std::uint32_t readSamples(std::uint32_t depth, Is5Rgbq* palette) {
        const TiffInfo& i = m_info;
        const std::size_t width = i.width, height = i.height;
        const std::size_t stride = rowBytes(width, depth);
        if (!m_block.allocate(stride * height, true)) return IS5_ERR_MEMORY;
        std::uint8_t* out = m_block.data();

        // What each stored value becomes: an index (8-bit output) or a bit (1-bit output).
        const std::uint32_t levels = 1u << i.bitsPerSample;
        std::vector<std::uint8_t> map(i.bitsPerSample == 16 ? 0 : levels);
        Is5Rgbq colours[256] = {};
        if (i.photometric == PHOTOMETRIC_PALETTE) {
            std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
            if (!TIFFGetField(m_tif, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
                return IS5_ERR_FORMAT;
            bool eightBit = true;
            for (std::uint32_t v = 0; v < levels; ++v)
                if (red[v] > 255 || green[v] > 255 || blue[v] > 255) eightBit = false;
            auto to8 = [&](std::uint16_t v) {
                return static_cast<std::uint8_t>(eightBit ? v : v >> 8);
            };
            for (std::uint32_t v = 0; v < levels; ++v) colours[v] = {to8(red[v]), to8(green[v]), to8(blue[v]), 0};
            for (std::uint32_t v = 0; v < levels; ++v)
                map[v] = depth == 8 ? static_cast<std::uint8_t>(v) : luma(colours[v].r, colours[v].g, colours[v].b) < 128;
        } else {
            const bool whiteIsZero = i.photometric == PHOTOMETRIC_MINISWHITE;
            for (std::uint32_t v = 0; v < map.size(); ++v) {
                const std::uint8_t level = scaleTo8(whiteIsZero ? levels - 1 - v : v, levels - 1);
                map[v] = depth == 8 ? level : level < 128;
            }
            for (int v = 0; v < 256; ++v) {
                auto g = static_cast<std::uint8_t>(v);
                colours[v] = {g, g, g, 0};
            }
        }
        if (depth == 1) {
            colours[0] = {255, 255, 255, 0};
            colours[1] = {0, 0, 0, 0};
        }

        const std::uint16_t bits = i.bitsPerSample;
        const bool whiteIsZero16 = i.photometric == PHOTOMETRIC_MINISWHITE;
        auto convertRow = [&](std::size_t y, const std::uint8_t* in) {
            std::uint8_t* row = out + y * stride;
            if (depth == 1) {
                for (std::size_t x = 0; x < width; ++x)
                    if (map[(in[x >> 3] >> (7 - (x & 7))) & 1]) row[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
                return;
            }
            switch (bits) {
            case 16: {
                for (std::size_t x = 0; x < width; ++x) {
                    std::uint16_t v;
                    std::memcpy(&v, in + x * 2, 2);
                    const auto high = static_cast<std::uint8_t>(v >> 8);
                    row[x] = whiteIsZero16 ? static_cast<std::uint8_t>(255 - high) : high;
                }
                break;
            }
            case 8:
                for (std::size_t x = 0; x < width; ++x) row[x] = map[in[x]];
                break;
            default: {
                const unsigned perByte = 8 / bits, mask = levels - 1;
                for (std::size_t x = 0; x < width; ++x) {
                    const unsigned shift = 8 - bits * (1 + static_cast<unsigned>(x % perByte));
                    row[x] = map[(in[x / perByte] >> shift) & mask];
                }
                break;
            }
            }
        };
        if (std::uint32_t rc = forEachRow(convertRow)) return rc;
        if (palette) std::memcpy(palette, colours, sizeof colours);
        return IS5_OK;
    }

    // Calls convert(y, packedRow) for every row, top to bottom as stored.
    template <typename Convert>
    std::uint32_t forEachRow(Convert& convert) {
        const std::size_t width = m_info.width, height = m_info.height;
        const std::size_t bits = m_info.bitsPerSample;
        const std::size_t scanline = (width * bits + 7) / 8;
        if (TIFFIsTiled(m_tif)) {
            std::uint32_t tileWidth = 0, tileLength = 0;
            if (!TIFFGetField(m_tif, TIFFTAG_TILEWIDTH, &tileWidth) || !TIFFGetField(m_tif, TIFFTAG_TILELENGTH, &tileLength) ||
                tileWidth == 0 || tileLength == 0 || (tileWidth * bits) % 8 != 0)
                return IS5_ERR_FORMAT;
            const tmsize_t tileSize = TIFFTileSize(m_tif);
            const std::size_t tileRow = (std::size_t{tileWidth} * bits + 7) / 8;
            const std::size_t bandRows = std::min<std::size_t>(tileLength, height);
            if (tileSize <= 0 || static_cast<std::size_t>(tileSize) < tileRow * tileLength) return IS5_ERR_FORMAT;
            std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileSize));
            std::vector<std::uint8_t> band(scanline * bandRows);
            for (std::size_t ty = 0; ty < height; ty += tileLength) {
                const std::size_t rows = std::min<std::size_t>(tileLength, height - ty);
                for (std::size_t tx = 0; tx < width; tx += tileWidth) {
                    const ttile_t index = TIFFComputeTile(m_tif, static_cast<std::uint32_t>(tx),
                                                          static_cast<std::uint32_t>(ty), 0, 0);
                    if (TIFFReadEncodedTile(m_tif, index, tile.data(), tileSize) < 0) return IS5_ERR_READ;
                    const std::size_t offset = tx * bits / 8;
                    const std::size_t take = std::min(tileRow, scanline - offset);
                    for (std::size_t r = 0; r < rows; ++r)
                        std::memcpy(band.data() + r * scanline + offset, tile.data() + r * tileRow, take);
                }
                for (std::size_t r = 0; r < rows; ++r) convert(ty + r, band.data() + r * scanline);
            }
            return IS5_OK;
        }
        std::uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(m_tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        const std::size_t stripRows = std::clamp<std::size_t>(rowsPerStrip, 1, height);
        const std::size_t strips = (height + stripRows - 1) / stripRows;
        if (TIFFNumberOfStrips(m_tif) < strips) return IS5_ERR_FORMAT;
        std::vector<std::uint8_t> strip(scanline * stripRows);
        for (std::size_t s = 0; s < strips; ++s) {
            const std::size_t first = s * stripRows, rows = std::min(stripRows, height - first);
            std::fill(strip.begin(), strip.end(), 0);
            if (TIFFReadEncodedStrip(m_tif, static_cast<std::uint32_t>(s), strip.data(),
                                     static_cast<tmsize_t>(rows * scanline)) < 0)
                return IS5_ERR_READ;
            for (std::size_t r = 0; r < rows; ++r) convert(first + r, strip.data() + r * scanline);
        }
        return IS5_OK;
    }

    // ---- everything else, through libtiff's RGBA interface ---------------------------------

    std::uint32_t readRgba(std::uint32_t depth, Is5Rgbq* palette) {
        char message[1024] = {};
        if (!TIFFRGBAImageOK(m_tif, message)) return IS5_ERR_UNSUPPORTED;
        RgbaImage rgba;
        if (!TIFFRGBAImageBegin(&rgba.image, m_tif, 1, message)) return IS5_ERR_UNSUPPORTED;
        rgba.begun = true;
        // Rows as stored; the Orientation tag is applied afterwards, quarter turns included.
        rgba.image.req_orientation = rgba.image.orientation;
        const std::size_t width = m_info.width, height = m_info.height;
        if (rgba.image.width != width || rgba.image.height != height) return IS5_ERR_FORMAT;

        // One strip (or row of tiles) at a time keeps the 4-byte buffer small.
        std::uint32_t band = 0;
        if (TIFFIsTiled(m_tif)) TIFFGetField(m_tif, TIFFTAG_TILELENGTH, &band);
        else TIFFGetFieldDefaulted(m_tif, TIFFTAG_ROWSPERSTRIP, &band);
        const std::size_t bandRows = std::clamp<std::size_t>(band, 1, height);
        std::unique_ptr<std::uint32_t[]> raster(new (std::nothrow) std::uint32_t[width * bandRows]);
        if (!raster) return IS5_ERR_MEMORY;

        const std::size_t stride = rowBytes(width, depth);
        if (!m_block.allocate(stride * height)) return IS5_ERR_MEMORY;
        std::uint8_t* out = m_block.data();
        const bool alpha = rgba.image.alpha != 0;
        for (std::size_t y = 0; y < height; y += bandRows) {
            const std::size_t rows = std::min(bandRows, height - y);
            rgba.image.row_offset = static_cast<int>(y);
            rgba.image.col_offset = 0;
            if (!TIFFRGBAImageGet(&rgba.image, raster.get(), static_cast<std::uint32_t>(width),
                                  static_cast<std::uint32_t>(rows)))
                return IS5_ERR_READ;
            for (std::size_t r = 0; r < rows; ++r) {
                const std::uint32_t* in = raster.get() + r * width;
                std::uint8_t* row = out + (y + r) * stride;
                for (std::size_t x = 0; x < width; ++x) {
                    std::uint32_t red = TIFFGetR(in[x]), green = TIFFGetG(in[x]), blue = TIFFGetB(in[x]);
                    if (alpha) {
                        // The interface hands out premultiplied colour; adding the white
                        // behind the uncovered part is overWhite on the original colour.
                        const std::uint32_t behind = 255u - TIFFGetA(in[x]);
                        red = std::min(255u, red + behind);
                        green = std::min(255u, green + behind);
                        blue = std::min(255u, blue + behind);
                    }
                    if (depth == 24) {
                        row[x * 3] = static_cast<std::uint8_t>(red);
                        row[x * 3 + 1] = static_cast<std::uint8_t>(green);
                        row[x * 3 + 2] = static_cast<std::uint8_t>(blue);
                    } else {
                        row[x] = luma(red, green, blue);
                    }
                }
            }
        }
        if (depth == 8 && palette)
            for (int v = 0; v < 256; ++v) {
                auto g = static_cast<std::uint8_t>(v);
                palette[v] = {g, g, g, 0};
            }
        return IS5_OK;
    }

    TIFF* m_tif;
    const TiffInfo& m_info;
    platform::UniqueGlobal m_block;
};

} // namespace

} // namespace imaging::detail

using imaging::detail::failBlock;
using imaging::detail::failBool;

namespace {

// One attempt at the picture; `withoutEol` reads Group 3 one-dimensional data as rows of
// Modified Huffman codes that lack their EOL codes, which some fax software writes.
std::uint32_t readTiff(Is5Source& source, std::uint32_t page, std::uint32_t depth, Is5Rgbq* palette, bool withoutEol,
                       platform::UniqueGlobal& block, std::uint32_t& width, std::uint32_t& height, bool& oneDimFax) {
    imaging::detail::TiffFile file(source);
    if (std::uint32_t rc = file.open(page)) return rc;
    std::uint16_t compression = COMPRESSION_NONE;
    std::uint32_t g3Options = 0;
    TIFFGetFieldDefaulted(file.tif(), TIFFTAG_COMPRESSION, &compression);
    if (compression == COMPRESSION_CCITTFAX3) TIFFGetField(file.tif(), TIFFTAG_GROUP3OPTIONS, &g3Options);
    oneDimFax = compression == COMPRESSION_CCITTFAX3 && (g3Options & GROUP3OPT_2DENCODING) == 0;
    if (withoutEol) {
        TIFFSetField(file.tif(), TIFFTAG_COMPRESSION, COMPRESSION_CCITTRLE);
        TIFFSetField(file.tif(), TIFFTAG_FAXMODE, FAXMODE_NOEOL | FAXMODE_NORTC);
    }
    imaging::detail::TiffDecoder decoder(file);
    if (std::uint32_t rc = decoder.decode(depth, palette)) return rc;
    width = file.info().width;
    height = file.info().height;
    if (std::uint32_t rc = imaging::detail::orientUpright(decoder.block(), width, height, depth, file.info().orientation))
        return rc;
    block = std::move(decoder.block());
    return IS5_OK;
}

} // namespace

HGLOBAL is5_ReadTIFF(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                     Is5Rgbq* palette, std::uint32_t page, std::uint32_t /*flags*/) {
    static constexpr const char* kFn = "is5_ReadTIFF";
    if (!source || !width || !height || (depth != 24 && depth != 8 && depth != 1)) return failBlock(IS5_ERR_PARAM, kFn);
    try {
        platform::UniqueGlobal block;
        std::uint32_t w = 0, h = 0;
        bool oneDimFax = false;
        std::uint32_t rc = readTiff(*source, page, depth, palette, false, block, w, h, oneDimFax);
        if (rc == IS5_ERR_READ && oneDimFax) rc = readTiff(*source, page, depth, palette, true, block, w, h, oneDimFax);
        if (rc) return failBlock(rc, kFn);
        *width = w;
        *height = h;
        return imaging::detail::succeed(kFn, block.release());
    } catch (const std::bad_alloc&) {
        return failBlock(IS5_ERR_MEMORY, kFn);
    }
}

BOOL is5_GetTIFFDims(IS5_SOURCE source, std::uint32_t page, std::uint32_t* width, std::uint32_t* height,
                     std::uint32_t* bitsPerPixel, ResolutionInfo* resolution) {
    static constexpr const char* kFn = "is5_GetTIFFDims";
    if (!source) return failBool(IS5_ERR_PARAM, kFn);
    try {
        imaging::detail::TiffFile file(*source);
        if (std::uint32_t rc = file.open(page)) return failBool(rc, kFn);
        const auto& i = file.info();
        const bool swap = imaging::detail::orientationSwapsSides(i.orientation);
        if (width) *width = swap ? i.height : i.width;
        if (height) *height = swap ? i.width : i.height;
        if (bitsPerPixel) *bitsPerPixel = std::uint32_t{i.bitsPerSample} * i.samplesPerPixel;
        if (resolution) {
            // The upright picture's horizontal resolution is the stored vertical one.
            resolution->xResolution = swap ? i.yResolution : i.xResolution;
            resolution->yResolution = swap ? i.xResolution : i.yResolution;
            resolution->unit = i.resolutionUnit;
        }
        return imaging::detail::succeed<BOOL>(kFn, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kFn);
    }
}
