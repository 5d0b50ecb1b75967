// SPDX-License-Identifier: MIT
// The update check without the window: where the version file lives, how its text reads, how
// a reply is judged, the messages, and the check itself (fetch on any thread, then speak
// through the message-box and shell services on the window's thread).
#pragma once

#include "net/ut_stringlist.h"

#include <atomic>
#include <compare>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

class CUT_HTTPClient;

namespace net {

struct VersionNumber {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t build = 0;
    std::int32_t revision = 0;
    /// Part by part, major first, as signed numbers.
    auto operator<=>(const VersionNumber&) const = default;
};

/// "%d.%d.%d.%d".
std::string formatVersion(const VersionNumber& version);

/// Reads a version file's lines: four or more lines give the four parts, one number from the
/// start of each line; fewer give the major number from line 1 and, when it holds a ".", the
/// minor number from the one character after the first "." ("2.15" reads 2.1.0.0). A part
/// that does not start with a number is 0.
VersionNumber parseVersionFile(const CUT_StringList& lines);

/// The maker's site: $BRIMVALE_UPDATE_URL when set, else the value the build was configured with.
std::string updateBaseUrl();
/// True for "http://host" or "http://host:port" (a numeric IPv6 host in brackets), one
/// trailing "/" allowed; the check treats any other form as a failed connection.
bool isUsableBaseUrl(std::string_view base);
/// <base>/Kestrelby/<program>Version.txt and <base>/Kestrelby.
std::string versionFileUrl(std::string_view base, std::string_view programName);
std::string downloadPageUrl(std::string_view base);

enum class UpdateReply {
    unreachable, ///< no connection, no reply, a time-out, or a body the server did not end
    unavailable, ///< a reply that is not a version file: another status, a web page, too long
    version      ///< `version` holds what the file says
};

struct UpdateResult {
    UpdateReply reply = UpdateReply::unreachable;
    VersionNumber version;
};

/// Judges a finished GET: only "HTTP/x.y 200" with a body the server closed (at most
/// kMaxVersionFileBytes) whose first line does not start with "<" is a version file.
UpdateResult judgeReply(int getResult, const CUT_HTTPClient& client);
inline constexpr std::size_t kMaxVersionFileBytes = 64 * 1024;

struct UpdateRequest {
    std::string fileUrl;                        ///< versionFileUrl(...)
    const std::atomic<bool>* cancel = nullptr;  ///< set to end the request at once
    int connectTimeoutSeconds = 5;
    int receiveTimeoutMs = 30000;
};

/// Fetches and judges the version file. No message, no window: safe on any thread.
UpdateResult fetchUpdate(const UpdateRequest& request);

/// A fetch on a thread of its own, for the check at start-up. onDone runs on that thread with
/// the result, unless the check was cancelled first; the window passes the result on to its
/// own thread and speaks there. Destroying the object cancels the fetch and waits for the
/// thread, which ends within a fraction of a second, so onDone never runs after it.
class BackgroundUpdateCheck {
public:
    BackgroundUpdateCheck(UpdateRequest request, std::function<void(const UpdateResult&)> onDone);
    ~BackgroundUpdateCheck();
    BackgroundUpdateCheck(const BackgroundUpdateCheck&) = delete;
    BackgroundUpdateCheck& operator=(const BackgroundUpdateCheck&) = delete;

private:
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
};

/// What the program knows of itself.
struct CurrentProgram {
    std::string productName;
    std::string fileDescription;
    VersionNumber version;
    std::string fileName; ///< the program file's name without folder and extension
};

/// The running program's version record and file name.
CurrentProgram currentProgram();

inline constexpr const char* kUnableToConnectMessage = "Unable to connect to the Kestrelby website to check version status.";
inline constexpr const char* kErrorReadingFileName = "Error reading file name";
std::string unavailableMessage(const CurrentProgram& program);
std::string newerVersionMessage(const CurrentProgram& program, const VersionNumber& latest);
std::string currentVersionMessage(const CurrentProgram& program, const VersionNumber& latest, std::string_view fileUrl);

/// Tells the user the result through AfxMessageBox and, on Yes to a newer version, opens
/// pageUrl through ShellExecuteA. With offerOnly, only a newer version is spoken of (the
/// check at start-up). Returns true when a newer version was offered.
bool presentUpdate(const UpdateResult& result, const CurrentProgram& program, std::string_view fileUrl,
                   std::string_view pageUrl, bool offerOnly);

/// The whole check on the calling thread: version record, addresses, fetch, messages.
void runUpdateCheck(bool offerOnly = false, const std::atomic<bool>* cancel = nullptr);

} // namespace net
