// SPDX-License-Identifier: MIT
// The imaging layer's C-style face: sources, the per-thread last error, file type
// detection, header readers, picture readers and palette helpers. Every call returns a
// handle, a count or non-zero for success, records its outcome as the calling thread's
// last error, and lets no exception out.
//
// Pixel blocks: rows top to bottom without padding; 24-bit pixels are R, G, B; 8-bit
// pixels are palette indexes; 1-bit rows are packed most significant bit first. Palette
// entries are R, G, B, 0.
#pragma once

#include "platform/globalmemory.h"
#include "platform/wintypes.h"

#include <cstdint>

/// An open byte source (a file or a block of memory) that readers take their data from.
struct Is5Source;
using IS5_SOURCE = Is5Source*;

/// One palette entry: red, green, blue and an unused byte.
struct Is5Rgbq {
    std::uint8_t r, g, b, reserved;
};

/// Resolution as a file stores it: the two values and the format's own unit code
/// (JPEG: JFIF unit 0/1 per inch/2 per cm; BMP: 2 = pixels per metre; PNG: 1 = per metre;
/// TIFF: 1 none/2 inch/3 centimetre; PCX: per inch, unit 2).
struct ResolutionInfo {
    double xResolution = 0.0;
    double yResolution = 0.0;
    int unit = 0;
};

// The layer's result codes.
inline constexpr std::uint32_t IS5_OK = 0;
inline constexpr std::uint32_t IS5_ERR_MEMORY = 1;       ///< an allocation failed
inline constexpr std::uint32_t IS5_ERR_OPEN = 2;         ///< a file could not be opened
inline constexpr std::uint32_t IS5_ERR_READ = 3;         ///< a read failed or the data ended early
inline constexpr std::uint32_t IS5_ERR_WRITE = 4;        ///< a write failed
inline constexpr std::uint32_t IS5_ERR_PARAM = 5;        ///< bad parameter
inline constexpr std::uint32_t IS5_ERR_FORMAT = 6;       ///< the data is not a valid file of the type
inline constexpr std::uint32_t IS5_ERR_UNSUPPORTED = 7;  ///< a valid file of a variant that is not read
inline constexpr std::uint32_t IS5_ERR_NOT_FILE = 8;     ///< the path names a folder, device, pipe or socket
inline constexpr std::uint32_t IS5_ERR_CANCELLED = 14;   ///< the progress callback asked to stop
inline constexpr std::uint32_t IS5_ERR_TIMEOUT = 84;     ///< a worker job did not finish in time
inline constexpr std::uint32_t IS5_ERR_NO_POOL = 89;     ///< no worker pool or no jobs
inline constexpr std::uint32_t IS5_ERR_TOO_LARGE = 90;   ///< the picture exceeds the pixel limit
inline constexpr std::uint32_t IS5_ERR_JOB_FAILED = 91;  ///< a resampling job failed in an unforeseen way

// Seek origins.
inline constexpr int IS5_SEEK_SET = 0;
inline constexpr int IS5_SEEK_CUR = 1;
inline constexpr int IS5_SEEK_END = 2;

/// Default largest picture a reader accepts, in pixels (2^28).
inline constexpr std::uint64_t IS5_DEFAULT_MAX_PIXELS = std::uint64_t{1} << 28;

// ---- last error -----------------------------------------------------------------------

/// The calling thread's last result code (0 after a success).
std::uint32_t is5_GetLastError();
/// The name of the operation that set the last error ("is5_ReadBMP"), never null.
const char* is5_GetLastErrorFunction();
/// Sets the calling thread's last error, as the layer's own operations do.
void is5_SetLastError(std::uint32_t code, const char* function);

// ---- limits ---------------------------------------------------------------------------

/// Largest picture, in pixels, that any reader decodes (process-wide); 0 restores the
/// default. Pictures above it fail with IS5_ERR_TOO_LARGE before pixels are allocated, and
/// so does making one (CISImageEx::Allocate, Resize).
void is5_SetMaxPixels(std::uint64_t maxPixels);
std::uint64_t is5_GetMaxPixels();

// ---- sources --------------------------------------------------------------------------

/// What a result code means, in a few words ("not a regular file", "picture larger than
/// 268 megapixels" with the limit in force, …); "" for success. The text stays valid on
/// the calling thread until its next call.
const char* is5_ErrorText(std::uint32_t code);

/// Opens a file for reading; nullptr with IS5_ERR_OPEN when it cannot be opened, or
/// IS5_ERR_NOT_FILE at once when it is not a regular file (a named pipe never blocks).
IS5_SOURCE is5_OpenFileSource(const char* path);
/// A source over `size` bytes at `data`, which must outlive the source. `name`, when
/// given, plays the file name for the extension rules of detection.
IS5_SOURCE is5_OpenMemorySource(const void* data, std::size_t size, const char* name = nullptr);
BOOL is5_CloseSource(IS5_SOURCE source);
/// Moves the read position; false past either end of the data or on a bad origin.
BOOL is5_Seek(IS5_SOURCE source, std::int64_t offset, int origin);
std::uint64_t is5_Tell(IS5_SOURCE source);
/// Reads up to `bytes` bytes; returns how many were read (fewer at the end of the data).
std::uint32_t is5_Read(IS5_SOURCE source, void* buffer, std::uint32_t bytes);
/// Total size of the source's data in bytes.
std::uint64_t is5_GetSourceSize(IS5_SOURCE source);
/// The file name the source was opened with ("" for an unnamed memory source).
const char* is5_GetSourceFileName(IS5_SOURCE source);

// ---- detection ------------------------------------------------------------------------

/// Content type of the data from the current position: 0 unknown, 1 BMP, 2 GIF, 3 JPEG,
/// 4 PNG, 5 PCX, 6 TIFF, 7 WMF, 8 EMF, 9 PAX, 10 PSD, 11/12 TLA, 13 WBMP, 14 TGA,
/// 15 PhotoCD overview, 16 PhotoCD, 17/18 JPEG 2000, 19 OLE, 20 PBM, 21 PGM, 22 PPM,
/// 23 CALS, 24 icon, 25 WebP.
std::uint32_t is5_GuessFileType(IS5_SOURCE source);

// ---- header readers (no pixels decoded) -------------------------------------------------
// Each reads from the source's start, returns non-zero on success, and leaves the read
// position unspecified. Output pointers may be null when the value is not wanted.

BOOL is5_GetJPGDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerPixel,
                    ResolutionInfo* resolution);
BOOL is5_GetBMPDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerPixel,
                    ResolutionInfo* resolution);
BOOL is5_GetPNGDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitDepth,
                    std::uint32_t* colourType, ResolutionInfo* resolution);
BOOL is5_GetTIFFDims(IS5_SOURCE source, std::uint32_t page, std::uint32_t* width, std::uint32_t* height,
                     std::uint32_t* bitsPerPixel, ResolutionInfo* resolution);
BOOL is5_GetPCXDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerPixel,
                    ResolutionInfo* resolution);
BOOL is5_GetTGADims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerPixel);
/// bitsPerChannel as stored (1 for bitmap files); channels and colour mode as stored.
BOOL is5_GetPSDDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerChannel,
                    std::uint32_t* channels, std::uint32_t* colourMode);
BOOL is5_GetWBMPDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height);
/// Width and height of the logical screen (enlarged where the first frame reaches past
/// it, as the reader's picture is); colourResolution is the bits of the global colour
/// table (1-8), or 8 when there is none.
BOOL is5_GetGIFDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* colourResolution);
/// PNM: bitsPerPixel 1 (PBM), 8 (PGM) or 24 (PPM).
BOOL is5_GetPNMDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerPixel);
/// WebP ("RIFF" … "WEBP" files only): the picture's size (an animation's canvas), whether it
/// has alpha and whether it is an animation.
BOOL is5_GetWEBPDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, BOOL* hasAlpha,
                     BOOL* isAnimation);

// ---- readers ----------------------------------------------------------------------------
// Each decodes the picture at the source's start into a new block, in the requested
// depth (24, 8 or 1 where the reader offers it), writes its width and height, and fills
// `palette` (256 entries, may be null for 24-bit output) for 8- and 1-bit output.
// Transparency is composited over white for 24-bit output. nullptr on failure, with the
// last error set.

/// JPEG's flags: the low four bits are a DCT scale denominator, 2, 4 or 8 to decode the
/// picture at a half, a quarter or an eighth of its size (ceil(side / d) pixels), 0 or 1
/// for full size; other values fail with IS5_ERR_PARAM. The width and height written are
/// the decoded, upright size.
inline constexpr std::uint32_t IS5_JPEG_SCALE_MASK = 0x0F;
HGLOBAL is5_ReadJPG(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    std::uint32_t flags);
HGLOBAL is5_ReadBMP(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t flags);
HGLOBAL is5_ReadPCX(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t flags);
HGLOBAL is5_ReadPNG(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t flags);
HGLOBAL is5_ReadTIFF(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                     Is5Rgbq* palette, std::uint32_t page, std::uint32_t flags);
HGLOBAL is5_ReadTGA(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t flags);
HGLOBAL is5_ReadPSD(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t flags);
/// WBMP type 0; depth 8 gives indexes 0 (black) and 1 (white) with a two-entry palette.
HGLOBAL is5_ReadWBMP(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, Is5Rgbq* palette,
                     std::uint32_t depth, std::uint32_t flags);
/// PhotoCD; resolution 3 is the 768 x 512 base image (the only one read).
HGLOBAL is5_ReadPCD(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t resolution,
                    std::uint32_t flags);
/// GIF, first frame, 8-bit; `bits` receives the colour resolution of the palette used.
HGLOBAL is5_ReadGIF(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bits,
                    Is5Rgbq* palette, std::uint32_t flags);
/// PBM, PGM, PPM, plain and raw; depth 1 (PBM), 8 (PGM, grey ramp) or 24.
HGLOBAL is5_ReadPNM(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t flags);
/// WebP, lossy or lossless, a still picture or an animation's first frame on its canvas;
/// depth 24, or 32 for R, G, B, A as decoded (alpha not laid over white).
HGLOBAL is5_ReadWEBP(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                     std::uint32_t flags);

// ---- palette helpers ----------------------------------------------------------------------
// Each reads the palette a file stores (from the source's start) into `palette` and the
// number of entries into `count`; non-zero on success.

BOOL is5_GetBMPPalette(IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette, std::uint32_t flags);
BOOL is5_GetPCXPalette(IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette, std::uint32_t flags);
BOOL is5_GetPNGPalette(IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette, std::uint32_t flags);
BOOL is5_GetTGAPalette(IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette, std::uint32_t flags);
BOOL is5_GetPSDPalette(IS5_SOURCE source, std::uint32_t* count, Is5Rgbq* palette, std::uint32_t flags);

// ---- metafiles ------------------------------------------------------------------------------

/// Renders a WMF or EMF file into a 24-bit picture at its natural size. `xScale` and
/// `yScale` are percentages of that size (100 for natural size); the last two are
/// reserved, 0.
HGLOBAL is5_ReadMetafile(const char* path, std::uint32_t* width, std::uint32_t* height, std::uint32_t xScale,
                         std::uint32_t yScale, std::uint32_t reserved1, std::uint32_t reserved2);
/// The same for metafile bytes in memory (tests and fuzzing).
HGLOBAL is5_ReadMetafileFromMemory(const void* data, std::size_t size, std::uint32_t* width, std::uint32_t* height,
                                   std::uint32_t xScale, std::uint32_t yScale);

// ---- initialisation, worker pool, progress -------------------------------------------------

/// Starts the layer's worker pool (four workers for resampling). Safe to call again.
BOOL is5_Initialize(std::uint32_t flags);
/// Stops the worker pool; resampling then runs on the calling thread.
void is5_Shutdown();
/// Number of running pool workers (0 before is5_Initialize or after is5_Shutdown).
std::uint32_t is5_GetWorkerCount();

/// Called after each destination row of a resampling band with the rows done in the band,
/// the rows of the band and the user value; returning 0 stops the work with
/// IS5_ERR_CANCELLED. Calls are serialised, but may come from pool threads.
using Is5ProgressCallback = BOOL (*)(std::uint32_t rowsDone, std::uint32_t rowsTotal, std::uintptr_t user);
/// Installs (or, with nullptr, removes) the calling thread's progress callback.
void is5_SetProgressCallback(Is5ProgressCallback callback, std::uintptr_t user);

// ---- resampling ------------------------------------------------------------------------------

/// Resampling modes: 0-13 filtered (the filter of that number), 14 and 15 area averaging,
/// 16 bilinear, 17 bicubic, 18 nearest neighbour.
inline constexpr std::uint32_t IS5_RESIZE_BOX = 0;
inline constexpr std::uint32_t IS5_RESIZE_AREA = 14;
inline constexpr std::uint32_t IS5_RESIZE_AREA_FAST = 15;
inline constexpr std::uint32_t IS5_RESIZE_BILINEAR = 16;
inline constexpr std::uint32_t IS5_RESIZE_BICUBIC = 17;
inline constexpr std::uint32_t IS5_RESIZE_NEAREST = 18;
/// Flag: do all the work on the calling thread.
inline constexpr std::uint32_t IS5_RESIZE_SINGLE_THREAD = 1u << 20;

/// Resamples a picture of `bytesPerPixel` one-byte channels into another buffer.
BOOL is5_ResizeImage(const std::uint8_t* src, std::uint32_t srcWidth, std::uint32_t srcHeight, std::uint32_t srcStride,
                     std::uint8_t* dst, std::uint32_t dstWidth, std::uint32_t dstHeight, std::uint32_t dstStride,
                     std::uint32_t bytesPerPixel, std::uint32_t mode, std::uint32_t flags);
/// Resamples an 8-bit palette picture bilinearly through its colours; each destination
/// pixel is the index of the palette colour nearest to the blend.
BOOL is5_ResizeImage8(const std::uint8_t* src, std::uint32_t srcWidth, std::uint32_t srcHeight, std::uint32_t srcStride,
                      std::uint8_t* dst, std::uint32_t dstWidth, std::uint32_t dstHeight, std::uint32_t dstStride,
                      const Is5Rgbq* palette, std::uint32_t colours, std::uint32_t mode, std::uint32_t flags);
/// Resamples a 1-bit picture: bits blend as 0 and 255, and a blend at or above
/// `threshold` sets the bit.
BOOL is5_ResizeImage1(const std::uint8_t* src, std::uint32_t srcWidth, std::uint32_t srcHeight, std::uint32_t srcStride,
                      std::uint8_t* dst, std::uint32_t dstWidth, std::uint32_t dstHeight, std::uint32_t dstStride,
                      std::uint32_t threshold, std::uint32_t mode, std::uint32_t flags);
/// Counts the 0 bits and the 1 bits of a 1-bit picture.
BOOL is5_GetOneBitHistogram(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
                            std::uint32_t* zeros, std::uint32_t* ones, std::uint32_t flags);

// ---- cropping and filling ------------------------------------------------------------------

struct Is5Rect {
    std::int32_t left, top, right, bottom;
};

/// Copies the half-open rectangle [left, right) × [top, bottom) of a picture of
/// `bytesPerPixel` bytes per pixel into `dst`; the rectangle must lie inside the source.
BOOL is5_CropImage(const std::uint8_t* src, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
                   std::uint8_t* dst, std::uint32_t dstStride, const Is5Rect* rect, std::uint32_t bytesPerPixel);
/// The same for a 1-bit picture (packed, most significant bit first).
BOOL is5_Crop1Bit(const std::uint8_t* src, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
                  std::uint8_t* dst, std::uint32_t dstStride, const Is5Rect* rect);
/// Fills right - left + 1 columns and bottom - top rows from (left, top), cut to the
/// buffer, with a 0xRRGGBB colour (bit 0 of `options` swaps the first and third bytes).
/// 1, 3 and 4 bytes per pixel.
BOOL is5_FillSolidRect(std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t bytesPerPixel,
                       std::uint32_t stride, const Is5Rect* rect, std::uint32_t colour, std::uint32_t options);

// ---- drawing -----------------------------------------------------------------------------------

class CDC;

/// Draws a 24-bit picture 1:1 with its top-left pixel at (x, y) of the device context,
/// clipped to it.
BOOL is5_DrawRGB(CDC* dc, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
                 std::int32_t x, std::int32_t y, std::uint32_t flags);
/// The same for an 8-bit palette picture.
BOOL is5_Draw8Bit(CDC* dc, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
                  const Is5Rgbq* palette, std::int32_t x, std::int32_t y, std::uint32_t flags);
/// The same for a 1-bit picture (bit 0 is palette entry 0, bit 1 entry 1).
BOOL is5_Draw1Bit(CDC* dc, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
                  const Is5Rgbq* palette, std::int32_t x, std::int32_t y, std::uint32_t flags);

// ---- destinations ------------------------------------------------------------------------------

/// Where a writer puts its bytes. A file destination writes to a temporary file beside the
/// final name and renames it over that name only when a writer finished the whole file
/// and the destination is closed: a failed write never leaves half a picture, and an
/// existing file of that name survives every failure.
struct Is5Dest;
using IS5_DEST = Is5Dest*;

/// Opens a destination for `path`: fails (IS5_ERR_OPEN) when its folder does not exist or
/// cannot take a new file. Nothing appears under `path` before is5_CloseDest.
IS5_DEST is5_OpenFileDest(const char* path, std::uint32_t flags);
/// A destination that collects the bytes in memory (tests and fuzzing).
IS5_DEST is5_OpenMemoryDest();
/// The bytes a memory destination holds (valid until it is closed).
const std::uint8_t* is5_GetDestBuffer(IS5_DEST dest, std::size_t* size);
/// Writes bytes; false (IS5_ERR_WRITE) on a full disk or any other failure, after which
/// the destination stays failed.
BOOL is5_WriteDest(IS5_DEST dest, const void* data, std::size_t size);
/// Moves the write position (writers that patch a header after the data).
BOOL is5_SeekDest(IS5_DEST dest, std::uint64_t position);
std::uint64_t is5_TellDest(IS5_DEST dest);
/// Marks the destination's content as a finished picture (the writers call it last).
void is5_MarkDestComplete(IS5_DEST dest);
/// Marks the destination as failed: closing it then discards what was written.
void is5_MarkDestFailed(IS5_DEST dest);
/// Closes the destination. A complete, unfailed file destination is flushed to disk and
/// renamed over its final name; otherwise its temporary file is removed. Returns FALSE
/// (with the last error) when the picture did not reach its name.
BOOL is5_CloseDest(IS5_DEST dest);

// ---- writers -----------------------------------------------------------------------------------
// Each writes one picture into the destination and marks it complete; on failure it marks
// the destination failed and sets the last error. Rows are top to bottom; `stride` is the
// byte distance between rows. `resolution` may be null (none stored).

/// JPEG at depth 24 (RGB) or 8 (grey), quality 1-100; options bit 0 makes it progressive.
/// The density comes from `resolution` (unit 0 none, 1 per inch, 2 per cm). The calling
/// thread's output markers and text (below) are written after the JFIF header.
BOOL is5_WriteJPG(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t depth, std::uint32_t stride, int quality, const ResolutionInfo* resolution,
                  std::uint32_t options);
/// PNG: bit depth 8 with colour type 2 (RGB) or 3 (palette), or bit depth 1 with colour
/// type 3 and two colours. `gamma` is accepted for compatibility and not stored. pHYs from
/// `resolution` in pixels per metre (unit 0 in the info: values per metre). The calling
/// thread's output text goes into tEXt chunks.
BOOL is5_WritePNG(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t stride, std::uint32_t bitDepth, std::uint32_t colours, const Is5Rgbq* palette,
                  std::uint32_t colourType, double gamma, const ResolutionInfo* resolution, std::uint32_t flags);
/// BMP at depth 24, 8 (with `colours` palette entries) or 1 (two entries); resolution in
/// pixels per metre. For 8-bit pictures flags bit 0 asks for RLE8 compression.
BOOL is5_WriteBMP(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t depth, std::uint32_t stride, std::uint32_t colours, const Is5Rgbq* palette,
                  const ResolutionInfo* resolution, std::uint32_t flags);
/// GIF89a of an 8-bit picture (LZW); `interlace` non-zero writes interlaced rows;
/// `transparentIndex` -1 for none; `bits` the colour table size (1-8).
BOOL is5_WriteGIF(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t stride, std::uint32_t interlace, int transparentIndex, std::uint32_t bits,
                  const Is5Rgbq* palette, std::uint32_t flags);
/// Photoshop (version 1, one layer-less composite, RLE) at depth 24 (RGB) or 8 (indexed).
BOOL is5_WritePSD(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t depth, std::uint32_t stride, const Is5Rgbq* palette, std::uint32_t flags);
/// TIFF at depth 24, 8 (palette) or 1; compression 1 (none) or another libtiff scheme
/// number; for 1-bit pictures options bit 5 (32) says that 0 bits are black.
BOOL is5_WriteTIFF(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                   std::uint32_t depth, std::uint32_t stride, const Is5Rgbq* palette, std::uint32_t compression,
                   const ResolutionInfo* resolution, std::uint32_t options);
/// PCX (version 5, RLE) at depth 24 (three planes) or 8 (with the 256-colour palette).
BOOL is5_WritePCX(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t depth, std::uint32_t stride, const Is5Rgbq* palette, const ResolutionInfo* resolution,
                  std::uint32_t flags);
/// TGA (uncompressed, bottom-left origin) at depth 24 or 8 (colour-mapped).
BOOL is5_WriteTGA(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                  std::uint32_t depth, std::uint32_t stride, const Is5Rgbq* palette, const ResolutionInfo* resolution,
                  std::uint32_t flags);
/// is5_WriteWEBP option: lossless (VP8L) instead of lossy (VP8).
inline constexpr std::uint32_t IS5_WEBP_LOSSLESS = 1;
/// WebP of a 24-bit picture, at most 16383 pixels a side: lossy at `quality` (0-100, others
/// clamped), or lossless with IS5_WEBP_LOSSLESS, where the quality is the effort spent on a
/// smaller file.
BOOL is5_WriteWEBP(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                   std::uint32_t stride, int quality, std::uint32_t options);
/// WBMP type 0 from an 8-bit picture: a non-zero pixel is white.
BOOL is5_WriteWBMP(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                   std::uint32_t stride, std::uint32_t flags);
/// A metafile holding the picture as one bitmap record: kind 0 WMF (placeable), 1 EMF.
BOOL is5_WriteRGBToMetafile(IS5_DEST dest, const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height,
                            std::uint32_t stride, std::uint32_t kind, std::uint32_t flags);

// Per-thread lists of what the next JPEG and PNG writes carry besides the pixels.
void is5_ClearJPGOutputMarkers();
/// Adds an APPn/COM marker (`marker` 0xE0-0xEF or 0xFE) with its data to the next JPEG writes.
BOOL is5_AddJPGOutputMarker(std::uint32_t marker, const std::uint8_t* data, std::uint32_t size);
void is5_ClearJPGOutputText();
/// Adds a comment (COM) text to the next JPEG writes.
BOOL is5_AddJPGOutputText(const char* text);
void is5_ClearPNGOutputText();
/// Adds a tEXt key and text to the next PNG writes.
BOOL is5_AddPNGOutputText(const char* key, const char* text);

// ---- metadata: EXIF blocks, JPEG marker lists, PNG text ------------------------------------

/// A parsed EXIF block of a JPEG, and one being assembled for writing.
struct Is5ExifReader;
using IS5_EXIF_READER = Is5ExifReader*;
struct Is5ExifWriter;
using IS5_EXIF_WRITER = Is5ExifWriter*;

/// The directories of an EXIF block.
inline constexpr std::uint32_t IS5_EXIF_IFD0 = 0;
inline constexpr std::uint32_t IS5_EXIF_IFD_EXIF = 1;    ///< the Exif sub-directory (pointer 0x8769 in IFD0)
inline constexpr std::uint32_t IS5_EXIF_IFD_INTEROP = 2; ///< Interoperability (pointer 0xA005 in the Exif directory)
inline constexpr std::uint32_t IS5_EXIF_IFD_GPS = 3;     ///< GPS (pointer 0x8825 in IFD0)
inline constexpr std::uint32_t IS5_EXIF_IFD1 = 4;        ///< the thumbnail's directory
/// is5_EXIFCreateWriter flag: a new block in big-endian ("MM") order; little-endian without it.
inline constexpr std::uint32_t IS5_EXIF_BIG_ENDIAN = 1;

/// Reads every directory of the EXIF block (the first APP1 segment starting "Exif\0\0") of
/// the JPEG at the source; nullptr (IS5_ERR_FORMAT) when there is none or its TIFF header is
/// damaged. Damaged entries and directories inside are left out.
IS5_EXIF_READER is5_EXIFCreateReader(IS5_SOURCE source);
void is5_EXIFDestroyReader(IS5_EXIF_READER reader);
/// Copies the text (ASCII, or BYTE/UNDEFINED bytes) of `tag` in `directory` into `buffer`
/// (`size` bytes with its terminating zero, cut to fit) and returns its full length in
/// bytes; 0 with IS5_ERR_FORMAT when the tag is missing or holds numbers.
std::uint32_t is5_EXIFGetString(IS5_EXIF_READER reader, std::uint32_t directory, std::uint32_t tag, char* buffer,
                                std::uint32_t size);
/// An empty block to fill with is5_EXIFCopyTagsToWriter and is5_EXIFAddTag.
IS5_EXIF_WRITER is5_EXIFCreateWriter(std::uint32_t flags);
void is5_EXIFDestroyWriter(IS5_EXIF_WRITER writer);
/// Replaces what the writer holds with every tag, directory and thumbnail of the reader's
/// block, in its byte order.
BOOL is5_EXIFCopyTagsToWriter(IS5_EXIF_READER reader, IS5_EXIF_WRITER writer);
/// Adds `tag` to `directory`, or replaces its value there: `count` values of the TIFF
/// `type` (1-13) at `value` in this machine's byte order (an ASCII count includes the
/// terminating zero; a rational is two LONGs).
BOOL is5_EXIFAddTag(IS5_EXIF_WRITER writer, std::uint32_t directory, std::uint32_t tag, std::uint32_t type,
                    std::uint32_t count, const void* value);
/// Builds the APP1 body ("Exif\0\0" and the TIFF structure, every offset made anew) into a
/// new block of `*size` bytes; nullptr with IS5_ERR_WRITE when it would not fit one marker
/// segment (65533 bytes).
HGLOBAL is5_EXIFWriteTags(IS5_EXIF_WRITER writer, std::uint32_t* size);

/// Reads the marker segments of the JPEG at the source, up to its first scan, into the
/// calling thread's input list; FALSE when the file is not a JPEG or ends (or is damaged)
/// before a frame header and a scan.
BOOL is5_ReadJPGMarkers(IS5_SOURCE source);
/// Appends the input list's APPn and COM segments to the thread's output markers.
BOOL is5_CopyJPGInputMetadataToOutputMetadata();
/// Replaces the data of the first output marker of type `marker` whose data starts with the
/// same zero-terminated name ("Exif", "http://ns.adobe.com/xap/1.0/", "ICC_PROFILE"), or
/// adds the marker when there is none.
BOOL is5_ReplaceJPGOutputMarker(std::uint32_t marker, const std::uint8_t* data, std::uint32_t size);

/// The text chunk number `index` (tEXt, zTXt or iTXt, in file order) of the PNG at the
/// source: its key and text in UTF-8 (Latin-1 converted), valid until the calling thread's
/// next call. Index 0 walks the file's chunks; higher indexes read from that walk. FALSE
/// past the last chunk or when the file is not a PNG.
BOOL is5_GetPNGInputText(IS5_SOURCE source, std::uint32_t index, const char** key, const char** text);

// ---- conversions -------------------------------------------------------------------------------

/// Chooses at most `colours` (1-256) colours for a 24-bit picture (a 32768-cell histogram
/// merged through a depth-5 tree, least-populated leaves first; each colour the mean of
/// its pixels) and maps every pixel to its nearest colour by squared distance.
/// `mode` 1 with `parameter` 20 is the nearest-colour mapping; other modes are treated alike.
BOOL is5_QuantizeRGBTo8Bit(const std::uint8_t* src, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
                           std::uint8_t* dst, std::uint32_t dstStride, std::uint32_t colours, Is5Rgbq* palette,
                           std::uint32_t mode, std::uint32_t parameter, std::uint32_t flags);
/// Expands an 8-bit palette picture to 24 bits.
BOOL is5_8BitToRGB(const std::uint8_t* src, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
                   const Is5Rgbq* palette, std::uint8_t* dst, std::uint32_t dstStride, std::uint32_t flags);
/// Grey levels of a 24-bit picture (depth 24) or an 8-bit palette picture (depth 8).
BOOL is5_ImageToGrayScale8Bit(const std::uint8_t* src, std::uint32_t width, std::uint32_t height,
                              std::uint32_t srcStride, std::uint32_t depth, const Is5Rgbq* palette, std::uint8_t* dst,
                              std::uint32_t dstStride, std::uint32_t flags);
/// True when the sum of the squared differences of the two 0xRRGGBB colours' components
/// is at most `tolerance`.
BOOL is5_ColorCompare(std::uint32_t colourA, std::uint32_t colourB, std::uint32_t tolerance);
/// One byte per pixel, 1 where the grey level is at or above `threshold`, else 0.
BOOL is5_GrayscaleTo1Bit(const std::uint8_t* grey, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
                         std::uint8_t* dst, std::uint32_t dstStride, std::uint32_t threshold);
/// Packs `count` one-byte values (0 or not) into bits, most significant bit first.
BOOL is5_Pack8BitBuffer(const std::uint8_t* src, std::uint32_t count, std::uint8_t* dst, std::uint32_t bitsPerPixel);
/// Unpacks `count` pixels of `bitsPerPixel` (1, 2 or 4) bits into one byte each.
BOOL is5_UnpackBufferTo8Bit(const std::uint8_t* src, std::uint32_t count, std::uint8_t* dst,
                            std::uint32_t bitsPerPixel);
