// SPDX-License-Identifier: MIT
// Base64 encoding: three bytes become four characters; the last group is padded with "=".
#include "net/base64.h"

std::string CBase64::Encode(std::string_view data) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::size_t left = data.size() - i;
        std::uint32_t group = static_cast<unsigned char>(data[i]) << 16;
        if (left > 1) group |= static_cast<unsigned char>(data[i + 1]) << 8;
        if (left > 2) group |= static_cast<unsigned char>(data[i + 2]);
        out += kAlphabet[(group >> 18) & 63];
        out += kAlphabet[(group >> 12) & 63];
        out += left > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        out += left > 2 ? kAlphabet[group & 63] : '=';
    }
    return out;
}
