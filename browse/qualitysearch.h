// SPDX-License-Identifier: MIT
// The quality a copy is saved at to stay within a file size: the highest quality from 1 to
// 100 whose file is at most the limit, found by bisection on the encoded size.
#pragma once

#include <cstdint>
#include <functional>

/// The most encodings the search makes of one picture: 100 first, then a bisection over
/// the 99 qualities below it and "none fits", which seven halvings decide.
inline constexpr std::uint32_t kMaxQualityEncodes = 8;

/// What the search found.
struct QualityChoice {
    std::int32_t quality = 0; ///< the highest quality found to fit; 1 when none fits
    std::uint64_t bytes = 0;  ///< the file size at that quality
    bool fits = false;        ///< bytes <= the limit (false: even quality 1 is too large)
    std::uint32_t encodes = 0; ///< encodings made (at most kMaxQualityEncodes)
    std::uint32_t code = 0;   ///< an encoding's failure code, which ends the search; else 0
};

/// Encodes a picture at `quality` and sets `bytes` to its file's size; 0, or a failure code.
using QualityEncoder = std::function<std::uint32_t(std::int32_t quality, std::uint64_t& bytes)>;

/// The highest quality whose file is at most `limit` bytes. The search takes the file size
/// to grow with the quality; where a codec's sizes do not, it still returns a quality that
/// fits, with the quality above it tried and too large (or 100). Every quality it returns
/// was encoded, last or earlier, so the caller keeps the bytes of each fitting encoding of
/// a higher quality than before, and those of quality 1.
QualityChoice HighestQualityWithin(std::uint64_t limit, const QualityEncoder& encode);
