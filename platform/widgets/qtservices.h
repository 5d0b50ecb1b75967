// SPDX-License-Identifier: MIT
// The message-box and shell services of the program: QMessageBox with the title "Brimvale",
// and the desktop's opener through QDesktopServices.
#pragma once

#include "platform/services.h"

#include <QUrl>

namespace platform {

/// Shows a QMessageBox titled "Brimvale" over the active window, with the buttons and
/// icon of the MB_ type, and answers with the ID of the button pressed.
class QtMessageBoxService : public MessageBoxService {
public:
    int show(const std::string& text, UINT type) override;
};

/// Hands paths and addresses to QDesktopServices::openUrl ("explore" and "open" of a
/// folder show the folder; "mailto:" and web addresses go to the desktop's programs).
class QtShellService : public ShellService {
public:
    bool open(const std::string& pathOrUrl, const std::string& verb) override;
};

/// The URL the shell service opens for a path or an address: "mailto:", "http:",
/// "https:" and "file:" addresses as they are, anything else as a local file.
QUrl shellUrl(const std::string& pathOrUrl);

} // namespace platform
