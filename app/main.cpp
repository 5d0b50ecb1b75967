// SPDX-License-Identifier: MIT
// The brimvale program. The window is not built yet: for now the program loads the
// settings it will start with and says what it found.
#include "app/settings.h"
#include "platform/winreg.h"

#include <cstdio>

int main() {
    BrimvaleSettings settings;
    bool opened = LoadSettings(settings);
    std::printf("Brimvale: the main window is not built yet; nothing else to show.\n");
    std::printf("Settings folder: %s\n", platform::RegistryDirectory().c_str());
    if (!opened) std::printf("No stored settings (first run, or the key could not be opened): using defaults.\n");
    std::printf("Size choice %d, JPEG quality %d, output type %d, destination \"%s\" (%zu in history).\n",
                settings.m_nSizeChoice, settings.m_nQuality, settings.m_nSaveType,
                settings.m_strDestination.c_str(), settings.m_astrDestinations.size());
    return 0;
}
