// SPDX-License-Identifier: MIT
// The settings dialog alone and through "Preferences", the update check of the window menu
// and at opening against loopback servers, and the version file written once at closing.
#include "app/configdlg.h"
#include "loopback.h"
#include "mainwindow.h"
#include "net/updatecheck.h"
#include "net/versionfilewriter.h"

#include <QAbstractButton>
#include <QApplication>

using namespace nettest;

namespace {

void click(CDialog& d, int id) { d.GetDlgItemAs<QAbstractButton>(id)->click(); }
void escape(CDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }
void closeButton(CDialog& d) { click(d, IDOK); }

class ConfigTest : public mainwindow::WindowTest {
protected:
    // Runs the main window: `inMain` on it, `inSettings` on a settings dialog it opens, then `close`.
    void open(const std::function<void(CDialog&)>& inMain, const std::function<void(CDialog&)>& inSettings,
              void (*close)(CDialog&) = escape) {
        CBrimvaleDlg window;
        guitest::runModal(window, [&](CDialog& d) {
            if (d.GetTemplateId() == IDD_CONFIG) return inSettings(d);
            inMain(d);
            close(d);
        });
    }
    static void choose(CDialog& d, UINT id) { d.GetSystemMenu(FALSE)->actionOf(id, MF_BYCOMMAND)->trigger(); }
};

TEST_F(ConfigTest, EachCodeOpensOnItsRadioAndAnUntouchedOkKeepsItWithItsSideEffects) {
    struct Row {
        std::int32_t code;
        int radio;
        const char *percent, *width; // edits 1026 and 1057 at opening
        double scale;                // after OK
        std::int32_t w, h, quality;
        int qualityRadio;
        bool pressSet; // "Set" alone keeps the quality
        std::int32_t type;
        int typeRadio;
    };
    // Opened with a scale of 0.29 (28.999… × 100 in a double) and dimensions 333 x 222.
    const Row rows[] = {
        {0, 1101, "", "", 0.29, 1024, 768, 25, 1011, false, -1, 1060},
        {1, 1102, "", "", 0.29, 800, 600, 50, 1012, true, 0, 1060},
        {2, 1103, "", "", 0.29, 640, 480, 75, 1013, false, 1, 1061},
        {3, 1104, "", "", 0.29, 320, 240, 90, 1014, false, 2, 1062},
        {4, 1107, "", "", 0.5, 333, 222, 100, 1015, false, 3, 1063},
        {5, 1108, "", "", 0.25, 333, 222, 80, 1017, false, 4, 1064},
        {6, 1109, "29", "", 0.29, 333, 222, 80, 1017, true, 5, 1060},
        {7, 1105, "", "333", 0.29, 333, 222, 25, 1011, false, 0, 1060},
        {8, 1106, "", "", 0.75, 333, 222, 25, 1011, false, 0, 1060},
        {9, 1110, "", "", 0.29, 333, 222, 25, 1011, false, 0, 1060},
        {12, 0, "", "", 0.29, 333, 222, 25, 1011, false, 0, 1060}, // no radio: the size stays
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        CConfigDlg dlg;
        dlg.m_nSizeChoice = row.code, dlg.m_dCustomScale = 0.29, dlg.m_nCustomWidth = 333, dlg.m_nCustomHeight = 222;
        dlg.m_nQuality = row.quality, dlg.m_nSaveType = row.type;
        EXPECT_EQ(guitest::runModal(dlg, [&](CDialog& d) {
            EXPECT_EQ(d.GetCheckedRadioButton(1101, 1110), row.radio);
            EXPECT_EQ(d.GetDlgItemText(1026) + d.GetDlgItemText(1057), QString::fromLatin1(row.percent) + row.width);
            EXPECT_EQ(d.GetCheckedRadioButton(1011, 1017), row.qualityRadio);
            EXPECT_EQ(d.GetDlgItemText(1027), QString::number(row.quality));
            EXPECT_EQ(d.GetCheckedRadioButton(1060, 1064), row.typeRadio);
            if (row.pressSet) click(d, IDC_QUALITY_SET);
            click(d, IDOK);
        }), IDOK);
        EXPECT_EQ(dlg.m_nSizeChoice, row.code);
        EXPECT_EQ(dlg.m_dCustomScale, row.scale);
        EXPECT_EQ(std::pair(dlg.m_nCustomWidth, dlg.m_nCustomHeight), std::pair(row.w, row.h));
        EXPECT_EQ(dlg.m_nQuality, row.quality);
        EXPECT_EQ(dlg.m_nSaveType, row.typeRadio - 1060);
    }
}

TEST_F(ConfigTest, OkRefusesAnEmptyZeroOrNegativeCustomSizeAndFocusesItsEdit) {
    const struct {
        int radio;
        const char *percent, *width, *height;
        int focus;
        std::string message;
    } rows[] = {{1109, "", "5", "5", 1026, "Enter a percent greater than 0."},
                {1105, "5", "-3", "10", 1057, "Enter a width greater than 0."},
                {1105, "5", "10", "0", 1052, "Enter a height greater than 0."}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message + row.percent + row.width + row.height);
        CConfigDlg dlg;
        boxes.answer(IDOK);
        EXPECT_EQ(guitest::runModal(dlg, [&](CDialog& d) {
            click(d, row.radio);
            d.SetDlgItemText(1026, QString::fromLatin1(row.percent));
            d.SetDlgItemText(1057, QString::fromLatin1(row.width));
            d.SetDlgItemText(1052, QString::fromLatin1(row.height));
            click(d, IDOK);
            EXPECT_EQ(QApplication::focusWidget(), d.GetDlgItem(row.focus));
            click(d, IDCANCEL);
        }), IDCANCEL);
        EXPECT_EQ(boxes.texts().back(), row.message);
        EXPECT_EQ(dlg.m_nSizeChoice, 0);
    }
}

TEST_F(ConfigTest, OkShowsTheChoicesInTheWindowCloseBrimvaleStoresThemCancelAndEscapeNothing) {
    registry.store(guitest::intValue("Quality", 75) + guitest::intValue("Size", 4));
    const std::string before = registry.hive();
    const struct {
        int button;
        void (*close)(CDialog&);
    } rows[] = {{IDCANCEL, closeButton}, {IDOK, escape}, {IDOK, closeButton}};
    for (const auto& row : rows) {
        open(
            [&](CDialog& d) {
                const QString summary = d.GetDlgItemText(IDC_SELECTED_CAPTION);
                choose(d, IDM_PREFERENCES);
                const bool ok = row.button == IDOK;
                EXPECT_EQ(d.GetCheckedRadioButton(1201, 1210), ok ? 1207 : 1205);
                EXPECT_EQ(d.GetCheckedRadioButton(1011, 1017), ok ? 1017 : 1013);
                EXPECT_EQ(d.IsDlgButtonChecked(1056), ok ? BST_UNCHECKED : BST_CHECKED);
                if (!ok) {
                    EXPECT_EQ(d.GetDlgItemText(IDC_SELECTED_CAPTION), summary);
                    return;
                }
                EXPECT_EQ(d.GetDlgItemText(1026) + d.GetDlgItemText(1046), QStringLiteral("2980"));
                EXPECT_EQ(d.GetDlgItemAs<CSliderCtrl>(1047)->GetPos(), 29);
                EXPECT_EQ(d.IsDlgButtonChecked(1034), BST_CHECKED);
                EXPECT_TRUE(d.GetSystemMenu(FALSE)->GetMenuState(IDM_AUTOUPDATE, MF_BYCOMMAND) & MF_CHECKED);
                EXPECT_EQ(d.GetDlgItemText(IDC_SELECTED_CAPTION),
                          QStringLiteral("No images selected. Current Settings: Size - 29%; Image Format - a PNG image "
                                         "(extension .png); Quality: 80"));
            },
            [&](CDialog& d) { // 29 %, quality 80 by the slider, PNG, last size not the default, source folder, auto check
                click(d, 1109);
                d.SetDlgItemText(1026, QStringLiteral("29"));
                auto* slider = d.GetDlgItemAs<CSliderCtrl>(1048);
                slider->setValue(80);
                emit slider->scrolled(TB_THUMBPOSITION, 80); // the thumb released
                for (int id : {1061, 1040, 1043, 1042, row.button}) click(d, id);
            },
            row.close);
        if (row.button == IDCANCEL || row.close == escape) { EXPECT_EQ(registry.hive(), before); }
    }
    const std::string hive = registry.hive();
    const double scale = 0.29;
    std::string customSize = "\"CustomSize\"=hex:";
    for (int i = 0; i < 8; ++i)
        customSize += QString::asprintf(i ? ",%02x" : "%02x", reinterpret_cast<const unsigned char*>(&scale)[i]).toStdString();
    for (const std::string& line : {guitest::intValue("Quality", 80), guitest::intValue("Size", 6), customSize,
                                    guitest::intValue("SaveType", 1), guitest::intValue("DefaultSize", 0),
                                    guitest::intValue("UseSourceFolder", 1), guitest::intValue("AutoUpdate", 1)})
        EXPECT_NE(hive.find(line), std::string::npos) << line << " in\n" << hive;
}

Script versionFile(const std::string& body) { return reply("HTTP/1.0 200 OK\r\n\r\n" + body); }
std::string ownVersion() {
    const net::VersionNumber v = net::currentProgram().version;
    return QString::asprintf("%d\n%d\n%d\n%d\n", v.major, v.minor, v.build, v.revision).toStdString();
}

TEST_F(ConfigTest, CheckForUpdateSaysWhatTheSiteSaysAndYesOpensThePage) {
    const struct {
        std::optional<std::string> body; // none: nobody listens
        int answer;
        std::string says;
    } rows[] = {{"9\n9\n9\n9\n", IDYES, "There is a newer version of Brimvale available"},
                {std::nullopt, IDOK, "Unable to connect to the Kestrelby website to check version status."}};
    for (const auto& row : rows) {
        ClosedPort closed;
        std::optional<LoopbackServer> server;
        if (row.body) server.emplace(std::vector<Script>{versionFile(*row.body)});
        const std::string base = server ? server->base() : "http://127.0.0.1:" + std::to_string(closed.port());
        testutil::ScopedEnv site("BRIMVALE_UPDATE_URL", base);
        const std::size_t shown = boxes.calls().size(), opened = shell.calls().size();
        boxes.answer(row.answer);
        open([](CDialog& d) { choose(d, IDM_CHECKFORUPDATE); }, {});
        ASSERT_EQ(boxes.calls().size(), shown + 1);
        EXPECT_TRUE(boxes.texts().back().starts_with(row.says)) << boxes.texts().back();
        ASSERT_EQ(shell.calls().size(), opened + (row.answer == IDYES));
        if (row.answer == IDYES) { EXPECT_EQ(shell.calls().back().target, base + "/Kestrelby"); }
    }
}

TEST_F(ConfigTest, CheckAtOpeningWaitsForTheWindowSpeaksOnlyOfNewerAndEndsWithIt) {
    registry.store(guitest::intValue("AutoUpdate", 1));
    const struct {
        std::optional<std::string> body; // none: no answer before the window closes
        bool speaks;
    } rows[] = {{ownVersion(), false}, {std::nullopt, false}, {"9\n9\n9\n9\n", true}};
    for (const auto& row : rows) {
        std::atomic<bool> release{false};
        LoopbackServer server({[&](Peer& p) {
            p.readRequest();
            for (const auto end = Clock::now() + 5s; !release && Clock::now() < end;) p.pause(10ms);
            if (row.body) p.send("HTTP/1.0 200 OK\r\n\r\n" + *row.body);
        }});
        testutil::ScopedEnv site("BRIMVALE_UPDATE_URL", server.base());
        if (row.speaks) boxes.answer(IDNO);
        const auto start = Clock::now();
        open([&](CDialog& d) {
            QTRY_COMPARE(server.accepted(), 1); // asked once the window is open, the reply held
            EXPECT_TRUE(mainwindow::main(d).updateCheckWaiting());
            if (!row.body) return;
            release = true;
            QTRY_VERIFY(!mainwindow::main(d).updateCheckWaiting());
        }, {});
        EXPECT_LT(Clock::now() - start, 3s) << "closing waits for no reply";
        release = true;
        EXPECT_EQ(boxes.calls().size(), row.speaks ? 1u : 0u);
    }
    EXPECT_TRUE(boxes.texts().at(0).starts_with("There is a newer version"));
}

TEST_F(ConfigTest, ClosingWritesTheVersionFileOnce) {
    // A build folder whose bin/ holds the program, this test by a link.
    testutil::writeFile(root / "CMakeCache.txt", "");
    std::filesystem::create_directories(root / "bin");
    std::filesystem::create_directories(root / "brimvaleSetup");
    std::filesystem::create_symlink(std::filesystem::read_symlink("/proc/self/exe"), root / "bin/brimvale");
    std::string expected = BRIMVALE_VERSION ".";
    for (std::size_t at; (at = expected.find('.')) != std::string::npos;) expected.replace(at, 1, "\r\n");
    for (void (*close)(CDialog&) : {closeButton, escape}) {
        int asked = 0;
        const auto previous = net::setProgramPathSource([&] { return ++asked, root / "bin/brimvale"; });
        open([](CDialog&) {}, {}, close);
        net::setProgramPathSource(previous);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(testutil::readFile(root / "brimvaleSetup/brimvaleVersion.txt"), expected);
        std::filesystem::remove(root / "brimvaleSetup/brimvaleVersion.txt");
    }
}

} // namespace
