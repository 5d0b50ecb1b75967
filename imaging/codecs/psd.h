// SPDX-License-Identifier: MIT
// Photoshop (PSD) files: the header and section layout the reader needs to reach the
// merged (composite) picture at the end of the file.
// Format: https://www.adobe.com/devnet-apps/photoshop/fileformatashtml/
#pragma once

#include "imaging/detail/source.h"
#include "imaging/is5.h"

#include <array>
#include <cstdint>

namespace imaging::psd {

inline constexpr std::uint32_t kMaxChannels = 56;

// Colour modes.
inline constexpr std::uint32_t kModeBitmap = 0;
inline constexpr std::uint32_t kModeGrey = 1;
inline constexpr std::uint32_t kModeIndexed = 2;
inline constexpr std::uint32_t kModeRgb = 3;
inline constexpr std::uint32_t kModeCmyk = 4;
inline constexpr std::uint32_t kModeMultichannel = 7;
inline constexpr std::uint32_t kModeDuotone = 8;
inline constexpr std::uint32_t kModeLab = 9;

// Compression of the merged picture.
inline constexpr std::uint32_t kRaw = 0;
inline constexpr std::uint32_t kPackBits = 1;
inline constexpr std::uint32_t kZip = 2;
inline constexpr std::uint32_t kZipPredicted = 3;

struct Header {
    std::uint32_t version = 0;
    std::uint32_t channels = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint32_t depth = 0; // bits per channel: 1, 8, 16 or 32
    std::uint32_t mode = 0;
    // Filled by a full read of the sections.
    bool hasPalette = false;
    std::array<Is5Rgbq, 256> palette{}; // indexed mode: the colour mode data
    /// A negative layer count says the first extra channel of the merged picture is
    /// its transparency; otherwise extra channels are masks and are not shown.
    bool mergedTransparency = false;
    std::uint32_t compression = 0;
    std::uint64_t dataOffset = 0; // just after the compression word
};

struct Picture {
    HGLOBAL pixels = nullptr; // owned by the caller on success
    std::uint32_t width = 0, height = 0;
};

class PsdReader {
public:
    explicit PsdReader(Is5Source& source) : m_source(source) {}

    /// The file header only (26 bytes): IS5_OK, IS5_ERR_READ, IS5_ERR_FORMAT, or
    /// IS5_ERR_UNSUPPORTED for the large document format (version 2).
    std::uint32_t readHeader(Header& header);
    /// The header and the sections up to the merged picture's data.
    std::uint32_t readSections(Header& header);
    /// Decodes the merged picture at 24 bits, or at 8 or 1 bits where the colour mode
    /// allows (bitmap, greyscale, indexed), filling `palette` for those.
    std::uint32_t read(std::uint32_t depth, Picture& out, Is5Rgbq* palette);
    /// The palette of 8-bit output: indexed colours, the bitmap's white and black, or
    /// a grey ramp. IS5_ERR_UNSUPPORTED for the other modes.
    std::uint32_t readPalette(std::uint32_t& count, Is5Rgbq* palette);

private:
    Is5Source& m_source;
};

} // namespace imaging::psd
