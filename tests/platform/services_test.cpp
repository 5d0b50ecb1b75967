// SPDX-License-Identifier: MIT
// Message boxes and shell opening through installed services, and the scripted services
// the other tests use.
#include "platform/services.h"

#include "scriptedservices.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

namespace {

struct DefaultRow {
    UINT type;
    int answer;
};

void PrintTo(const DefaultRow& row, std::ostream* os) { *os << "type " << row.type; }

class UnattendedAnswers : public ::testing::TestWithParam<DefaultRow> {};

TEST_P(UnattendedAnswers, WithNoServiceTheTextGoesToStderrAndNothingGoesAhead) {
    ASSERT_EQ(platform::messageBoxService(), nullptr);
    ::testing::internal::CaptureStderr();
    const int answer = AfxMessageBox("Nobody is there to read this.", GetParam().type);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, GetParam().answer);
    EXPECT_NE(err.find("Nobody is there to read this."), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Types, UnattendedAnswers,
                         ::testing::Values(DefaultRow{MB_OK, IDOK}, DefaultRow{MB_OK | MB_ICONERROR, IDOK},
                                           DefaultRow{MB_YESNO, IDNO}, DefaultRow{MB_YESNO | MB_ICONQUESTION, IDNO},
                                           DefaultRow{MB_OKCANCEL, IDCANCEL}, DefaultRow{MB_YESNOCANCEL, IDCANCEL},
                                           DefaultRow{MB_RETRYCANCEL, IDCANCEL},
                                           DefaultRow{MB_ABORTRETRYIGNORE, IDABORT}));

TEST(MessageBoxes, GoToTheInstalledServiceInOrder) {
    testutil::ScopedMessageBoxScript boxes;
    boxes.answer(IDYES).answer(IDNO).answer(IDOK);
    EXPECT_EQ(AfxMessageBox("Overwrite?", MB_YESNO), IDYES);
    EXPECT_EQ(AfxMessageBox("Create it?", MB_YESNO | MB_ICONQUESTION), IDNO);
    EXPECT_EQ(AfxMessageBox("Done."), IDOK);
    const auto calls = boxes.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[1].text, "Create it?");
    EXPECT_EQ(calls[1].type, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(calls[2].type, MB_OK);
    EXPECT_EQ(boxes.pendingAnswers(), 0u);
    {
        testutil::ScopedMessageBoxScript inner; // a scoped service restores the previous one
        inner.answer(IDNO);
        EXPECT_EQ(AfxMessageBox("inner", MB_YESNO), IDNO);
    }
    EXPECT_EQ(platform::messageBoxService(), &boxes);
    EXPECT_EQ(boxes.texts().size(), 3u);
}

TEST(ScriptedMessageBoxes, FailTheTestOnABoxNobodyExpectedAWrongButtonOrAnUnusedAnswer) {
    testutil::ScopedMessageBoxScript boxes;
    int answer = 0;
    EXPECT_NONFATAL_FAILURE(answer = AfxMessageBox("Surprise!", MB_YESNO), "unexpected message box");
    EXPECT_EQ(answer, IDNO);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"Surprise!"});
    boxes.answer(IDYES);
    EXPECT_NONFATAL_FAILURE(AfxMessageBox("Only OK here."), "no button of the box");
    EXPECT_NONFATAL_FAILURE(
        {
            testutil::ScopedMessageBoxScript unused;
            unused.answer(IDOK);
        },
        "never used");
    EXPECT_EQ(platform::messageBoxService(), &boxes);
}

TEST(ShellExecute, HandsTargetAndVerbToTheShellService) {
    testutil::ScopedShellScript shell;
    EXPECT_GT(ShellExecuteA(nullptr, "explore", "/srv/out", nullptr, nullptr, SW_SHOW), 32);
    EXPECT_GT(ShellExecuteA(nullptr, nullptr, "mailto:someone@example.org", nullptr, nullptr, SW_SHOWNORMAL), 32);
    shell.setResult(false);
    EXPECT_EQ(ShellExecuteA(nullptr, "open", "https://example.org/Kestrelby", nullptr, nullptr, SW_SHOW),
              SE_ERR_NOASSOC);
    EXPECT_EQ(ShellExecuteA(nullptr, "open", nullptr, nullptr, nullptr, SW_SHOW), ERROR_FILE_NOT_FOUND);

    const auto calls = shell.calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].target, "/srv/out");
    EXPECT_EQ(calls[0].verb, "explore");
    EXPECT_EQ(calls[1].target, "mailto:someone@example.org");
    EXPECT_EQ(calls[1].verb, "");
    EXPECT_EQ(calls[2].verb, "open");
}

TEST(ShellExecute, FailsWithNoServiceInstalled) {
    ASSERT_EQ(platform::shellService(), nullptr);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ShellExecuteA(nullptr, "open", "/srv/out", nullptr, nullptr, SW_SHOW), SE_ERR_NOASSOC);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("/srv/out"), std::string::npos);
}

} // namespace
