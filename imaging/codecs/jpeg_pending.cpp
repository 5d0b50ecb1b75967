// SPDX-License-Identifier: MIT
// Placeholder for the jpeg codec until it is written: every call fails as unsupported.
// DELETE this file when the real codec lands.
#include "imaging/detail/lasterror.h"
#include "imaging/israw.h"

HGLOBAL is5_ReadJPG(IS5_SOURCE, std::uint32_t*, std::uint32_t*, std::uint32_t, std::uint32_t) { return imaging::detail::fail<HGLOBAL>(IS5_ERR_UNSUPPORTED, "is5_ReadJPG", nullptr); }
BOOL is5_GetJPGDims(IS5_SOURCE, std::uint32_t*, std::uint32_t*, std::uint32_t*, ResolutionInfo*) { return imaging::detail::fail<BOOL>(IS5_ERR_UNSUPPORTED, "is5_GetJPGDims", FALSE); }
