// SPDX-License-Identifier: MIT
// TGA (Truevision TARGA) file layout: header fields, image types, the version 2 footer and
// extension area, and the parsed header the reader works from.
//
// Format document: Truevision TGA File Format, version 2.0 (1989),
//   https://www.dca.fee.unicamp.br/~martino/disciplinas/ea978/tgaffs.pdf
//   summary: https://en.wikipedia.org/wiki/Truevision_TGA
#pragma once

#include "imaging/detail/bytereader.h"

#include <cstdint>

namespace imaging::tga {

inline constexpr std::uint32_t kHeaderSize = 18;
inline constexpr std::uint32_t kFooterSize = 26;          ///< extension offset, developer offset, signature
inline constexpr char kSignature[] = "TRUEVISION-XFILE."; ///< followed by a 0 byte
inline constexpr std::uint32_t kExtensionSize = 495;
inline constexpr std::uint32_t kAttributeTypeOffset = 494; ///< within the extension area

// Image types (header byte 2).
inline constexpr std::uint8_t kColourMapped = 1;
inline constexpr std::uint8_t kTrueColour = 2;
inline constexpr std::uint8_t kGrey = 3;
inline constexpr std::uint8_t kRleFlag = 8; ///< 9, 10, 11: the same, run-length encoded
inline constexpr std::uint8_t kHuffman = 32;
inline constexpr std::uint8_t kHuffmanQuadtree = 33;

// Image descriptor (header byte 17).
inline constexpr std::uint8_t kAttributeBitsMask = 0x0F;
inline constexpr std::uint8_t kRightToLeft = 0x10;
inline constexpr std::uint8_t kTopToBottom = 0x20;

// Attribute type of the extension area: what the alpha (attribute) bits hold.
inline constexpr int kAttributesNone = 0;
inline constexpr int kAttributesUndefinedIgnore = 1;
inline constexpr int kAttributesUndefinedRetain = 2;
inline constexpr int kAttributesAlpha = 3;
inline constexpr int kAttributesPremultiplied = 4;

enum class Alpha { None, Straight, Premultiplied };

struct Header {
    std::uint8_t idLength = 0;
    std::uint8_t colourMapType = 0;
    std::uint8_t imageType = 0;
    std::uint16_t mapFirst = 0;
    std::uint16_t mapLength = 0;
    std::uint8_t mapEntryBits = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint8_t pixelBits = 0;
    std::uint8_t descriptor = 0;

    std::uint8_t kind = 0;            ///< image type without the RLE flag
    bool rle = false;
    std::uint64_t mapOffset = 0;      ///< colour map, after the image ID
    std::uint64_t mapBytes = 0;
    std::uint64_t dataOffset = 0;     ///< pixel data, after the colour map
    int attributeType = -1;           ///< from the extension area; -1 without one
    Alpha pixelAlpha = Alpha::None;   ///< how the pixels' attribute bits are used
    Alpha mapAlpha = Alpha::None;     ///< the same for colour map entries
};

/// Reads and checks the header from the reader's position (the start of the file), and
/// the footer and extension area when the file has them. Returns IS5_OK or an error code.
std::uint32_t readHeader(detail::ByteReader& in, Header& header);

} // namespace imaging::tga
