// SPDX-License-Identifier: MIT
// The camera-raw module: a separate unit over LibRaw that reports its errors through
// the hook block the imaging layer hands it, kept per thread.
#pragma once

#include "imaging/is5.h"

#include <cstdint>

/// The imaging layer's callbacks for extension modules: 48 bytes, first word the size.
struct Is5ExtHook {
    std::uint32_t size;    ///< 48
    std::uint32_t version; ///< 1
    void (*setLastError)(std::uint32_t code, const char* function);
    std::uint32_t (*getLastError)();
    HGLOBAL (*globalAlloc)(UINT flags, std::size_t bytes);
    HGLOBAL (*globalFree)(HGLOBAL block);
    std::uint64_t (*getMaxPixels)();
};
static_assert(sizeof(void*) != 8 || sizeof(Is5ExtHook) == 48, "the hook block is 48 bytes");

/// A new hook block of kind `which` (0 is the only kind); release it with is5_ReleaseExtHook.
Is5ExtHook* is5_GetExtHook(std::uint32_t which);
void is5_ReleaseExtHook(Is5ExtHook* hook);

/// Installs a copy of `hook` as the calling thread's error hook of the raw module.
BOOL israw_SetHook(const Is5ExtHook* hook);
/// Sets the raw module's option word for the calling thread.
void israw_SetOptions(std::uint32_t options);
/// Decodes a camera raw file at its natural size to 24-bit sRGB with the camera's white
/// balance. `gamma` 1.0 and `useCameraWhiteBalance` 1 and `quality` -1 (the decoder's
/// default interpolation) and the option text "embed" (use an embedded colour profile
/// when there is one) are what the program passes; the last four are reserved, 0.
HGLOBAL israw_Read(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth, double gamma,
                   int useCameraWhiteBalance, int quality, const char* options, int reserved1, int reserved2,
                   int reserved3, int reserved4);
