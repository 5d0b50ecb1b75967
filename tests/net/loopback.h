// SPDX-License-Identifier: MIT
// A scripted server on 127.0.0.1 or ::1 for the network tests: each accepted connection runs
// the next script on the server's thread. Every wait is bounded, so a client that misbehaves
// fails its test instead of hanging it.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
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

/// One accepted connection, as a script sees it.
class Peer {
public:
    Peer(int fd, const std::atomic<bool>& stop) : m_fd(fd), m_stop(stop) {}

    /// What the client sends up to and including the empty line (or until it stops sending).
    std::string readRequest() {
        std::string text;
        const auto end = Clock::now() + 3s;
        while (text.find("\r\n\r\n") == std::string::npos && text.size() < 65536 && Clock::now() < end) {
            if (!readable(100ms)) continue;
            char block[1024];
            const ssize_t n = ::recv(m_fd, block, sizeof block, 0);
            if (n <= 0) break;
            text.append(block, static_cast<std::size_t>(n));
        }
        return text;
    }
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
        const auto end = Clock::now() + time;
        while (!m_stop && Clock::now() < end) std::this_thread::sleep_for(10ms);
    }
    /// Waits, at most `limit`, for the client to close its end; true when it did.
    bool waitForClose(std::chrono::milliseconds limit = 5000ms) {
        const auto end = Clock::now() + limit;
        while (!m_stop && Clock::now() < end) {
            if (!readable(50ms)) continue;
            char block[512];
            if (::recv(m_fd, block, sizeof block, 0) <= 0) return true;
        }
        return false;
    }
    bool stopping() const { return m_stop; }

private:
    bool readable(std::chrono::milliseconds time) {
        pollfd p{m_fd, POLLIN, 0};
        return ::poll(&p, 1, static_cast<int>(time.count())) > 0;
    }
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

class LoopbackServer {
public:
    explicit LoopbackServer(std::vector<Script> scripts, int family = AF_INET, int backlog = 8)
        : m_scripts(std::move(scripts)), m_family(family) {
        m_listen = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_listen < 0) return;
        sockaddr_storage address{};
        socklen_t length = 0;
        if (family == AF_INET6) {
            auto& a = reinterpret_cast<sockaddr_in6&>(address);
            a.sin6_family = AF_INET6;
            a.sin6_addr = in6addr_loopback;
            length = sizeof a;
        } else {
            auto& a = reinterpret_cast<sockaddr_in&>(address);
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            length = sizeof a;
        }
        if (::bind(m_listen, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(m_listen, backlog) != 0
            || ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ::close(m_listen);
            m_listen = -1;
            return;
        }
        m_port = ntohs(family == AF_INET6 ? reinterpret_cast<sockaddr_in6&>(address).sin6_port
                                          : reinterpret_cast<sockaddr_in&>(address).sin_port);
        if (!m_scripts.empty()) m_thread = std::thread([this] { run(); });
    }
    ~LoopbackServer() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        if (m_listen >= 0) ::close(m_listen);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    bool ok() const { return m_listen >= 0; }
    unsigned port() const { return m_port; }
    std::string host() const { return m_family == AF_INET6 ? "::1" : "127.0.0.1"; }
    /// "http://127.0.0.1:PORT" or "http://[::1]:PORT".
    std::string base() const {
        return "http://" + (m_family == AF_INET6 ? "[::1]" : host()) + ":" + std::to_string(m_port);
    }
    /// Connections accepted so far.
    int accepted() const { return m_accepted; }
    /// Waits (bounded) until every script has run.
    void finish() {
        if (m_thread.joinable()) m_thread.join();
    }

private:
    void run() {
        for (const Script& script : m_scripts) {
            int fd = -1;
            const auto end = Clock::now() + 5s;
            while (fd < 0 && !m_stop && Clock::now() < end) {
                pollfd p{m_listen, POLLIN, 0};
                if (::poll(&p, 1, 50) > 0) fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            }
            if (fd < 0) return;
            ++m_accepted;
            Peer peer(fd, m_stop);
            script(peer);
            ::close(fd);
        }
    }

    std::vector<Script> m_scripts;
    int m_family;
    int m_listen = -1;
    unsigned m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_accepted{0};
    std::thread m_thread;
};

/// True when this machine has a ::1 to listen on.
inline bool haveIpv6Loopback() {
    LoopbackServer probe({}, AF_INET6);
    return probe.ok();
}

/// A loopback port with nobody listening (bound, so no one else takes it while it is held).
class ClosedPort {
public:
    ClosedPort() {
        m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), length);
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &length);
        m_port = ntohs(a.sin_port);
    }
    ~ClosedPort() { ::close(m_fd); }
    unsigned port() const { return m_port; }

private:
    int m_fd = -1;
    unsigned m_port = 0;
};

} // namespace nettest
