// SPDX-License-Identifier: MIT
// The output size rule, the quality rule, the output type table and the summary line.
// Compiled with -ffp-contract=off: the size rule's doubles must round the same way
// everywhere, so no multiply-add may be fused.
#include "app/sizerule.h"

#include <array>
#include <climits>
#include <cstdint>
#include <cstdarg>
#include <cstdio>

namespace {

std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string formatText(const char* format, ...) {
    char buffer[512];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(length));
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    va_start(args, format);
    std::vsnprintf(text.data(), text.size(), format, args);
    va_end(args);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// The preset boxes B x S of codes 0 to 3.
struct PresetBox {
    std::uint32_t longSide;
    std::uint32_t shortSide;
};
constexpr std::array<PresetBox, 4> kPresetBoxes{{{1024, 768}, {800, 600}, {640, 480}, {320, 240}}};

constexpr std::array<const char*, 4> kPresetCaptions{"1024 x 768", "800 x 600", "640 x 480", "320 x 240"};

constexpr std::array<OutputType, 5> kOutputTypes{{{"jpg", 0}, {"png", 6}, {"bmp", 2}, {"gif", 21}, {"psd", 14}}};

// A side widened so that products with it cannot wrap.
constexpr long long wide(std::uint32_t side) { return side; }

// 2^63 as a double: the range a truncation through a 64-bit integer can hold.
constexpr double kTwoTo63 = 9223372036854775808.0;

} // namespace

std::uint32_t TruncateToUnsigned(double value) {
    if (!(value >= -kTwoTo63 && value < kTwoTo63)) return 0; // also catches NaN
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(value));
}

std::uint32_t ScanUnsigned(const std::string& text) {
    unsigned value = 0;
    if (std::sscanf(text.c_str(), "%u", &value) != 1) return 0;
    return value;
}

TargetSize ComputeTargetSize(const SizeRequest& request) {
    const std::uint32_t w = request.pictureWidth;
    const std::uint32_t h = request.pictureHeight;
    const double r = static_cast<double>(h) / static_cast<double>(w);
    TargetSize out;
    out.choice = request.choice;
    switch (request.choice) {
    case kSizeChoiceBox1024:
    case kSizeChoiceBox800:
    case kSizeChoiceBox640:
    case kSizeChoiceBox320: {
        // Only the orientation decides which side of the box is kept.
        const PresetBox box = kPresetBoxes[static_cast<std::size_t>(request.choice)];
        if (r > 1.0) {
            out.height = box.shortSide;
            out.width = TruncateToUnsigned(static_cast<double>(box.shortSide) / r);
        } else {
            out.width = box.longSide;
            out.height = TruncateToUnsigned(static_cast<double>(box.longSide) * r);
        }
        break;
    }
    case kSizeChoiceHalf:
        out.width = w / 2;
        out.height = h / 2;
        break;
    case kSizeChoiceQuarter:
        out.width = w / 4;
        out.height = h / 4;
        break;
    case kSizeChoiceThreeQuarters:
        // In 64 bits: 3 x W would wrap in 32 for pictures over 1,431,655,765 pixels wide.
        out.width = static_cast<std::uint32_t>(3 * std::uint64_t{w} / 4);
        out.height = static_cast<std::uint32_t>(3 * std::uint64_t{h} / 4);
        break;
    case kSizeChoiceCustomPercent:
        out.width = TruncateToUnsigned(static_cast<double>(w) * request.customScale);
        out.height = TruncateToUnsigned(static_cast<double>(h) * request.customScale);
        break;
    case kSizeChoiceDimensions:
        out.width = ScanUnsigned(request.widthText);
        out.height = ScanUnsigned(request.heightText);
        break;
    case kSizeChoiceScreen:
        out.width = static_cast<std::uint32_t>(request.screenWidth);
        out.height = static_cast<std::uint32_t>(request.screenHeight);
        break;
    case kSizeChoiceLongEdge:
        out = LongEdgeSize(w, h, request.edge);
        break;
    case kSizeChoiceShortEdge:
        out = ShortEdgeSize(w, h, request.edge);
        break;
    case kSizeChoiceFit:
        out = FitSize(w, h, request.boxWidth, request.boxHeight);
        break;
    default:
        out.choice = 0;
        break;
    }
    return out;
}

namespace {

// side * numerator / denominator rounded to the nearest whole pixel, at least 1 and held
// within 32 bits; 128-bit products cannot wrap for any 32-bit operands.
std::uint32_t proportional(std::uint32_t side, std::uint32_t numerator, std::uint32_t denominator) {
    using Wide = unsigned __int128;
    const Wide value = (Wide{side} * numerator + denominator / 2) / denominator;
    if (value == 0) return 1;
    return value > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(value);
}

// The size whose side `fixed` (the width when `widthFixed`) is `length`, the other in proportion.
TargetSize scaledTo(std::uint32_t width, std::uint32_t height, bool widthFixed, std::uint32_t length,
                    std::int32_t choice) {
    TargetSize out;
    out.choice = choice;
    if (width == 0 || height == 0 || length == 0) return out;
    if (widthFixed) {
        out.width = length;
        out.height = proportional(length, height, width);
    } else {
        out.height = length;
        out.width = proportional(length, width, height);
    }
    return out;
}

} // namespace

TargetSize LongEdgeSize(std::uint32_t width, std::uint32_t height, std::uint32_t edge) {
    return scaledTo(width, height, width >= height, edge, kSizeChoiceLongEdge);
}

TargetSize ShortEdgeSize(std::uint32_t width, std::uint32_t height, std::uint32_t edge) {
    return scaledTo(width, height, width <= height, edge, kSizeChoiceShortEdge);
}

TargetSize FitSize(std::uint32_t width, std::uint32_t height, std::uint32_t boxWidth, std::uint32_t boxHeight) {
    // The width binds when the picture is relatively wider than the box: w / h >= W / H.
    const bool widthBinds = std::uint64_t{width} * boxHeight >= std::uint64_t{height} * boxWidth;
    TargetSize out = scaledTo(width, height, widthBinds, widthBinds ? boxWidth : boxHeight, kSizeChoiceFit);
    if (boxWidth == 0 || boxHeight == 0) out.width = out.height = 0;
    return out;
}

TargetSize WithoutEnlarging(const TargetSize& target, std::uint32_t width, std::uint32_t height) {
    if (target.width <= width && target.height <= height) return target;
    return TargetSize{width, height, target.choice};
}

std::int32_t EffectiveQuality(std::int32_t quality) {
    return quality < 1 || quality > 100 ? 75 : quality;
}

std::optional<OutputType> OutputTypeFor(std::int32_t saveType) {
    if (saveType < 0 || saveType >= static_cast<std::int32_t>(kOutputTypes.size())) return std::nullopt;
    return kOutputTypes[static_cast<std::size_t>(saveType)];
}

std::optional<OutputType> CommandLineOutputTypeFor(std::int32_t saveType) {
    // The window's list stays as designed; WebP (writer type 27) follows it.
    if (saveType == kSaveTypeWebp) return OutputType{"webp", 27};
    return OutputTypeFor(saveType);
}

std::string SizeSummaryText(const SummaryRequest& request) {
    const std::uint32_t w = request.pictureWidth;
    const std::uint32_t h = request.pictureHeight;
    const bool known = w != 0 && h != 0;
    switch (request.sizeChoice) {
    case kSizeChoiceBox1024:
    case kSizeChoiceBox800:
    case kSizeChoiceBox640:
    case kSizeChoiceBox320:
        return kPresetCaptions[static_cast<std::size_t>(request.sizeChoice)];
    case kSizeChoiceHalf:
        return known ? formatText("50%% (%d x %d)", static_cast<int>(w / 2), static_cast<int>(h / 2)) : "50%";
    case kSizeChoiceQuarter:
        return known ? formatText("25%% (%d x %d)", static_cast<int>(w / 4), static_cast<int>(h / 4)) : "25%";
    case kSizeChoiceThreeQuarters:
        return known ? formatText("75%% (%lld x %lld)", 3 * wide(w) / 4, 3 * wide(h) / 4) : "75%";
    case kSizeChoiceCustomPercent: {
        if (!known) return request.percentText + "%";
        const std::int32_t p = ScanInt(request.percentText).value_or(0);
        // W x p in 64 bits, which a picture within the pixel limit cannot overflow.
        return formatText("%d%% (%lld x %lld)", p, wide(w) * p / 100, wide(h) * p / 100);
    }
    case kSizeChoiceDimensions:
        return formatText("%d x %d", ScanInt(request.widthText).value_or(0), ScanInt(request.heightText).value_or(0));
    case kSizeChoiceScreen:
        return formatText("Screen size (%d x %d)", request.screenWidth, request.screenHeight);
    default:
        return {};
    }
}

std::string QualitySummaryText(const SummaryRequest& request) {
    switch (request.qualityRadio) {
    case 0: return "Quality: 25";
    case 1: return "Quality: 50";
    case 2: return "Quality: 75";
    case 3: return "Quality: 90";
    case 4: return "Quality: 100 - no compression";
    case kQualityRadioSet: return "Quality: " + request.qualityText;
    default: return {};
    }
}

std::string TypeSummaryText(std::int32_t saveType, std::int32_t selectedCount) {
    static constexpr std::array<const char*, 5> kNames{"JPG", "PNG", "BMP", "GIF", "Photoshop"};
    static constexpr std::array<const char*, 5> kExtensions{"jpg", "png", "bmp", "gif", "psd"};
    if (saveType < 0 || saveType >= static_cast<std::int32_t>(kNames.size())) return {};
    const bool plural = selectedCount >= 2;
    const auto index = static_cast<std::size_t>(saveType);
    return formatText("%s%s image%s (extension .%s)", plural ? "" : "a ", kNames[index], plural ? "s" : "",
                      kExtensions[index]);
}

SummaryLine BuildStatusSummary(const SummaryRequest& request) {
    const std::string size = SizeSummaryText(request);
    const std::string quality = QualitySummaryText(request);
    const std::string type = TypeSummaryText(request.saveType, request.selectedCount);
    SummaryLine line;
    const std::int32_t n = request.selectedCount;
    if (n == 0) {
        line.text = formatText("No images selected. Current Settings: Size - %s; Image Format - %s; %s", size.c_str(),
                               type.c_str(), quality.c_str());
        line.red = 128;
        line.bold = true;
    } else {
        line.text = formatText("%d %s selected. %s will be saved as %s, size: %s, %s.", n, n == 1 ? "image" : "images",
                               n == 1 ? "It" : "They", type.c_str(), size.c_str(), quality.c_str());
        line.green = 106;
        line.blue = 140;
    }
    return line;
}
