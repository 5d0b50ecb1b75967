// SPDX-License-Identifier: MIT
// The camera-raw module: decodes raw files (DNG and the camera makers' formats) through
// LibRaw to 24-bit sRGB at natural size with the camera's white balance, and reports its
// outcome through the hook block the imaging layer installed for the calling thread.
#include "imaging/israw.h"

#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <libraw/libraw.h>

namespace {

// Largest file read into memory for the decoder; real raw files are well below 1 GiB.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 30;
constexpr unsigned kMaxRawMemoryMb = 4096;

thread_local Is5ExtHook t_hook{};
thread_local bool t_hasHook = false;
thread_local std::uint32_t t_options = 0;

void report(std::uint32_t code, const char* function) {
    if (t_hasHook && t_hook.setLastError) t_hook.setLastError(code, function);
    else is5_SetLastError(code, function);
}

HGLOBAL failRaw(std::uint32_t code) {
    report(code, "israw_Read");
    return nullptr;
}

std::uint64_t maxPixels() {
    return t_hasHook && t_hook.getMaxPixels ? t_hook.getMaxPixels() : is5_GetMaxPixels();
}

std::uint32_t codeFor(int librawError) {
    switch (librawError) {
    case LIBRAW_FILE_UNSUPPORTED:
    case LIBRAW_REQUEST_FOR_NONEXISTENT_IMAGE: return IS5_ERR_FORMAT;
    case LIBRAW_UNSUFFICIENT_MEMORY:
    case LIBRAW_MEMPOOL_OVERFLOW: return IS5_ERR_MEMORY;
    case LIBRAW_TOO_BIG: return IS5_ERR_TOO_LARGE;
    case LIBRAW_CANCELLED_BY_CALLBACK: return IS5_ERR_CANCELLED;
    case LIBRAW_IO_ERROR: return IS5_ERR_READ;
    default: return IS5_ERR_FORMAT;
    }
}

struct RawHandle {
    libraw_data_t* data = libraw_init(0);
    ~RawHandle() {
        if (data) libraw_close(data);
    }
};

struct ProcessedImage {
    libraw_processed_image_t* image = nullptr;
    ~ProcessedImage() {
        if (image) libraw_dcraw_clear_mem(image);
    }
};

// The same check as the layer's own readers, against the hook's limit.
std::uint32_t checkSize(std::uint64_t width, std::uint64_t height) {
    if (width == 0 || height == 0) return IS5_ERR_FORMAT;
    if (width > (std::uint64_t{1} << 31) || height > (std::uint64_t{1} << 31)) return IS5_ERR_TOO_LARGE;
    return width * height > maxPixels() ? IS5_ERR_TOO_LARGE : IS5_OK;
}

HGLOBAL readRaw(Is5Source& source, std::uint32_t* width, std::uint32_t* height, int useCameraWb, int quality,
                const char* options) {
    // LibRaw decodes from one block of memory: a memory source's own, or the file read in.
    const std::uint64_t size = source.size();
    if (size == 0) return failRaw(IS5_ERR_READ);
    std::vector<std::uint8_t> copy;
    const std::uint8_t* bytes = source.memory();
    if (!bytes) {
        if (size > kMaxFileBytes) return failRaw(IS5_ERR_TOO_LARGE);
        copy.resize(static_cast<std::size_t>(size));
        if (!source.seek(0) || source.read(copy.data(), copy.size()) != copy.size()) return failRaw(IS5_ERR_READ);
        bytes = copy.data();
    }

    RawHandle raw;
    if (!raw.data) return failRaw(IS5_ERR_MEMORY);
    libraw_output_params_t& params = raw.data->params;
    params.use_camera_wb = useCameraWb ? 1 : 0;
    params.output_bps = 8;
    params.output_color = 1;  // sRGB primaries
    params.gamm[0] = 1.0 / 2.4;  // sRGB's curve: power 2.4 with a linear toe of slope 12.92
    params.gamm[1] = 12.92;
    params.half_size = 0;
    params.user_qual = quality;
    params.user_flip = -1;  // the file's own orientation
    params.max_raw_memory_mb = kMaxRawMemoryMb;
    static char kEmbed[] = "embed";
    if (options && std::strstr(options, "embed")) params.camera_profile = kEmbed;

    // LibRaw's default handlers print; ours count, and damaged data fails the read.
    int dataErrors = 0;
    libraw_set_dataerror_handler(raw.data, [](void* count, const char*, const int) { ++*static_cast<int*>(count); },
                                 &dataErrors);
    libraw_set_memerror_handler(raw.data, [](void*, const char*, const char*) {}, nullptr);

    int rc = libraw_open_buffer(raw.data, const_cast<std::uint8_t*>(bytes), static_cast<std::size_t>(size));
    if (rc != LIBRAW_SUCCESS) return failRaw(codeFor(rc));
    const libraw_image_sizes_t& sizes = raw.data->sizes;
    if (std::uint32_t code = checkSize(sizes.raw_width, sizes.raw_height)) return failRaw(code);
    if (std::uint32_t code = checkSize(sizes.width, sizes.height)) return failRaw(code);
    if ((rc = libraw_unpack(raw.data)) != LIBRAW_SUCCESS) return failRaw(codeFor(rc));
    if (dataErrors) return failRaw(IS5_ERR_READ);
    if ((rc = libraw_dcraw_process(raw.data)) != LIBRAW_SUCCESS) return failRaw(codeFor(rc));
    if (dataErrors) return failRaw(IS5_ERR_READ);
    ProcessedImage processed;
    int error = LIBRAW_SUCCESS;
    processed.image = libraw_dcraw_make_mem_image(raw.data, &error);  // with the file's flip applied
    if (!processed.image) return failRaw(error != LIBRAW_SUCCESS ? codeFor(error) : IS5_ERR_MEMORY);
    const libraw_processed_image_t& image = *processed.image;
    if (image.type != LIBRAW_IMAGE_BITMAP || image.bits != 8 || image.colors != 3) return failRaw(IS5_ERR_UNSUPPORTED);
    if (std::uint32_t code = checkSize(image.width, image.height)) return failRaw(code);
    const std::size_t bytesOut = std::size_t{image.width} * image.height * 3;
    if (image.data_size < bytesOut) return failRaw(IS5_ERR_FORMAT);

    HGLOBAL block = t_hasHook && t_hook.globalAlloc ? t_hook.globalAlloc(GMEM_MOVEABLE, bytesOut)
                                                    : GlobalAlloc(GMEM_MOVEABLE, bytesOut);
    if (!block) return failRaw(IS5_ERR_MEMORY);
    std::memcpy(GlobalLock(block), image.data, bytesOut);
    GlobalUnlock(block);
    *width = image.width;
    *height = image.height;
    report(IS5_OK, "israw_Read");
    return block;
}

} // namespace

BOOL israw_SetHook(const Is5ExtHook* hook) {
    if (!hook || hook->size < sizeof(Is5ExtHook) || !hook->setLastError) {
        report(IS5_ERR_PARAM, "israw_SetHook");
        return FALSE;
    }
    t_hook = *hook;
    t_hasHook = true;
    report(IS5_OK, "israw_SetHook");
    return TRUE;
}

void israw_SetOptions(std::uint32_t options) { t_options = options; }

HGLOBAL israw_Read(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                   double /*gamma: the sRGB curve is always used*/, int useCameraWhiteBalance, int quality, const char* options, int, int, int,
                   int) {
    if (!source || !width || !height || depth != 24) return failRaw(IS5_ERR_PARAM);
    try {
        return readRaw(*source, width, height, useCameraWhiteBalance, quality, options);
    } catch (const std::bad_alloc&) {
        return failRaw(IS5_ERR_MEMORY);
    }
}
