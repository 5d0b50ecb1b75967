// SPDX-License-Identifier: MIT
// The version record: a version resource in the Windows layout, built from the project's
// version at build time, kept in a named ELF section of each executable and read back with
// the Win32 version calls.
#pragma once

#include "platform/wintypes.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Result codes the version calls give that wintypes.h does not carry.
inline constexpr LONG ERROR_READ_FAULT = 30;
inline constexpr LONG ERROR_BAD_EXE_FORMAT = 193;

// Values of the fixed file information, as Windows defines them.
inline constexpr DWORD VS_FFI_SIGNATURE = 0xFEEF04BD;
inline constexpr DWORD VS_FFI_STRUCVERSION = 0x00010000;
inline constexpr DWORD VS_FFI_FILEFLAGSMASK = 0x0000003F;
inline constexpr DWORD VOS_NT_WINDOWS32 = 0x00040004;
inline constexpr DWORD VFT_APP = 0x00000001;

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};
static_assert(sizeof(VS_FIXEDFILEINFO) == 52);

/// Size of the buffer GetFileVersionInfoA needs for the version record of the ELF file at
/// `lptstrFilename`, or 0 (see platform::LastVersionError) when the file cannot be read, is
/// not a little-endian ELF file, has no version section, or its record is malformed.
/// The size includes room for the UTF-8 copies VerQueryValueA makes of string values.
DWORD GetFileVersionInfoSizeA(LPCSTR lptstrFilename, LPDWORD lpdwHandle);

/// Copies the file's version record into `lpData`, followed by the working area that
/// VerQueryValueA uses. Fails when `dwLen` cannot hold the record and the area's header;
/// a buffer smaller than the size call's answer still serves the binary values.
BOOL GetFileVersionInfoA(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);

/// Looks up "\" (the fixed file information), "\VarFileInfo\Translation" or
/// "\StringFileInfo\<language><code page>\<name>" in a buffer filled by GetFileVersionInfoA.
/// Keys compare case-insensitively. Strings come back as NUL-terminated UTF-8 with their
/// length in bytes including the NUL; binary values with their length in bytes.
BOOL VerQueryValueA(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, UINT* puLen);

namespace platform {

/// Name of the ELF section holding the record; the build-time generator places it there.
inline constexpr char kVersionSectionName[] = "brimvale_version";

/// What goes into a version record.
struct VersionFields {
    std::array<WORD, 4> fileVersion{};    ///< major, minor, build, revision
    std::array<WORD, 4> productVersion{}; ///< major, minor, build, revision
    DWORD fileFlags = 0;
    DWORD fileOS = VOS_NT_WINDOWS32;
    DWORD fileType = VFT_APP;
    WORD language = 0x0409;
    WORD codePage = 0x04E4;
    /// String values (UTF-8 name and text) of the one string table, in this order.
    std::vector<std::pair<std::string, std::string>> strings;
};

/// Lays out a VS_VERSIONINFO record. Throws std::length_error when a block would outgrow
/// its 16-bit length field.
std::vector<std::uint8_t> BuildVersionRecord(const VersionFields& fields);

/// The error code of the calling thread's last failed version call.
DWORD LastVersionError();

} // namespace platform
