// SPDX-License-Identifier: MIT
// The main window, opened on a registry folder of the test's own: its controls, what the
// stored settings show, the window menu, closing with and without writing the settings,
// the owner-drawn buttons, the About box and the help page.
#include "app/brimvaleapp.h"
#include "app/brimvaledlg.h"
#include "controls/groupctrlex.h"
#include "controls/label.h"
#include "guitest.h"
#include "platform/widgets/controls.h"
#include "platform/widgets/resources.h"
#include "res/resource.h"
#include "scriptedservices.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using guitest::intValue;

// The head of the settings file, down to the program's own key.
const std::string kKey = "REGEDIT4\n\n[Software]\n\n[Software\\Brimvale]\n";

class MainWindowTest : public ::testing::Test {
protected:
    guitest::TempRegistry registry;
    testutil::ScopedMessageBoxScript boxes; // the window shows no box unless a test expects one
    testutil::ScopedShellScript shell;

    static void open(const std::function<void(CDialog&)>& check, const std::function<void(CDialog&)>& close = {}) {
        guitest::openMainWindow(check, close);
    }
    static void clickClose(CDialog& d) { QTest::mouseClick(d.GetDlgItemAs<QPushButton>(IDOK), Qt::LeftButton); }
    static bool autoUpdateChecked(CDialog& d) {
        return d.GetSystemMenu(FALSE)->GetMenuState(IDM_AUTOUPDATE, MF_BYCOMMAND) & MF_CHECKED;
    }
    // Chooses a window-menu item as the user does: Alt+Space, then a click on the item.
    static void chooseFromMenu(CDialog& d, UINT id) {
        QTest::keyClick(&d, Qt::Key_Space, Qt::AltModifier);
        QMenu* menu = guitest::openMenu();
        ASSERT_NE(menu, nullptr);
        QAction* action = guitest::actionWithId(menu, id);
        ASSERT_NE(action, nullptr);
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }
};

} // namespace

TEST_F(MainWindowTest, FirstRunShowsFiftyPercentAndQualitySeventyFiveAndCloseWritesThem) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen->geometry().size() * screen->devicePixelRatio();
    open(
        [&](CDialog& d) {
            EXPECT_FALSE(d.GetDlgItem(1076)->isEnabled()) << "Save Crop waits for a crop";
            // A main window with a sizing border and minimise and maximise boxes.
            EXPECT_EQ(d.windowFlags() & Qt::WindowType_Mask, Qt::Window);
            EXPECT_TRUE(d.windowFlags() & Qt::WindowMinimizeButtonHint);
            EXPECT_TRUE(d.windowFlags() & Qt::WindowMaximizeButtonHint);
            EXPECT_NE(d.minimumSize(), d.maximumSize());
            EXPECT_EQ(d.GetCheckedRadioButton(1201, 1210), 1205);
            EXPECT_EQ(d.GetCheckedRadioButton(1011, 1017), 1013);
            EXPECT_EQ(d.GetDlgItemText(1046), QStringLiteral("75"));
            EXPECT_EQ(d.GetDlgItemText(1026), QStringLiteral("100"));
            EXPECT_EQ(d.IsDlgButtonChecked(1056), BST_CHECKED);
            EXPECT_EQ(d.GetDlgItemAs<CSliderCtrl>(1045)->GetPos(), 75) << "the slider shows the quality in use";
            EXPECT_FALSE(autoUpdateChecked(d));
            EXPECT_EQ(d.GetDlgItemAs<CComboBox>(1039)->GetCount(), 0);
            EXPECT_EQ(d.GetDlgItemText(1210), QStringLiteral("Screen: %1 X %2").arg(size.width()).arg(size.height()));
        },
        clickClose);
    EXPECT_EQ(registry.hive(), kKey + intValue("Quality", 75) + intValue("Size", 4) + intValue("SaveType", 0) +
                                   intValue("DefaultQuality", 1) + intValue("DefaultSize", 1) +
                                   intValue("UseSourceFolder", 0) + intValue("AutoUpdate", 0) +
                                   "\"Destination0\"=\"\"\n");
}

TEST_F(MainWindowTest, StoredQualityAndSizePickTheirRadiosWhileSliderAndEditShowTheQuality) {
    struct Row {
        std::uint32_t quality;
        int qualityRadio;
        int shown;
        std::uint32_t size;
        int sizeRadio;
        UINT keepAspect;
    } rows[] = {{80, 1011, 80, 0, 1201, BST_UNCHECKED},  {25, 1011, 25, 1, 1202, BST_UNCHECKED},
                {50, 1012, 50, 2, 1203, BST_UNCHECKED},  {75, 1013, 75, 3, 1204, BST_UNCHECKED},
                {90, 1014, 90, 4, 1205, BST_CHECKED},    {100, 1015, 100, 5, 1206, BST_CHECKED},
                {1, 1011, 1, 6, 1207, BST_CHECKED},      {150, 1013, 75, 7, 1208, BST_CHECKED},
                {75, 1013, 75, 8, 1209, BST_CHECKED},    {75, 1013, 75, 9, 1210, BST_UNCHECKED},
                {75, 1013, 75, 12, 1205, BST_CHECKED}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.quality << " " << row.size);
        registry.store(intValue("Quality", row.quality) + intValue("Size", row.size));
        open([&](CDialog& d) {
            EXPECT_EQ(d.GetCheckedRadioButton(1011, 1017), row.qualityRadio);
            EXPECT_EQ(d.GetDlgItemAs<CSliderCtrl>(1045)->GetPos(), row.shown);
            EXPECT_EQ(d.GetDlgItemText(1046), QString::number(row.shown));
            EXPECT_EQ(d.GetCheckedRadioButton(1201, 1210), row.sizeRadio);
            EXPECT_EQ(d.IsDlgButtonChecked(1056), row.keepAspect);
        });
    }
}

TEST_F(MainWindowTest, CustomPercentAndDimensionsFillTheirEdits) {
    registry.store(intValue("Size", 7) + intValue("ImgWidth", 640) + intValue("ImgHeight", 480));
    open([](CDialog& d) {
        EXPECT_EQ(d.GetDlgItemText(1052), QStringLiteral("640"));
        EXPECT_EQ(d.GetDlgItemText(1053), QStringLiteral("480"));
        EXPECT_EQ(d.GetDlgItemText(1026), QStringLiteral("100"));
    });
    registry.store(intValue("Size", 6) + "\"CustomSize\"=hex:00,00,00,00,00,00,e0,3f\n"); // 0.5
    open([](CDialog& d) {
        EXPECT_EQ(d.GetDlgItemText(1026), QStringLiteral("50"));
        EXPECT_EQ(d.GetDlgItemText(1052), QString());
    });
}

TEST_F(MainWindowTest, DestinationHistoryFillsTheSortedComboAndTheLabelAndCaptionsHaveTheirColours) {
    registry.store("\"Destination0\"=\"/pictures/zebra\"\n"
                   "\"Destination1\"=\"/pictures/Apple\"\n"
                   "\"Destination2\"=\"/pictures/mango\"\n");
    open([](CDialog& d) {
        auto* combo = d.GetDlgItemAs<CComboBox>(1039);
        QStringList items;
        for (int i = 0; i < combo->GetCount(); ++i) items << combo->GetLBText(i);
        EXPECT_EQ(items, (QStringList{"/pictures/Apple", "/pictures/mango", "/pictures/zebra"}));
        EXPECT_EQ(d.GetDlgItemText(1039), QStringLiteral("/pictures/zebra"));
        EXPECT_EQ(combo->GetCurSel(), 2) << "Destination0 stays selected";
        EXPECT_EQ(d.GetDlgItemText(1049), QStringLiteral("/pictures/zebra"));

        for (auto [id, colour] : {std::pair{1035, RGB(0, 0, 255)}, std::pair{1036, RGB(0, 0, 255)},
                                  std::pair{1058, RGB(70, 98, 158)}, std::pair{1059, RGB(70, 98, 158)},
                                  std::pair{1050, RGB(255, 0, 0)}})
            EXPECT_GT(guitest::countNear(guitest::render(d.GetDlgItem(id)), colour), 10) << id;
        const QImage image = guitest::render(d.GetDlgItem(1049));
        EXPECT_EQ(guitest::pixel(image, image.width() - 2, image.height() - 2), RGB(254, 235, 155));
        EXPECT_GT(guitest::countNear(image, RGB(0, 0, 192)), 20);
    });
}

TEST_F(MainWindowTest, EscapeLeavesTheHiveAndCloseOrEnterWritesIt) {
    const std::string stored = intValue("Quality", 90) + intValue("Size", 5) + "\"Destination0\"=\"/pictures/out\"\n";
    open([](CDialog&) {}); // first run, Escape: nothing written
    EXPECT_FALSE(registry.exists());
    registry.store(stored);
    const std::string before = registry.hive();
    open([](CDialog& d) { chooseFromMenu(d, IDM_AUTOUPDATE); }); // Escape
    EXPECT_EQ(registry.hive(), before);

    open([](CDialog&) {}, clickClose); // nothing changed: nothing written
    EXPECT_EQ(registry.hive(), before);

    open([](CDialog& d) { chooseFromMenu(d, IDM_AUTOUPDATE); }, clickClose);
    // Values already stored keep their places in the file; new ones follow.
    EXPECT_EQ(registry.hive(), kKey + stored + intValue("SaveType", 0) + intValue("DefaultQuality", 1) +
                                   intValue("DefaultSize", 1) + intValue("UseSourceFolder", 0) +
                                   intValue("AutoUpdate", 1));
    // Enter closes like "Close Brimvale".
    open([](CDialog& d) { chooseFromMenu(d, IDM_AUTOUPDATE); }, [](CDialog& d) { QTest::keyClick(&d, Qt::Key_Return); });
    EXPECT_NE(registry.hive().find("\"AutoUpdate\"=hex:00,00,00,00"), std::string::npos);
}

TEST_F(MainWindowTest, AutoUpdateItemTogglesItsCheckAndTwoTogglesStillCountAsAChange) {
    registry.store(intValue("AutoUpdate", 1));
    open(
        [](CDialog& d) {
            EXPECT_TRUE(autoUpdateChecked(d));
            chooseFromMenu(d, IDM_AUTOUPDATE);
            EXPECT_FALSE(autoUpdateChecked(d));
            chooseFromMenu(d, IDM_AUTOUPDATE);
            EXPECT_TRUE(autoUpdateChecked(d));
        },
        clickClose);
    EXPECT_NE(registry.hive().find("\"UseSourceFolder\""), std::string::npos);
    EXPECT_NE(registry.hive().find("\"AutoUpdate\"=hex:01,00,00,00"), std::string::npos);
}

TEST_F(MainWindowTest, MenuButtonInTheCornerOpensTheWindowMenuWhoseAboutItemShowsTheVersion) {
    QString version;
    int aboutRuns = 0;
    CBrimvaleDlg dialog;
    guitest::runModal(dialog, [&](CDialog& d) {
        if (d.GetTemplateId() == IDD_ABOUTBOX) {
            ++aboutRuns;
            version = d.GetDlgItemText(IDC_ABOUT_VERSION);
            QTest::mouseClick(d.GetDlgItemAs<QPushButton>(IDOK), Qt::LeftButton);
            return;
        }
        auto* button = d.findChild<SystemMenuButton*>();
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->geometry().right(), d.GetDialogUnits().x(643) - 1) << "at the right edge of the controls";
        EXPECT_LT(button->geometry().top(), d.GetDialogUnits().y(8));
        QTest::mouseClick(button, Qt::LeftButton);
        QMenu* menu = guitest::openMenu();
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu, d.GetSystemMenu(FALSE)->menu());
        const QRect about = menu->actionGeometry(guitest::actionWithId(menu, IDM_ABOUTBOX));
        QTest::mouseClick(menu, Qt::LeftButton, {}, about.center());
        EXPECT_TRUE(d.isVisible()) << "the main window stays open";
        QTest::keyClick(&d, Qt::Key_Escape);
    });
    EXPECT_EQ(aboutRuns, 1);
    EXPECT_EQ(version, QStringLiteral("Brimvale " BRIMVALE_VERSION));
}

TEST_F(MainWindowTest, OwnerDrawnButtonsArePaintedRaisedOrSunkenWithTheirColours) {
    struct Row {
        int id;
        COLORREF textBackground; // the cells of the text
        COLORREF text;
    } rows[] = {{1019, RGB(128, 128, 240), RGB(255, 0, 0)},
                {1020, RGB(240, 240, 240), RGB(0, 0, 255)},
                {1033, RGB(240, 240, 240), RGB(0, 0, 255)},
                {1061, RGB(255, 255, 0), RGB(0, 0, 255)}};
    open([&](CDialog& d) {
        for (const Row& row : rows) {
            auto* button = d.GetDlgItemAs<QPushButton>(row.id);
            ASSERT_NE(button, nullptr);
            const int w = button->width(), h = button->height();
            QImage image = guitest::render(button);
            // Raised: light outer and inner lines at the top left, dark ones at the bottom right.
            EXPECT_EQ(guitest::pixel(image, 0, h / 2), platform::GetSysColor(COLOR_3DLIGHT)) << row.id;
            EXPECT_EQ(guitest::pixel(image, 1, h / 2), platform::GetSysColor(COLOR_3DHILIGHT)) << row.id;
            EXPECT_EQ(guitest::pixel(image, w - 1, h / 2), platform::GetSysColor(COLOR_3DDKSHADOW)) << row.id;
            EXPECT_EQ(guitest::pixel(image, w - 2, h / 2), platform::GetSysColor(COLOR_3DSHADOW)) << row.id;
            EXPECT_EQ(guitest::pixel(image, 2, h - 3), RGB(240, 240, 240)) << row.id;
            EXPECT_GT(guitest::countColour(image, row.textBackground), 10) << row.id;
            EXPECT_GT(guitest::countNear(image, row.text), 10) << row.id;

            button->setDown(true); // pressed: the edges turn round
            image = guitest::render(button);
            button->setDown(false);
            EXPECT_EQ(guitest::pixel(image, 0, h / 2), platform::GetSysColor(COLOR_3DSHADOW)) << row.id;
            EXPECT_EQ(guitest::pixel(image, 1, h / 2), platform::GetSysColor(COLOR_3DDKSHADOW)) << row.id;
            EXPECT_EQ(guitest::pixel(image, w - 1, h / 2), platform::GetSysColor(COLOR_3DHILIGHT)) << row.id;
            EXPECT_EQ(guitest::pixel(image, w - 2, h / 2), platform::GetSysColor(COLOR_3DLIGHT)) << row.id;
        }
        // The type button's three lines start at its top; the others are centred on one line.
        const QImage type = guitest::render(d.GetDlgItem(1061));
        int lowestYellow = 0;
        for (int y = 0; y < type.height(); ++y)
            for (int x = 0; x < type.width(); ++x)
                if (guitest::pixel(type, x, y) == RGB(255, 255, 0)) lowestYellow = y;
        EXPECT_LT(lowestYellow, type.height() * 3 / 4);
    });
}

TEST_F(MainWindowTest, MinimisedWindowDrawsItsIconCentred) {
    open([](CDialog& d) {
        d.showMinimized();
        QCoreApplication::processEvents();
        ASSERT_TRUE(d.IsIconic());
        // The window's own painting; the desktop shows no controls of a minimised window.
        QImage image(d.size(), QImage::Format_RGB32);
        d.render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        d.showNormal();
        const QImage icon = d.windowIcon().pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
        const int x = (image.width() - 32 + 1) / 2, y = (image.height() - 32 + 1) / 2;
        int opaque = 0, same = 0;
        for (int dy = 0; dy < 32; ++dy)
            for (int dx = 0; dx < 32; ++dx) {
                if (icon.pixelColor(dx, dy).alpha() != 255) continue;
                ++opaque;
                same += guitest::pixel(image, x + dx, y + dy) == guitest::pixel(icon, dx, dy);
            }
        EXPECT_GT(opaque, 500);
        EXPECT_EQ(same, opaque);
        EXPECT_EQ(guitest::pixel(image, x - 2, y - 2), platform::GetSysColor(COLOR_3DFACE));
    });
}

TEST_F(MainWindowTest, HelpButtonOpensTheHelpPageThroughTheShell) {
    testutil::TempDir cache;
    testutil::ScopedEnv cacheHome("XDG_CACHE_HOME", cache.str());
    CBrimvaleApp application; // the help command is the application's
    open([](CDialog& d) { QTest::mouseClick(d.GetDlgItemAs<QPushButton>(ID_HELP), Qt::LeftButton); });
    const std::vector<testutil::ShellCall> calls = shell.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].verb, "open");
    EXPECT_EQ(calls[0].target, cache / "brimvale/help/brimvale.html");
    EXPECT_NE(testutil::readFile(calls[0].target).find("<title>Brimvale Help</title>"), std::string::npos);
}
