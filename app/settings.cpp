// SPDX-License-Identifier: MIT
// Loading and saving the main window's settings.
#include "app/settings.h"

#include "app/registrystore.h"

#include <cmath>
#include <cstdio>

namespace {

std::string destinationName(std::size_t i) {
    char name[32];
    std::snprintf(name, sizeof name, "Destination%zu", i);
    return name;
}

// Opens the settings key with full access and tells whether the value exists. False also
// when the key does not open.
bool valueExists(const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool deleteValue(const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return false;
    LONG rc = RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

} // namespace

bool LoadSettings(BrimvaleSettings& s) {
    CRegistryStore store;
    store.SetRoot(HKEY_LOCAL_MACHINE);
    if (!store.SetKey(kSettingsKey, false)) {
        s.m_nSizeChoice = kSizeChoiceHalf;
        s.m_nQuality = kDefaultQuality;
        s.m_bSettingsChanged = true;
        return false;
    }

    s.m_bLastQualityIsDefault = store.ReadInt("DefaultQuality", 1) != 0;
    s.m_bLastSizeIsDefault = store.ReadInt("DefaultSize", 1) != 0;

    // Qualities outside 1-100 (a negative or zero value too) fall back to 75.
    std::int32_t quality = store.ReadInt("Quality", kDefaultQuality);
    if (quality < 1 || quality > 100) quality = kDefaultQuality;
    s.m_nQuality = s.m_nDefaultQuality = quality;

    std::int32_t size = store.ReadInt("Size", kSizeChoiceHalf);
    if (static_cast<std::uint32_t>(size) > 9) size = kSizeChoiceHalf;
    s.m_nSizeChoice = s.m_nDefaultSizeChoice = size;

    if (size == kSizeChoiceCustomPercent) {
        // The percent slider covers 1 % to 100 %: a stored fraction outside that (or not a
        // number at all) would give no sensible picture size, so it reads as 100 %.
        double scale = store.ReadDouble("CustomSize", 1.0);
        if (!std::isfinite(scale) || scale < 0.01 || scale > 1.0) scale = 1.0;
        s.m_dCustomScale = scale;
    } else if (size == kSizeChoiceDimensions) {
        s.m_nCustomWidth = store.ReadInt("ImgWidth", 2000);
        s.m_nCustomHeight = store.ReadInt("ImgHeight", 1300);
    }

    std::int32_t saveType = store.ReadInt("SaveType", 0);
    s.m_nSaveType = (saveType >= 1 && saveType <= 4) ? saveType : 0;
    s.m_bAutoUpdate = store.ReadInt("AutoUpdate", 0) != 0;

    s.m_astrDestinations.clear();
    for (std::size_t i = 0;; ++i) {
        std::string name = destinationName(i);
        if (!valueExists(name)) break;
        std::string folder = store.ReadString(name, "");
        if (i == 0) s.m_strDestination = folder;
        s.m_astrDestinations.push_back(std::move(folder));
    }
    return true;
}

bool SaveSettings(BrimvaleSettings& s, const std::optional<std::string>& widthText,
                  const std::optional<std::string>& heightText) {
    // The current destination goes first unless the history already has it (exact match).
    bool present = false;
    for (const auto& d : s.m_astrDestinations) present = present || d == s.m_strDestination;
    if (!present) s.m_astrDestinations.insert(s.m_astrDestinations.begin(), s.m_strDestination);

    CRegistryStore store;
    store.SetRoot(HKEY_LOCAL_MACHINE);
    if (!store.SetKey(kSettingsKey, true)) return false;

    store.WriteInt("Quality", s.m_bLastQualityIsDefault ? s.m_nQuality : s.m_nDefaultQuality);
    store.WriteInt("Size", s.m_bLastSizeIsDefault ? s.m_nSizeChoice : s.m_nDefaultSizeChoice);
    if (s.m_nSizeChoice == kSizeChoiceCustomPercent) {
        // Kept so that a custom percent survives to the next run, which reads it for size 6.
        store.WriteDouble("CustomSize", s.m_dCustomScale);
    } else if (s.m_nSizeChoice == kSizeChoiceDimensions) {
        std::int32_t width = s.m_nCustomWidth;
        std::int32_t height = s.m_nCustomHeight;
        if (s.m_bLastSizeIsDefault) {
            if (auto w = widthText ? ScanInt(*widthText) : std::nullopt) width = *w;
            if (auto h = heightText ? ScanInt(*heightText) : std::nullopt) height = *h;
        }
        store.WriteInt("ImgWidth", width);
        store.WriteInt("ImgHeight", height);
    }
    store.WriteInt("SaveType", s.m_nSaveType);
    store.WriteInt("DefaultQuality", s.m_bLastQualityIsDefault ? 1 : 0);
    store.WriteInt("DefaultSize", s.m_bLastSizeIsDefault ? 1 : 0);
    store.WriteInt("UseSourceFolder", s.m_bUseSourceFolder ? 1 : 0);
    store.WriteInt("AutoUpdate", s.m_bAutoUpdate ? 1 : 0);

    // A folder too long to store is left out and the rest numbered without a gap: the next
    // start reads the history up to its first gap and would lose every later entry.
    std::size_t count = 0;
    for (const std::string& folder : s.m_astrDestinations) {
        if (folder.size() > CRegistryStore::kMaxStringLength) continue;
        store.WriteString(destinationName(count++), folder);
    }

    // Entries left from a longer history go, up to the first gap.
    for (std::size_t i = count;; ++i) {
        std::string name = destinationName(i);
        if (!valueExists(name)) break;
        if (!deleteValue(name)) break;
    }
    return true;
}
