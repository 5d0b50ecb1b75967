// SPDX-License-Identifier: MIT
// The socket client: connect within one deadline over every address of a name, waits by
// poll (no fd_set limit), sends without SIGPIPE, and lines read by peeking first.
#include "net/ut_socket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace net {
namespace {

std::vector<ResolvedAddress> fromAddrinfo(const addrinfo* list) {
    std::vector<ResolvedAddress> out;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        ResolvedAddress r;
        std::memcpy(&r.address, a->ai_addr, a->ai_addrlen);
        r.length = a->ai_addrlen;
        out.push_back(r);
    }
    return out;
}

// getaddrinfo cannot be interrupted, so it runs on a thread of its own that owns its share of
// the state: when the caller's time runs out it leaves, and the thread ends on its own later.
class SystemResolver final : public Resolver {
public:
    int resolve(const std::string& host, int family, int socketType, std::chrono::milliseconds timeout,
                const std::function<bool()>& shouldStop, std::vector<ResolvedAddress>& addresses) override {
        struct Shared {
            std::mutex mutex;
            std::condition_variable done;
            bool finished = false;
            int rc = EAI_FAIL;
            std::vector<ResolvedAddress> addresses;
        };
        auto shared = std::make_shared<Shared>();
        auto work = [shared, host, family, socketType] {
            addrinfo hints{};
            hints.ai_family = family;
            hints.ai_socktype = socketType;
            addrinfo* list = nullptr;
            const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
            std::vector<ResolvedAddress> found = rc == 0 ? fromAddrinfo(list) : std::vector<ResolvedAddress>{};
            if (list) ::freeaddrinfo(list);
            std::lock_guard lock(shared->mutex);
            shared->rc = rc;
            shared->addresses = std::move(found);
            shared->finished = true;
            shared->done.notify_all();
        };
        try {
            std::thread(work).detach();
        } catch (const std::system_error&) {
            return kHostUnresolved;
        }
        const auto end = std::chrono::steady_clock::now() + timeout;
        std::unique_lock lock(shared->mutex);
        while (!shared->finished) {
            if (shouldStop && shouldStop()) return kAborted;
            auto slice = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
            if (timeout.count() >= 0) {
                if (std::chrono::steady_clock::now() >= end) return kConnectTimeout;
                slice = std::min(slice, end);
            }
            shared->done.wait_until(lock, slice);
        }
        if (shared->rc != 0 || shared->addresses.empty()) return kHostUnresolved;
        addresses = std::move(shared->addresses);
        return kSuccess;
    }
};

SystemResolver g_systemResolver;
std::atomic<Resolver*> g_resolver{nullptr};

Resolver& currentResolver() {
    Resolver* r = g_resolver.load();
    return r ? *r : g_systemResolver;
}

// A numeric address needs no resolver: parsed here, without any lookup.
std::optional<std::vector<ResolvedAddress>> parseNumeric(const std::string& host, int family, int socketType) {
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = socketType;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) return std::nullopt;
    auto out = fromAddrinfo(list);
    ::freeaddrinfo(list);
    return out;
}

int remainingMs(std::optional<Clock::time_point> deadline) {
    if (!deadline) return -1;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 24LL * 3600 * 1000));
}

void setPort(ResolvedAddress& a, unsigned port) {
    if (a.address.ss_family == AF_INET) reinterpret_cast<sockaddr_in&>(a.address).sin_port = htons(static_cast<std::uint16_t>(port));
    else if (a.address.ss_family == AF_INET6) reinterpret_cast<sockaddr_in6&>(a.address).sin6_port = htons(static_cast<std::uint16_t>(port));
}

unsigned portOf(const sockaddr_storage& a) {
    if (a.ss_family == AF_INET) return ntohs(reinterpret_cast<const sockaddr_in&>(a).sin_port);
    if (a.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(a).sin6_port);
    return 0;
}

std::string textOf(const sockaddr_storage& a) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* raw = a.ss_family == AF_INET6 ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6&>(a).sin6_addr)
                                               : static_cast<const void*>(&reinterpret_cast<const sockaddr_in&>(a).sin_addr);
    return ::inet_ntop(a.ss_family, raw, text, sizeof text) ? text : "";
}

// poll with EINTR resumed against the same end; -1 milliseconds waits without limit.
int pollFor(int fd, short events, int milliseconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    for (;;) {
        pollfd p{fd, events, 0};
        const int rc = ::poll(&p, 1, milliseconds);
        if (rc >= 0 || errno != EINTR) return rc;
        if (milliseconds >= 0) milliseconds = remainingMs(end);
    }
}

} // namespace

Resolver* setResolver(Resolver* resolver) { return g_resolver.exchange(resolver); }

} // namespace net

// ---- CUT_Socket ----------------------------------------------------------------------------

int CUT_Socket::SocketClose(int fd) { return ::close(fd); }

int CUT_Socket::SocketShutDown(int fd, int how) { return ::shutdown(fd, how); }

long CUT_Socket::SocketReceive(int fd, char* buffer, std::size_t size, int flags) {
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, size, flags | MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

long CUT_Socket::SocketSend(int fd, const char* data, std::size_t length, int flags) {
    for (;;) {
        const ssize_t n = ::send(fd, data, length, flags | MSG_NOSIGNAL);
        if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
}

bool CUT_Socket::IsDataWaiting(int fd) const {
    int waiting = 0;
    return ::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0;
}

bool CUT_Socket::WaitUntilReadable(int fd, long seconds, long microseconds) const {
    const long long ms = seconds < 0 ? -1 : seconds * 1000LL + microseconds / 1000;
    return net::pollFor(fd, POLLIN, static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000))) <= 0;
}

// ---- CUT_WSClient --------------------------------------------------------------------------

CUT_WSClient::~CUT_WSClient() {
    for (int* fd : {&m_clientSocket, &m_serverSocket}) {
        if (*fd >= 0) ::close(*fd);
        *fd = -1;
    }
}

net::ReadEnd CUT_WSClient::endOf(Wait wait) {
    switch (wait) {
    case Wait::timedOut: return net::ReadEnd::timedOut;
    case Wait::stopped: return net::ReadEnd::stopped;
    default: return net::ReadEnd::failed;
    }
}

int CUT_WSClient::waitBudget(long seconds) const {
    int budget = seconds > 0 ? static_cast<int>(std::min<long>(seconds, 24L * 3600) * 1000) : -1;
    const int left = net::remainingMs(m_deadline);
    if (left >= 0 && (budget < 0 || left < budget)) budget = left;
    return budget;
}

CUT_WSClient::Wait CUT_WSClient::waitFor(short events, int milliseconds) {
    constexpr int kSliceMs = 100;
    const auto end = Clock::now() + std::chrono::milliseconds(std::max(milliseconds, 0));
    for (;;) {
        if (ShouldStop()) return Wait::stopped;
        const int left = milliseconds < 0 ? -1 : net::remainingMs(end);
        const int slice = left < 0 || left > kSliceMs ? kSliceMs : left;
        const int rc = net::pollFor(m_clientSocket, events, slice);
        if (rc > 0) return Wait::ready;
        if (rc < 0) return Wait::failed;
        if (left >= 0 && left <= kSliceMs) return Wait::timedOut;
    }
}

int CUT_WSClient::connectOne(const net::ResolvedAddress& address, int type,
                             std::optional<std::chrono::steady_clock::time_point> deadline) {
    const bool limited = deadline.has_value();
    const int fd = ::socket(address.address.ss_family, type | SOCK_CLOEXEC | (limited ? SOCK_NONBLOCK : 0), 0);
    if (fd < 0) return net::kSocketFailed;
    m_clientSocket = fd;
    int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address.address), address.length);
    if (rc != 0 && (errno == EINPROGRESS || errno == EINTR)) {
        // An interrupted connect goes on in the background, as a non-blocking one does: wait
        // for it to finish and let SO_ERROR tell how it went.
        const Wait w = waitFor(POLLOUT, limited ? net::remainingMs(deadline) : -1);
        int error = 0;
        socklen_t length = sizeof error;
        if (w == Wait::timedOut || w == Wait::stopped) {
            ::close(fd);
            m_clientSocket = -1;
            return w == Wait::stopped ? net::kAborted : net::kConnectTimeout;
        }
        rc = (w == Wait::ready && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) ? 0 : -1;
    }
    if (rc != 0) {
        ::close(fd);
        m_clientSocket = -1;
        return net::kConnectFailed;
    }
    if (limited) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return net::kSuccess;
}

int CUT_WSClient::Connect(unsigned port, const char* address, long timeoutSeconds, int family, int type) {
    if (m_clientSocket >= 0) return ReportResult(net::kAlreadyConnected);
    if (!address || port > 65535) return ReportResult(net::kResolveFailed);
    std::optional<Clock::time_point> deadline;
    if (timeoutSeconds >= 0) deadline = Clock::now() + std::chrono::seconds(timeoutSeconds);

    std::string host(address);
    if (const auto at = host.rfind('@'); at != std::string::npos) host.erase(0, at + 1);
    std::vector<net::ResolvedAddress> addresses;
    if (auto numeric = net::parseNumeric(host, family, type)) {
        addresses = std::move(*numeric);
    } else {
        const int rc = net::currentResolver().resolve(host, family, type,
                                                      std::chrono::milliseconds(net::remainingMs(deadline)),
                                                      [this] { return ShouldStop(); }, addresses);
        if (rc == net::kConnectTimeout || rc == net::kAborted) return ReportResult(rc);
        if (rc != net::kSuccess || addresses.empty()) return ReportResult(net::kResolveFailed);
    }

    int rc = net::kResolveFailed;
    for (auto& a : addresses) {
        if (family != AF_UNSPEC && a.address.ss_family != family) continue;
        net::setPort(a, port);
        rc = connectOne(a, type, deadline);
        if (rc == net::kSuccess || rc == net::kConnectTimeout || rc == net::kAborted) break;
    }
    if (rc != net::kSuccess) return ReportResult(rc);

    m_nFamily = family;
    m_nSocketType = type;
    for (auto [option, ms] : {std::pair{SO_RCVTIMEO, m_nReceiveTimeOut}, std::pair{SO_SNDTIMEO, m_nSendTimeOut}}) {
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        ::setsockopt(m_clientSocket, SOL_SOCKET, option, &tv, sizeof tv);
    }
    socklen_t length = sizeof m_peerAddress;
    if (::getpeername(m_clientSocket, reinterpret_cast<sockaddr*>(&m_peerAddress), &length) != 0) m_peerAddress = {};
    m_strAddress = net::textOf(m_peerAddress);
    m_nRemotePort = port;
    sockaddr_storage local{};
    length = sizeof local;
    m_nLocalPort = ::getsockname(m_clientSocket, reinterpret_cast<sockaddr*>(&local), &length) == 0 ? net::portOf(local) : 0;
    m_bSkipLineFeed = false;
    m_lastReadEnd = net::ReadEnd::none;
    if (const int hook = OnConnected(); hook != 0) {
        SocketClose(m_clientSocket);
        m_clientSocket = -1;
        return ReportResult(hook);
    }
    return ReportResult(net::kSuccess);
}

int CUT_WSClient::Disconnect() {
    for (int* fd : {&m_clientSocket, &m_serverSocket}) {
        if (*fd < 0) continue;
        SocketShutDown(*fd, SHUT_RDWR);
        SocketClose(*fd);
        *fd = -1;
    }
    m_deadline.reset();
    return ReportResult(net::kSuccess);
}

long CUT_WSClient::Send(const char* data, long length) {
    if (m_clientSocket < 0 || !data) return 0;
    const std::size_t total = length > 0 ? static_cast<std::size_t>(length) : std::strlen(data);
    std::size_t sent = 0;
    while (sent < total) {
        const long n = SocketSend(m_clientSocket, data + sent, total - sent, 0);
        if (n <= 0) return 0;
        sent += static_cast<std::size_t>(n);
    }
    return static_cast<long>(sent);
}

int CUT_WSClient::WaitReadable(long seconds, long microseconds) {
    if (m_clientSocket < 0) return -1;
    long long ms = seconds < 0 ? -1 : seconds * 1000LL + microseconds / 1000;
    const int left = net::remainingMs(m_deadline);
    if (left >= 0 && (ms < 0 || left < ms)) ms = left;
    return waitFor(POLLIN, static_cast<int>(std::min<long long>(ms, 24LL * 3600 * 1000))) == Wait::ready ? 0 : -1;
}

void CUT_WSClient::dropPendingLineFeed(char* block, long& length) {
    if (!m_bSkipLineFeed || length <= 0) return;
    m_bSkipLineFeed = false;
    if (block[0] == '\n') std::memmove(block, block + 1, static_cast<std::size_t>(--length));
}

long CUT_WSClient::Receive(char* buffer, std::size_t size, long timeoutSeconds) {
    m_lastReadEnd = net::ReadEnd::failed;
    if (m_clientSocket < 0 || !buffer || size == 0) return -1;
    for (;;) {
        if (shouldWait(timeoutSeconds)) {
            const Wait w = waitFor(POLLIN, waitBudget(timeoutSeconds));
            if (w != Wait::ready) {
                m_lastReadEnd = endOf(w);
                return -1;
            }
        }
        long n = SocketReceive(m_clientSocket, buffer, size, 0);
        if (n < 0) {
            m_lastReadEnd = (errno == EAGAIN || errno == EWOULDBLOCK) ? net::ReadEnd::timedOut : net::ReadEnd::failed;
            return -1;
        }
        if (n == 0) {
            m_lastReadEnd = net::ReadEnd::closed;
            return 0;
        }
        dropPendingLineFeed(buffer, n);
        if (n > 0) {
            m_lastReadEnd = net::ReadEnd::line;
            return n;
        }
    }
}

bool CUT_WSClient::consume(char* into, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const long n = SocketReceive(m_clientSocket, into + done, length - done, 0);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

long CUT_WSClient::ReadLine(char* buffer, std::size_t size, long timeoutSeconds) {
    m_lastReadEnd = net::ReadEnd::failed;
    if (!buffer || size == 0) return 0;
    buffer[0] = '\0';
    if (m_clientSocket < 0) return 0;
    std::size_t total = 0;
    m_lastReadEnd = net::ReadEnd::full;
    while (total + 1 < size) {
        if (ShouldStop()) {
            m_lastReadEnd = net::ReadEnd::stopped;
            break;
        }
        if (shouldWait(timeoutSeconds)) {
            const Wait w = waitFor(POLLIN, waitBudget(timeoutSeconds));
            if (w != Wait::ready) {
                m_lastReadEnd = endOf(w);
                break;
            }
        }
        char* at = buffer + total;
        const std::size_t room = size - 1 - total;
        const long peeked = SocketReceive(m_clientSocket, at, room, MSG_PEEK);
        if (peeked <= 0) {
            m_lastReadEnd = peeked == 0 ? net::ReadEnd::closed
                            : (errno == EAGAIN || errno == EWOULDBLOCK) ? net::ReadEnd::timedOut : net::ReadEnd::failed;
            break;
        }
        const auto n = static_cast<std::size_t>(peeked);
        if (m_bSkipLineFeed) {
            m_bSkipLineFeed = false;
            if (at[0] == '\n') {
                if (!consume(at, 1)) break;
                continue;
            }
        }
        // The first line end decides how much to take: LF, CR LF, or a lone CR. A CR that is
        // the last byte seen may still be followed by its LF, which the next read then drops.
        std::size_t take = n;
        bool ended = false;
        for (std::size_t i = 0; i < n && !ended; ++i) {
            if (at[i] == '\n') {
                take = i + 1;
                ended = true;
            } else if (at[i] == '\r') {
                ended = true;
                if (i + 1 < n) {
                    take = at[i + 1] == '\n' ? i + 2 : i + 1;
                } else {
                    take = i + 1;
                    m_bSkipLineFeed = true;
                }
            }
        }
        if (!consume(at, take)) {
            m_lastReadEnd = net::ReadEnd::failed;
            break;
        }
        total += take;
        if (ended) {
            m_lastReadEnd = net::ReadEnd::line;
            break;
        }
    }
    buffer[total] = '\0';
    return static_cast<long>(total);
}

int CUT_WSClient::ReceiveIntoSource(CUT_DataSource& source, int mode, long timeoutSeconds, long long maxBytes) {
    if (m_clientSocket < 0) return ReportResult(net::kNotConnected);
    if (mode != net::kModeWrite && mode != net::kModeAppend) return ReportResult(net::kBadOpenMode);
    if (source.Open(mode) != 0) return ReportResult(net::kSourceOpenFailed);
    int code = net::kSuccess;
    long long received = 0;
    char block[256];
    for (;;) {
        if (maxBytes > 0 && received >= maxBytes) break;
        const std::size_t want = maxBytes > 0 ? static_cast<std::size_t>(std::min<long long>(sizeof block, maxBytes - received))
                                              : sizeof block;
        const long n = Receive(block, want, timeoutSeconds);
        if (n == 0) break;
        if (n < 0) {
            code = m_lastReadEnd == net::ReadEnd::timedOut  ? net::kReceiveTimeout
                   : m_lastReadEnd == net::ReadEnd::stopped ? net::kAborted
                                                            : net::kReceiveFailed;
            break;
        }
        if (source.Write(block, static_cast<std::size_t>(n)) != n) {
            code = net::kSourceWriteFailed;
            break;
        }
        received += n;
        if (!OnReceiveProgress(received) || ShouldStop()) {
            code = net::kAborted;
            break;
        }
    }
    if (source.Close() != 0 && code == net::kSuccess) code = net::kSourceWriteFailed;
    return ReportResult(code);
}
