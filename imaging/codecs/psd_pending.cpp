// SPDX-License-Identifier: MIT
// Placeholder for the psd codec until it is written: every call fails as unsupported.
// DELETE this file when the real codec lands.
#include "imaging/detail/lasterror.h"
#include "imaging/israw.h"

HGLOBAL is5_ReadPSD(IS5_SOURCE, std::uint32_t*, std::uint32_t*, std::uint32_t, Is5Rgbq*, std::uint32_t) { return imaging::detail::fail<HGLOBAL>(IS5_ERR_UNSUPPORTED, "is5_ReadPSD", nullptr); }
BOOL is5_GetPSDDims(IS5_SOURCE, std::uint32_t*, std::uint32_t*, std::uint32_t*, std::uint32_t*, std::uint32_t*) { return imaging::detail::fail<BOOL>(IS5_ERR_UNSUPPORTED, "is5_GetPSDDims", FALSE); }
BOOL is5_GetPSDPalette(IS5_SOURCE, std::uint32_t*, Is5Rgbq*, std::uint32_t) { return imaging::detail::fail<BOOL>(IS5_ERR_UNSUPPORTED, "is5_GetPSDPalette", FALSE); }
