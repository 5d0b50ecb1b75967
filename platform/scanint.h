// SPDX-License-Identifier: MIT
// Reading a leading integer the way sscanf's "%d" does, without its undefined overflow.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

/// Reads a leading integer as sscanf's "%d" does (leading blanks, a sign, digits); nullopt
/// when the text starts with no number. Values beyond 32 bits are clamped.
std::optional<std::int32_t> ScanInt(std::string_view text);
