// SPDX-License-Identifier: MIT
// The layer's per-thread last error, its pixel limit and its sources.
#include "imaging/detail/failpoint.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct LastError {
    std::uint32_t code = 0;
    const char* function = "";
};
thread_local LastError t_lastError;

std::atomic<std::uint64_t> g_maxPixels{IS5_DEFAULT_MAX_PIXELS};

class FileSource final : public Is5Source {
public:
    explicit FileSource(std::FILE* f) : m_file(f) {
        if (std::fseek(m_file, 0, SEEK_END) == 0) {
            long end = std::ftell(m_file);
            m_size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
        }
        std::fseek(m_file, 0, SEEK_SET);
    }
    ~FileSource() override { std::fclose(m_file); }
    std::size_t read(void* buffer, std::size_t n) override {
        if (n == 0) return 0;
        std::size_t got = std::fread(buffer, 1, n, m_file);
        m_position += got;
        return got;
    }
    bool seek(std::uint64_t position) override {
        if (position > m_size || position > static_cast<std::uint64_t>(std::numeric_limits<long>::max())) return false;
        if (std::fseek(m_file, static_cast<long>(position), SEEK_SET) != 0) return false;
        m_position = position;
        return true;
    }
    std::uint64_t tell() const override { return m_position; }
    std::uint64_t size() const override { return m_size; }
    std::FILE* file() const override { return m_file; }

private:
    std::FILE* m_file;
    std::uint64_t m_size = 0;
    std::uint64_t m_position = 0;
};

class MemorySource final : public Is5Source {
public:
    MemorySource(const void* data, std::size_t size) : m_data(static_cast<const std::uint8_t*>(data)), m_size(size) {}
    std::size_t read(void* buffer, std::size_t n) override {
        std::size_t take = std::min<std::size_t>(n, m_size - m_position);
        if (take) std::memcpy(buffer, m_data + m_position, take);
        m_position += take;
        return take;
    }
    bool seek(std::uint64_t position) override {
        if (position > m_size) return false;
        m_position = static_cast<std::size_t>(position);
        return true;
    }
    std::uint64_t tell() const override { return m_position; }
    std::uint64_t size() const override { return m_size; }
    const std::uint8_t* memory() const override { return m_data; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

} // namespace

namespace imaging::detail {

std::atomic<void (*)(const char*)> allocationHook{nullptr};

std::string lowerExtension(const std::string& name) {
    auto dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot);
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

std::uint32_t checkPictureSize(std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0) return IS5_ERR_FORMAT;
    if (width > (std::uint64_t{1} << 31) || height > (std::uint64_t{1} << 31)) return IS5_ERR_TOO_LARGE;
    if (width * height > is5_GetMaxPixels()) return IS5_ERR_TOO_LARGE;
    return IS5_OK;
}

std::uint64_t rowBytes(std::uint64_t width, std::uint32_t depth) {
    switch (depth) {
    case 24: return width * 3;
    case 8: return width;
    case 1: return (width + 7) / 8;
    default: return 0;
    }
}

std::FILE* openRegularFile(const char* path, std::uint32_t* code) {
    // Without O_NONBLOCK, opening a named pipe waits for a writer that may never come.
    const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // A socket cannot even be opened; it is still no file.
        struct stat st;
        *code = ::stat(path, &st) == 0 && !S_ISREG(st.st_mode) ? IS5_ERR_NOT_FILE : IS5_ERR_OPEN;
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // Folders, devices, pipes and sockets open (or not) but hold no picture.
        ::close(fd);
        *code = IS5_ERR_NOT_FILE;
        return nullptr;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        *code = IS5_ERR_OPEN;
    }
    return f;
}

} // namespace imaging::detail

const char* is5_ErrorText(std::uint32_t code) {
    switch (code) {
    case IS5_OK: return "";
    case IS5_ERR_MEMORY: return "out of memory";
    case IS5_ERR_OPEN: return "cannot be opened";
    case IS5_ERR_READ: return "cannot be read, or ends early";
    case IS5_ERR_WRITE: return "cannot be written";
    case IS5_ERR_PARAM: return "not a picture, or an empty size";
    case IS5_ERR_FORMAT: return "damaged, or not of its type";
    case IS5_ERR_UNSUPPORTED: return "a kind of its type that is not read";
    case IS5_ERR_NOT_FILE: return "not a regular file";
    case IS5_ERR_CANCELLED: return "cancelled";
    case IS5_ERR_TIMEOUT: return "timed out";
    case IS5_ERR_NO_POOL: return "no worker threads";
    case IS5_ERR_TOO_LARGE: {
        // Names the limit in force; whole megapixels, rounded down, so the text stays true.
        thread_local char text[64];
        const std::uint64_t limit = is5_GetMaxPixels();
        if (limit >= 1000000)
            std::snprintf(text, sizeof text, "picture larger than %llu megapixels",
                          static_cast<unsigned long long>(limit / 1000000));
        else
            std::snprintf(text, sizeof text, "picture larger than %llu pixels", static_cast<unsigned long long>(limit));
        return text;
    }
    case IS5_ERR_JOB_FAILED: return "a resampling thread failed";
    default: return "failed";
    }
}

std::uint32_t is5_GetLastError() { return t_lastError.code; }
const char* is5_GetLastErrorFunction() { return t_lastError.function; }
void is5_SetLastError(std::uint32_t code, const char* function) {
    t_lastError.code = code;
    t_lastError.function = function ? function : "";
}

void is5_SetMaxPixels(std::uint64_t maxPixels) {
    g_maxPixels.store(maxPixels ? maxPixels : IS5_DEFAULT_MAX_PIXELS);
}
std::uint64_t is5_GetMaxPixels() { return g_maxPixels.load(); }

IS5_SOURCE is5_OpenFileSource(const char* path) {
    using imaging::detail::fail;
    if (!path || !*path) return fail<IS5_SOURCE>(IS5_ERR_PARAM, "is5_OpenFileSource", nullptr);
    std::uint32_t code = IS5_OK;
    std::FILE* f = imaging::detail::openRegularFile(path, &code);
    if (!f) return fail<IS5_SOURCE>(code, "is5_OpenFileSource", nullptr);
    auto* source = new (std::nothrow) FileSource(f);
    if (!source) {
        std::fclose(f);
        return fail<IS5_SOURCE>(IS5_ERR_MEMORY, "is5_OpenFileSource", nullptr);
    }
    try {
        source->name = path;
    } catch (const std::bad_alloc&) {
        delete source;
        return fail<IS5_SOURCE>(IS5_ERR_MEMORY, "is5_OpenFileSource", nullptr);
    }
    return imaging::detail::succeed<IS5_SOURCE>("is5_OpenFileSource", source);
}

IS5_SOURCE is5_OpenMemorySource(const void* data, std::size_t size, const char* name) {
    using imaging::detail::fail;
    if (!data && size) return fail<IS5_SOURCE>(IS5_ERR_PARAM, "is5_OpenMemorySource", nullptr);
    static const std::uint8_t kEmpty = 0;
    try {
        auto source = std::make_unique<MemorySource>(data ? data : &kEmpty, size);
        if (name) source->name = name;
        return imaging::detail::succeed<IS5_SOURCE>("is5_OpenMemorySource", source.release());
    } catch (const std::bad_alloc&) {
        return fail<IS5_SOURCE>(IS5_ERR_MEMORY, "is5_OpenMemorySource", nullptr);
    }
}

BOOL is5_CloseSource(IS5_SOURCE source) {
    if (!source) return imaging::detail::failBool(IS5_ERR_PARAM, "is5_CloseSource");
    delete source;
    return imaging::detail::succeed<BOOL>("is5_CloseSource", TRUE);
}

BOOL is5_Seek(IS5_SOURCE source, std::int64_t offset, int origin) {
    if (!source) return imaging::detail::failBool(IS5_ERR_PARAM, "is5_Seek");
    std::int64_t base;
    switch (origin) {
    case IS5_SEEK_SET: base = 0; break;
    case IS5_SEEK_CUR: base = static_cast<std::int64_t>(source->tell()); break;
    case IS5_SEEK_END: base = static_cast<std::int64_t>(source->size()); break;
    default: return imaging::detail::failBool(IS5_ERR_PARAM, "is5_Seek");
    }
    if ((offset < 0 && -offset > base) || (offset > 0 && offset > std::numeric_limits<std::int64_t>::max() - base))
        return imaging::detail::failBool(IS5_ERR_READ, "is5_Seek");
    if (!source->seek(static_cast<std::uint64_t>(base + offset))) return imaging::detail::failBool(IS5_ERR_READ, "is5_Seek");
    return imaging::detail::succeed<BOOL>("is5_Seek", TRUE);
}

std::uint64_t is5_Tell(IS5_SOURCE source) { return source ? source->tell() : 0; }

std::uint32_t is5_Read(IS5_SOURCE source, void* buffer, std::uint32_t bytes) {
    if (!source || (!buffer && bytes)) return imaging::detail::fail<std::uint32_t>(IS5_ERR_PARAM, "is5_Read", 0);
    auto got = static_cast<std::uint32_t>(source->read(buffer, bytes));
    is5_SetLastError(got == bytes ? IS5_OK : IS5_ERR_READ, "is5_Read");
    return got;
}

std::uint64_t is5_GetSourceSize(IS5_SOURCE source) { return source ? source->size() : 0; }
const char* is5_GetSourceFileName(IS5_SOURCE source) { return source ? source->name.c_str() : ""; }

#include "imaging/israw.h"

Is5ExtHook* is5_GetExtHook(std::uint32_t which) {
    if (which != 0) return imaging::detail::fail<Is5ExtHook*>(IS5_ERR_PARAM, "is5_GetExtHook", nullptr);
    auto* hook = new (std::nothrow) Is5ExtHook{48, 1, &is5_SetLastError, &is5_GetLastError, &GlobalAlloc,
                                              &GlobalFree, &is5_GetMaxPixels};
    if (!hook) return imaging::detail::fail<Is5ExtHook*>(IS5_ERR_MEMORY, "is5_GetExtHook", nullptr);
    return imaging::detail::succeed("is5_GetExtHook", hook);
}

void is5_ReleaseExtHook(Is5ExtHook* hook) { delete hook; }
