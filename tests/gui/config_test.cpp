// SPDX-License-Identifier: MIT
// The settings dialog on its own and through the main window's "Preferences", the window
// menu's update check and the one at opening against servers on the loopback, and the
// version file written once when the window closes.
#include "app/configdlg.h"
#include "loopback.h"
#include "mainwindow.h"
#include "net/updatecheck.h"
#include "net/versionfilewriter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>

#include <cstring>
#include <optional>

using namespace nettest;

namespace {

void click(CDialog& d, int id) { d.GetDlgItemAs<QAbstractButton>(id)->click(); }

// Moves the dialog's quality slider as a drag does: the thumb moves, then its release reports.
void dragQualitySlider(CDialog& d, int position) {
    auto* slider = d.GetDlgItemAs<CSliderCtrl>(IDC_CFG_QUALITY_SLIDER);
    slider->setValue(position);
    emit slider->scrolled(TB_THUMBPOSITION, static_cast<UINT>(position));
}

// Runs a settings dialog opened on size code 4 (50 %), quality 75, JPG and every box clear.
struct ConfigRun {
    CConfigDlg dlg;
    INT_PTR result = 0;
    explicit ConfigRun(const std::function<void(CConfigDlg&)>& fill, const std::function<void(CDialog&)>& drive) {
        dlg.m_nSizeChoice = 4;
        dlg.m_dCustomScale = 0.5;
        dlg.m_nQuality = 75;
        fill(dlg);
        result = guitest::runModal(dlg, drive);
    }
};

// The dialog on its own; it shows no message box unless a test expects one.
class ConfigDialog : public ::testing::Test {
protected:
    testutil::ScopedMessageBoxScript boxes;
};

TEST_F(ConfigDialog, EachSizeCodeOpensOnItsRadioAndComesBackWithItsSideEffects) {
    struct Row {
        std::int32_t code;
        int radio;
        const char* percent; // edit 1026 as the dialog opens
        const char* width;   // edit 1057
        double scale;        // after OK
        std::int32_t w, h;
    };
    // Opened with a scale of 0.29 (28.999… × 100 in a double) and custom dimensions 333 x 222.
    const Row rows[] = {
        {0, 1101, "", "", 0.29, 1024, 768}, {1, 1102, "", "", 0.29, 800, 600}, {2, 1103, "", "", 0.29, 640, 480},
        {3, 1104, "", "", 0.29, 320, 240},  {4, 1107, "", "", 0.5, 333, 222},  {5, 1108, "", "", 0.25, 333, 222},
        {6, 1109, "29", "", 0.29, 333, 222}, {7, 1105, "", "333", 0.29, 333, 222}, {8, 1106, "", "", 0.75, 333, 222},
        {9, 1110, "", "", 0.29, 333, 222},  {12, 0, "", "", 0.29, 333, 222}, // no radio: the size stays
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code);
        ConfigRun run(
            [&](CConfigDlg& dlg) {
                dlg.m_nSizeChoice = row.code;
                dlg.m_dCustomScale = 0.29;
                dlg.m_nCustomWidth = 333;
                dlg.m_nCustomHeight = 222;
            },
            [&](CDialog& d) {
                EXPECT_EQ(d.GetCheckedRadioButton(1101, 1110), row.radio);
                EXPECT_EQ(d.GetDlgItemText(1026), QString::fromLatin1(row.percent));
                EXPECT_EQ(d.GetDlgItemText(1057), QString::fromLatin1(row.width));
                EXPECT_EQ(d.GetDlgItemText(1052), row.code == 7 ? QStringLiteral("222") : QString());
                click(d, IDOK);
            });
        EXPECT_EQ(run.result, IDOK);
        EXPECT_EQ(run.dlg.m_nSizeChoice, row.code);
        EXPECT_EQ(run.dlg.m_dCustomScale, row.scale);
        EXPECT_EQ(run.dlg.m_nCustomWidth, row.w);
        EXPECT_EQ(run.dlg.m_nCustomHeight, row.h);
    }
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size() * QGuiApplication::primaryScreen()->devicePixelRatio();
    ConfigRun run([](CConfigDlg&) {}, [&](CDialog& d) {
        EXPECT_EQ(d.GetDlgItemText(1110), QStringLiteral("Screen: %1 X %2").arg(screen.width()).arg(screen.height()));
    });
}

TEST_F(ConfigDialog, QualitiesOpenOnTheirRadioAndAnUntouchedOkOrSetKeepsThem) {
    const std::pair<std::int32_t, int> rows[] = {{25, 1011}, {50, 1012}, {75, 1013}, {90, 1014}, {100, 1015}, {80, 1017}};
    for (const auto& [quality, radio] : rows) {
        for (const bool pressSet : {false, true}) {
            SCOPED_TRACE(testing::Message() << quality << (pressSet ? " Set" : ""));
            ConfigRun run([q = quality](CConfigDlg& dlg) { dlg.m_nQuality = q; },
                          [&, r = radio, q = quality](CDialog& d) {
                              EXPECT_EQ(d.GetCheckedRadioButton(1011, 1017), r);
                              EXPECT_EQ(d.GetDlgItemAs<CSliderCtrl>(1048)->GetPos(), q);
                              EXPECT_EQ(d.GetDlgItemText(1027), QString::number(q));
                              if (pressSet) click(d, IDC_QUALITY_SET);
                              click(d, IDOK);
                          });
            EXPECT_EQ(run.dlg.m_nQuality, quality);
        }
    }
    // The slider's thumb picks the radio of its position, or "Set".
    for (const auto& [position, radio] : {std::pair{50, 1012}, std::pair{63, 1017}}) {
        ConfigRun run([](CConfigDlg&) {}, [p = position, r = radio](CDialog& d) {
            dragQualitySlider(d, p);
            EXPECT_EQ(d.GetCheckedRadioButton(1011, 1017), r);
            EXPECT_EQ(d.GetDlgItemText(1027), QString::number(p));
            click(d, IDOK);
        });
        EXPECT_EQ(run.dlg.m_nQuality, position);
    }
}

TEST_F(ConfigDialog, TypesOpenOnTheirRadioAndOneOutOfRangeOnJpg) {
    const std::pair<std::int32_t, int> rows[] = {{-1, 1060}, {0, 1060}, {1, 1061}, {2, 1062}, {3, 1063}, {4, 1064}, {5, 1060}};
    for (const auto& [type, radio] : rows) {
        ConfigRun run([t = type](CConfigDlg& dlg) { dlg.m_nSaveType = t; }, [r = radio](CDialog& d) {
            EXPECT_EQ(d.GetCheckedRadioButton(1060, 1064), r);
            click(d, IDOK);
        });
        EXPECT_EQ(run.dlg.m_nSaveType, radio - 1060) << type;
    }
}

TEST_F(ConfigDialog, OkRefusesAnEmptyZeroOrNegativeCustomSizeAndFocusesItsEdit) {
    struct Row {
        int radio;
        const char *percent, *width, *height;
        int focus;
        const char* message;
    };
    const Row rows[] = {
        {1109, "", "5", "5", 1026, "Enter a percent greater than 0."},
        {1109, "0", "5", "5", 1026, "Enter a percent greater than 0."},
        {1109, "-5", "5", "5", 1026, "Enter a percent greater than 0."},
        {1105, "5", "", "10", 1057, "Enter a width greater than 0."},
        {1105, "5", "abc", "10", 1057, "Enter a width greater than 0."},
        {1105, "5", "10", "0", 1052, "Enter a height greater than 0."},
        {1105, "5", "10", "-1", 1052, "Enter a height greater than 0."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.radio << " " << row.percent << " " << row.width << " " << row.height);
        testutil::ScopedMessageBoxScript rowBoxes;
        rowBoxes.answer(IDOK);
        ConfigRun run([](CConfigDlg&) {}, [&](CDialog& d) {
            click(d, row.radio);
            d.SetDlgItemText(1026, QString::fromLatin1(row.percent));
            d.SetDlgItemText(1057, QString::fromLatin1(row.width));
            d.SetDlgItemText(1052, QString::fromLatin1(row.height));
            click(d, IDC_QUALITY_100);
            click(d, IDOK);
            EXPECT_TRUE(d.isVisible());
            EXPECT_EQ(QApplication::focusWidget(), d.GetDlgItem(row.focus));
            click(d, IDCANCEL);
        });
        EXPECT_EQ(rowBoxes.texts(), std::vector<std::string>{row.message});
        EXPECT_EQ(run.result, IDCANCEL);
        EXPECT_EQ(run.dlg.m_nSizeChoice, 4);
        EXPECT_EQ(run.dlg.m_dCustomScale, 0.5);
        EXPECT_EQ(run.dlg.m_nQuality, 75);
    }
}

// The hive line of a double, as the settings store writes it.
std::string doubleValue(const char* name, double v) {
    unsigned char bytes[8];
    std::memcpy(bytes, &v, 8);
    std::string line = std::string("\"") + name + "\"=hex:";
    for (int i = 0; i < 8; ++i) line += QString::asprintf(i ? ",%02x" : "%02x", bytes[i]).toStdString();
    return line + "\n";
}

class PreferencesTest : public mainwindow::WindowTest {
protected:
    /// Opens the main window: `inMain` runs on it, `inSettings` on the settings dialog it
    /// opens; then `close` ends it.
    void open(const std::function<void(CDialog&)>& inMain, const std::function<void(CDialog&)>& inSettings,
              const std::function<void(CDialog&)>& close) {
        CBrimvaleDlg window;
        guitest::runModal(window, [&](CDialog& d) {
            if (d.GetTemplateId() == IDD_CONFIG) return inSettings(d);
            inMain(d);
            close(d);
        });
    }
    static void choose(CDialog& d, UINT id) { d.GetSystemMenu(FALSE)->actionOf(id, MF_BYCOMMAND)->trigger(); }
    static void closeButton(CDialog& d) { click(d, IDOK); }
    static void escape(CDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }
};

TEST_F(PreferencesTest, OkShowsTheDialogsValuesAndCloseBrimvaleStoresThemCancelAndEscapeNothing) {
    registry.store(guitest::intValue("Quality", 75) + guitest::intValue("Size", 4));
    const std::string before = registry.hive();
    // 29 %, quality 80 from the slider, PNG, last size not the default, source folder, auto check.
    const auto choose29 = [](bool ok) {
        return [ok](CDialog& d) {
            EXPECT_EQ(d.GetCheckedRadioButton(1101, 1110), 1107);
            EXPECT_EQ(d.GetCheckedRadioButton(1011, 1017), 1013);
            click(d, 1109);
            d.SetDlgItemText(1026, QStringLiteral("29"));
            dragQualitySlider(d, 80);
            click(d, 1061);
            click(d, 1040);
            click(d, 1043);
            click(d, 1042);
            click(d, ok ? IDOK : IDCANCEL);
        };
    };
    const struct {
        bool ok;
        void (*close)(CDialog&);
        bool stored;
    } rows[] = {{false, closeButton, false}, {true, escape, false}, {true, closeButton, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.ok << row.stored);
        open(
            [&](CDialog& d) {
                const QString summary = d.GetDlgItemText(IDC_SELECTED_CAPTION);
                choose(d, IDM_PREFERENCES);
                if (!row.ok) {
                    EXPECT_EQ(d.GetCheckedRadioButton(1201, 1210), 1205);
                    EXPECT_EQ(d.GetCheckedRadioButton(1011, 1017), 1013);
                    EXPECT_EQ(d.IsDlgButtonChecked(1056), BST_CHECKED);
                    EXPECT_EQ(d.GetDlgItemText(IDC_SELECTED_CAPTION), summary);
                    EXPECT_FALSE(mainwindow::main(d).settingsChanged());
                    return;
                }
                EXPECT_EQ(d.GetCheckedRadioButton(1201, 1210), 1207);
                EXPECT_EQ(d.GetDlgItemText(1026), QStringLiteral("29"));
                EXPECT_EQ(d.GetDlgItemAs<CSliderCtrl>(1047)->GetPos(), 29);
                EXPECT_EQ(d.IsDlgButtonChecked(1056), BST_UNCHECKED);
                EXPECT_EQ(d.GetCheckedRadioButton(1011, 1017), 1017);
                EXPECT_EQ(d.GetDlgItemText(1046), QStringLiteral("80"));
                EXPECT_EQ(d.IsDlgButtonChecked(1034), BST_CHECKED);
                EXPECT_TRUE(d.GetSystemMenu(FALSE)->GetMenuState(IDM_AUTOUPDATE, MF_BYCOMMAND) & MF_CHECKED);
                EXPECT_EQ(d.GetDlgItemText(IDC_SELECTED_CAPTION),
                          QStringLiteral("No images selected. Current Settings: Size - 29%; Image Format - a PNG image "
                                         "(extension .png); Quality: 80"));
                const CBrimvaleDlg& window = mainwindow::main(d);
                EXPECT_EQ(window.quality(), 80);
                EXPECT_EQ(window.sizeChoice(), 6);
                EXPECT_EQ(window.customScale(), 0.29);
                EXPECT_EQ(window.saveType(), 1);
                EXPECT_TRUE(window.useSourceFolder());
            },
            choose29(row.ok), row.close);
        if (!row.stored) {
            EXPECT_EQ(registry.hive(), before);
            continue;
        }
        const std::string hive = registry.hive();
        for (const std::string& line :
             {guitest::intValue("Quality", 80), guitest::intValue("Size", 6), doubleValue("CustomSize", 0.29),
              guitest::intValue("SaveType", 1), guitest::intValue("DefaultSize", 0), guitest::intValue("DefaultQuality", 1),
              guitest::intValue("UseSourceFolder", 1), guitest::intValue("AutoUpdate", 1)})
            EXPECT_NE(hive.find(line), std::string::npos) << line << " in\n" << hive;
    }
}

TEST_F(PreferencesTest, CustomDimensionsReachTheWindowsEdits) {
    open([](CDialog& d) {
        choose(d, IDM_PREFERENCES);
        EXPECT_EQ(d.GetCheckedRadioButton(1201, 1210), 1208);
        EXPECT_EQ(d.GetDlgItemText(1052), QStringLiteral("1200"));
        EXPECT_EQ(d.GetDlgItemText(1053), QStringLiteral("900"));
    },
         [](CDialog& d) {
             click(d, 1105);
             d.SetDlgItemText(1057, QStringLiteral("1200"));
             d.SetDlgItemText(1052, QStringLiteral("900"));
             click(d, IDOK);
         },
         closeButton);
    EXPECT_NE(registry.hive().find(guitest::intValue("ImgWidth", 1200)), std::string::npos) << registry.hive();
    EXPECT_NE(registry.hive().find(guitest::intValue("ImgHeight", 900)), std::string::npos);
}

// The version file the site serves for a version.
std::string versionBody(const net::VersionNumber& v) {
    return QString::asprintf("%d\r\n%d\r\n%d\r\n%d\r\n", v.major, v.minor, v.build, v.revision).toStdString();
}
Script versionFile(std::string body) { return reply("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body); }

TEST_F(PreferencesTest, CheckForUpdateTellsWhatTheSiteSays) {
    const net::CurrentProgram self = net::currentProgram();
    const struct {
        const char* name;
        std::optional<std::string> body; // none: nobody listens
        int answer;
        const char* startsWith;
        bool opensPage;
    } rows[] = {
        {"newer", "9\n9\n9\n9\n", IDYES, "There is a newer version of Brimvale available", true},
        {"same", versionBody(self.version), IDOK, "You are using Brimvale (Brimvale window tests) Version", false},
        {"refused", std::nullopt, IDOK, "Unable to connect to the Kestrelby website to check version status.", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ClosedPort closed;
        std::optional<LoopbackServer> server;
        if (row.body) server.emplace(std::vector<Script>{versionFile(*row.body)});
        const std::string base = server ? server->base() : "http://127.0.0.1:" + std::to_string(closed.port());
        testutil::ScopedEnv site("BRIMVALE_UPDATE_URL", base);
        testutil::ScopedMessageBoxScript rowBoxes;
        testutil::ScopedShellScript rowShell;
        rowBoxes.answer(row.answer);
        open([](CDialog& d) { choose(d, IDM_CHECKFORUPDATE); }, {}, escape);
        const auto calls = rowBoxes.calls();
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_TRUE(calls[0].text.starts_with(row.startsWith)) << calls[0].text;
        EXPECT_EQ(calls[0].type, row.opensPage ? MB_YESNO : MB_OK);
        const auto opened = rowShell.calls();
        ASSERT_EQ(opened.size(), row.opensPage ? 1u : 0u);
        if (row.opensPage) EXPECT_EQ(opened[0].target, base + "/Kestrelby");
    }
}

TEST_F(PreferencesTest, CheckAtOpeningWaitsForTheWindowSpeaksOnlyOfNewerAndEndsWithIt) {
    registry.store(guitest::intValue("AutoUpdate", 1));
    const struct {
        const char* name;
        std::optional<std::string> body; // none: the site never answers; the window closes meanwhile
        bool speaks;
    } rows[] = {
        {"newer", "9\n9\n9\n9\n", true},
        {"same", versionBody(net::currentProgram().version), false},
        {"held", std::nullopt, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::atomic<bool> release{false};
        LoopbackServer server({[&](Peer& p) {
            p.readRequest();
            for (const auto end = Clock::now() + 5s; !release && Clock::now() < end;) p.pause(10ms);
            if (row.body) p.send("HTTP/1.0 200 OK\r\n\r\n" + *row.body);
            else p.waitForClose();
        }});
        testutil::ScopedEnv site("BRIMVALE_UPDATE_URL", server.base());
        testutil::ScopedMessageBoxScript rowBoxes;
        if (row.speaks) rowBoxes.answer(IDNO);
        Clock::time_point closing;
        open(
            [&](CDialog& d) {
                EXPECT_TRUE(d.isVisible());
                QTRY_COMPARE(server.accepted(), 1);
                EXPECT_TRUE(mainwindow::main(d).updateCheckWaiting());
                if (!row.body) return;
                release = true;
                QTRY_VERIFY(!mainwindow::main(d).updateCheckWaiting());
                EXPECT_EQ(rowBoxes.calls().size(), row.speaks ? 1u : 0u);
            },
            {},
            [&](CDialog& d) {
                closing = Clock::now();
                escape(d);
            });
        EXPECT_LT(Clock::now() - closing, 1s);
        release = true;
        if (row.speaks) EXPECT_TRUE(rowBoxes.texts().at(0).starts_with("There is a newer version")) << rowBoxes.texts().at(0);
    }
}

TEST_F(PreferencesTest, ClosingWritesTheVersionFileOnce) {
    // A build folder of its own, whose bin/ holds the program (this test binary, by a link).
    testutil::TempDir build;
    testutil::writeFile(build / "CMakeCache.txt", "");
    std::filesystem::create_directories(build / "bin");
    std::filesystem::create_directories(build / "brimvaleSetup");
    std::filesystem::create_symlink(std::filesystem::read_symlink("/proc/self/exe"), build / "bin/brimvale");
    std::string expected = BRIMVALE_VERSION;
    for (std::size_t at = 0; (at = expected.find('.', at)) != std::string::npos;) expected.replace(at, 1, "\r\n");
    expected += "\r\n";

    for (void (*close)(CDialog&) : {closeButton, escape}) {
        int asked = 0;
        const auto previous = net::setProgramPathSource([&] {
            ++asked;
            return build / "bin/brimvale";
        });
        open([](CDialog&) {}, {}, close);
        net::setProgramPathSource(previous);
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(testutil::readFile(build / "brimvaleSetup/brimvaleVersion.txt"), expected);
        std::filesystem::remove(build / "brimvaleSetup/brimvaleVersion.txt");
    }
}

} // namespace
