// SPDX-License-Identifier: MIT
// The in-memory form of one registry hive and its REGEDIT4 text form.
#pragma once

#include "platform/wintypes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::detail {

struct RegValue {
    std::string name; // "" is the key's default value, written as @
    DWORD type = 0;
    std::vector<std::uint8_t> data;
};

struct RegKey {
    std::string path; // below the root, components joined by '\'; "" is the root itself
    std::vector<RegValue> values;
};

/// One hive: its keys in the order they were first seen or created.
/// Key paths and value names compare without regard to (ASCII) case.
struct Hive {
    std::vector<RegKey> keys;

    /// The key with exactly this path, or nullptr.
    RegKey* findKey(std::string_view path);
    /// True when the key exists: it has a section of its own, or a key below it does.
    bool keyExists(std::string_view path) const;
    /// Finds or creates the key and every missing key above it; returns the key.
    RegKey& createKey(std::string_view path, bool* created = nullptr);
};

bool equalsNoCase(std::string_view a, std::string_view b);
RegValue* findValue(RegKey& key, std::string_view name);

/// Parses REGEDIT4 text. Section names may carry the root's name (as a registry export
/// writes them) or not; `rootName` is stripped when present. False when the text does
/// not parse, with a short reason in `error`.
bool parseHive(std::string_view text, std::string_view rootName, Hive& hive, std::string* error);

/// Writes REGEDIT4 text, sections without the root name, keys sorted by path.
std::string formatHive(const Hive& hive);

} // namespace platform::detail
