// SPDX-License-Identifier: MIT
// One picture of a batch save, the same for the window and the command line: read it
// (camera raw by its extension, else by its content), size it with the size rule, resize it,
// name its output and write it into a hidden temporary file beside that output. Nothing
// appears under the output's name until the caller publishes the picture, so the window can
// ask before an existing file is replaced and a parallel run can publish in input order.
#pragma once

#include "app/sizerule.h"
#include "imaging/isimageex.h"
#include "imaging/resample/filters.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

/// What every picture of a run is saved with; read once when the run starts.
struct SaveOptions {
    SizeRequest size;               ///< the size choice and its values (the picture's size is filled per picture)
    std::int32_t quality = 75;      ///< JPEG quality; values outside 1 to 100 save at 75
    OutputType type{"jpg", 0};      ///< extension and writer type
    std::string destination;        ///< the destination folder (unused with useSourceFolder)
    bool useSourceFolder = false;   ///< write beside each source instead
    std::uint32_t mode = 17;        ///< resampling mode of the exact route: bicubic
    imaging::FilterChoice filter;   ///< a named filter instead of the exact route
    bool noEnlarge = false;         ///< a picture the choice would enlarge keeps its own size (and the choice's name)
    bool keepDates = false;         ///< the copy gets the source's access and modification times
    bool keepIcc = false;           ///< the source's ICC profile goes into copies whose type holds one
    bool keepMetadata = false;      ///< the source's EXIF (set upright, the copy's size, no thumbnail) and XMP go into JPEG and PNG copies
    bool stripPrivate = false;      ///< with keepMetadata: no GPS, maker note, serial numbers or XMP
    std::uint64_t maxBytes = 0;     ///< above 0, for a type with a quality: the highest quality whose file fits
    bool lossless = false;          ///< a WebP copy is lossless (the quality then sets the effort)
    bool fast = false;              ///< a JPEG much larger than its target is decoded at a reduced scale (FastDecodeScale)
};

/// Where a picture's save stopped (Written: complete in its temporary file).
enum class SaveStage { Read, Resize, Split, Write, Written };

struct PreparedPicture {
    SaveStage stage = SaveStage::Read;
    std::uint32_t code = 0;           ///< the failing call's result code
    TargetSize target;                ///< the size written and the size choice that named it
    std::optional<std::string> output; ///< nullopt: the source path cannot be split into a name
    std::string tempPath;             ///< the finished picture, awaiting publication or discard
    std::int32_t quality = 0;         ///< with maxBytes: the quality chosen, else 0
    std::uint32_t encodes = 0;        ///< with maxBytes: the encodings the search made
    bool overLimit = false;           ///< with maxBytes: written at quality 1 and still larger
};

/// Whether a writer type has a quality for maxBytes to choose (JPEG, WebP unless lossless).
bool HasQuality(int writerType);

/// The DCT scale denominator (1, 2, 4 or 8) at which `fast` decodes a JPEG whose upright
/// size is `picture` for a copy of `target`: the largest whose decoded picture is still at
/// least twice the target both ways, so the resampler has detail to work from; 1 when even
/// half the picture is not (it then is more than half the picture on a side).
std::uint32_t FastDecodeScale(ImageSize picture, ImageSize target);

/// The output path of a picture saved at `target` (nullopt when the path cannot be split).
std::optional<std::string> SaveOutputPath(const std::string& source, const SaveOptions& settings,
                                          const TargetSize& target);

/// Reads, sizes, resizes and writes one picture into "<output folder>/.<tag>.part", using
/// `image` as its workspace (cleared afterwards). With maxBytes the quality is searched
/// (HighestQualityWithin) over encodings in memory that count the profile and metadata the
/// copy gets, and the chosen one is written; over the limit it is still written, marked.
/// `outputFor` names the output from the target size; by default SaveOutputPath. The source
/// is only ever read.
PreparedPicture PreparePicture(const std::string& source, const SaveOptions& settings, CISImageEx& image,
                               const std::string& tag,
                               const std::function<std::optional<std::string>(const TargetSize&)>& outputFor = {});

/// Puts a prepared picture under its output's name, replacing what is there (a symbolic
/// link is replaced, not followed). False with the reason in `error` when that fails; the
/// temporary file is gone either way, and on failure an existing output is unchanged.
bool PublishPicture(PreparedPicture& picture, std::string* error = nullptr);

/// Removes a prepared picture's temporary file, if any.
void DiscardPicture(PreparedPicture& picture);

/// `path` with " (n)" before its extension ("a/x_50pc.jpg", 2 → "a/x_50pc (2).jpg"); a name
/// without an extension gets it at the end.
std::string NumberedPath(const std::string& path, std::uint32_t number);

/// The first of `path`, "… (1)", "… (2)" … that names nothing yet (nullopt after a million).
std::optional<std::string> FirstFreePath(const std::string& path);

/// Gives `target` the access and modification times of `source`; false when either fails.
bool CopyFileTimes(const std::string& source, const std::string& target);

/// A picture found below a folder given to a recursive run.
struct FolderPicture {
    std::string path;     ///< the picture's path
    std::string relative; ///< its folder relative to the one walked ("" at the top, else "a/b")
};

/// The pictures (files whose extension the file list shows) of `folder` and every folder
/// below it, by the folder tree's walk rules: listing order, depth first, a folder's own
/// pictures before its subfolders; names starting with '.' skipped; symbolic links (to
/// files or folders) and other file systems not entered.
std::vector<FolderPicture> PicturesBelow(const std::string& folder);
