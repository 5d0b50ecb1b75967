// SPDX-License-Identifier: MIT
// The settings the main window keeps between runs, and their loading from and saving to
// the registry key "Software\Brimvale" under HKEY_LOCAL_MACHINE.
#pragma once

#include "platform/scanint.h" // ScanInt, which the size rule and the window read edits with

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

/// The main window's settings members, with the values they have when the window is made.
struct BrimvaleSettings {
    std::int32_t m_nQuality = 0;
    std::int32_t m_nDefaultQuality = 0;
    std::int32_t m_nSizeChoice = 0;
    std::int32_t m_nDefaultSizeChoice = 0;
    bool m_bLastQualityIsDefault = true;
    bool m_bLastSizeIsDefault = true;
    double m_dCustomScale = 1.0;
    std::int32_t m_nCustomWidth = 0;
    std::int32_t m_nCustomHeight = 0;
    std::int32_t m_nSaveType = 0;
    bool m_bAutoUpdate = false;
    bool m_bUseSourceFolder = false;
    std::string m_strDestination;
    std::vector<std::string> m_astrDestinations; // most recent first
    bool m_bSettingsChanged = false;
};

inline constexpr const char* kSettingsKey = "Software\\Brimvale";

/// Size-choice codes used by the settings.
inline constexpr std::int32_t kSizeChoiceHalf = 4;
inline constexpr std::int32_t kSizeChoiceCustomPercent = 6;
inline constexpr std::int32_t kSizeChoiceDimensions = 7;
inline constexpr std::int32_t kDefaultQuality = 75;

/// Reads the settings. Returns true when the key opened with full access. When it does
/// not, nothing is read and the first-run defaults are applied instead: size choice 4
/// (50 %), quality 75, and the settings marked changed so that the first close through
/// "Close Brimvale" writes them. The destination history comes back in
/// `m_astrDestinations`, its first entry also in `m_strDestination`.
bool LoadSettings(BrimvaleSettings& settings);

/// Writes the settings, creating the key when needed; false when it cannot be created,
/// in which case nothing is written. `widthText` and `heightText` are the texts of the
/// width and height edits, used for the custom dimensions when the size choice in use
/// becomes the default; a text that holds no number stores the member's value instead.
/// Puts the current destination at the head of the history first (in `settings`).
bool SaveSettings(BrimvaleSettings& settings, const std::optional<std::string>& widthText = std::nullopt,
                  const std::optional<std::string>& heightText = std::nullopt);
