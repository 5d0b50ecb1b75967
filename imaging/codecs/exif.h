// SPDX-License-Identifier: MIT
// Bounds-checked reading and writing of the TIFF structure in a JPEG's EXIF segment: the
// orientation and resolution of IFD0 for the readers, and every directory (IFD0, Exif, GPS,
// Interoperability, IFD1 and its thumbnail) for rewriting the block with changed tags.
// Layout: Adobe TIFF Revision 6.0, 1992 (section 2),
// EXIF 2.32 (CIPA DC-008) section 4.6.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

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

/// The directories of an EXIF structure, in the order they are written.
enum class ExifDirectory : std::uint8_t { ifd0 = 0, exif = 1, interop = 2, gps = 3, ifd1 = 4 };
inline constexpr std::size_t kExifDirectoryCount = 5;

inline constexpr std::uint16_t kExifTypeAscii = 2;
inline constexpr std::uint16_t kExifTypeShort = 3;
inline constexpr std::uint16_t kExifTypeLong = 4;
inline constexpr std::uint16_t kExifTypeUndefined = 7;
inline constexpr std::uint16_t kExifTagMakerNote = 0x927C;

struct ExifTag {
    std::uint16_t tag = 0, type = 0;
    std::uint32_t count = 0;
    std::vector<std::uint8_t> value; ///< count × the type's size bytes, in the block's byte order
};

/// A whole EXIF structure. The tags that tie directories together (the Exif, GPS and
/// Interoperability pointers, the thumbnail's offset and length) are not kept as tags:
/// the writer makes them anew from what the block holds.
struct ExifBlock {
    bool bigEndian = false;
    std::array<std::vector<ExifTag>, kExifDirectoryCount> directories; ///< each sorted by tag, no repeats
    std::vector<std::uint8_t> thumbnail;  ///< IFD1's JPEG thumbnail
    std::uint32_t makerNoteOffset = 0;    ///< where the maker note's value stood in the source (0: nowhere)

    std::vector<ExifTag>& directory(ExifDirectory d) { return directories[static_cast<std::size_t>(d)]; }
    const std::vector<ExifTag>& directory(ExifDirectory d) const { return directories[static_cast<std::size_t>(d)]; }
    /// The tag in that directory, or nullptr.
    const ExifTag* find(ExifDirectory d, std::uint16_t tag) const;
    /// Adds the tag to its directory, or replaces the value of the one there.
    void put(ExifDirectory d, ExifTag tag);
};

/// Bytes of one value of a TIFF field type; 0 for a type this code does not know.
std::size_t exifTypeSize(std::uint16_t type);

/// Reads every directory of the TIFF structure at `data`. Offsets and counts are checked
/// against `size`; a damaged entry or directory is left out and the rest kept. Returns
/// false when the header is not a TIFF header.
bool parseExifTiff(const std::uint8_t* data, std::size_t size, ExifBlock& block);

/// Writes the block as a TIFF structure in its byte order, every offset rebuilt. The maker
/// note keeps its byte offset from the source when `keepMakerNoteOffset` and the layout
/// allows it, so a maker note whose own entries point at offsets stays readable.
std::vector<std::uint8_t> buildExifTiff(const ExifBlock& block, bool keepMakerNoteOffset = true);

/// Orientations 5 to 8 turn the stored picture a quarter: its sides swap.
constexpr bool orientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

} // namespace imaging::detail
