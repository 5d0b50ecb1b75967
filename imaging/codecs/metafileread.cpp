// SPDX-License-Identifier: MIT
// The metafile readers of the is5_ layer: read the file, let the platform layer render it
// straight into a global block of 24-bit pixels, and map its outcome to result codes.
#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"
#include "platform/globalmemory.h"
#include "platform/gui/metafile.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <new>
#include <vector>

namespace {

// Larger metafiles than this are not read into memory.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 30;

std::uint32_t codeFor(platform::MetafileStatus status) {
    switch (status) {
    case platform::MetafileStatus::Ok: return IS5_OK;
    case platform::MetafileStatus::Truncated: return IS5_ERR_READ;
    case platform::MetafileStatus::TooLarge: return IS5_ERR_TOO_LARGE;
    case platform::MetafileStatus::NoMemory: return IS5_ERR_MEMORY;
    case platform::MetafileStatus::BadParam: return IS5_ERR_PARAM;
    case platform::MetafileStatus::BadFormat:
    case platform::MetafileStatus::TooComplex: return IS5_ERR_FORMAT;
    }
    return IS5_ERR_FORMAT;
}

HGLOBAL render(const std::uint8_t* data, std::size_t size, std::uint32_t* width, std::uint32_t* height,
               std::uint32_t xScale, std::uint32_t yScale, const char* function) {
    using imaging::detail::failBlock;
    platform::MetafileRequest request;
    request.xScalePercent = xScale;
    request.yScalePercent = yScale;
    request.maxPixels = is5_GetMaxPixels();
    platform::UniqueGlobal block;
    std::uint32_t w = 0, h = 0;
    auto allocate = [&](std::uint32_t aw, std::uint32_t ah) -> std::uint8_t* {
        if (!block.allocate(static_cast<std::size_t>(imaging::detail::rowBytes(aw, 24) * ah))) return nullptr;
        w = aw;
        h = ah;
        return block.data();
    };
    static const std::uint8_t kNothing = 0; // an empty file still has an address
    platform::MetafileStatus status = platform::RenderMetafile(size ? data : &kNothing, size, request, allocate);
    if (status != platform::MetafileStatus::Ok) return failBlock(codeFor(status), function);
    *width = w;
    *height = h;
    return imaging::detail::succeed(function, block.release());
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

HGLOBAL is5_ReadMetafile(const char* path, std::uint32_t* width, std::uint32_t* height, std::uint32_t xScale,
                         std::uint32_t yScale, std::uint32_t, std::uint32_t) {
    using imaging::detail::failBlock;
    constexpr const char* kFunction = "is5_ReadMetafile";
    if (!path || !*path || !width || !height || !xScale || !yScale) return failBlock(IS5_ERR_PARAM, kFunction);
    try {
        std::uint32_t code = IS5_OK;
        std::unique_ptr<std::FILE, FileCloser> file(imaging::detail::openRegularFile(path, &code));
        if (!file) return failBlock(code, kFunction);
        struct stat st;
        if (::fstat(::fileno(file.get()), &st) != 0) return failBlock(IS5_ERR_OPEN, kFunction);
        const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
        if (size > kMaxFileBytes) return failBlock(IS5_ERR_TOO_LARGE, kFunction);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
        if (size && std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
            return failBlock(IS5_ERR_READ, kFunction);
        file.reset();
        return render(bytes.data(), bytes.size(), width, height, xScale, yScale, kFunction);
    } catch (const std::bad_alloc&) {
        return failBlock(IS5_ERR_MEMORY, kFunction);
    }
}

HGLOBAL is5_ReadMetafileFromMemory(const void* data, std::size_t size, std::uint32_t* width, std::uint32_t* height,
                                   std::uint32_t xScale, std::uint32_t yScale) {
    using imaging::detail::failBlock;
    constexpr const char* kFunction = "is5_ReadMetafileFromMemory";
    if (!data || !width || !height || !xScale || !yScale) return failBlock(IS5_ERR_PARAM, kFunction);
    try {
        return render(static_cast<const std::uint8_t*>(data), size, width, height, xScale, yScale, kFunction);
    } catch (const std::bad_alloc&) {
        return failBlock(IS5_ERR_MEMORY, kFunction);
    }
}
