// SPDX-License-Identifier: MIT
// A small blocking TCP client: CUT_Socket (the raw socket calls, overridable) and
// CUT_WSClient (one connection: connect with a time-out, send, receive lines, receive into a
// data source, close). Every wait is a poll bounded by the call's time-out and, when one is
// set, by the connection's deadline; names resolve through a replaceable resolver.
#pragma once

#include "net/ut_datasource.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace net {

/// Result codes of the networking classes; 0 is success.
inline constexpr int kSuccess = 0;
inline constexpr int kSendFailed = 4;
inline constexpr int kConnectTimeout = 5;
inline constexpr int kHostUnresolved = 7;
inline constexpr int kNotConnected = 15;
inline constexpr int kAlreadyConnected = 16;
inline constexpr int kSocketFailed = 17;
inline constexpr int kConnectFailed = 19;
inline constexpr int kReceiveTimeout = 20;
inline constexpr int kReceiveFailed = 21;
inline constexpr int kBadOpenMode = 26;
inline constexpr int kAddressTooLong = 35; ///< kept for the table; numeric IPv6 fits, so it never arises
inline constexpr int kBadUrl = 45;
inline constexpr int kSourceOpenFailed = 81;
inline constexpr int kSourceWriteFailed = 83;
inline constexpr int kAborted = 98;
inline constexpr int kResolveFailed = 100;

} // namespace net

namespace net {

/// One address a name resolved to, ready for connect(2).
struct ResolvedAddress {
    sockaddr_storage address{};
    socklen_t length = 0;
};

/// Turns a host name into addresses. The default asks the system (getaddrinfo, on a thread of
/// its own so that the time-out holds); tests install their own, so no test asks a name server.
class Resolver {
public:
    virtual ~Resolver() = default;
    /// family: AF_INET, AF_INET6 or AF_UNSPEC (both, in the system's order). timeout: negative
    /// for no limit. shouldStop is asked now and then while waiting. Returns 0 with at least
    /// one address, kConnectTimeout when the time ran out, kAborted when told to stop,
    /// kHostUnresolved otherwise.
    virtual int resolve(const std::string& host, int family, int socketType, std::chrono::milliseconds timeout,
                        const std::function<bool()>& shouldStop, std::vector<ResolvedAddress>& addresses) = 0;
};

/// Installs a resolver for every client (null: the system's again); returns the previous one,
/// null meaning the system's. The caller keeps it alive while installed.
Resolver* setResolver(Resolver* resolver);

/// How the last line or block read ended.
enum class ReadEnd { none, line, full, closed, timedOut, failed, stopped };

} // namespace net

/// The socket calls, each a virtual so that a derived class can watch or replace them.
class CUT_Socket {
public:
    virtual ~CUT_Socket() = default;
    /// Called once a connection stands; a non-zero answer closes it and becomes the result.
    virtual int OnConnected() { return 0; }
    virtual int SocketClose(int fd);
    virtual int SocketShutDown(int fd, int how);
    /// recv(2) without SIGPIPE, resumed after signals.
    virtual long SocketReceive(int fd, char* buffer, std::size_t size, int flags);
    /// send(2) without SIGPIPE, resumed after signals.
    virtual long SocketSend(int fd, const char* data, std::size_t length, int flags);
    /// True when bytes are waiting to be read.
    virtual bool IsDataWaiting(int fd) const;
    /// Waits until fd is readable: true when it did not become readable in time (negative
    /// seconds: no limit).
    virtual bool WaitUntilReadable(int fd, long seconds, long microseconds) const;
};

class CUT_WSClient : public CUT_Socket {
public:
    CUT_WSClient() = default;
    ~CUT_WSClient() override;
    CUT_WSClient(const CUT_WSClient&) = delete;
    CUT_WSClient& operator=(const CUT_WSClient&) = delete;

    /// Connects to port at address (a name, a numeric IPv4 or IPv6 address; text up to the
    /// last "@" is ignored). timeoutSeconds bounds resolution and connection together
    /// (negative: no limit). family AF_INET, AF_INET6 or AF_UNSPEC; addresses are tried in order.
    virtual int Connect(unsigned port, const char* address, long timeoutSeconds = -1, int family = AF_INET,
                        int type = SOCK_STREAM);
    /// Shuts down and closes the sockets; the object can connect again.
    virtual int Disconnect();
    /// Sends all of `length` bytes (0 or less: up to the terminating zero). Bytes sent, 0 on failure.
    virtual long Send(const char* data, long length = 0);
    /// Receives into the source opened with mode (1 write, 2 append) until the peer closes, at
    /// most maxBytes (0: no limit).
    virtual int ReceiveIntoSource(CUT_DataSource& source, int mode, long timeoutSeconds, long long maxBytes = 0);
    /// Bytes received, 0 when the peer closed, -1 on failure or time-out.
    virtual long Receive(char* buffer, std::size_t size, long timeoutSeconds);
    /// Reads one line, its end included (LF, CR LF or a lone CR), storing at most size - 1
    /// bytes and a zero; never takes a byte of the next line. 0 at the end of data.
    virtual long ReadLine(char* buffer, std::size_t size, long timeoutSeconds);
    /// 0 when data can be read within the time.
    virtual int WaitReadable(long seconds, long microseconds);

    /// Every result passes here before it is returned.
    virtual int ReportResult(int code) { return code; }
    /// The bytes received so far; false stops the receive.
    virtual bool OnReceiveProgress(long long bytesReceived) {
        (void)bytesReceived;
        return true;
    }
    /// Asked in every receive loop; true stops it.
    virtual bool ShouldStop() { return false; }

    bool IsConnected() const { return m_clientSocket >= 0; }
    /// The peer's numeric address and port, and the local port, of the connection.
    const std::string& GetAddress() const { return m_strAddress; }
    unsigned GetRemotePort() const { return m_nRemotePort; }
    unsigned GetLocalPort() const { return m_nLocalPort; }
    void SetSendTimeOut(int milliseconds) { m_nSendTimeOut = milliseconds; }
    void SetReceiveTimeOut(int milliseconds) { m_nReceiveTimeOut = milliseconds; }
    int GetSendTimeOut() const { return m_nSendTimeOut; }
    int GetReceiveTimeOut() const { return m_nReceiveTimeOut; }
    /// A moment after which every wait of this connection ends at once (none: no deadline).
    void SetDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) { m_deadline = deadline; }
    /// How the last ReadLine, Receive or ReceiveIntoSource ended.
    net::ReadEnd LastReadEnd() const { return m_lastReadEnd; }

protected:
    int m_clientSocket = -1;
    int m_serverSocket = -1; // the listening role, unused by this client
    int m_nFamily = AF_INET;
    int m_nSocketType = SOCK_STREAM;
    std::string m_strAddress;
    sockaddr_storage m_peerAddress{};
    unsigned m_nRemotePort = 0;
    unsigned m_nLocalPort = 0;
    int m_nSendTimeOut = 30000;
    int m_nReceiveTimeOut = 30000;

private:
    enum class Wait { ready, timedOut, failed, stopped };
    // Milliseconds a wait of `seconds` may take given the deadline; -1: no limit.
    int waitBudget(long seconds) const;
    static net::ReadEnd endOf(Wait wait);
    bool shouldWait(long seconds) const { return seconds > 0 || m_deadline.has_value(); }
    // Polls in short slices, so that ShouldStop can end a long wait.
    Wait waitFor(short events, int milliseconds);
    int connectOne(const net::ResolvedAddress& address, int type, std::optional<std::chrono::steady_clock::time_point> deadline);
    // Takes exactly `length` bytes already seen with MSG_PEEK.
    bool consume(char* into, std::size_t length);
    void dropPendingLineFeed(char* block, long& length);

    std::optional<std::chrono::steady_clock::time_point> m_deadline;
    net::ReadEnd m_lastReadEnd = net::ReadEnd::none;
    bool m_bSkipLineFeed = false; // a line ended in CR; a LF right after it belongs to it
};
