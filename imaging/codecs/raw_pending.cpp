// SPDX-License-Identifier: MIT
// Placeholder for the raw codec until it is written: every call fails as unsupported.
// DELETE this file when the real codec lands.
#include "imaging/detail/lasterror.h"
#include "imaging/israw.h"

BOOL israw_SetHook(const Is5ExtHook*) { return imaging::detail::fail<BOOL>(IS5_ERR_UNSUPPORTED, "israw_SetHook", FALSE); }
void israw_SetOptions(std::uint32_t) {}
HGLOBAL israw_Read(IS5_SOURCE, std::uint32_t*, std::uint32_t*, std::uint32_t, double, int, int, const char*, int, int, int, int) { return imaging::detail::fail<HGLOBAL>(IS5_ERR_UNSUPPORTED, "israw_Read", nullptr); }
