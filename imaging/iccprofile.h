// SPDX-License-Identifier: MIT
// Embedded ICC colour profiles: read from a JPEG, PNG, TIFF, Photoshop or WebP file, and
// written into a JPEG, PNG, TIFF, Photoshop or WebP file the program has just made, bytes
// unchanged.
// Formats: ICC.1:2022 annex B (JPEG APP2 "ICC_PROFILE" chunks, PNG iCCP, TIFF tag 34675);
// Adobe Photoshop File Formats, image resource 0x040F.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace imaging {

/// The largest profile read or written: what 255 JPEG chunks can hold.
inline constexpr std::size_t kMaxIccProfile = 255u * 65519u;

/// The profile embedded in the picture at `path` (its type found from its first bytes).
/// Empty when there is none, when the type holds none, or when the profile is damaged
/// (a missing or repeated JPEG chunk, a PNG stream that does not inflate) or larger than
/// kMaxIccProfile.
std::vector<std::uint8_t> ReadIccProfile(const std::string& path);

/// Whether a file of writer type `imageType` can carry a profile (JPEG, PNG, TIFF, Photoshop, WebP).
bool TakesIccProfile(int imageType);

/// Writes `profile` into the file at `path`, which the writers made as type `imageType`:
/// JPEG APP2 chunks after the leading APP0 segments, a PNG iCCP chunk after IHDR, the TIFF
/// tag of the first directory, a Photoshop image resource, a WebP ICCP chunk. The file is
/// rewritten in place.
/// True when done (also for an empty profile, which changes nothing); false when the file is
/// not what its type says, the profile is too large or the rewrite failed.
bool EmbedIccProfile(const std::string& path, int imageType, const std::vector<std::uint8_t>& profile);

} // namespace imaging
