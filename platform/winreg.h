// SPDX-License-Identifier: MIT
// The registry, kept as one REGEDIT4 text file per root ("hive") in the registry folder.
// The calls answer as the Win32 registry calls of the same names do.
#pragma once

#include "platform/wintypes.h"

#include <functional>
#include <string>

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

// Predefined roots, with the values Windows gives them.
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

// Access rights.
inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_NOTIFY = 0x0010;
inline constexpr REGSAM KEY_CREATE_LINK = 0x0020;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

// Value types.
inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;
inline constexpr DWORD REG_QWORD = 11;

// Creation options and dispositions.
inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

LONG RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved, LPSTR lpClass, DWORD dwOptions,
                     REGSAM samDesired, void* lpSecurityAttributes, PHKEY phkResult,
                     LPDWORD lpdwDisposition);
LONG RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
LONG RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                      LPBYTE lpData, LPDWORD lpcbData);
LONG RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved, DWORD dwType, const BYTE* lpData,
                    DWORD cbData);
LONG RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);
LONG RegCloseKey(HKEY hKey);
LONG RegFlushKey(HKEY hKey);

namespace platform {

/// The folder that holds the hive files: $BRIMVALE_REGISTRY_DIR, else
/// $XDG_CONFIG_HOME/brimvale, else ~/.config/brimvale. Resolved anew on every call.
std::string RegistryDirectory();

/// Full path of the hive file of a predefined root ("<folder>/HKEY_LOCAL_MACHINE.reg"),
/// or an empty string for a handle that is not a predefined root.
std::string HiveFilePath(HKEY root);

/// True when the hive of this root can be changed: its file (or, when there is none yet,
/// the nearest existing folder on its path) is writable, no "<hive file>.readonly" flag
/// file stands beside it, and the installed writability check, if any, agrees.
bool IsHiveWritable(HKEY root);

/// Installs an extra test of whether a hive file may be written (given the hive file's
/// path); an empty function removes it. Tests run as root use it, or the flag file, to
/// reach the read-only branches that file permissions cannot make for root.
void SetHiveWritableCheck(std::function<bool(const std::string& hivePath)> check);

} // namespace platform
