// SPDX-License-Identifier: MIT
// BMP file layout: the file header before a device-independent bitmap (platform/dib.h holds
// the bitmap's own header), and the parsed header the reader works from.
// Format document: https://learn.microsoft.com/en-us/windows/win32/gdi/bitmap-storage
#pragma once

#include "imaging/detail/bytereader.h"
#include "platform/dib.h"

#include <cstdint>

namespace imaging::bmp {

using namespace platform::dib;

inline constexpr std::uint32_t kFileHeaderSize = 14;

/// The bitmap's header with the file's own facts: the colour table and the pixels located
/// in the file, and the table cut to the entries the file stores (at most 256).
struct Header : platform::dib::Header {
    std::uint64_t dataOffset = 0;
};

/// Reads and checks the file header, the info header and any masks from the reader's
/// position (the start of the file). Checks what the header says against itself and
/// against the file's size; does not check the picture against the pixel limit.
/// Returns IS5_OK or the layer's error code.
std::uint32_t readHeader(detail::ByteReader& in, Header& header);

} // namespace imaging::bmp
