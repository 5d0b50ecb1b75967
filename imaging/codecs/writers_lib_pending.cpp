// SPDX-License-Identifier: MIT
// Placeholder until these writers land: every call fails as unsupported. DELETE when implemented.
#include "imaging/detail/lasterror.h"

BOOL is5_WriteJPG(IS5_DEST, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, int, const ResolutionInfo*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_WriteJPG"); }
BOOL is5_WritePNG(IS5_DEST, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, const Is5Rgbq*, std::uint32_t, double, const ResolutionInfo*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_WritePNG"); }
BOOL is5_WriteTIFF(IS5_DEST, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, const Is5Rgbq*, std::uint32_t, const ResolutionInfo*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_WriteTIFF"); }
BOOL is5_WritePCX(IS5_DEST, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, const Is5Rgbq*, const ResolutionInfo*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_WritePCX"); }
BOOL is5_WriteTGA(IS5_DEST, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, const Is5Rgbq*, const ResolutionInfo*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_WriteTGA"); }
BOOL is5_WriteWBMP(IS5_DEST, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_WriteWBMP"); }
BOOL is5_WriteRGBToMetafile(IS5_DEST, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_WriteRGBToMetafile"); }
void is5_ClearJPGOutputMarkers() {}
BOOL is5_AddJPGOutputMarker(std::uint32_t, const std::uint8_t*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_AddJPGOutputMarker"); }
void is5_ClearJPGOutputText() {}
BOOL is5_AddJPGOutputText(const char*) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_AddJPGOutputText"); }
void is5_ClearPNGOutputText() {}
BOOL is5_AddPNGOutputText(const char*, const char*) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_AddPNGOutputText"); }
