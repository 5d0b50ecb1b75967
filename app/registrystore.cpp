// SPDX-License-Identifier: MIT
// CRegistryStore: one registry key, one value per call.
#include "app/registrystore.h"

#include <cstring>

CRegistryStore::CRegistryStore() = default;

CRegistryStore::~CRegistryStore() {
    m_strKey.clear();
    m_hRoot = HKEY_CURRENT_USER;
    m_bLazy = true;
}

bool CRegistryStore::SetKey(const std::string& path, bool create) {
    if (path.empty()) {
        m_strKey.clear();
        return true;
    }
    HKEY key = nullptr;
    LONG rc;
    if (create) {
        DWORD disposition = 0;
        rc = RegCreateKeyExA(m_hRoot, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             nullptr, &key, &disposition);
    } else {
        rc = RegOpenKeyExA(m_hRoot, path.c_str(), 0, KEY_ALL_ACCESS, &key);
    }
    m_nLastError = rc;
    if (rc != ERROR_SUCCESS) return false;
    m_strKey = path;
    RegCloseKey(key);
    return true;
}

bool CRegistryStore::Open(REGSAM access, HKEY& key) {
    key = nullptr;
    m_nLastError = RegOpenKeyExA(m_hRoot, m_strKey.c_str(), 0, access, &key);
    return m_nLastError == ERROR_SUCCESS;
}

void CRegistryStore::Flush(HKEY key) {
    if (!m_bLazy) RegFlushKey(key);
}

DWORD CRegistryStore::GetValueType(const std::string& name) {
    HKEY key;
    if (!Open(KEY_QUERY_VALUE, key)) return 0;
    DWORD type = 0;
    m_nLastError = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, nullptr);
    RegCloseKey(key);
    return m_nLastError == ERROR_SUCCESS ? type : 0;
}

std::int32_t CRegistryStore::ReadInt(const std::string& name, std::int32_t def) {
    HKEY key;
    if (!Open(KEY_READ, key)) return def;
    BYTE buffer[4] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    m_nLastError = RegQueryValueExA(key, name.c_str(), nullptr, &type, buffer, &size);
    RegCloseKey(key);
    // A value of another size is not this integer: its default stands.
    if (m_nLastError != ERROR_SUCCESS || size != sizeof buffer) return def;
    std::uint32_t u = buffer[0] | (std::uint32_t{buffer[1]} << 8) | (std::uint32_t{buffer[2]} << 16) |
                      (std::uint32_t{buffer[3]} << 24);
    return static_cast<std::int32_t>(u);
}

double CRegistryStore::ReadDouble(const std::string& name, double def) {
    HKEY key;
    if (!Open(KEY_READ, key)) return def;
    BYTE buffer[8] = {};
    DWORD size = sizeof buffer;
    DWORD type = 0;
    m_nLastError = RegQueryValueExA(key, name.c_str(), nullptr, &type, buffer, &size);
    RegCloseKey(key);
    if (m_nLastError != ERROR_SUCCESS || size != sizeof buffer) return def;
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = (bits << 8) | buffer[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string CRegistryStore::ReadString(const std::string& name, const std::string& def) {
    DWORD type = GetValueType(name);
    if (type != REG_SZ && type != REG_EXPAND_SZ) return def;
    HKEY key;
    if (!Open(KEY_READ, key)) return def;
    char buffer[kStringBufferSize] = {};
    DWORD size = sizeof buffer;
    m_nLastError = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (m_nLastError != ERROR_SUCCESS) return def;
    // The stored length counts the terminating zero; stop at the first zero either way.
    std::size_t length = strnlen(buffer, size);
    return std::string(buffer, length);
}

bool CRegistryStore::WriteBinary(const std::string& name, const void* data, DWORD size) {
    HKEY key;
    if (!Open(KEY_WRITE, key)) return false;
    m_nLastError = RegSetValueExA(key, name.c_str(), 0, REG_BINARY, static_cast<const BYTE*>(data), size);
    Flush(key);
    RegCloseKey(key);
    return m_nLastError == ERROR_SUCCESS;
}

bool CRegistryStore::WriteInt(const std::string& name, std::int32_t value) {
    auto u = static_cast<std::uint32_t>(value);
    BYTE bytes[4] = {static_cast<BYTE>(u), static_cast<BYTE>(u >> 8), static_cast<BYTE>(u >> 16),
                     static_cast<BYTE>(u >> 24)};
    return WriteBinary(name, bytes, sizeof bytes);
}

bool CRegistryStore::WriteDouble(const std::string& name, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    BYTE bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<BYTE>(bits >> (8 * i));
    return WriteBinary(name, bytes, sizeof bytes);
}

bool CRegistryStore::WriteString(const std::string& name, const std::string& value) {
    // Whatever is written must fit the reader's buffer with its terminating zero.
    if (value.size() > kMaxStringLength) return false;
    HKEY key;
    if (!Open(KEY_WRITE, key)) return false;
    m_nLastError = RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1));
    Flush(key);
    RegCloseKey(key);
    return m_nLastError == ERROR_SUCCESS;
}
