// SPDX-License-Identifier: MIT
// Separable filtered resampling (modes 0-13) and area averaging (14, 15): contributor
// lists per destination column and row, mirrored at the edges, weights normalised. Rows
// are combined first (in fixed point, so the pass over the large source vectorises),
// then columns.
#include "imaging/detail/failpoint.h"
#include "imaging/resample/resample.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace imaging::detail {

double filterRadius(std::uint32_t filter) {
    switch (filter) {
    case 0: return 0.5;
    case 1: case 2: case 6: case 11: case 12: return 1.0;
    case 3: return 1.25;
    case 4: return 1.5;
    case 5: case 7: case 9: case 13: return 2.0;
    case 8: return 3.0;
    case 10: return 4.0;
    default: return 0.5;
    }
}

namespace {

double sinc(double x) {
    if (x == 0) return 1.0;
    x *= std::numbers::pi;
    return std::sin(x) / x;
}

} // namespace

double filterValue(std::uint32_t filter, double x) {
    const double ax = std::fabs(x);
    switch (filter) {
    case 0: return (x > -0.5 && x <= 0.5) ? 1.0 : 0.0;
    case 1: return ax < 1 ? 1 - ax : 0.0;
    case 2: return ax < 1 ? 0.54 + 0.46 * std::cos(std::numbers::pi * x) : 0.0;
    case 3: return ax < 1.25 ? std::sqrt(2 / std::numbers::pi) * std::exp(-2 * x * x) : 0.0;
    case 4:
        if (ax < 0.5) return 0.75 - x * x;
        if (ax < 1.5) return 0.5 * (ax - 1.5) * (ax - 1.5);
        return 0.0;
    case 5:
    case 7:
        if (ax < 1) return ax * ax * ax / 2 - x * x + 2.0 / 3.0;
        if (ax < 2) return (2 - ax) * (2 - ax) * (2 - ax) / 6;
        return 0.0;
    case 6:
    case 11: return ax < 1 ? 2 * ax * ax * ax - 3 * x * x + 1 : 0.0;
    case 8: return ax < 3 ? sinc(x) * sinc(x / 3) : 0.0;
    case 9:
        if (ax < 1) return (7 * ax * ax * ax - 12 * x * x + 16.0 / 3.0) / 6;
        if (ax < 2) return (-7.0 / 3.0 * ax * ax * ax + 12 * x * x - 20 * ax + 32.0 / 3.0) / 6;
        return 0.0;
    case 10: return ax < 4 ? sinc(x) : 0.0;
    case 12: return ax < 1 ? 0.5 + 0.5 * std::cos(std::numbers::pi * x) : 0.0;
    case 13:
        if (ax < 1) return 0.5 * (3 * ax * ax * ax - 5 * x * x + 2);
        if (ax < 2) return 0.5 * (-ax * ax * ax + 5 * x * x - 8 * ax + 4);
        return 0.0;
    default: return 0.0;
    }
}

namespace {

std::uint32_t mirror(std::int64_t k, std::uint32_t n) {
    if (k < 0) k = -k;
    if (k >= n) k = 2 * std::int64_t(n) - k - 1;
    // Very short axes can mirror out again: keep the index inside.
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(k, 0, std::int64_t(n) - 1));
}

void finishList(Contributors& c, std::size_t first) {
    double sum = 0;
    for (std::size_t k = first; k < c.weight.size(); ++k) sum += c.weight[k];
    if (sum != 0)
        for (std::size_t k = first; k < c.weight.size(); ++k) c.weight[k] = static_cast<float>(c.weight[k] / sum);
}

} // namespace

Contributors buildFilterContributors(std::uint32_t n, std::uint32_t m, std::uint32_t filter) {
    Contributors c;
    c.start.resize(m);
    c.count.resize(m);
    const double scale = double(m) / n;
    const double radius = filterRadius(filter);
    const bool shrinking = scale < 1;
    const double width = shrinking ? radius / scale : radius;
    for (std::uint32_t i = 0; i < m; ++i) {
        const double centre = i / scale;
        const auto first = static_cast<std::int64_t>(std::ceil(centre - width));
        const auto last = static_cast<std::int64_t>(std::floor(centre + width));
        c.start[i] = static_cast<std::uint32_t>(c.index.size());
        const std::size_t listStart = c.weight.size();
        for (std::int64_t k = first; k <= last; ++k) {
            double wgt = shrinking ? filterValue(filter, (centre - double(k)) * scale) * scale
                                   : filterValue(filter, centre - double(k));
            if (wgt == 0) continue;
            c.index.push_back(mirror(k, n));
            c.weight.push_back(static_cast<float>(wgt));
        }
        if (c.weight.size() == listStart) {
            // A list with no weight at all takes the nearest source pixel.
            c.index.push_back(mirror(static_cast<std::int64_t>(std::floor(centre + 0.5)), n));
            c.weight.push_back(1.0f);
        }
        c.count[i] = static_cast<std::uint32_t>(c.index.size() - c.start[i]);
        finishList(c, listStart);
    }
    return c;
}

Contributors buildAreaContributors(std::uint32_t n, std::uint32_t m) {
    Contributors c;
    c.start.resize(m);
    c.count.resize(m);
    const double step = double(n) / m;
    for (std::uint32_t i = 0; i < m; ++i) {
        const double from = i * step, to = std::min<double>(n, (i + 1) * step);
        c.start[i] = static_cast<std::uint32_t>(c.index.size());
        const std::size_t listStart = c.weight.size();
        for (auto k = static_cast<std::int64_t>(std::floor(from)); k < to && k < std::int64_t(n); ++k) {
            const double cover = std::min<double>(to, double(k + 1)) - std::max<double>(from, double(k));
            if (cover <= 0) continue;
            c.index.push_back(static_cast<std::uint32_t>(k));
            c.weight.push_back(static_cast<float>(cover));
        }
        if (c.weight.size() == listStart) {
            c.index.push_back(std::min<std::uint32_t>(static_cast<std::uint32_t>(from), n - 1));
            c.weight.push_back(1.0f);
        }
        c.count[i] = static_cast<std::uint32_t>(c.index.size() - c.start[i]);
        finishList(c, listStart);
    }
    return c;
}

namespace {

constexpr int kFixedBits = 14;

thread_local std::vector<std::int32_t> t_rowSums;
thread_local std::vector<std::int32_t> t_fixedWeights;

} // namespace

std::uint32_t filteredBand(const ConstPlane& src, const Plane& dst, std::uint32_t bpp, const Contributors& cols,
                           const Contributors& rows, std::uint32_t rowBegin, std::uint32_t rowEnd,
                           const BandControl& control) {
    const std::size_t rowLength = std::size_t{src.width} * bpp;
    allocationPoint("band buffers");
    if (t_rowSums.size() < rowLength) t_rowSums.resize(rowLength);
    std::int32_t* sums = t_rowSums.data();
    constexpr float kToUnit = 1.0f / float(1 << kFixedBits);

    for (std::uint32_t j = rowBegin; j < rowEnd; ++j) {
        // Row weights in fixed point, rounded so that they still sum to one exactly.
        const std::uint32_t first = rows.start[j], count = rows.count[j];
        t_fixedWeights.assign(count, 0);
        std::int32_t total = 0, largest = 0;
        for (std::uint32_t k = 0; k < count; ++k) {
            t_fixedWeights[k] = static_cast<std::int32_t>(std::lround(rows.weight[first + k] * (1 << kFixedBits)));
            total += t_fixedWeights[k];
            if (std::abs(t_fixedWeights[k]) > std::abs(t_fixedWeights[largest])) largest = static_cast<std::int32_t>(k);
        }
        t_fixedWeights[largest] += (1 << kFixedBits) - total;

        // Source rows are added four at a time, so the running sums are read and written
        // once per four rows.
        auto rowAt = [&](std::uint32_t k) { return src.pixels + std::size_t{rows.index[first + k]} * src.stride; };
        std::uint32_t k = 0;
        for (; k < count; k += 4) {
            const std::uint32_t left = count - k;
            const std::uint8_t* r0 = rowAt(k);
            const std::uint8_t* r1 = left > 1 ? rowAt(k + 1) : r0;
            const std::uint8_t* r2 = left > 2 ? rowAt(k + 2) : r0;
            const std::uint8_t* r3 = left > 3 ? rowAt(k + 3) : r0;
            const std::int32_t w0 = t_fixedWeights[k];
            const std::int32_t w1 = left > 1 ? t_fixedWeights[k + 1] : 0;
            const std::int32_t w2 = left > 2 ? t_fixedWeights[k + 2] : 0;
            const std::int32_t w3 = left > 3 ? t_fixedWeights[k + 3] : 0;
            if (k == 0) {
                for (std::size_t x = 0; x < rowLength; ++x) sums[x] = w0 * r0[x] + w1 * r1[x] + w2 * r2[x] + w3 * r3[x];
            } else {
                for (std::size_t x = 0; x < rowLength; ++x) sums[x] += w0 * r0[x] + w1 * r1[x] + w2 * r2[x] + w3 * r3[x];
            }
        }

        std::uint8_t* out = dst.pixels + std::size_t{j} * dst.stride;
        for (std::uint32_t i = 0; i < dst.width; ++i) {
            const std::uint32_t cf = cols.start[i], cc = cols.count[i];
            for (std::uint32_t ch = 0; ch < bpp; ++ch) {
                float v = 0;
                for (std::uint32_t k = 0; k < cc; ++k)
                    v += cols.weight[cf + k] * float(sums[std::size_t{cols.index[cf + k]} * bpp + ch]);
                v = v * kToUnit + 0.5f;
                out[std::size_t{i} * bpp + ch] = static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f));
            }
        }
        if (std::uint32_t code = control.rowDone(j - rowBegin + 1, rowEnd - rowBegin)) return code;
    }
    return IS5_OK;
}

} // namespace imaging::detail
