// SPDX-License-Identifier: MIT
// CLabel and CGroupCtrlEx drawn to images: background colours and gradients, flashing
// driven through the timer handler, alignment, 3-D and rotated text, fonts, frames, links.
#include "controls/groupctrlex.h"
#include "controls/label.h"
#include "guitest.h"
#include "platform/widgets/resources.h"
#include "scriptedservices.h"

#include <QFontInfo>
#include <QPalette>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kYellow = RGB(255, 255, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);

// The bounding box of every pixel that is not the background colour.
QRect inkBox(const QImage& image, COLORREF background) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (guitest::pixel(image, x, y) != background) box |= QRect(x, y, 1, 1);
    return box;
}

bool around(int value, int want) { return std::abs(value - want) <= 3; }

class LabelTest : public ::testing::Test {
protected:
    void SetUp() override { init(label, 200, 40); }
    static void init(CLabel& l, int width, int height) {
        l.resize(width, height);
        l.PreSubclassWindow();
    }
    // A large bold red text on yellow, so glyphs have solid pixels.
    void bigText(const QString& text = QStringLiteral("MMMM")) {
        label.SetText(text).SetBackground(kYellow).SetTextColor(kRed).SetPointSize(16).SetBold(true);
    }
    CLabel label;
};

} // namespace

TEST_F(LabelTest, BackgroundIsTheFaceColourFollowingSystemChangesOrItsOwnColour) {
    EXPECT_EQ(guitest::pixel(guitest::render(&label), 3, 3), platform::GetSysColor(COLOR_3DFACE));

    const QPalette saved = QApplication::palette();
    QPalette changed = saved;
    changed.setColor(QPalette::Window, QColor(10, 20, 30));
    QApplication::setPalette(changed);
    QCoreApplication::processEvents(); // the change reaches the widgets as an event
    const COLORREF after = guitest::pixel(guitest::render(&label), 3, 3);
    QApplication::setPalette(saved);
    EXPECT_EQ(after, RGB(10, 20, 30));
    label.SetBackground(RGB(12, 34, 56)); // a colour of its own fills the whole label
    EXPECT_EQ(guitest::countColour(guitest::render(&label), RGB(12, 34, 56)), 200 * 40);
}

TEST_F(LabelTest, GradientRunsFromStartToEndInAtMostAHundredBands) {
    struct Row {
        int width;
        int bands;
    } rows[] = {{1, 1}, {50, 50}, {100, 100}, {157, 100}, {400, 100}};
    const COLORREF start = RGB(192, 0, 0), end = RGB(0, 128, 128);
    for (const Row& row : rows) {
        label.resize(row.width, 20);
        label.SetBackground(start, end, CLabel::BackGradient);
        const QImage image = guitest::render(&label);
        std::set<COLORREF> colours;
        int redBefore = 256;
        for (int x = 0; x < row.width; ++x) {
            const COLORREF c = guitest::pixel(image, x, 10);
            colours.insert(c);
            EXPECT_LE(GetRValue(c), redBefore) << "red only falls, width " << row.width << " x " << x;
            redBefore = GetRValue(c);
            EXPECT_EQ(guitest::pixel(image, x, 0), c) << "bands are vertical";
        }
        EXPECT_EQ(guitest::pixel(image, 0, 10), start) << row.width;
        if (row.width > 1) {
            EXPECT_EQ(guitest::pixel(image, row.width - 1, 10), end) << row.width;
        }
        EXPECT_EQ(static_cast<int>(colours.size()), row.bands) << row.width;
    }
}

TEST_F(LabelTest, FlashingHidesTheTextOrTheBackgroundOnEveryOtherTickUntilTurnedOff) {
    const COLORREF face = platform::GetSysColor(COLOR_3DFACE);
    // What the label shows hidden and shown: the colour at a corner the text does not reach, and
    // the colour of the glyphs (the background's, filling the label, when the text vanishes).
    const struct {
        const char* what;
        bool background;
        CLabel& (CLabel::*flash)(bool);
        COLORREF hidden[2], shown[2];
    } rows[] = {
        {"text", true, &CLabel::FlashText, {kYellow, kYellow}, {kYellow, kRed}},
        {"text without a background colour", false, &CLabel::FlashText, {face, RGB(0, 0, 0)}, {face, kRed}},
        {"background", true, &CLabel::FlashBackground, {face, kRed}, {kYellow, kRed}},
    };
    for (const auto& row : rows) {
        CLabel l;
        init(l, 200, 40);
        l.SetText(QStringLiteral("MMMM")).SetTextColor(kRed).SetPointSize(16).SetBold(true);
        if (row.background) l.SetBackground(kYellow);
        (l.*row.flash)(true);
        EXPECT_TRUE(l.IsFlashTimerRunning()) << row.what;
        for (int step = 0; step < 4; ++step) { // started, a tick, another tick, turned off
            if (step == 1 || step == 2) l.OnTimer(1);
            if (step == 3) (l.*row.flash)(false);
            const COLORREF* look = step % 2 ? row.shown : row.hidden;
            const COLORREF corner = look[0], ink = look[1];
            const QImage image = guitest::render(&l);
            SCOPED_TRACE(testing::Message() << row.what << ", step " << step);
            EXPECT_EQ(guitest::pixel(image, 199, 39), corner);
            EXPECT_EQ(guitest::countColour(image, kRed) > 0, ink == kRed);
            EXPECT_GT(guitest::countColour(image, ink), ink == corner ? 200 * 40 - 1 : 20);
        }
        EXPECT_FALSE(l.IsFlashTimerRunning()) << row.what;
    }
}

TEST_F(LabelTest, AlignmentFollowsTheStaticStyle) {
    const char* const wrapped = "wrapped words wrapped words wrapped words wrapped words";
    // Where the ink lies, given its box and the height of a line.
    using Where = bool (*)(QRect, int);
    const Where leftTop = [](QRect ink, int) { return ink.left() < 4 && ink.top() < 6; };
    const Where twoLines = [](QRect ink, int line) { return ink.height() > line; };
    const struct {
        DWORD style;
        const char* text;
        Where where;
    } rows[] = {
        {SS_LEFT, "ab", leftTop},
        {SS_CENTER, "ab", [](QRect ink, int) { return around(ink.center().x(), 100) && ink.top() < 6; }},
        {SS_RIGHT, "ab", [](QRect ink, int) { return ink.right() > 194; }},
        {SS_LEFT | SS_CENTERIMAGE, "ab",
         [](QRect ink, int) { return around(ink.center().x(), 100) && around(ink.center().y(), 30); }},
        {SS_LEFT, wrapped, twoLines},
        {SS_LEFTNOWORDWRAP, wrapped, [](QRect ink, int line) { return ink.height() <= line; }},
        {SS_LEFT | SS_CENTERIMAGE, "first\r\nsecond", twoLines},
    };
    for (const auto& row : rows) {
        CLabel l;
        init(l, 200, 60);
        l.ModifyStyle(0xFFFF, row.style);
        l.SetText(QString::fromLatin1(row.text)).SetBackground(kYellow).SetTextColor(kRed);
        const QRect ink = inkBox(guitest::render(&l), kYellow);
        EXPECT_TRUE(!ink.isEmpty() && row.where(ink, QFontMetrics(l.GetFont()).height()))
            << std::hex << row.style << std::dec << " " << row.text << ": ink at " << ink.x() << "," << ink.y() << " "
            << ink.width() << "x" << ink.height();
    }
}

TEST_F(LabelTest, ThreeDTextAddsAHighlightCopyOnePixelAway) {
    bigText(QStringLiteral("H"));
    const QRect plain = inkBox(guitest::render(&label), kYellow);
    label.Set3DHighlightColor(kGreen).Set3DText(true, 1);
    const QImage downRight = guitest::render(&label);
    EXPECT_GT(guitest::countColour(downRight, kGreen), 10);
    EXPECT_EQ(inkBox(downRight, kYellow), plain.adjusted(0, 0, 1, 1));
    label.Set3DText(true, 0);
    EXPECT_EQ(inkBox(guitest::render(&label), kYellow), plain.adjusted(-1, -1, 0, 0));
}

TEST_F(LabelTest, RotatedTextStartsAtTheCentreAndRunsAlongTheAngle) {
    label.resize(120, 120);
    bigText(QStringLiteral("WWW"));
    const QRect flat = inkBox(guitest::render(&label), kYellow);
    EXPECT_GT(flat.width(), flat.height());

    label.SetRotation(90, true);
    const QRect up = inkBox(guitest::render(&label), kYellow);
    EXPECT_GT(up.height(), up.width());
    EXPECT_LE(up.bottom(), 61) << "drawn upwards from the centre";
    EXPECT_LT(up.top(), 40);
    EXPECT_LE(up.right(), 61) << "the baseline runs through the centre";
}

TEST_F(LabelTest, PointSizesAndFaceNamesMapToTheDesktopsFonts) {
    ASSERT_EQ(platform::logicalDpiY(), 96);
    struct Row {
        int points;
        LONG height;
    } rows[] = {{8, -11}, {10, -13}, {12, -16}, {20, -27}};
    for (const Row& row : rows) {
        label.SetPointSize(row.points);
        EXPECT_EQ(label.GetLogFont().lfHeight, row.height) << row.points;
        EXPECT_EQ(label.GetFont().pixelSize(), -row.height) << row.points;
    }
    label.SetFaceName(QStringLiteral("Times New Roman"));
    EXPECT_EQ(QFontInfo(label.GetFont()).family(), QStringLiteral("Liberation Serif"));
    LOGFONT lf = label.GetLogFont();
    platform::setFaceName(lf, "Arial");
    label.SetLogFont(lf);
    EXPECT_EQ(QFontInfo(label.GetFont()).family(), QStringLiteral("Liberation Sans"));
}

TEST_F(LabelTest, BorderAndSunkenEdgeFrameTheClientArea) {
    label.SetBackground(kYellow);
    label.SetBorder(true);
    QImage image = guitest::render(&label);
    EXPECT_EQ(guitest::pixel(image, 0, 0), RGB(0, 0, 0));
    EXPECT_EQ(guitest::pixel(image, 199, 39), RGB(0, 0, 0));
    EXPECT_EQ(guitest::pixel(image, 1, 1), kYellow);
    EXPECT_EQ(label.GetClientRect().Width(), 198);

    label.SetSunkenEdge(true);
    image = guitest::render(&label);
    EXPECT_EQ(guitest::pixel(image, 1, 1), platform::GetSysColor(COLOR_3DSHADOW));
    EXPECT_EQ(guitest::pixel(image, 198, 38), platform::GetSysColor(COLOR_3DHILIGHT));
    EXPECT_EQ(guitest::pixel(image, 2, 2), kYellow);
    EXPECT_EQ(label.GetClientRect().Width(), 196);

    label.SetBorder(false).SetSunkenEdge(false);
    EXPECT_EQ(guitest::pixel(guitest::render(&label), 0, 0), kYellow);
}

TEST_F(LabelTest, TransparentLabelShowsItsParentBeneath) {
    QWidget parent;
    parent.resize(220, 60);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, QColor(0, 0, 200));
    parent.setPalette(palette);
    parent.setAutoFillBackground(true);
    CLabel* child = new CLabel(&parent);
    child->setGeometry(10, 10, 100, 30);
    child->PreSubclassWindow();
    child->SetBackground(kYellow);
    EXPECT_EQ(guitest::pixel(guitest::render(&parent), 20, 20), kYellow);
    child->SetTransparent(true);
    EXPECT_EQ(guitest::pixel(guitest::render(&parent), 20, 20), RGB(0, 0, 200));
}

TEST_F(LabelTest, LinksOpenThroughTheShell) {
    struct Row {
        const char* how;
        std::function<void(CLabel&)> set;
        std::vector<std::pair<std::string, std::string>> calls; // target, verb
    } rows[] = {
        {"web link, own text", [](CLabel& l) { l.SetWebLink(true, false); }, {{"www.site.example", "open"}}},
        {"web link, target",
         [](CLabel& l) { l.SetWebLink(true, false).SetLinkTarget(QStringLiteral("http://site.example/Kestrelby")); },
         {{"http://site.example/Kestrelby", "open"}}},
        {"mail link", [](CLabel& l) { l.SetMailLink(true, false); }, {{"mailto:www.site.example", ""}}},
        {"link turned off", [](CLabel& l) { l.SetWebLink(true, false).SetWebLink(false, false); }, {}},
    };
    for (const Row& row : rows) {
        testutil::ScopedShellScript shell;
        CLabel l;
        init(l, 150, 20);
        l.SetText(QStringLiteral("www.site.example"));
        row.set(l);
        QTest::mouseClick(&l, Qt::LeftButton);
        std::vector<std::pair<std::string, std::string>> calls;
        for (const testutil::ShellCall& call : shell.calls()) calls.emplace_back(call.target, call.verb);
        EXPECT_EQ(calls, row.calls) << row.how;
    }
}

namespace {

// A dialog with a label (id 2080) that reports its notify-parent clicks.
class NotifiedDialog : public CDialog {
public:
    NotifiedDialog() : CDialog(9001) {}
    std::vector<std::pair<UINT_PTR, QWidget*>> notices;

protected:
    const platform::MessageMap* GetMessageMap() const override {
        static const auto map = platform::MessageMapOf<NotifiedDialog>().onNotify(NM_LINKCLICK, 2080,
                                                                                  &NotifiedDialog::OnLinkClick);
        return &map;
    }

private:
    void OnLinkClick(NMHDR* header, LRESULT* result) {
        notices.emplace_back(header->idFrom, header->hwndFrom);
        *result = 0;
    }
};

} // namespace

TEST(LabelNotify, AClickGoesToTheParentInsteadOfTheShell) {
    testutil::ScopedShellScript shell;
    NotifiedDialog dialog;
    ASSERT_TRUE(dialog.Create());
    auto* link = dialog.GetDlgItemAs<CLabel>(2080);
    ASSERT_NE(link, nullptr);
    link->SetWebLink(true, true);
    dialog.show();
    QTest::mouseClick(link, Qt::LeftButton);
    EXPECT_EQ(dialog.notices, (std::vector<std::pair<UINT_PTR, QWidget*>>{{2080u, link}}));
    EXPECT_TRUE(shell.calls().empty());
}

TEST(GroupCtrlEx, CaptionHasItsOwnTextAndBackgroundColours) {
    CGroupCtrlEx group;
    group.setFont(platform::dialogFont());
    group.setTitle(QStringLiteral("Image Size"));
    group.resize(200, 80);
    group.m_crText = RGB(0, 0, 255);
    group.m_crBackground = kYellow;
    group.RedrawWindow();
    const QImage image = guitest::render(&group);
    const QRect caption = group.captionRect();
    int blueInCaption = 0, blueElsewhere = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const bool inCaption = caption.contains(x, y);
            const bool blue = guitest::near(guitest::pixel(image, x, y), RGB(0, 0, 255));
            (inCaption ? blueInCaption : blueElsewhere) += blue;
        }
    EXPECT_GT(blueInCaption, 10);
    EXPECT_EQ(blueElsewhere, 0);
    EXPECT_EQ(guitest::pixel(image, caption.left(), caption.top()), kYellow);
    // The frame's top line runs through the caption's middle, not above it.
    EXPECT_EQ(guitest::pixel(image, caption.right() + 4, caption.center().y()), platform::GetSysColor(COLOR_3DSHADOW));
}
