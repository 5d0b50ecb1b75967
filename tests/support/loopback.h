// SPDX-License-Identifier: MIT
// A scripted server on 127.0.0.1 or ::1 for the network and window tests: each accepted
// connection runs the next script on the server's thread. Every wait is bounded, so a client
// that misbehaves fails its test instead of hanging it.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace nettest {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline bool readable(int fd, std::chrono::milliseconds time) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, static_cast<int>(time.count())) > 0;
}

/// One accepted connection, as a script sees it.
class Peer {
public:
    Peer(int fd, const std::atomic<bool>& stop) : m_fd(fd), m_stop(stop) {}

    /// What the client sends up to and including the empty line (or until it stops sending).
    std::string readRequest() {
        std::string text;
        const auto end = Clock::now() + 3s;
        while (text.find("\r\n\r\n") == std::string::npos && text.size() < 65536 && Clock::now() < end) {
            if (!readable(m_fd, 100ms)) continue;
            char block[1024];
            const ssize_t n = ::recv(m_fd, block, sizeof block, 0);
            if (n <= 0) break;
            text.append(block, static_cast<std::size_t>(n));
        }
        return text;
    }
    /// False once the client is gone.
    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            const ssize_t n = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    /// Sleeps, but no longer than until the server stops.
    void pause(std::chrono::milliseconds time) {
        for (const auto end = Clock::now() + time; !m_stop && Clock::now() < end;) std::this_thread::sleep_for(10ms);
    }
    /// Waits, at most `limit`, for the client to close its end.
    void waitForClose(std::chrono::milliseconds limit = 5000ms) {
        char block[512];
        for (const auto end = Clock::now() + limit; !m_stop && Clock::now() < end;)
            if (readable(m_fd, 50ms) && ::recv(m_fd, block, sizeof block, 0) <= 0) return;
    }

private:
    int m_fd;
    const std::atomic<bool>& m_stop;
};

using Script = std::function<void(Peer&)>;

/// A reply sent after reading the request, then the connection closed.
inline Script reply(std::string bytes) {
    return [bytes = std::move(bytes)](Peer& p) {
        p.readRequest();
        p.send(bytes);
    };
}

/// A loopback socket bound to a free port; listening when backlog >= 0.
inline int loopbackSocket(int family, int backlog, unsigned& port) {
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 a6{};
    sockaddr_in a4{};
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_loopback;
    a4.sin_family = AF_INET;
    a4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto* address = family == AF_INET6 ? reinterpret_cast<sockaddr*>(&a6) : reinterpret_cast<sockaddr*>(&a4);
    socklen_t length = family == AF_INET6 ? sizeof a6 : sizeof a4;
    if (fd < 0 || ::bind(fd, address, length) != 0 || (backlog >= 0 && ::listen(fd, backlog) != 0)
        || ::getsockname(fd, address, &length) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    port = ntohs(family == AF_INET6 ? a6.sin6_port : a4.sin_port);
    return fd;
}

class LoopbackServer {
public:
    explicit LoopbackServer(std::vector<Script> scripts, int family = AF_INET, int backlog = 8)
        : m_scripts(std::move(scripts)), m_family(family), m_listen(loopbackSocket(family, backlog, m_port)) {
        if (m_listen >= 0 && !m_scripts.empty()) m_thread = std::thread([this] { run(); });
    }
    ~LoopbackServer() {
        m_stop = true;
        finish();
        if (m_listen >= 0) ::close(m_listen);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool ok() const { return m_listen >= 0; }
    unsigned port() const { return m_port; }
    std::string host() const { return m_family == AF_INET6 ? "::1" : "127.0.0.1"; }
    /// "http://127.0.0.1:PORT" or "http://[::1]:PORT".
    std::string base() const { return "http://" + (m_family == AF_INET6 ? "[::1]" : host()) + ":" + std::to_string(m_port); }
    int accepted() const { return m_accepted; }
    /// Waits (bounded) until every script has run.
    void finish() {
        if (m_thread.joinable()) m_thread.join();
    }

private:
    void run() {
        for (const Script& script : m_scripts) {
            int fd = -1;
            for (const auto end = Clock::now() + 5s; fd < 0 && !m_stop && Clock::now() < end;)
                if (readable(m_listen, 50ms)) fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            ++m_accepted;
            Peer peer(fd, m_stop);
            script(peer);
            ::close(fd);
        }
    }

    std::vector<Script> m_scripts;
    int m_family;
    unsigned m_port = 0;
    int m_listen;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

inline bool haveIpv6Loopback() { return LoopbackServer({}, AF_INET6).ok(); }

/// A loopback port nobody listens on, held bound for the object's lifetime.
class ClosedPort {
public:
    ClosedPort() : m_fd(loopbackSocket(AF_INET, -1, m_port)) {}
    ~ClosedPort() { ::close(m_fd); }
    unsigned port() const { return m_port; }

private:
    unsigned m_port = 0;
    int m_fd;
};

} // namespace nettest
