// SPDX-License-Identifier: MIT
// A small bounds-checked reader of a TIFF structure's first directory (the body of a
// JPEG's EXIF segment): the orientation and resolution tags, nothing else.
// Layout: Adobe TIFF Revision 6.0, 1992 (section 2),
// EXIF 2.32 (CIPA DC-008) section 4.6.
#pragma once

#include <cstddef>
#include <cstdint>

namespace imaging::detail {

struct ExifFacts {
    int orientation = 1;          ///< 1…8; 1 when absent or out of range
    bool hasResolution = false;   ///< both X and Y resolution present with non-zero denominators
    double xResolution = 0.0;
    double yResolution = 0.0;
    int resolutionUnit = 2;       ///< TIFF unit: 1 none, 2 inch (the default), 3 centimetre
};

/// Reads IFD0 of the TIFF structure at `data` ("II*\0" or "MM\0*" first). Every offset is
/// checked against `size`; a damaged structure yields what could be read before the damage.
/// Returns false when the header itself is not a TIFF header.
bool readTiffIfd0(const std::uint8_t* data, std::size_t size, ExifFacts& facts);

/// The same for a JPEG APP1 segment's body ("Exif\0\0" followed by the TIFF structure);
/// false when the body does not start with that name.
bool readExifSegment(const std::uint8_t* data, std::size_t size, ExifFacts& facts);

/// Orientations 5 to 8 turn the stored picture a quarter: its sides swap.
constexpr bool orientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

} // namespace imaging::detail
