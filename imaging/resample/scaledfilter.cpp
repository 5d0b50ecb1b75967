// SPDX-License-Identifier: MIT
// Resampling by a named filter whose support is scaled by the reduction. Each axis gets a
// table of integer weights per destination index over a contiguous run of source indexes
// (taps past an edge are added to the edge pixel), every list summing to the same total.
// Rows are combined first into a 32-bit row of exact sums (the pass over the large source,
// which vectorises), then columns into 64-bit sums, rounded once at the end. All of it is
// integer arithmetic, so the result does not depend on the order of the sums, the vector
// width, the machine or how the rows are shared among threads. The weights themselves come
// from IEEE additions, multiplications and divisions only (no library sine or power), in a
// fixed order, on a target built without fused multiply-adds.
#include "imaging/resample/filters.h"

#include "imaging/detail/failpoint.h"
#include "imaging/resample/resample.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <new>
#include <numeric>
#include <vector>

namespace imaging {

namespace {

constexpr std::array<std::string_view, 5> kFilterNames{"exact", "lanczos3", "mitchell", "catmull-rom", "area"};

} // namespace

std::optional<ResampleFilter> filterFromName(std::string_view name) {
    for (std::size_t i = 0; i < kFilterNames.size(); ++i)
        if (kFilterNames[i] == name) return static_cast<ResampleFilter>(i);
    return std::nullopt;
}

std::string_view filterName(ResampleFilter filter) { return kFilterNames[static_cast<std::size_t>(filter)]; }

} // namespace imaging

namespace imaging::detail {

namespace {

constexpr int kWeightBits = 14;
constexpr std::int32_t kWeightTotal = 1 << kWeightBits;
// Exact area weights are whole coverages; beyond this many units per destination pixel the
// sums could leave 32 bits, and the coverages are scaled to kWeightTotal instead.
constexpr std::int64_t kMaxExactAreaTotal = 1 << 14;

constexpr double kPi = 3.14159265358979323846;

// sin(pi x) from a fixed polynomial: the library's sine may differ in its last bit from
// one machine to another, this may not. Error below 1e-13.
double sinPi(double x) {
    double r = x - 2.0 * std::nearbyint(x * 0.5); // [-1, 1]
    if (r > 0.5) r = 1.0 - r;
    else if (r < -0.5) r = -1.0 - r;
    const double t = r * kPi, t2 = t * t;
    double s = 1.0 - t2 / 272.0;
    for (double d : {210.0, 156.0, 110.0, 72.0, 42.0, 20.0, 6.0}) s = 1.0 - t2 / d * s;
    return t * s;
}

double sinc(double x) { return x == 0 ? 1.0 : sinPi(x) / (kPi * x); }

double kernel(ResampleFilter filter, double x) {
    const double ax = std::fabs(x);
    switch (filter) {
    case ResampleFilter::Lanczos3: return ax < 3 ? sinc(x) * sinc(x / 3) : 0.0;
    case ResampleFilter::Mitchell: // B = C = 1/3
        if (ax < 1) return (7 * ax * ax * ax - 12 * ax * ax + 16.0 / 3.0) / 6;
        if (ax < 2) return (-7.0 / 3.0 * ax * ax * ax + 12 * ax * ax - 20 * ax + 32.0 / 3.0) / 6;
        return 0.0;
    case ResampleFilter::CatmullRom: // B = 0, C = 1/2
        if (ax < 1) return 1.5 * ax * ax * ax - 2.5 * ax * ax + 1;
        if (ax < 2) return -0.5 * ax * ax * ax + 2.5 * ax * ax - 4 * ax + 2;
        return 0.0;
    default: return 0.0;
    }
}

double kernelRadius(ResampleFilter filter) { return filter == ResampleFilter::Lanczos3 ? 3.0 : 2.0; }

// One axis: destination index i reads source indexes first[i] … first[i] + count[i] - 1
// with weights[offset[i] …], which sum to `total`.
struct Taps {
    std::vector<std::uint32_t> first, count, offset;
    std::vector<std::int32_t> weights;
    std::int64_t total = kWeightTotal;
    std::uint32_t maxCount = 1;
};

// Appends one list of real weights over source indexes [lo, lo + size) as integers that
// sum to exactly `total`, the rounding remainder given to the largest weight, with zero
// weights trimmed from both ends.
void appendList(Taps& t, std::uint32_t lo, const std::vector<double>& real) {
    double sum = 0;
    for (double w : real) sum += w;
    std::vector<std::int32_t> q(real.size());
    std::int64_t qsum = 0;
    std::size_t largest = 0;
    for (std::size_t k = 0; k < real.size(); ++k) {
        q[k] = static_cast<std::int32_t>(std::lround(real[k] / sum * double(t.total)));
        qsum += q[k];
        if (std::abs(q[k]) > std::abs(q[largest])) largest = k;
    }
    q[largest] += static_cast<std::int32_t>(t.total - qsum);
    std::size_t b = 0, e = q.size();
    while (b + 1 < e && q[b] == 0) ++b;
    while (e > b + 1 && q[e - 1] == 0) --e;
    t.first.push_back(lo + static_cast<std::uint32_t>(b));
    t.count.push_back(static_cast<std::uint32_t>(e - b));
    t.offset.push_back(static_cast<std::uint32_t>(t.weights.size()));
    t.weights.insert(t.weights.end(), q.begin() + std::ptrdiff_t(b), q.begin() + std::ptrdiff_t(e));
    t.maxCount = std::max(t.maxCount, static_cast<std::uint32_t>(e - b));
}

Taps identityTaps(std::uint32_t n) {
    Taps t;
    for (std::uint32_t i = 0; i < n; ++i) {
        t.first.push_back(i);
        t.count.push_back(1);
        t.offset.push_back(i);
        t.weights.push_back(kWeightTotal);
    }
    return t;
}

// A convolution filter from n to m samples: pixel centres aligned ((i + 0.5) n / m - 0.5),
// the kernel stretched by n / m when reducing, taps past an edge added to the edge pixel.
Taps kernelTaps(std::uint32_t n, std::uint32_t m, ResampleFilter filter) {
    if (n == m) return identityTaps(n);
    Taps t;
    const double ratio = double(n) / m;
    const double scale = std::max(1.0, ratio);
    const double support = kernelRadius(filter) * scale;
    std::vector<double> real;
    for (std::uint32_t i = 0; i < m; ++i) {
        const double centre = (i + 0.5) * ratio - 0.5;
        const auto from = static_cast<std::int64_t>(std::floor(centre - support));
        const auto to = static_cast<std::int64_t>(std::ceil(centre + support));
        const std::int64_t lo = std::clamp<std::int64_t>(from, 0, n - 1);
        const std::int64_t hi = std::clamp<std::int64_t>(to, 0, n - 1);
        real.assign(std::size_t(hi - lo + 1), 0.0);
        for (std::int64_t k = from; k <= to; ++k)
            real[std::size_t(std::clamp<std::int64_t>(k, lo, hi) - lo)] += kernel(filter, (double(k) - centre) / scale);
        appendList(t, static_cast<std::uint32_t>(lo), real);
    }
    return t;
}

// Area averaging: destination pixel i covers [i n / m, (i + 1) n / m) of the source. In
// units of 1 / m' source pixels (n' = n / g, m' = m / g) every coverage is a whole number
// and each list sums to n', so an integer reduction weighs its block's pixels alike exactly.
Taps areaTaps(std::uint32_t n, std::uint32_t m) {
    if (n == m) return identityTaps(n);
    const std::uint64_t g = std::gcd(n, m);
    const std::uint64_t nn = n / g, mm = m / g;
    Taps t;
    const bool exact = std::int64_t(nn) <= kMaxExactAreaTotal;
    t.total = exact ? std::int64_t(nn) : kWeightTotal;
    std::vector<double> real;
    for (std::uint32_t i = 0; i < m; ++i) {
        const std::uint64_t from = i * nn, to = (i + 1) * nn; // in 1 / mm source pixels
        const std::uint32_t lo = static_cast<std::uint32_t>(from / mm);
        const std::uint32_t hi = static_cast<std::uint32_t>(std::min<std::uint64_t>((to - 1) / mm, n - 1));
        if (exact) {
            t.first.push_back(lo);
            t.count.push_back(hi - lo + 1);
            t.offset.push_back(static_cast<std::uint32_t>(t.weights.size()));
            for (std::uint64_t k = lo; k <= hi; ++k)
                t.weights.push_back(static_cast<std::int32_t>(std::min(to, (k + 1) * mm) - std::max(from, k * mm)));
            t.maxCount = std::max(t.maxCount, hi - lo + 1);
        } else {
            real.clear();
            for (std::uint64_t k = lo; k <= hi; ++k)
                real.push_back(double(std::min(to, (k + 1) * mm) - std::max(from, k * mm)));
            appendList(t, lo, real);
        }
    }
    return t;
}

Taps buildTaps(std::uint32_t n, std::uint32_t m, ResampleFilter filter) {
    return filter == ResampleFilter::Area ? areaTaps(n, m) : kernelTaps(n, m, filter);
}

// ---- sRGB ------------------------------------------------------------------------------

// z^(1/5) by Newton's iteration from above, a fixed number of steps: only IEEE operations.
double fifthRoot(double z) {
    double y = 1.0;
    for (int k = 0; k < 60; ++k) y = (4.0 * y + z / (y * y * y * y)) / 5.0;
    return y;
}

// sRGB 0…1 to linear 0…1; x^2.4 formed as x² · (x²)^(1/5).
double srgbToLinear(double s) {
    if (s <= 0.04045) return s / 12.92;
    const double x = (s + 0.055) / 1.055;
    const double x2 = x * x;
    return x2 * fifthRoot(x2);
}

// Linear light in 16 bits: 256 decoded levels, and for each of the 65536 linear levels
// the byte whose decoded interval holds it (bounded by the levels halfway between bytes).
struct LinearTables {
    std::array<std::uint16_t, 256> decode{};
    std::vector<std::uint8_t> encode;
    LinearTables() : encode(65536) {
        for (int v = 0; v < 256; ++v)
            decode[std::size_t(v)] = static_cast<std::uint16_t>(std::lround(65535.0 * srgbToLinear(v / 255.0)));
        std::uint32_t level = 0;
        for (int v = 0; v < 256; ++v) {
            const double upper = v == 255 ? 65536.0 : 65535.0 * srgbToLinear((v + 0.5) / 255.0);
            for (; level < 65536 && double(level) < upper; ++level) encode[level] = static_cast<std::uint8_t>(v);
        }
    }
};

const LinearTables& linearTables() {
    static const LinearTables tables;
    return tables;
}

// ---- the passes ------------------------------------------------------------------------

// mid[x] (+)= w0 r0[x] + w1 r1[x] + w2 r2[x] + w3 r3[x] over one row: exact in 32 bits for
// every weight list (sums of |w| stay below 2^15, samples below 2^16).
template <typename T>
[[gnu::always_inline]] inline void accumulateRows(std::int32_t* mid, std::size_t n, bool first, const T* r0,
                                                  const T* r1, const T* r2, const T* r3, std::int32_t w0,
                                                  std::int32_t w1, std::int32_t w2, std::int32_t w3) {
    if (first) {
        for (std::size_t x = 0; x < n; ++x) mid[x] = w0 * r0[x] + w1 * r1[x] + w2 * r2[x] + w3 * r3[x];
    } else {
        for (std::size_t x = 0; x < n; ++x) mid[x] += w0 * r0[x] + w1 * r1[x] + w2 * r2[x] + w3 * r3[x];
    }
}

#define BRIMVALE_CLONES [[gnu::target_clones("avx2", "default")]]
BRIMVALE_CLONES void accumulate8(std::int32_t* mid, std::size_t n, bool first, const std::uint8_t* r0,
                                 const std::uint8_t* r1, const std::uint8_t* r2, const std::uint8_t* r3, std::int32_t w0,
                                 std::int32_t w1, std::int32_t w2, std::int32_t w3) {
    accumulateRows(mid, n, first, r0, r1, r2, r3, w0, w1, w2, w3);
}
BRIMVALE_CLONES void accumulate16(std::int32_t* mid, std::size_t n, bool first, const std::uint16_t* r0,
                                  const std::uint16_t* r1, const std::uint16_t* r2, const std::uint16_t* r3,
                                  std::int32_t w0, std::int32_t w1, std::int32_t w2, std::int32_t w3) {
    accumulateRows(mid, n, first, r0, r1, r2, r3, w0, w1, w2, w3);
}
#undef BRIMVALE_CLONES

// Rounds a non-negative sum of weight total `divisor` to the nearest whole sample.
struct Rounding {
    std::int64_t divisor, half;
    int shift; // >= 0 when the divisor is a power of two
    std::int64_t operator()(std::int64_t v) const {
        if (v <= 0) return 0;
        return shift >= 0 ? (v + half) >> shift : (v + half) / divisor;
    }
};

// The column pass over one row of row sums: each destination sample is the rounded sum of
// its column weights times the row sums, then stored by `store(sampleIndex, channel, value)`.
template <std::uint32_t kChannels, typename Store>
void columnPass(const std::int32_t* mid, const Taps& cols, std::uint32_t channels, std::uint32_t dstWidth,
                const Rounding& round, Store store) {
    const std::uint32_t c = kChannels ? kChannels : channels;
    for (std::uint32_t i = 0; i < dstWidth; ++i) {
        const std::int32_t* w = cols.weights.data() + cols.offset[i];
        const std::int32_t* p = mid + std::size_t{cols.first[i]} * c;
        const std::uint32_t count = cols.count[i];
        std::int64_t acc[4] = {0, 0, 0, 0};
        for (std::uint32_t k = 0; k < count; ++k, p += c)
            for (std::uint32_t ch = 0; ch < c; ++ch) acc[ch] += std::int64_t{w[k]} * p[ch];
        for (std::uint32_t ch = 0; ch < c; ++ch) store(std::size_t{i} * c + ch, ch, round(acc[ch]));
    }
}

template <typename Store>
void columns(const std::int32_t* mid, const Taps& cols, std::uint32_t channels, std::uint32_t dstWidth,
             const Rounding& round, Store store) {
    switch (channels) {
    case 1: columnPass<1>(mid, cols, channels, dstWidth, round, store); break;
    case 3: columnPass<3>(mid, cols, channels, dstWidth, round, store); break;
    case 4: columnPass<4>(mid, cols, channels, dstWidth, round, store); break;
    default: columnPass<0>(mid, cols, channels, dstWidth, round, store); break;
    }
}

// The column pass of the 8-bit convolution filters, whose weight totals are both 2^14: the
// row sums, brought to 7 fraction bits, are summed in 32 bits (|row sum| < 255 · 1.6 · 2^7,
// and the column weights' magnitudes sum below 1.6 · 2^14) with a vector per pixel, three
// channels padded to four; the result is rounded from 21 fraction bits.
constexpr int kMidShift = 7;
constexpr int kFastShift = 2 * kWeightBits - kMidShift;

template <std::uint32_t kStride, std::uint32_t kChannels>
[[gnu::always_inline]] inline void fastColumnsT(const std::int32_t* mid, const Taps& cols, std::uint32_t dstWidth,
                                                std::uint8_t* out) {
    for (std::uint32_t i = 0; i < dstWidth; ++i) {
        const std::int32_t* w = cols.weights.data() + cols.offset[i];
        const std::int32_t* p = mid + std::size_t{cols.first[i]} * kStride;
        const std::uint32_t count = cols.count[i];
        std::int32_t acc[kStride] = {};
        for (std::uint32_t k = 0; k < count; ++k, p += kStride)
            for (std::uint32_t ch = 0; ch < kStride; ++ch) acc[ch] += w[k] * p[ch];
        for (std::uint32_t ch = 0; ch < kChannels; ++ch) {
            const std::int32_t v = (acc[ch] + (1 << (kFastShift - 1))) >> kFastShift;
            out[std::size_t{i} * kChannels + ch] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
}

#define BRIMVALE_CLONES [[gnu::target_clones("avx2", "default")]]
BRIMVALE_CLONES void fastColumns1(const std::int32_t* mid, const Taps& cols, std::uint32_t n, std::uint8_t* out) {
    fastColumnsT<1, 1>(mid, cols, n, out);
}
BRIMVALE_CLONES void fastColumns3(const std::int32_t* mid, const Taps& cols, std::uint32_t n, std::uint8_t* out) {
    fastColumnsT<4, 3>(mid, cols, n, out);
}
BRIMVALE_CLONES void fastColumns4(const std::int32_t* mid, const Taps& cols, std::uint32_t n, std::uint8_t* out) {
    fastColumnsT<4, 4>(mid, cols, n, out);
}
#undef BRIMVALE_CLONES

// Row sums to 7 fraction bits (rounded, flat levels stay exact), three channels padded to four.
void narrowRow(const std::int32_t* mid, std::uint32_t width, std::uint32_t channels, std::int32_t* out) {
    constexpr std::int32_t half = 1 << (kWeightBits - kMidShift - 1);
    if (channels == 3) {
        for (std::uint32_t x = 0; x < width; ++x, mid += 3, out += 4) {
            out[0] = (mid[0] + half) >> (kWeightBits - kMidShift);
            out[1] = (mid[1] + half) >> (kWeightBits - kMidShift);
            out[2] = (mid[2] + half) >> (kWeightBits - kMidShift);
            out[3] = 0;
        }
    } else {
        for (std::size_t x = 0; x < std::size_t{width} * channels; ++x) out[x] = (mid[x] + half) >> (kWeightBits - kMidShift);
    }
}

// Per-thread scratch kept between calls: the row sums and the decoded linear rows.
thread_local std::vector<std::int32_t> t_mid;
thread_local std::vector<std::int32_t> t_narrow;
thread_local std::vector<std::uint16_t> t_linearRows;

// Decoded linear rows kept per band: slot `row % slots` holds `row` while it is needed.
constexpr std::size_t kMaxLinearCacheBytes = std::size_t{32} << 20;

struct Job {
    const ConstPlane* src;
    const Plane* dst;
    std::uint32_t channels;
    const Taps* rows;
    const Taps* cols;
    bool linear;
};

std::uint32_t filterBand(const Job& job, std::uint32_t rowBegin, std::uint32_t rowEnd, const BandControl& control) {
    const ConstPlane& src = *job.src;
    const Plane& dst = *job.dst;
    const std::uint32_t c = job.channels;
    const Taps& rows = *job.rows;
    const Taps& cols = *job.cols;
    const std::size_t rowLength = std::size_t{src.width} * c;
    allocationPoint("band buffers");
    if (t_mid.size() < rowLength) t_mid.resize(rowLength);
    std::int32_t* mid = t_mid.data();

    std::int64_t divisor = rows.total * cols.total;
    int shift = -1;
    if ((divisor & (divisor - 1)) == 0) shift = std::countr_zero(static_cast<std::uint64_t>(divisor));
    const Rounding round{divisor, divisor / 2, shift};

    const bool fast = !job.linear && rows.total == kWeightTotal && cols.total == kWeightTotal && c != 2;
    if (fast && t_narrow.size() < std::size_t{src.width} * 4) t_narrow.resize(std::size_t{src.width} * 4);
    const LinearTables* tables = job.linear ? &linearTables() : nullptr;
    std::uint32_t slots = 0;
    std::vector<std::int64_t> tags;
    if (job.linear) {
        const std::size_t rowBytes = rowLength * sizeof(std::uint16_t);
        slots = static_cast<std::uint32_t>(std::clamp<std::size_t>(kMaxLinearCacheBytes / rowBytes, 4, rows.maxCount + 3));
        if (t_linearRows.size() < rowLength * slots) t_linearRows.resize(rowLength * slots);
        tags.assign(slots, -1);
    }
    // Linear light: the first three channels (or the one grey channel) through the sRGB
    // tables; a fourth channel stays in its stored values, widened as v * 257.
    auto linearRow = [&](std::uint32_t r) -> const std::uint16_t* {
        const std::uint32_t slot = r % slots;
        std::uint16_t* out = t_linearRows.data() + rowLength * slot;
        if (tags[slot] != r) {
            const std::uint8_t* in = src.pixels + std::size_t{r} * src.stride;
            if (c == 4) {
                for (std::size_t x = 0; x < rowLength; x += 4) {
                    out[x] = tables->decode[in[x]];
                    out[x + 1] = tables->decode[in[x + 1]];
                    out[x + 2] = tables->decode[in[x + 2]];
                    out[x + 3] = static_cast<std::uint16_t>(in[x + 3] * 257);
                }
            } else {
                for (std::size_t x = 0; x < rowLength; ++x) out[x] = tables->decode[in[x]];
            }
            tags[slot] = r;
        }
        return out;
    };

    for (std::uint32_t j = rowBegin; j < rowEnd; ++j) {
        const std::uint32_t first = rows.first[j], count = rows.count[j];
        const std::int32_t* w = rows.weights.data() + rows.offset[j];
        // Four source rows at a time, so the row sums are read and written once per four.
        for (std::uint32_t k = 0; k < count; k += 4) {
            const std::uint32_t left = count - k;
            const std::int32_t w0 = w[k], w1 = left > 1 ? w[k + 1] : 0, w2 = left > 2 ? w[k + 2] : 0,
                               w3 = left > 3 ? w[k + 3] : 0;
            const std::uint32_t r0 = first + k, r1 = left > 1 ? r0 + 1 : r0, r2 = left > 2 ? r0 + 2 : r0,
                                r3 = left > 3 ? r0 + 3 : r0;
            if (job.linear) {
                accumulate16(mid, rowLength, k == 0, linearRow(r0), linearRow(r1), linearRow(r2), linearRow(r3), w0, w1,
                             w2, w3);
            } else {
                auto at = [&](std::uint32_t r) { return src.pixels + std::size_t{r} * src.stride; };
                accumulate8(mid, rowLength, k == 0, at(r0), at(r1), at(r2), at(r3), w0, w1, w2, w3);
            }
        }
        std::uint8_t* out = dst.pixels + std::size_t{j} * dst.stride;
        if (fast) {
            narrowRow(mid, src.width, c, t_narrow.data());
            if (c == 1) fastColumns1(t_narrow.data(), cols, dst.width, out);
            else if (c == 3) fastColumns3(t_narrow.data(), cols, dst.width, out);
            else fastColumns4(t_narrow.data(), cols, dst.width, out);
        } else if (job.linear) {
            columns(mid, cols, c, dst.width, round, [&](std::size_t at, std::uint32_t ch, std::int64_t v) {
                const auto level = static_cast<std::uint32_t>(std::min<std::int64_t>(v, 65535));
                out[at] = ch == 3 ? static_cast<std::uint8_t>((level + 128) / 257) : tables->encode[level];
            });
        } else {
            columns(mid, cols, c, dst.width, round, [&](std::size_t at, std::uint32_t, std::int64_t v) {
                out[at] = static_cast<std::uint8_t>(std::min<std::int64_t>(v, 255));
            });
        }
        if (std::uint32_t code = control.rowDone(j - rowBegin + 1, rowEnd - rowBegin)) return code;
    }
    return IS5_OK;
}

bool overlapping(const std::uint8_t* a, std::size_t aBytes, const std::uint8_t* b, std::size_t bBytes) {
    return a < b + bBytes && b < a + aBytes;
}

} // namespace

} // namespace imaging::detail

namespace imaging {

std::uint32_t resampleWithFilter(const std::uint8_t* src, std::uint32_t w, std::uint32_t h, std::uint32_t srcStride,
                                 std::uint8_t* dst, std::uint32_t W, std::uint32_t H, std::uint32_t dstStride,
                                 std::uint32_t channels, const FilterChoice& choice) {
    using namespace detail;
    if (!src || !dst || !w || !h || !W || !H || channels < 1 || channels > 4 || choice.filter == ResampleFilter::Exact)
        return IS5_ERR_PARAM;
    const std::uint64_t srcRow = std::uint64_t{w} * channels, dstRow = std::uint64_t{W} * channels;
    if (srcStride < srcRow || dstStride < dstRow) return IS5_ERR_PARAM;
    if (overlapping(src, std::size_t{srcStride} * (h - 1) + srcRow, dst, std::size_t{dstStride} * (H - 1) + dstRow))
        return IS5_ERR_PARAM;
    try {
        if (w == W && h == H) {
            for (std::uint32_t y = 0; y < h; ++y)
                std::memcpy(dst + std::size_t{y} * dstStride, src + std::size_t{y} * srcStride, srcRow);
            return IS5_OK;
        }
        const Taps cols = buildTaps(w, W, choice.filter);
        const Taps rows = buildTaps(h, H, choice.filter);
        const ConstPlane from{src, w, h, srcStride};
        const Plane to{dst, W, H, dstStride};
        const Job job{&from, &to, channels, &rows, &cols, choice.linearLight};
        // Bands of destination rows, as the other filtered routes share them.
        return runBands(H, !choice.singleThread && W > 20 && H >= 4,
                        [&](std::uint32_t b, std::uint32_t e, const BandControl& c) { return filterBand(job, b, e, c); });
    } catch (const std::bad_alloc&) {
        return IS5_ERR_MEMORY;
    }
}

} // namespace imaging
