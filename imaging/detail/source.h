// SPDX-License-Identifier: MIT
// The byte sources behind IS5_SOURCE: a file or a block of memory, with a name for the
// extension rules.
#pragma once

#include "imaging/is5.h"

#include <cstdint>
#include <cstdio>
#include <string>

struct Is5Source {
    virtual ~Is5Source() = default;
    /// Reads up to n bytes at the current position; returns the count read.
    virtual std::size_t read(void* buffer, std::size_t n) = 0;
    /// Absolute position; false when outside 0..size().
    virtual bool seek(std::uint64_t position) = 0;
    virtual std::uint64_t tell() const = 0;
    virtual std::uint64_t size() const = 0;
    /// The whole data when it is already in memory (memory sources), else nullptr.
    virtual const std::uint8_t* memory() const { return nullptr; }
    /// The open file behind a file source, else nullptr (libraries that want a FILE*).
    virtual std::FILE* file() const { return nullptr; }

    std::string name;
};

namespace imaging::detail {

/// The extension of a name: the text from its last '.', lower-cased ("" when none).
std::string lowerExtension(const std::string& name);

/// Opens a regular file for reading without ever blocking (a named pipe would wait for a
/// writer); nullptr with `code` IS5_ERR_OPEN, or IS5_ERR_NOT_FILE for anything but a
/// regular file.
std::FILE* openRegularFile(const char* path, std::uint32_t* code);

} // namespace imaging::detail
