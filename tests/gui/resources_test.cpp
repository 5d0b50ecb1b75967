// SPDX-License-Identifier: MIT
// The program's resources: menu, icon, and the five dialog templates, each
// laid out so that every control lies inside the window, none overlaps another, and every
// caption fits its control.
#include "app/aboutdlg.h"
#include "app/brimvaledlg.h"
#include "controls/groupctrlex.h"
#include "controls/label.h"
#include "controls/ownerdrawbutton.h"
#include "guitest.h"
#include "platform/widgets/controls.h"
#include "platform/widgets/resources.h"
#include "res/resource.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

// The file menu's commands are chosen in the browse tests, the icon drawn in the window tests.
TEST(Resources, FileMenuAndIcon) {
    CMenu menu;
    ASSERT_TRUE(menu.LoadMenu(IDR_FILEMENU));
    EXPECT_EQ(menu.GetMenuState(32772, MF_BYCOMMAND), 0u) << "commands are found through the pop-ups";

    CMenu missing;
    EXPECT_FALSE(missing.LoadMenu(4242));
    EXPECT_FALSE(platform::LoadIconResource(IDR_MAINFRAME).isNull());
    EXPECT_TRUE(platform::LoadIconResource(4242).isNull());
}

namespace {

// The dialog of a template as the program makes it (its own class where there is one).
std::unique_ptr<CDialog> makeDialog(int id) {
    if (id == IDD_BRIMVALE_DIALOG) return std::make_unique<CBrimvaleDlg>();
    if (id == IDD_ABOUTBOX) return std::make_unique<CAboutDlg>();
    return std::make_unique<CDialog>(id);
}

// The widest word of a text (lines break at CR LF and blanks when a static wraps).
int widestWord(const QFontMetrics& metrics, const QString& text) {
    int widest = 0;
    for (const QString& word : QString(text).replace(QLatin1String("\r\n"), QLatin1String(" ")).split(QLatin1Char(' ')))
        widest = std::max(widest, metrics.horizontalAdvance(word) + 1);
    return widest;
}

bool wraps(DWORD style) {
    const DWORD kind = style & SS_TYPEMASK;
    return !(style & SS_CENTERIMAGE) && (kind == SS_LEFT || kind == SS_CENTER || kind == SS_RIGHT);
}

// The width a control's caption needs: its widest word where the text wraps, else all of it.
int neededWidth(QWidget* control) {
    if (auto* statik = qobject_cast<CStatic*>(control)) {
        auto* label = qobject_cast<CLabel*>(control);
        const QFontMetrics metrics(label ? label->GetFont() : statik->font());
        const QString text = statik->GetWindowText();
        return wraps(statik->GetStyle()) ? widestWord(metrics, text) : metrics.horizontalAdvance(text) + 1;
    }
    if (auto* group = qobject_cast<CGroupCtrlEx*>(control)) return group->captionRect().right() + 8;
    if (qobject_cast<OwnerDrawButton*>(control) || qobject_cast<SystemMenuButton*>(control))
        return 0; // checked by their drawing tests
    if (auto* push = qobject_cast<QPushButton*>(control))
        return QFontMetrics(push->font()).horizontalAdvance(push->text().remove(QLatin1Char('&'))) + 8;
    if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->sizeHint().width();
    return 0;
}

int neededHeight(QWidget* control) {
    if (auto* label = qobject_cast<CLabel*>(control)) {
        const QString text = label->GetWindowText();
        const QFontMetrics metrics(label->GetFont());
        const QRect box = metrics.boundingRect(QRect(0, 0, label->GetClientRect().Width(), 10000),
                                               wraps(label->GetStyle()) ? int(Qt::TextWordWrap) : 0,
                                               QString(text).replace(QLatin1String("\r\n"), "\n"));
        return text.isEmpty() ? 0 : box.height();
    }
    if (auto* statik = qobject_cast<CStatic*>(control)) {
        const QString text = statik->GetWindowText();
        const QRect box = QFontMetrics(statik->font()).boundingRect(
            QRect(0, 0, statik->width(), 10000), wraps(statik->GetStyle()) ? int(Qt::TextWordWrap) : 0, text);
        return text.isEmpty() ? 0 : box.height();
    }
    if (qobject_cast<QAbstractButton*>(control) && !qobject_cast<OwnerDrawButton*>(control) &&
        !qobject_cast<SystemMenuButton*>(control))
        return QFontMetrics(control->font()).height();
    return 0;
}

std::string describe(QWidget* w) {
    return w->objectName().toStdString() + " (" + std::to_string(platform::GetDlgCtrlID(w)) + ")";
}

} // namespace

TEST(Templates, EveryControlFitsItsWindowAndNoneOverlaps) {
    for (int id : {IDD_ABOUTBOX, IDD_BRIMVALE_DIALOG, IDD_SAVECROP, IDD_IMAGETYPE, IDD_CONFIG, IDD_FOLDERBROWSER}) {
        guitest::TempRegistry registry;
        registry.store("\"Destination0\"=\"/home/ann/Pictures/Smaller\"\n");
        std::unique_ptr<CDialog> dialog = makeDialog(id);
        ASSERT_TRUE(dialog->Create()) << id;
        ASSERT_NE(dialog->GetTemplate(), nullptr);
        EXPECT_FALSE(dialog->GetTemplate()->controls.empty()) << id;
        const QRect client = dialog->rect();
        std::vector<QWidget*> controls;
        for (QWidget* w : dialog->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
            if (w->isVisibleTo(dialog.get()) && (platform::GetDlgCtrlID(w) != 0 || qobject_cast<SystemMenuButton*>(w)))
                controls.push_back(w);
        EXPECT_EQ(controls.size(), dialog->GetTemplate()->controls.size()) << id;

        for (QWidget* w : controls) {
            EXPECT_TRUE(client.contains(w->geometry())) << id << ": " << describe(w) << " leaves the window";
            EXPECT_LE(neededWidth(w), w->width()) << id << ": the caption of " << describe(w) << " is cut off";
            EXPECT_LE(neededHeight(w), w->height()) << id << ": the caption of " << describe(w) << " is cut off";
        }
        for (std::size_t i = 0; i < controls.size(); ++i) {
            for (std::size_t j = i + 1; j < controls.size(); ++j) {
                QWidget* a = controls[i];
                QWidget* b = controls[j];
                if (!a->geometry().intersects(b->geometry())) continue;
                // A group box frames what lies wholly inside it, below its caption.
                auto framed = [](QWidget* box, QWidget* inner) {
                    auto* group = qobject_cast<CGroupCtrlEx*>(box);
                    if (!group) return false;
                    const QRect inside = group->geometry().adjusted(2, group->captionRect().bottom() + 1, -2, -2);
                    return inside.contains(inner->geometry());
                };
                EXPECT_TRUE(framed(a, b) || framed(b, a))
                    << id << ": " << describe(a) << " overlaps " << describe(b);
            }
        }
    }
}
