// SPDX-License-Identifier: MIT
// CFileVersionInfo: the fixed file information and the twelve standard strings of a program's
// version record, in the translation that suits the user's language best.
#pragma once

#include "platform/versioninfo.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>

class CFileVersionInfo {
public:
    CFileVersionInfo() { Reset(); }
    virtual ~CFileVersionInfo() = default;

    /// Zeroes the fixed information and empties every string.
    virtual void Reset();
    /// Reads the running program's record.
    BOOL Create();
    /// Reads the record of the file at path. FALSE, with everything reset, when the file has no
    /// record or it cannot be read. A fixed block of another size than 52 bytes leaves the
    /// version 0.0.0.0; a missing string stays empty.
    BOOL Create(const char* path);

    std::string GetFileDescription() const { return m_strFileDescription; }
    std::string GetProductName() const { return m_strProductName; }
    /// major, minor, build, revision of the file version.
    std::array<WORD, 4> GetFileVersion() const;

    VS_FIXEDFILEINFO m_FileInfo;
    std::string m_strCompanyName;
    std::string m_strFileDescription;
    std::string m_strFileVersion;
    std::string m_strInternalName;
    std::string m_strLegalCopyright;
    std::string m_strOriginalFileName;
    std::string m_strProductName;
    std::string m_strProductVersion;
    std::string m_strComments;
    std::string m_strLegalTrademarks;
    std::string m_strPrivateBuild;
    std::string m_strSpecialBuild;
};

namespace net {
/// Which of the translation entries (language in the low word, code page in the high word) to
/// read for a user of `userLanguage`: the same language, then the same primary language, then
/// neutral, then English, then the first entry. entries must not be empty.
std::size_t chooseTranslation(std::span<const DWORD> entries, WORD userLanguage);
} // namespace net
