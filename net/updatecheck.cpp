// SPDX-License-Identifier: MIT
// The update check's rules and its run without a window.
#include "net/updatecheck.h"

#include "net/fileversioninfo.h"
#include "net/ut_httpclient.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/scanint.h"
#include "platform/services.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>

#ifndef BRIMVALE_UPDATE_URL
#define BRIMVALE_UPDATE_URL "http://www.kestrelby.example"
#endif

namespace net {
namespace {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, args);
    va_end(args);
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, pattern, again);
    va_end(again);
    return text;
}

std::string_view trimmedBase(std::string_view base) {
    if (!base.empty() && base.back() == '/') base.remove_suffix(1);
    return base;
}

bool isDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "HTTP/" digits "." digits " 200", then the end or a blank.
bool isStatus200(std::string_view line) {
    if (line.substr(0, 5) != "HTTP/") return false;
    line.remove_prefix(5);
    const std::size_t dot = line.find('.');
    const std::size_t blank = line.find(' ');
    if (dot == std::string_view::npos || blank == std::string_view::npos || dot > blank) return false;
    if (!isDigits(line.substr(0, dot)) || !isDigits(line.substr(dot + 1, blank - dot - 1))) return false;
    const std::string_view rest = line.substr(blank + 1);
    return rest.substr(0, 3) == "200" && (rest.size() == 3 || rest[3] == ' ');
}

class UpdateClient final : public CUT_HTTPClient {
public:
    explicit UpdateClient(const std::atomic<bool>* cancel) : m_cancel(cancel) {}
    bool ShouldStop() override { return m_cancel && m_cancel->load(); }

private:
    const std::atomic<bool>* m_cancel;
};

} // namespace

std::string formatVersion(const VersionNumber& v) { return format("%d.%d.%d.%d", v.major, v.minor, v.build, v.revision); }

VersionNumber parseVersionFile(const CUT_StringList& lines) {
    auto line = [&](std::size_t i) -> std::string_view {
        const char* text = lines.GetString(i);
        return text ? text : "";
    };
    VersionNumber v;
    if (lines.GetCount() >= 4) {
        v.major = ScanInt(line(0)).value_or(0);
        v.minor = ScanInt(line(1)).value_or(0);
        v.build = ScanInt(line(2)).value_or(0);
        v.revision = ScanInt(line(3)).value_or(0);
        return v;
    }
    const std::string_view first = line(0);
    v.major = ScanInt(first).value_or(0);
    if (const std::size_t dot = first.find('.'); dot != std::string_view::npos)
        v.minor = ScanInt(first.substr(dot + 1, 1)).value_or(0);
    return v;
}

std::string updateBaseUrl() {
    const char* fromEnvironment = std::getenv("BRIMVALE_UPDATE_URL");
    return fromEnvironment && *fromEnvironment ? fromEnvironment : BRIMVALE_UPDATE_URL;
}

bool isUsableBaseUrl(std::string_view base) {
    base = trimmedBase(base);
    if (base.substr(0, 7) != "http://") return false;
    const std::string_view rest = base.substr(7);
    UrlParts parts;
    return !rest.empty() && rest.find_first_of("/?%@\\") == std::string_view::npos
           && splitUrl(base, parts) == kSuccess;
}

std::string versionFileUrl(std::string_view base, std::string_view programName) {
    return std::string(trimmedBase(base)) + "/Kestrelby/" + std::string(programName) + "Version.txt";
}

std::string downloadPageUrl(std::string_view base) { return std::string(trimmedBase(base)) + "/Kestrelby"; }

UpdateResult judgeReply(int getResult, const CUT_HTTPClient& client) {
    UpdateResult result;
    if (getResult != kSuccess) return result;
    const CUT_StringList& header = client.GetHeaderLines();
    if (header.GetCount() == 0) return result;
    if (client.GetBodyEnd() == BodyEnd::limit) {
        result.reply = UpdateReply::unavailable;
        return result;
    }
    if (client.GetBodyEnd() != BodyEnd::closed) return result;
    const char* firstBodyLine = client.GetBodyLines().GetString(0);
    if (!isStatus200(header.GetString(0)) || (firstBodyLine && firstBodyLine[0] == '<')) {
        result.reply = UpdateReply::unavailable;
        return result;
    }
    result.reply = UpdateReply::version;
    result.version = parseVersionFile(client.GetBodyLines());
    return result;
}

UpdateResult fetchUpdate(const UpdateRequest& request) {
    const std::string_view url = request.fileUrl;
    const std::size_t pathAt = url.find('/', 7);
    if (pathAt == std::string_view::npos || !isUsableBaseUrl(url.substr(0, pathAt))) return {};
    UpdateClient client(request.cancel);
    client.SetConnectTimeOut(request.connectTimeoutSeconds);
    client.SetReceiveTimeOut(request.receiveTimeoutMs);
    client.SetMaxBodySize(kMaxVersionFileBytes);
    const int rc = client.GET(request.fileUrl.c_str());
    return judgeReply(rc, client);
}

BackgroundUpdateCheck::BackgroundUpdateCheck(UpdateRequest request, std::function<void(const UpdateResult&)> onDone) {
    request.cancel = &m_cancel;
    m_thread = std::thread([this, request = std::move(request), onDone = std::move(onDone)] {
        const UpdateResult result = fetchUpdate(request);
        if (!m_cancel.load() && onDone) onDone(result);
    });
}

BackgroundUpdateCheck::~BackgroundUpdateCheck() {
    m_cancel = true;
    if (m_thread.joinable()) m_thread.join();
}

CurrentProgram currentProgram() {
    CurrentProgram program;
    CFileVersionInfo info;
    info.Create();
    program.productName = info.GetProductName();
    program.fileDescription = info.GetFileDescription();
    const auto parts = info.GetFileVersion();
    program.version = {parts[0], parts[1], parts[2], parts[3]};
    const auto split = platform::splitPath(platform::modulePath(), {0, 4096, 4096, 4096});
    if (!split.ok()) AfxMessageBox(kErrorReadingFileName, MB_OK);
    program.fileName = split.fname;
    return program;
}

std::string unavailableMessage(const CurrentProgram& program) { return program.productName + " version data is unavailable."; }

std::string newerVersionMessage(const CurrentProgram& p, const VersionNumber& n) {
    const VersionNumber& c = p.version;
    return format("There is a newer version of %s available from the Kestrelby website. You are using %s Version "
                  "%d.%d.%d.%d and Version %d.%d.%d.%d is now available. Do you wish to download the newer version now?",
                  p.productName.c_str(), p.productName.c_str(), c.major, c.minor, c.build, c.revision, n.major,
                  n.minor, n.build, n.revision);
}

std::string currentVersionMessage(const CurrentProgram& p, const VersionNumber& n, std::string_view fileUrl) {
    const VersionNumber& c = p.version;
    const std::string url(fileUrl);
    return format("You are using %s (%s) Version %d.%d.%d.%d. Version %d.%d.%d.%d (%s) is identified as the most "
                  "current on the Kestrelby website.",
                  p.productName.c_str(), p.fileDescription.c_str(), c.major, c.minor, c.build, c.revision, n.major,
                  n.minor, n.build, n.revision, url.c_str());
}

bool presentUpdate(const UpdateResult& result, const CurrentProgram& program, std::string_view fileUrl,
                   std::string_view pageUrl, bool offerOnly) {
    const bool newer = result.reply == UpdateReply::version && result.version > program.version;
    if (offerOnly && !newer) return false;
    switch (result.reply) {
    case UpdateReply::unreachable: AfxMessageBox(kUnableToConnectMessage, MB_OK); return false;
    case UpdateReply::unavailable: AfxMessageBox(unavailableMessage(program), MB_OK); return false;
    case UpdateReply::version: break;
    }
    if (!newer) {
        AfxMessageBox(currentVersionMessage(program, result.version, fileUrl), MB_OK);
        return false;
    }
    if (AfxMessageBox(newerVersionMessage(program, result.version), MB_YESNO) == IDYES) {
        const std::string page(pageUrl);
        ShellExecuteA(nullptr, "open", page.c_str(), nullptr, nullptr, SW_SHOW);
    }
    return true;
}

void runUpdateCheck(bool offerOnly, const std::atomic<bool>* cancel) {
    const CurrentProgram program = currentProgram();
    const std::string base = updateBaseUrl();
    UpdateRequest request;
    request.fileUrl = versionFileUrl(base, program.fileName);
    request.cancel = cancel;
    const UpdateResult result = fetchUpdate(request);
    if (cancel && cancel->load()) return;
    presentUpdate(result, program, request.fileUrl, downloadPageUrl(base), offerOnly);
}

} // namespace net
