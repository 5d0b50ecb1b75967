// SPDX-License-Identifier: MIT
// The GUI tests' main: the offscreen platform is chosen before the QApplication exists,
// then the program's own application set-up runs, as it does in brimvale.
#include "app/brimvaleapp.h"
#include "net/versionfilewriter.h"

#include <QApplication>
#include <gtest/gtest.h>

static void initTestResources() { Q_INIT_RESOURCE(testdialogs); }

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    brimvale::prepareApplication();
    initTestResources();
    // The tests run from a build folder: no window they close may write its version file there.
    net::setProgramPathSource([] { return std::string(); });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
