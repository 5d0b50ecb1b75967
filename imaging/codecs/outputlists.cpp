// SPDX-License-Identifier: MIT
// Per-thread lists of JPEG markers, JPEG comments and PNG text for the next writes: each
// thread of a parallel batch keeps its own, so no picture picks up another's metadata.
#include "imaging/codecs/outputlists.h"

#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <cstring>
#include <new>

namespace imaging::detail {

namespace {

// A JPEG marker segment holds at most 65535 bytes, two of them its length.
constexpr std::size_t kMaxSegmentData = 65533;
// A PNG keyword: 1 to 79 Latin-1 characters (https://www.w3.org/TR/png/#11keywords).
constexpr std::size_t kMaxKeyword = 79;

thread_local std::vector<JpegOutputMarker> t_jpegMarkers;
thread_local std::vector<std::string> t_jpegText;
thread_local std::vector<PngOutputText> t_pngText;

// Printable Latin-1, no leading, trailing or doubled spaces.
bool validKeyword(const char* key) {
    const std::size_t n = std::strlen(key);
    if (n == 0 || n > kMaxKeyword || key[0] == ' ' || key[n - 1] == ' ') return false;
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(key[i]);
        if (!((c >= 32 && c <= 126) || c >= 161)) return false;
        if (c == ' ' && key[i + 1] == ' ') return false;
    }
    return true;
}

} // namespace

const std::vector<JpegOutputMarker>& jpegOutputMarkers() { return t_jpegMarkers; }
std::vector<JpegOutputMarker>& mutableJpegOutputMarkers() { return t_jpegMarkers; }
const std::vector<std::string>& jpegOutputText() { return t_jpegText; }
const std::vector<PngOutputText>& pngOutputText() { return t_pngText; }

} // namespace imaging::detail

using imaging::detail::failBool;
using imaging::detail::succeed;

void is5_ClearJPGOutputMarkers() {
    imaging::detail::t_jpegMarkers.clear();
    imaging::detail::t_jpegMarkers.shrink_to_fit();
    is5_SetLastError(IS5_OK, "is5_ClearJPGOutputMarkers");
}

BOOL is5_AddJPGOutputMarker(std::uint32_t marker, const std::uint8_t* data, std::uint32_t size) {
    constexpr const char* kFunction = "is5_AddJPGOutputMarker";
    const bool app = marker >= 0xE0 && marker <= 0xEF;
    if ((!app && marker != 0xFE) || (!data && size) || size > imaging::detail::kMaxSegmentData)
        return failBool(IS5_ERR_PARAM, kFunction);
    try {
        imaging::detail::JpegOutputMarker m;
        m.marker = static_cast<std::uint8_t>(marker);
        if (size) m.data.assign(data, data + size);
        imaging::detail::t_jpegMarkers.push_back(std::move(m));
        return succeed<BOOL>(kFunction, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kFunction);
    }
}

void is5_ClearJPGOutputText() {
    imaging::detail::t_jpegText.clear();
    imaging::detail::t_jpegText.shrink_to_fit();
    is5_SetLastError(IS5_OK, "is5_ClearJPGOutputText");
}

BOOL is5_AddJPGOutputText(const char* text) {
    constexpr const char* kFunction = "is5_AddJPGOutputText";
    if (!text || std::strlen(text) > imaging::detail::kMaxSegmentData) return failBool(IS5_ERR_PARAM, kFunction);
    try {
        imaging::detail::t_jpegText.emplace_back(text);
        return succeed<BOOL>(kFunction, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kFunction);
    }
}

void is5_ClearPNGOutputText() {
    imaging::detail::t_pngText.clear();
    imaging::detail::t_pngText.shrink_to_fit();
    is5_SetLastError(IS5_OK, "is5_ClearPNGOutputText");
}

BOOL is5_AddPNGOutputText(const char* key, const char* text) {
    constexpr const char* kFunction = "is5_AddPNGOutputText";
    if (!key || !text || !imaging::detail::validKeyword(key)) return failBool(IS5_ERR_PARAM, kFunction);
    try {
        imaging::detail::t_pngText.push_back({key, text});
        return succeed<BOOL>(kFunction, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kFunction);
    }
}
