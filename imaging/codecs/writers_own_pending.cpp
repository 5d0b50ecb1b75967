// SPDX-License-Identifier: MIT
// Placeholder until these writers land: every call fails as unsupported. DELETE when implemented.
#include "imaging/detail/lasterror.h"

BOOL is5_WriteBMP(IS5_DEST, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, const Is5Rgbq*, const ResolutionInfo*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_WriteBMP"); }
BOOL is5_WriteGIF(IS5_DEST, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, int, std::uint32_t, const Is5Rgbq*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_WriteGIF"); }
BOOL is5_WritePSD(IS5_DEST, const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, const Is5Rgbq*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_WritePSD"); }
BOOL is5_QuantizeRGBTo8Bit(const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t*, std::uint32_t, std::uint32_t, Is5Rgbq*, std::uint32_t, std::uint32_t, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_QuantizeRGBTo8Bit"); }
BOOL is5_8BitToRGB(const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, const Is5Rgbq*, std::uint8_t*, std::uint32_t, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_8BitToRGB"); }
BOOL is5_ImageToGrayScale8Bit(const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t, const Is5Rgbq*, std::uint8_t*, std::uint32_t, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_ImageToGrayScale8Bit"); }
BOOL is5_ColorCompare(std::uint32_t, std::uint32_t, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_ColorCompare"); }
BOOL is5_GrayscaleTo1Bit(const std::uint8_t*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint8_t*, std::uint32_t, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_GrayscaleTo1Bit"); }
BOOL is5_Pack8BitBuffer(const std::uint8_t*, std::uint32_t, std::uint8_t*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_Pack8BitBuffer"); }
BOOL is5_UnpackBufferTo8Bit(const std::uint8_t*, std::uint32_t, std::uint8_t*, std::uint32_t) { return imaging::detail::failBool(IS5_ERR_UNSUPPORTED, "is5_UnpackBufferTo8Bit"); }
