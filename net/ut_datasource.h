// SPDX-License-Identifier: MIT
// Where received data goes: the abstract CUT_DataSource and CUT_FileDataSource, which writes
// a local file through the thin file wrapper CUT_File.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace net {
/// Open modes of a data source.
inline constexpr int kModeRead = 0;
inline constexpr int kModeWrite = 1;  ///< create or empty
inline constexpr int kModeAppend = 2; ///< create or add to the end
} // namespace net

class CUT_DataSource {
public:
    virtual ~CUT_DataSource() = default;
    /// 0 when opened, -1 otherwise.
    virtual int Open(int mode) = 0;
    /// Bytes taken; fewer than `length` means the write failed.
    virtual long Write(const char* data, std::size_t length) = 0;
    /// Bytes read, 0 at the end, -1 on failure.
    virtual long Read(char* buffer, std::size_t size) = 0;
    /// 0 when everything written reached its place, -1 otherwise.
    virtual int Close() = 0;
};

/// A local file descriptor opened close-on-exec; every call resumes after a signal.
class CUT_File {
public:
    CUT_File() = default;
    ~CUT_File() { Close(); }
    CUT_File(const CUT_File&) = delete;
    CUT_File& operator=(const CUT_File&) = delete;

    /// flags as open(2) takes them. 0 or -1.
    int Open(const std::string& path, int flags, unsigned permissions = 0644);
    /// Writes all of it: the bytes written, fewer on failure.
    long Write(const char* data, std::size_t length);
    long Read(char* buffer, std::size_t size);
    /// The new offset, or -1.
    long long Seek(long long offset, int whence);
    int Close();
    bool IsOpen() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

class CUT_FileDataSource : public CUT_DataSource {
public:
    /// Writes go through a buffer of `bufferSize` bytes.
    explicit CUT_FileDataSource(std::string path, std::size_t bufferSize = 4096);
    ~CUT_FileDataSource() override { Close(); }

    int Open(int mode) override;
    long Write(const char* data, std::size_t length) override;
    long Read(char* buffer, std::size_t size) override;
    int Close() override;

private:
    bool flush();

    std::string m_strPath;
    CUT_File m_file;
    std::vector<char> m_buffer;
    std::size_t m_bufferSize;
    bool m_bFailed = false;
};
