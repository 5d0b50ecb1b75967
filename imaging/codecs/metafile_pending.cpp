// SPDX-License-Identifier: MIT
// Placeholder for the metafile codec until it is written: every call fails as unsupported.
// DELETE this file when the real codec lands.
#include "imaging/detail/lasterror.h"
#include "imaging/israw.h"

HGLOBAL is5_ReadMetafile(const char*, std::uint32_t*, std::uint32_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) { return imaging::detail::fail<HGLOBAL>(IS5_ERR_UNSUPPORTED, "is5_ReadMetafile", nullptr); }
HGLOBAL is5_ReadMetafileFromMemory(const void*, std::size_t, std::uint32_t*, std::uint32_t*, std::uint32_t, std::uint32_t) { return imaging::detail::fail<HGLOBAL>(IS5_ERR_UNSUPPORTED, "is5_ReadMetafileFromMemory", nullptr); }
