// SPDX-License-Identifier: MIT
// Reading a version record through the version calls.
#include "net/fileversioninfo.h"

#include "platform/files.h"
#include "platform/langid.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <vector>

namespace net {

std::size_t chooseTranslation(std::span<const DWORD> entries, WORD userLanguage) {
    auto find = [&](const std::function<bool(WORD)>& match) -> std::optional<std::size_t> {
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (match(static_cast<WORD>(entries[i] & 0xFFFF))) return i;
        return std::nullopt;
    };
    auto sameLowByte = [](WORD wanted) { return [wanted](WORD l) { return (l & 0xFF) == (wanted & 0xFF); }; };
    for (const auto& match : std::initializer_list<std::function<bool(WORD)>>{
             [&](WORD l) { return l == userLanguage; }, sameLowByte(userLanguage),
             [](WORD l) { return l == 0; }, sameLowByte(0),
             [](WORD l) { return l == 9; }, sameLowByte(9)}) {
        if (const auto hit = find(match)) return *hit;
    }
    return 0;
}

} // namespace net

void CFileVersionInfo::Reset() {
    std::memset(&m_FileInfo, 0, sizeof m_FileInfo);
    for (std::string* s : {&m_strCompanyName, &m_strFileDescription, &m_strFileVersion, &m_strInternalName,
                           &m_strLegalCopyright, &m_strOriginalFileName, &m_strProductName, &m_strProductVersion,
                           &m_strComments, &m_strLegalTrademarks, &m_strPrivateBuild, &m_strSpecialBuild})
        s->clear();
}

BOOL CFileVersionInfo::Create() {
    const std::string path = platform::modulePath();
    return Create(path.c_str());
}

BOOL CFileVersionInfo::Create(const char* path) {
    Reset();
    if (!path) return FALSE;
    const DWORD size = GetFileVersionInfoSizeA(path, nullptr);
    if (size == 0) return FALSE;
    std::vector<char> buffer(size);
    if (!GetFileVersionInfoA(path, 0, size, buffer.data())) return FALSE;

    LPVOID value = nullptr;
    UINT length = 0;
    if (VerQueryValueA(buffer.data(), "\\", &value, &length) && length == sizeof m_FileInfo)
        std::memcpy(&m_FileInfo, value, sizeof m_FileInfo);

    if (!VerQueryValueA(buffer.data(), "\\VarFileInfo\\Translation", &value, &length) || length < 4) return TRUE;
    std::vector<DWORD> entries(length / 4);
    std::memcpy(entries.data(), value, entries.size() * 4);
    const DWORD chosen = entries[net::chooseTranslation(entries, GetUserDefaultLangID())];
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", static_cast<unsigned>(chosen & 0xFFFF),
                  static_cast<unsigned>(chosen >> 16));
    const std::pair<const char*, std::string*> names[] = {
        {"CompanyName", &m_strCompanyName}, {"FileDescription", &m_strFileDescription},
        {"FileVersion", &m_strFileVersion}, {"InternalName", &m_strInternalName},
        {"LegalCopyright", &m_strLegalCopyright}, {"OriginalFileName", &m_strOriginalFileName},
        {"ProductName", &m_strProductName}, {"ProductVersion", &m_strProductVersion},
        {"Comments", &m_strComments}, {"LegalTrademarks", &m_strLegalTrademarks},
        {"PrivateBuild", &m_strPrivateBuild}, {"SpecialBuild", &m_strSpecialBuild}};
    for (const auto& [name, member] : names) {
        if (VerQueryValueA(buffer.data(), (std::string(prefix) + name).c_str(), &value, &length) && length > 0)
            member->assign(static_cast<const char*>(value), ::strnlen(static_cast<const char*>(value), length));
    }
    return TRUE;
}

std::array<WORD, 4> CFileVersionInfo::GetFileVersion() const {
    return {static_cast<WORD>(m_FileInfo.dwFileVersionMS >> 16), static_cast<WORD>(m_FileInfo.dwFileVersionMS & 0xFFFF),
            static_cast<WORD>(m_FileInfo.dwFileVersionLS >> 16), static_cast<WORD>(m_FileInfo.dwFileVersionLS & 0xFFFF)};
}
