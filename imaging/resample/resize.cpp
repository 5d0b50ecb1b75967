// SPDX-License-Identifier: MIT
// is5_ResizeImage and its 8- and 1-bit siblings: argument checks, the choice of
// resampler by mode, and the division of the work into bands on the worker pool.
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"
#include "imaging/resample/resample.h"
#include "imaging/resample/workerpool.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <new>

namespace imaging::detail {

namespace {

struct ProgressHook {
    Is5ProgressCallback callback = nullptr;
    std::uintptr_t user = 0;
};
thread_local ProgressHook t_progress;

// With a progress callback the caller waits at most this long for its bands.
constexpr double kBandTimeoutSeconds = 600.0;
// Bands are worth their overhead only above this destination width.
constexpr std::uint32_t kMinBandedWidth = 5 * 4;
constexpr std::uint32_t kBands = 4;

} // namespace

std::uint32_t BandControl::rowDone(std::uint32_t rowsDone, std::uint32_t rowsTotal) const {
    if (cancel && cancel->load(std::memory_order_relaxed)) return IS5_ERR_TIMEOUT;
    if (!callback) return IS5_OK;
    std::lock_guard lock(*callbackMutex);
    if (!callback(rowsDone, rowsTotal, user)) {
        if (cancel) cancel->store(true);
        return IS5_ERR_CANCELLED;
    }
    return IS5_OK;
}

BilinearAxis buildBilinearAxis(std::uint32_t n, std::uint32_t m) {
    BilinearAxis a;
    a.i0.resize(m);
    a.i1.resize(m);
    a.fraction.resize(m);
    double step = double(n) / m;
    if (m > n) step = (double(n) - step) / m;
    for (std::uint32_t i = 0; i < m; ++i) {
        const double x = i * step;
        const auto x0 = static_cast<std::int64_t>(x);
        a.fraction[i] = x - double(x0);
        a.i0[i] = static_cast<std::uint32_t>(std::clamp<std::int64_t>(x0, 0, std::int64_t(n) - 1));
        a.i1[i] = static_cast<std::uint32_t>(std::clamp<std::int64_t>(x0 + 1, 0, std::int64_t(n) - 1));
    }
    return a;
}

namespace {

bool validPlanes(const std::uint8_t* src, std::uint32_t w, std::uint32_t h, std::uint32_t srcStride, std::uint8_t* dst,
                 std::uint32_t W, std::uint32_t H, std::uint32_t dstStride, std::uint64_t rowBytesSrc,
                 std::uint64_t rowBytesDst) {
    if (!src || !dst || !w || !h || !W || !H) return false;
    if (srcStride < rowBytesSrc || dstStride < rowBytesDst) return false;
    // The buffers must not overlap: the destination is written while the source is read.
    const auto* s0 = src;
    const auto* s1 = src + std::uint64_t{srcStride} * (h - 1) + rowBytesSrc;
    const auto* d0 = dst;
    const auto* d1 = dst + std::uint64_t{dstStride} * (H - 1) + rowBytesDst;
    return d1 <= s0 || s1 <= d0;
}

void copyPlane(const std::uint8_t* src, std::uint32_t srcStride, std::uint8_t* dst, std::uint32_t dstStride,
               std::uint32_t rows, std::size_t rowBytes) {
    for (std::uint32_t y = 0; y < rows; ++y)
        std::memcpy(dst + std::size_t{y} * dstStride, src + std::size_t{y} * srcStride, rowBytes);
}

} // namespace

// Runs `band(begin, end, control)` over the pool in four parts of [0, total), or on
// the calling thread when the pool cannot be used.
std::uint32_t runBands(std::uint32_t total, bool useBands,
                       const std::function<std::uint32_t(std::uint32_t, std::uint32_t, const BandControl&)>& band) {
    std::mutex callbackMutex;
    std::atomic<bool> cancel{false};
    BandControl control{t_progress.callback, t_progress.user, &callbackMutex, &cancel};
    WorkerPool& pool = WorkerPool::instance();
    if (!useBands || pool.workers() < 2 || WorkerPool::onWorkerThread()) return band(0, total, control);

    std::vector<WorkerPool::Job> jobs;
    const std::uint32_t part = total / kBands;
    for (std::uint32_t n = 0; n < kBands; ++n) {
        const std::uint32_t begin = part * n;
        const std::uint32_t end = n + 1 == kBands ? total : part * (n + 1);
        jobs.emplace_back([&band, &control, begin, end] { return band(begin, end, control); });
    }
    return pool.run(jobs, control.callback ? kBandTimeoutSeconds : 0.0, cancel);
}

namespace {

// Bilinear blend of four samples, as the palette and 1-bit resamplers form it.
inline double blend(double p00, double p01, double p10, double p11, double fx, double fy) {
    return p00 * (1 - fx) * (1 - fy) + p01 * fx * (1 - fy) + p10 * (1 - fx) * fy + p11 * fx * fy;
}

std::uint32_t bilinear24(const ConstPlane& src, const Plane& dst, std::uint32_t bpp) {
    const BilinearAxis ax = buildBilinearAxis(src.width, dst.width);
    const BilinearAxis ay = buildBilinearAxis(src.height, dst.height);
    for (std::uint32_t j = 0; j < dst.height; ++j) {
        const std::uint8_t* r0 = src.pixels + std::size_t{ay.i0[j]} * src.stride;
        const std::uint8_t* r1 = src.pixels + std::size_t{ay.i1[j]} * src.stride;
        std::uint8_t* out = dst.pixels + std::size_t{j} * dst.stride;
        for (std::uint32_t i = 0; i < dst.width; ++i)
            for (std::uint32_t k = 0; k < bpp; ++k) {
                double v = blend(r0[ax.i0[i] * bpp + k], r0[ax.i1[i] * bpp + k], r1[ax.i0[i] * bpp + k],
                                 r1[ax.i1[i] * bpp + k], ax.fraction[i], ay.fraction[j]);
                // Rounded, so that a flat area keeps its level exactly.
                out[std::size_t{i} * bpp + k] = static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
            }
    }
    return IS5_OK;
}

std::uint32_t nearest(const ConstPlane& src, const Plane& dst, std::uint32_t bpp) {
    for (std::uint32_t j = 0; j < dst.height; ++j) {
        const std::uint32_t sy = static_cast<std::uint32_t>(std::uint64_t{j} * src.height / dst.height);
        const std::uint8_t* row = src.pixels + std::size_t{sy} * src.stride;
        std::uint8_t* out = dst.pixels + std::size_t{j} * dst.stride;
        for (std::uint32_t i = 0; i < dst.width; ++i) {
            const std::uint32_t sx = static_cast<std::uint32_t>(std::uint64_t{i} * src.width / dst.width);
            std::memcpy(out + std::size_t{i} * bpp, row + std::size_t{sx} * bpp, bpp);
        }
    }
    return IS5_OK;
}

std::uint32_t resize(const ConstPlane& src, const Plane& dst, std::uint32_t bpp, std::uint32_t mode,
                     std::uint32_t flags) {
    const bool threads = !(flags & IS5_RESIZE_SINGLE_THREAD);
    if (mode == IS5_RESIZE_BICUBIC) {
        const BicubicColumns columns = buildBicubicColumns(src.width, dst.width, bpp);
        return runBands(dst.width, threads && dst.width > kMinBandedWidth,
                        [&](std::uint32_t b, std::uint32_t e, const BandControl& c) {
                            return bicubicBand(src, dst, bpp, columns, b, e, c);
                        });
    }
    if (mode <= 13 || mode == IS5_RESIZE_AREA || mode == IS5_RESIZE_AREA_FAST) {
        Contributors cols, rows;
        if (mode <= 13) {
            cols = buildFilterContributors(src.width, dst.width, mode);
            rows = buildFilterContributors(src.height, dst.height, mode);
        } else {
            // Area averaging only shrinks; along an axis that grows it samples bilinearly
            // through the triangle filter.
            cols = dst.width <= src.width ? buildAreaContributors(src.width, dst.width)
                                          : buildFilterContributors(src.width, dst.width, 1);
            rows = dst.height <= src.height ? buildAreaContributors(src.height, dst.height)
                                            : buildFilterContributors(src.height, dst.height, 1);
        }
        return runBands(dst.height, threads && dst.width > kMinBandedWidth && dst.height >= kBands,
                        [&](std::uint32_t b, std::uint32_t e, const BandControl& c) {
                            return filteredBand(src, dst, bpp, cols, rows, b, e, c);
                        });
    }
    if (mode == IS5_RESIZE_BILINEAR) return bilinear24(src, dst, bpp);
    if (mode == IS5_RESIZE_NEAREST) return nearest(src, dst, bpp);
    return IS5_ERR_PARAM;
}

// Samples a one-channel plane (palette indexes or 0/255 levels) at each destination pixel
// by the mode, calling `store(i, j, value)` per channel value set.
template <typename Sample, typename Store>
void samplePlane(std::uint32_t w, std::uint32_t h, std::uint32_t W, std::uint32_t H, std::uint32_t mode,
                 std::uint32_t channels, Sample sample, Store store) {
    if (mode == IS5_RESIZE_NEAREST) {
        for (std::uint32_t j = 0; j < H; ++j)
            for (std::uint32_t i = 0; i < W; ++i) {
                const auto sx = static_cast<std::uint32_t>(std::uint64_t{i} * w / W);
                const auto sy = static_cast<std::uint32_t>(std::uint64_t{j} * h / H);
                double v[4];
                for (std::uint32_t k = 0; k < channels; ++k) v[k] = sample(sx, sy, k);
                store(i, j, v);
            }
        return;
    }
    if (mode == IS5_RESIZE_AREA && W <= w && H <= h) {
        const Contributors cols = buildAreaContributors(w, W), rows = buildAreaContributors(h, H);
        for (std::uint32_t j = 0; j < H; ++j)
            for (std::uint32_t i = 0; i < W; ++i) {
                double v[4] = {0, 0, 0, 0};
                for (std::uint32_t a = 0; a < rows.count[j]; ++a)
                    for (std::uint32_t b = 0; b < cols.count[i]; ++b) {
                        const double wgt = double(rows.weight[rows.start[j] + a]) * cols.weight[cols.start[i] + b];
                        for (std::uint32_t k = 0; k < channels; ++k)
                            v[k] += wgt * sample(cols.index[cols.start[i] + b], rows.index[rows.start[j] + a], k);
                    }
                store(i, j, v);
            }
        return;
    }
    const BilinearAxis ax = buildBilinearAxis(w, W), ay = buildBilinearAxis(h, H);
    for (std::uint32_t j = 0; j < H; ++j)
        for (std::uint32_t i = 0; i < W; ++i) {
            double v[4];
            for (std::uint32_t k = 0; k < channels; ++k)
                v[k] = blend(sample(ax.i0[i], ay.i0[j], k), sample(ax.i1[i], ay.i0[j], k), sample(ax.i0[i], ay.i1[j], k),
                             sample(ax.i1[i], ay.i1[j], k), ax.fraction[i], ay.fraction[j]);
            store(i, j, v);
        }
}

} // namespace

} // namespace imaging::detail

using namespace imaging::detail;

void is5_SetProgressCallback(Is5ProgressCallback callback, std::uintptr_t user) {
    t_progress = ProgressHook{callback, user};
}

BOOL is5_ResizeImage(const std::uint8_t* src, std::uint32_t w, std::uint32_t h, std::uint32_t srcStride,
                     std::uint8_t* dst, std::uint32_t W, std::uint32_t H, std::uint32_t dstStride, std::uint32_t bpp,
                     std::uint32_t mode, std::uint32_t flags) {
    constexpr const char* kName = "is5_ResizeImage";
    if (bpp == 0 || bpp > 16 || mode > IS5_RESIZE_NEAREST ||
        !validPlanes(src, w, h, srcStride, dst, W, H, dstStride, std::uint64_t{w} * bpp, std::uint64_t{W} * bpp))
        return failBool(IS5_ERR_PARAM, kName);
    if (w == W && h == H && srcStride == dstStride) {
        copyPlane(src, srcStride, dst, dstStride, h, std::size_t{w} * bpp);
        return succeed<BOOL>(kName, TRUE);
    }
    try {
        std::uint32_t code = resize(ConstPlane{src, w, h, srcStride}, Plane{dst, W, H, dstStride}, bpp, mode, flags);
        if (code) return failBool(code, kName);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kName);
    } catch (...) {
        return failBool(IS5_ERR_JOB_FAILED, kName); // as a band on a worker thread reports it
    }
    return succeed<BOOL>(kName, TRUE);
}

BOOL is5_ResizeImage8(const std::uint8_t* src, std::uint32_t w, std::uint32_t h, std::uint32_t srcStride,
                      std::uint8_t* dst, std::uint32_t W, std::uint32_t H, std::uint32_t dstStride,
                      const Is5Rgbq* palette, std::uint32_t colours, std::uint32_t mode, std::uint32_t) {
    constexpr const char* kName = "is5_ResizeImage8";
    if (!palette || colours == 0 || !validPlanes(src, w, h, srcStride, dst, W, H, dstStride, w, W))
        return failBool(IS5_ERR_PARAM, kName);
    if (w == W && h == H && srcStride == dstStride) {
        copyPlane(src, srcStride, dst, dstStride, h, w);
        return succeed<BOOL>(kName, TRUE);
    }
    try {
        auto matcher = std::make_unique<ColourMatcher>(palette, colours);
        const std::uint32_t used = std::min<std::uint32_t>(colours, 256);
        auto sample = [&](std::uint32_t x, std::uint32_t y, std::uint32_t k) -> double {
            std::uint8_t index = src[std::size_t{y} * srcStride + x];
            // Indexes past the palette read as its first colour.
            const Is5Rgbq& c = palette[index < used ? index : 0];
            return k == 0 ? c.r : (k == 1 ? c.g : c.b);
        };
        auto store = [&](std::uint32_t i, std::uint32_t j, const double* v) {
            dst[std::size_t{j} * dstStride + i] = matcher->nearest(static_cast<std::uint32_t>(v[0]),
                                                                   static_cast<std::uint32_t>(v[1]),
                                                                   static_cast<std::uint32_t>(v[2]));
        };
        samplePlane(w, h, W, H, mode, 3, sample, store);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kName);
    }
    return succeed<BOOL>(kName, TRUE);
}

BOOL is5_ResizeImage1(const std::uint8_t* src, std::uint32_t w, std::uint32_t h, std::uint32_t srcStride,
                      std::uint8_t* dst, std::uint32_t W, std::uint32_t H, std::uint32_t dstStride,
                      std::uint32_t threshold, std::uint32_t mode, std::uint32_t) {
    constexpr const char* kName = "is5_ResizeImage1";
    if (!validPlanes(src, w, h, srcStride, dst, W, H, dstStride, (std::uint64_t{w} + 7) / 8, (std::uint64_t{W} + 7) / 8))
        return failBool(IS5_ERR_PARAM, kName);
    if (w == W && h == H && srcStride == dstStride) {
        copyPlane(src, srcStride, dst, dstStride, h, (std::size_t{w} + 7) / 8);
        return succeed<BOOL>(kName, TRUE);
    }
    try {
        for (std::uint32_t j = 0; j < H; ++j) std::memset(dst + std::size_t{j} * dstStride, 0, (std::size_t{W} + 7) / 8);
        auto sample = [&](std::uint32_t x, std::uint32_t y, std::uint32_t) -> double {
            return ((src[std::size_t{y} * srcStride + x / 8] >> (7 - x % 8)) & 1) ? 255.0 : 0.0;
        };
        auto store = [&](std::uint32_t i, std::uint32_t j, const double* v) {
            if (v[0] >= threshold) dst[std::size_t{j} * dstStride + i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
        };
        samplePlane(w, h, W, H, mode, 1, sample, store);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kName);
    }
    return succeed<BOOL>(kName, TRUE);
}

BOOL is5_GetOneBitHistogram(const std::uint8_t* pixels, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
                            std::uint32_t* zeros, std::uint32_t* ones, std::uint32_t) {
    constexpr const char* kName = "is5_GetOneBitHistogram";
    if (!pixels || !zeros || !ones || !width || !height || stride < (std::uint64_t{width} + 7) / 8)
        return failBool(IS5_ERR_PARAM, kName);
    std::uint64_t set = 0;
    const std::uint32_t fullBytes = width / 8, tailBits = width % 8;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* row = pixels + std::size_t{y} * stride;
        for (std::uint32_t x = 0; x < fullBytes; ++x) set += static_cast<std::uint64_t>(__builtin_popcount(row[x]));
        if (tailBits) set += static_cast<std::uint64_t>(__builtin_popcount(row[fullBytes] & (0xFF00u >> tailBits) & 0xFF));
    }
    const std::uint64_t total = std::uint64_t{width} * height;
    *ones = static_cast<std::uint32_t>(std::min<std::uint64_t>(set, 0xFFFFFFFFu));
    *zeros = static_cast<std::uint32_t>(std::min<std::uint64_t>(total - set, 0xFFFFFFFFu));
    return succeed<BOOL>(kName, TRUE);
}
