// SPDX-License-Identifier: MIT
// The rules of cropping. The proportional sizes divide doubles in a fixed order (the target
// compiles with -ffp-contract=off) and truncate toward zero.
#include "preview/croprules.h"

#include "platform/scanint.h"

#include <algorithm>
#include <cctype>

std::optional<CropEdges> MapCropToPicture(PaneRect band, PaneRect placement, std::uint32_t width,
                                          std::uint32_t height) {
    const PaneRect s{std::min(band.left, band.right), std::min(band.top, band.bottom),
                     std::max(band.left, band.right), std::max(band.top, band.bottom)};
    const PaneRect& p = placement;
    if (p.right <= p.left || p.bottom <= p.top) return std::nullopt;
    if (s.left < p.left || s.right > p.right || s.top < p.top || s.bottom > p.bottom) return std::nullopt;
    // Differences within the placement are non-negative: the unsigned products are exact up to
    // 32 bits, as the mapping has always computed them.
    const auto dx = static_cast<std::uint32_t>(p.right - p.left);
    const auto dy = static_cast<std::uint32_t>(p.bottom - p.top);
    CropEdges e;
    e.x0 = static_cast<std::uint32_t>(s.left - p.left) * width / dx;
    e.y0 = static_cast<std::uint32_t>(s.top - p.top) * height / dy;
    e.x1 = static_cast<std::uint32_t>(s.right - p.left) * width / dx;
    e.y1 = static_cast<std::uint32_t>(s.bottom - p.top) * height / dy;
    return e;
}

CropSizeButton CropSizeButtonFor(std::int32_t sizeChoice) {
    switch (sizeChoice) {
    case 0: return CropSizeButton::B1024;
    case 1: return CropSizeButton::B800;
    case 2: return CropSizeButton::B640;
    case 3: return CropSizeButton::B1920;
    case 7: return CropSizeButton::Dimensions;
    default: return CropSizeButton::Screen;
    }
}

CropSize CropOutputSize(const CropSizeRequest& request) {
    int boxWidth = 0, boxHeight = 0;
    switch (request.button) {
    case CropSizeButton::B1024: boxWidth = 1024, boxHeight = 768; break;
    case CropSizeButton::B800: boxWidth = 800, boxHeight = 600; break;
    case CropSizeButton::B640: boxWidth = 640, boxHeight = 480; break;
    case CropSizeButton::B1920: boxWidth = 1920, boxHeight = 1080; break;
    case CropSizeButton::Screen: boxWidth = request.screenWidth, boxHeight = request.screenHeight; break;
    case CropSizeButton::Dimensions:
        return {ScanInt(request.widthText).value_or(0), ScanInt(request.heightText).value_or(0)};
    case CropSizeButton::Cropped: return {request.cropWidth, request.cropHeight};
    }
    if (!request.preserveAspect || request.cropWidth <= 0 || request.cropHeight <= 0) return {boxWidth, boxHeight};
    const double r = static_cast<double>(request.cropHeight) / static_cast<double>(request.cropWidth);
    if (r > 1) return {static_cast<std::int32_t>(boxHeight / r), boxHeight};
    return {boxWidth, static_cast<std::int32_t>(boxWidth * r)};
}

std::int32_t CropQuality(int qualityRadio, const std::string& customText, std::int32_t current) {
    static constexpr std::int32_t kQualities[] = {25, 50, 75, 90, 100};
    std::int32_t quality = current;
    if (qualityRadio >= 0 && qualityRadio < 5) quality = kQualities[qualityRadio];
    else if (qualityRadio == 5) quality = ScanInt(customText).value_or(current);
    return quality < 10 || quality > 100 ? 100 : quality;
}

namespace {
constexpr CropType kCropTypes[] = {{0, "jpg"}, {6, "png"}, {2, "bmp"}, {21, "gif"}, {14, "psd"}};
} // namespace

CropType CropTypeForRadio(int typeRadio) {
    return typeRadio >= 0 && typeRadio < 5 ? kCropTypes[typeRadio] : kCropTypes[0];
}

int CropTypeRadioForExtension(const std::string& extension) {
    std::string lower = extension;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    for (int i = 0; i < 5; ++i)
        if (lower == std::string(".") + kCropTypes[i].extension) return i;
    return 0;
}

std::string CropOutputPath(const std::string& folder, const std::string& fileName, bool appendCropped,
                           const std::string& extension) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    return path + fileName + (appendCropped ? "_Cropped." : ".") + extension;
}

std::optional<std::string> CropPathProblem(const std::string& folder, const std::string& fileName) {
    if (folder.empty()) return "Choose the folder the cropped image is to be saved in.";
    if (fileName.empty()) return "Enter a file name for the cropped image.";
    if (fileName.find('/') != std::string::npos) return "The file name may not contain \"/\".";
    return std::nullopt;
}
