// SPDX-License-Identifier: MIT
// Parsing of brimvale-resize's command line: short options with their value attached or
// next, long options with "=value" or the next argument, and "--" before file names.
#include "cli/options.h"

#include "imaging/is5.h"

#include <array>
#include <climits>
#include <cstdint>
#include <string_view>
#include <utility>

namespace cli {
namespace {

// A whole decimal number, optionally signed, within [low, high].
std::optional<std::int64_t> parseInteger(std::string_view text, std::int64_t low, std::int64_t high) {
    std::size_t at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at == text.size()) return std::nullopt;
    std::int64_t value = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > std::int64_t{1} << 40) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < low || value > high) return std::nullopt;
    return value;
}

// "WxH" with two positive whole numbers no larger than `high`.
std::optional<std::pair<std::int64_t, std::int64_t>> parseSize(std::string_view text, std::int64_t high) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) return std::nullopt;
    const auto w = parseInteger(text.substr(0, x), 1, high);
    const auto h = parseInteger(text.substr(x + 1), 1, high);
    if (!w || !h) return std::nullopt;
    return std::pair{*w, *h};
}

struct SizeName {
    std::string_view name;
    std::int32_t code;
};
constexpr std::array<SizeName, 7> kSizeNames{{{"1024x768", kSizeChoiceBox1024},
                                              {"800x600", kSizeChoiceBox800},
                                              {"640x480", kSizeChoiceBox640},
                                              {"320x240", kSizeChoiceBox320},
                                              {"50%", kSizeChoiceHalf},
                                              {"25%", kSizeChoiceQuarter},
                                              {"75%", kSizeChoiceThreeQuarters}}};

// In save type order (CommandLineOutputTypeFor).
constexpr std::array<std::string_view, 6> kTypeNames{"jpg", "png", "bmp", "gif", "psd", "webp"};

enum class Key { Size, Percent, Dimensions, Screen, Quality, Type, Dest, SourceFolder, Overwrite, KeepGoing, Jobs, Mode,
                 Info, Quiet, Help, Stamp, MetadataFrom, LongEdge, ShortEdge, Fit, NoEnlarge,
                 IfExistsChoice, Recursive, KeepDates, StripIcc, Filter, LinearLight,
                 KeepMetadata, StripPrivate, MaxSize, Fast, Lossless };

struct OptionName {
    char shortName; // 0 when the option has none
    std::string_view longName;
    Key key;
    bool takesValue;
};
constexpr std::array<OptionName, 32> kOptionNames{{
    {'s', "size", Key::Size, true},
    {0, "percent", Key::Percent, true},
    {0, "dimensions", Key::Dimensions, true},
    {0, "screen", Key::Screen, true},
    {'q', "quality", Key::Quality, true},
    {'t', "type", Key::Type, true},
    {'d', "dest", Key::Dest, true},
    {0, "source-folder", Key::SourceFolder, false},
    {0, "overwrite", Key::Overwrite, false},
    {'k', "keep-going", Key::KeepGoing, false},
    {'j', "jobs", Key::Jobs, true},
    {0, "mode", Key::Mode, true},
    {0, "info", Key::Info, false},
    {0, "quiet", Key::Quiet, false},
    {'h', "help", Key::Help, false},
    {0, "stamp", Key::Stamp, true},
    {0, "metadata-from", Key::MetadataFrom, true},
    {0, "long-edge", Key::LongEdge, true},
    {0, "short-edge", Key::ShortEdge, true},
    {0, "fit", Key::Fit, true},
    {0, "no-enlarge", Key::NoEnlarge, false},
    {0, "if-exists", Key::IfExistsChoice, true},
    {'r', "recursive", Key::Recursive, false},
    {0, "keep-dates", Key::KeepDates, false},
    {0, "strip-icc", Key::StripIcc, false},
    {0, "filter", Key::Filter, true},
    {0, "linear-light", Key::LinearLight, false},
    {0, "keep-metadata", Key::KeepMetadata, false},
    {0, "strip-private", Key::StripPrivate, false},
    {0, "max-size", Key::MaxSize, true},
    {0, "fast", Key::Fast, false},
    {0, "lossless", Key::Lossless, false},
}};

// Applies one option; an empty string when it was accepted, else the reason.
std::string apply(Options& options, const OptionName& option, const std::string& value, bool& destGiven) {
    const std::string bad = "bad value '" + value + "' for --" + std::string(option.longName);
    switch (option.key) {
    case Key::Size:
        for (const SizeName& size : kSizeNames) {
            if (size.name == value) {
                options.sizeChoice = size.code;
                return {};
            }
        }
        return bad + " (1024x768, 800x600, 640x480, 320x240, 75%, 50% or 25%)";
    case Key::Percent: {
        const auto percent = parseInteger(value, 1, INT32_MAX);
        if (!percent) return bad + " (a whole percent from 1)";
        options.sizeChoice = kSizeChoiceCustomPercent;
        // The window keeps the percent as a fraction, value / 100.
        options.customScale = static_cast<double>(*percent) / 100.0;
        return {};
    }
    case Key::Dimensions: {
        const auto size = parseSize(value, UINT32_MAX);
        if (!size) return bad + " (WIDTHxHEIGHT)";
        options.sizeChoice = kSizeChoiceDimensions;
        options.widthText = std::to_string(size->first);
        options.heightText = std::to_string(size->second);
        return {};
    }
    case Key::Screen: {
        const auto size = parseSize(value, INT32_MAX);
        if (!size) return bad + " (WIDTHxHEIGHT)";
        options.sizeChoice = kSizeChoiceScreen;
        options.screenWidth = static_cast<std::int32_t>(size->first);
        options.screenHeight = static_cast<std::int32_t>(size->second);
        return {};
    }
    case Key::Quality: {
        const auto quality = parseInteger(value, INT32_MIN, INT32_MAX);
        if (!quality) return bad + " (a whole number)";
        options.quality = static_cast<std::int32_t>(*quality);
        return {};
    }
    case Key::Type:
        for (std::size_t i = 0; i < kTypeNames.size(); ++i) {
            if (kTypeNames[i] == value) {
                options.saveType = static_cast<std::int32_t>(i);
                return {};
            }
        }
        return bad + " (jpg, png, bmp, gif, psd or webp)";
    case Key::Dest: {
        if (value.empty()) return bad;
        std::string folder = value;
        while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        options.destination = folder;
        destGiven = true;
        return {};
    }
    case Key::Jobs: {
        const auto jobs = parseInteger(value, 1, 1024);
        if (!jobs) return bad + " (1 to 1024)";
        options.jobs = static_cast<unsigned>(*jobs);
        return {};
    }
    case Key::Mode: {
        const auto mode = parseInteger(value, 0, IS5_RESIZE_NEAREST);
        if (!mode) return bad + " (0 to 18)";
        options.mode = static_cast<std::uint32_t>(*mode);
        options.modeGiven = true;
        return {};
    }
    case Key::SourceFolder: options.useSourceFolder = true; return {};
    case Key::Overwrite:
        options.overwrite = true;
        options.ifExists = IfExists::Overwrite;
        return {};
    case Key::KeepGoing: options.keepGoing = true; return {};
    case Key::Info: options.info = true; return {};
    case Key::Quiet: options.quiet = true; return {};
    case Key::Help: options.help = true; return {};
    case Key::Stamp:
        if (value.empty()) return bad;
        options.stampFile = value;
        return {};
    case Key::MetadataFrom:
        if (value.empty()) return bad;
        options.metadataFrom = value;
        return {};
    case Key::LongEdge:
    case Key::ShortEdge: {
        const auto edge = parseInteger(value, 1, UINT32_MAX);
        if (!edge) return bad + " (a whole number of pixels from 1)";
        options.sizeChoice = option.key == Key::LongEdge ? kSizeChoiceLongEdge : kSizeChoiceShortEdge;
        options.edge = static_cast<std::uint32_t>(*edge);
        return {};
    }
    case Key::Fit: {
        const auto size = parseSize(value, UINT32_MAX);
        if (!size) return bad + " (WIDTHxHEIGHT)";
        options.sizeChoice = kSizeChoiceFit;
        options.boxWidth = static_cast<std::uint32_t>(size->first);
        options.boxHeight = static_cast<std::uint32_t>(size->second);
        return {};
    }
    case Key::NoEnlarge: options.noEnlarge = true; return {};
    case Key::Filter: {
        const auto filter = imaging::filterFromName(value);
        if (!filter) return bad + " (exact, lanczos3, mitchell, catmull-rom or area)";
        options.filter = *filter;
        return {};
    }
    case Key::LinearLight: options.linearLight = true; return {};
    case Key::IfExistsChoice: {
        static constexpr std::array<std::pair<std::string_view, IfExists>, 4> kChoices{
            {{"ask", IfExists::Ask}, {"overwrite", IfExists::Overwrite}, {"skip", IfExists::Skip},
             {"rename", IfExists::Rename}}};
        for (const auto& [name, choice] : kChoices) {
            if (name == value) {
                options.ifExists = choice;
                options.overwrite = choice == IfExists::Overwrite;
                return {};
            }
        }
        return bad + " (ask, overwrite, skip or rename)";
    }
    case Key::Recursive: options.recursive = true; return {};
    case Key::KeepDates: options.keepDates = true; return {};
    case Key::StripIcc: options.keepIcc = false; return {};
    case Key::KeepMetadata: options.keepMetadata = true; return {};
    case Key::StripPrivate: options.stripPrivate = true; return {};
    case Key::MaxSize: {
        // N bytes, or N K (1024 bytes) or N M (1024 x 1024 bytes).
        std::string_view digits = value;
        std::uint64_t unit = 1;
        if (!digits.empty() && (digits.back() == 'K' || digits.back() == 'k')) unit = 1024;
        else if (!digits.empty() && (digits.back() == 'M' || digits.back() == 'm')) unit = 1024 * 1024;
        if (unit != 1) digits.remove_suffix(1);
        const auto count = parseInteger(digits, 1, std::int64_t{1} << 40);
        if (!count || digits.front() == '+') return bad + " (a whole number of bytes from 1, or with K or M)";
        options.maxBytes = static_cast<std::uint64_t>(*count) * unit;
        return {};
    }
    case Key::Fast: options.fast = true; return {};
    case Key::Lossless: options.lossless = true; return {};
    }
    return bad;
}

} // namespace

ParsedArguments ParseArguments(const std::vector<std::string>& arguments, unsigned defaultJobs) {
    Options options;
    options.jobs = defaultJobs == 0 ? 1 : defaultJobs;
    bool destGiven = false;
    bool filesOnly = false;
    auto failure = [](std::string reason) { return ParsedArguments{std::nullopt, std::move(reason)}; };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (filesOnly || argument.size() < 2 || argument[0] != '-') {
            options.files.push_back(argument);
            continue;
        }
        if (argument == "--") {
            filesOnly = true;
            continue;
        }
        const OptionName* option = nullptr;
        std::optional<std::string> value;
        if (argument[1] == '-') {
            std::string_view name = std::string_view(argument).substr(2);
            const std::size_t equals = name.find('=');
            if (equals != std::string_view::npos) {
                value = std::string(name.substr(equals + 1));
                name = name.substr(0, equals);
            }
            for (const OptionName& candidate : kOptionNames)
                if (candidate.longName == name) option = &candidate;
            if (!option) return failure("unknown option '" + argument + "'");
            if (!option->takesValue && value) return failure("option '--" + std::string(name) + "' takes no value");
        } else {
            for (const OptionName& candidate : kOptionNames)
                if (candidate.shortName == argument[1]) option = &candidate;
            if (!option) return failure("unknown option '" + argument + "'");
            if (argument.size() > 2) {
                if (!option->takesValue) return failure("unknown option '" + argument + "'");
                value = argument.substr(2);
            }
        }
        if (option->takesValue && !value) {
            if (i + 1 >= arguments.size())
                return failure("option '--" + std::string(option->longName) + "' needs a value");
            value = arguments[++i];
        }
        if (std::string reason = apply(options, *option, value.value_or(std::string()), destGiven); !reason.empty())
            return failure(reason);
    }

    if (options.help) return {std::move(options), {}};
    if (!options.metadataFrom.empty() && options.stampFile.empty()) return failure("--metadata-from needs --stamp");
    if (!options.stampFile.empty()) {
        if (!options.files.empty()) return failure("--stamp takes one FILE, given with it");
        return {std::move(options), {}};
    }
    const bool exact = options.filter == imaging::ResampleFilter::Exact;
    if (!exact && options.modeGiven) return failure("--mode chooses the exact route's resampling; not with --filter " +
                                                    std::string(imaging::filterName(options.filter)));
    if (exact && options.linearLight) return failure("--linear-light needs a --filter other than exact");
    if (options.stripPrivate && !options.keepMetadata) return failure("--strip-private needs --keep-metadata");
    if (options.maxBytes > 0 && ((options.saveType != 0 && options.saveType != kSaveTypeWebp) || options.lossless))
        return failure("--max-size needs a type with a quality (jpg, or webp without --lossless)");
    if (options.lossless && options.saveType != kSaveTypeWebp) return failure("--lossless needs -t webp");
    if (options.files.empty()) return failure("no picture files given");
    if (!options.info) {
        if (destGiven && options.useSourceFolder) return failure("--dest and --source-folder exclude each other");
        if (!destGiven && !options.useSourceFolder)
            return failure("no destination: give --dest DIR or --source-folder");
    }
    return {std::move(options), {}};
}

std::string UsageText() {
    return "Usage: brimvale-resize [options] FILE...\n"
           "       brimvale-resize --stamp FILE [--metadata-from SOURCE]\n"
           "Makes smaller copies of pictures, named after the size chosen.\n"
           "\n"
           "  -s, --size 1024x768|800x600|640x480|320x240|75%|50%|25%\n"
           "                         preset size (default 50%); the boxes keep the\n"
           "                         picture's orientation\n"
           "      --percent N        custom percent (name suffix AtNpc)\n"
           "      --dimensions WxH   explicit size (name suffix _WxH)\n"
           "      --screen WxH       the screen choice with the given size (suffix _SWxH)\n"
           "      --long-edge N      the longer side becomes N, the other in proportion\n"
           "                         (suffix LN)\n"
           "      --short-edge N     the shorter side becomes N (suffix SN)\n"
           "      --fit WxH          the largest size within the box, whatever the\n"
           "                         orientation (suffix fitWxH)\n"
           "      --no-enlarge       a picture the size would enlarge is written at its\n"
           "                         own size, under the size's name\n"
           "  -q, --quality N        JPEG and WebP quality (default 75; outside 1-100\n"
           "                         becomes 75)\n"
           "      --max-size N[K|M]  the highest quality (1-100; JPEG or lossy WebP) whose\n"
           "                         file, profile and metadata included, is at most N\n"
           "                         bytes (K = 1024, M = 1024 x 1024), found in at most 8\n"
           "                         trial encodings; a picture over N even at quality 1\n"
           "                         is written at 1, the run goes on, exit status 1\n"
           "  -t, --type jpg|png|bmp|gif|psd|webp   output type (default jpg)\n"
           "      --lossless         with -t webp: a lossless WebP (the quality then sets\n"
           "                         how hard the encoder works for a smaller file)\n"
           "  -d, --dest DIR         destination folder, created when missing; or\n"
           "      --source-folder    write beside each source picture\n"
           "      --overwrite        replace existing outputs (default: an existing\n"
           "                         output fails that picture)\n"
           "      --if-exists ask|overwrite|skip|rename\n"
           "                         for an existing output: ask on the terminal (no\n"
           "                         answer skips), replace it, skip the picture, or\n"
           "                         write NAME (1).EXT, NAME (2).EXT ... beside it\n"
           "  -r, --recursive        walk the folders given (no symbolic links, one file\n"
           "                         system) and mirror them under --dest\n"
           "      --keep-dates       the copy gets the source's modification time\n"
           "      --strip-icc        leave out the source's colour profile (by default a\n"
           "                         JPEG, PNG, Photoshop or WebP copy keeps it)\n"
           "      --keep-metadata    a JPEG, PNG or WebP copy keeps the source's EXIF and\n"
           "                         XMP: orientation upright, the copy's size, no\n"
           "                         thumbnail\n"
           "      --strip-private    with --keep-metadata: leave out GPS, the maker note,\n"
           "                         serial numbers, the owner's name and the XMP\n"
           "  -k, --keep-going       go on after a failed picture (default: stop)\n"
           "  -j, --jobs N           pictures converted at once (default: the number of\n"
           "                         cores); the results are the same for any N\n"
           "      --mode M           resampling mode 0-18 (default 17, bicubic)\n"
           "      --filter exact|lanczos3|mitchell|catmull-rom|area\n"
           "                         exact (default) is the --mode route; the others\n"
           "                         low-pass in proportion to the reduction, so fine\n"
           "                         detail turns grey instead of into false patterns\n"
           "      --linear-light     with a filter: filter sRGB decoded to linear light\n"
           "      --fast             a JPEG at least four times the copy's size on each\n"
           "                         side is decoded at 1/2, 1/4 or 1/8 scale, still at\n"
           "                         least twice the copy's size, then resized as usual\n"
           "      --info             print what each FILE holds, convert nothing:\n"
           "                         PATH type= width= height= bits= colours= xres= yres=\n"
           "                         unit= (tab-separated), or PATH error=CODE\n"
           "      --quiet            no progress bar and no line per picture\n"
           "  -h, --help             this text\n"
           "      --stamp FILE       stamp a JPEG or PNG in place with a description,\n"
           "                         author, copyright and the current time, as a saved\n"
           "                         crop is stamped; other types are left as they are\n"
           "      --metadata-from SOURCE\n"
           "                         take the texts from SOURCE's EXIF or PNG text, the\n"
           "                         description followed by \" cropped section\"\n"
           "\n"
           "Exit status: 0 every picture written (or FILE stamped, or a type that takes no\n"
           "stamp), 1 a picture or the stamp failed, 2 bad command line.\n";
}

} // namespace cli
