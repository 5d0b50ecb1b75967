// SPDX-License-Identifier: MIT
// The file wrapper and the file data source.
#include "net/ut_datasource.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int CUT_File::Open(const std::string& path, int flags, unsigned permissions) {
    Close();
    do {
        m_fd = ::open(path.c_str(), flags | O_CLOEXEC, permissions);
    } while (m_fd < 0 && errno == EINTR);
    return m_fd >= 0 ? 0 : -1;
}

long CUT_File::Write(const char* data, std::size_t length) {
    if (m_fd < 0) return 0;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(m_fd, data + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long>(done);
}

long CUT_File::Read(char* buffer, std::size_t size) {
    if (m_fd < 0) return -1;
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return static_cast<long>(n);
    }
}

long long CUT_File::Seek(long long offset, int whence) {
    return m_fd < 0 ? -1 : static_cast<long long>(::lseek(m_fd, offset, whence));
}

int CUT_File::Close() {
    if (m_fd < 0) return 0;
    // close(2) is not retried after EINTR: the descriptor is gone either way on Linux.
    const int rc = ::close(m_fd);
    m_fd = -1;
    return rc == 0 ? 0 : -1;
}

CUT_FileDataSource::CUT_FileDataSource(std::string path, std::size_t bufferSize)
    : m_strPath(std::move(path)), m_bufferSize(bufferSize ? bufferSize : 1) {}

int CUT_FileDataSource::Open(int mode) {
    Close();
    int flags = 0;
    switch (mode) {
    case net::kModeRead: flags = O_RDONLY; break;
    case net::kModeWrite: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    case net::kModeAppend: flags = O_WRONLY | O_CREAT | O_APPEND; break;
    default: return -1;
    }
    m_bFailed = false;
    m_buffer.clear();
    m_buffer.reserve(m_bufferSize);
    return m_file.Open(m_strPath, flags);
}

bool CUT_FileDataSource::flush() {
    if (m_buffer.empty()) return !m_bFailed;
    if (m_file.Write(m_buffer.data(), m_buffer.size()) != static_cast<long>(m_buffer.size())) m_bFailed = true;
    m_buffer.clear();
    return !m_bFailed;
}

long CUT_FileDataSource::Write(const char* data, std::size_t length) {
    if (!m_file.IsOpen() || m_bFailed) return 0;
    if (m_buffer.size() + length > m_bufferSize && !flush()) return 0;
    if (length >= m_bufferSize) return m_file.Write(data, length) == static_cast<long>(length)
                                           ? static_cast<long>(length) : (m_bFailed = true, 0);
    m_buffer.insert(m_buffer.end(), data, data + length);
    return static_cast<long>(length);
}

long CUT_FileDataSource::Read(char* buffer, std::size_t size) { return m_file.Read(buffer, size); }

int CUT_FileDataSource::Close() {
    if (!m_file.IsOpen()) return 0;
    const bool flushed = flush();
    const bool closed = m_file.Close() == 0;
    return flushed && closed ? 0 : -1;
}
