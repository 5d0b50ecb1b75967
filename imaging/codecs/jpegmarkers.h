// SPDX-License-Identifier: MIT
// The marker segments of a JPEG file up to its first scan, and rewriting a file with
// changed APPn and COM segments while every other byte stays as it was.
// Format: ITU-T T.81 (JPEG) annex B; JFIF 1.02; EXIF 2.32 (CIPA DC-008) section 4.5.
#pragma once

#include "imaging/is5.h"

#include <cstdint>
#include <vector>

namespace imaging::detail {

struct JpegSegment {
    std::uint8_t marker = 0;        ///< the byte after 0xFF
    std::uint64_t offset = 0;       ///< where its 0xFF stands in the file
    std::uint32_t length = 0;       ///< bytes from that 0xFF to the segment's end
    std::vector<std::uint8_t> data; ///< the body (after the length field) of APPn and COM segments
};

struct JpegLayout {
    std::vector<JpegSegment> segments; ///< every segment with a length, before the first scan
    std::uint64_t scanOffset = 0;      ///< where the first SOS marker stands
    std::uint64_t fileSize = 0;
    std::uint32_t width = 0, height = 0; ///< from the frame header
    bool hasFrame = false;
};

constexpr bool isMetadataMarker(std::uint8_t marker) { return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE; }

/// Copies bytes [from, to) of the source into the destination; false on a short read or a
/// failed write.
bool copySourceRange(Is5Source& source, IS5_DEST dest, std::uint64_t from, std::uint64_t to);

/// Reads the segments of the JPEG at the source's start. With `requireScan`, a file that
/// ends, or meets EOI, before a frame header and a scan fails (IS5_ERR_READ, or
/// IS5_ERR_FORMAT for a damaged segment); without it, what was read before the damage is
/// kept and the result is IS5_OK. A file not starting with SOI gives IS5_ERR_FORMAT.
std::uint32_t readJpegLayout(Is5Source& source, JpegLayout& layout, bool requireScan);

/// The calling thread's input list, as is5_ReadJPGMarkers left it.
const JpegLayout& jpegInputLayout();

/// Writes the JPEG at `source` (the file is5_ReadJPGMarkers read last on this thread) to
/// `dest` with the thread's output markers in place of its APPn and COM segments: a
/// segment copied by is5_CopyJPGInputMetadataToOutputMetadata stands where it stood (the
/// source's own bytes when its data is unchanged), one dropped from the list is left out,
/// and added ones go after the leading APP0 segments (after SOI when there are none).
/// Every other byte is copied as it is. Returns IS5_OK or an error code; the destination
/// is not closed.
std::uint32_t writeJpegWithOutputMarkers(Is5Source& source, IS5_DEST dest);

} // namespace imaging::detail
