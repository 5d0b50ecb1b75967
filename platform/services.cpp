// SPDX-License-Identifier: MIT
// The installed message-box and shell services, and the Win32-named calls that reach them.
#include "platform/services.h"

#include <atomic>
#include <cstdio>

namespace platform {

namespace {

std::atomic<MessageBoxService*> g_messageBoxService{nullptr};
std::atomic<ShellService*> g_shellService{nullptr};

// What ShellExecuteA returns on success: any value above 32 means the call went through.
constexpr std::intptr_t kShellExecuteDone = 42;

} // namespace

MessageBoxService* setMessageBoxService(MessageBoxService* service) { return g_messageBoxService.exchange(service); }
MessageBoxService* messageBoxService() { return g_messageBoxService.load(); }
ShellService* setShellService(ShellService* service) { return g_shellService.exchange(service); }
ShellService* shellService() { return g_shellService.load(); }

bool isValidAnswer(UINT type, int answer) {
    switch (type & MB_TYPEMASK) {
    case MB_OK: return answer == IDOK;
    case MB_OKCANCEL: return answer == IDOK || answer == IDCANCEL;
    case MB_ABORTRETRYIGNORE: return answer == IDABORT || answer == IDRETRY || answer == IDIGNORE;
    case MB_YESNOCANCEL: return answer == IDYES || answer == IDNO || answer == IDCANCEL;
    case MB_YESNO: return answer == IDYES || answer == IDNO;
    case MB_RETRYCANCEL: return answer == IDRETRY || answer == IDCANCEL;
    case MB_CANCELTRYCONTINUE: return answer == IDCANCEL || answer == IDTRYAGAIN || answer == IDCONTINUE;
    default: return false;
    }
}

int defaultAnswer(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_ABORTRETRYIGNORE: return IDABORT;
    case MB_YESNO: return IDNO;
    case MB_OKCANCEL:
    case MB_YESNOCANCEL:
    case MB_RETRYCANCEL:
    case MB_CANCELTRYCONTINUE: return IDCANCEL;
    default: return IDOK;
    }
}

} // namespace platform

int AfxMessageBox(const std::string& text, UINT type) {
    if (platform::MessageBoxService* service = platform::messageBoxService()) return service->show(text, type);
    std::fprintf(stderr, "Brimvale: %s\n", text.c_str());
    return platform::defaultAnswer(type);
}

std::intptr_t ShellExecuteA(void* /*hwnd*/, LPCSTR lpOperation, LPCSTR lpFile, LPCSTR /*lpParameters*/,
                            LPCSTR /*lpDirectory*/, int /*nShowCmd*/) {
    if (lpFile == nullptr || *lpFile == '\0') return ERROR_FILE_NOT_FOUND;
    platform::ShellService* service = platform::shellService();
    if (service == nullptr) {
        std::fprintf(stderr, "Brimvale: nothing installed to open %s\n", lpFile);
        return SE_ERR_NOASSOC;
    }
    return service->open(lpFile, lpOperation ? lpOperation : "") ? platform::kShellExecuteDone : SE_ERR_NOASSOC;
}
