// SPDX-License-Identifier: MIT
// Message boxes and shell opening over Qt.
#include "platform/widgets/qtservices.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

namespace platform {

int QtMessageBoxService::show(const std::string& text, UINT type) {
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(QStringLiteral("Brimvale"));
    box.setText(QString::fromStdString(text));
    switch (type & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    std::vector<std::pair<QMessageBox::StandardButton, int>> buttons;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_ABORTRETRYIGNORE:
        buttons = {{QMessageBox::Abort, IDABORT}, {QMessageBox::Retry, IDRETRY}, {QMessageBox::Ignore, IDIGNORE}};
        break;
    case MB_YESNOCANCEL:
        buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
        break;
    case MB_YESNO: buttons = {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}}; break;
    case MB_RETRYCANCEL: buttons = {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}}; break;
    case MB_CANCELTRYCONTINUE:
        buttons = {{QMessageBox::Cancel, IDCANCEL}, {QMessageBox::Retry, IDTRYAGAIN}, {QMessageBox::Ignore, IDCONTINUE}};
        break;
    default: buttons = {{QMessageBox::Ok, IDOK}}; break;
    }
    QMessageBox::StandardButtons standard;
    for (const auto& [button, id] : buttons) standard |= button;
    box.setStandardButtons(standard);
    if ((type & MB_TYPEMASK) == MB_CANCELTRYCONTINUE) {
        box.button(QMessageBox::Retry)->setText(QStringLiteral("&Try Again"));
        box.button(QMessageBox::Ignore)->setText(QStringLiteral("&Continue"));
    }
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    for (const auto& [button, id] : buttons) {
        if (button == pressed) return id;
    }
    // Closed without a button (Escape on a box without Cancel): the button that goes nowhere.
    return defaultAnswer(type);
}

QUrl shellUrl(const std::string& pathOrUrl) {
    const QString target = QString::fromStdString(pathOrUrl);
    for (const char* scheme : {"mailto:", "http://", "https://", "file:"}) {
        if (target.startsWith(QLatin1String(scheme), Qt::CaseInsensitive)) return QUrl(target);
    }
    return QUrl::fromLocalFile(target);
}

bool QtShellService::open(const std::string& pathOrUrl, const std::string& /*verb*/) {
    // "open", "explore" and no verb all come to the desktop's default action for the target.
    return QDesktopServices::openUrl(shellUrl(pathOrUrl));
}

} // namespace platform
