// SPDX-License-Identifier: MIT
// The resamplers behind is5_ResizeImage and its 8- and 1-bit siblings.
#pragma once

#include "imaging/is5.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace imaging::detail {

struct ConstPlane {
    const std::uint8_t* pixels;
    std::uint32_t width, height, stride;
};

struct Plane {
    std::uint8_t* pixels;
    std::uint32_t width, height, stride;
};

/// What a band reports to: the caller's progress callback (calls serialised) and the
/// flag that stops every band of a call.
struct BandControl {
    Is5ProgressCallback callback = nullptr;
    std::uintptr_t user = 0;
    std::mutex* callbackMutex = nullptr;
    std::atomic<bool>* cancel = nullptr;

    /// After a destination row: IS5_OK to go on, or the code to stop with.
    std::uint32_t rowDone(std::uint32_t rowsDone, std::uint32_t rowsTotal) const;
};

/// Bicubic column table: for each destination column the four source byte offsets and
/// the weights a0…a3 (a3 positive, subtracted when applied). Built once per call and
/// shared read-only by every band.
struct BicubicColumns {
    std::vector<std::uint32_t> offset0, offset1, offset2, offset3;
    std::vector<double> a0, a1, a2, a3;
    /// Columns that fall exactly on a source column (t = 0): their weights are -0, 1, 0,
    /// 0, so the sum is that source sample itself, to the bit.
    std::vector<std::uint8_t> exact;
    bool allExact = false;
};

BicubicColumns buildBicubicColumns(std::uint32_t srcWidth, std::uint32_t dstWidth, std::uint32_t bytesPerPixel);

/// Bicubic resampling of destination columns [columnBegin, columnEnd), all rows.
std::uint32_t bicubicBand(const ConstPlane& src, const Plane& dst, std::uint32_t bytesPerPixel,
                          const BicubicColumns& columns, std::uint32_t columnBegin, std::uint32_t columnEnd,
                          const BandControl& control);

/// One axis of a filtered resampling: for each destination index its first source index
/// is implied by the list of (source index, weight) pairs, weights summing to one.
struct Contributors {
    std::vector<std::uint32_t> start; // per destination index, into index/weight
    std::vector<std::uint32_t> count;
    std::vector<std::uint32_t> index;
    std::vector<float> weight;
};

/// Contributor lists of filter `filter` (0-13) for one axis.
Contributors buildFilterContributors(std::uint32_t srcLength, std::uint32_t dstLength, std::uint32_t filter);
/// Contributor lists of area averaging: each destination pixel covers an equal share of
/// the source, partly covered source pixels weighed by their coverage.
Contributors buildAreaContributors(std::uint32_t srcLength, std::uint32_t dstLength);

/// Separable resampling of destination rows [rowBegin, rowEnd) through contributor lists.
std::uint32_t filteredBand(const ConstPlane& src, const Plane& dst, std::uint32_t bytesPerPixel,
                           const Contributors& columns, const Contributors& rows, std::uint32_t rowBegin,
                           std::uint32_t rowEnd, const BandControl& control);

/// The value of filter `filter` at x, and its support radius.
double filterValue(std::uint32_t filter, double x);
double filterRadius(std::uint32_t filter);

/// Runs `band(begin, end, control)` over the pool in four parts of [0, total), or on the
/// calling thread when `useBands` is false or the pool cannot be used; the calling thread's
/// progress callback is told of every row.
std::uint32_t runBands(std::uint32_t total, bool useBands,
                       const std::function<std::uint32_t(std::uint32_t, std::uint32_t, const BandControl&)>& band);

// Finds the palette entry nearest to a colour (squared distance, lowest index on ties),
// remembering recent answers: blends of a few palette colours repeat a great deal.
class ColourMatcher {
public:
    ColourMatcher(const Is5Rgbq* palette, std::uint32_t colours)
        : m_palette(palette), m_colours(std::clamp<std::uint32_t>(colours, 1, 256)) {
        std::fill(std::begin(m_keys), std::end(m_keys), 0xFFFFFFFFu);
    }
    std::uint8_t nearest(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        const std::uint32_t key = (r << 16) | (g << 8) | b;
        const std::uint32_t slot = (key * 2654435761u) >> (32 - kCacheBits);
        if (m_keys[slot] == key) return m_values[slot];
        std::uint32_t best = 0, bestDistance = 0xFFFFFFFFu;
        for (std::uint32_t i = 0; i < m_colours; ++i) {
            const int dr = int(m_palette[i].r) - int(r), dg = int(m_palette[i].g) - int(g), db = int(m_palette[i].b) - int(b);
            const auto d = static_cast<std::uint32_t>(dr * dr + dg * dg + db * db);
            if (d < bestDistance) {
                bestDistance = d;
                best = i;
            }
        }
        m_keys[slot] = key;
        m_values[slot] = static_cast<std::uint8_t>(best);
        return m_values[slot];
    }

private:
    static constexpr int kCacheBits = 12;
    const Is5Rgbq* m_palette;
    std::uint32_t m_colours;
    std::uint32_t m_keys[1u << kCacheBits];
    std::uint8_t m_values[1u << kCacheBits] = {};
};

/// Bilinear positions: steps of w / W, reduced to (w - step) / W when enlarging so the
/// last destination pixel stays inside the source.
struct BilinearAxis {
    std::vector<std::uint32_t> i0, i1;
    std::vector<double> fraction;
};
BilinearAxis buildBilinearAxis(std::uint32_t srcLength, std::uint32_t dstLength);

} // namespace imaging::detail
