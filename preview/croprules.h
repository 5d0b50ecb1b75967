// SPDX-License-Identifier: MIT
// The rules of cropping without a window: which picture pixels a rubber band drawn over the
// preview covers, and what the save-cropped-image dialog makes of its controls (output size,
// quality, type and path).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

/// A rectangle of the preview pane in pane pixels; right and bottom are exclusive for a
/// placement, and a rubber band may have its corners in any order.
struct PaneRect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

/// The picture pixels of a crop: right and bottom are inside the section, as the crop takes them.
struct CropEdges {
    std::uint32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

/// The rubber band `band` (corners in any order) mapped through the picture's placement onto
/// a picture of width x height, in unsigned 32-bit arithmetic with truncating divisions.
/// nullopt when the band leaves the placement on any side or nothing is placed.
std::optional<CropEdges> MapCropToPicture(PaneRect band, PaneRect placement, std::uint32_t width,
                                          std::uint32_t height);

/// The size buttons of the save-cropped-image dialog, in their order; Cropped keeps the
/// cropped size.
enum class CropSizeButton { B1024, B800, B640, B1920, Screen, Dimensions, Cropped };

/// The size button preselected for the main window's size-choice code, by position: codes
/// 0 to 3 the first four buttons, 7 "Set Dimensions", any other the screen size.
CropSizeButton CropSizeButtonFor(std::int32_t sizeChoice);

struct CropSizeRequest {
    CropSizeButton button = CropSizeButton::Cropped;
    bool preserveAspect = true;          ///< "Preserve Aspect Ratio"
    std::int32_t cropWidth = 0, cropHeight = 0;
    std::int32_t screenWidth = 0, screenHeight = 0;
    std::string widthText, heightText;   ///< "Set Dimensions", read as "%d" (0 when unreadable)
};

struct CropSize {
    std::int32_t width = 0, height = 0;
};

/// The output size: a box fitted in the cropped section's proportions (full height for a
/// portrait section, full width otherwise; truncated) or the box itself without them; the
/// typed dimensions as they are; the cropped size for "Cropped Size".
CropSize CropOutputSize(const CropSizeRequest& request);

/// The quality after OK: 25, 50, 75, 90 or 100 for the radios 0 to 4; for "Custom" (5) the
/// typed number, `current` when the text holds none; below 10 or above 100 it becomes 100.
std::int32_t CropQuality(int qualityRadio, const std::string& customText, std::int32_t current);

/// An output type of the dialog: the writer's type code and the extension.
struct CropType {
    int writerType;
    const char* extension;
};
/// The dialog's type radios in order: JPG, PNG, BMP, GIF, Photoshop.
CropType CropTypeForRadio(int typeRadio);
/// The radio preselected for a source extension (".jpg", ".PNG", … compared ignoring case);
/// any other extension gives JPG.
int CropTypeRadioForExtension(const std::string& extension);

/// "<folder>/<name>_Cropped.<ext>" when appending, else "<folder>/<name>.<ext>" (no slash
/// doubled after a folder that ends in one).
std::string CropOutputPath(const std::string& folder, const std::string& fileName, bool appendCropped,
                           const std::string& extension);

/// Why a folder and file name cannot be saved to, or nullopt: an empty folder (the file would
/// land at the root) or a name that is empty or holds a '/'.
std::optional<std::string> CropPathProblem(const std::string& folder, const std::string& fileName);
