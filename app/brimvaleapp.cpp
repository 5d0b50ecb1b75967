// SPDX-License-Identifier: MIT
// Start-up, lifetime and help of the program.
#include "app/brimvaleapp.h"

#include "app/brimvaledlg.h"
#include "controls/registration.h"
#include "imaging/is5.h"
#include "platform/elevation.h"
#include "platform/services.h"
#include "platform/widgets/resources.h"
#include "preview/previewpane.h"
#include "res/resource.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStyleFactory>

#include <clocale>
#include <csignal>
#include <unistd.h>

// Q_INIT_RESOURCE names a global function, so it is called from outside any namespace.
static void initResources() { Q_INIT_RESOURCE(brimvale); }

namespace {

CBrimvaleApp::StartupHooks g_hooks;

} // namespace

BOOL AfxSocketInit() {
    // A write to a connection the peer closed must fail with an error, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    return TRUE;
}

namespace brimvale {

void prepareApplication() {
    // Qt takes the user's locale at start; dates and decimals are formatted as in the C locale.
    std::setlocale(LC_TIME, "C");
    std::setlocale(LC_NUMERIC, "C");
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    initResources();
    controls::registerControlClasses();
    preview::registerControlClasses();
    QApplication::setWindowIcon(platform::LoadIconResource(IDR_MAINFRAME));
}

QString helpPagePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/brimvale/help/brimvale.html");
}

} // namespace brimvale

CBrimvaleApp::StartupHooks CBrimvaleApp::SetStartupHooks(StartupHooks hooks) {
    std::swap(g_hooks, hooks);
    return hooks;
}

CBrimvaleApp::CBrimvaleApp() : m_pPreviousTarget(platform::setApplicationCommandTarget(this)) {}

CBrimvaleApp::~CBrimvaleApp() { platform::setApplicationCommandTarget(m_pPreviousTarget); }

BOOL CBrimvaleApp::InitInstance() {
    if (!platform::isAdministrator()) {
        // One elevated copy at most: it passes this test and carries on from here itself.
        // The elevated copy opens the same files; it may start in another folder.
        std::vector<std::string> arguments;
        for (const QString& argument : m_astrArguments)
            arguments.push_back(QFileInfo(argument).absoluteFilePath().toStdString());
        const DWORD result = platform::restartElevated(arguments);
        if (result == ERROR_SUCCESS) {
            m_nExitCode = 1;
            if (g_hooks.exitProcess) g_hooks.exitProcess(1);
            else ::_exit(1);
            return FALSE;
        }
        if (result == static_cast<DWORD>(ERROR_CANCELLED)) AfxMessageBox("User did not allow elevation", MB_OK);
    }

    is5_Initialize(0);

    const BOOL socketsStarted = g_hooks.socketInit ? g_hooks.socketInit() : AfxSocketInit();
    if (!socketsStarted) {
        AfxMessageBox(platform::LoadStringResource(IDP_SOCKETS_INIT_FAILED).toStdString(), MB_OK);
        return FALSE;
    }

    CBrimvaleDlg dlg;
    dlg.SetStartupArguments(m_astrArguments);
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}

BOOL CBrimvaleApp::OnCmdMsg(UINT id, UINT code) {
    if (id == static_cast<UINT>(ID_HELP) && code == BN_CLICKED) {
        OnHelp();
        return TRUE;
    }
    return FALSE;
}

void CBrimvaleApp::OnHelp() {
    // The page travels inside the program; the desktop opens it from a file.
    const QString path = brimvale::helpPagePath();
    QFile source(QStringLiteral(":/brimvale/help/brimvale.html"));
    QFile target(path);
    if (!source.open(QIODevice::ReadOnly) || !QDir().mkpath(QFileInfo(path).absolutePath()) ||
        !target.open(QIODevice::WriteOnly | QIODevice::Truncate) || target.write(source.readAll()) < 0) {
        AfxMessageBox("The help page could not be written to " + path.toStdString() + ".", MB_OK | MB_ICONERROR);
        return;
    }
    target.close();
    ShellExecuteA(nullptr, "open", path.toUtf8().constData(), nullptr, nullptr, SW_SHOWNORMAL);
}
