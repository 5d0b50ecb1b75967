// SPDX-License-Identifier: MIT
// Renders Windows metafiles (WMF and EMF) into 24-bit pictures; a plain interface with no
// Qt types, so the imaging layer can call it without seeing Qt.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

enum class MetafileStatus {
    Ok,
    BadFormat,  ///< not a metafile, or a record that contradicts itself or its file
    Truncated,  ///< the data ends before the header or a record does
    TooLarge,   ///< the picture (or a bitmap inside it) exceeds the pixel limit
    TooComplex, ///< the records ask for more work than a picture may cost
    NoMemory,   ///< the allocator or Qt could not provide memory
    BadParam,   ///< null data, zero scale or zero pixel limit
};

enum class MetafileKind { Wmf, Emf };

struct MetafileRequest {
    std::uint32_t xScalePercent = 100; ///< 100 gives the natural width
    std::uint32_t yScalePercent = 100; ///< 100 gives the natural height
    std::uint64_t maxPixels = 0;       ///< largest width × height that may be allocated
    /// Most pixels the drawing operations may paint, summed (each operation counted by the
    /// part of its box that lies on the picture); 0 for the default of 2^26 plus 256 per
    /// pixel of the picture.
    std::uint64_t maxPaintedPixels = 0;
};

/// Size of the picture that RenderMetafile would make, read from the headers (and, for a
/// WMF without a placeable header, a pass over the records); no pixels are allocated.
///
/// Natural size at 96 pixels per inch:
/// - EMF: the header's frame (0.01 mm units), (right − left) × 96 / 2540, rounded; a file
///   with an empty frame falls back on its bounds in reference-device pixels, converted
///   through the reference device's pixels per millimetre.
/// - placeable WMF: |right − left| × 96 / unitsPerInch of the bounding box, rounded.
/// - bare WMF: the first window extent the records set, in pixels; without one, the box
///   of the coordinates the drawing records use.
/// Both sides are then scaled by the percentages (rounded, at least 1).
MetafileStatus MetafileSize(const std::uint8_t* data, std::size_t size, const MetafileRequest& request,
                            std::uint32_t& width, std::uint32_t& height, MetafileKind* kind = nullptr,
                            std::string* error = nullptr);

/// Called once, after every check, with the final size; returns width × height × 3 bytes
/// (rows top to bottom, R, G, B, no padding) or nullptr when memory is short.
using MetafilePixelAllocator = std::function<std::uint8_t*(std::uint32_t width, std::uint32_t height)>;

/// Replays the metafile's records on a white picture and writes it through `allocate`.
/// Records the player does not know are skipped by their size. Text needs fonts, so when no
/// application exists yet the first call makes a QGuiApplication on the offscreen platform
/// (kept until the process ends); text is then drawn alike whoever calls, from any thread.
MetafileStatus RenderMetafile(const std::uint8_t* data, std::size_t size, const MetafileRequest& request,
                              const MetafilePixelAllocator& allocate, std::string* error = nullptr);

} // namespace platform
