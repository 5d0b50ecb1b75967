// SPDX-License-Identifier: MIT
// The folder browser, offscreen, over a home folder of the test's own: where it opens, what
// OK, Cancel, Enter and Escape give for tree picks and typed paths, new folders and renaming.
#include "browse/folderdialog.h"
#include "guitest.h"
#include "mainwindow.h"
#include "platform/files.h"
#include "platform/widgets/controls.h"
#include "res/resource.h"
#include "scriptedservices.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using mainwindow::click;
using mainwindow::texts;

namespace {

CTreeCtrl* tree(CDialog& d) { return d.GetDlgItemAs<CTreeCtrl>(IDC_FOLDER_TREE); }
QLineEdit* edit(CDialog& d) { return d.GetDlgItemAs<QLineEdit>(IDC_FOLDER_EDIT); }

void clickItem(CDialog& d, HTREEITEM item) {
    QTest::mouseClick(tree(d)->viewport(), Qt::LeftButton, {}, tree(d)->visualItemRect(item).center());
}

// The label editor a new folder or F2 opens: gets a name, committed as Enter does.
void nameLabel(const QString& name) {
    auto* label = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(label, nullptr);
    label->selectAll();
    QTest::keyClicks(label, name);
    QTest::keyClick(label, Qt::Key_Return);
    QCoreApplication::processEvents(); // the label commits after the key
}

void type(CDialog& d, const QString& text) {
    edit(d)->clear();
    QTest::keyClicks(edit(d), text);
}

class FolderDialogTest : public ::testing::Test {
protected:
    testutil::TempDir root;
    std::string home = root / "home";
    std::string pictures = home + "/Pictures";
    std::string deep = home + "/Documents/" + std::string(120, 'a') + "/" + std::string(120, 'b') + "/" +
                       std::string(120, 'c');
    testutil::ScopedEnv homeEnv{"HOME", home};
    testutil::ScopedEnv pictureDir{"XDG_PICTURES_DIR", pictures};
    testutil::ScopedEnv documentDir{"XDG_DOCUMENTS_DIR", home + "/Documents"};
    testutil::ScopedEnv desktopDir{"XDG_DESKTOP_DIR", home + "/NoDesktop"}; // missing: left out
    testutil::ScopedMessageBoxScript boxes;
    std::string previousMounts;
    int beeps = 0;

    void SetUp() override {
        testutil::writeFile(root / "mounts", "/dev/sda1 / ext4 rw 0 0\n");
        previousMounts = platform::setMountsFile(root / "mounts");
        for (const char* dir : {"Pictures/Trips/2023", "Pictures/.cache", "Pictures/Zoo", "Documents"})
            fs::create_directories(fs::path(home) / dir);
        fs::create_directories(deep);
        testutil::writeFile(pictures + "/notes.txt", "x");
        CFolderDialog::SetBeepHook([this] { ++beeps; });
    }
    void TearDown() override {
        CFolderDialog::SetBeepHook({});
        platform::setMountsFile(previousMounts);
    }
};

TEST_F(FolderDialogTest, OpensOnTheInitialFolderOrItsNearestExistingParent) {
    const struct {
        std::string initial, shown;
        QString label;
    } rows[] = {
        {pictures + "/Trips/2023", pictures + "/Trips/2023", "2023"},
        {pictures + "/Trips/gone/deeper", pictures + "/Trips", "Trips"},
        {pictures + "/.cache", pictures + "/.cache", ".cache"}, // hidden in the tree, shown when asked for
        {"", home, "Home"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.initial);
        CFolderDialog dialog(QString::fromStdString(row.initial), nullptr);
        guitest::runModal(dialog, [&](CDialog& d) {
            EXPECT_EQ(texts(tree(d), nullptr), (QStringList{"Home", "Pictures", "Documents", "/"}));
            const QString shown = QString::fromStdString(row.shown);
            EXPECT_EQ(edit(d)->text(), shown);
            EXPECT_EQ(tree(d)->currentItem()->text(0), row.label);
            EXPECT_EQ(QApplication::focusWidget(), edit(d));
            EXPECT_EQ(edit(d)->selectedText(), shown);
            if (row.label == "Trips") {
                EXPECT_EQ(texts(tree(d), tree(d)->currentItem()->parent()), (QStringList{"Trips", "Zoo"}));
            }

            // The tree and the field take a larger window's room; the buttons keep their corner.
            QPushButton* ok = d.GetDlgItemAs<QPushButton>(IDOK);
            const QSize treeSize = tree(d)->size(), editSize = edit(d)->size();
            const int okRight = d.width() - ok->geometry().right(), okBottom = d.height() - ok->geometry().bottom();
            d.resize(d.size() + QSize(120, 80));
            EXPECT_EQ(tree(d)->size(), treeSize + QSize(120, 80));
            EXPECT_EQ(edit(d)->size(), editSize + QSize(120, 0));
            EXPECT_EQ(d.width() - ok->geometry().right(), okRight);
            EXPECT_EQ(d.height() - ok->geometry().bottom(), okBottom);
            QTest::keyClick(&d, Qt::Key_Escape);
        });
    }
}

TEST_F(FolderDialogTest, OkCancelEnterAndEscape) {
    const std::string documents = home + "/Documents";
    const struct {
        const char* name;
        std::function<void(CDialog&)> drive;
        INT_PTR result;
        std::string path;
        int beeps;
    } rows[] = {
        {"Enter on the initial folder", [](CDialog& d) { QTest::keyClick(edit(d), Qt::Key_Return); }, IDOK,
         pictures + "/Trips", 0},
        {"tree pick", [](CDialog& d) { clickItem(d, tree(d)->topLevelItem(2)); click(d, IDOK); }, IDOK, documents, 0},
        {"typed folder", [&](CDialog& d) { type(d, QString::fromStdString(documents + "/")); click(d, IDOK); },
         IDOK, documents, 0},
        {"typed relative name", [](CDialog& d) { type(d, "2023"); QTest::keyClick(edit(d), Qt::Key_Return); },
         IDOK, pictures + "/Trips/2023", 0},
        {"typed path over 260 characters", [&](CDialog& d) { type(d, QString::fromStdString(deep)); click(d, IDOK); },
         IDOK, deep, 0},
        {"typed relative climb", [](CDialog& d) { type(d, "../Zoo"); click(d, IDOK); }, IDOK, pictures + "/Zoo", 0},
        {"typed file, then Escape", [&](CDialog& d) {
             type(d, QString::fromStdString(pictures + "/notes.txt"));
             click(d, IDOK);
             EXPECT_TRUE(d.isVisible());
             QTest::keyClick(edit(d), Qt::Key_Return);
             EXPECT_TRUE(d.isVisible());
             QTest::keyClick(edit(d), Qt::Key_Escape);
         }, IDCANCEL, "", 2},
        {"typed missing name, then Cancel", [](CDialog& d) { type(d, "nowhere"); click(d, IDOK); click(d, IDCANCEL); },
         IDCANCEL, "", 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        beeps = 0;
        CFolderDialog dialog(QString::fromStdString(pictures + "/Trips"), nullptr);
        EXPECT_EQ(guitest::runModal(dialog, row.drive), row.result);
        EXPECT_EQ(dialog.m_szFolderPath.toStdString(), row.path);
        EXPECT_EQ(beeps, row.beeps);
    }
}

TEST_F(FolderDialogTest, MakeNewFolderNumbersTheNameAndRenamesOnDisk) {
    CFolderDialog dialog(QString::fromStdString(pictures), nullptr);
    const INT_PTR result = guitest::runModal(dialog, [&](CDialog& d) {
        // Each new folder is made in the selected one, selected, with its label open for a name.
        click(d, IDC_FOLDER_NEW);
        nameLabel("New Folder");
        clickItem(d, tree(d)->topLevelItem(1));
        click(d, IDC_FOLDER_NEW);
        EXPECT_TRUE(fs::is_directory(pictures + "/New Folder"));
        EXPECT_TRUE(fs::is_directory(pictures + "/New Folder (2)"));
        EXPECT_EQ(edit(d)->text(), QString::fromStdString(pictures + "/New Folder (2)"));

        // A name already taken is refused, and the folder of that name is left alone.
        boxes.answer(IDOK);
        nameLabel("New Folder");
        ASSERT_EQ(boxes.calls().size(), 1u);
        EXPECT_EQ(boxes.calls()[0].text, "Unable to rename \"New Folder (2)\" in " + pictures +
                                             ". Something named \"New Folder\" is already there.");
        EXPECT_TRUE(fs::is_directory(pictures + "/New Folder (2)"));
        EXPECT_EQ(tree(d)->currentItem()->text(0), QStringLiteral("New Folder (2)"));

        QTest::keyClick(tree(d), Qt::Key_F2);
        nameLabel("Beach");
        EXPECT_FALSE(fs::exists(pictures + "/New Folder (2)"));
        EXPECT_TRUE(fs::is_directory(pictures + "/Beach"));
        EXPECT_EQ(texts(tree(d), tree(d)->currentItem()->parent()),
                  (QStringList{"Beach", "New Folder", "Trips", "Zoo"}));
        QTest::keyClick(tree(d), Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(dialog.m_szFolderPath.toStdString(), pictures + "/Beach");
}

} // namespace
