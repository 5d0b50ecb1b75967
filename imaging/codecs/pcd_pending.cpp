// SPDX-License-Identifier: MIT
// Placeholder for the pcd codec until it is written: every call fails as unsupported.
// DELETE this file when the real codec lands.
#include "imaging/detail/lasterror.h"
#include "imaging/israw.h"

HGLOBAL is5_ReadPCD(IS5_SOURCE, std::uint32_t*, std::uint32_t*, std::uint32_t, std::uint32_t) { return imaging::detail::fail<HGLOBAL>(IS5_ERR_UNSUPPORTED, "is5_ReadPCD", nullptr); }
