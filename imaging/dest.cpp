// SPDX-License-Identifier: MIT
// Destinations: a temporary file in the destination folder, renamed over the final name
// once the picture is complete, or a growing block of memory.
#include "imaging/detail/failpoint.h"
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using imaging::detail::fail;
using imaging::detail::failBool;
using imaging::detail::succeed;

struct Is5Dest {
    virtual ~Is5Dest() = default;
    virtual bool write(const void* data, std::size_t size) = 0;
    virtual bool seek(std::uint64_t position) = 0;
    virtual std::uint64_t tell() const = 0;
    /// Finishes the destination; true when the picture reached its place.
    virtual bool close(bool keep) = 0;
    bool complete = false;
    bool failed = false;
};

namespace {

class FileDest final : public Is5Dest {
public:
    FileDest(std::string finalPath, std::string tempPath, int fd)
        : m_finalPath(std::move(finalPath)), m_tempPath(std::move(tempPath)), m_fd(fd) {}
    ~FileDest() override {
        if (m_fd >= 0) {
            ::close(m_fd);
            ::unlink(m_tempPath.c_str());
        }
    }
    bool write(const void* data, std::size_t size) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        while (size > 0) {
            ssize_t n = ::pwrite(m_fd, p, size, static_cast<off_t>(m_position));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            size -= static_cast<std::size_t>(n);
            m_position += static_cast<std::uint64_t>(n);
        }
        return true;
    }
    bool seek(std::uint64_t position) override {
        m_position = position;
        return true;
    }
    std::uint64_t tell() const override { return m_position; }
    bool close(bool keep) override {
        bool ok = keep && ::fsync(m_fd) == 0;
        ok = (::close(m_fd) == 0) && ok;
        m_fd = -1;
        if (ok) ok = ::rename(m_tempPath.c_str(), m_finalPath.c_str()) == 0;
        if (!ok) ::unlink(m_tempPath.c_str());
        return ok;
    }

private:
    std::string m_finalPath, m_tempPath;
    int m_fd;
    std::uint64_t m_position = 0;
};

class MemoryDest final : public Is5Dest {
public:
    bool write(const void* data, std::size_t size) override {
        const auto* p = static_cast<const std::uint8_t*>(data);
        if (m_position + size > bytes.size()) bytes.resize(static_cast<std::size_t>(m_position + size));
        std::memcpy(bytes.data() + m_position, p, size);
        m_position += size;
        return true;
    }
    bool seek(std::uint64_t position) override {
        if (position > bytes.size()) bytes.resize(static_cast<std::size_t>(position));
        m_position = position;
        return true;
    }
    std::uint64_t tell() const override { return m_position; }
    bool close(bool keep) override { return keep; }
    std::vector<std::uint8_t> bytes;

private:
    std::uint64_t m_position = 0;
};

} // namespace

IS5_DEST is5_OpenFileDest(const char* path, std::uint32_t) {
    constexpr const char* kName = "is5_OpenFileDest";
    if (!path || !*path) return fail<IS5_DEST>(IS5_ERR_PARAM, kName, nullptr);
    try {
        std::string finalPath = path;
        auto slash = finalPath.rfind('/');
        std::string folder = slash == std::string::npos ? "." : finalPath.substr(0, slash + 1);
        std::string base = slash == std::string::npos ? finalPath : finalPath.substr(slash + 1);
        if (base.empty()) return fail<IS5_DEST>(IS5_ERR_PARAM, kName, nullptr);
        // A hidden temporary beside the final name, on the same file system, so that the
        // rename that publishes it is atomic.
        std::string temp = folder + "." + base + ".XXXXXX";
        int fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0) return fail<IS5_DEST>(IS5_ERR_OPEN, kName, nullptr);
        ::fchmod(fd, 0644); // as an ordinary new file would be, not the temporary's 0600
        try {
            imaging::detail::allocationPoint("file destination");
            return succeed<IS5_DEST>(kName, new FileDest(std::move(finalPath), temp, fd));
        } catch (const std::bad_alloc&) {
            // The temporary exists from here on; a failed open takes it away again.
            ::close(fd);
            ::unlink(temp.c_str());
            throw;
        }
    } catch (const std::bad_alloc&) {
        return fail<IS5_DEST>(IS5_ERR_MEMORY, kName, nullptr);
    }
}

IS5_DEST is5_OpenMemoryDest() {
    auto* dest = new (std::nothrow) MemoryDest();
    if (!dest) return fail<IS5_DEST>(IS5_ERR_MEMORY, "is5_OpenMemoryDest", nullptr);
    return succeed<IS5_DEST>("is5_OpenMemoryDest", dest);
}

const std::uint8_t* is5_GetDestBuffer(IS5_DEST dest, std::size_t* size) {
    auto* mem = dynamic_cast<MemoryDest*>(dest);
    if (size) *size = mem ? mem->bytes.size() : 0;
    return mem ? mem->bytes.data() : nullptr;
}

BOOL is5_WriteDest(IS5_DEST dest, const void* data, std::size_t size) {
    if (!dest || (!data && size)) return failBool(IS5_ERR_PARAM, "is5_WriteDest");
    if (dest->failed) return failBool(IS5_ERR_WRITE, "is5_WriteDest");
    try {
        if (!dest->write(data, size)) {
            dest->failed = true;
            return failBool(IS5_ERR_WRITE, "is5_WriteDest");
        }
    } catch (const std::bad_alloc&) {
        dest->failed = true;
        return failBool(IS5_ERR_MEMORY, "is5_WriteDest");
    }
    return TRUE;
}

BOOL is5_SeekDest(IS5_DEST dest, std::uint64_t position) {
    if (!dest) return failBool(IS5_ERR_PARAM, "is5_SeekDest");
    try {
        if (!dest->seek(position)) return failBool(IS5_ERR_WRITE, "is5_SeekDest");
    } catch (const std::bad_alloc&) {
        dest->failed = true;
        return failBool(IS5_ERR_MEMORY, "is5_SeekDest");
    }
    return TRUE;
}

std::uint64_t is5_TellDest(IS5_DEST dest) { return dest ? dest->tell() : 0; }
void is5_MarkDestComplete(IS5_DEST dest) {
    if (dest) dest->complete = true;
}
void is5_MarkDestFailed(IS5_DEST dest) {
    if (dest) dest->failed = true;
}

BOOL is5_CloseDest(IS5_DEST dest) {
    if (!dest) return failBool(IS5_ERR_PARAM, "is5_CloseDest");
    const bool keep = dest->complete && !dest->failed;
    const bool placed = dest->close(keep);
    delete dest;
    if (!keep) return FALSE; // the writer's own error stays the last error
    if (!placed) return failBool(IS5_ERR_WRITE, "is5_CloseDest");
    return TRUE;
}
