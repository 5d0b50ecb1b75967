// SPDX-License-Identifier: MIT
// The command line of brimvale-resize: its options and their parsing.
#pragma once

#include "app/sizerule.h"
#include "imaging/resample/filters.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

/// What to do when a picture's output already exists.
enum class IfExists {
    Refuse,    ///< the picture fails (the default)
    Ask,       ///< ask on the terminal; no answer is no, and a picture not replaced is skipped
    Overwrite, ///< replace it (also --overwrite)
    Skip,      ///< leave it and count the picture as skipped
    Rename,    ///< write "<name> (1).<ext>", "<name> (2).<ext>" … instead
};

/// Everything the command line chose. The size fields mirror the window's controls, so
/// ComputeTargetSize and the naming rule read them as they read the window.
struct Options {
    std::int32_t sizeChoice = kSizeChoiceHalf;
    double customScale = 1.0;       ///< --percent N as N / 100
    std::string widthText;          ///< --dimensions, as the width and height edits hold them
    std::string heightText;
    std::int32_t screenWidth = 0;   ///< --screen
    std::int32_t screenHeight = 0;
    std::uint32_t edge = 0;         ///< --long-edge, --short-edge
    std::uint32_t boxWidth = 0;     ///< --fit
    std::uint32_t boxHeight = 0;
    bool noEnlarge = false;         ///< --no-enlarge
    IfExists ifExists = IfExists::Refuse; ///< --if-exists, --overwrite
    bool recursive = false;         ///< -r: folders are walked and mirrored under the destination
    bool keepDates = false;         ///< --keep-dates
    bool keepIcc = true;            ///< the source's ICC profile is kept unless --strip-icc
    bool keepMetadata = false;      ///< --keep-metadata: the source's EXIF and XMP go into the copy
    bool stripPrivate = false;      ///< --strip-private: without GPS, maker note, serial numbers and XMP
    std::uint64_t maxBytes = 0;     ///< --max-size: the file size a copy's quality is chosen to fit, 0 none
    bool fast = false;              ///< --fast: a JPEG much larger than its target decoded at a reduced scale
    std::int32_t quality = 75;      ///< as given; the quality rule applies when saving
    std::int32_t saveType = 0;      ///< 0 jpg, 1 png, 2 bmp, 3 gif, 4 psd, 5 webp
    bool lossless = false;          ///< --lossless: a WebP copy is lossless
    std::string destination;        ///< --dest, without trailing separators
    bool useSourceFolder = false;
    bool overwrite = false;
    bool keepGoing = false;
    unsigned jobs = 1;
    std::uint32_t mode = 17;        ///< resampling mode
    bool modeGiven = false;         ///< --mode was on the command line
    imaging::ResampleFilter filter = imaging::ResampleFilter::Exact; ///< --filter
    bool linearLight = false;       ///< --linear-light
    bool info = false;
    bool quiet = false;
    bool help = false;
    std::string stampFile;          ///< --stamp: the picture to stamp instead of a batch
    std::string metadataFrom;       ///< --metadata-from: the picture whose texts are stamped
    std::vector<std::string> files;
};

/// The outcome of parsing: options, or the reason the command line is unusable.
struct ParsedArguments {
    std::optional<Options> options;
    std::string error;
};

/// Parses the arguments after the program name. `defaultJobs` is the -j value when none is given.
ParsedArguments ParseArguments(const std::vector<std::string>& arguments, unsigned defaultJobs);

/// The help text.
std::string UsageText();

} // namespace cli
