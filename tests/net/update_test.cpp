// SPDX-License-Identifier: MIT
// The update check without a window: reading version files, the site's address, and whole
// checks against scripted servers with scripted message boxes and shell.
#include "loopback.h"
#include "net/updatecheck.h"
#include "scriptedservices.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <future>

using namespace nettest;
using net::VersionNumber;

namespace {

CUT_StringList listOf(const std::vector<std::string>& lines) {
    CUT_StringList list;
    for (const auto& line : lines) list.AddString(line);
    return list;
}

TEST(UpdateCheckTest, VersionFilesReadNumberByNumber) {
    const std::pair<std::vector<std::string>, VersionNumber> rows[] = {
        {{"1", "2", "0", "7"}, {1, 2, 0, 7}},
        {{"1", "2", "0", "7", "ignored"}, {1, 2, 0, 7}},
        {{" 3x", "a", "-1", "9"}, {3, 0, -1, 9}},
        {{"1.3"}, {1, 3, 0, 0}},
        {{"1.10"}, {1, 1, 0, 0}},
        {{"2.x", "5"}, {2, 0, 0, 0}},
        {{"2."}, {2, 0, 0, 0}},
        {{"9999999999"}, {2147483647, 0, 0, 0}},
        {{}, {0, 0, 0, 0}},
    };
    for (const auto& [lines, expected] : rows)
        EXPECT_EQ(net::parseVersionFile(listOf(lines)), expected) << (lines.empty() ? "(none)" : lines.front());
}

TEST(UpdateCheckTest, SiteAddress) {
    for (const char* good : {"http://h", "http://h:8080", "http://h/", "http://[::1]:80", "http://127.0.0.1:9"})
        EXPECT_TRUE(net::isUsableBaseUrl(good)) << good;
    for (const char* bad : {"", "h", "https://h", "http://", "http://h/x", "http://h:0", "http://u@h", "http://h:9/x", "ftp://h"})
        EXPECT_FALSE(net::isUsableBaseUrl(bad)) << bad;
    {
        testutil::ScopedEnv env("BRIMVALE_UPDATE_URL", "http://127.0.0.1:5");
        EXPECT_EQ(net::updateBaseUrl(), "http://127.0.0.1:5");
    }
    testutil::ScopedEnv env("BRIMVALE_UPDATE_URL", std::nullopt);
    EXPECT_TRUE(net::isUsableBaseUrl(net::updateBaseUrl())) << "the configured site: " << net::updateBaseUrl();
    EXPECT_EQ(net::versionFileUrl("http://h:1/", "brimvale"), "http://h:1/Kestrelby/brimvaleVersion.txt");
    EXPECT_EQ(net::downloadPageUrl("http://h:1"), "http://h:1/Kestrelby");
}

const char* const kUnable = "Unable to connect to the Kestrelby website to check version status.";
const char* const kUnavailable = "Brimvale version data is unavailable.";

struct CheckRow {
    const char* name;
    std::optional<Script> server; // none: nobody listens
    VersionNumber current;
    bool offerOnly;
    std::vector<std::pair<std::string, UINT>> boxes; // "NEWER x.y.z.w", "CURRENT x.y.z.w" or the text
    int answer;                                      // to the one box, if any
    bool opensPage;
};
void PrintTo(const CheckRow& row, std::ostream* os) { *os << row.name; }

Script versionFile(std::string body) { return reply("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + body); }

Script trickle() {
    return [](Peer& p) {
        p.readRequest();
        p.send("HTTP/1.0 200 OK\r\n\r\n");
        for (int i = 0; i < 60 && p.send(i % 2 ? "\n" : "1"); ++i) p.pause(50ms);
    };
}

Script endless() {
    return [](Peer& p) {
        p.readRequest();
        p.send("HTTP/1.0 200 OK\r\n\r\n");
        for (int i = 0; i < 2000 && p.send(std::string(999, '7') + "\n"); ++i) {
        }
    };
}

class CheckRows : public ::testing::TestWithParam<CheckRow> {};

TEST_P(CheckRows, SayWhatTheServerGave) {
    const CheckRow& row = GetParam();
    ClosedPort closed;
    std::optional<LoopbackServer> server;
    if (row.server) server.emplace(std::vector<Script>{*row.server});
    const std::string base = server ? server->base() : "http://127.0.0.1:" + std::to_string(closed.port());
    const net::CurrentProgram program{"Brimvale", "Brimvale picture resizer", row.current, "brimvale"};
    testutil::ScopedMessageBoxScript boxes;
    testutil::ScopedShellScript shell;
    if (!row.boxes.empty()) boxes.answer(row.answer);

    net::UpdateRequest request;
    request.fileUrl = net::versionFileUrl(base, program.fileName);
    request.receiveTimeoutMs = 1000;
    const net::UpdateResult result = net::fetchUpdate(request);
    net::presentUpdate(result, program, request.fileUrl, net::downloadPageUrl(base), row.offerOnly);

    std::vector<std::pair<std::string, UINT>> expected;
    for (const auto& [text, type] : row.boxes) {
        const std::string latest = text.substr(text.find(' ') + 1);
        if (text.starts_with("NEWER "))
            expected.emplace_back("There is a newer version of Brimvale available from the Kestrelby website. You are using "
                                  "Brimvale Version " + net::formatVersion(row.current) + " and Version " + latest +
                                  " is now available. Do you wish to download the newer version now?", type);
        else if (text.starts_with("CURRENT "))
            expected.emplace_back("You are using Brimvale (Brimvale picture resizer) Version " + net::formatVersion(row.current) +
                                  ". Version " + latest + " (" + request.fileUrl +
                                  ") is identified as the most current on the Kestrelby website.", type);
        else
            expected.emplace_back(text, type);
    }
    std::vector<std::pair<std::string, UINT>> shown;
    for (const auto& call : boxes.calls()) shown.emplace_back(call.text, call.type);
    EXPECT_EQ(shown, expected);
    const auto opened = shell.calls();
    ASSERT_EQ(opened.size(), row.opensPage ? 1u : 0u);
    if (row.opensPage) {
        EXPECT_EQ(opened[0].target, base + "/Kestrelby");
        EXPECT_EQ(opened[0].verb, "open");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, CheckRows, ::testing::Values(
    CheckRow{"FourLinesNewer", versionFile("1\r\n2\r\n0\r\n7\r\n"), {1, 2, 0, 6}, false, {{"NEWER 1.2.0.7", MB_YESNO}}, IDYES, true},
    CheckRow{"FourLinesEqual", versionFile("1\r\n2\r\n0\r\n7\r\n"), {1, 2, 0, 7}, false, {{"CURRENT 1.2.0.7", MB_OK}}, IDOK, false},
    CheckRow{"OneLineNewer", versionFile("1.3\r\n"), {1, 2, 9, 9}, false, {{"NEWER 1.3.0.0", MB_YESNO}}, IDNO, false},
    CheckRow{"OneLineNotNewer", versionFile("1.10\r\n"), {1, 2, 0, 0}, false, {{"CURRENT 1.1.0.0", MB_OK}}, IDOK, false},
    CheckRow{"EmptyBody", versionFile(""), {1, 0, 0, 1}, false, {{"CURRENT 0.0.0.0", MB_OK}}, IDOK, false},
    CheckRow{"DocumentType", versionFile("<!DOCTYPE html>\r\n<html></html>\r\n"), {1, 0, 0, 1}, false, {{kUnavailable, MB_OK}}, IDOK, false},
    CheckRow{"CarriageReturnsOnly", versionFile("1\r2\r0\r8\r"), {1, 2, 0, 7}, false, {{"NEWER 1.2.0.8", MB_YESNO}}, IDNO, false},
    CheckRow{"NoFinalLineEnd", versionFile("1\n2\n0\n8"), {1, 2, 0, 8}, false, {{"CURRENT 1.2.0.8", MB_OK}}, IDOK, false},
    CheckRow{"Refused", std::nullopt, {1, 0, 0, 1}, false, {{kUnable, MB_OK}}, IDOK, false},
    CheckRow{"Silent", Script([](Peer& p) { p.waitForClose(); }), {1, 0, 0, 1}, false, {{kUnable, MB_OK}}, IDOK, false},
    CheckRow{"Trickle", trickle(), {1, 0, 0, 1}, false, {{kUnable, MB_OK}}, IDOK, false},
    CheckRow{"Endless", endless(), {1, 0, 0, 1}, false, {{kUnavailable, MB_OK}}, IDOK, false},
    CheckRow{"HtmlNotFound", reply("HTTP/1.0 404 Not Found\r\n\r\n<html>404</html>\r\n"), {1, 0, 0, 1}, false, {{kUnavailable, MB_OK}}, IDOK, false},
    CheckRow{"PlainServerError", reply("HTTP/1.1 500 Oops\r\n\r\n9\r\n9\r\n9\r\n9\r\n"), {1, 0, 0, 1}, false, {{kUnavailable, MB_OK}}, IDOK, false},
    CheckRow{"NotHttp", reply("9\r\n9\r\n9\r\n9\r\n"), {1, 0, 0, 1}, false, {{kUnavailable, MB_OK}}, IDOK, false},
    CheckRow{"StartUpOffersNewer", versionFile("9\n9\n9\n9\n"), {1, 0, 0, 1}, true, {{"NEWER 9.9.9.9", MB_YESNO}}, IDYES, true},
    CheckRow{"StartUpSilentWhenCurrent", versionFile("1\n0\n0\n1\n"), {1, 0, 0, 1}, true, {}, 0, false},
    CheckRow{"StartUpSilentWhenUnreachable", std::nullopt, {1, 0, 0, 1}, true, {}, 0, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UpdateCheckTest, BackgroundCheckReportsOrEndsAtOnceWhenDestroyed) {
    LoopbackServer server({versionFile("9\n9\n9\n9\n"), [](Peer& p) { p.waitForClose(600s); }});
    net::UpdateRequest request;
    request.fileUrl = net::versionFileUrl(server.base(), "brimvale");
    std::promise<net::UpdateResult> done;
    {
        net::BackgroundUpdateCheck check(request, [&](const net::UpdateResult& r) { done.set_value(r); });
        auto result = done.get_future();
        ASSERT_EQ(result.wait_for(3s), std::future_status::ready);
        EXPECT_EQ(result.get().version, (VersionNumber{9, 9, 9, 9}));
    }
    // The second server never answers nor hangs up: a check that waited for it on being
    // destroyed would hold this scope past the generous guard.
    request.receiveTimeoutMs = 600000;
    std::atomic<int> calls{0};
    auto ended = std::async(std::launch::async, [&] {
        net::BackgroundUpdateCheck check(request, [&](const net::UpdateResult&) { ++calls; });
        std::this_thread::sleep_for(200ms);
    });
    ASSERT_EQ(ended.wait_for(60s), std::future_status::ready);
    EXPECT_EQ(calls, 0);
}

TEST(UpdateCheckTest, AnotherFormOfSiteAddressCountsAsNoConnection) {
    testutil::ScopedEnv env("BRIMVALE_UPDATE_URL", "ftp://127.0.0.1:21");
    testutil::ScopedMessageBoxScript boxes;
    boxes.answer(IDOK);
    net::runUpdateCheck();
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{kUnable});
}

} // namespace
