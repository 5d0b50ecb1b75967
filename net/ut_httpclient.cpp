// SPDX-License-Identifier: MIT
// The HTTP/1.0 GET: URL checks, the request as formed, the header (bounded, long lines
// joined), 401 and 3xx through the hooks, and the body (bounded in memory, or into a file).
#include "net/ut_httpclient.h"

#include "net/base64.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace net {
namespace {

constexpr std::size_t kRequestLineBuffer = 520; // request lines are formed into this many bytes
constexpr std::size_t kHostLineBuffer = 519;    // the Host line, without its line end
constexpr std::size_t kLineBuffer = 521;        // each ReadLine of the reply
constexpr int kMaxRedirects = 5;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size()
           && std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
                  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
              });
}

bool endsWithLineEnd(const std::string& line) {
    return !line.empty() && (line.back() == '\n' || line.back() == '\r');
}

void stripLineEnd(std::string& line) {
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
}

// A numeric IPv6 address goes into a Host line or a URL in brackets.
std::string hostForText(const std::string& host) {
    return host.find(':') != std::string::npos ? "[" + host + "]" : host;
}

std::optional<unsigned> parsePort(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned port = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        port = port * 10 + static_cast<unsigned>(c - '0');
    }
    if (port == 0 || port > 65535) return std::nullopt;
    return port;
}

// Formats into a buffer of `limit` bytes as _snprintf would; a line that does not fit is
// refused rather than cut.
std::optional<std::string> formatLine(std::size_t limit, const char* format, ...) __attribute__((format(printf, 2, 3)));
std::optional<std::string> formatLine(std::size_t limit, const char* format, ...) {
    std::string text(limit, '\0');
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(text.data(), limit, format, args);
    va_end(args);
    if (length < 0 || static_cast<std::size_t>(length) >= limit) return std::nullopt;
    text.resize(static_cast<std::size_t>(length));
    return text;
}

BodyEnd bodyEndOf(ReadEnd end) {
    switch (end) {
    case ReadEnd::closed: return BodyEnd::closed;
    case ReadEnd::timedOut: return BodyEnd::timedOut;
    case ReadEnd::stopped: return BodyEnd::stopped;
    default: return BodyEnd::failed;
    }
}

} // namespace

int splitUrl(std::string_view url, UrlParts& parts) {
    if (url.empty()) return kBadUrl;
    for (char c : url) {
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return kBadUrl;
    }
    std::string text(url);
    std::replace(text.begin(), text.end(), '\\', '/');
    const std::size_t scheme = text.find("://");
    std::string_view rest(text);
    if (scheme != std::string::npos) rest.remove_prefix(scheme + 3);

    // The host runs to the first "/", "?" or "%"; a numeric IPv6 address sits in brackets.
    UrlParts out;
    std::string_view hostPort;
    std::size_t end = 0;
    if (!rest.empty() && rest.front() == '[') {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos || close == 1) return kBadUrl;
        out.host = std::string(rest.substr(1, close - 1));
        end = rest.find_first_of("/?%", close);
        if (end == std::string_view::npos) end = rest.size();
        const std::string_view after = rest.substr(close + 1, end - close - 1);
        if (!after.empty()) {
            if (after.front() != ':') return kBadUrl;
            const auto port = parsePort(after.substr(1));
            if (!port) return kBadUrl;
            out.port = *port;
        }
    } else {
        end = rest.find_first_of("/?%");
        if (end == std::string_view::npos) end = rest.size();
        hostPort = rest.substr(0, end);
        const std::size_t userEnd = hostPort.rfind('@');
        const std::size_t colon = hostPort.find(':', userEnd == std::string_view::npos ? 0 : userEnd + 1);
        out.host = std::string(hostPort.substr(0, colon));
        if (colon != std::string_view::npos) {
            const auto port = parsePort(hostPort.substr(colon + 1));
            if (!port) return kBadUrl;
            out.port = *port;
        }
    }
    const std::size_t at = out.host.rfind('@');
    if (out.host.empty() || (at != std::string::npos && at + 1 == out.host.size())) return kBadUrl;
    out.path = std::string(rest.substr(end));
    parts = std::move(out);
    return kSuccess;
}

} // namespace net

using namespace net;

std::optional<std::string> CUT_HTTPClient::GetHeaderValue(std::string_view name) const {
    for (std::size_t i = 1; i < m_listReceivedHeaders.GetCount(); ++i) {
        const std::string_view line = m_listReceivedHeaders.GetString(i);
        if (line.size() <= name.size() || line[name.size()] != ':' || !startsWithNoCase(line, name)) continue;
        std::string_view value = line.substr(name.size() + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
        return std::string(value);
    }
    return std::nullopt;
}

void CUT_HTTPClient::AddSendHeader(std::string_view line) {
    std::string text(line);
    if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
    m_listSendHeaders.AddString(text);
}

void CUT_HTTPClient::close() { Disconnect(); }

int CUT_HTTPClient::GET(const char* url, const char* localFile) { return ReportResult(get(url, localFile, 0)); }

int CUT_HTTPClient::get(const char* url, const char* localFile, int redirects) {
    m_listReceivedHeaders.ClearList();
    m_listBody.ClearList();
    m_nStatusCode = 0;
    m_bodyEnd = BodyEnd::none;
    if (!url || !*url) return kBadUrl;
    const std::string target(url);

    // Through a proxy the URL goes out whole; the target is still split for the Host line.
    std::optional<std::string> requestLine;
    UrlParts parts;
    const bool relative = m_bUseProxy && target.front() == '/' && target.compare(0, 2, "//") != 0;
    if (relative) {
        for (char c : target)
            if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return kBadUrl;
        parts = {m_strHost, m_nPort, target};
    } else if (splitUrl(target, parts) != kSuccess) {
        return kBadUrl;
    }
    if (parts.host.empty() || hostForText(parts.host).size() + 6 > kHostLineBuffer - 1) return kBadUrl;
    m_strHost = parts.host;
    m_nPort = parts.port;
    m_strPath = parts.path;
    if (!m_bUseProxy) {
        const bool rooted = !m_strPath.empty() && (m_strPath.front() == '/' || m_strPath.front() == '%');
        requestLine = formatLine(kRequestLineBuffer, rooted ? "GET %s HTTP/1.0\r\n" : "GET /%s HTTP/1.0\r\n", m_strPath.c_str());
    } else if (startsWithNoCase(target, "ftp://") || startsWithNoCase(target, "http://") || target.compare(0, 2, "//") == 0) {
        requestLine = formatLine(kRequestLineBuffer, "GET %s HTTP/1.0\r\n", target.c_str());
    } else if (target.compare(0, 4, "ftp.") == 0) {
        requestLine = formatLine(kRequestLineBuffer, "GET ftp://%s HTTP/1.0\r\n", target.c_str());
    } else if (relative) {
        requestLine = formatLine(kRequestLineBuffer, "GET http://%s:%u%s HTTP/1.0\r\n", hostForText(m_strHost).c_str(),
                                 m_nPort, target.c_str());
    } else {
        requestLine = formatLine(kRequestLineBuffer, "GET http://%s HTTP/1.0\r\n", target.c_str());
    }
    if (!requestLine) return kBadUrl;

    const long seconds = m_nReceiveTimeOut / 1000;
    int rc = connectAndSend(*requestLine);
    if (rc != kSuccess) return rc;
    if ((rc = readHeader(seconds)) != kSuccess) {
        close();
        return rc;
    }

    if (m_nStatusCode == 401) {
        const std::string challenge = GetHeaderValue("WWW-Authenticate").value_or("");
        const std::string scheme = challenge.substr(0, challenge.find_first_of(" \t"));
        std::string user, password;
        if (!OnNeedCredentials(scheme, user, password) || !startsWithNoCase(scheme, "Basic") || scheme.size() != 5) {
            close();
            return kSuccess;
        }
        // The answer comes on a new connection, with a header of its own before the body.
        close();
        for (std::size_t i = m_listSendHeaders.GetCount(); i-- > 0;)
            if (startsWithNoCase(m_listSendHeaders.GetString(i), "Authorization:")) m_listSendHeaders.DeleteString(i);
        AddSendHeader("Authorization: Basic " + CBase64::Encode(user + ":" + password));
        m_listReceivedHeaders.ClearList();
        m_nStatusCode = 0;
        if ((rc = connectAndSend(*requestLine)) != kSuccess) return rc;
        if ((rc = readHeader(seconds)) != kSuccess) {
            close();
            return rc;
        }
    } else if (m_nStatusCode == 301 || m_nStatusCode == 302 || m_nStatusCode == 303 || m_nStatusCode == 307) {
        const auto location = GetHeaderValue("Location");
        if (!location || location->empty()) {
            close();
            return kSuccess;
        }
        std::string next = *location;
        if (next.front() == '/' && next.compare(0, 2, "//") != 0)
            next = "http://" + hostForText(m_strHost) + ":" + std::to_string(m_nPort) + next;
        if (redirects < kMaxRedirects && OnRedirect(next)) {
            close();
            return get(next.c_str(), localFile, redirects + 1);
        }
    }
    rc = readBody(localFile, seconds);
    close();
    return rc;
}

int CUT_HTTPClient::connectAndSend(const std::string& requestLine) {
    const std::string& host = m_bUseProxy ? m_strProxyHost : m_strHost;
    const unsigned port = m_bUseProxy ? m_nProxyPort : m_nPort;
    int rc = Connect(port, host.c_str(), m_nConnectTimeOut, AF_UNSPEC, SOCK_STREAM);
    if (rc != kSuccess) return rc;
    // Whatever the server does from here, the request ends within the receive time-out.
    SetDeadline(std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(m_nReceiveTimeOut, 0)));
    rc = sendRequest(requestLine);
    if (rc != kSuccess) close();
    return rc;
}

int CUT_HTTPClient::sendRequest(const std::string& requestLine) {
    auto failed = [this] {
        m_listSendHeaders.ClearList();
        return kSendFailed;
    };
    if (Send(requestLine.c_str(), static_cast<long>(requestLine.size())) <= 0) return failed();
    if (ShouldStop()) return kAborted;
    if (m_bUseProxy && !m_strProxyUser.empty()) {
        const std::string line = "Proxy-Authorization: Basic " + CBase64::Encode(m_strProxyUser + ":" + m_strProxyPassword) + "\r\n";
        if (Send(line.c_str(), static_cast<long>(line.size())) <= 0) return failed();
    }
    // The Host line added for an earlier request would name the wrong host now.
    for (std::size_t i = m_listSendHeaders.GetCount(); i-- > 0;)
        if (!m_strOwnHostLine.empty() && m_strOwnHostLine == m_listSendHeaders.GetString(i)) m_listSendHeaders.DeleteString(i);
    bool hostSent = false;
    for (std::size_t i = 0; i < m_listSendHeaders.GetCount(); ++i) {
        const char* line = m_listSendHeaders.GetString(i);
        if (Send(line, static_cast<long>(std::strlen(line))) <= 0) return failed();
        hostSent = hostSent || startsWithNoCase(line, "Host:");
    }
    // A caller's own Host line stands alone: two would make the request invalid.
    if (!hostSent) {
        m_strOwnHostLine = "Host: " + hostForText(m_strHost) + "\r\n";
        if (Send(m_strOwnHostLine.c_str(), static_cast<long>(m_strOwnHostLine.size())) <= 0) return failed();
        m_listSendHeaders.AddString(m_strOwnHostLine);
    }
    if (Send("\r\n", 2) <= 0) return failed();
    return kSuccess;
}

int CUT_HTTPClient::readHeader(long seconds) {
    std::string line;
    std::size_t total = 0;
    bool first = true;
    auto addLine = [&] {
        if (first) {
            // The number after the first blank, read as atol does.
            const std::size_t blank = line.find(' ');
            const long long code = blank == std::string::npos ? 0 : std::strtoll(line.c_str() + blank + 1, nullptr, 10);
            m_nStatusCode = static_cast<std::int32_t>(std::clamp<long long>(code, INT32_MIN, INT32_MAX));
        }
        m_listReceivedHeaders.AddString(line);
        line.clear();
        first = false;
    };
    char buffer[kLineBuffer];
    for (;;) {
        const long n = ReadLine(buffer, sizeof buffer, seconds);
        if (LastReadEnd() == ReadEnd::stopped || ShouldStop()) {
            m_listReceivedHeaders.ClearList();
            return kAborted;
        }
        if (n <= 0) {
            // The connection ended inside the header: what came is the whole reply.
            stripLineEnd(line);
            if (!line.empty()) addLine();
            if (first) return LastReadEnd() == ReadEnd::timedOut ? kReceiveTimeout : kReceiveFailed;
            return kSuccess;
        }
        total += static_cast<std::size_t>(n);
        if (total > kMaxHeaderBytes) return kReceiveFailed;
        line.append(buffer, static_cast<std::size_t>(n));
        // A piece without a line end is part of a line longer than the buffer.
        if (!endsWithLineEnd(line)) continue;
        stripLineEnd(line);
        if (line.empty()) return first ? kReceiveFailed : kSuccess;
        addLine();
    }
}

int CUT_HTTPClient::readBody(const char* localFile, long seconds) {
    if (localFile && *localFile) {
        CUT_FileDataSource source(localFile, 4096);
        const int rc = ReceiveIntoSource(source, kModeWrite, seconds, 0);
        m_bodyEnd = rc == kSuccess ? BodyEnd::closed
                    : rc == kReceiveTimeout ? BodyEnd::timedOut
                    : rc == kAborted ? BodyEnd::stopped : BodyEnd::failed;
        return rc == kReceiveTimeout ? kSuccess : rc;
    }
    std::string line;
    std::size_t total = 0;
    char buffer[kLineBuffer];
    for (;;) {
        if (ShouldStop()) {
            m_bodyEnd = BodyEnd::stopped;
            break;
        }
        const long n = ReadLine(buffer, sizeof buffer, seconds);
        if (n <= 0) {
            m_bodyEnd = bodyEndOf(LastReadEnd());
            break;
        }
        if (total + static_cast<std::size_t>(n) > m_nMaxBodyBytes) {
            m_bodyEnd = BodyEnd::limit;
            break;
        }
        total += static_cast<std::size_t>(n);
        line.append(buffer, static_cast<std::size_t>(n));
        if (endsWithLineEnd(line)) {
            stripLineEnd(line);
            m_listBody.AddString(line);
            line.clear();
        }
    }
    if (!line.empty()) m_listBody.AddString(line);
    return kSuccess;
}
