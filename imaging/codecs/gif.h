// SPDX-License-Identifier: MIT
// GIF: the logical screen, the first frame's descriptor and the LZW limits, shared by the
// reader and its header reader. Format: the GIF89a format document (CompuServe, 1990), www.w3.org/Graphics/GIF
#pragma once

#include "imaging/detail/source.h"
#include "imaging/is5.h"

#include <array>
#include <cstdint>

namespace imaging::gif {

inline constexpr std::uint8_t kExtensionIntroducer = 0x21;
inline constexpr std::uint8_t kImageSeparator = 0x2C;
inline constexpr std::uint8_t kTrailer = 0x3B;
inline constexpr std::uint8_t kGraphicControlLabel = 0xF9;

/// Codes are at most 12 bits wide, so the string table holds at most 4096 entries.
inline constexpr unsigned kMaxCodeBits = 12;
inline constexpr unsigned kMaxCodes = 1u << kMaxCodeBits;
/// The widest minimum code size that still leaves room for the clear and end codes
/// below 4096 (the format itself asks for 2..8; real files use 1 and up to 11).
inline constexpr unsigned kMaxMinCodeSize = 11;

struct Rgb {
    std::uint8_t r, g, b;
};

/// What precedes the first frame's pixel data.
struct Header {
    // Logical screen descriptor.
    std::uint32_t screenWidth = 0;
    std::uint32_t screenHeight = 0;
    bool hasGlobalTable = false;
    unsigned globalTableBits = 0; // 1..8 when there is a global table
    std::uint8_t background = 0;
    // The first frame.
    std::uint32_t left = 0, top = 0, frameWidth = 0, frameHeight = 0;
    bool hasLocalTable = false;
    unsigned localTableBits = 0;
    bool interlaced = false;
    bool hasTransparency = false;
    std::uint8_t transparentIndex = 0;
    /// The picture handed out: the logical screen, enlarged where the first frame
    /// reaches past its right or bottom edge (as browsers show such files).
    std::uint32_t canvasWidth = 0;
    std::uint32_t canvasHeight = 0;
    /// Source position of the colour table that follows the image descriptor (or of
    /// the minimum code size byte when there is none).
    std::uint64_t afterDescriptor = 0;
    std::array<Rgb, 256> globalTable{};
};

/// The result of a read: a block of canvasWidth x canvasHeight palette indexes.
struct Picture {
    HGLOBAL pixels = nullptr; // owned by the caller on success
    std::uint32_t width = 0, height = 0;
    unsigned bits = 8;
};

class GifReader {
public:
    explicit GifReader(Is5Source& source) : m_source(source) {}

    /// Reads from the source's start up to the first image descriptor. IS5_OK, or
    /// IS5_ERR_READ (data ends), IS5_ERR_FORMAT (not a GIF, zero size, no frame).
    std::uint32_t readHeader(Header& header);

    /// Decodes the first frame onto its canvas; fills `palette` (256 entries, may be
    /// null). IS5_OK or an error code; on success `out.pixels` belongs to the caller.
    std::uint32_t read(Picture& out, Is5Rgbq* palette);

private:
    Is5Source& m_source;
};

} // namespace imaging::gif
