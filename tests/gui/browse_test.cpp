// SPDX-License-Identifier: MIT
// Browsing in the main window, offscreen, over real folders: the folder tree, the file
// list, the preview pane and the montage, ticks and the selection, the size, quality and
// type controls with the summary line, and what marks the settings for writing.
#include "app/brimvaledlg.h"
#include "app/imgtypedlg.h"
#include "browse/formatsize.h"
#include "controls/label.h"
#include "guitest.h"
#include "mainwindow.h"
#include "platform/files.h"
#include "platform/widgets/controls.h"
#include "preview/layout.h"
#include "preview/previewpane.h"
#include "preview/selectedpicture.h"
#include "res/resource.h"
#include "scriptedservices.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;

using namespace mainwindow;

namespace {

const fs::path kOrientation = fs::path(__FILE__).parent_path().parent_path() / "data" / "orientation";

COLORREF surfacePixel(CDialog& d, int x, int y) {
    const std::uint32_t c = d.GetDlgItemAs<CPreviewPane>(IDC_PREVIEW)->surface()->GetPixel(x, y);
    return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

// Close enough for a JPEG round trip and a box filter.
bool close(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= 24 && std::abs(GetGValue(a) - GetGValue(b)) <= 24 &&
           std::abs(GetBValue(a) - GetBValue(b)) <= 24;
}

void chooseFileMenu(CDialog& d, int row, UINT command) {
    const QRect r = files(d)->visualItemRect(files(d)->topLevelItem(row));
    QTest::mouseClick(files(d)->viewport(), Qt::RightButton, {}, r.center());
    QMenu* menu = guitest::openMenu();
    ASSERT_NE(menu, nullptr);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(guitest::actionWithId(menu, command)).center());
}

class BrowseTest : public WindowTest {
protected:
    std::string documents = root / "Documents";
    testutil::ScopedEnv documentDir{"XDG_DOCUMENTS_DIR", documents};
    testutil::ScopedEnv tz{"TZ", std::string("UTC")};

    void SetUp() override {
        tzset();
        for (const char* dir : {"Pictures", "Pictures/Family", "Pictures/.hidden", "Pictures/dir.jpg", "Documents",
                                "Documents/Letters", "Documents/Letters/2011"})
            fs::create_directories(root.path() / dir);
        fs::create_directory_symlink(".", pictures + "/loop");
        fs::create_directory_symlink("/", pictures + "/rootlink");
        writeSplit(pictures + "/wide.jpg", 2000, 1000, kRedInk, kBlueInk, kImageJpeg);
        writeSplit(pictures + "/small.png", 40, 30, kGreenInk, kGreenInk, kImagePng);
        writeSplit(pictures + "/Family/wide.jpg", 800, 600, kGreenInk, kYellowInk, kImageJpeg);
        fs::copy_file(kOrientation / "colour-o6.jpg", pictures + "/portrait.jpg");
        testutil::writeFile(pictures + "/broken.jpg", std::string("\xFF\xD8\xFF\xE0 not a picture"));
        for (const char* other : {"notes.txt", "archive", "x.jpg.bak"}) testutil::writeFile(pictures + "/" + other, "x");
    }

    static void open(const std::function<void(CDialog&)>& check) { guitest::openMainWindow(check); }
    // Lists the pictures folder and shows one of its pictures.
    static void showPicture(CDialog& d, const QString& name) {
        clickItem(d, topItem(d, "Pictures"));
        clickRow(d, name);
    }
    // Reads the pictures folder's structure and lists its Family folder.
    static void listFamily(CDialog& d) {
        doubleClickItem(d, topItem(d, "Pictures"));
        clickItem(d, childItem(d, topItem(d, "Pictures"), "Family"));
    }
};

} // namespace

TEST_F(BrowseTest, TreeHoldsDrivesAndSpecialFoldersAndReadsAStructureOnce) {
    open([&](CDialog& d) {
        EXPECT_EQ(texts(tree(d), nullptr), (QStringList{"/", "Pictures", "Documents"}));
        HTREEITEM pics = topItem(d, "Pictures");
        EXPECT_FALSE(tree(d)->ItemHasChildren(pics)) << "no expander before the structure is read";

        doubleClickItem(d, pics);
        // Folders only, listing order, no dot folders; links are leaves.
        EXPECT_EQ(texts(tree(d), pics), (QStringList{"dir.jpg", "Family", "loop", "rootlink"}));
        EXPECT_FALSE(tree(d)->ItemHasChildren(childItem(d, pics, "loop")));
        EXPECT_FALSE(tree(d)->ItemHasChildren(childItem(d, pics, "rootlink")));
        EXPECT_TRUE(pics->isExpanded());

        // Read once; a folder below the top level reads nothing, whatever its name.
        fs::create_directory(pictures + "/Later");
        doubleClickItem(d, pics);
        EXPECT_EQ(texts(tree(d), pics).size(), 4);
        fs::create_directory(pictures + "/Family/Pictures");
        doubleClickItem(d, childItem(d, pics, "Family"));
        EXPECT_FALSE(tree(d)->ItemHasChildren(childItem(d, pics, "Family")));

        // A root command adds nothing while its item is there; once it is gone, a special
        // folder comes back marked " (Virtual)", read and expanded, and its paths resolve.
        d.OnControlNotify(703, BN_CLICKED);
        EXPECT_EQ(tree(d)->topLevelItemCount(), 3);
        delete tree(d)->takeTopLevelItem(2);
        d.OnControlNotify(703, BN_CLICKED);
        HTREEITEM virt = topItem(d, "Documents (Virtual)");
        ASSERT_NE(virt, nullptr);
        EXPECT_TRUE(virt->isExpanded());
        EXPECT_EQ(main(d).GetItemPath(childItem(d, childItem(d, virt, "Letters"), "2011")),
                  QString::fromStdString(documents + "/Letters/2011"));
        d.OnControlNotify(724, BN_CLICKED); // no entry: nothing
        EXPECT_EQ(tree(d)->topLevelItemCount(), 3);
    });
}

TEST_F(BrowseTest, TreeClickListsPicturesWithDatesAndSizesAndHighlightsTheSavedCropsRow) {
    testutil::writeFile(pictures + "/big.jpg", std::string(1053696, 'x'));
    open([&](CDialog& d) {
        main(d).setSavedCropName("small.png");
        clickItem(d, topItem(d, "Pictures"));
        const QImage shown = guitest::render(files(d)->viewport());
        EXPECT_GT(guitest::countColour(shown, RGB(0, 0, 192)), 50);
        EXPECT_GT(guitest::countNear(shown, RGB(255, 255, 0)), 5);
        EXPECT_EQ(column(files(d), 0),
                  (QStringList{"big.jpg", "broken.jpg", "portrait.jpg", "small.png", "wide.jpg"}));
        EXPECT_EQ(files(d)->GetItemText(0, 2), QStringLiteral("1.5 MB"));
        EXPECT_EQ(files(d)->GetItemText(4, 2), QString::fromStdString(FormatSize(fs::file_size(pictures + "/wide.jpg"))));
        const QRegularExpression date(QStringLiteral("^[A-Z][a-z]{2} \\d\\d, \\d\\d - (0\\d|1[0-2]):\\d\\d:\\d\\d [AP]M$"));
        EXPECT_TRUE(date.match(files(d)->GetItemText(0, 1)).hasMatch()) << files(d)->GetItemText(0, 1).toStdString();
        EXPECT_EQ(d.GetDlgItemText(IDC_FILES_CAPTION), QString::fromStdString(pictures) + " (5 Files)");
        EXPECT_EQ(main(d).currentFolder(), QString::fromStdString(pictures));

        // The empty area below the items changes nothing.
        QTest::mouseClick(tree(d)->viewport(), Qt::LeftButton, {}, QPoint(5, tree(d)->viewport()->height() - 3));
        EXPECT_EQ(main(d).currentFolder(), QString::fromStdString(pictures));
        EXPECT_EQ(files(d)->GetItemCount(), 5);

        listFamily(d);
        EXPECT_EQ(d.GetDlgItemText(IDC_FILES_CAPTION), QString::fromStdString(pictures + "/Family (1 Files)"));
    });
}

TEST_F(BrowseTest, ClickPreviewsUprightFittedPicturesAndSaysWhenOneCannotBeRead) {
    open([&](CDialog& d) {
        const QSize pane = d.GetDlgItemAs<CPreviewPane>(IDC_PREVIEW)->deviceClientSize();
        const int cw = pane.width(), ch = pane.height();
        ASSERT_GT(cw, 2 * ch / 2);
        showPicture(d, "wide.jpg");
        // 2:1 in a wider-than-tall pane: full width, centred vertically.
        const int dh = cw / 2, y = (ch - dh) / 2;
        EXPECT_EQ(platform::toQRect(main(d).previewImageRect()), QRect(0, y, cw, dh));
        EXPECT_TRUE(close(surfacePixel(d, cw / 4, ch / 2), kRedInk));
        EXPECT_TRUE(close(surfacePixel(d, 3 * cw / 4, ch / 2), kBlueInk));
        if (y > 0) {
            EXPECT_EQ(surfacePixel(d, cw / 2, y - 1), RGB(255, 255, 255));
        }
        EXPECT_EQ(d.GetDlgItemText(IDC_PREVIEW_CAPTION), QStringLiteral("Viewing:"));
        EXPECT_TRUE(d.GetDlgItemText(IDC_STATUS).startsWith("wide.jpg: 2000 W x 1000 H, "));
        EXPECT_FALSE(d.GetDlgItem(IDC_SAVECROP)->isEnabled());

        // A photograph stored on its side shows upright; small pictures fill the pane.
        const QImage upright(QString::fromStdString((kOrientation / "upright-colour-o6.png").string()));
        struct Row {
            const char* name;
            std::uint32_t w, h;
            COLORREF corner;
        } rows[] = {{"portrait.jpg", 16, 24, platform::toColorRef(upright.pixelColor(0, 0))},
                    {"small.png", 40, 30, kGreenInk}};
        for (const Row& row : rows) {
            clickRow(d, row.name);
            EXPECT_EQ(main(d).pictureWidth(), row.w) << row.name;
            EXPECT_EQ(main(d).pictureHeight(), row.h) << row.name;
            EXPECT_EQ(platform::toQRect(main(d).previewImageRect()), QRect(0, 0, cw, ch)) << row.name;
            EXPECT_TRUE(close(surfacePixel(d, 2, 2), row.corner)) << row.name;
        }

        // A broken file after a good one: never the previous picture.
        clickRow(d, "broken.jpg");
        EXPECT_EQ(d.GetDlgItemText(IDC_STATUS), QStringLiteral("broken.jpg: Unable to read the image"));
        EXPECT_EQ(main(d).pictureWidth(), 0u);
        EXPECT_EQ(main(d).previewImageRect().Width(), 0);
        EXPECT_EQ(surfacePixel(d, 2, 2), RGB(255, 255, 255));
        const QImage shown = guitest::render(d.GetDlgItem(IDC_PREVIEW));
        int green = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x) green += close(guitest::pixel(shown, x, y), kGreenInk);
        EXPECT_EQ(green, 0);
        EXPECT_GT(guitest::countNear(shown, RGB(0, 0, 0)), 20) << "the pane says it cannot read the picture";

        // A click below the last row changes nothing.
        QTest::mouseClick(files(d)->viewport(), Qt::LeftButton, {}, QPoint(40, files(d)->viewport()->height() - 3));
        EXPECT_EQ(d.GetDlgItemText(IDC_STATUS), QStringLiteral("broken.jpg: Unable to read the image"));
        EXPECT_EQ(main(d).currentPicture(), QString::fromStdString(pictures + "/broken.jpg"));

        // One name in two folders: the second is shown too.
        clickRow(d, "wide.jpg");
        listFamily(d);
        clickRow(d, "wide.jpg");
        EXPECT_EQ(main(d).pictureWidth(), 800u);
        EXPECT_TRUE(close(surfacePixel(d, cw / 4, ch / 2), kGreenInk));
    });
}

TEST_F(BrowseTest, TicksByMouseAndSpaceFollowTheSelection) {
    open([&](CDialog& d) {
        clickItem(d, topItem(d, "Pictures"));
        tick(d, "wide.jpg");
        EXPECT_EQ(column(selected(d), 0), QStringList{"wide.jpg"});
        EXPECT_EQ(selected(d)->GetItemText(0, 1) + "x" + selected(d)->GetItemText(0, 2), QStringLiteral("2000x1000"));
        EXPECT_EQ(main(d).selectedCount(), 1);

        // Space on the focused row.
        files(d)->setCurrentItem(files(d)->topLevelItem(rowOf(d, "small.png")));
        QTest::keyClick(files(d), Qt::Key_Space);
        QCoreApplication::sendPostedEvents();
        EXPECT_TRUE(files(d)->GetCheck(rowOf(d, "small.png")));
        EXPECT_EQ(column(selected(d), 0), (QStringList{"wide.jpg", "small.png"}));

        // A double click on a box ends ticked or not, and the selection agrees with the box.
        const QPoint box = files(d)->checkBoxRect(rowOf(d, "portrait.jpg")).center();
        doubleClick(files(d)->viewport(), box);
        QCoreApplication::sendPostedEvents();
        EXPECT_EQ(files(d)->GetCheck(rowOf(d, "portrait.jpg")) != FALSE,
                  main(d).FindSelectedPicture(QString::fromStdString(pictures + "/portrait.jpg")) >= 0);

        // Unticked by the mouse; ticked again after browsing away and back: one record.
        tick(d, "small.png");
        EXPECT_FALSE(selectedPaths(d).contains(QString::fromStdString(pictures + "/small.png")));
        clickItem(d, topItem(d, "Documents"));
        clickItem(d, topItem(d, "Pictures"));
        EXPECT_FALSE(files(d)->GetCheck(rowOf(d, "wide.jpg"))) << "a tree click does not restore ticks";
        tick(d, "wide.jpg");
        EXPECT_EQ(selectedPaths(d).count(QString::fromStdString(pictures + "/wide.jpg")), 1);
        // Filling the list with marks ticks the rows whose name is selected.
        files(d)->DeleteAllItems();
        EXPECT_EQ(main(d).FillFileList(QString::fromStdString(pictures), true), 4);
        EXPECT_TRUE(files(d)->GetCheck(rowOf(d, "wide.jpg")));
        EXPECT_FALSE(files(d)->GetCheck(rowOf(d, "small.png")));

        // The same name in two folders: unticking one removes its own record and row.
        listFamily(d);
        tick(d, "wide.jpg");
        const int before = main(d).selectedCount();
        tick(d, "wide.jpg");
        EXPECT_EQ(main(d).selectedCount(), before - 1);
        EXPECT_TRUE(selectedPaths(d).contains(QString::fromStdString(pictures + "/wide.jpg")));
        EXPECT_EQ(column(selected(d), 1).count(QStringLiteral("2000")), 1);
        EXPECT_EQ(column(selected(d), 1).count(QStringLiteral("800")), 0);
        EXPECT_EQ(selected(d)->GetItemCount(), main(d).selectedCount());
    });
}

TEST_F(BrowseTest, SelectAllClearAllSelectionsAndClearList) {
    open([&](CDialog& d) {
        listFamily(d);
        tick(d, "wide.jpg");
        clickItem(d, topItem(d, "Pictures"));
        tick(d, "small.png");
        chooseFileMenu(d, 0, ID_FILEMENU_SELECTALL);
        EXPECT_EQ(main(d).selectedCount(), 5) << "four of this folder, one of Family";
        for (int row = 0; row < files(d)->GetItemCount(); ++row) EXPECT_TRUE(files(d)->GetCheck(row)) << row;
        EXPECT_EQ(column(selected(d), 0), (QStringList{"wide.jpg", "small.png", "broken.jpg", "portrait.jpg", "wide.jpg"}));
        EXPECT_EQ(selected(d)->GetItemText(2, 1), QStringLiteral("0")) << "an unreadable picture is 0 x 0";
        EXPECT_TRUE(d.GetDlgItemText(IDC_SELECTED_CAPTION).startsWith("5 images selected."));

        chooseFileMenu(d, 1, ID_FILEMENU_CLEARALLSELECTIONS);
        EXPECT_EQ(selectedPaths(d), QStringList{QString::fromStdString(pictures + "/Family/wide.jpg")});
        EXPECT_EQ(column(selected(d), 1), QStringList{"800"});
        for (int row = 0; row < files(d)->GetItemCount(); ++row) EXPECT_FALSE(files(d)->GetCheck(row)) << row;

        tick(d, "small.png");
        click(d, IDC_CLEARLIST);
        EXPECT_EQ(main(d).selectedCount(), 0);
        EXPECT_EQ(selected(d)->GetItemCount(), 0);
        EXPECT_FALSE(files(d)->GetCheck(rowOf(d, "small.png")));
        EXPECT_EQ(d.GetDlgItemText(IDC_SELECTED_CAPTION), QStringLiteral("No pictures are currently selected."));
    });
}

TEST_F(BrowseTest, SlidersAndSizeRadiosFillTheEdits) {
    struct Row {
        const char* what;
        bool picture;
        int bar;
        UINT code, position;
        bool keepAspect;
        const char *percent, *width, *height;
        int radio;
        std::int32_t choice;
    } rows[] = {
        {"a drag in progress changes nothing", true, 1047, SB_THUMBTRACK, 30, true, "100", "", "", 1205, 4},
        {"percent slider", true, 1047, SB_THUMBPOSITION, 30, true, "30", "600", "300", 1207, 6},
        {"width slider, coupled", true, 1054, SB_THUMBPOSITION, 50, true, "100", "1000", "500", 1208, 7},
        {"width slider alone", true, 1054, SB_THUMBPOSITION, 50, false, "100", "1000", "", 1208, 7},
        {"height slider, coupled", true, 1055, SB_THUMBPOSITION, 25, true, "100", "500", "250", 1208, 7},
        {"channel click", true, 1055, SB_PAGEDOWN, 45, true, "100", "", "", 1205, 4},
        {"no picture yet", false, 1054, SB_THUMBPOSITION, 50, true, "100", "0", "0", 1208, 7},
    };
    for (const Row& row : rows) {
        open([&](CDialog& d) {
            if (row.picture) showPicture(d, "wide.jpg");
            d.CheckDlgButton(IDC_KEEPASPECT, row.keepAspect ? BST_CHECKED : BST_UNCHECKED);
            d.OnControlScroll(d.GetDlgItem(row.bar), true, row.code, row.position);
            EXPECT_EQ(d.GetDlgItemText(IDC_PERCENT_EDIT), row.percent) << row.what;
            EXPECT_EQ(d.GetDlgItemText(IDC_WIDTH_EDIT), row.width) << row.what;
            EXPECT_EQ(d.GetDlgItemText(IDC_HEIGHT_EDIT), row.height) << row.what;
            EXPECT_EQ(d.GetCheckedRadioButton(1201, 1210), row.radio) << row.what;
            EXPECT_EQ(main(d).sizeChoice(), row.choice) << row.what;
            if (row.keepAspect && row.bar == 1054 && row.code == SB_THUMBPOSITION) {
                EXPECT_EQ(d.GetDlgItemAs<CSliderCtrl>(1055)->GetPos(), 50) << row.what;
            }
        });
    }

    open([&](CDialog& d) {
        showPicture(d, "wide.jpg");
        click(d, IDC_SIZE_PERCENT);
        EXPECT_EQ(d.GetDlgItemText(IDC_PERCENT_EDIT), QStringLiteral("50"));
        EXPECT_EQ(d.GetDlgItemAs<CSliderCtrl>(IDC_PERCENT_SLIDER)->GetPos(), 50);
        EXPECT_EQ(main(d).customScale(), 0.5);
        click(d, IDC_SIZE_DIMENSIONS);
        EXPECT_EQ(d.GetDlgItemText(IDC_WIDTH_EDIT) + "x" + d.GetDlgItemText(IDC_HEIGHT_EDIT), QStringLiteral("2000x1000"));
        EXPECT_EQ(d.IsDlgButtonChecked(IDC_KEEPASPECT), BST_CHECKED);
        click(d, IDC_SIZE_1024);
        EXPECT_EQ(d.IsDlgButtonChecked(IDC_KEEPASPECT), BST_UNCHECKED);
        EXPECT_TRUE(main(d).keepAspect()) << "the radio sets the box, not the coupling";
        // Typing a width checks "Set Dimensions"; the percent edit takes any number.
        d.GetDlgItemAs<QLineEdit>(IDC_WIDTH_EDIT)->setText("640");
        EXPECT_EQ(d.GetCheckedRadioButton(1201, 1210), IDC_SIZE_DIMENSIONS);
        EXPECT_EQ(main(d).ComputeTargetSize(2000, 1000).width, 640u);
        d.GetDlgItemAs<QLineEdit>(IDC_PERCENT_EDIT)->setText("250");
        EXPECT_EQ(main(d).customScale(), 2.5);
        // Radios answer the arrow keys of their group like a click.
        d.GetDlgItem(IDC_SIZE_1024)->setFocus();
        QTest::keyClick(d.GetDlgItem(IDC_SIZE_1024), Qt::Key_Down);
        EXPECT_EQ(d.GetCheckedRadioButton(1201, 1210), IDC_SIZE_800);
        EXPECT_EQ(main(d).sizeChoice(), 1);
        EXPECT_EQ(main(d).ComputeTargetSize(3000, 2000).height, 533u);
        // Quality: the slider's end position picks "Set" for values without a radio.
        d.OnControlScroll(d.GetDlgItem(IDC_QUALITY_SLIDER), false, SB_THUMBPOSITION, 60);
        EXPECT_EQ(d.GetCheckedRadioButton(1011, 1017), IDC_QUALITY_SET);
        EXPECT_EQ(main(d).quality(), 60);
        click(d, IDC_QUALITY_90);
        EXPECT_EQ(d.GetDlgItemAs<CSliderCtrl>(IDC_QUALITY_SLIDER)->GetPos(), 90);
        EXPECT_EQ(d.GetDlgItemText(IDC_QUALITY_EDIT), QStringLiteral("90"));
    });
}

TEST_F(BrowseTest, SummaryFollowsTheControls) {
    registry.store(guitest::intValue("Quality", 75) + guitest::intValue("Size", 4));
    struct Row {
        const char* what;
        std::function<void(CDialog&)> act;
        const char* text;
        COLORREF colour;
    } rows[] = { // each after wide.jpg is shown
        {"nothing selected", [](CDialog&) {},
         "No images selected. Current Settings: Size - 50% (1000 x 500); Image Format - a JPG image (extension .jpg); "
         "Quality: 75",
         RGB(128, 0, 0)},
        {"one picture", [](CDialog& d) { tick(d, "wide.jpg"); },
         "1 image selected. It will be saved as a JPG image (extension .jpg), size: 50% (1000 x 500), Quality: 75.",
         RGB(0, 106, 140)},
        {"two, quality and size changed", // a click on a box previews that picture: wide.jpg last
         [](CDialog& d) {
             for (const char* name : {"small.png", "wide.jpg"}) tick(d, name);
             for (const int id : {IDC_QUALITY_100, IDC_SIZE_75}) click(d, id);
         },
         "2 images selected. They will be saved as JPG images (extension .jpg), size: 75% (1500 x 750), Quality: 100 - "
         "no compression.",
         RGB(0, 106, 140)},
    };
    for (const Row& row : rows) {
        open([&](CDialog& d) {
            showPicture(d, "wide.jpg");
            row.act(d);
            auto* label = d.GetDlgItemAs<CLabel>(IDC_SELECTED_CAPTION);
            EXPECT_EQ(label->GetWindowText(), QString::fromLatin1(row.text)) << row.what;
            EXPECT_EQ(label->GetTextColor(), row.colour) << row.what;
        });
    }
}

TEST_F(BrowseTest, WhatMarksTheSettingsChanged) {
    const std::string settings = guitest::intValue("Quality", 75) + guitest::intValue("Size", 4) +
                                 guitest::intValue("SaveType", 2);
    registry.store(settings);
    struct Row {
        const char* what;
        std::function<void(CDialog&)> act;
        bool written;
        int typeButton = 0; // how the type dialog is left, PNG chosen
    } rows[] = {
        {"nothing", [](CDialog&) {}, false},
        {"a preset size", [](CDialog& d) { click(d, IDC_SIZE_1024); }, false},
        {"Set Percent", [](CDialog& d) { click(d, IDC_SIZE_PERCENT); }, true},
        {"a quality radio", [](CDialog& d) { click(d, IDC_QUALITY_50); }, true},
        {"percent slider",
         [](CDialog& d) { d.OnControlScroll(d.GetDlgItem(IDC_PERCENT_SLIDER), true, SB_THUMBPOSITION, 40); }, true},
        {"width slider",
         [](CDialog& d) { d.OnControlScroll(d.GetDlgItem(IDC_WIDTH_SLIDER), true, SB_THUMBPOSITION, 40); }, false},
        {"a typed width", [](CDialog& d) { d.GetDlgItemAs<QLineEdit>(IDC_WIDTH_EDIT)->setText("300"); }, false},
        {"keep aspect", [](CDialog& d) { click(d, IDC_KEEPASPECT); }, false},
        {"type dialog", [](CDialog& d) { click(d, IDC_IMAGETYPE); }, false, IDOK},
        {"type dialog cancelled", [](CDialog& d) { click(d, IDC_IMAGETYPE); }, false, IDCANCEL},
    };
    const std::string before = registry.hive();
    for (const Row& row : rows) {
        CBrimvaleDlg dialog;
        guitest::runModal(dialog, [&](CDialog& d) {
            if (d.GetTemplateId() == IDD_IMAGETYPE) {
                click(d, IDC_TYPE_PNG);
                click(d, row.typeButton);
                return;
            }
            row.act(d);
            // A type chosen shows at once in the summary; Cancel keeps the type.
            EXPECT_EQ(main(d).saveType(), row.typeButton == IDOK ? 1 : 2) << row.what;
            EXPECT_EQ(d.GetDlgItemText(IDC_SELECTED_CAPTION).contains("a PNG image (extension .png)"),
                      row.typeButton == IDOK) << row.what;
            click(d, IDOK);
        });
        EXPECT_EQ(registry.hive() != before, row.written) << row.what;
        registry.store(settings);
    }
}

TEST_F(BrowseTest, TypeDialogShowsTheTypeAndGivesTheChoice) {
    struct Row {
        std::int32_t start;
        int radio; // clicked before the button; 0: none
        int button;
        int shown;
        std::int32_t result;
    } rows[] = {{7, 0, IDOK, IDC_TYPE_JPG, 0},
                {-1, 0, IDOK, IDC_TYPE_JPG, 0},
                {3, 0, IDOK, IDC_TYPE_GIF, 3},
                {0, IDC_TYPE_PSD, IDOK, IDC_TYPE_JPG, 4},
                {2, IDC_TYPE_PNG, IDCANCEL, IDC_TYPE_BMP, 2}};
    for (const Row& row : rows) {
        CImgTypeDlg dialog;
        dialog.m_nType = row.start;
        const INT_PTR result = guitest::runModal(dialog, [&](CDialog& d) {
            EXPECT_EQ(d.GetCheckedRadioButton(IDC_TYPE_JPG, IDC_TYPE_PSD), row.shown) << row.start;
            if (row.radio) click(d, row.radio);
            click(d, row.button);
        });
        EXPECT_EQ(result, row.button) << row.start;
        EXPECT_EQ(dialog.m_nType, row.result) << row.start;
    }
}

TEST_F(BrowseTest, MontageDrawsEverySelectedPictureInItsCell) {
    struct Row {
        std::vector<const char*> names;
        std::vector<COLORREF> cellColours; // at each cell's left quarter, centre height
        int boxes;
    } rows[] = {
        {{"wide.jpg"}, {kRedInk}, 0},
        // The same name in a second folder, a picture of the same proportions.
        {{"wide.jpg", "small.png", "Family/wide.jpg"}, {kRedInk, kGreenInk, kGreenInk}, 0},
        {{"broken.jpg", "small.png"}, {RGB(255, 255, 255), kGreenInk}, 1},
    };
    for (const Row& row : rows) {
        const std::size_t before = boxes.calls().size();
        for (int i = 0; i < row.boxes; ++i) boxes.answer(IDOK);
        open([&](CDialog& d) {
            clickItem(d, topItem(d, "Pictures"));
            for (const QString name : row.names) {
                if (name.startsWith("Family/")) listFamily(d);
                tick(d, name.section('/', -1));
            }
            main(d).ShowMontage();
            CDC* dc = d.GetDlgItemAs<CPreviewPane>(IDC_PREVIEW)->surface();
            // The cells take the proportions of the first picture that could be read.
            const auto& records = main(d).selectedPictures();
            const auto& first = *std::find_if(records.begin(), records.end(), [](auto& r) { return r->m_nWidth > 0; });
            const double aspect = double(first->m_nWidth) / first->m_nHeight;
            const MontageGrid grid = ComputeMontageGrid(int(records.size()), aspect, dc->GetWidth(), dc->GetHeight());
            for (int i = 0; i < int(row.cellColours.size()); ++i) {
                const int x = i % grid.columns * grid.cellWidth + grid.cellWidth / 4;
                const int y = i / grid.columns * grid.cellHeight + grid.cellHeight / 2;
                EXPECT_TRUE(close(surfacePixel(d, x, y), row.cellColours[i])) << row.names.size() << " cell " << i;
            }
        });
        EXPECT_EQ(boxes.calls().size() - before, std::size_t(row.boxes));
        for (const auto& call : boxes.calls()) EXPECT_EQ(call.text, "Unable to resize image");
    }
}

TEST_F(BrowseTest, InputDuringAFolderWalkIsDroppedAndACloseWaitsForIt) {
    open([&](CDialog& d) {
        showPicture(d, "wide.jpg");
        tick(d, "wide.jpg");
        bool fired = false;
        QTimer::singleShot(0, &d, [&] {
            fired = true;
            click(d, IDC_CLEARLIST);
            QTest::keyClick(files(d), Qt::Key_Space);
        });
        doubleClickItem(d, topItem(d, "Pictures"));
        QCoreApplication::processEvents();
        EXPECT_TRUE(fired) << "the window ran its timers during the walk";
        EXPECT_EQ(main(d).selectedCount(), 1) << "the click and the key were dropped, not replayed";
        EXPECT_TRUE(d.isVisible());
    });
    // A close request during the walk (close box or Escape) closes the window once the walk is done.
    for (const bool escape : {false, true}) {
        open([&](CDialog& d) {
            QTimer::singleShot(0, &d, [&] {
                if (escape) QTest::keyClick(&d, Qt::Key_Escape);
                else d.close();
            });
            doubleClickItem(d, topItem(d, "Pictures"));
            EXPECT_FALSE(d.isVisible()) << escape;
            EXPECT_GT(tree(d)->topLevelItem(1)->childCount(), 0);
        });
    }
}

TEST_F(BrowseTest, StartedWithFilesListsTheirFolderTicksThemAndNamesTheRest) {
    CBrimvaleDlg dialog;
    dialog.SetStartupArguments({QString::fromStdString(pictures + "/small.png"), QString::fromStdString(pictures + "/wide.jpg"),
                                QString::fromStdString(documents), QStringLiteral("/nowhere/gone.jpg")});
    guitest::runModal(dialog, [&](CDialog& d) {
        EXPECT_EQ(main(d).currentFolder(), QString::fromStdString(pictures));
        EXPECT_EQ(selectedPaths(d), (QStringList{QString::fromStdString(pictures + "/small.png"),
                                                 QString::fromStdString(pictures + "/wide.jpg")}));
        EXPECT_TRUE(files(d)->GetCheck(rowOf(d, "small.png")));
        EXPECT_FALSE(files(d)->GetCheck(rowOf(d, "portrait.jpg")));
        const QString status = d.GetDlgItemText(IDC_STATUS);
        EXPECT_TRUE(status.contains(QString::fromStdString(documents)) && status.contains("gone.jpg")) << status.toStdString();
        d.EndDialog(IDCANCEL);
    });
}

