// SPDX-License-Identifier: MIT
// The administrator test and the elevated restart: every outcome through an injected launcher,
// and the real spawn code against a stand-in pkexec script.
#include "platform/elevation.h"

#include "platform/files.h"
#include "platform/winreg.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Puts the real probes and launcher back after each test.
class Elevation : public ::testing::Test {
protected:
    void TearDown() override {
        platform::setAdminProbes({});
        platform::setLauncher({});
        platform::SetHiveWritableCheck({});
    }

    testutil::TempDir m_registry;
    testutil::ScopedEnv m_registryEnv{"BRIMVALE_REGISTRY_DIR", m_registry.str()};
    testutil::ScopedEnv m_display{"DISPLAY", ":1"};
    testutil::ScopedEnv m_xauthority{"XAUTHORITY", "/tmp/x auth/.Xauthority"};
    testutil::ScopedEnv m_wayland{"WAYLAND_DISPLAY", std::nullopt};
    testutil::ScopedEnv m_runtime{"XDG_RUNTIME_DIR", "/run/user/1000"};

    std::vector<std::string> expectedCommand() const {
        return {"pkexec",
                "env",
                "DISPLAY=:1",
                "XAUTHORITY=/tmp/x auth/.Xauthority",
                "XDG_RUNTIME_DIR=/run/user/1000",
                "BRIMVALE_REGISTRY_DIR=" + m_registry.str(),
                platform::modulePath()};
    }
};

struct ProbeRow {
    bool root;
    bool hiveWritable;
    bool administrator;
};

void PrintTo(const ProbeRow& row, std::ostream* os) {
    *os << "root " << row.root << ", hive writable " << row.hiveWritable;
}

class AdminProbeRows : public Elevation, public ::testing::WithParamInterface<ProbeRow> {};

TEST_P(AdminProbeRows, RootOrAWritableMachineHiveMakeAnAdministrator) {
    const ProbeRow row = GetParam();
    platform::setAdminProbes({[row] { return row.root; }, [row] { return row.hiveWritable; }});
    EXPECT_EQ(platform::isAdministrator(), row.administrator);
}

INSTANTIATE_TEST_SUITE_P(Probes, AdminProbeRows,
                         ::testing::Values(ProbeRow{true, false, true}, ProbeRow{false, true, true},
                                           ProbeRow{false, false, false}, ProbeRow{true, true, true}));

TEST_F(Elevation, TheDefaultHiveProbeAsksTheRegistry) {
    platform::setAdminProbes({[] { return false; }, {}});
    platform::SetHiveWritableCheck([](const std::string&) { return false; });
    EXPECT_FALSE(platform::isAdministrator());
    platform::SetHiveWritableCheck([](const std::string&) { return true; });
    EXPECT_TRUE(platform::isAdministrator());
}

TEST_F(Elevation, VariablesThatAreUnsetOrEmptyAreLeftOut) {
    testutil::ScopedEnv noDisplay("DISPLAY", "");
    testutil::ScopedEnv noAuthority("XAUTHORITY", std::nullopt);
    testutil::ScopedEnv wayland("WAYLAND_DISPLAY", "wayland-0");
    testutil::ScopedEnv noRegistryDir("BRIMVALE_REGISTRY_DIR", std::nullopt);
    testutil::ScopedEnv config("XDG_CONFIG_HOME", "/home/anna/.cfg");
    // The registry folder is handed on as resolved here, since root's would differ.
    const std::vector<std::string> expected = {"pkexec", "env", "WAYLAND_DISPLAY=wayland-0",
                                               "XDG_RUNTIME_DIR=/run/user/1000",
                                               "BRIMVALE_REGISTRY_DIR=/home/anna/.cfg/brimvale", "/opt/b/brimvale"};
    EXPECT_EQ(platform::elevatedRestartCommand("/opt/b/brimvale"), expected);
}

struct OutcomeRow {
    platform::LaunchResult launch;
    LONG result;
};

void PrintTo(const OutcomeRow& row, std::ostream* os) {
    if (row.launch.started) *os << "exit " << row.launch.exitStatus;
    else *os << "not started, errno " << row.launch.startError;
}

class RestartOutcomes : public Elevation, public ::testing::WithParamInterface<OutcomeRow> {};

TEST_P(RestartOutcomes, MapPkexecAnswersToWindowsResults) {
    const OutcomeRow row = GetParam();
    platform::setLauncher([row](const std::vector<std::string>&) { return row.launch; });
    EXPECT_EQ(platform::restartElevated(), static_cast<DWORD>(row.result));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, RestartOutcomes,
    ::testing::Values(OutcomeRow{{true, 0, 0}, ERROR_SUCCESS},
                      OutcomeRow{{true, 1, 0}, ERROR_SUCCESS}, // the elevated copy's own exit status
                      OutcomeRow{{true, 128 + 11, 0}, ERROR_SUCCESS},
                      OutcomeRow{{true, 126, 0}, ERROR_CANCELLED},
                      OutcomeRow{{true, 127, 0}, ERROR_ACCESS_DENIED},
                      OutcomeRow{{false, 0, ENOENT}, ERROR_FILE_NOT_FOUND},
                      OutcomeRow{{false, 0, EACCES}, ERROR_ACCESS_DENIED},
                      OutcomeRow{{false, 0, 0}, ERROR_GEN_FAILURE}));

// The real launcher, with a script named pkexec first on PATH that records its arguments
// one per line and exits with a chosen status: nothing is elevated.
class StandInPkexec : public Elevation {
protected:
    void install(const std::string& body) {
        const std::string script = m_bin / "pkexec";
        testutil::writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + m_record + "'\n" + body + "\n");
        fs::permissions(script, fs::perms::owner_all);
    }
    std::string recordedArguments() const { return testutil::readFile(m_record); }

    testutil::TempDir m_bin;
    std::string m_record = m_bin / "arguments";
    testutil::ScopedEnv m_path{"PATH", m_bin.str() + ":/usr/bin:/bin"};
};

// The command as the real launcher hands it on: display, registry folder, each argument whole.
TEST_F(StandInPkexec, ReceivesEachArgumentWhole) {
    install("exit 0");
    EXPECT_EQ(platform::restartElevated(), static_cast<DWORD>(ERROR_SUCCESS));
    std::string expected;
    const std::vector<std::string> command = expectedCommand();
    for (std::size_t i = 1; i < command.size(); ++i) expected += command[i] + "\n";
    EXPECT_EQ(recordedArguments(), expected);
}

// What each exit status means is in RestartOutcomes; here the real spawn hands it back.
TEST_F(StandInPkexec, TheChildsExitStatusComesBackAndASignalAbove128) {
    for (auto [body, status] : {std::pair{"exit 126", 126}, {"exit 3", 3}, {"kill -TERM $$", 128 + 15}}) {
        install(body);
        const platform::LaunchResult result = platform::spawnAndWait({"pkexec"});
        EXPECT_TRUE(result.started) << body;
        EXPECT_EQ(result.exitStatus, status) << body;
    }
}

TEST_F(StandInPkexec, AMissingPkexecIsFileNotFound) {
    testutil::TempDir empty;
    testutil::ScopedEnv path("PATH", empty.str());
    EXPECT_EQ(platform::restartElevated(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    const platform::LaunchResult result = platform::spawnAndWait({"pkexec", "env"});
    EXPECT_FALSE(result.started);
    EXPECT_EQ(result.startError, ENOENT);
}

} // namespace
