// SPDX-License-Identifier: MIT
// CUT_HTTPClient: a blocking HTTP/1.0 GET over the socket client, with the body kept as lines
// in memory (bounded) or written to a local file. A request ends within the connect time-out
// plus the receive time-out, however slowly the server answers.
#pragma once

#include "net/ut_socket.h"
#include "net/ut_stringlist.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace net {

/// The parts of a URL a GET goes to.
struct UrlParts {
    std::string host; ///< without the brackets of a numeric IPv6 address
    unsigned port = 80;
    std::string path; ///< as written after the host, possibly empty
};

/// Splits "[scheme://]host[:port][path]" (backslashes read as slashes; "[::1]:8080" for IPv6).
/// kBadUrl for blanks or control characters, no host, a bad port or an unclosed bracket.
int splitUrl(std::string_view url, UrlParts& parts);

/// How the body of the last GET ended.
enum class BodyEnd { none, closed, timedOut, limit, stopped, failed };

/// The most header bytes a reply may have.
inline constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

} // namespace net

class CUT_HTTPClient : public CUT_WSClient {
public:
    CUT_HTTPClient() = default;

    /// Fetches url. With a non-empty localFile the body is written to that file, otherwise
    /// it is kept in memory as lines. 0 on success (whatever the status code) or an error code.
    virtual int GET(const char* url, const char* localFile = nullptr);

    /// Asked on a 401 reply; fill user and password and answer true to send them (the default
    /// declines). scheme is the first word of "WWW-Authenticate".
    virtual bool OnNeedCredentials(const std::string& scheme, std::string& user, std::string& password) {
        (void)scheme, (void)user, (void)password;
        return false;
    }
    /// Asked on a 301, 302, 303 or 307 reply with the new address; true follows it (the
    /// default declines, and the reply's own body is read).
    virtual bool OnRedirect(const std::string& url) {
        (void)url;
        return false;
    }

    /// The status code of the last reply: the number after the first blank of its status line.
    std::int32_t GetStatusCode() const { return m_nStatusCode; }
    /// The reply's header lines without their ends, the status line first.
    const CUT_StringList& GetHeaderLines() const { return m_listReceivedHeaders; }
    /// The body's lines without their ends (in-memory GETs only).
    const CUT_StringList& GetBodyLines() const { return m_listBody; }
    /// The value after "name:" of the first header line with that name (any case), trimmed.
    std::optional<std::string> GetHeaderValue(std::string_view name) const;
    net::BodyEnd GetBodyEnd() const { return m_bodyEnd; }

    /// Adds a request header line; "\r\n" is appended when it does not end so.
    void AddSendHeader(std::string_view line);
    void ClearSendHeaders() { m_listSendHeaders.ClearList(); }
    const CUT_StringList& GetSendHeaders() const { return m_listSendHeaders; }

    /// Requests go through the proxy at host:port when on.
    void SetProxy(std::string host, unsigned port) { m_strProxyHost = std::move(host), m_nProxyPort = port; }
    void UseProxy(bool on) { m_bUseProxy = on; }
    void SetProxyCredentials(std::string user, std::string password) {
        m_strProxyUser = std::move(user), m_strProxyPassword = std::move(password);
    }
    void SetConnectTimeOut(int seconds) { m_nConnectTimeOut = seconds; }
    /// The most body bytes an in-memory GET keeps (1 MiB unless set).
    void SetMaxBodySize(std::size_t bytes) { m_nMaxBodyBytes = bytes; }

protected:
    std::string m_strHost;
    unsigned m_nPort = 80;
    std::string m_strPath;
    bool m_bUseProxy = false;
    std::string m_strProxyHost;
    unsigned m_nProxyPort = 8080;
    std::string m_strProxyUser;
    std::string m_strProxyPassword;
    CUT_StringList m_listSendHeaders;
    CUT_StringList m_listReceivedHeaders;
    CUT_StringList m_listBody;
    std::int32_t m_nStatusCode = 0;
    int m_nConnectTimeOut = 5;
    std::size_t m_nMaxBodyBytes = 1024 * 1024;

private:
    int get(const char* url, const char* localFile, int redirects);
    int sendRequest(const std::string& url);
    int readHeader(long seconds);
    int readBody(const char* localFile, long seconds);
    int connectAndSend(const std::string& url);
    void close();

    net::BodyEnd m_bodyEnd = net::BodyEnd::none;
    std::string m_strOwnHostLine; // the Host line this client added to m_listSendHeaders
};
