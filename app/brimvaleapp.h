// SPDX-License-Identifier: MIT
// CBrimvaleApp: the program's start-up. It restarts the program elevated when it may not
// change the machine's settings, starts the imaging layer and the sockets, runs the main
// window modally and ends when that closes. It also answers the Help command.
#pragma once

#include "platform/widgets/dialog.h"

#include <QStringList>

#include <functional>

class CBrimvaleDlg;

class CBrimvaleApp : public platform::CommandTarget {
public:
    /// What start-up calls that a test replaces: the sockets' start-up, and the end of the
    /// process after an elevated copy has run (which must not return in the program).
    struct StartupHooks {
        std::function<BOOL()> socketInit;
        std::function<void(int exitCode)> exitProcess;
    };
    /// Installs hooks (empty members stand for the real calls); returns the previous ones.
    static StartupHooks SetStartupHooks(StartupHooks hooks);

    CBrimvaleApp();
    ~CBrimvaleApp() override;
    CBrimvaleApp(const CBrimvaleApp&) = delete;
    CBrimvaleApp& operator=(const CBrimvaleApp&) = delete;

    /// Runs the whole program and returns FALSE, so that the process then ends.
    BOOL InitInstance();
    /// The process's exit code: 1 when an elevated copy took over, else 0.
    int GetExitCode() const { return m_nExitCode; }

    /// The application's message map: ID_HELP opens the help page.
    BOOL OnCmdMsg(UINT id, UINT code) override;
    void OnHelp();

    /// The main window while it runs.
    CBrimvaleDlg* m_pMainWnd = nullptr;
    /// Files or a folder from the command line, which the main window opens with.
    QStringList m_astrArguments;

private:
    int m_nExitCode = 0;
    platform::CommandTarget* m_pPreviousTarget = nullptr;
};

/// Starts the sockets layer (POSIX sockets need no start-up; SIGPIPE is ignored so a closed
/// connection is an error code, not the end of the program). TRUE on success.
BOOL AfxSocketInit();

namespace brimvale {

/// What every process that shows the program's windows needs once its QApplication exists:
/// C formatting of times and numbers, the Fusion style, the resources and control classes.
void prepareApplication();

/// Where the help page is written for the desktop to open it.
QString helpPagePath();

} // namespace brimvale
