// SPDX-License-Identifier: MIT
// A picture's EXIF block and XMP packet, read from a JPEG, PNG or WebP source and written
// into a JPEG, PNG or WebP copy the program has just made: the orientation set upright, the
// sizes made the copy's, the thumbnail left out, and on request the private parts left out too.
// Formats: EXIF 2.32 (CIPA DC-008) sections 4.5-4.6; XMP part 3 (JPEG APP1, PNG iTXt);
// https://www.w3.org/TR/png/ (PNG, third edition) section 11.3 (eXIf, iTXt); RFC 9649 (WebP).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imaging {

struct KeptMetadata {
    std::vector<std::uint8_t> exif; ///< the TIFF structure ("II*\0" or "MM\0*" first), empty when none
    std::string xmp;                ///< the XMP packet, empty when none
};

/// The EXIF block and XMP packet of the JPEG, PNG or WebP at `path` (WebP chunks of at most
/// 8 MiB); empty for other types.
KeptMetadata ReadKeptMetadata(const std::string& path);

/// The source's EXIF block as a copy of `width` x `height` holds it: Orientation 1,
/// PixelXDimension/PixelYDimension and ImageWidth/ImageLength (where present) the copy's,
/// no IFD1 and thumbnail. With `stripPrivate` also no GPS directory, maker note or serial
/// numbers. Every other tag's value is kept byte for byte. Empty when the block is damaged
/// beyond reading or holds nothing.
std::vector<std::uint8_t> ExifForCopy(const std::vector<std::uint8_t>& exif, std::uint32_t width,
                                      std::uint32_t height, bool stripPrivate);

/// Whether a file of writer type `imageType` can carry EXIF and XMP (JPEG, PNG, WebP).
bool TakesKeptMetadata(int imageType);

/// Writes the source's metadata, adjusted for a `width` x `height` copy, into the file at
/// `path`, which the writers made as type `imageType`: JPEG APP1 segments (EXIF, then XMP)
/// after the leading APP0 segments, PNG eXIf and iTXt "XML:com.adobe.xmp" chunks after IHDR,
/// WebP "EXIF" and "XMP " chunks.
/// `stripPrivate` leaves out the XMP as well. Other types, and nothing to keep: unchanged,
/// true. False when the file is not what its type says or the rewrite failed.
bool EmbedKeptMetadata(const std::string& path, int imageType, const KeptMetadata& metadata, std::uint32_t width,
                       std::uint32_t height, bool stripPrivate);

} // namespace imaging
