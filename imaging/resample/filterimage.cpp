// SPDX-License-Identifier: MIT
// A named filter applied to the image object: 24-bit pictures directly; palette and
// 1-bit pictures through their conversions to 24-bit colour and to grey, and back to
// their own depth, so a saved copy keeps the depth the exact route gives it.
#include "imaging/resample/filters.h"

#include "imaging/detail/pixels.h"
#include "imaging/resample/resample.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

namespace imaging {

namespace {

// True when every used palette entry i is the grey (i, i, i): such a picture filters as
// one channel of its indexes.
bool greyRamp(const CISImageEx& image) {
    for (std::uint32_t i = 0; i < image.paletteColours; ++i) {
        const Is5Rgbq& c = image.palette[i];
        if (c.r != i || c.g != i || c.b != i) return false;
    }
    return image.paletteColours > 0;
}

std::uint32_t resizePalette(const CISImageEx& src, CISImageEx& out, const FilterChoice& choice) {
    const std::uint32_t w = src.width, h = src.height, W = out.width, H = out.height;
    if (greyRamp(src)) {
        // Indexes past the ramp would name no colour; filtered levels beyond it are clamped.
        const std::uint32_t top = src.paletteColours - 1;
        if (std::uint32_t code = resampleWithFilter(src.GetPixels(), w, h, src.GetRowBytes(), out.GetPixels(), W, H,
                                                    out.GetRowBytes(), 1, choice))
            return code;
        if (top < 255)
            for (std::uint32_t y = 0; y < H; ++y) {
                std::uint8_t* row = out.GetPixels() + std::size_t{y} * out.GetRowBytes();
                for (std::uint32_t x = 0; x < W; ++x) row[x] = static_cast<std::uint8_t>(std::min<std::uint32_t>(row[x], top));
            }
        return IS5_OK;
    }
    std::vector<std::uint8_t> rgb(std::size_t{w} * h * 3), scaled(std::size_t{W} * H * 3);
    // Indexes past the palette read as its first colour, as the palette resampler reads them.
    Is5Rgbq full[256] = {};
    for (std::uint32_t i = 0; i < 256; ++i) full[i] = src.palette[i < src.paletteColours ? i : 0];
    if (!is5_8BitToRGB(src.GetPixels(), w, h, src.GetRowBytes(), full, rgb.data(), w * 3, 0)) return is5_GetLastError();
    if (std::uint32_t code = resampleWithFilter(rgb.data(), w, h, w * 3, scaled.data(), W, H, W * 3, 3, choice))
        return code;
    auto matcher = std::make_unique<detail::ColourMatcher>(src.palette, src.paletteColours);
    for (std::uint32_t y = 0; y < H; ++y) {
        const std::uint8_t* in = scaled.data() + std::size_t{y} * W * 3;
        std::uint8_t* row = out.GetPixels() + std::size_t{y} * out.GetRowBytes();
        for (std::uint32_t x = 0; x < W; ++x, in += 3) row[x] = matcher->nearest(in[0], in[1], in[2]);
    }
    return IS5_OK;
}

std::uint32_t resizeOneBit(const CISImageEx& src, CISImageEx& out, const FilterChoice& choice) {
    const std::uint32_t w = src.width, h = src.height, W = out.width, H = out.height;
    std::vector<std::uint8_t> grey(std::size_t{w} * h), scaled(std::size_t{W} * H);
    for (std::uint32_t y = 0; y < h; ++y) {
        std::uint8_t* row = grey.data() + std::size_t{y} * w;
        if (!is5_UnpackBufferTo8Bit(src.GetPixels() + std::size_t{y} * src.GetRowBytes(), w, row, 1))
            return is5_GetLastError();
        for (std::uint32_t x = 0; x < w; ++x) row[x] = row[x] ? 255 : 0;
    }
    // The 1-bit resampler's threshold: when shrinking a mostly-0 picture a 1 gets through
    // sooner, so thin lines of the rarer value are kept.
    std::uint32_t threshold = 192;
    if (W <= w && H <= h) {
        std::uint32_t zeros = 0, ones = 0;
        if (is5_GetOneBitHistogram(src.GetPixels(), w, h, src.GetRowBytes(), &zeros, &ones, 0) && zeros > ones)
            threshold = 64;
    }
    FilterChoice plain = choice;
    plain.linearLight = false; // the levels are coverage, not light
    if (std::uint32_t code = resampleWithFilter(grey.data(), w, h, w, scaled.data(), W, H, W, 1, plain)) return code;
    std::vector<std::uint8_t> bits(W);
    for (std::uint32_t y = 0; y < H; ++y) {
        const std::uint8_t* in = scaled.data() + std::size_t{y} * W;
        for (std::uint32_t x = 0; x < W; ++x) bits[x] = in[x] >= threshold ? 1 : 0;
        if (!is5_Pack8BitBuffer(bits.data(), W, out.GetPixels() + std::size_t{y} * out.GetRowBytes(), 1))
            return is5_GetLastError();
    }
    return IS5_OK;
}

} // namespace

std::uint32_t resizeImageWithFilter(CISImageEx& image, ImageSize size, const FilterChoice& choice, std::uint32_t mode) {
    if (choice.filter == ResampleFilter::Exact) return image.ResizeInPlace(size, mode);
    if (!image.HasPicture() || size.cx == 0 || size.cy == 0) return kImageNoPicture;
    if (image.width == size.cx && image.height == size.cy) return kImageOk;
    CISImageEx out;
    if (const std::uint32_t rc = out.Allocate(size.cx, size.cy, image.bitsPerPixel); rc != kImageOk) return rc;
    std::uint32_t code;
    try {
        switch (image.bitsPerPixel) {
        case 24:
            code = resampleWithFilter(image.GetPixels(), image.width, image.height, image.GetRowBytes(), out.GetPixels(),
                                      out.width, out.height, out.GetRowBytes(), 3, choice);
            break;
        case 8: code = resizePalette(image, out, choice); break;
        case 1: code = resizeOneBit(image, out, choice); break;
        default: return IS5_ERR_PARAM;
        }
    } catch (const std::bad_alloc&) {
        code = IS5_ERR_MEMORY;
    }
    if (code) return code;
    out.paletteColours = std::min<std::uint32_t>(image.paletteColours, 256);
    std::copy(image.palette, image.palette + out.paletteColours, out.palette);
    out.imageType = image.imageType;
    out.resolutionUnit = image.resolutionUnit;
    out.xResolution = detail::truncatedResolution(image.xResolution);
    out.yResolution = detail::truncatedResolution(image.yResolution);
    return image.TakeFrom(out);
}

} // namespace imaging
