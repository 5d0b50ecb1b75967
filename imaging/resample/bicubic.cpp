// SPDX-License-Identifier: MIT
// Bicubic resampling (cubic convolution with a = -1), reproducible to the bit: every sum
// is formed in double precision in one fixed order, the target compiles without fused
// multiply-adds, and speed comes only from doing each sum once. The horizontal sum of a
// source row over the band's columns is kept and reused by every destination row that
// needs that source row.
#include "imaging/detail/failpoint.h"
#include "imaging/resample/resample.h"

#include <algorithm>
#include <cstring>

namespace imaging::detail {

BicubicColumns buildBicubicColumns(std::uint32_t w, std::uint32_t W, std::uint32_t bpp) {
    BicubicColumns c;
    for (auto* v : {&c.offset0, &c.offset1, &c.offset2, &c.offset3}) v->resize(W);
    for (auto* v : {&c.a0, &c.a1, &c.a2, &c.a3}) v->resize(W);
    c.exact.resize(W);
    c.allExact = true;
    const double ratio = double(w) / W;
    const double last = double(w) - 1;
    for (std::uint32_t i = 0; i < W; ++i) {
        double x = i * ratio;
        if (x <= 0) x = 0;
        if (last <= x) x = last;
        const auto ix = static_cast<std::int64_t>(x);
        const double t = x - double(ix);
        c.a0[i] = -t * (1 - t) * (1 - t);
        c.a1[i] = 1 - 2 * t * t + t * t * t;
        c.a2[i] = t + t * t - t * t * t;
        c.a3[i] = t * t * (1 - t);
        c.exact[i] = t == 0;
        c.allExact = c.allExact && t == 0;
        std::int64_t c0 = x < 1 ? 0 : ix - 1;
        std::int64_t c1 = last <= x ? std::int64_t(w) - 1 : ix;
        std::int64_t c2 = double(w) - 2 <= x ? c1 : ix + 1;
        std::int64_t c3 = x >= double(w) - 3 ? c2 : ix + 2;
        c.offset0[i] = static_cast<std::uint32_t>(c0 * bpp);
        c.offset1[i] = static_cast<std::uint32_t>(c1 * bpp);
        c.offset2[i] = static_cast<std::uint32_t>(c2 * bpp);
        c.offset3[i] = static_cast<std::uint32_t>(c3 * bpp);
    }
    return c;
}

namespace {

struct RowWeights {
    double t;
    double b0, b1, b2, b3;
    std::uint32_t r0, r1, r2, r3;
};

RowWeights rowWeights(std::uint32_t j, double yratio, std::uint32_t h) {
    RowWeights r;
    const double y = j * yratio;
    const auto iy = static_cast<std::int64_t>(y);
    const double t = y - double(iy);
    r.t = t;
    r.b0 = -t * (1 - t) * (1 - t);
    r.b1 = 1 - 2 * t * t + t * t * t;
    r.b2 = t + t * t - t * t * t;
    r.b3 = t * t * (t - 1);
    std::int64_t r0 = y < 1 ? 0 : iy - 1;
    std::int64_t r1 = double(h) - 1 <= y ? std::int64_t(h) - 1 : iy;
    std::int64_t r2 = double(h) - 2 <= y ? r1 : iy + 1;
    std::int64_t r3 = y >= double(h) - 3 ? r2 : iy + 2;
    r.r0 = static_cast<std::uint32_t>(r0);
    r.r1 = static_cast<std::uint32_t>(r1);
    r.r2 = static_cast<std::uint32_t>(r2);
    r.r3 = static_cast<std::uint32_t>(r3);
    return r;
}

// s = P0*a0 + P1*a1 + P2*a2 - P3*a3 for every column of the band and every channel. The
// row's bytes are widened to doubles once (that loop vectorises), so each sum reads its
// four samples ready-made.
template <std::uint32_t kBpp>
[[gnu::always_inline]] inline void horizontalSums(const double* row, std::uint32_t rowStart, const BicubicColumns& c, std::uint32_t begin,
                    std::uint32_t end, std::uint32_t bpp, double* out) {
    const std::uint32_t channels = kBpp ? kBpp : bpp;
    const std::uint32_t* o0 = c.offset0.data();
    const std::uint32_t* o1 = c.offset1.data();
    const std::uint32_t* o2 = c.offset2.data();
    const std::uint32_t* o3 = c.offset3.data();
    const double* a0 = c.a0.data();
    const double* a1 = c.a1.data();
    const double* a2 = c.a2.data();
    const double* a3 = c.a3.data();
    const std::uint8_t* exact = c.exact.data();
    for (std::uint32_t i = begin; i < end; ++i) {
        if (exact[i]) {
            // -0*P0 + 1*P1 + 0*P2 - 0*P3 is P1 itself for every finite sample.
            const double* p1 = row + (o1[i] - rowStart);
            for (std::uint32_t k = 0; k < channels; ++k) out[k] = p1[k];
            out += channels;
            continue;
        }
        const double* p0 = row + (o0[i] - rowStart);
        const double* p1 = row + (o1[i] - rowStart);
        const double* p2 = row + (o2[i] - rowStart);
        const double* p3 = row + (o3[i] - rowStart);
        const double w0 = a0[i], w1 = a1[i], w2 = a2[i], w3 = a3[i];
        for (std::uint32_t k = 0; k < channels; ++k) out[k] = p0[k] * w0 + p1[k] * w1 + p2[k] * w2 - p3[k] * w3;
        out += channels;
    }
}

[[gnu::always_inline]] inline void widen(const std::uint8_t* in, std::size_t n, double* out) {
    for (std::size_t k = 0; k < n; ++k) out[k] = double(in[k]);
}

// v = s0*b0 + s1*b1 + s2*b2 + s3*b3, truncated toward zero, then clamped to 0…255.
[[gnu::always_inline]] inline void verticalSums(const double* s0, const double* s1, const double* s2, const double* s3, const RowWeights& w,
                  std::size_t n, std::uint8_t* out) {
    const double b0 = w.b0, b1 = w.b1, b2 = w.b2, b3 = w.b3;
    for (std::size_t k = 0; k < n; ++k) {
        const double v = s0[k] * b0 + s1[k] * b1 + s2[k] * b2 + s3[k] * b3;
        // Values far outside 0…255 cannot occur (the weights are bounded), so the
        // conversion to int is always defined.
        int iv = static_cast<int>(v);
        iv = iv < 0 ? 0 : (iv > 255 ? 255 : iv);
        out[k] = static_cast<std::uint8_t>(iv);
    }
}

// The hot loops are built twice: for the baseline instruction set and for AVX2 (wider
// vectors, still no fused multiply-add), the better one chosen when the program starts.
#define BRIMVALE_CLONES [[gnu::target_clones("avx2", "default")]]
BRIMVALE_CLONES void horizontal3(const double* row, std::uint32_t rowStart, const BicubicColumns& c, std::uint32_t begin,
                                 std::uint32_t end, double* out) {
    horizontalSums<3>(row, rowStart, c, begin, end, 3, out);
}
BRIMVALE_CLONES void verticalAll(const double* s0, const double* s1, const double* s2, const double* s3,
                                 const RowWeights& w, std::size_t n, std::uint8_t* out) {
    verticalSums(s0, s1, s2, s3, w, n, out);
}
BRIMVALE_CLONES void widenAll(const std::uint8_t* in, std::size_t n, double* out) { widen(in, n, out); }
#undef BRIMVALE_CLONES

// Per-thread scratch for the cached horizontal sums and one widened source row, kept
// between calls.
thread_local std::vector<double> t_scratch;
thread_local std::vector<double> t_wideRow;

} // namespace

std::uint32_t bicubicBand(const ConstPlane& src, const Plane& dst, std::uint32_t bpp, const BicubicColumns& columns,
                          std::uint32_t begin, std::uint32_t end, const BandControl& control) {
    if (begin >= end) return IS5_OK;
    const std::size_t n = std::size_t{end - begin} * bpp;
    constexpr int kSlots = 4;
    allocationPoint("band buffers");
    if (t_scratch.size() < n * kSlots) t_scratch.resize(n * kSlots);
    if (t_wideRow.size() < std::size_t{src.width} * bpp) t_wideRow.resize(std::size_t{src.width} * bpp);
    double* slot[kSlots];
    std::int64_t tag[kSlots];
    for (int s = 0; s < kSlots; ++s) {
        slot[s] = t_scratch.data() + n * s;
        tag[s] = -1;
    }

    auto sumsOf = [&](std::uint32_t r, const RowWeights& need) -> double* {
        for (int s = 0; s < kSlots; ++s)
            if (tag[s] == r) return slot[s];
        // Reuse a slot that the current destination row does not need.
        int victim = 0;
        for (int s = 0; s < kSlots; ++s) {
            std::int64_t t = tag[s];
            if (t != need.r0 && t != need.r1 && t != need.r2 && t != need.r3) {
                victim = s;
                break;
            }
        }
        // Only the part of the row this band's columns reach is widened (offsets grow
        // from tap 0 to tap 3 and from column to column).
        const std::uint32_t from = columns.offset0[begin];
        const std::uint32_t to = columns.offset3[end - 1] + bpp;
        widenAll(src.pixels + std::size_t{r} * src.stride + from, to - from, t_wideRow.data());
        const double* row = t_wideRow.data();
        switch (bpp) {
        case 1: horizontalSums<1>(row, from, columns, begin, end, bpp, slot[victim]); break;
        case 3: horizontal3(row, from, columns, begin, end, slot[victim]); break;
        case 4: horizontalSums<4>(row, from, columns, begin, end, bpp, slot[victim]); break;
        default: horizontalSums<0>(row, from, columns, begin, end, bpp, slot[victim]); break;
        }
        tag[victim] = r;
        return slot[victim];
    };

    const double yratio = double(src.height) / dst.height;
    for (std::uint32_t j = 0; j < dst.height; ++j) {
        const RowWeights w = rowWeights(j, yratio, src.height);
        std::uint8_t* out = dst.pixels + std::size_t{j} * dst.stride + std::size_t{begin} * bpp;
        if (w.t == 0) {
            // A row that falls exactly on a source row: s0*-0 + s1*1 + s2*0 + s3*-0 is s1
            // itself, so only that row's sums are needed; when every column falls on a
            // source column too, they are the source bytes themselves.
            if (columns.allExact) {
                const std::uint8_t* row = src.pixels + std::size_t{w.r1} * src.stride;
                for (std::uint32_t i = begin; i < end; ++i, out += bpp)
                    std::memcpy(out, row + columns.offset1[i], bpp);
            } else {
                const RowWeights only{w.t, w.b0, w.b1, w.b2, w.b3, w.r1, w.r1, w.r1, w.r1};
                const double* s1 = sumsOf(w.r1, only);
                for (std::size_t k = 0; k < n; ++k) {
                    int iv = static_cast<int>(s1[k]);
                    out[k] = static_cast<std::uint8_t>(iv < 0 ? 0 : (iv > 255 ? 255 : iv));
                }
            }
            if (std::uint32_t code = control.rowDone(j + 1, dst.height)) return code;
            continue;
        }
        const double* s0 = sumsOf(w.r0, w);
        const double* s1 = sumsOf(w.r1, w);
        const double* s2 = sumsOf(w.r2, w);
        const double* s3 = sumsOf(w.r3, w);
        verticalAll(s0, s1, s2, s3, w, n, out);
        if (std::uint32_t code = control.rowDone(j + 1, dst.height)) return code;
    }
    return IS5_OK;
}

} // namespace imaging::detail
