// SPDX-License-Identifier: MIT
// The GUI tests' main: the offscreen platform is chosen before the QApplication exists,
// then the program's own application set-up runs, as it does in brimvale.
#include "app/brimvaleapp.h"

#include <QApplication>
#include <gtest/gtest.h>

static void initTestResources() { Q_INIT_RESOURCE(testdialogs); }

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    brimvale::prepareApplication();
    initTestResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
