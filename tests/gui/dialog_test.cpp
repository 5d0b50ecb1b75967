// SPDX-License-Identifier: MIT
// The dialog base: controls from a template found by id, radio groups, the notifications
// of every kind of control through a class's message map, modal runs and the system menu.
#include "guitest.h"
#include "platform/widgets/controls.h"
#include "platform/widgets/dialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int kTemplate = 9001;
constexpr UINT kPosted = WM_USER + 1;

// A dialog over the test template that records what reaches its message map.
class FrameworkDialog : public CDialog {
public:
    FrameworkDialog() : CDialog(kTemplate) {}

    std::vector<std::string> events;
    int destroyed = 0;
    int initialised = 0;

protected:
    BOOL OnInitDialog() override {
        ++initialised;
        return CDialog::OnInitDialog();
    }
    void OnDestroy() override { ++destroyed; }

    const platform::MessageMap* GetMessageMap() const override {
        static const auto map = platform::MessageMapOf<FrameworkDialog>()
                                    .onRange(BN_CLICKED, 2001, 2012, &FrameworkDialog::OnRadio)
                                    .on(BN_CLICKED, 2060, &FrameworkDialog::OnCheck)
                                    .on(EN_CHANGE, 2020, &FrameworkDialog::OnEditChange)
                                    .on(CBN_SELCHANGE, 2030, &FrameworkDialog::OnComboSelChange)
                                    .on(CBN_EDITCHANGE, 2030, &FrameworkDialog::OnComboEditChange)
                                    .on(STN_CLICKED, 2050, &FrameworkDialog::OnNotifyingClicked)
                                    .on(STN_CLICKED, 2051, &FrameworkDialog::OnSilentClicked)
                                    .onHScroll(&FrameworkDialog::OnHScroll)
                                    .onVScroll(&FrameworkDialog::OnVScroll)
                                    .onMessage(kPosted, &FrameworkDialog::OnPosted);
        return &map;
    }

private:
    void record(const std::string& event) { events.push_back(event); }
    void OnRadio(UINT id) { record("BN_CLICKED " + std::to_string(id)); }
    void OnCheck() { record("BN_CLICKED 2060 " + std::to_string(IsDlgButtonChecked(2060))); }
    void OnEditChange() { record("EN_CHANGE " + GetDlgItemText(2020).toStdString()); }
    void OnComboSelChange() { record("CBN_SELCHANGE " + std::to_string(GetDlgItemAs<CComboBox>(2030)->GetCurSel())); }
    void OnComboEditChange() { record("CBN_EDITCHANGE " + GetDlgItemText(2030).toStdString()); }
    void OnNotifyingClicked() { record("STN_CLICKED 2050"); }
    void OnSilentClicked() { record("STN_CLICKED 2051"); }
    void scroll(const char* kind, UINT code, UINT position, QWidget* bar) {
        auto* slider = qobject_cast<CSliderCtrl*>(bar);
        record(std::string(kind) + " " + std::to_string(platform::GetDlgCtrlID(bar)) + " code " + std::to_string(code) +
               " pos " + std::to_string(position) + " at " + std::to_string(slider ? slider->GetPos() : -1));
    }
    void OnHScroll(UINT code, UINT position, QWidget* bar) { scroll("H", code, position, bar); }
    void OnVScroll(UINT code, UINT position, QWidget* bar) { scroll("V", code, position, bar); }
    LRESULT OnPosted(WPARAM w, LPARAM l) {
        record("posted " + std::to_string(w) + " " + std::to_string(l));
        return 7;
    }
};

// Records the commands that reach the application.
struct RecordingTarget : platform::CommandTarget {
    std::vector<std::pair<UINT, UINT>> commands;
    BOOL OnCmdMsg(UINT id, UINT code) override {
        commands.emplace_back(id, code);
        return TRUE;
    }
};

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dialog.Create()); }
    FrameworkDialog dialog;

    template <class T>
    T* item(int id) {
        T* control = dialog.GetDlgItemAs<T>(id);
        EXPECT_NE(control, nullptr) << "control " << id;
        return control;
    }
    void click(int id) { QTest::mouseClick(item<QAbstractButton>(id), Qt::LeftButton); }
};

} // namespace

TEST(DialogTemplate, StyleNamesParseToTheirBits) {
    struct Row {
        const char* names;
        std::optional<DWORD> bits;
    } rows[] = {
        {"", 0u},
        {"WS_GROUP", 0x00020000u},
        {"BS_AUTORADIOBUTTON|WS_GROUP|WS_TABSTOP", 0x00030009u},
        {" SS_NOTIFY | SS_BLACKFRAME ", 0x0107u},
        {"0x40|SS_CENTER", 0x41u},
        {"WS_GROUP|NO_SUCH_STYLE", std::nullopt},
    };
    for (const Row& row : rows) EXPECT_EQ(platform::parseStyle(QString::fromLatin1(row.names)), row.bits) << row.names;
}

TEST(DialogTemplate, DialogUnitsFollowTheFontsAverageLetterAndHeight) {
    const platform::DialogUnits units{7, 13};
    // Across: a quarter of the average width, rounded; down: an eighth of the height, rounded.
    struct Row {
        int dlu, x, y;
    } rows[] = {{0, 0, 0}, {1, 2, 2}, {2, 4, 3}, {4, 7, 7}, {8, 14, 13}, {650, 1138, 1056}, {505, 884, 821}};
    for (const Row& row : rows) {
        EXPECT_EQ(units.x(row.dlu), row.x) << row.dlu;
        EXPECT_EQ(units.y(row.dlu), row.y) << row.dlu;
    }
    // Neighbours that touch in dialog units touch in pixels.
    EXPECT_EQ(units.rect(QRect(3, 5, 3, 5)).right() + 1, units.rect(QRect(6, 10, 4, 4)).left());
    EXPECT_EQ(units.rect(QRect(3, 5, 3, 5)).bottom() + 1, units.rect(QRect(6, 10, 4, 4)).top());

    const platform::DialogUnits dialogFont = platform::dialogBaseUnits(platform::dialogFont());
    const QFontMetrics metrics(platform::dialogFont());
    EXPECT_EQ(dialogFont.baseY, metrics.height());
    EXPECT_NEAR(dialogFont.baseX, metrics.averageCharWidth(), 2);
}

TEST(DialogTemplate, AnUnreadableOrBrokenTemplateIsRefused) {
    QString error;
    EXPECT_FALSE(platform::readDialogTemplate(QStringLiteral(":/brimvale/dialogs/4242.ui"), &error));
    EXPECT_TRUE(error.contains(QLatin1String("cannot be opened"))) << error.toStdString();

    CDialog missing(4242);
    EXPECT_EQ(missing.DoModal(), -1);
}

TEST_F(DialogTest, ControlsAreFoundByIdAtTheirTemplatePlaces) {
    const std::pair<int, QRect> rows[] = {{2001, {7, 7, 40, 10}},   {2011, {57, 7, 40, 10}}, {2020, {7, 47, 60, 13}},
                                          {2040, {7, 85, 100, 15}}, {2050, {132, 7, 40, 20}}, {1, {80, 120, 40, 14}}};
    const platform::DialogUnits& units = dialog.GetDialogUnits();
    EXPECT_EQ(dialog.size(), units.size(QSize(180, 140)));
    for (const auto& [id, dialogUnits] : rows) {
        ASSERT_NE(dialog.GetDlgItem(id), nullptr) << id;
        EXPECT_EQ(dialog.GetDlgItem(id)->geometry(), units.rect(dialogUnits)) << id;
    }
    EXPECT_EQ(dialog.GetDlgItem(4242), nullptr);
    EXPECT_EQ(dialog.initialised, 1);
}

TEST_F(DialogTest, AutoRadioButtonsUncheckOnlyTheirOwnGroup) {
    click(2011); // group B
    click(2002); // group A
    EXPECT_EQ(dialog.GetCheckedRadioButton(2001, 2003), 2002);
    EXPECT_EQ(dialog.GetCheckedRadioButton(2011, 2012), 2011);
    click(2003);
    EXPECT_EQ(dialog.IsDlgButtonChecked(2002), BST_UNCHECKED);
    EXPECT_EQ(dialog.IsDlgButtonChecked(2003), BST_CHECKED);
    EXPECT_EQ(dialog.IsDlgButtonChecked(2011), BST_CHECKED);
    click(2003); // a click never unchecks an auto radio button
    EXPECT_EQ(dialog.IsDlgButtonChecked(2003), BST_CHECKED);
    EXPECT_EQ(dialog.events,
              (std::vector<std::string>{"BN_CLICKED 2011", "BN_CLICKED 2002", "BN_CLICKED 2003", "BN_CLICKED 2003"}));
}

TEST_F(DialogTest, CheckRadioButtonChecksOneOfARangeAndReportsNothing) {
    for (int check : {2002, 2003, 2001, 0}) { // 0, outside the range: all unchecked
        dialog.CheckRadioButton(2001, 2003, check);
        EXPECT_EQ(dialog.GetCheckedRadioButton(2001, 2003), check);
    }
    dialog.CheckDlgButton(2060, BST_CHECKED);
    EXPECT_EQ(dialog.IsDlgButtonChecked(2060), BST_CHECKED);
    EXPECT_TRUE(dialog.events.empty());
}

TEST_F(DialogTest, EditsReportEveryChangeAlsoWhenTheProgramSetsTheText) {
    QTest::keyClicks(item<QLineEdit>(2020), "ab");
    dialog.SetDlgItemText(2020, QStringLiteral("set"));
    dialog.SetDlgItemText(2020, QStringLiteral("set")); // the same text again: Windows reports it too
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"EN_CHANGE a", "EN_CHANGE ab", "EN_CHANGE set", "EN_CHANGE set"}));

    // ES_NUMBER keeps letters out.
    QTest::keyClicks(item<QLineEdit>(2021), "1a2");
    EXPECT_EQ(dialog.GetDlgItemText(2021), QStringLiteral("12"));
}

TEST_F(DialogTest, ComboBoxSortsAndReportsTheUsersChoicesOnly) {
    auto* combo = item<CComboBox>(2030);
    for (const char* text : {"pear", "Apple", "banana", "apple pie"}) combo->AddString(QString::fromLatin1(text));
    QStringList order;
    for (int i = 0; i < combo->GetCount(); ++i) order << combo->GetLBText(i);
    EXPECT_EQ(order, (QStringList{"Apple", "apple pie", "banana", "pear"}));

    EXPECT_EQ(combo->SetCurSel(2), 2);
    EXPECT_EQ(dialog.GetDlgItemText(2030), QStringLiteral("banana"));
    EXPECT_EQ(combo->SetCurSel(9), -1);
    EXPECT_TRUE(dialog.events.empty()) << "the program's own selection is not reported";

    combo->SetCurSel(0);
    QTest::keyClick(combo, Qt::Key_Down);
    QTest::keyClicks(combo->lineEdit(), "!");
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"CBN_SELCHANGE 1", "CBN_EDITCHANGE apple pie!"}));
}

TEST_F(DialogTest, ComboBoxInsertsFindsSelectsAndDeletes) {
    auto* combo = item<CComboBox>(2030);
    for (const char* text : {"/a/out", "/b"}) combo->AddString(QString::fromLatin1(text));
    EXPECT_EQ(combo->InsertString(0, "/a/Out"), 0) << "inserted where asked, not sorted";
    EXPECT_EQ(combo->InsertString(-1, "/c"), 3);
    struct Row {
        int start;
        const char* text;
        int exact;
    } rows[] = {{-1, "/a/Out", 0}, {-1, "/a/out", 1}, {0, "/a/Out", 0}, {-1, "/A/OUT", 0}, {-1, "/d", -1}, {2, "/b", 2}};
    for (const Row& row : rows) EXPECT_EQ(combo->FindStringExact(row.start, row.text), row.exact) << row.text;
    EXPECT_EQ(combo->SelectString(-1, "/B"), 2);
    EXPECT_EQ(combo->GetWindowText(), QStringLiteral("/b"));
    EXPECT_EQ(combo->SelectString(2, "/a"), 0) << "the search wraps";
    EXPECT_EQ(combo->DeleteString(1), 3);
    EXPECT_EQ(combo->DeleteString(7), -1);
    combo->SetWindowText("/typed");
    EXPECT_TRUE(dialog.events.empty()) << "changes made by the program are not reported";
}

TEST_F(DialogTest, SlidersReportTheirScrollCodesAfterTheThumbMoved) {
    auto* slider = item<CSliderCtrl>(2040);
    slider->SetRange(1, 100);
    slider->SetPos(50);
    EXPECT_TRUE(dialog.events.empty()) << "setting the position reports nothing";

    QTest::keyClick(slider, Qt::Key_Right);
    QTest::keyClick(slider, Qt::Key_PageUp);
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{
                                 "H 2040 code 1 pos 0 at 51", "H 2040 code 8 pos 0 at 51", // line down, end
                                 "H 2040 code 2 pos 0 at 31", "H 2040 code 8 pos 0 at 31", // page up, end
                                 "H 2040 code 6 pos 0 at 1", "H 2040 code 8 pos 0 at 1",   // top, end
                             }));

    // A drag from the middle, where the thumb of the middle position lies: thumb tracking
    // while it moves, then the thumb position and the end at release.
    dialog.show();
    slider->SetPos(50);
    dialog.events.clear();
    const QPoint handle = slider->rect().center();
    QTest::mousePress(slider, Qt::LeftButton, {}, handle);
    QTest::mouseMove(slider, handle + QPoint(slider->width() / 3, 0));
    QTest::mouseRelease(slider, Qt::LeftButton, {}, handle + QPoint(slider->width() / 3, 0));
    ASSERT_GE(dialog.events.size(), 3u);
    const int dropped = slider->GetPos();
    EXPECT_GT(dropped, 1);
    EXPECT_EQ(dialog.events[0].rfind("H 2040 code 5 pos ", 0), 0u) << dialog.events[0];
    const std::vector<std::string> last(dialog.events.end() - 2, dialog.events.end());
    EXPECT_EQ(last, (std::vector<std::string>{"H 2040 code 4 pos " + std::to_string(dropped) + " at " +
                                                  std::to_string(dropped),
                                              "H 2040 code 8 pos 0 at " + std::to_string(dropped)}));

    // Vertical sliders come through WM_VSCROLL; the up key lowers the position.
    dialog.events.clear();
    auto* vertical = item<CSliderCtrl>(2041);
    vertical->SetPos(10);
    QTest::keyClick(vertical, Qt::Key_Up);
    EXPECT_EQ(dialog.events,
              (std::vector<std::string>{"V 2041 code 0 pos 0 at 9", "V 2041 code 8 pos 0 at 9"}));
}

TEST_F(DialogTest, StaticsReportClicksOnlyWithTheNotifyStyle) {
    dialog.show();
    QTest::mousePress(item<CStatic>(2050), Qt::LeftButton);
    QTest::mousePress(item<CStatic>(2051), Qt::LeftButton);
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"STN_CLICKED 2050"}));
}

TEST_F(DialogTest, PostedMessagesArriveAfterTheCurrentEvent) {
    dialog.PostMessage(kPosted, 3, 4);
    EXPECT_TRUE(dialog.events.empty());
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.events, (std::vector<std::string>{"posted 3 4"}));
    EXPECT_EQ(dialog.SendMessage(kPosted, 5, 6), 7);
    EXPECT_EQ(dialog.SendMessage(kPosted + 1, 5, 6), 0) << "a message nobody maps";
}

TEST_F(DialogTest, CommandsTheDialogDoesNotHandleGoToTheApplication) {
    RecordingTarget application;
    platform::CommandTarget* previous = platform::setApplicationCommandTarget(&application);
    click(2070);
    click(2001); // handled by the dialog: not passed on
    platform::setApplicationCommandTarget(previous);
    EXPECT_EQ(application.commands, (std::vector<std::pair<UINT, UINT>>{{2070u, BN_CLICKED}}));
}

TEST(DialogModal, TheHookDrivesTheDialogAndItsButtonsEndIt) {
    struct Row {
        const char* how;
        std::function<void(CDialog&)> drive;
        INT_PTR result;
    } rows[] = {
        {"OK button", [](CDialog& d) { QTest::mouseClick(d.GetDlgItemAs<QPushButton>(IDOK), Qt::LeftButton); }, IDOK},
        {"Enter", [](CDialog& d) { QTest::keyClick(&d, Qt::Key_Return); }, IDOK},
        {"Cancel button",
         [](CDialog& d) { QTest::mouseClick(d.GetDlgItemAs<QPushButton>(IDCANCEL), Qt::LeftButton); }, IDCANCEL},
        {"Escape", [](CDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, IDCANCEL},
        {"close box", [](CDialog& d) { d.close(); }, IDCANCEL},
        {"Close in the system menu, which opens on Alt+Space",
         [](CDialog& d) {
             QTest::keyClick(&d, Qt::Key_Space, Qt::AltModifier);
             QMenu* menu = guitest::openMenu();
             ASSERT_NE(menu, nullptr);
             EXPECT_FALSE(guitest::actionWithId(menu, SC_RESTORE)->isEnabled()) << "not minimised or maximised";
             const QRect close = menu->actionGeometry(guitest::actionWithId(menu, SC_CLOSE));
             QTest::mouseClick(menu, Qt::LeftButton, {}, close.center());
         },
         IDCANCEL},
        {"left open", [](CDialog&) {}, IDCANCEL},
    };
    for (const Row& row : rows) {
        FrameworkDialog dialog;
        bool shown = false;
        const INT_PTR result = guitest::runModal(dialog, [&](CDialog& d) {
            shown = d.isVisible() && d.GetTemplateId() == kTemplate;
            row.drive(d);
        });
        EXPECT_TRUE(shown) << row.how;
        EXPECT_EQ(result, row.result) << row.how;
        EXPECT_FALSE(dialog.isVisible()) << row.how;
        EXPECT_EQ(dialog.destroyed, 1) << row.how;
    }
}

TEST(Menu, ItemsKeepTheirCheckMarkUntilTheProgramChangesIt) {
    CMenu menu;
    ASSERT_TRUE(menu.CreatePopupMenu());
    menu.AppendMenu(MF_STRING, 0x30, QStringLiteral("Auto"));
    menu.AppendMenu(MF_SEPARATOR);
    menu.AppendMenu(MF_STRING | MF_CHECKED | MF_GRAYED, 0x40, QStringLiteral("Other"));

    EXPECT_EQ(menu.GetMenuItemID(1), 0u);
    EXPECT_EQ(menu.GetMenuState(0x30, MF_BYCOMMAND), MF_UNCHECKED);
    EXPECT_EQ(menu.GetMenuState(0x40, MF_BYCOMMAND), MF_CHECKED | MF_GRAYED);
    EXPECT_EQ(menu.GetMenuState(1, MF_BYPOSITION), MF_SEPARATOR);
    EXPECT_EQ(menu.GetMenuState(0x99, MF_BYCOMMAND), kMenuItemMissing);
    EXPECT_EQ(menu.CheckMenuItem(0x99, MF_CHECKED), kMenuItemMissing);

    QAction* item = menu.actionOf(0x30, MF_BYCOMMAND);
    item->trigger(); // chosen: the mark stays as the program left it
    EXPECT_EQ(menu.GetMenuState(0x30, MF_BYCOMMAND), MF_UNCHECKED);
    EXPECT_EQ(menu.CheckMenuItem(0x30, MF_CHECKED), MF_UNCHECKED);
    item->trigger();
    EXPECT_EQ(menu.GetMenuState(0x30, MF_BYCOMMAND), MF_CHECKED);
}
