// SPDX-License-Identifier: MIT
// The short size text of a byte count: "123 KB", "1.512 MB", "2.7 GB".
#pragma once

#include <cstdint>
#include <string>

/// The size text of a byte count. The kilobyte count is the low 32 bits of bytes / 1024 as
/// a signed number; the digits after the point are the remainder in the next smaller unit
/// (0 to 1023), not a decimal fraction: 1,572,864 bytes give "1.512 MB", 1,053,696 bytes
/// "1.5 MB", 900 bytes "0 KB".
std::string FormatSize(std::uint64_t bytes);
