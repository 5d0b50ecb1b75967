// SPDX-License-Identifier: MIT
// The About box: the version line from the executable's own version record, the five
// labels with their texts, colours and fonts, and the links reaching the shell.
#include "app/aboutdlg.h"
#include "controls/label.h"
#include "guitest.h"
#include "platform/files.h"
#include "platform/widgets/resources.h"
#include "res/resource.h"
#include "scriptedservices.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

TEST(About, VersionLineComesFromTheFilesVersionRecord) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "notes.txt", "no version here");
    struct Row {
        std::string path;
        QString line;
    } rows[] = {
        {platform::modulePath(), QStringLiteral("Brimvale " BRIMVALE_VERSION)},
        {dir / "notes.txt", QStringLiteral("Brimvale (version unknown)")},
        {dir / "missing", QStringLiteral("Brimvale (version unknown)")},
    };
    for (const Row& row : rows) EXPECT_EQ(FormatVersionLine(row.path.c_str()), row.line) << row.path;
}

TEST(About, LabelsAreDrawnInTheirColours) {
    CAboutDlg dialog;
    guitest::runModal(dialog, [](CDialog& d) {
        EXPECT_EQ(d.size(), d.GetDialogUnits().size(QSize(270, 170)));
        EXPECT_EQ(d.minimumSize(), d.maximumSize()) << "no sizing border";
        EXPECT_GT(guitest::countNear(guitest::render(d.GetDlgItem(IDC_ABOUT_VERSION)), RGB(244, 176, 4)), 20);
        QWidget* copyright = d.GetDlgItem(IDC_ABOUT_COPYRIGHT);
        const QImage behind = guitest::render(copyright);
        EXPECT_EQ(guitest::pixel(behind, copyright->width() - 2, copyright->height() - 2), RGB(244, 176, 4));
        EXPECT_GT(guitest::countNear(behind, RGB(0, 0, 128)), 10);
        const QImage gradient = guitest::render(d.GetDlgItem(IDC_ABOUT_ADDRESS));
        const int bottom = gradient.height() - 1; // below the text
        EXPECT_EQ(guitest::pixel(gradient, 0, bottom), RGB(192, 0, 0));
        EXPECT_EQ(guitest::pixel(gradient, gradient.width() - 1, bottom), RGB(0, 128, 128));
        EXPECT_GT(guitest::countColour(gradient, RGB(255, 255, 255)), 20) << "white address text";
        for (int link : {IDC_ABOUT_EMAIL, IDC_ABOUT_WEBSITE})
            EXPECT_GT(guitest::countNear(guitest::render(d.GetDlgItem(link)), RGB(0, 0, 255)), 10) << link;
        QTest::mouseClick(d.GetDlgItemAs<QPushButton>(IDOK), Qt::LeftButton);
    });
}

TEST(About, LinkClicksReachTheShell) {
    testutil::ScopedShellScript shell;
    CAboutDlg dialog;
    const INT_PTR result = guitest::runModal(dialog, [](CDialog& d) {
        QTest::mouseClick(d.GetDlgItem(IDC_ABOUT_EMAIL), Qt::LeftButton);
        QTest::mouseClick(d.GetDlgItem(IDC_ABOUT_WEBSITE), Qt::LeftButton);
        QTest::keyClick(&d, Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    const std::vector<testutil::ShellCall> calls = shell.calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].target, "mailto:support@kestrelby.example");
    EXPECT_EQ(calls[0].verb, "");
    EXPECT_EQ(calls[1].target, kMakerWebAddress);
    EXPECT_EQ(calls[1].verb, "open");
}
