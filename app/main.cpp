// SPDX-License-Identifier: MIT
// The brimvale program: the Qt application, the real message-box and shell services, and
// the start-up of CBrimvaleApp, which runs the main window until it closes.
#include "app/brimvaleapp.h"
#include "platform/widgets/dialog.h"
#include "platform/widgets/qtservices.h"
#include "res/resource.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Brimvale"));
    // The desktop entry's name: the desktop matches the windows to the menu entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.brimvale.Brimvale"));
    brimvale::prepareApplication();

    platform::QtMessageBoxService messageBoxes;
    platform::ScopedMessageBoxService installBoxes(&messageBoxes);
    platform::QtShellService shell;
    platform::ScopedShellService installShell(&shell);

    CBrimvaleApp theApp;
    QStringList arguments = QApplication::arguments().mid(1);
    // --screenshot FILE: the window is drawn into FILE (PNG) as it opens, then closed; for
    // checking an installation without a desktop (with QT_QPA_PLATFORM=offscreen).
    if (arguments.size() >= 2 && arguments.front() == QStringLiteral("--screenshot")) {
        const QString file = arguments.at(1);
        arguments = arguments.mid(2);
        CDialog::SetModalHook([file](CDialog& window) {
            if (window.GetTemplateId() == IDD_BRIMVALE_DIALOG) {
                QApplication::processEvents();
                window.grab().save(file, "PNG");
            }
            window.EndDialog(IDCANCEL);
        });
    }
    theApp.m_astrArguments = arguments;
    theApp.InitInstance();
    return theApp.GetExitCode();
}
