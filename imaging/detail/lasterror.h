// SPDX-License-Identifier: MIT
// Setting the calling thread's last error from inside the layer.
#pragma once

#include "imaging/is5.h"

#include <cstdint>

namespace imaging::detail {

/// Records a failure and returns `result` (nullptr, 0, FALSE …) for a one-line return.
template <typename T>
T fail(std::uint32_t code, const char* function, T result) {
    is5_SetLastError(code, function);
    return result;
}
inline HGLOBAL failBlock(std::uint32_t code, const char* function) { return fail<HGLOBAL>(code, function, nullptr); }
inline BOOL failBool(std::uint32_t code, const char* function) { return fail<BOOL>(code, function, FALSE); }

/// Records success and passes `result` through.
template <typename T>
T succeed(const char* function, T result) {
    is5_SetLastError(IS5_OK, function);
    return result;
}

/// Checks a picture's size before anything is allocated for it: both sides non-zero,
/// width × height within the pixel limit, and width × height × bytesPerPixel
/// representable. Returns IS5_OK, IS5_ERR_FORMAT (a zero side) or IS5_ERR_TOO_LARGE.
std::uint32_t checkPictureSize(std::uint64_t width, std::uint64_t height);

/// Bytes of one row of a picture in the layer's layout (24 → 3w, 8 → w, 1 → (w+7)/8).
std::uint64_t rowBytes(std::uint64_t width, std::uint32_t depth);

} // namespace imaging::detail
