// SPDX-License-Identifier: MIT
// CISImageEx::Write: converts the picture to the depth the chosen file type needs (in
// temporary objects: the object itself never changes) and calls that type's writer.
#include "imaging/isimageex.h"

#include "imaging/detail/lasterror.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

/// The code of a conversion step that failed: the layer's last error, never 0.
std::uint32_t failedStep() {
    const std::uint32_t code = is5_GetLastError();
    return code ? code : IS5_ERR_PARAM;
}

std::uint32_t packedColour(const Is5Rgbq& c) { return std::uint32_t{c.r} << 16 | std::uint32_t{c.g} << 8 | c.b; }

/// A new object of the source's size at `depth`, with its resolution, name and type.
std::uint32_t startCopy(const CISImageEx& src, CISImageEx& out, std::uint32_t depth) {
    if (std::uint32_t rc = out.Allocate(src.width, src.height, depth)) return rc;
    out.CopyResolution(src);
    return kImageOk;
}

void blackAndWhite(CISImageEx& out) {
    out.palette[0] = {0, 0, 0, 0};
    out.palette[1] = {255, 255, 255, 0};
    out.paletteColours = 2;
}

/// One byte per pixel from a 1-bit picture (0 or 1), keeping its two palette entries.
std::uint32_t unpackOneBit(const CISImageEx& src, CISImageEx& out) {
    if (std::uint32_t rc = startCopy(src, out, 8)) return rc;
    const std::uint8_t* in = src.GetPixels();
    std::uint8_t* pixels = out.GetPixels();
    const std::uint32_t inRow = src.GetRowBytes();
    for (std::uint32_t y = 0; y < src.height; ++y)
        if (!is5_UnpackBufferTo8Bit(in + std::size_t{y} * inRow, src.width, pixels + std::size_t{y} * src.width, 1))
            return failedStep();
    out.paletteColours = std::min<std::uint32_t>(src.paletteColours, 256);
    std::memcpy(out.palette, src.palette, sizeof out.palette);
    return kImageOk;
}

/// Conversion to 24 bits: palette pictures expanded through their palette (1-bit
/// pictures unpacked to 8 bits first).
std::uint32_t toRgb(const CISImageEx& src, CISImageEx& out) {
    CISImageEx unpacked;
    const CISImageEx* eight = &src;
    if (src.bitsPerPixel == 1) {
        if (std::uint32_t rc = unpackOneBit(src, unpacked)) return rc;
        eight = &unpacked;
    }
    if (eight->bitsPerPixel != 8) return kImageNoPicture;
    if (std::uint32_t rc = startCopy(src, out, 24)) return rc;
    out.paletteColours = 0;
    if (!is5_8BitToRGB(eight->GetPixels(), src.width, src.height, src.width, eight->palette, out.GetPixels(),
                       out.GetRowBytes(), 0))
        return failedStep();
    return kImageOk;
}

/// Conversion to an 8-bit palette picture: 24-bit pictures through the quantizer with 256
/// colours, 1-bit pictures unpacked with their palette.
std::uint32_t toPalette(const CISImageEx& src, CISImageEx& out) {
    if (src.bitsPerPixel == 1) return unpackOneBit(src, out);
    if (src.bitsPerPixel != 24) return kImageNoPicture;
    if (std::uint32_t rc = startCopy(src, out, 8)) return rc;
    if (!is5_QuantizeRGBTo8Bit(src.GetPixels(), src.width, src.height, src.GetRowBytes(), out.GetPixels(), src.width,
                               256, out.palette, 1, 20, 0))
        return failedStep();
    out.paletteColours = 256;
    return kImageOk;
}

/// Conversion to 8-bit grey levels with a grey ramp palette.
std::uint32_t toGrey(const CISImageEx& src, CISImageEx& out) {
    CISImageEx unpacked;
    const CISImageEx* from = &src;
    if (src.bitsPerPixel == 1) {
        if (std::uint32_t rc = unpackOneBit(src, unpacked)) return rc;
        from = &unpacked;
    }
    if (from->bitsPerPixel != 24 && from->bitsPerPixel != 8) return kImageNoPicture;
    if (std::uint32_t rc = startCopy(src, out, 8)) return rc;
    if (!is5_ImageToGrayScale8Bit(from->GetPixels(), src.width, src.height, from->GetRowBytes(), from->bitsPerPixel,
                                  from->palette, out.GetPixels(), src.width, 0))
        return failedStep();
    for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<std::uint8_t>(i);
        out.palette[i] = {v, v, v, 0};
    }
    out.paletteColours = 256;
    return kImageOk;
}

/// Black and white at 8 bits for WBMP: a colour within the threshold's distance of white
/// (squared distance at most 3 × threshold²) becomes 1 (white), any other 0 (black).
std::uint32_t toWbmp(const CISImageEx& src, CISImageEx& out, int threshold) {
    const std::uint64_t t = static_cast<std::uint64_t>(std::abs(std::int64_t{threshold}));
    const auto tolerance =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(3 * t * t, std::numeric_limits<std::uint32_t>::max()));
    auto isWhite = [&](std::uint32_t colour) { return is5_ColorCompare(colour, 0xFFFFFF, tolerance) != FALSE; };

    CISImageEx unpacked;
    const CISImageEx* from = &src;
    if (src.bitsPerPixel == 1) {
        if (std::uint32_t rc = unpackOneBit(src, unpacked)) return rc;
        from = &unpacked;
    }
    if (std::uint32_t rc = startCopy(src, out, 8)) return rc;
    const std::uint8_t* in = from->GetPixels();
    std::uint8_t* pixels = out.GetPixels();
    const std::size_t count = std::size_t{src.width} * src.height;
    if (from->bitsPerPixel == 8) {
        // Decided once per palette entry.
        std::uint8_t value[256];
        for (int i = 0; i < 256; ++i) value[i] = isWhite(packedColour(from->palette[i])) ? 1 : 0;
        for (std::size_t i = 0; i < count; ++i) pixels[i] = value[in[i]];
    } else if (from->bitsPerPixel == 24) {
        for (std::size_t i = 0; i < count; ++i, in += 3)
            pixels[i] = isWhite(std::uint32_t{in[0]} << 16 | std::uint32_t{in[1]} << 8 | in[2]) ? 1 : 0;
    } else {
        return kImageNoPicture;
    }
    blackAndWhite(out);
    return kImageOk;
}

/// Conversion to 1 bit: grey levels, 1 (white) at 128 and above, packed eight pixels a
/// byte; the palette is black and white.
std::uint32_t toOneBit(const CISImageEx& src, CISImageEx& out) {
    CISImageEx grey;
    if (std::uint32_t rc = toGrey(src, grey)) return rc;
    // The threshold turns the grey levels into 0 and 1 in place.
    if (!is5_GrayscaleTo1Bit(grey.GetPixels(), src.width, src.height, src.width, grey.GetPixels(), src.width, 128))
        return failedStep();
    if (std::uint32_t rc = startCopy(src, out, 1)) return rc;
    const std::uint32_t outRow = out.GetRowBytes();
    for (std::uint32_t y = 0; y < src.height; ++y)
        if (!is5_Pack8BitBuffer(grey.GetPixels() + std::size_t{y} * src.width, src.width,
                                out.GetPixels() + std::size_t{y} * outRow, 1))
            return failedStep();
    blackAndWhite(out);
    return kImageOk;
}

/// The resolution handed to the writer of `type`, from the object's output resolution.
ResolutionInfo resolutionFor(const CISImageEx& img, int type) {
    ResolutionInfo info;
    const int unit = img.outputResolutionUnit;
    const bool known = unit >= 1 && unit <= 3;
    switch (type) {
    case kImageJpeg:
    case kImageJpegGrey:
        info.xResolution = img.outputXResolution;
        info.yResolution = img.outputYResolution;
        if (known) info.unit = unit - 1; // JFIF: 0 none, 1 per inch, 2 per cm
        break;
    case kImageBmp:
    case kImageBmpPalette:
    case kImagePng:
    case kImagePngPalette:
    case kImagePngBw:
        // Pixels per metre.
        if (unit == 2) {
            info.xResolution = img.outputXResolution * 39.37;
            info.yResolution = img.outputYResolution * 39.37;
        } else if (unit == 3) {
            info.xResolution = img.outputXResolution * 100;
            info.yResolution = img.outputYResolution * 100;
        }
        info.unit = 0;
        break;
    case kImageTiff:
    case kImageTiffPalette:
    case kImageTiffBw:
        info.xResolution = img.outputXResolution;
        info.yResolution = img.outputYResolution;
        if (known) info.unit = unit;
        break;
    default: info.unit = 1; break;
    }
    return info;
}

/// The outcome of a writer call: 0, or the layer's error code.
std::uint32_t writerResult(BOOL ok) {
    if (ok) return IS5_OK;
    const std::uint32_t code = is5_GetLastError();
    return code ? code : IS5_ERR_WRITE;
}

std::uint32_t write24(IS5_DEST dest, const CISImageEx& img, const CISImageEx& options, int type,
                      const ResolutionInfo& res) {
    if (img.bitsPerPixel != 24) return kImageNoPicture;
    const std::uint8_t* px = img.GetPixels();
    const std::uint32_t w = img.width, h = img.height, stride = img.GetRowBytes();
    switch (type) {
    case kImageJpeg:
        is5_ClearJPGOutputMarkers();
        is5_ClearJPGOutputText();
        return writerResult(is5_WriteJPG(dest, px, w, h, 24, stride, options.jpegQuality, &res,
                                         options.jpegProgressive ? 1 : 0));
    case kImageBmp: return writerResult(is5_WriteBMP(dest, px, w, h, 24, stride, 16777216, nullptr, &res, 0));
    case kImagePcx: return writerResult(is5_WritePCX(dest, px, w, h, 24, stride, nullptr, &res, 0));
    case kImagePng:
        is5_ClearPNGOutputText();
        return writerResult(is5_WritePNG(dest, px, w, h, stride, 8, 0, nullptr, 2, 0.345, &res, 0));
    case kImageTiff:
        return writerResult(is5_WriteTIFF(dest, px, w, h, 24, stride, nullptr,
                                          static_cast<std::uint32_t>(options.tiffCompression), &res, 0));
    case kImageTga: return writerResult(is5_WriteTGA(dest, px, w, h, 24, stride, nullptr, nullptr, 0));
    case kImageWmf:
    case kImageEmf:
        return writerResult(is5_WriteRGBToMetafile(dest, px, w, h, stride, type == kImageWmf ? 0 : 1, 0));
    case kImagePsd: return writerResult(is5_WritePSD(dest, px, w, h, 24, stride, nullptr, 0));
    case kImageWebp:
        return writerResult(is5_WriteWEBP(dest, px, w, h, stride, options.jpegQuality,
                                          options.webpLossless ? IS5_WEBP_LOSSLESS : 0));
    default: return kImageNoPicture;
    }
}

std::uint32_t write8(IS5_DEST dest, const CISImageEx& img, const CISImageEx& options, int type,
                     const ResolutionInfo& res) {
    if (img.bitsPerPixel != 8) return kImageNoPicture;
    const std::uint8_t* px = img.GetPixels();
    const std::uint32_t w = img.width, h = img.height, stride = img.GetRowBytes();
    const Is5Rgbq* pal = img.palette;
    switch (type) {
    case kImageJpegGrey:
        is5_ClearJPGOutputText();
        is5_ClearJPGOutputMarkers();
        return writerResult(is5_WriteJPG(dest, px, w, h, 8, stride, options.jpegQuality, &res,
                                         options.jpegProgressive ? 1 : 0));
    case kImageBmpPalette:
        return writerResult(
            is5_WriteBMP(dest, px, w, h, 8, stride, img.paletteColours, pal, &res, options.bmpWriteFlag ? 1 : 0));
    case kImagePcxPalette: return writerResult(is5_WritePCX(dest, px, w, h, 8, stride, pal, &res, 0));
    case kImagePngPalette:
        is5_ClearPNGOutputText();
        return writerResult(is5_WritePNG(dest, px, w, h, stride, 8, img.paletteColours, pal, 3, 0.345, &res, 0));
    case kImageTiffPalette:
        return writerResult(is5_WriteTIFF(dest, px, w, h, 8, stride, pal,
                                          static_cast<std::uint32_t>(options.tiffCompression), &res, 0));
    case kImageTgaPalette: return writerResult(is5_WriteTGA(dest, px, w, h, 8, stride, pal, &res, 0));
    case kImagePsdBitmap: return writerResult(is5_WritePSD(dest, px, w, h, 8, stride, pal, 0));
    case kImageWbmp: return writerResult(is5_WriteWBMP(dest, px, w, h, stride, 0));
    case kImageGif: return writerResult(is5_WriteGIF(dest, px, w, h, stride, 0, -1, 8, pal, 0));
    default: return kImageNoPicture;
    }
}

std::uint32_t write1(IS5_DEST dest, const CISImageEx& img, const CISImageEx& options, int type,
                     const ResolutionInfo& res) {
    if (img.bitsPerPixel != 1) return kImageNoPicture;
    const std::uint8_t* px = img.GetPixels();
    const std::uint32_t w = img.width, h = img.height, stride = img.GetRowBytes();
    switch (type) {
    case kImageTiffBw: {
        const bool zeroIsBlack = is5_ColorCompare(packedColour(img.palette[0]), 0, 0) != FALSE;
        return writerResult(is5_WriteTIFF(dest, px, w, h, 1, stride, nullptr,
                                          static_cast<std::uint32_t>(options.tiffCompression), &res,
                                          zeroIsBlack ? 32 : 0));
    }
    case kImagePngBw: return writerResult(is5_WritePNG(dest, px, w, h, stride, 1, 2, img.palette, 3, 0.0, &res, 0));
    case kImageBmpBw: return writerResult(is5_WriteBMP(dest, px, w, h, 1, stride, 2, img.palette, &res, 0));
    default: return kImageNoPicture;
    }
}

/// Converts as the type needs and writes. 5 for the types that have no writer.
std::uint32_t writeByType(IS5_DEST dest, const CISImageEx& img, int type) {
    const ResolutionInfo res = resolutionFor(img, type);
    CISImageEx converted;
    switch (type) {
    case kImageJpeg:
    case kImageBmp:
    case kImagePcx:
    case kImagePng:
    case kImageTiff:
    case kImageTga:
    case kImageWmf:
    case kImageEmf:
    case kImagePsd:
    case kImageWebp:
        if (img.bitsPerPixel == 24) return write24(dest, img, img, type, res);
        if (std::uint32_t rc = toRgb(img, converted)) return rc;
        return write24(dest, converted, img, type, res);
    case kImageJpegGrey:
        if (std::uint32_t rc = toGrey(img, converted)) return rc;
        return write8(dest, converted, img, type, res);
    case kImageBmpPalette:
    case kImagePcxPalette:
    case kImagePngPalette:
    case kImageTiffPalette:
    case kImageTgaPalette:
    case kImagePsdBitmap:
    case kImageGif:
        // An 8-bit picture is written as it is; the writers only read it.
        if (img.bitsPerPixel == 8) return write8(dest, img, img, type, res);
        if (std::uint32_t rc = toPalette(img, converted)) return rc;
        return write8(dest, converted, img, type, res);
    case kImageWbmp:
        if (std::uint32_t rc = toWbmp(img, converted, img.wbmpThreshold)) return rc;
        return write8(dest, converted, img, type, res);
    case kImageTiffBw:
    case kImagePngBw:
    case kImageBmpBw:
        if (img.bitsPerPixel == 1) return write1(dest, img, img, type, res);
        if (std::uint32_t rc = toOneBit(img, converted)) return rc;
        return write1(dest, converted, img, type, res);
    default: return kImageNoPicture; // PhotoCD and the codes above GIF have no writer
    }
}

bool hasWriter(int type) {
    return (type >= kImageJpeg && type <= kImageGif && type != kImagePcd) || type == kImageWebp;
}

} // namespace

std::uint32_t CISImageEx::Write(int type, const std::string& path) const {
    if (!HasPicture()) return kImageNoPicture;
    IS5_DEST dest = is5_OpenFileDest(path.c_str(), 0);
    if (!dest) return failedStep();
    if (type == kImageDetect) type = ImageTypeFromExtension(path);
    if (!hasWriter(type)) {
        // Nothing is written: the destination goes away unpublished.
        is5_CloseDest(dest);
        return kImageNoPicture;
    }
    std::uint32_t rc = writeByType(dest, *this, type);
    // After any failure (a conversion's too, before a writer ran) closing discards the
    // temporary file; a finished picture that cannot take its name fails here.
    if (rc != IS5_OK) is5_MarkDestFailed(dest);
    if (!is5_CloseDest(dest) && rc == IS5_OK) rc = failedStep();
    return rc;
}

std::uint32_t CISImageEx::WriteToMemory(int type, std::vector<std::uint8_t>& bytes) const {
    bytes.clear();
    if (!HasPicture() || !hasWriter(type)) return kImageNoPicture;
    IS5_DEST dest = is5_OpenMemoryDest();
    if (!dest) return failedStep();
    std::uint32_t rc = writeByType(dest, *this, type);
    if (rc == IS5_OK) {
        std::size_t size = 0;
        const std::uint8_t* data = is5_GetDestBuffer(dest, &size);
        try {
            bytes.assign(data, data + size);
        } catch (const std::bad_alloc&) {
            rc = kImageNoMemory;
        }
    }
    is5_MarkDestFailed(dest); // nothing to keep: the bytes are copied out
    is5_CloseDest(dest);
    return rc;
}
