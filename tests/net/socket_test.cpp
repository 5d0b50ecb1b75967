// SPDX-License-Identifier: MIT
// The socket client against scripted loopback servers: connecting, reading lines, receiving
// into a data source.
#include "loopback.h"
#include "net/ut_socket.h"
#include "testutil.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace nettest;

namespace {

// Answers only for "localhost" and records every name it is asked.
class ScriptedResolver : public net::Resolver {
public:
    int resolve(const std::string& host, int, int, std::chrono::milliseconds, const std::function<bool()>&,
                std::vector<net::ResolvedAddress>& addresses) override {
        asked.push_back(host);
        if (host != "localhost") return net::kHostUnresolved;
        net::ResolvedAddress a;
        auto& in = reinterpret_cast<sockaddr_in&>(a.address);
        in.sin_family = AF_INET;
        in.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.length = sizeof in;
        addresses.push_back(a);
        return net::kSuccess;
    }
    std::vector<std::string> asked;
};

struct ScopedResolver {
    explicit ScopedResolver(net::Resolver* r) : previous(net::setResolver(r)) {}
    ~ScopedResolver() { net::setResolver(previous); }
    net::Resolver* previous;
};

struct ConnectRow {
    const char* name;
    std::string address; // "PORT" stands for a listening server's port, "CLOSED" for a closed one
    int family;
    int code;
    std::vector<std::string> asked; // names the resolver must have been asked
};
void PrintTo(const ConnectRow& row, std::ostream* os) { *os << row.name; }

class ConnectRows : public ::testing::TestWithParam<ConnectRow> {};

TEST_P(ConnectRows, GivesItsCode) {
    const ConnectRow& row = GetParam();
    const bool v6 = row.address.find(':') != std::string::npos;
    if (v6 && !haveIpv6Loopback()) GTEST_SKIP() << "no ::1 on this machine";
    LoopbackServer server({[](Peer& p) { p.waitForClose(); }}, v6 ? AF_INET6 : AF_INET);
    ASSERT_TRUE(server.ok());
    ClosedPort closed;
    ScriptedResolver resolver;
    ScopedResolver scope(&resolver);
    CUT_WSClient client;
    const unsigned port = row.address == "CLOSED" ? closed.port() : server.port();
    const std::string address = row.address == "CLOSED" ? "127.0.0.1" : row.address;
    EXPECT_EQ(client.Connect(port, address.c_str(), 1, row.family), row.code);
    EXPECT_EQ(resolver.asked, row.asked);
    EXPECT_EQ(client.IsConnected(), row.code == 0);
    if (row.code == 0) {
        EXPECT_EQ(client.GetAddress(), server.host());
        EXPECT_EQ(client.GetRemotePort(), server.port());
        EXPECT_NE(client.GetLocalPort(), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, ConnectRows, ::testing::Values(
    ConnectRow{"Numeric", "127.0.0.1", AF_INET, 0, {}},
    ConnectRow{"OnlyAfterTheLastAt", "a@b@localhost", AF_INET, 0, {"localhost"}},
    ConnectRow{"UnknownName", "nowhere.invalid", AF_INET, net::kResolveFailed, {"nowhere.invalid"}},
    ConnectRow{"Refused", "CLOSED", AF_INET, net::kConnectFailed, {}},
    ConnectRow{"Ipv6", "::1", AF_INET6, 0, {}},
    ConnectRow{"Ipv6AnyFamily", "::1", AF_UNSPEC, 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SocketTest, ConnectTimesOutOnAFullBacklog) {
    LoopbackServer server({}, AF_INET, 0); // listens, never accepts
    ASSERT_TRUE(server.ok());
    // Fill the queue until a connection no longer completes.
    std::vector<int> fillers;
    bool full = false;
    for (int i = 0; i < 16 && !full; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(server.port()));
        ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        pollfd p{fd, POLLOUT, 0};
        full = ::poll(&p, 1, 200) == 0;
        fillers.push_back(fd);
    }
    if (!full) {
        for (int fd : fillers) ::close(fd);
        GTEST_SKIP() << "this kernel completes connections past the backlog";
    }
    CUT_WSClient client;
    EXPECT_EQ(client.Connect(server.port(), "127.0.0.1", 1), net::kConnectTimeout);
    EXPECT_FALSE(client.IsConnected());
    for (int fd : fillers) ::close(fd);
}

TEST(SocketTest, ConnectRefusesWhileOpenAndDisconnectMakesItReusable) {
    LoopbackServer server({[](Peer& p) { p.waitForClose(); }, [](Peer& p) { p.send("again\n"); }});
    ASSERT_TRUE(server.ok());
    CUT_WSClient client;
    ASSERT_EQ(client.Connect(server.port(), "127.0.0.1", 1), 0);
    EXPECT_EQ(client.Connect(server.port(), "127.0.0.1", 1), net::kAlreadyConnected);
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(client.Disconnect(), 0);
    EXPECT_FALSE(client.IsConnected());
    ASSERT_EQ(client.Connect(server.port(), "127.0.0.1", 1), 0);
    char line[32];
    EXPECT_EQ(client.ReadLine(line, sizeof line, 1), 6);
    EXPECT_STREQ(line, "again\n");
}

struct LineRow {
    const char* name;
    std::vector<std::string> sent; // sent with a pause between pieces, then the server closes
    std::size_t buffer;
    std::vector<std::string> lines;
};
void PrintTo(const LineRow& row, std::ostream* os) { *os << row.name; }

class ReadLineRows : public ::testing::TestWithParam<LineRow> {};

TEST_P(ReadLineRows, ReturnsEachLineWhole) {
    const LineRow& row = GetParam();
    LoopbackServer server({[&](Peer& p) {
        for (const auto& piece : row.sent) {
            p.send(piece);
            p.pause(250ms); // long enough that each piece arrives on its own
        }
    }});
    ASSERT_TRUE(server.ok());
    CUT_WSClient client;
    ASSERT_EQ(client.Connect(server.port(), "127.0.0.1", 1), 0);
    std::vector<std::string> lines;
    std::vector<char> buffer(row.buffer);
    for (int i = 0; i < 20; ++i) {
        const long n = client.ReadLine(buffer.data(), buffer.size(), 2);
        ASSERT_GE(n, 0);
        if (n == 0) break;
        ASSERT_EQ(std::strlen(buffer.data()), static_cast<std::size_t>(n));
        lines.emplace_back(buffer.data(), static_cast<std::size_t>(n));
    }
    EXPECT_EQ(lines, row.lines);
    EXPECT_EQ(client.LastReadEnd(), net::ReadEnd::closed);
}

INSTANTIATE_TEST_SUITE_P(Rows, ReadLineRows, ::testing::Values(
    LineRow{"ThreeBytesThenClose", {"abc"}, 521, {"abc"}},
    LineRow{"LongerThanTheBuffer", {std::string(600, 'x') + "\n"}, 521,
            {std::string(520, 'x'), std::string(80, 'x') + "\n"}},
    LineRow{"LineFeeds", {"one\ntwo\n\nfour\n"}, 521, {"one\n", "two\n", "\n", "four\n"}},
    LineRow{"CarriageReturnLineFeeds", {"one\r\ntwo\r\n\r\n"}, 521, {"one\r\n", "two\r\n", "\r\n"}},
    LineRow{"CarriageReturnsOnly", {"one\rtwo\r\rx"}, 521, {"one\r", "two\r", "\r", "x"}},
    LineRow{"LineEndSplitAcrossSends", {"one\r", "\ntwo\n"}, 521, {"one\r", "two\n"}},
    LineRow{"LineArrivingInPieces", {"o", "n", "e\n"}, 521, {"one\n"}},
    LineRow{"NoFinalLineEnd", {"one\ntwo"}, 521, {"one\n", "two"}},
    LineRow{"CarriageReturnAtTheBufferEnd", {"abc\r\ndef\n"}, 5, {"abc\r", "def\n"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Stops after the progress report that passes `stopAt` bytes.
class StoppingClient : public CUT_WSClient {
public:
    long long stopAt = 0;
    bool OnReceiveProgress(long long received) override { return stopAt == 0 || received < stopAt; }
};

struct SourceRow {
    const char* name;
    std::string body;
    int mode;
    const char* target; // "FILE" a file in a temporary folder, else that path
    long long maxBytes;
    long long stopAt;
    int code;
    std::size_t kept; // bytes of the body the file holds after a write
};
void PrintTo(const SourceRow& row, std::ostream* os) { *os << row.name; }

class ReceiveIntoSourceRows : public ::testing::TestWithParam<SourceRow> {};

TEST_P(ReceiveIntoSourceRows, GivesItsCode) {
    const SourceRow& row = GetParam();
    LoopbackServer server({[&](Peer& p) {
        if (!row.body.empty()) p.send(row.body);
        p.waitForClose(row.body.empty() ? 3000ms : 0ms);
    }});
    testutil::TempDir dir;
    const std::string path = std::string(row.target) == "FILE" ? dir / "body" : row.target;
    StoppingClient client;
    client.stopAt = row.stopAt;
    ASSERT_EQ(client.Connect(server.port(), "127.0.0.1", 1), 0);
    CUT_FileDataSource source(path, 4096);
    EXPECT_EQ(client.ReceiveIntoSource(source, row.mode, 1, row.maxBytes), row.code);
    if (std::string(row.target) == "FILE" && row.mode == net::kModeWrite) {
        EXPECT_EQ(testutil::readFile(path), row.body.substr(0, row.kept));
    }
}

const std::string kBody = [] {
    std::string text;
    for (int i = 0; text.size() < 5000; ++i) text += "line " + std::to_string(i) + "\n";
    return text;
}();

INSTANTIATE_TEST_SUITE_P(Rows, ReceiveIntoSourceRows, ::testing::Values(
    SourceRow{"WholeBody", kBody, net::kModeWrite, "FILE", 0, 0, 0, kBody.size()},
    SourceRow{"Maximum", kBody, net::kModeWrite, "FILE", 300, 0, 0, 300},
    SourceRow{"Stopped", kBody, net::kModeWrite, "FILE", 0, 512, net::kAborted, 512},
    SourceRow{"SilentPeer", "", net::kModeWrite, "FILE", 0, 0, net::kReceiveTimeout, 0},
    SourceRow{"BadMode", kBody, 3, "FILE", 0, 0, net::kBadOpenMode, 0},
    SourceRow{"MissingFolder", kBody, net::kModeWrite, "/nonexistent-brimvale/body", 0, 0, net::kSourceOpenFailed, 0},
    SourceRow{"FullDisk", "tiny\n", net::kModeWrite, "/dev/full", 0, 0, net::kSourceWriteFailed, 0},
    SourceRow{"FullDiskPastTheBuffer", kBody, net::kModeAppend, "/dev/full", 0, 0, net::kSourceWriteFailed, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SocketTest, ReceiveIntoSourceWithoutAConnection) {
    CUT_WSClient client;
    CUT_FileDataSource source("/dev/null");
    EXPECT_EQ(client.ReceiveIntoSource(source, net::kModeWrite, 1), net::kNotConnected);
}

} // namespace
