// SPDX-License-Identifier: MIT
// The brimvale program: the Qt application, the real message-box and shell services, and
// the start-up of CBrimvaleApp, which runs the main window until it closes.
#include "app/brimvaleapp.h"
#include "platform/widgets/qtservices.h"

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
    theApp.m_astrArguments = QApplication::arguments().mid(1);
    theApp.InitInstance();
    return theApp.GetExitCode();
}
