// SPDX-License-Identifier: MIT
// The registry calls over hive files. Each call reads the hive file afresh; each change
// rewrites it whole under an advisory lock (read again under the lock, change, write a
// temporary file, flush, rename), so two running copies never undo each other's values
// and a crash never leaves a torn hive.
#include "platform/winreg.h"

#include "platform/hivefile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using platform::detail::Hive;
using platform::detail::RegKey;
using platform::detail::RegValue;

struct HKEY__ {
    HKEY root;
    std::string path;
    REGSAM access;
};

namespace {

constexpr LONG kErrorBadPathname = 161;
constexpr LONG kErrorKeyDeleted = 1018;

// Rights that change the hive; a read-only hive refuses every one of them.
constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x10000 /*DELETE*/ | 0x40000 /*WRITE_DAC*/ |
    0x80000 /*WRITE_OWNER*/;

std::mutex g_mutex; // guards the handle set and the writability check
std::set<HKEY> g_handles;
std::function<bool(const std::string&)> g_writableCheck;

bool isPredefined(HKEY k) { return k == HKEY_LOCAL_MACHINE || k == HKEY_CURRENT_USER; }

const char* rootName(HKEY root) {
    return root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

bool isValidHandle(HKEY k) {
    std::lock_guard lock(g_mutex);
    return g_handles.count(k) != 0;
}

std::string dirOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

bool fileExists(const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0;
}

// Creates the folder and its parents; false when something on the way is not a folder
// or cannot be made.
bool makeFolders(const std::string& dir) {
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::string parent = dirOf(dir);
    if (parent != dir && !makeFolders(parent)) return false;
    return ::mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

bool readWholeFile(const std::string& path, std::string& out, bool& missing) {
    missing = false;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        missing = (errno == ENOENT || errno == ENOTDIR);
        return missing;
    }
    out.clear();
    char buf[8192];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return n == 0;
}

// Moves an unreadable hive aside under a name that no earlier copy holds, so nothing the
// user had is ever overwritten.
void moveAside(const std::string& hivePath) {
    std::string target = hivePath + ".corrupt";
    for (int i = 2; fileExists(target) && i < 1000; ++i) target = hivePath + ".corrupt." + std::to_string(i);
    if (::rename(hivePath.c_str(), target.c_str()) != 0) return;
}

class HiveLock {
public:
    explicit HiveLock(const std::string& hivePath) {
        std::string lockPath = hivePath + ".lock";
        m_fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (m_fd >= 0 && ::flock(m_fd, LOCK_EX) != 0) {
            ::close(m_fd);
            m_fd = -1;
        }
    }
    ~HiveLock() {
        if (m_fd >= 0) ::close(m_fd); // closing drops the lock
    }
    HiveLock(const HiveLock&) = delete;
    HiveLock& operator=(const HiveLock&) = delete;
    bool locked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

// Reads the hive of a root. A file that does not parse counts as empty; when `canMove`
// it is also moved aside (the caller holds the lock then).
Hive loadHive(HKEY root, bool canMove, bool* corrupt = nullptr) {
    Hive hive;
    if (corrupt) *corrupt = false;
    std::string path = platform::HiveFilePath(root);
    std::string text;
    bool missing = false;
    if (!readWholeFile(path, text, missing) || missing) return hive;
    if (!platform::detail::parseHive(text, rootName(root), hive, nullptr)) {
        hive.keys.clear();
        if (corrupt) *corrupt = true;
        if (canMove) moveAside(path);
    }
    return hive;
}

// For reads: the hive as it is. A corrupt file is moved aside when the hive is writable.
Hive readHive(HKEY root) {
    bool corrupt = false;
    Hive hive = loadHive(root, false, &corrupt);
    if (corrupt && platform::IsHiveWritable(root)) {
        HiveLock lock(platform::HiveFilePath(root));
        if (lock.locked()) hive = loadHive(root, true);
    }
    return hive;
}

bool writeHiveFile(const std::string& path, const std::string& text) {
    std::string tmp = path + ".tmp.XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) ok = false;
        else done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    int dfd = ::open(dirOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

// Applies a change to the hive of `root` under its lock and writes the result. The change
// returns a registry error code; the hive is written only when it succeeds and reports
// that something changed.
template <typename Change>
LONG changeHive(HKEY root, Change&& change) {
    if (!platform::IsHiveWritable(root)) return ERROR_ACCESS_DENIED;
    std::string path = platform::HiveFilePath(root);
    if (!makeFolders(dirOf(path))) return ERROR_ACCESS_DENIED;
    HiveLock lock(path);
    if (!lock.locked()) return ERROR_ACCESS_DENIED;
    Hive hive = loadHive(root, true);
    bool changed = false;
    LONG rc = change(hive, changed);
    if (rc != ERROR_SUCCESS || !changed) return rc;
    return writeHiveFile(path, platform::detail::formatHive(hive)) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Resolves a handle plus subkey to a root and a normalised path below it.
LONG resolve(HKEY hKey, LPCSTR subKey, HKEY& root, std::string& path) {
    if (isPredefined(hKey)) {
        root = hKey;
        path.clear();
    } else if (isValidHandle(hKey)) {
        root = hKey->root;
        path = hKey->path;
    } else {
        return ERROR_INVALID_HANDLE;
    }
    std::string sub = subKey ? subKey : "";
    if (!sub.empty() && sub.front() == '\\') return kErrorBadPathname;
    while (!sub.empty() && sub.back() == '\\') sub.pop_back();
    if (sub.find("\\\\") != std::string::npos) return kErrorBadPathname;
    if (!sub.empty()) path = path.empty() ? sub : path + "\\" + sub;
    return ERROR_SUCCESS;
}

HKEY newHandle(HKEY root, std::string path, REGSAM access) {
    HKEY h = new HKEY__{root, std::move(path), access};
    std::lock_guard lock(g_mutex);
    g_handles.insert(h);
    return h;
}

// Root and path of a handle for a value operation; predefined roots stand for themselves.
LONG handleTarget(HKEY hKey, REGSAM needed, HKEY& root, std::string& path) {
    if (isPredefined(hKey)) {
        root = hKey;
        path.clear();
        return ERROR_SUCCESS;
    }
    if (!isValidHandle(hKey)) return ERROR_INVALID_HANDLE;
    if ((hKey->access & needed) != needed) return ERROR_ACCESS_DENIED;
    root = hKey->root;
    path = hKey->path;
    return ERROR_SUCCESS;
}

} // namespace

namespace platform {

std::string RegistryDirectory() {
    if (const char* dir = std::getenv("BRIMVALE_REGISTRY_DIR"); dir && *dir) return dir;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg && xdg[0] == '/')
        return std::string(xdg) + "/brimvale";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/brimvale";
}

std::string HiveFilePath(HKEY root) {
    if (!isPredefined(root)) return {};
    return RegistryDirectory() + "/" + rootName(root) + ".reg";
}

bool IsHiveWritable(HKEY root) {
    std::string path = HiveFilePath(root);
    if (path.empty()) return false;
    if (fileExists(path + ".readonly")) return false;
    {
        std::lock_guard lock(g_mutex);
        if (g_writableCheck && !g_writableCheck(path)) return false;
    }
    std::string dir = dirOf(path);
    if (fileExists(path)) return ::access(path.c_str(), W_OK) == 0 && ::access(dir.c_str(), W_OK) == 0;
    // No hive yet: the nearest existing folder on the way must be a writable folder.
    for (std::string d = dir;; d = dirOf(d)) {
        struct stat st;
        if (::stat(d.c_str(), &st) == 0) return S_ISDIR(st.st_mode) && ::access(d.c_str(), W_OK) == 0;
        if (errno != ENOENT) return false;
        if (d == "/" || d == ".") return false;
    }
}

void SetHiveWritableCheck(std::function<bool(const std::string&)> check) {
    std::lock_guard lock(g_mutex);
    g_writableCheck = std::move(check);
}

} // namespace platform

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired, void*,
                     PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    HKEY root;
    std::string path;
    if (LONG rc = resolve(hKey, lpSubKey, root, path); rc != ERROR_SUCCESS) return rc;

    bool writable = platform::IsHiveWritable(root);
    Hive current = readHive(root);
    bool exists = current.keyExists(path);
    if (!writable && (!exists || (samDesired & kWriteRights))) return ERROR_ACCESS_DENIED;

    bool created = false;
    if (writable) {
        LONG rc = changeHive(root, [&](Hive& hive, bool& changed) {
            if (hive.findKey(path)) return ERROR_SUCCESS;
            hive.createKey(path, &created);
            changed = true;
            return ERROR_SUCCESS;
        });
        if (rc != ERROR_SUCCESS) return rc;
    }
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    *phkResult = newHandle(root, path, samDesired);
    return ERROR_SUCCESS;
}

LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    HKEY root;
    std::string path;
    if (LONG rc = resolve(hKey, lpSubKey, root, path); rc != ERROR_SUCCESS) return rc;
    if (!readHive(root).keyExists(path)) return ERROR_FILE_NOT_FOUND;
    if ((samDesired & kWriteRights) && !platform::IsHiveWritable(root)) return ERROR_ACCESS_DENIED;
    *phkResult = newHandle(root, path, samDesired);
    return ERROR_SUCCESS;
}

LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (lpData && !lpcbData) return ERROR_INVALID_PARAMETER;
    HKEY root;
    std::string path;
    if (LONG rc = handleTarget(hKey, KEY_QUERY_VALUE, root, path); rc != ERROR_SUCCESS) return rc;
    Hive hive = readHive(root);
    RegKey* key = hive.findKey(path);
    if (!key) return hive.keyExists(path) ? ERROR_FILE_NOT_FOUND : kErrorKeyDeleted;
    RegValue* value = platform::detail::findValue(*key, lpValueName ? lpValueName : "");
    if (!value) return ERROR_FILE_NOT_FOUND;
    if (lpType) *lpType = value->type;
    auto size = static_cast<DWORD>(value->data.size());
    if (!lpcbData) return ERROR_SUCCESS;
    if (lpData) {
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        if (size) std::memcpy(lpData, value->data.data(), size);
    }
    *lpcbData = size;
    return ERROR_SUCCESS;
}

LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    if (cbData && !lpData) return ERROR_INVALID_PARAMETER;
    HKEY root;
    std::string path;
    if (LONG rc = handleTarget(hKey, KEY_SET_VALUE, root, path); rc != ERROR_SUCCESS) return rc;
    std::string name = lpValueName ? lpValueName : "";
    return changeHive(root, [&](Hive& hive, bool& changed) {
        RegKey* key = hive.findKey(path);
        if (!key) {
            if (!path.empty() && !hive.keyExists(path)) return kErrorKeyDeleted;
            key = &hive.createKey(path);
        }
        RegValue value{name, dwType, std::vector<std::uint8_t>(lpData, lpData + cbData)};
        if (RegValue* existing = platform::detail::findValue(*key, name)) {
            existing->type = dwType;
            existing->data = std::move(value.data);
        } else {
            key->values.push_back(std::move(value));
        }
        changed = true;
        return ERROR_SUCCESS;
    });
}

LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    HKEY root;
    std::string path;
    if (LONG rc = handleTarget(hKey, KEY_SET_VALUE, root, path); rc != ERROR_SUCCESS) return rc;
    std::string name = lpValueName ? lpValueName : "";
    return changeHive(root, [&](Hive& hive, bool& changed) {
        RegKey* key = hive.findKey(path);
        if (!key) return ERROR_FILE_NOT_FOUND;
        for (auto it = key->values.begin(); it != key->values.end(); ++it) {
            if (platform::detail::equalsNoCase(it->name, name)) {
                key->values.erase(it);
                changed = true;
                return ERROR_SUCCESS;
            }
        }
        return ERROR_FILE_NOT_FOUND;
    });
}

LONG RegCloseKey(HKEY hKey) {
    if (isPredefined(hKey)) return ERROR_SUCCESS;
    {
        std::lock_guard lock(g_mutex);
        if (!g_handles.erase(hKey)) return ERROR_INVALID_HANDLE;
    }
    delete hKey;
    return ERROR_SUCCESS;
}

LONG RegFlushKey(HKEY hKey) {
    // Every change is already on disk when its call returns.
    if (isPredefined(hKey) || isValidHandle(hKey)) return ERROR_SUCCESS;
    return ERROR_INVALID_HANDLE;
}
