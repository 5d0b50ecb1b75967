// SPDX-License-Identifier: MIT
// The user's language as a Windows language identifier, taken from the locale variables.
#pragma once

#include "platform/wintypes.h"

#include <string_view>

/// The language of LC_ALL, LC_MESSAGES or LANG (the first one set and not empty) as a Windows
/// language identifier: the primary language from the language code, the sub-language from
/// the region ("de_DE.UTF-8" gives 0x0407, "de_AT" 0x0C07). "C", "POSIX", none or a language
/// not in the table give 0x0409 (English, United States).
WORD GetUserDefaultLangID();

namespace platform {
/// The identifier of one locale name such as "fr_CA.UTF-8@euro".
WORD langIdFromLocale(std::string_view locale);
} // namespace platform
