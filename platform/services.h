// SPDX-License-Identifier: MIT
// Message boxes and shell opening as replaceable services: the window installs the real ones,
// tests install scripted ones, and AfxMessageBox / ShellExecuteA reach whichever is installed.
#pragma once

#include "platform/wintypes.h"

#include <cstdint>
#include <string>

// Button sets and answers beyond those of wintypes.h.
inline constexpr UINT MB_ABORTRETRYIGNORE = 0x2;
inline constexpr UINT MB_RETRYCANCEL = 0x5;
inline constexpr UINT MB_CANCELTRYCONTINUE = 0x6;
inline constexpr UINT MB_TYPEMASK = 0xF;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDTRYAGAIN = 10;
inline constexpr int IDCONTINUE = 11;

// ShellExecuteA's show commands and its "no association" failure.
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_SHOW = 5;
inline constexpr int SE_ERR_NOASSOC = 31;

namespace platform {

/// Shows a modal message box and returns the button pressed (IDOK, IDYES, IDNO, ...).
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    /// type carries the button set (MB_OK, MB_YESNO, ...) and the icon bits.
    virtual int show(const std::string& text, UINT type) = 0;
};

/// Hands a file, folder or address to the desktop.
class ShellService {
public:
    virtual ~ShellService() = default;
    /// verb: "open", "explore" (show a folder), or empty for the default action, which is
    /// opening; pathOrUrl may be a "mailto:" or web address. True when it was handed on.
    virtual bool open(const std::string& pathOrUrl, const std::string& verb) = 0;
};

/// Installs a service (null removes it) and returns the one installed before. The caller
/// keeps ownership and must keep the service alive while it is installed.
MessageBoxService* setMessageBoxService(MessageBoxService* service);
MessageBoxService* messageBoxService();
ShellService* setShellService(ShellService* service);
ShellService* shellService();

/// Installs a service for the lifetime of the object, then puts the previous one back.
class ScopedMessageBoxService {
public:
    explicit ScopedMessageBoxService(MessageBoxService* service) : m_previous(setMessageBoxService(service)) {}
    ~ScopedMessageBoxService() { setMessageBoxService(m_previous); }
    ScopedMessageBoxService(const ScopedMessageBoxService&) = delete;
    ScopedMessageBoxService& operator=(const ScopedMessageBoxService&) = delete;

private:
    MessageBoxService* m_previous;
};

class ScopedShellService {
public:
    explicit ScopedShellService(ShellService* service) : m_previous(setShellService(service)) {}
    ~ScopedShellService() { setShellService(m_previous); }
    ScopedShellService(const ScopedShellService&) = delete;
    ScopedShellService& operator=(const ScopedShellService&) = delete;

private:
    ShellService* m_previous;
};

/// True when answer is one of the buttons of the box type's button set.
bool isValidAnswer(UINT type, int answer);

/// The answer given when nobody can be asked: the button that does not go ahead (IDNO for
/// MB_YESNO, IDCANCEL where there is a Cancel button, IDABORT for MB_ABORTRETRYIGNORE, IDOK
/// for MB_OK), so an unattended program never overwrites, creates or downloads anything.
int defaultAnswer(UINT type);

} // namespace platform

/// Shows text in a message box through the installed service. With none installed, the text
/// goes to standard error and the answer is platform::defaultAnswer(type).
int AfxMessageBox(const std::string& text, UINT type = MB_OK);

/// Hands lpFile to the installed shell service with lpOperation as the verb (null: the default
/// action). lpParameters and lpDirectory are not used: the program passes none. Returns a value
/// above 32 on success, SE_ERR_NOASSOC when the service refused or none is installed, and
/// ERROR_FILE_NOT_FOUND for a null or empty file.
std::intptr_t ShellExecuteA(void* hwnd, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR lpParameters, LPCSTR lpDirectory,
                            int nShowCmd);
