// SPDX-License-Identifier: MIT
// Saving from the main window, offscreen, on real folders: the destination controls and
// their history, "Save Images" with its texts, colours, questions and failures, what the
// window refuses while a run lasts, and that no run touches a source or leaves a temporary.
#include "browse/formatsize.h"
#include "browse/savetext.h"
#include "controls/label.h"
#include "corpus.h"
#include "guitest.h"
#include "mainwindow.h"
#include "platform/files.h"
#include "scriptedservices.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

namespace fs = std::filesystem;
using namespace mainwindow;

namespace {

CComboBox* combo(CDialog& d) { return d.GetDlgItemAs<CComboBox>(IDC_DESTINATIONS); }
// Types into the destination box as the user does.
void typeDestination(CDialog& d, const QString& text) {
    combo(d)->setEditText(text);
    d.OnControlNotify(IDC_DESTINATIONS, CBN_EDITCHANGE);
}
QStringList comboTexts(CDialog& d) {
    QStringList out;
    for (int i = 0; i < combo(d)->GetCount(); ++i) out << combo(d)->GetLBText(i);
    return out;
}

// "Set Folder" with the folder browser answered: a typed path and OK, or Cancel.
void setFolder(CDialog& d, const std::optional<std::string>& folder) {
    const CDialog::ModalHook outer = CDialog::SetModalHook([&](CDialog& browser) {
        if (folder) {
            auto* edit = browser.GetDlgItemAs<QLineEdit>(IDC_FOLDER_EDIT);
            edit->setText(QString::fromStdString(*folder));
            browser.OnControlNotify(IDOK, BN_CLICKED);
        } else {
            browser.OnControlNotify(IDCANCEL, BN_CLICKED);
        }
    });
    click(d, IDC_SETFOLDER);
    CDialog::SetModalHook(outer);
}

class SaveTest : public WindowTest {
protected:
    std::string out = root / "out";
    testutil::ScopedEnv documentDir{"XDG_DOCUMENTS_DIR", root / "NoDocuments"};
    std::map<std::string, std::string> sources; // name → bytes before any run

    void SetUp() override {
        fs::create_directories(pictures);
        fs::create_directories(out);
        writeSplit(pictures + "/a.jpg", 200, 100, kRedInk, kBlueInk, kImageJpeg);
        writeSplit(pictures + "/b.png", 120, 90, kGreenInk, kYellowInk, kImagePng);
        writeSplit(pictures + "/c.jpg", 90, 120, kBlueInk, kGreenInk, kImageJpeg);
        testutil::writeFile(pictures + "/d.jpg", std::string("\xFF\xD8\xFF\xE0 not a picture"));
        for (const char* name : {"a.jpg", "b.png", "c.jpg", "d.jpg"})
            sources[name] = testutil::readFile(pictures + "/" + name);
        store();
    }
    void TearDown() override {
        for (const auto& [name, bytes] : sources)
            EXPECT_EQ(testutil::readFile(pictures + "/" + name), bytes) << "source " << name << " changed";
        for (const std::string& dir : {pictures, out})
            if (fs::is_directory(dir)) {
                for (const std::string& name : testutil::namesIn(dir)) EXPECT_NE(name[0], '.') << "left behind: " << name;
            }
    }

    // Settings: 50 %, quality 75, the type, and a destination history.
    void store(int saveType = 0, const std::string& destinations = {}) {
        registry.store(guitest::intValue("Quality", 75) + guitest::intValue("Size", 4) +
                       guitest::intValue("SaveType", saveType) +
                       (destinations.empty() ? "\"Destination0\"=\"" + out + "\"\n" : destinations));
    }
    // Lists the pictures folder and ticks these pictures, in this order.
    static void select(CDialog& d, const QStringList& names) {
        clickItem(d, topItem(d, "Pictures"));
        for (const QString& name : names) tick(d, name);
    }
    static QString status(CDialog& d) { return d.GetDlgItemText(IDC_STATUS); }
    static COLORREF statusColour(CDialog& d) { return d.GetDlgItemAs<CLabel>(IDC_STATUS)->GetTextColor(); }
};

// Pixels of dark blue text ("Saved picture: 1") in a rendering.
int navyInk(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const COLORREF c = guitest::pixel(image, x, y);
            n += GetBValue(c) >= GetRValue(c) + 60 && GetBValue(c) >= GetGValue(c) + 60 && GetBValue(c) < 200;
        }
    return n;
}

// The end of a run, failed or not: the selection is empty and says so.
void expectCleared(CDialog& d) {
    EXPECT_EQ(main(d).selectedCount(), 0);
    EXPECT_EQ(selected(d)->GetItemCount(), 0);
    EXPECT_EQ(d.GetDlgItemText(IDC_SELECTED_CAPTION), QStringLiteral("List cleared; no pictures currently selected."));
    EXPECT_FALSE(main(d).saveProgress() && main(d).saveProgress()->isVisible());
}

} // namespace

TEST_F(SaveTest, EveryTypeIsWrittenAsTheCommandLineWritesIt) {
    // A photograph with a colour profile keeps it, in the window as on the command line.
    REQUIRE_CORPUS(corpus);
    fs::copy_file(corpus / "pillow/ok/jpeg/pil_sample_rgb.jpg", pictures + "/icc.jpg");
    sources["icc.jpg"] = testutil::readFile(pictures + "/icc.jpg");
    const struct {
        int saveType;
        const char* type;
    } rows[] = {{0, "jpg"}, {1, "png"}, {2, "bmp"}, {3, "gif"}, {4, "psd"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        store(row.saveType);
        guitest::openMainWindow([&](CDialog& d) {
            select(d, {"a.jpg", "icc.jpg"});
            click(d, IDC_SAVEIMAGES);
        });
        const std::string cli = root / "cli";
        const std::string command = std::string(BRIMVALE_RESIZE_PATH) + " --quiet -s 50% -q 75 -t " + row.type +
                                    " -d " + cli + " " + pictures + "/a.jpg " + pictures + "/icc.jpg > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        for (const std::string stem : {"a", "icc"}) {
            const std::string name = stem + "_50pc." + row.type;
            EXPECT_EQ(testutil::readFile(out + "/" + name), testutil::readFile(cli + "/" + name)) << name;
            EXPECT_FALSE(testutil::readFile(cli + "/" + name).empty()) << name;
        }
    }
    EXPECT_NE(testutil::readFile(out + "/icc_50pc.jpg").find("ICC_PROFILE"), std::string::npos);
}

TEST_F(SaveTest, RunsNameTheirPicturesCountThemAndSumTheirSizes) {
    const struct {
        QStringList names;
        bool sourceFolder;
        std::vector<std::string> outputs;
        const char* summary; // "%d picture%s saved to %s"
    } rows[] = {
        {{"b.png"}, false, {"b_50pc.jpg"}, "1 picture saved to "},
        {{"c.jpg", "a.jpg", "b.png"}, false, {"a_50pc.jpg", "b_50pc.jpg", "c_50pc.jpg"}, "3 pictures saved to "},
        {{"a.jpg", "b.png"}, true, {"a_50pc.jpg", "b_50pc.jpg"}, "2 pictures saved to "},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.names.join(",").toStdString());
        guitest::openMainWindow([&](CDialog& d) {
            if (row.sourceFolder) click(d, IDC_USESOURCEFOLDER);
            select(d, row.names);
            click(d, IDC_SAVEIMAGES);
            const std::string folder = row.sourceFolder ? pictures : out;
            std::uint64_t total = 0;
            for (const std::string& name : row.outputs) {
                CISImageEx written;
                ASSERT_EQ(written.Read(folder + "/" + name, kImageDetect), kImageOk) << name;
                EXPECT_EQ(written.width, name[0] == 'a' ? 100u : name[0] == 'b' ? 60u : 45u) << name;
                total += fs::file_size(folder + "/" + name);
                if (row.sourceFolder) fs::remove(folder + "/" + name);
            }
            const std::string where = row.sourceFolder ? kSourceFolderText : out;
            EXPECT_EQ(status(d), QString::fromStdString(row.summary + where + " (" + FormatSize(total) + " total)."));
            EXPECT_EQ(statusColour(d), RGB(0, 192, 0));
            EXPECT_EQ(main(d).savedBytes(), total);
            EXPECT_EQ(d.GetDlgItemText(IDC_PREVIEW_CAPTION), QStringLiteral("Status:"));
            expectCleared(d);
        });
        for (const std::string& name : row.outputs) fs::remove(out + "/" + name);
        EXPECT_TRUE(testutil::namesIn(out).empty());
    }
}

TEST_F(SaveTest, ExistingOutputsAreReplacedOnlyAfterYes) {
    const std::string other = out + "/elsewhere.jpg";
    testutil::writeFile(other, "kept");
    const struct {
        const char* what;
        std::function<void()> prepare; // puts something where b_50pc.jpg goes
        int answer;
        bool replaced;      // b_50pc.jpg is the new picture afterwards
        bool writeFailure;  // "Unable to write …" follows the question
    } rows[] = {
        {"No keeps the file", [&] { testutil::writeFile(out + "/b_50pc.jpg", "old"); }, IDNO, false, false},
        {"Yes replaces it", [&] { testutil::writeFile(out + "/b_50pc.jpg", "old"); }, IDYES, true, false},
        {"a folder stays", [&] { fs::create_directory(out + "/b_50pc.jpg"); }, IDYES, false, true},
        {"a link to the source is replaced, not followed",
         [&] { fs::create_symlink(pictures + "/b.png", out + "/b_50pc.jpg"); }, IDYES, true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        row.prepare();
        guitest::openMainWindow([&](CDialog& d) {
            select(d, {"a.jpg", "b.png", "c.jpg"});
            // At the question, picture 1 is saved and shown so; the window takes no clicks.
            bool looked = false;
            boxes.onShow([&](const std::string& text) {
                if (looked) return;
                looked = true;
                EXPECT_TRUE(main(d).saving());
                EXPECT_EQ(status(d), QStringLiteral("Saved picture: 1"));
                EXPECT_GT(navyInk(guitest::render(d.GetDlgItem(IDC_STATUS))), 20) << "the label has repainted";
                ASSERT_NE(main(d).saveProgress(), nullptr);
                EXPECT_TRUE(main(d).saveProgress()->isVisible());
                EXPECT_EQ(main(d).saveProgress()->text(), QStringLiteral("Saving picture 2 of 3"));
                EXPECT_EQ(text, OverwriteQuestionText(out + "/b_50pc.jpg"));
                click(d, IDC_SAVEIMAGES);
                click(d, IDC_CLEARLIST);
                tick(d, "d.jpg");
                EXPECT_EQ(main(d).selectedCount(), 3);
                EXPECT_FALSE(files(d)->GetCheck(rowOf(d, "d.jpg")));
            });
            boxes.answer(row.answer);
            if (row.writeFailure) boxes.answer(IDOK);
            click(d, IDC_SAVEIMAGES);
            boxes.onShow({});
            const bool allSaved = row.answer == IDYES && !row.writeFailure;
            EXPECT_EQ(status(d), allSaved ? QString::fromStdString(RunSummaryText(3, false, out, main(d).savedBytes()))
                                          : QString::fromStdString(SaveErrorText(2)));
            EXPECT_EQ(fs::exists(out + "/c_50pc.jpg"), allSaved) << "a failed picture ends the run";
            if (row.writeFailure) {
                EXPECT_EQ(boxes.texts().back(), WriteFailureText("b", "50pc", "jpg", out));
            }
            expectCleared(d);
        });
        EXPECT_TRUE(fs::exists(out + "/a_50pc.jpg"));
        const std::string b = out + "/b_50pc.jpg";
        EXPECT_EQ(fs::symlink_status(b).type(), row.writeFailure ? fs::file_type::directory : fs::file_type::regular);
        CISImageEx written;
        EXPECT_EQ(written.Read(b, kImageDetect) == kImageOk, row.replaced);
        EXPECT_EQ(fs::is_regular_file(b) && testutil::readFile(b) == "old", !row.replaced && !row.writeFailure);
        EXPECT_EQ(testutil::readFile(other), "kept");
        fs::remove_all(out);
        fs::create_directory(out);
        testutil::writeFile(other, "kept");
    }
}

TEST_F(SaveTest, FailuresStopTheRunWithTheirOwnMessage) {
    testutil::writeFile(root / "plain", "x");
    const auto create = [](const std::string& folder) {
        return "It appears the folder: " + folder + "\ndoes not exist. Do you wish to create it?";
    };
    const struct {
        const char* what;
        std::string destination;
        QStringList names;
        std::vector<int> answers;
        std::vector<std::string> texts; // boxes, in order
        std::optional<int> failedAt;    // nullopt: nothing changed on screen
    } rows[] = {
        {"unreadable", out, {"a.jpg", "d.jpg"}, {IDOK}, {kUnableToReadText}, 2},
        {"no destination", "", {"a.jpg"}, {IDOK}, {kDestinationNotSetText}, 1},
        {"missing destination not created", root / "new/deeper", {"a.jpg"}, {IDNO, IDOK},
         {create(root / "new/deeper"), WriteFailureText("a", "50pc", "jpg", root / "new/deeper")}, 1},
        {"missing destination that cannot be made", root / "plain/sub", {"a.jpg"}, {IDYES, IDOK},
         {create(root / "plain/sub"), "Creating Folder: " + root / "plain" + " failed."}, std::nullopt},
        {"empty selection", out, {}, {IDOK}, {kNoPicturesText}, std::nullopt},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        store(0, "\"Destination0\"=\"" + row.destination + "\"\n");
        testutil::ScopedMessageBoxScript script;
        for (int answer : row.answers) script.answer(answer);
        guitest::openMainWindow([&](CDialog& d) {
            select(d, row.names);
            const QString before = status(d);
            click(d, IDC_SAVEIMAGES);
            EXPECT_EQ(script.texts(), row.texts);
            if (row.failedAt) {
                EXPECT_EQ(status(d), QString::fromStdString(SaveErrorText(*row.failedAt)));
                EXPECT_EQ(statusColour(d), RGB(255, 0, 0));
                expectCleared(d);
            } else {
                EXPECT_EQ(status(d), before);
                EXPECT_EQ(main(d).selectedCount(), static_cast<int>(row.names.size()));
            }
        });
        EXPECT_FALSE(fs::exists(root / "new"));
        EXPECT_EQ(testutil::namesIn(out).size(), row.failedAt == 2 ? 1u : 0u);
        fs::remove_all(out);
        fs::create_directory(out);
    }
}

TEST_F(SaveTest, AFailingWriteKeepsTheOldFileAndNamesItsTypeAndFolder) {
    store(1); // PNG, beside the sources
    testutil::writeFile(pictures + "/a_50pc.png", "old");
    guitest::openMainWindow([&](CDialog& d) {
        click(d, IDC_USESOURCEFOLDER);
        select(d, {"a.jpg"});
        boxes.answer(IDYES).answer(IDOK);
        // A file size limit plays a full disk for this process while the run writes.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit previous{};
        ::getrlimit(RLIMIT_FSIZE, &previous);
        rlimit small = previous;
        small.rlim_cur = 16;
        ::setrlimit(RLIMIT_FSIZE, &small);
        click(d, IDC_SAVEIMAGES);
        ::setrlimit(RLIMIT_FSIZE, &previous);
        EXPECT_EQ(boxes.texts().back(), WriteFailureText("a", "50pc", "png", pictures));
        EXPECT_EQ(status(d), QString::fromStdString(SaveErrorText(1)));
    });
    EXPECT_EQ(testutil::readFile(pictures + "/a_50pc.png"), "old");
    fs::remove(pictures + "/a_50pc.png");
}

TEST_F(SaveTest, ClosingDuringARunStopsAfterThePictureBeingWritten) {
    testutil::writeFile(out + "/b_50pc.jpg", "old");
    bool closed = false;
    guitest::openMainWindow(
        [&](CDialog& d) {
            select(d, {"a.jpg", "b.png", "c.jpg"});
            boxes.onShow([&](const std::string&) { closed = d.close(); });
            boxes.answer(IDYES);
            click(d, IDC_SAVEIMAGES);
            boxes.onShow({});
        },
        [](CDialog&) {}); // the run closes the window itself
    EXPECT_FALSE(closed) << "the close waited for the run";
    EXPECT_EQ(testutil::namesIn(out), (std::vector<std::string>{"a_50pc.jpg", "b_50pc.jpg"}));
    EXPECT_NE(testutil::readFile(out + "/b_50pc.jpg"), "old");
}

TEST_F(SaveTest, DestinationControlsKeepTheHistory) {
    store(0, "\"Destination0\"=\"/d/one\"\n\"Destination1\"=\"/d/two\"\n\"Destination2\"=\"/d/three\"\n");
    guitest::openMainWindow(
        [&](CDialog& d) {
            const auto expect = [&](const QString& current, const QStringList& history, const QStringList& list) {
                EXPECT_EQ(main(d).destination(), current);
                EXPECT_EQ(d.GetDlgItemText(IDC_DESTINATION), current);
                EXPECT_EQ(main(d).destinations(), history);
                EXPECT_EQ(comboTexts(d), list);
            };
            expect("/d/one", {"/d/one", "/d/two", "/d/three"}, {"/d/one", "/d/three", "/d/two"});
            EXPECT_FALSE(main(d).settingsChanged());

            // The third history entry chosen from the list: first in the history, list as it was.
            combo(d)->setCurrentIndex(2);
            d.OnControlNotify(IDC_DESTINATIONS, CBN_SELCHANGE);
            expect("/d/two", {"/d/two", "/d/one", "/d/three"}, {"/d/one", "/d/three", "/d/two"});
            EXPECT_TRUE(main(d).settingsChanged());

            // The same folder set twice is listed twice.
            setFolder(d, out);
            setFolder(d, out);
            const QString o = QString::fromStdString(out);
            expect(o, {o, o, "/d/two", "/d/one", "/d/three"}, {o, o, "/d/one", "/d/three", "/d/two"});

            // Typing makes the text the destination; erasing it deletes the current one.
            typeDestination(d, "/typed");
            EXPECT_EQ(main(d).destination(), QStringLiteral("/typed"));
            typeDestination(d, "");
            expect("/typed", {o, o, "/d/two", "/d/one", "/d/three"}, {o, o, "/d/one", "/d/three", "/d/two"});
            setFolder(d, out);
            typeDestination(d, "");
            expect(o, {o, o, "/d/two", "/d/one", "/d/three"}, {o, o, "/d/one", "/d/three", "/d/two"});

            // "Show Folder" opens the destination, also with "Use source folder".
            click(d, IDC_USESOURCEFOLDER);
            EXPECT_TRUE(main(d).useSourceFolder());
            click(d, IDC_SHOWFOLDER);
            ASSERT_EQ(shell.calls().size(), 1u);
            EXPECT_EQ(shell.calls()[0].target, out);
            EXPECT_EQ(shell.calls()[0].verb, "explore");

            // Cancelling the browser clears the destination.
            setFolder(d, std::nullopt);
            EXPECT_EQ(main(d).destination(), QString());
            EXPECT_EQ(d.GetDlgItemText(IDC_DESTINATION), QString());
            boxes.answer(IDOK);
            click(d, IDC_SHOWFOLDER);
            EXPECT_EQ(boxes.texts(), std::vector<std::string>{"The destination folder has not been set."});
            EXPECT_EQ(shell.calls().size(), 1u);
            setFolder(d, out);
        },
        [](CDialog& d) { click(d, IDOK); });
    // Closing with "Close Brimvale" writes the history, current destination first.
    const std::string hive = registry.hive();
    for (const std::string& line : std::vector<std::string>{"\"Destination0\"=\"" + out + "\"",
                                                            "\"Destination4\"=\"/d/one\"", "\"Destination5\"=\"/d/three\""})
        EXPECT_NE(hive.find(line), std::string::npos) << line << "\n" << hive;
    EXPECT_EQ(hive.find("Destination6"), std::string::npos);

    // Erasing the only entry leaves no destination; Escape then stores nothing.
    store(0, "\"Destination0\"=\"/d/only\"\n");
    const std::string before = registry.hive();
    guitest::openMainWindow([&](CDialog& d) {
        typeDestination(d, "");
        EXPECT_EQ(main(d).destination(), QString());
        EXPECT_EQ(main(d).destinations(), QStringList());
        EXPECT_EQ(combo(d)->GetCount(), 0);
    });
    EXPECT_EQ(registry.hive(), before);
}
