// SPDX-License-Identifier: MIT
// CISImageEx: the image object, and reading a file of any supported type into it.
#include "imaging/isimageex.h"

#include "imaging/israw.h"

#include "imaging/detail/lasterror.h"
#include "imaging/detail/pixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>

CISImageEx::CISImageEx() = default;

CISImageEx::~CISImageEx() { releasePixels(); }

void CISImageEx::releasePixels() {
    if (globalPixels) GlobalFree(globalPixels);
    globalPixels = nullptr;
    std::vector<std::uint8_t>().swap(ownedPixels);
}

void CISImageEx::Clear() {
    releasePixels();
    width = height = bitsPerPixel = paletteColours = 0;
}

std::uint32_t CISImageEx::GetRowBytes() const {
    switch (bitsPerPixel) {
    case 24: return width * 3;
    case 8: return width;
    case 1: return (width + 7) / 8;
    default: return 0;
    }
}

std::uint8_t* CISImageEx::GetPixels() const {
    if (usesGlobalMemory) return static_cast<std::uint8_t*>(GlobalLock(globalPixels));
    return ownedPixels.empty() ? nullptr : const_cast<std::uint8_t*>(ownedPixels.data());
}

std::uint32_t CISImageEx::Allocate(std::uint32_t w, std::uint32_t h, std::uint32_t depth) {
    Clear();
    std::uint64_t bytes = std::uint64_t{h} * imaging::detail::rowBytes(w, depth);
    if (bytes == 0) return kImageNoPicture;
    // The readers' pixel limit bounds what is made as well as what is read, so that a
    // resize to an absurd size fails at once instead of filling the memory first.
    if (const std::uint32_t rc = imaging::detail::checkPictureSize(w, h); rc != IS5_OK) return rc;
    try {
        ownedPixels.resize(static_cast<std::size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return kImageNoMemory;
    } catch (const std::length_error&) {
        return kImageNoMemory;
    }
    usesGlobalMemory = false;
    width = w;
    height = h;
    bitsPerPixel = depth;
    paletteColours = depth <= 8 ? (1u << depth) : 0;
    return kImageOk;
}

void CISImageEx::AttachBlock(HGLOBAL block, std::uint32_t w, std::uint32_t h, std::uint32_t depth) {
    releasePixels();
    globalPixels = block;
    usesGlobalMemory = true;
    width = w;
    height = h;
    bitsPerPixel = depth;
}

std::uint32_t CISImageEx::TakeFrom(CISImageEx& other) {
    if (&other == this) return HasPicture() ? kImageOk : kImageNoPicture;
    Clear();
    if (!other.HasPicture()) return kImageNoPicture;
    usesGlobalMemory = other.usesGlobalMemory;
    if (usesGlobalMemory) {
        globalPixels = other.globalPixels;
        other.globalPixels = nullptr;
    } else {
        ownedPixels = std::move(other.ownedPixels);
        other.ownedPixels.clear();
    }
    width = other.width;
    height = other.height;
    bitsPerPixel = other.bitsPerPixel;
    paletteColours = other.paletteColours;
    std::memcpy(palette, other.palette, sizeof(Is5Rgbq) * std::min<std::uint32_t>(paletteColours, 256));
    imageType = other.imageType;
    xResolution = other.xResolution;
    yResolution = other.yResolution;
    resolutionUnit = other.resolutionUnit;
    return kImageOk;
}

std::uint32_t CISImageEx::CopyFrom(const CISImageEx& other) {
    if (&other == this) return HasPicture() ? kImageOk : kImageNoPicture;
    Clear();
    if (!other.HasPicture()) return kImageNoPicture;
    if (std::uint32_t rc = Allocate(other.width, other.height, other.bitsPerPixel)) return rc;
    std::memcpy(ownedPixels.data(), other.GetPixels(), ownedPixels.size());
    CopyAttributes(other);
    return kImageOk;
}

void CISImageEx::CopyAttributes(const CISImageEx& other) {
    paletteColours = std::min<std::uint32_t>(other.paletteColours, 256);
    std::memcpy(palette, other.palette, sizeof(Is5Rgbq) * paletteColours);
    bitsPerPixel = other.bitsPerPixel;
    CopyResolution(other);
}

void CISImageEx::CopyResolution(const CISImageEx& other) {
    xResolution = other.xResolution;
    yResolution = other.yResolution;
    resolutionUnit = other.resolutionUnit;
    fileName = other.fileName;
    imageType = other.imageType;
}

namespace {

// The type of the file at `path` from its content and name; kImageDetect when it cannot be
// opened or is of no known type. `failure` gets what a failed read reports: a folder,
// device or pipe says so, anything else holds no picture.
int detectFileType(const std::string& path, std::uint32_t* failure) {
    *failure = kImageNoPicture;
    IS5_SOURCE source = is5_OpenFileSource(path.c_str());
    if (!source) {
        if (is5_GetLastError() == IS5_ERR_NOT_FILE) *failure = IS5_ERR_NOT_FILE;
        return kImageDetect;
    }
    const int type = DetectImageType(source, path);
    is5_CloseSource(source);
    return type;
}

// Replaces type 22 by the file's detected type; kImageOk, or what the read reports.
std::uint32_t resolveType(const std::string& path, int& type) {
    if (type != kImageDetect) return kImageOk;
    std::uint32_t failure = kImageNoPicture;
    type = detectFileType(path, &failure);
    return type == kImageDetect ? failure : kImageOk;
}

} // namespace

std::uint32_t CISImageEx::Read(const std::string& path, int type) {
    Clear();
    if (path.empty()) return kImageEmptyPath;
    if (const std::uint32_t rc = resolveType(path, type)) return rc;
    if (type == kImageWmf || type == kImageEmf) {
        std::uint32_t w = 0, h = 0;
        HGLOBAL block = is5_ReadMetafile(path.c_str(), &w, &h, 100, 100, 0, 0);
        std::uint32_t rc = is5_GetLastError();
        if (!block) return rc ? rc : kImageNoPicture;
        AttachBlock(block, w, h, 24);
        paletteColours = 0;
        imageType = type;
        fileName = path;
        return rc;
    }
    IS5_SOURCE source = is5_OpenFileSource(path.c_str());
    if (!source) return is5_GetLastError();
    std::uint32_t rc = ReadFromSource(source, type);
    fileName = path;
    is5_CloseSource(source);
    return rc;
}

std::uint32_t ReducedDecodeScale(std::uint32_t pictureWidth, std::uint32_t pictureHeight, std::uint32_t displayWidth,
                                 std::uint32_t displayHeight) {
    if (pictureWidth == 0 || pictureHeight == 0) return 1;
    auto covers = [&](std::uint32_t d) {
        // ceil(side / d), written so that it cannot overflow near 2^32.
        auto scaled = [d](std::uint32_t side) { return side / d + (side % d != 0); };
        return scaled(pictureWidth) >= displayWidth && scaled(pictureHeight) >= displayHeight;
    };
    for (std::uint32_t d : {8u, 4u, 2u})
        if (covers(d)) return d;
    return 1;
}

std::uint32_t CISImageEx::ReadForDisplay(const std::string& path, int type,
                                         const std::function<ImageSize(ImageSize)>& displaySize,
                                         ImageSize* fullSize) {
    if (fullSize) *fullSize = {};
    Clear();
    if (path.empty()) return kImageEmptyPath;
    if (const std::uint32_t rc = resolveType(path, type)) return rc;
    // Callers lay the picture out in displaySize, so a successful read always asks it.
    auto readWhole = [&](std::uint32_t rc) {
        if (!HasPicture()) return rc;
        if (displaySize) displaySize({width, height});
        if (fullSize) *fullSize = {width, height};
        return rc;
    };
    if (type != kImageJpeg && type != kImageJpegGrey) return readWhole(Read(path, type));

    IS5_SOURCE source = is5_OpenFileSource(path.c_str());
    if (!source) return is5_GetLastError();
    // The header alone gives the upright size. A header that cannot be read is left to the
    // full read to report.
    ImageSize full;
    if (!is5_GetJPGDims(source, &full.cx, &full.cy, nullptr, nullptr)) {
        const std::uint32_t rc = readFromSource(source, type, 1);
        fileName = path;
        is5_CloseSource(source);
        return readWhole(rc);
    }
    const ImageSize shown = displaySize ? displaySize(full) : full;
    const std::uint32_t rc = readFromSource(source, type, ReducedDecodeScale(full.cx, full.cy, shown.cx, shown.cy));
    fileName = path;
    is5_CloseSource(source);
    if (fullSize && rc == kImageOk) *fullSize = full;
    return rc;
}

namespace {

// A palette of i, i, i for every index: how 8-bit grey pictures are described.
void greyRamp(Is5Rgbq* palette) {
    for (int i = 0; i < 256; ++i) {
        auto v = static_cast<std::uint8_t>(i);
        palette[i] = {v, v, v, v};
    }
}

} // namespace

std::uint32_t CISImageEx::ReadFromSource(IS5_SOURCE source, int type) { return readFromSource(source, type, 1); }

std::uint32_t CISImageEx::readFromSource(IS5_SOURCE source, int type, std::uint32_t jpegScale) {
    Clear();
    std::uint32_t w = 0, h = 0, depth = 24, colours = 0;
    HGLOBAL block = nullptr;
    Is5Rgbq pal[256] = {};
    // After an 8- or 1-bit read, the palette the file stores is fetched again from its start.
    auto paletteFrom = [&](BOOL (*getPalette)(IS5_SOURCE, std::uint32_t*, Is5Rgbq*, std::uint32_t)) {
        if (!block) return;
        is5_Seek(source, 0, IS5_SEEK_SET);
        std::uint32_t count = 0;
        if (getPalette(source, &count, pal, 0)) colours = std::min<std::uint32_t>(count, 256);
    };

    switch (type) {
    case kImageJpeg: block = is5_ReadJPG(source, &w, &h, 24, jpegScale); break;
    case kImageJpegGrey:
        block = is5_ReadJPG(source, &w, &h, 8, jpegScale);
        depth = 8;
        greyRamp(pal);
        colours = 256;
        break;
    case kImageBmp: block = is5_ReadBMP(source, &w, &h, 24, nullptr, 0); break;
    case kImageBmpPalette:
    case kImageBmpBw:
        depth = type == kImageBmpBw ? 1 : 8;
        block = is5_ReadBMP(source, &w, &h, depth, pal, 0);
        paletteFrom(is5_GetBMPPalette);
        break;
    case kImagePcx: block = is5_ReadPCX(source, &w, &h, 24, nullptr, 0); break;
    case kImagePcxPalette:
        depth = 8;
        block = is5_ReadPCX(source, &w, &h, 8, pal, 0);
        paletteFrom(is5_GetPCXPalette);
        break;
    case kImagePng: block = is5_ReadPNG(source, &w, &h, 24, nullptr, 0); break;
    case kImagePngPalette:
    case kImagePngBw:
        depth = type == kImagePngBw ? 1 : 8;
        block = is5_ReadPNG(source, &w, &h, depth, pal, 0);
        paletteFrom(is5_GetPNGPalette);
        break;
    case kImageTiff: block = is5_ReadTIFF(source, &w, &h, 24, nullptr, 0, 0); break;
    case kImageTiffPalette:
        depth = 8;
        block = is5_ReadTIFF(source, &w, &h, 8, pal, 0, 0);
        colours = 256;
        break;
    case kImageTiffBw:
        depth = 1;
        block = is5_ReadTIFF(source, &w, &h, 1, pal, 0, 0);
        pal[0] = {255, 255, 255, 0};
        pal[1] = {0, 0, 0, 0};
        colours = 2;
        break;
    case kImageTga: block = is5_ReadTGA(source, &w, &h, 24, nullptr, 0); break;
    case kImageTgaPalette:
        depth = 8;
        block = is5_ReadTGA(source, &w, &h, 8, pal, 0);
        paletteFrom(is5_GetTGAPalette);
        break;
    case kImagePsd: block = is5_ReadPSD(source, &w, &h, 24, nullptr, 0); break;
    case kImagePsdBitmap:
        depth = 8;
        block = is5_ReadPSD(source, &w, &h, 8, pal, 0);
        paletteFrom(is5_GetPSDPalette);
        break;
    case kImageWbmp:
        depth = 8;
        block = is5_ReadWBMP(source, &w, &h, pal, 8, 0);
        colours = 2;
        break;
    case kImagePcd: block = is5_ReadPCD(source, &w, &h, 3, 0); break;
    case kImageGif: {
        std::uint32_t bits = 8;
        depth = 8;
        block = is5_ReadGIF(source, &w, &h, &bits, pal, 0);
        if (block) {
            std::uint32_t code = is5_GetLastError();
            is5_Seek(source, 0, IS5_SEEK_SET);
            std::uint32_t sw, sh;
            is5_GetGIFDims(source, &sw, &sh, &bits);
            is5_SetLastError(code, "is5_ReadGIF");
        }
        colours = 1u << std::min<std::uint32_t>(std::max<std::uint32_t>(bits, 1), 8);
        break;
    }
    case kImagePbm:
        depth = 1;
        block = is5_ReadPNM(source, &w, &h, 1, pal, 0);
        colours = 2;
        break;
    case kImagePgm:
        depth = 8;
        block = is5_ReadPNM(source, &w, &h, 8, pal, 0);
        colours = 256;
        break;
    case kImagePpm: block = is5_ReadPNM(source, &w, &h, 24, nullptr, 0); break;
    case kImageWebp: block = is5_ReadWEBP(source, &w, &h, 24, 0); break;
    case kImageRaw: {
        // The raw module reports through the layer's last error once it holds the hook.
        Is5ExtHook* hook = is5_GetExtHook(0);
        israw_SetHook(hook);
        is5_ReleaseExtHook(hook);
        israw_SetOptions(0);
        block = israw_Read(source, &w, &h, 24, 1.0, 1, -1, "embed", 0, 0, 0, 0);
        break;
    }
    case kImageWmf:
    case kImageEmf:
    case kImageDetect: return kImageOk;
    default: return kImageNoPicture;
    }
    // The reader's own outcome, before any palette or header call sets another.
    std::uint32_t rc = block ? IS5_OK : is5_GetLastError();
    if (!block) return rc ? rc : kImageNoPicture;

    ReadResolution(source, type);
    outputXResolution = imaging::detail::truncatedResolution(xResolution);
    outputYResolution = imaging::detail::truncatedResolution(yResolution);
    outputResolutionUnit = resolutionUnit;
    AttachBlock(block, w, h, depth);
    paletteColours = depth == 24 ? 0 : colours;
    if (depth != 24) std::memcpy(palette, pal, sizeof palette);
    imageType = type;

    // A TIFF whose pixels are not square (fax pictures, say) is stretched so that it shows
    // in its true proportions; a difference of a quarter or less is left alone. Real pixels
    // are at most a few times taller than wide: a stored ratio beyond 1:16, or one that would
    // make the picture exceed the pixel limit, is taken as damage and the picture kept as read.
    if ((type == kImageTiff || type == kImageTiffPalette) && yResolution != xResolution && xResolution != 0) {
        const double ratio = yResolution / xResolution;
        if (ratio != 0 && std::fabs(1 - ratio) > 0.25 && ratio >= 1.0 / 16 && ratio <= 16) {
            // At most 16 times the height: 64 bits hold it, and the size check bounds it.
            const auto newHeight = static_cast<std::uint64_t>(height / ratio);
            CISImageEx stretched;
            if (imaging::detail::checkPictureSize(width, newHeight) == IS5_OK &&
                stretched.Resize(*this, width, static_cast<std::uint32_t>(newHeight), IS5_RESIZE_BOX) == kImageOk)
                TakeFrom(stretched);
        }
    }
    is5_SetLastError(IS5_OK, "CISImageEx::ReadFromSource");
    return kImageOk;
}

void CISImageEx::ReadResolution(IS5_SOURCE source, int type) {
    ResolutionInfo info;
    std::uint32_t w, h, bits, colourType;
    xResolution = yResolution = 300.0;
    resolutionUnit = 1;
    is5_Seek(source, 0, IS5_SEEK_SET);
    switch (type) {
    case kImageJpeg:
    case kImageJpegGrey:
        if (is5_GetJPGDims(source, &w, &h, &bits, &info)) {
            xResolution = info.xResolution;
            yResolution = info.yResolution;
            resolutionUnit = info.unit == 1 ? 2 : info.unit == 2 ? 3 : 1;
        }
        break;
    case kImageBmp:
    case kImageBmpPalette:
    case kImageBmpBw:
        if (is5_GetBMPDims(source, &w, &h, &bits, &info)) {
            bool perMetre = info.unit == 2;
            xResolution = perMetre ? info.xResolution / 100.0 : info.xResolution;
            yResolution = perMetre ? info.yResolution / 100.0 : info.yResolution;
            resolutionUnit = perMetre ? 3 : 1;
        }
        break;
    case kImagePng:
    case kImagePngPalette:
    case kImagePngBw:
        if (is5_GetPNGDims(source, &w, &h, &bits, &colourType, &info)) {
            bool perMetre = info.unit == 1;
            xResolution = perMetre ? info.xResolution / 100.0 : info.xResolution;
            yResolution = perMetre ? info.yResolution / 100.0 : info.yResolution;
            resolutionUnit = perMetre ? 3 : 1;
        }
        break;
    case kImageTiff:
    case kImageTiffPalette:
    case kImageTiffBw:
        if (is5_GetTIFFDims(source, 0, &w, &h, &bits, &info)) {
            xResolution = info.xResolution;
            yResolution = info.yResolution;
            resolutionUnit = (info.unit == 2 || info.unit == 3) ? info.unit : 1;
        }
        break;
    default: break;
    }
}
