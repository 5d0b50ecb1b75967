// SPDX-License-Identifier: MIT
// The output size of a saved picture (ComputeTargetSize), the JPEG quality rule, the output
// type table, and the summary line shown above the selected pictures. No Qt: the window
// gathers its control state into these requests, and the command line does the same.
#pragma once

#include "app/settings.h"

#include <cstdint>
#include <optional>
#include <string>

/// Size-choice codes: the checked size radio's id minus 1201 (settings.h names 4 "50%",
/// 6 "Set Percent" and 7 "Set Dimensions").
inline constexpr std::int32_t kSizeChoiceNone = -1; ///< no size radio is checked
inline constexpr std::int32_t kSizeChoiceBox1024 = 0;
inline constexpr std::int32_t kSizeChoiceBox800 = 1;
inline constexpr std::int32_t kSizeChoiceBox640 = 2;
inline constexpr std::int32_t kSizeChoiceBox320 = 3;
inline constexpr std::int32_t kSizeChoiceQuarter = 5;
inline constexpr std::int32_t kSizeChoiceThreeQuarters = 8;
inline constexpr std::int32_t kSizeChoiceScreen = 9;
/// Choices of the command line only (no radio of the window has these codes).
inline constexpr std::int32_t kSizeChoiceLongEdge = 10;  ///< the longer side becomes `edge`
inline constexpr std::int32_t kSizeChoiceShortEdge = 11; ///< the shorter side becomes `edge`
inline constexpr std::int32_t kSizeChoiceFit = 12;       ///< the largest size within boxWidth x boxHeight

/// What ComputeTargetSize reads: the checked size radio and the values behind it.
struct SizeRequest {
    std::int32_t choice = kSizeChoiceNone; ///< code of the checked size radio, or kSizeChoiceNone
    std::uint32_t pictureWidth = 0;        ///< the picture being saved
    std::uint32_t pictureHeight = 0;
    double customScale = 1.0;              ///< m_dCustomScale: the custom percent as a fraction
    std::string widthText;                 ///< text of the width edit (read with "%u")
    std::string heightText;                ///< text of the height edit
    std::int32_t screenWidth = 0;          ///< m_nScreenWidth, m_nScreenHeight
    std::int32_t screenHeight = 0;
    std::uint32_t edge = 0;                ///< the side length of the long- and short-edge choices
    std::uint32_t boxWidth = 0;            ///< the box of the fit choice
    std::uint32_t boxHeight = 0;
};

/// The output size and the size-choice code that produced it (0 when no radio is checked).
struct TargetSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::int32_t choice = 0;
};

/// The output dimensions of a picture for the checked size choice. Preset boxes keep the
/// picture's orientation (a portrait picture is fitted to the box's height), percent
/// choices truncate, the dimension texts are read as "%u" reads them (no number gives 0),
/// and the screen choice yields the screen size whatever the picture's proportions.
TargetSize ComputeTargetSize(const SizeRequest& request);

/// The size whose longer side is `edge` (a square's both sides), the other side in proportion,
/// rounded to the nearest pixel and at least 1. Exact integer arithmetic: no picture size
/// rounds differently on another machine. An empty picture gives 0 x 0.
TargetSize LongEdgeSize(std::uint32_t width, std::uint32_t height, std::uint32_t edge);
/// The same with the shorter side becoming `edge`; a side beyond 32 bits is held at the
/// largest 32-bit value (the resize then refuses it as too large).
TargetSize ShortEdgeSize(std::uint32_t width, std::uint32_t height, std::uint32_t edge);
/// The largest size of the picture's proportions within boxWidth x boxHeight, whatever the
/// picture's orientation: one side fills the box, the other is rounded and at least 1.
TargetSize FitSize(std::uint32_t width, std::uint32_t height, std::uint32_t boxWidth, std::uint32_t boxHeight);
/// `target`, or the picture's own size when `target` is larger on either side, so that no
/// copy is ever enlarged; the choice code is kept.
TargetSize WithoutEnlarging(const TargetSize& target, std::uint32_t width, std::uint32_t height);

/// Reads a leading unsigned number as sscanf's "%u" does; 0 when the text holds none.
std::uint32_t ScanUnsigned(const std::string& text);

/// Converts a double to an unsigned 32-bit value the way the C cast does on our targets:
/// truncation toward zero through a 64-bit integer, keeping the low 32 bits. NaN and values
/// beyond 64 bits give 0.
std::uint32_t TruncateToUnsigned(double value);

/// The JPEG quality a save uses: the chosen quality, or 75 when it lies outside 1 to 100.
std::int32_t EffectiveQuality(std::int32_t quality);

/// One entry of the output type table: the extension written and the writer's type code.
struct OutputType {
    const char* extension;
    int writerType;
};

/// The output type for m_nSaveType 0 JPG, 1 PNG, 2 BMP, 3 GIF, 4 Photoshop; nullopt for
/// any other value.
std::optional<OutputType> OutputTypeFor(std::int32_t saveType);

/// The command line's output types: the window's five as OutputTypeFor gives them, and 5 for
/// WebP, which only brimvale-resize writes; nullopt for any other value.
std::optional<OutputType> CommandLineOutputTypeFor(std::int32_t saveType);
/// The save type of WebP in CommandLineOutputTypeFor.
inline constexpr std::int32_t kSaveTypeWebp = 5;

/// Quality radios: their id minus 1011 (5 is unused; 6 is "Set").
inline constexpr std::int32_t kQualityRadioNone = -1;
inline constexpr std::int32_t kQualityRadioSet = 6;

/// What the summary line is built from.
struct SummaryRequest {
    std::int32_t sizeChoice = kSizeChoiceNone;   ///< code of the checked size radio
    std::uint32_t pictureWidth = 0;              ///< m_nPictureWidth: the picture last shown
    std::uint32_t pictureHeight = 0;
    std::string percentText;                     ///< text of the percent edit
    std::string widthText;                       ///< texts of the width and height edits
    std::string heightText;
    std::int32_t screenWidth = 0;
    std::int32_t screenHeight = 0;
    std::int32_t qualityRadio = kQualityRadioNone; ///< checked quality radio's id minus 1011
    std::string qualityText;                     ///< text of the quality edit
    std::int32_t saveType = 0;                   ///< m_nSaveType
    std::int32_t selectedCount = 0;              ///< number of selected pictures
};

/// The summary line and how the label shows it.
struct SummaryLine {
    std::string text;
    std::uint8_t red = 0, green = 0, blue = 0;
    bool bold = false;
};

/// "1024 x 768", "50% (1500 x 1000)", "Screen size (1920 x 1080)" … for the checked size radio.
std::string SizeSummaryText(const SummaryRequest& request);
/// "Quality: 75", "Quality: 100 - no compression", "Quality: <edit text>", or empty.
std::string QualitySummaryText(const SummaryRequest& request);
/// "a JPG image (extension .jpg)" for fewer than two pictures, "JPG images (…)" for more.
std::string TypeSummaryText(std::int32_t saveType, std::int32_t selectedCount);
/// The whole line of the summary label with its colour and weight.
SummaryLine BuildStatusSummary(const SummaryRequest& request);
