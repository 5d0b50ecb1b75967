// SPDX-License-Identifier: MIT
// A registry folder of the test's own, and the REGEDIT4 lines its hive is written with.
#pragma once

#include "platform/winreg.h"
#include "testutil.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace temphive {

/// A registry folder of the test's own; the machine hive is its HKEY_LOCAL_MACHINE.reg.
struct TempRegistry {
    testutil::TempDir dir;
    testutil::ScopedEnv env{"BRIMVALE_REGISTRY_DIR", dir.str()};
    std::string hivePath = dir / "HKEY_LOCAL_MACHINE.reg";

    ~TempRegistry() { platform::SetHiveWritableCheck({}); }

    /// Writes a hive holding exactly these value lines under the settings key.
    void store(const std::string& values) const {
        testutil::writeFile(hivePath, "REGEDIT4\n\n[Software\\Brimvale]\n" + values);
    }
    std::string hive() const { return testutil::readFile(hivePath); }
    bool exists() const { return std::filesystem::exists(hivePath); }
};

/// A REGEDIT4 line of a 4-byte integer value.
inline std::string intValue(const char* name, std::uint32_t v) {
    char line[96];
    std::snprintf(line, sizeof line, "\"%s\"=hex:%02x,%02x,%02x,%02x\n", name, v & 0xff, (v >> 8) & 0xff,
                  (v >> 16) & 0xff, v >> 24);
    return line;
}

} // namespace temphive
