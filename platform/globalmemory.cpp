// SPDX-License-Identifier: MIT
// Pixel blocks with a small cache of large freed blocks for reuse.
#include "platform/globalmemory.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

struct GlobalBlock__ {
    std::uint8_t* data;
    std::size_t size;
    std::size_t capacity;
};

namespace {

// Blocks below this size come and go through malloc as they are; only blocks large enough
// for their page faults to matter are kept.
constexpr std::size_t kCacheMinimum = std::size_t{1} << 20;
constexpr std::size_t kMaxCachedBlocks = 4;

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define BRIMVALE_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(BRIMVALE_ADDRESS_SANITIZER)
// Under AddressSanitizer freed memory must really be freed, or use-after-free goes unseen.
constexpr std::size_t kDefaultCacheLimit = 0;
#else
constexpr std::size_t kDefaultCacheLimit = std::size_t{512} << 20;
#endif

std::mutex g_cacheMutex;

// The cached blocks, released when the program ends so that leak checkers see none.
struct BlockCache : std::vector<GlobalBlock__*> {
    ~BlockCache() {
        for (GlobalBlock__* b : *this) {
            std::free(b->data);
            delete b;
        }
    }
};
BlockCache g_cache;
std::size_t g_cacheBytes = 0;
std::size_t g_cacheLimit = kDefaultCacheLimit;

void destroy(GlobalBlock__* b) {
    std::free(b->data);
    delete b;
}

// Takes the smallest cached block that holds `bytes` without wasting more than half of it.
GlobalBlock__* takeCached(std::size_t bytes) {
    std::lock_guard lock(g_cacheMutex);
    std::size_t best = g_cache.size();
    for (std::size_t i = 0; i < g_cache.size(); ++i) {
        std::size_t cap = g_cache[i]->capacity;
        if (cap >= bytes && cap / 2 <= bytes && (best == g_cache.size() || cap < g_cache[best]->capacity)) best = i;
    }
    if (best == g_cache.size()) return nullptr;
    GlobalBlock__* b = g_cache[best];
    g_cache.erase(g_cache.begin() + static_cast<std::ptrdiff_t>(best));
    g_cacheBytes -= b->capacity;
    return b;
}

} // namespace

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes) {
    GlobalBlock__* b = bytes >= kCacheMinimum ? takeCached(bytes) : nullptr;
    if (!b) {
        b = new (std::nothrow) GlobalBlock__{nullptr, 0, 0};
        if (!b) return nullptr;
        b->data = static_cast<std::uint8_t*>(std::malloc(bytes ? bytes : 1));
        if (!b->data) {
            delete b;
            return nullptr;
        }
        b->capacity = bytes;
    }
    b->size = bytes;
    if (flags & GMEM_ZEROINIT) std::memset(b->data, 0, bytes);
    return b;
}

HGLOBAL GlobalFree(HGLOBAL block) {
    if (!block) return nullptr;
    if (block->capacity >= kCacheMinimum) {
        std::lock_guard lock(g_cacheMutex);
        if (g_cacheBytes + block->capacity <= g_cacheLimit) {
            if (g_cache.size() >= kMaxCachedBlocks) {
                // Make room by dropping the oldest block.
                g_cacheBytes -= g_cache.front()->capacity;
                destroy(g_cache.front());
                g_cache.erase(g_cache.begin());
            }
            g_cache.push_back(block);
            g_cacheBytes += block->capacity;
            return nullptr;
        }
    }
    destroy(block);
    return nullptr;
}

void* GlobalLock(HGLOBAL block) { return block ? block->data : nullptr; }
BOOL GlobalUnlock(HGLOBAL block) { return block ? TRUE : FALSE; }
std::size_t GlobalSize(HGLOBAL block) { return block ? block->size : 0; }

namespace platform {

void SetBlockCacheLimit(std::size_t bytes) {
    std::lock_guard lock(g_cacheMutex);
    g_cacheLimit = bytes;
    while (!g_cache.empty() && g_cacheBytes > g_cacheLimit) {
        g_cacheBytes -= g_cache.back()->capacity;
        destroy(g_cache.back());
        g_cache.pop_back();
    }
}

} // namespace platform
