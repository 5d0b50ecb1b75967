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

TEST(About, LabelsHaveTheirTextsColoursAndFonts) {
    ASSERT_EQ(platform::logicalDpiY(), 96);
    CAboutDlg dialog;
    guitest::runModal(dialog, [](CDialog& d) {
        EXPECT_EQ(d.windowTitle(), QStringLiteral("About Brimvale"));
        EXPECT_EQ(d.size(), d.GetDialogUnits().size(QSize(270, 170)));
        EXPECT_EQ(d.windowFlags() & Qt::WindowType_Mask, Qt::Dialog);
        EXPECT_EQ(d.minimumSize(), d.maximumSize()) << "no sizing border";

        auto* version = d.GetDlgItemAs<CLabel>(IDC_ABOUT_VERSION);
        EXPECT_EQ(version->GetWindowText(), QStringLiteral("Brimvale " BRIMVALE_VERSION));
        EXPECT_EQ(version->GetTextColor(), RGB(244, 176, 4));
        EXPECT_EQ(version->GetLogFont().lfHeight, -27); // 20 points
        EXPECT_EQ(version->GetLogFont().lfWeight, FW_BOLD);

        auto* copyright = d.GetDlgItemAs<CLabel>(IDC_ABOUT_COPYRIGHT);
        EXPECT_EQ(copyright->GetWindowText(), platform::LoadStringResource(IDS_COPYRIGHT));
        EXPECT_EQ(copyright->GetTextColor(), RGB(0, 0, 128));
        EXPECT_EQ(guitest::pixel(guitest::render(copyright), copyright->width() - 2, copyright->height() - 2),
                  RGB(244, 176, 4));

        auto* address = d.GetDlgItemAs<CLabel>(IDC_ABOUT_ADDRESS);
        EXPECT_EQ(address->GetWindowText(), platform::LoadStringResource(IDS_ADDRESS));
        EXPECT_EQ(address->GetTextColor(), RGB(255, 255, 255));
        EXPECT_EQ(address->GetLogFont().lfWeight, FW_BOLD);
        const QImage gradient = guitest::render(address);
        const int bottom = gradient.height() - 1; // below the text
        EXPECT_EQ(guitest::pixel(gradient, 0, bottom), RGB(192, 0, 0));
        EXPECT_EQ(guitest::pixel(gradient, gradient.width() - 1, bottom), RGB(0, 128, 128));
        EXPECT_GT(guitest::countColour(gradient, RGB(255, 255, 255)), 20) << "white address text";

        auto* mail = d.GetDlgItemAs<CLabel>(IDC_ABOUT_EMAIL);
        auto* web = d.GetDlgItemAs<CLabel>(IDC_ABOUT_WEBSITE);
        EXPECT_EQ(mail->GetLinkKind(), CLabel::LinkMail);
        EXPECT_EQ(web->GetLinkKind(), CLabel::LinkWeb);
        for (CLabel* link : {mail, web}) {
            EXPECT_EQ(link->GetTextColor(), RGB(0, 0, 255));
            EXPECT_TRUE(link->GetFont().underline());
            EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
        }
        EXPECT_TRUE(web->GetLinkTarget().endsWith(QLatin1String("/Kestrelby")));
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
