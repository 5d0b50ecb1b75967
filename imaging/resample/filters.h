// SPDX-License-Identifier: MIT
// Anti-aliased resampling by a named filter whose support grows with the reduction
// (Lanczos-3, Mitchell, Catmull-Rom, exact area), beside the exact bicubic route. Weights
// are integers, so every machine and every thread count gives the same bytes.
#pragma once

#include "imaging/isimageex.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace imaging {

enum class ResampleFilter : std::uint8_t { Exact, Lanczos3, Mitchell, CatmullRom, Area };

/// "exact", "lanczos3", "mitchell", "catmull-rom", "area"; nullopt for anything else.
std::optional<ResampleFilter> filterFromName(std::string_view name);
std::string_view filterName(ResampleFilter filter);

struct FilterChoice {
    ResampleFilter filter = ResampleFilter::Exact;
    /// Filter in linear light (sRGB decoded, filtered, encoded) instead of the stored values.
    bool linearLight = false;
    /// Do all the work on the calling thread instead of sharing bands with the pool.
    bool singleThread = false;
};

/// Resamples a picture of `channels` (1 to 4) one-byte channels with a named filter (not
/// Exact). With linear light the first three channels are sRGB; a fourth is kept in its
/// stored values. Returns 0, IS5_ERR_PARAM for bad arguments or overlapping buffers,
/// IS5_ERR_MEMORY, or the code a progress callback stopped the work with.
std::uint32_t resampleWithFilter(const std::uint8_t* src, std::uint32_t srcWidth, std::uint32_t srcHeight,
                                 std::uint32_t srcStride, std::uint8_t* dst, std::uint32_t dstWidth,
                                 std::uint32_t dstHeight, std::uint32_t dstStride, std::uint32_t channels,
                                 const FilterChoice& choice);

/// Resizes the picture in place. Exact takes `mode` through CISImageEx::ResizeInPlace; the
/// named filters filter 24-bit pictures directly, palette pictures expanded to 24 bits and
/// mapped back to their palette's nearest colours (a grey ramp filtered as one channel),
/// and 1-bit pictures as 0/255 grey thresholded as the 1-bit resampler does. On failure
/// the picture stays as it was.
std::uint32_t resizeImageWithFilter(CISImageEx& image, ImageSize size, const FilterChoice& choice,
                                    std::uint32_t mode = IS5_RESIZE_BICUBIC);

} // namespace imaging
