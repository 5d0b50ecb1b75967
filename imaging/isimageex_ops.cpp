// SPDX-License-Identifier: MIT
// CISImageEx: resampling and cropping, each built in a temporary object that replaces
// this one only when the step succeeded.
#include "imaging/isimageex.h"

#include "imaging/detail/pixels.h"

#include <algorithm>

std::uint32_t CISImageEx::Resize(const CISImageEx& src, std::uint32_t newWidth, std::uint32_t newHeight,
                                 std::uint32_t mode) {
    if (!src.HasPicture()) return kImageNoPicture;
    if (&src == this) return kImageNoPicture;
    // An empty result is a bad argument, not a failed allocation.
    if (newWidth == 0 || newHeight == 0) return kImageNoPicture;
    if (src.width == newWidth && src.height == newHeight) return CopyFrom(src);
    if (const std::uint32_t rc = Allocate(newWidth, newHeight, src.bitsPerPixel); rc != kImageOk) {
        Clear();
        return rc;
    }
    const bool enlarging = newWidth > src.width || newHeight > src.height;
    BOOL ok = FALSE;
    switch (src.bitsPerPixel) {
    case 24:
        if (enlarging && (mode == IS5_RESIZE_AREA || mode == IS5_RESIZE_AREA_FAST)) mode = IS5_RESIZE_BICUBIC;
        ok = is5_ResizeImage(src.GetPixels(), src.width, src.height, src.GetRowBytes(), GetPixels(), width, height,
                             GetRowBytes(), 3, mode, 0);
        break;
    case 8:
        mode = mode == IS5_RESIZE_AREA || mode == IS5_RESIZE_AREA_FAST ? IS5_RESIZE_AREA
               : mode == IS5_RESIZE_NEAREST                           ? IS5_RESIZE_NEAREST
                                                                      : IS5_RESIZE_BILINEAR;
        if (enlarging && mode == IS5_RESIZE_AREA) mode = IS5_RESIZE_BILINEAR;
        ok = is5_ResizeImage8(src.GetPixels(), src.width, src.height, src.GetRowBytes(), GetPixels(), width, height,
                              GetRowBytes(), src.palette, src.paletteColours, mode, 0);
        break;
    case 1: {
        mode = mode == IS5_RESIZE_AREA || mode == IS5_RESIZE_AREA_FAST ? IS5_RESIZE_AREA : IS5_RESIZE_BILINEAR;
        std::uint32_t threshold = 192;
        if (!enlarging) {
            // Keep thin lines of the rarer value: a mostly-0 picture lets a 1 through sooner.
            std::uint32_t zeros = 0, ones = 0;
            if (is5_GetOneBitHistogram(src.GetPixels(), src.width, src.height, src.GetRowBytes(), &zeros, &ones, 0) &&
                zeros > ones)
                threshold = 64;
        } else if (mode == IS5_RESIZE_AREA) {
            mode = IS5_RESIZE_BILINEAR;
        }
        ok = is5_ResizeImage1(src.GetPixels(), src.width, src.height, src.GetRowBytes(), GetPixels(), width, height,
                              GetRowBytes(), threshold, mode, 0);
        break;
    }
    default: return is5_GetLastError();
    }
    if (!ok) return is5_GetLastError();
    paletteColours = std::min<std::uint32_t>(src.paletteColours, 256);
    std::copy(src.palette, src.palette + paletteColours, palette);
    imageType = src.imageType;
    resolutionUnit = src.resolutionUnit;
    xResolution = imaging::detail::truncatedResolution(src.xResolution);
    yResolution = imaging::detail::truncatedResolution(src.yResolution);
    return kImageOk;
}

std::uint32_t CISImageEx::ResizeInPlace(ImageSize size, std::uint32_t mode) {
    CISImageEx result;
    std::uint32_t rc = result.Resize(*this, size.cx, size.cy, mode);
    if (rc == kImageOk) TakeFrom(result);
    return rc;
}

std::uint32_t CISImageEx::Crop(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom) {
    if (!HasPicture()) return kImageNoPicture;
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
    // Half-open from here on, in 64 bits so that extreme corners cannot overflow.
    std::int64_t l = left, t = top, r = std::int64_t{right} + 1, b = std::int64_t{bottom} + 1;
    l = std::max<std::int64_t>(l, 0);
    t = std::max<std::int64_t>(t, 0);
    r = std::min<std::int64_t>(r, width);
    b = std::min<std::int64_t>(b, height);
    if (l >= r || t >= b) return kImageNoPicture;

    CISImageEx cut;
    if (std::uint32_t rc = cut.Allocate(std::uint32_t(r - l), std::uint32_t(b - t), bitsPerPixel)) return rc;
    cut.CopyAttributes(*this);
    const Is5Rect rect{std::int32_t(l), std::int32_t(t), std::int32_t(r), std::int32_t(b)};
    BOOL ok = bitsPerPixel == 1
                  ? is5_Crop1Bit(GetPixels(), width, height, GetRowBytes(), cut.GetPixels(), cut.GetRowBytes(), &rect)
                  : is5_CropImage(GetPixels(), width, height, GetRowBytes(), cut.GetPixels(), cut.GetRowBytes(), &rect,
                                  bitsPerPixel / 8);
    if (!ok) return is5_GetLastError();
    return TakeFrom(cut);
}

std::uint32_t CISImageEx::Draw(CDC* dc, ImagePoint point) const {
    if (!HasPicture()) return kImageNoPicture;
    switch (bitsPerPixel) {
    case 24: is5_DrawRGB(dc, GetPixels(), width, height, width * 3, point.x, point.y, 0); break;
    case 8: is5_Draw8Bit(dc, GetPixels(), width, height, GetRowBytes(), palette, point.x, point.y, 0); break;
    case 1: is5_Draw1Bit(dc, GetPixels(), width, height, GetRowBytes(), palette, point.x, point.y, 0); break;
    default: break;
    }
    return is5_GetLastError();
}
