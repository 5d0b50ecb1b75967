// SPDX-License-Identifier: MIT
// Driving the main window in tests: its controls, clicks on tree items, rows and ticks, and
// pictures of two colours to browse and save.
#pragma once

#include "app/brimvaledlg.h"
#include "guitest.h"
#include "platform/files.h"
#include "scriptedservices.h"
#include "imaging/isimageex.h"
#include "platform/widgets/controls.h"
#include "preview/selectedpicture.h"
#include "res/resource.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

namespace mainwindow {

inline constexpr COLORREF kRedInk = RGB(230, 20, 20), kBlueInk = RGB(20, 20, 230), kGreenInk = RGB(20, 200, 20),
                   kYellowInk = RGB(230, 230, 20);

// A picture whose left half has one colour and right half another, written by our writers.
inline void writeSplit(const std::string& path, std::uint32_t w, std::uint32_t h, COLORREF left, COLORREF right, int type) {
    CISImageEx image;
    ASSERT_EQ(image.Allocate(w, h, 24), kImageOk);
    std::uint8_t* p = image.GetPixels();
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x, p += 3) {
            const COLORREF c = x < w / 2 ? left : right;
            p[0] = GetRValue(c), p[1] = GetGValue(c), p[2] = GetBValue(c);
        }
    ASSERT_EQ(image.Write(type, path), kImageOk) << path;
}

inline CBrimvaleDlg& main(CDialog& d) { return static_cast<CBrimvaleDlg&>(d); }
inline CTreeCtrl* tree(CDialog& d) { return d.GetDlgItemAs<CTreeCtrl>(IDC_FOLDERTREE); }
inline CListCtrl* files(CDialog& d) { return d.GetDlgItemAs<CListCtrl>(IDC_FILELIST); }
inline CListCtrl* selected(CDialog& d) { return d.GetDlgItemAs<CListCtrl>(IDC_SELECTEDLIST); }

inline HTREEITEM topItem(CDialog& d, const QString& text) {
    for (HTREEITEM i = tree(d)->GetRootItem(); i; i = tree(d)->GetNextSiblingItem(i))
        if (tree(d)->GetItemText(i) == text) return i;
    return nullptr;
}
inline HTREEITEM childItem(CDialog& d, HTREEITEM parent, const QString& text) {
    for (HTREEITEM i = tree(d)->GetChildItem(parent); i; i = tree(d)->GetNextSiblingItem(i))
        if (tree(d)->GetItemText(i) == text) return i;
    return nullptr;
}
inline QStringList texts(CTreeCtrl* t, HTREEITEM parent) {
    QStringList out;
    for (HTREEITEM i = parent ? t->GetChildItem(parent) : t->GetRootItem(); i; i = t->GetNextSiblingItem(i))
        out << t->GetItemText(i);
    return out;
}
inline QStringList column(CListCtrl* list, int col) {
    QStringList out;
    for (int i = 0; i < list->GetItemCount(); ++i) out << list->GetItemText(i, col);
    return out;
}

inline void click(CDialog& d, int id) { QTest::mouseClick(d.GetDlgItem(id), Qt::LeftButton); }
inline void clickItem(CDialog& d, HTREEITEM item) {
    QTest::mouseClick(tree(d)->viewport(), Qt::LeftButton, {}, tree(d)->visualItemRect(item).center());
}
// What a double click delivers to a widget: press, release, double click, release.
inline void doubleClick(QWidget* w, QPoint at) {
    QTest::mouseClick(w, Qt::LeftButton, {}, at);
    QTest::mouseDClick(w, Qt::LeftButton, {}, at);
    QTest::mouseRelease(w, Qt::LeftButton, {}, at);
}
inline void doubleClickItem(CDialog& d, HTREEITEM item) {
    doubleClick(tree(d)->viewport(), tree(d)->visualItemRect(item).center());
}
inline int rowOf(CDialog& d, const QString& name) { return column(files(d), 0).indexOf(name); }
inline void clickRow(CDialog& d, const QString& name) {
    const QRect r = files(d)->visualItemRect(files(d)->topLevelItem(rowOf(d, name)));
    QTest::mouseClick(files(d)->viewport(), Qt::LeftButton, {}, QPoint(r.left() + r.width() / 2, r.center().y()));
}
// A click on a row's check box; the window hears of the tick after the list toggled it.
inline void tick(CDialog& d, const QString& name) {
    QTest::mouseClick(files(d)->viewport(), Qt::LeftButton, {}, files(d)->checkBoxRect(rowOf(d, name)).center());
    QCoreApplication::sendPostedEvents();
}
inline QStringList selectedPaths(CDialog& d) {
    QStringList out;
    for (const auto& p : main(d).selectedPictures()) out << QString::fromStdString(p->GetPath());
    return out;
}
/// A main window over folders of the test's own: a registry, scripted boxes and shell, a
/// pictures folder (made by the test), no desktop folder, and one mounted disk at "/".
class WindowTest : public ::testing::Test {
protected:
    guitest::TempRegistry registry;
    testutil::ScopedMessageBoxScript boxes;
    testutil::ScopedShellScript shell;
    testutil::TempDir root;
    std::string pictures = root / "Pictures";
    testutil::ScopedEnv pictureDir{"XDG_PICTURES_DIR", pictures};
    testutil::ScopedEnv desktopDir{"XDG_DESKTOP_DIR", root / "NoDesktop"}; // missing: left out
    std::string mounts = root / "mounts";
    std::string previousMounts;

    WindowTest() {
        testutil::writeFile(mounts, "/dev/sda1 / ext4 rw 0 0\nproc /proc proc rw 0 0\n");
        previousMounts = platform::setMountsFile(mounts);
    }
    ~WindowTest() override { platform::setMountsFile(previousMounts); }
};

} // namespace mainwindow
