// SPDX-License-Identifier: MIT
// Locale names to Windows language identifiers: primary language in the low ten bits, the
// sub-language (the region) above them.
#include "platform/langid.h"

#include <cctype>
#include <cstdlib>
#include <string>

namespace {

constexpr WORD kEnglishUnitedStates = 0x0409;

struct Region {
    const char* code;
    WORD sub;
};

struct Language {
    const char* code;
    WORD primary;
    std::initializer_list<Region> regions; // the others get sub-language 1, the default
};

const Language kLanguages[] = {
    {"ar", 0x01, {}}, {"bg", 0x02, {}}, {"ca", 0x03, {}},
    {"zh", 0x04, {{"TW", 1}, {"CN", 2}, {"HK", 3}, {"SG", 4}, {"MO", 5}}},
    {"cs", 0x05, {}}, {"da", 0x06, {}},
    {"de", 0x07, {{"DE", 1}, {"CH", 2}, {"AT", 3}, {"LU", 4}, {"LI", 5}}},
    {"el", 0x08, {}},
    {"en", 0x09, {{"US", 1}, {"GB", 2}, {"AU", 3}, {"CA", 4}, {"NZ", 5}, {"IE", 6}, {"ZA", 7}, {"JM", 8},
                  {"BZ", 10}, {"TT", 11}, {"ZW", 12}, {"PH", 13}, {"IN", 16}, {"MY", 17}, {"SG", 18}}},
    {"es", 0x0A, {{"ES", 3}, {"MX", 2}, {"GT", 4}, {"CR", 5}, {"PA", 6}, {"DO", 7}, {"VE", 8}, {"CO", 9},
                  {"PE", 10}, {"AR", 11}, {"EC", 12}, {"CL", 13}, {"UY", 14}, {"PY", 15}, {"BO", 16},
                  {"SV", 17}, {"HN", 18}, {"NI", 19}, {"PR", 20}, {"US", 21}}},
    {"fi", 0x0B, {}},
    {"fr", 0x0C, {{"FR", 1}, {"BE", 2}, {"CA", 3}, {"CH", 4}, {"LU", 5}, {"MC", 6}}},
    {"he", 0x0D, {}}, {"hu", 0x0E, {}}, {"is", 0x0F, {}},
    {"it", 0x10, {{"IT", 1}, {"CH", 2}}},
    {"ja", 0x11, {}}, {"ko", 0x12, {}},
    {"nl", 0x13, {{"NL", 1}, {"BE", 2}}},
    {"nb", 0x14, {}}, {"no", 0x14, {}}, {"nn", 0x14, {{"NO", 2}}},
    {"pl", 0x15, {}},
    {"pt", 0x16, {{"BR", 1}, {"PT", 2}}},
    {"ro", 0x18, {}}, {"ru", 0x19, {}}, {"hr", 0x1A, {}}, {"sk", 0x1B, {}}, {"sq", 0x1C, {}},
    {"sv", 0x1D, {{"SE", 1}, {"FI", 2}}},
    {"th", 0x1E, {}}, {"tr", 0x1F, {}}, {"ur", 0x20, {}}, {"id", 0x21, {}}, {"uk", 0x22, {}},
    {"be", 0x23, {}}, {"sl", 0x24, {}}, {"et", 0x25, {}}, {"lv", 0x26, {}}, {"lt", 0x27, {}},
    {"fa", 0x29, {}}, {"vi", 0x2A, {}}, {"hy", 0x2B, {}}, {"eu", 0x2D, {}}, {"mk", 0x2F, {}},
    {"af", 0x36, {}}, {"ka", 0x37, {}}, {"hi", 0x39, {}}, {"ga", 0x3C, {}}, {"ms", 0x3E, {}},
    {"cy", 0x52, {}}, {"gl", 0x56, {}},
};

} // namespace

namespace platform {

WORD langIdFromLocale(std::string_view locale) {
    const std::size_t langEnd = std::min(locale.find_first_of("_.@"), locale.size());
    std::string language(locale.substr(0, langEnd));
    for (char& c : language) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string region;
    if (langEnd < locale.size() && locale[langEnd] == '_') {
        const std::string_view rest = locale.substr(langEnd + 1);
        region = std::string(rest.substr(0, std::min(rest.find_first_of(".@"), rest.size())));
        for (char& c : region) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    for (const Language& l : kLanguages) {
        if (language != l.code) continue;
        WORD sub = 1;
        for (const Region& r : l.regions)
            if (region == r.code) sub = r.sub;
        return static_cast<WORD>((sub << 10) | l.primary);
    }
    return kEnglishUnitedStates;
}

} // namespace platform

WORD GetUserDefaultLangID() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return platform::langIdFromLocale(value);
    }
    return kEnglishUnitedStates;
}
