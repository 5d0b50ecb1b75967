// SPDX-License-Identifier: MIT
// CBrimvaleApp's start-up with the administrator test, the launcher and the sockets
// replaced: which boxes it shows, whether it restarts elevated, whether the window opens.
#include "app/brimvaleapp.h"
#include "guitest.h"
#include "imaging/is5.h"
#include "platform/elevation.h"
#include "platform/files.h"
#include "res/resource.h"
#include "scriptedservices.h"

#include <QTest>

#include <clocale>

#include <gtest/gtest.h>

namespace {

struct StartupRow {
    const char* name;
    bool administrator;
    std::optional<platform::LaunchResult> launch; // what the elevated restart's launcher reports
    bool socketsStart;
    std::vector<std::string> boxes;
    int launches;
    std::vector<int> windows; // templates run modally
    std::vector<int> exits;   // codes the process was ended with
    int exitCode;
};

platform::LaunchResult ran(int status) { return {true, status, 0}; }

} // namespace

TEST(Startup, ElevationSocketsAndTheMainWindowInOrder) {
    const StartupRow rows[] = {
        {"administrator", true, std::nullopt, true, {}, 0, {IDD_BRIMVALE_DIALOG}, {}, 0},
        {"elevation declined", false, ran(126), true, {"User did not allow elevation"}, 1, {IDD_BRIMVALE_DIALOG}, {}, 0},
        {"elevation refused", false, ran(127), true, {}, 1, {IDD_BRIMVALE_DIALOG}, {}, 0},
        {"no pkexec", false, platform::LaunchResult{false, 0, ENOENT}, true, {}, 1, {IDD_BRIMVALE_DIALOG}, {}, 0},
        {"elevated copy ran", false, ran(0), true, {}, 1, {}, {1}, 1},
        {"elevated copy failed itself", false, ran(3), true, {}, 1, {}, {1}, 1},
        {"sockets fail", true, std::nullopt, false, {"Network sockets could not be started."}, 0, {}, {}, 0},
    };
    for (const StartupRow& row : rows) {
        guitest::TempRegistry registry;
        testutil::ScopedMessageBoxScript boxes;
        for (std::size_t i = 0; i < row.boxes.size(); ++i) boxes.answer(IDOK);

        const platform::AdminProbes previousProbes = platform::setAdminProbes(
            {[&] { return row.administrator; }, [&] { return row.administrator; }});
        std::vector<std::vector<std::string>> launches;
        const platform::Launcher previousLauncher = platform::setLauncher([&](const std::vector<std::string>& argv) {
            launches.push_back(argv);
            return row.launch.value_or(ran(0));
        });
        std::vector<int> exits;
        const CBrimvaleApp::StartupHooks previousHooks = CBrimvaleApp::SetStartupHooks(
            {[&] { return row.socketsStart ? TRUE : FALSE; }, [&](int code) { exits.push_back(code); }});
        std::vector<int> windows;
        const CDialog::ModalHook previousModal = CDialog::SetModalHook([&](CDialog& d) {
            windows.push_back(d.GetTemplateId());
            QTest::keyClick(&d, Qt::Key_Escape);
        });

        CBrimvaleApp app;
        EXPECT_EQ(app.InitInstance(), FALSE) << row.name;

        CDialog::SetModalHook(previousModal);
        CBrimvaleApp::SetStartupHooks(previousHooks);
        platform::setLauncher(previousLauncher);
        platform::setAdminProbes(previousProbes);

        EXPECT_EQ(boxes.texts(), row.boxes) << row.name;
        EXPECT_EQ(static_cast<int>(launches.size()), row.launches) << row.name;
        EXPECT_EQ(windows, row.windows) << row.name;
        EXPECT_EQ(exits, row.exits) << row.name;
        EXPECT_EQ(app.GetExitCode(), row.exitCode) << row.name;
        EXPECT_EQ(app.m_pMainWnd, nullptr) << row.name;
        for (const std::vector<std::string>& argv : launches) {
            // The program's own path ends the command: no arguments are handed on.
            ASSERT_FALSE(argv.empty());
            EXPECT_EQ(argv.front(), "pkexec") << row.name;
            EXPECT_EQ(argv.back(), platform::modulePath()) << row.name;
        }
    }
}

TEST(Startup, WhileTheWindowRunsItIsTheAppsMainWindowAndTheImagingWorkersRun) {
    guitest::TempRegistry registry;
    const platform::AdminProbes previousProbes = platform::setAdminProbes({[] { return true; }, [] { return true; }});
    CBrimvaleApp app;
    QWidget* seen = nullptr;
    std::uint32_t workersWhileOpen = 0;
    const CDialog::ModalHook previousModal = CDialog::SetModalHook([&](CDialog& d) {
        seen = reinterpret_cast<QWidget*>(app.m_pMainWnd);
        EXPECT_EQ(seen, &d);
        workersWhileOpen = is5_GetWorkerCount();
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    app.InitInstance();
    CDialog::SetModalHook(previousModal);
    platform::setAdminProbes(previousProbes);
    EXPECT_NE(seen, nullptr);
    EXPECT_GT(workersWhileOpen, 0u);
}

TEST(Startup, TimesAndNumbersAreFormattedInTheCLocale) {
    // As Qt leaves them after taking the user's locale at start.
    ASSERT_NE(std::setlocale(LC_NUMERIC, "C.UTF-8"), nullptr);
    ASSERT_NE(std::setlocale(LC_TIME, "C.UTF-8"), nullptr);
    brimvale::prepareApplication();
    EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
    EXPECT_STREQ(std::setlocale(LC_TIME, nullptr), "C");
}
