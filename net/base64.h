// SPDX-License-Identifier: MIT
// CBase64: the standard Base64 alphabet with "=" padding.
#pragma once

#include <string>
#include <string_view>

class CBase64 {
public:
    static std::string Encode(std::string_view data);
};
