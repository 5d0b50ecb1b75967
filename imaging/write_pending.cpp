// SPDX-License-Identifier: MIT
// Placeholder until CISImageEx::Write lands. DELETE when implemented.
#include "imaging/isimageex.h"

std::uint32_t CISImageEx::Write(int, const std::string&) const { return kImageNoPicture; }
