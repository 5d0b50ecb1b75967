// SPDX-License-Identifier: MIT
// CRegistryStore: reads and writes single values of one registry key. Every call opens
// the key, does one thing and closes it again; no handle stays open between calls.
#pragma once

#include "platform/winreg.h"

#include <string>

class CRegistryStore {
public:
    CRegistryStore();
    ~CRegistryStore();
    CRegistryStore(const CRegistryStore&) = delete;
    CRegistryStore& operator=(const CRegistryStore&) = delete;

    /// The root the key path is taken under (HKEY_CURRENT_USER until set).
    void SetRoot(HKEY root) { m_hRoot = root; }
    HKEY GetRoot() const { return m_hRoot; }

    /// Sets the key path. An empty path empties the stored path and succeeds. Otherwise the
    /// key is created (create) or opened with full access; only on success is the path kept.
    bool SetKey(const std::string& path, bool create);
    const std::string& GetKey() const { return m_strKey; }

    /// The value's registry type, or 0 when the key or the value is missing.
    DWORD GetValueType(const std::string& name);

    std::int32_t ReadInt(const std::string& name, std::int32_t def);
    double ReadDouble(const std::string& name, double def);
    /// Reads REG_SZ or REG_EXPAND_SZ values of up to 254 bytes (a 255-byte buffer).
    std::string ReadString(const std::string& name, const std::string& def);

    /// Stores 4 bytes, little-endian, as REG_BINARY.
    bool WriteInt(const std::string& name, std::int32_t value);
    /// Stores 8 bytes (an IEEE 754 double) as REG_BINARY.
    bool WriteDouble(const std::string& name, double value);
    /// Stores REG_SZ with its terminating zero; refuses values of more than 254 bytes.
    bool WriteString(const std::string& name, const std::string& value);

    /// Result of the last open or query this accessor made.
    LONG GetLastError() const { return m_nLastError; }

    static constexpr std::size_t kStringBufferSize = 255;
    static constexpr std::size_t kMaxStringLength = 254;

private:
    bool Open(REGSAM access, HKEY& key);
    bool WriteBinary(const std::string& name, const void* data, DWORD size);
    void Flush(HKEY key);

    LONG m_nLastError = ERROR_SUCCESS;
    HKEY m_hRoot = HKEY_CURRENT_USER;
    bool m_bLazy = true;
    std::string m_strKey;
};
