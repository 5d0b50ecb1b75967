// SPDX-License-Identifier: MIT
// brimvale-screenshot: draws the main window, the About box and the other dialog templates
// offscreen and writes each as a PNG into a folder (default "screenshots"). The main window
// opens on a registry folder of its own, so the user's settings are neither read nor changed.
#include "app/brimvaleapp.h"
#include "app/brimvaledlg.h"
#include "app/savecropdlg.h"
#include "browse/folderdialog.h"
#include "imaging/isimageex.h"
#include "net/versionfilewriter.h"
#include "platform/services.h"
#include "platform/widgets/controls.h"
#include "platform/widgets/menu.h"
#include "preview/previewpane.h"
#include "res/resource.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

bool save(QWidget& window, const QString& path) {
    QApplication::processEvents();
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "brimvale-screenshot: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

// A landscape of sky, sun and hills, so the preview shows something like a photograph.
bool writeScene(const QString& path, std::uint32_t w, std::uint32_t h, double hue, int type) {
    CISImageEx image;
    if (image.Allocate(w, h, 24) != kImageOk) return false;
    std::uint8_t* p = image.GetPixels();
    for (std::uint32_t y = 0; y < h; ++y) {
        const double fy = double(y) / h;
        for (std::uint32_t x = 0; x < w; ++x, p += 3) {
            const double fx = double(x) / w;
            const double hill = 0.62 + 0.08 * std::sin(fx * 7 + hue * 3) + 0.04 * std::sin(fx * 23);
            const double sun = std::hypot(fx - 0.3 - hue * 0.2, (fy - 0.3) * h / w);
            double r, g, b;
            if (fy > hill) {
                r = 40 + 60 * hue, g = 110 + 60 * (1 - fy), b = 40;
            } else if (sun < 0.06) {
                r = 255, g = 230, b = 120;
            } else {
                r = 120 + 120 * fy * (0.5 + hue), g = 150 + 60 * fy, b = 235 - 80 * fy * hue;
            }
            p[0] = std::uint8_t(std::clamp(r, 0.0, 255.0));
            p[1] = std::uint8_t(std::clamp(g, 0.0, 255.0));
            p[2] = std::uint8_t(std::clamp(b, 0.0, 255.0));
        }
    }
    return image.Write(type, path.toStdString()) == kImageOk;
}

// The file list's row of a name, or -1.
int rowOf(CListCtrl* list, const QString& name) {
    for (int i = 0; i < list->GetItemCount(); ++i)
        if (list->GetItemText(i, 0) == name) return i;
    return -1;
}

// Lists the generated pictures folder, previews one picture and ticks two.
void browse(CDialog& dialog) {
    auto* tree = dialog.GetDlgItemAs<CTreeCtrl>(IDC_FOLDERTREE);
    auto* list = dialog.GetDlgItemAs<CListCtrl>(IDC_FILELIST);
    for (HTREEITEM item = tree->GetRootItem(); item; item = tree->GetNextSiblingItem(item)) {
        if (tree->GetItemText(item) == QStringLiteral("Pictures"))
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
    }
    for (const char* name : {"Harbour at dusk.jpg", "Meadow.jpg"}) {
        const int row = rowOf(list, QString::fromLatin1(name));
        if (row >= 0)
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->checkBoxRect(row).center());
        QApplication::processEvents();
    }
    const int shown = rowOf(list, QStringLiteral("Meadow.jpg"));
    if (shown >= 0) {
        const QRect r = list->visualItemRect(list->topLevelItem(shown));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(r.left() + r.width() / 3, r.center().y()));
    }
}

// Saves the ticked pictures into `destination`, drawing the window while the second picture
// is written and once the run is done.
bool saveTicked(CBrimvaleDlg& window, const QString& destination, const QString& folder) {
    auto* combo = window.GetDlgItemAs<CComboBox>(IDC_DESTINATIONS);
    combo->setEditText(destination);
    window.OnControlNotify(IDC_DESTINATIONS, CBN_EDITCHANGE);
    bool ok = true, drawn = false;
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
        const QProgressBar* bar = window.saveProgress();
        if (drawn || !window.saving() || !bar || bar->value() < 1) return;
        drawn = true;
        ok = save(window, folder + QStringLiteral("/main-window-saving.png")) && ok;
    });
    during.start(20);
    window.OnControlNotify(IDC_SAVEIMAGES, BN_CLICKED);
    during.stop();
    return save(window, folder + QStringLiteral("/main-window-saved.png")) && drawn && ok;
}

// Drags a rubber band over the middle of the shown picture: the pane then shows that section.
bool cropMiddle(CBrimvaleDlg& window, const QString& folder) {
    auto* pane = window.GetDlgItemAs<CPreviewPane>(IDC_PREVIEW);
    const RECT shown = window.previewImageRect();
    const QPoint inset = pane->clientGeometry().topLeft();
    const QPoint from(shown.left + shown.Width() / 4, shown.top + shown.Height() / 4);
    const QPoint to(shown.left + shown.Width() * 3 / 4, shown.top + shown.Height() * 3 / 4);
    const auto send = [pane, inset](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(at + inset), QPointF(pane->mapToGlobal(at + inset)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(pane, &event);
    };
    // The band tracks in its own loop from the press: the move and the release come queued.
    QTimer::singleShot(0, pane, [=] { send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton); });
    QTimer::singleShot(0, pane, [=] { send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton); });
    send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    return window.cropImage().HasPicture() && save(window, folder + QStringLiteral("/main-window-cropped.png"));
}

// Nobody can answer a message box here: its text goes to the error stream, the answer is the
// one that does not go ahead.
class PrintedMessageBoxes : public platform::MessageBoxService {
public:
    int show(const std::string& text, UINT type) override {
        std::fprintf(stderr, "brimvale-screenshot: message: %s\n", text.c_str());
        return platform::defaultAnswer(type);
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    brimvale::prepareApplication();

    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "brimvale-screenshot: cannot make %s\n", qPrintable(folder));
        return 1;
    }

    // The hive below turns the update check at start on: it asks a loopback port nobody listens
    // on, never the network. The pictures are drawn from a build folder, where closing the
    // window would write the version file: it writes none.
    ::setenv("BRIMVALE_UPDATE_URL", "http://127.0.0.1:9", 1);
    net::setProgramPathSource([] { return std::string(); });

    // A registry of its own, holding a destination so the window shows one.
    QTemporaryDir registry;
    if (!registry.isValid()) return 1;
    ::setenv("BRIMVALE_REGISTRY_DIR", qPrintable(registry.path()), 1);
    QFile hive(registry.filePath(QStringLiteral("HKEY_LOCAL_MACHINE.reg")));
    if (!hive.open(QIODevice::WriteOnly)) return 1;
    hive.write("REGEDIT4\n\n[Software\\Brimvale]\n"
               "\"Quality\"=hex:4b,00,00,00\n"
               "\"Size\"=hex:04,00,00,00\n"
               "\"AutoUpdate\"=hex:01,00,00,00\n"
               "\"Destination0\"=\"/home/ann/Pictures/Smaller\"\n"
               "\"Destination1\"=\"/home/ann/Desktop/For the web\"\n");
    hive.close();

    // A pictures folder of generated photographs for the browsing picture.
    QTemporaryDir pictures;
    if (!pictures.isValid()) return 1;
    ::setenv("XDG_PICTURES_DIR", qPrintable(pictures.path()), 1);
    bool made = writeScene(pictures.filePath(QStringLiteral("Harbour at dusk.jpg")), 3000, 2000, 0.9, kImageJpeg) &&
                writeScene(pictures.filePath(QStringLiteral("Meadow.jpg")), 2400, 1600, 0.1, kImageJpeg) &&
                writeScene(pictures.filePath(QStringLiteral("Hills.png")), 1200, 900, 0.5, kImagePng) &&
                writeScene(pictures.filePath(QStringLiteral("Tower.jpg")), 1500, 2250, 0.3, kImageJpeg);
    if (!made) {
        std::fprintf(stderr, "brimvale-screenshot: cannot write the sample pictures\n");
        return 1;
    }

    // The run saves into a folder beside the pictures.
    const QString smaller = pictures.filePath(QStringLiteral("Smaller"));
    PrintedMessageBoxes boxes;
    platform::ScopedMessageBoxService printed(&boxes);

    bool ok = QDir().mkpath(smaller);
    CDialog::SetModalHook([&](CDialog& dialog) {
        switch (dialog.GetTemplateId()) {
        case IDD_BRIMVALE_DIALOG: {
            ok = save(dialog, folder + QStringLiteral("/main-window.png")) && ok;
            // The About box, opened as its menu item does.
            if (QAction* about = dialog.GetSystemMenu(FALSE)->actionOf(IDM_ABOUTBOX, MF_BYCOMMAND)) about->trigger();
            // The settings dialog, opened as "Preferences" does, on the stored settings.
            if (QAction* preferences = dialog.GetSystemMenu(FALSE)->actionOf(IDM_PREFERENCES, MF_BYCOMMAND))
                preferences->trigger();
            browse(dialog);
            ok = save(dialog, folder + QStringLiteral("/main-window-browsing.png")) && ok;
            ok = saveTicked(static_cast<CBrimvaleDlg&>(dialog), smaller, folder) && ok;
            ok = cropMiddle(static_cast<CBrimvaleDlg&>(dialog), folder) && ok;
            break;
        }
        case IDD_ABOUTBOX: ok = save(dialog, folder + QStringLiteral("/about.png")) && ok; break;
        case IDD_CONFIG: ok = save(dialog, folder + QStringLiteral("/settings-dialog.png")) && ok; break;
        case IDD_SAVECROP: ok = save(dialog, folder + QStringLiteral("/save-crop-dialog.png")) && ok; break;
        case IDD_FOLDERBROWSER: ok = save(dialog, folder + QStringLiteral("/folder-dialog.png")) && ok; break;
        default: ok = save(dialog, folder + QStringLiteral("/template-%1.png").arg(dialog.GetTemplateId())) && ok; break;
        }
        dialog.EndDialog(IDCANCEL);
    });

    {
        CBrimvaleDlg main;
        main.DoModal();
    }
    // The folder browser, opened on a folder of a small tree in the pictures folder.
    for (const char* made : {"Holidays/Coast", "Holidays/Mountains", "Smaller/For the web", "Smaller/Prints"})
        ok = QDir(pictures.path()).mkpath(QString::fromLatin1(made)) && ok;
    {
        CFolderDialog browser(pictures.filePath(QStringLiteral("Smaller/For the web")), nullptr);
        ok = browser.DoModal() == IDCANCEL && ok;
    }
    // The save-cropped-image dialog as it opens for a 1001 x 668 section of a JPEG.
    {
        CSaveCropDlg crop;
        crop.m_nWidth = 1001;
        crop.m_nHeight = 668;
        crop.m_strDestFolder = smaller;
        crop.m_strSourceFolder = pictures.path() + QStringLiteral("/");
        crop.m_strFileName = QStringLiteral("Meadow");
        ok = crop.DoModal() == IDCANCEL && ok;
    }
    // The image type template, as laid out.
    {
        CDialog dialog(IDD_IMAGETYPE);
        ok = dialog.DoModal() == IDCANCEL && ok;
    }
    CDialog::SetModalHook({});
    return ok ? 0 : 1;
}
