// SPDX-License-Identifier: MIT
// brimvale-screenshot: draws the main window, the About box and the other dialog templates
// offscreen and writes each as a PNG into a folder (default "screenshots"). The main window
// opens on a registry folder of its own, so the user's settings are neither read nor changed.
#include "app/brimvaleapp.h"
#include "app/brimvaledlg.h"
#include "platform/widgets/menu.h"
#include "res/resource.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

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

    bool ok = true;
    CDialog::SetModalHook([&](CDialog& dialog) {
        switch (dialog.GetTemplateId()) {
        case IDD_BRIMVALE_DIALOG: {
            ok = save(dialog, folder + QStringLiteral("/main-window.png")) && ok;
            // The About box, opened as its menu item does.
            if (QAction* about = dialog.GetSystemMenu(FALSE)->actionOf(IDM_ABOUTBOX, MF_BYCOMMAND)) about->trigger();
            break;
        }
        case IDD_ABOUTBOX: ok = save(dialog, folder + QStringLiteral("/about.png")) && ok; break;
        default: ok = save(dialog, folder + QStringLiteral("/template-%1.png").arg(dialog.GetTemplateId())) && ok; break;
        }
        dialog.EndDialog(IDCANCEL);
    });

    {
        CBrimvaleDlg main;
        main.DoModal();
    }
    // The templates of the dialogs still to come, as laid out.
    for (int id : {IDD_SAVECROP, IDD_IMAGETYPE, IDD_CONFIG}) {
        CDialog dialog(id);
        ok = dialog.DoModal() == IDCANCEL && ok;
    }
    CDialog::SetModalHook({});
    return ok ? 0 : 1;
}
