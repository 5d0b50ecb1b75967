// SPDX-License-Identifier: MIT
// Cropping in the main window, offscreen: rubber bands dragged over the preview (queued moves
// and release, then the press, which tracks until the release), plain clicks, Escape, and the
// save-cropped-image dialog driven through the modal hook.
#include "dngfile.h"
#include "imaging/metadata.h"
#include "mainwindow.h"
#include "preview/previewpane.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

#include <filesystem>

namespace fs = std::filesystem;
using namespace mainwindow;

namespace {

const fs::path kOrientation = fs::path(__FILE__).parent_path().parent_path() / "data" / "orientation";

CPreviewPane* pane(CDialog& d) { return d.GetDlgItemAs<CPreviewPane>(IDC_PREVIEW); }

// Drags from `from` to `to` (pane client coordinates); with `escape`, Escape comes before the
// release. The moves and the release are queued, then the press is sent: it tracks the band
// in its own loop, which delivers them.
void drag(CDialog& d, QPoint from, QPoint to, bool escape = false) {
    CPreviewPane* p = pane(d);
    const QPoint inset = p->clientGeometry().topLeft();
    const auto send = [p, inset](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at + inset), QPointF(p->mapToGlobal(at + inset)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(p, &event);
    };
    QTimer::singleShot(0, p, [=] { send(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton); });
    QTimer::singleShot(0, p, [=] { send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton); });
    if (escape) QTimer::singleShot(0, p, [p] { QTest::keyClick(p, Qt::Key_Escape); });
    QTimer::singleShot(0, p, [=] { send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton); });
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    QCoreApplication::processEvents();
}

// Clicks "Save Crop" with `drive` as the modal hook of the save-cropped-image dialog.
void saveCrop(CDialog& d, const std::function<void(CDialog&)>& drive) {
    const CDialog::ModalHook outer = CDialog::SetModalHook([&](CDialog& c) {
        if (c.GetTemplateId() == IDD_SAVECROP) drive(c);
    });
    d.OnControlNotify(IDC_SAVECROP, BN_CLICKED);
    CDialog::SetModalHook(outer);
}

COLORREF pixelOf(const CISImageEx& image, std::uint32_t x, std::uint32_t y) {
    const std::uint8_t* p = image.GetPixels() + y * image.GetRowBytes() + x * 3;
    return RGB(p[0], p[1], p[2]);
}

bool near(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= 40 && std::abs(GetGValue(a) - GetGValue(b)) <= 40 &&
           std::abs(GetBValue(a) - GetBValue(b)) <= 40;
}

class CropTest : public WindowTest {
protected:
    std::string out = root / "out";

    void SetUp() override {
        fs::create_directories(pictures);
        fs::create_directories(out);
        writeSplit(pictures + "/wide.jpg", 2000, 1000, kRedInk, kBlueInk, kImageJpeg);
        writeSplit(pictures + "/a.PSD", 300, 200, kGreenInk, kYellowInk, kImagePsd);
        testutil::writeFile(pictures + "/raw.dng", dngfile::makeDng(true));
        for (int n = 1; n <= 8; ++n) {
            const std::string name = "colour-o" + std::to_string(n) + ".jpg";
            fs::copy_file(kOrientation / name, pictures + "/" + name);
        }
        registry.store(guitest::intValue("Quality", 75) + guitest::intValue("Size", 3) + "\"Destination0\"=\"" + out +
                       "\"\n");
    }
    static void show(CDialog& d, const QString& name) {
        clickItem(d, topItem(d, "Pictures"));
        clickRow(d, name);
    }
    static QSize paneSize(CDialog& d) { return pane(d)->deviceClientSize(); }
};

} // namespace

TEST_F(CropTest, BandsCropTheUprightPictureAsShown) {
    guitest::openMainWindow([&](CDialog& d) {
        const QSize s = paneSize(d);
        for (int n = 1; n <= 8; ++n) {
            const QString name = QStringLiteral("colour-o%1.jpg").arg(n);
            SCOPED_TRACE(name.toStdString());
            show(d, name);
            const QImage upright(QString::fromStdString((kOrientation / ("upright-colour-o" + std::to_string(n) + ".png")).string()));
            const std::uint32_t w = upright.width(), h = upright.height();
            // A small picture fills the pane: the top-left quarter, then the bottom-right one
            // (dragged backwards), each from the file, never from the previous crop.
            drag(d, QPoint(0, 0), QPoint(s.width() / 2, s.height() / 2));
            const CISImageEx& crop = main(d).cropImage();
            ASSERT_EQ(crop.width, w / 2 + 1);
            ASSERT_EQ(crop.height, h / 2 + 1);
            EXPECT_TRUE(near(pixelOf(crop, 0, 0), platform::toColorRef(upright.pixelColor(0, 0))));
            drag(d, QPoint(s.width(), s.height()), QPoint(s.width() / 2, s.height() / 2));
            ASSERT_EQ(crop.width, w - w / 2);
            EXPECT_TRUE(near(pixelOf(crop, crop.width - 1, crop.height - 1),
                             platform::toColorRef(upright.pixelColor(w - 1, h - 1))));
            EXPECT_TRUE(d.GetDlgItem(IDC_SAVECROP)->isEnabled());
            EXPECT_EQ(d.GetDlgItemText(IDC_STATUS),
                      QStringLiteral("%1 x %2 cropped section of %3").arg(w - w / 2).arg(h - h / 2).arg(name));
        }

        // A large picture is fitted: its left half is red, and the section drawn fills the pane
        // in its proportions.
        show(d, "wide.jpg");
        const RECT p = main(d).previewImageRect();
        drag(d, QPoint(p.left + 10, p.top + 10), QPoint(p.left + p.Width() / 4, p.bottom - 10));
        EXPECT_TRUE(near(pixelOf(main(d).cropImage(), 5, 5), kRedInk));
        EXPECT_EQ(main(d).previewImageRect().left, p.left) << "the picture's placement stays";

        // A band that leaves the picture, and Escape mid-drag: nothing changes.
        const std::uint32_t width = main(d).cropImage().width;
        const QString label = d.GetDlgItemText(IDC_STATUS);
        drag(d, QPoint(p.left + 10, p.top + 10), QPoint(p.right - 10, p.bottom + 5));
        drag(d, QPoint(p.left + 10, p.top + 10), QPoint(p.right - 10, p.bottom - 10), true);
        EXPECT_EQ(main(d).cropImage().width, width);
        EXPECT_EQ(d.GetDlgItemText(IDC_STATUS), label);
        EXPECT_FALSE(main(d).montage());
        EXPECT_TRUE(d.isVisible()) << "Escape ended the drag, not the window";

        // Two plain clicks: the montage, then the picture again.
        drag(d, QPoint(20, 20), QPoint(20, 20));
        EXPECT_TRUE(main(d).montage());
        drag(d, QPoint(20, 20), QPoint(21, 20));
        EXPECT_FALSE(main(d).montage());

        // A picture gone from disk since it was shown: said in red, the crop as it was.
        fs::remove(pictures + "/wide.jpg");
        drag(d, QPoint(p.left + 10, p.top + 10), QPoint(p.left + 50, p.top + 50));
        EXPECT_EQ(main(d).cropImage().width, width);
        EXPECT_EQ(d.GetDlgItemText(IDC_STATUS), QStringLiteral("wide.jpg: Unable to read the image"));

        // A larger photograph stored on its side (left half red) is fitted upright (top half
        // red): bands over its top and bottom quarters crop red and blue.
        writeSplit(pictures + "/turned.jpg", 400, 200, kRedInk, kBlueInk, kImageJpeg);
        REQUIRE_OR_SKIP(std::system(("exiftool -q -n -Orientation=6 -overwrite_original " + pictures + "/turned.jpg").c_str()) == 0,
                        "exiftool");
        clickItem(d, topItem(d, "Pictures"));
        clickRow(d, "turned.jpg");
        const RECT t = main(d).previewImageRect();
        ASSERT_GT(t.Height(), t.Width());
        drag(d, QPoint(t.left + 2, t.top + 2), QPoint(t.right - 2, t.top + t.Height() / 4));
        EXPECT_LT(main(d).cropImage().height, main(d).cropImage().width);
        EXPECT_TRUE(near(pixelOf(main(d).cropImage(), 5, 5), kRedInk));
        drag(d, QPoint(t.left + 2, t.bottom - t.Height() / 4), QPoint(t.right - 2, t.bottom - 2));
        EXPECT_TRUE(near(pixelOf(main(d).cropImage(), 5, 5), kBlueInk));

        // A camera-raw picture is cropped from its raw data, as the preview read it.
        clickRow(d, "raw.dng");
        const RECT r = main(d).previewImageRect();
        drag(d, QPoint(r.left, r.top), QPoint(r.right, r.bottom));
        EXPECT_EQ(main(d).cropImage().width, dngfile::kW);
        EXPECT_EQ(main(d).cropImage().height, dngfile::kH);
    });
}

TEST_F(CropTest, SaveCropDialogPreselectsSavesAndRefuses) {
    testutil::writeFile(root / "plain", "x");
    guitest::openMainWindow([&](CDialog& d) {
        show(d, "a.PSD");
        const RECT p = main(d).previewImageRect();
        drag(d, QPoint(p.left, p.top), QPoint(p.left + p.Width() / 2, p.bottom));
        const std::uint32_t cw = main(d).cropImage().width, ch = main(d).cropImage().height;

        struct Row {
            const char* what;
            std::function<void(CDialog&)> drive;
            bool pressOk;                        // then OK
            std::vector<int> answers;
            std::string written;                 // "" when nothing may be written
        } rows[] = {
            {"preselected and cancelled",
             [&](CDialog& c) {
                 EXPECT_TRUE(c.IsDlgButtonChecked(IDC_CROP_TYPE_PSD));
                 EXPECT_TRUE(c.IsDlgButtonChecked(IDC_CROP_SIZE_1920)) << "size code 3 picks the fourth button";
                 EXPECT_TRUE(c.IsDlgButtonChecked(IDC_QUALITY_100));
                 EXPECT_EQ(c.GetDlgItemText(IDC_CROP_SIZE_CROPPED), QStringLiteral("Cropped Size:\n%1 x %2").arg(cw).arg(ch));
                 EXPECT_EQ(c.GetDlgItemText(IDC_CROP_FOLDER), QString::fromStdString(out));
                 EXPECT_EQ(c.GetDlgItemText(IDC_CROP_FILENAME), QStringLiteral("a"));
                 c.CheckDlgButton(IDC_CROP_USESOURCE, BST_CHECKED);
                 c.OnControlNotify(IDC_CROP_USESOURCE, BN_CLICKED);
                 EXPECT_EQ(c.GetDlgItemText(IDC_CROP_FOLDER), QString::fromStdString(pictures + "/"));
                 c.EndDialog(IDCANCEL);
             },
             false, {}, ""},
            {"an empty folder keeps the dialog open",
             [&](CDialog& c) {
                 c.SetDlgItemText(IDC_CROP_FOLDER, "");
                 c.OnControlNotify(IDOK, BN_CLICKED);
                 EXPECT_TRUE(c.isVisible());
                 c.EndDialog(IDCANCEL);
             },
             false, {IDOK}, ""},
            {"nothing to resize to",
             [&](CDialog& c) {
                 c.CheckDlgButton(IDC_CROP_SIZE_1920, BST_UNCHECKED);
                 c.CheckDlgButton(IDC_CROP_SIZE_DIMENSIONS, BST_CHECKED);
                 c.SetDlgItemText(IDC_CROP_WIDTH_EDIT, "0");
             },
             true, {IDOK}, ""},
            {"a folder that is a file",
             [&](CDialog& c) { c.SetDlgItemText(IDC_CROP_FOLDER, QString::fromStdString(root / "plain")); }, true, {IDOK},
             ""},
            {"the cropped size as PNG",
             [&](CDialog& c) {
                 c.CheckDlgButton(IDC_CROP_SIZE_CROPPED, BST_CHECKED);
                 c.OnControlNotify(IDC_CROP_SIZE_CROPPED, BN_CLICKED);
                 EXPECT_FALSE(c.IsDlgButtonChecked(IDC_CROP_SIZE_1920)) << "one size at a time";
                 c.CheckRadioButton(IDC_CROP_TYPE_JPG, IDC_CROP_TYPE_PSD, IDC_CROP_TYPE_PNG);
             },
             true, {}, "a_Cropped.png"},
            {"an existing file kept after No",
             [&](CDialog& c) { c.CheckRadioButton(IDC_CROP_TYPE_JPG, IDC_CROP_TYPE_PSD, IDC_CROP_TYPE_PNG); },
             true, {IDNO}, ""},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.what);
            testutil::ScopedMessageBoxScript script;
            for (int answer : row.answers) script.answer(answer);
            const std::string before = fs::exists(out + "/a_Cropped.png") ? testutil::readFile(out + "/a_Cropped.png") : "";
            const QString label = d.GetDlgItemText(IDC_SELECTED_CAPTION);
            saveCrop(d, [&](CDialog& c) {
                row.drive(c);
                if (row.pressOk) c.OnControlNotify(IDOK, BN_CLICKED);
            });
            if (row.written.empty()) {
                EXPECT_EQ(d.GetDlgItemText(IDC_SELECTED_CAPTION), label);
                EXPECT_EQ(fs::exists(out + "/a_Cropped.png") ? testutil::readFile(out + "/a_Cropped.png") : "", before);
                continue;
            }
            const std::string path = out + "/" + row.written;
            CISImageEx saved;
            ASSERT_EQ(saved.Read(path, kImageDetect), kImageOk);
            EXPECT_EQ(saved.width, cw);
            EXPECT_EQ(main(d).cropImage().width, cw) << "the section keeps its size";
            EXPECT_EQ(d.GetDlgItemText(IDC_SELECTED_CAPTION),
                      QString::fromStdString("The cropped image below has been saved as: " + path));
            PictureMetadata stamped;
            ReadPictureMetadata(path, stamped);
            EXPECT_TRUE(QString::fromStdString(stamped.description).endsWith("cropped section")) << stamped.description;
        }
        ASSERT_EQ(testutil::namesIn(out), std::vector<std::string>{"a_Cropped.png"});

        // Beside the source, without "_Cropped", as the source's own type: the source is never
        // replaced; another name is written and listed.
        show(d, "wide.jpg");
        const RECT w = main(d).previewImageRect();
        drag(d, QPoint(w.left, w.top), QPoint(w.left + w.Width() / 2, w.bottom));
        testutil::ScopedMessageBoxScript script;
        script.answer(IDOK);
        const std::string source = testutil::readFile(pictures + "/wide.jpg");
        for (const char* name : {"wide", "b"}) {
            saveCrop(d, [&](CDialog& c) {
                c.CheckDlgButton(IDC_CROP_USESOURCE, BST_CHECKED);
                c.OnControlNotify(IDC_CROP_USESOURCE, BN_CLICKED);
                c.CheckDlgButton(IDC_CROP_APPENDCROPPED, BST_UNCHECKED);
                c.SetDlgItemText(IDC_CROP_FILENAME, name);
                c.OnControlNotify(IDOK, BN_CLICKED);
            });
        }
        EXPECT_EQ(testutil::readFile(pictures + "/wide.jpg"), source);
        EXPECT_TRUE(column(files(d), 0).contains("b.jpg"));
    });
}
