// SPDX-License-Identifier: MIT
// Helpers of the window tests: a registry folder of the test's own, pixels of rendered
// widgets, a run of a dialog through the modal hook, and the menu a popup shows.
#pragma once

#include "app/brimvaledlg.h"
#include "platform/widgets/dialog.h"
#include "platform/widgets/gdi.h"
#include "platform/winreg.h"
#include "res/resource.h"
#include "temphive.h"
#include "testutil.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTest>
#include <QWidget>

#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <string>

#include <ostream>

/// Test failures print Qt strings as text.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace guitest {

using temphive::intValue;
using temphive::TempRegistry;

/// The widget as drawn, at one image pixel per widget pixel.
inline QImage render(QWidget* widget) {
    QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    image.setDevicePixelRatio(1);
    return image;
}

inline COLORREF pixel(const QImage& image, int x, int y) { return platform::toColorRef(image.pixelColor(x, y)); }

/// How many pixels of the image have exactly this colour.
inline int countColour(const QImage& image, COLORREF colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += pixel(image, x, y) == colour;
    return n;
}

/// True when a pixel is closer to this colour than an even blend with a grey face would
/// be: the ink of anti-aliased text.
inline bool near(COLORREF c, COLORREF colour) {
    const int d = std::abs(GetRValue(c) - GetRValue(colour)) + std::abs(GetGValue(c) - GetGValue(colour)) +
                  std::abs(GetBValue(c) - GetBValue(colour));
    return d <= 250;
}

inline int countNear(const QImage& image, COLORREF colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) n += near(pixel(image, x, y), colour);
    return n;
}

/// Runs a dialog modally with `drive` as the modal hook; returns DoModal's result.
inline INT_PTR runModal(CDialog& dialog, const std::function<void(CDialog&)>& drive) {
    const CDialog::ModalHook previous = CDialog::SetModalHook(drive);
    const INT_PTR result = dialog.DoModal();
    CDialog::SetModalHook(previous);
    return result;
}

/// Opens the main window on whatever registry the test set up, runs `check` on it, then
/// closes it with `close` (Escape when empty); fails when the window never opened.
inline void openMainWindow(const std::function<void(CDialog&)>& check, const std::function<void(CDialog&)>& close = {}) {
    CBrimvaleDlg dialog;
    bool ran = false;
    runModal(dialog, [&](CDialog& d) {
        if (d.GetTemplateId() != IDD_BRIMVALE_DIALOG) return;
        ran = true;
        check(d);
        if (close) close(d);
        else QTest::keyClick(&d, Qt::Key_Escape);
    });
    EXPECT_TRUE(ran);
}

/// The menu that is open as a popup, or null.
inline QMenu* openMenu() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }

/// The action of a menu that carries a command id, or null.
inline QAction* actionWithId(QMenu* menu, UINT id) {
    for (QAction* action : menu->actions())
        if (!action->isSeparator() && menuCommandId(action) == id) return action;
    return nullptr;
}

} // namespace guitest
