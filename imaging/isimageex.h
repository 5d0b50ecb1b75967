// SPDX-License-Identifier: MIT
// CISImageEx: a decoded picture with its size, depth, palette and resolution, and the
// options the writers use.
#pragma once

#include "imaging/is5.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

/// Image type codes: the type of a file and the depth it is read in.
enum ImageTypeCode : int {
    kImageJpeg = 0,
    kImageJpegGrey = 1,
    kImageBmp = 2,
    kImageBmpPalette = 3,
    kImagePcx = 4,
    kImagePcxPalette = 5,
    kImagePng = 6,
    kImagePngPalette = 7,
    kImageTiff = 8,
    kImageTiffPalette = 9,
    kImageTga = 10,
    kImageTgaPalette = 11,
    kImageWmf = 12,
    kImageEmf = 13,
    kImagePsd = 14,
    kImagePsdBitmap = 15,
    kImageWbmp = 16,
    kImageTiffBw = 17,
    kImagePngBw = 18,
    kImageBmpBw = 19,
    kImagePcd = 20,
    kImageGif = 21,
    kImageDetect = 22,
    kImageRaw = 23,
    kImagePbm = 24,
    kImagePgm = 25,
    kImagePpm = 26,
    kImageWebp = 27,
};

/// Result codes of the object's own (the layer's codes pass through unchanged).
inline constexpr std::uint32_t kImageOk = 0;
inline constexpr std::uint32_t kImageNoMemory = 1;
inline constexpr std::uint32_t kImageEmptyPath = 2;
inline constexpr std::uint32_t kImageNoPicture = 5;

/// A picture size in pixels.
struct ImageSize {
    std::uint32_t cx = 0;
    std::uint32_t cy = 0;
};

/// A point in device pixels.
struct ImagePoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

class CISImageEx {
public:
    CISImageEx();
    virtual ~CISImageEx();
    CISImageEx(const CISImageEx&) = delete;
    CISImageEx& operator=(const CISImageEx&) = delete;

    /// Releases the pixels; width, height, depth and palette count go to 0, the rest stays.
    virtual void Clear();

    /// Bytes of one row: width × 3 at 24 bits, width at 8, (width + 7) / 8 at 1, else 0.
    std::uint32_t GetRowBytes() const;
    /// The pixel buffer (the reader's block or the object's own array), or nullptr.
    std::uint8_t* GetPixels() const;
    bool HasPicture() const { return GetPixels() != nullptr; }

    /// Clears, then allocates an owned buffer for the size and depth. 1 when memory is short,
    /// IS5_ERR_TOO_LARGE (nothing allocated) above the pixel limit (is5_SetMaxPixels).
    std::uint32_t Allocate(std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel);
    /// Moves `other`'s buffer here with its size, depth, palette, type and resolution.
    std::uint32_t TakeFrom(CISImageEx& other);
    /// Copies `other`'s pixels into a new owned buffer, then its attributes.
    std::uint32_t CopyFrom(const CISImageEx& other);
    void CopyAttributes(const CISImageEx& other);
    void CopyResolution(const CISImageEx& other);

    /// Reads a picture file. `imageType` 22 detects the type from the content (and the
    /// name), 23 reads camera raw. 0 on success, 2 for an empty path, 5 for an unknown
    /// type, or the imaging layer's error code.
    std::uint32_t Read(const std::string& path, int imageType);
    /// Reads a picture to show it, not to save it. `displaySize` is handed the full upright
    /// size and answers the size the picture will be shown at; a JPEG is then decoded at the
    /// smallest DCT scale (1/2, 1/4, 1/8) whose size still covers that size both ways, other
    /// types are read whole. A successful read has called `displaySize` exactly once (for a
    /// JPEG from its header before decoding, for other types after the read). `fullSize`
    /// (may be null) receives the full upright size (never the reduced one), or 0 x 0 when
    /// nothing was read. Same result codes as Read.
    std::uint32_t ReadForDisplay(const std::string& path, int imageType,
                                 const std::function<ImageSize(ImageSize)>& displaySize, ImageSize* fullSize);
    /// Reads a picture of a known type from an open source.
    std::uint32_t ReadFromSource(IS5_SOURCE source, int imageType);
    /// Fills the resolution fields from the file's header.
    void ReadResolution(IS5_SOURCE source, int imageType);

    /// Resamples `source` into this object at newWidth × newHeight with a resampling mode
    /// (17 bicubic, 0 box filter, …); 8- and 1-bit pictures are resampled bilinearly.
    /// The source is not changed.
    std::uint32_t Resize(const CISImageEx& source, std::uint32_t newWidth, std::uint32_t newHeight, std::uint32_t mode);
    /// Resamples this object; on failure it stays as it was.
    std::uint32_t ResizeInPlace(ImageSize size, std::uint32_t mode);
    /// Cuts out the rectangle with inclusive right and bottom edges (corners in any
    /// order). A rectangle reaching outside the picture is clipped to it; one wholly
    /// outside fails with 5 and leaves the picture as it was.
    std::uint32_t Crop(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);

    /// Writes the picture as a file of image type `imageType` (22: from the path's
    /// extension), converting it to the depth that type needs in temporary objects (this
    /// object never changes). The file appears under `path` only when complete.
    std::uint32_t Write(int imageType, const std::string& path) const;
    /// Encodes the picture as Write does, into `bytes` instead of a file (22 is not a type
    /// here: there is no name to take it from). Same result codes as Write.
    std::uint32_t WriteToMemory(int imageType, std::vector<std::uint8_t>& bytes) const;

    /// Draws the picture 1:1 with its top-left pixel at `point` of the device context.
    std::uint32_t Draw(CDC* dc, ImagePoint point) const;

    /// Hands the pixel block over to the object (used by the readers' callers).
    void AttachBlock(HGLOBAL block, std::uint32_t width, std::uint32_t height, std::uint32_t bitsPerPixel);

    double xResolution = 0.0;
    double yResolution = 0.0;
    int resolutionUnit = 1;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t paletteColours = 0;
    Is5Rgbq palette[256] = {};
    int imageType = kImageDetect;
    std::string fileName;
    bool usesGlobalMemory = true;
    std::vector<std::uint8_t> ownedPixels;
    HGLOBAL globalPixels = nullptr;
    int wbmpThreshold = 128;
    int jpegQuality = 75;        ///< also the quality of lossy WebP
    bool webpLossless = false;
    bool jpegProgressive = false;
    double outputXResolution = 300.0;
    double outputYResolution = 300.0;
    int outputResolutionUnit = 1;
    int tiffCompression = 1;
    bool bmpWriteFlag = false;

private:
    void releasePixels();
    // ReadFromSource, with a JPEG decoded at 1 / jpegScale of its size.
    std::uint32_t readFromSource(IS5_SOURCE source, int imageType, std::uint32_t jpegScale);
};

/// The largest JPEG DCT scale denominator (1, 2, 4 or 8) whose decoded size,
/// ceil(w / d) x ceil(h / d), still covers displayWidth x displayHeight; 1 when nothing
/// smaller covers it, and for an empty picture.
std::uint32_t ReducedDecodeScale(std::uint32_t pictureWidth, std::uint32_t pictureHeight, std::uint32_t displayWidth,
                                 std::uint32_t displayHeight);

/// The image type for a file name's extension (".jpg" → 0 …); 22 when unknown.
int ImageTypeFromExtension(const std::string& name);
/// The image type of a freshly opened source: the content decides, the name's extension
/// when the content gives no usable answer, then the header picks the depth variant.
int DetectImageType(IS5_SOURCE source, const std::string& path);
