// SPDX-License-Identifier: MIT
// Placeholder for the tga codec until it is written: every call fails as unsupported.
// DELETE this file when the real codec lands.
#include "imaging/detail/lasterror.h"
#include "imaging/israw.h"

HGLOBAL is5_ReadTGA(IS5_SOURCE, std::uint32_t*, std::uint32_t*, std::uint32_t, Is5Rgbq*, std::uint32_t) { return imaging::detail::fail<HGLOBAL>(IS5_ERR_UNSUPPORTED, "is5_ReadTGA", nullptr); }
BOOL is5_GetTGADims(IS5_SOURCE, std::uint32_t*, std::uint32_t*, std::uint32_t*) { return imaging::detail::fail<BOOL>(IS5_ERR_UNSUPPORTED, "is5_GetTGADims", FALSE); }
BOOL is5_GetTGAPalette(IS5_SOURCE, std::uint32_t*, Is5Rgbq*, std::uint32_t) { return imaging::detail::fail<BOOL>(IS5_ERR_UNSUPPORTED, "is5_GetTGAPalette", FALSE); }
