// SPDX-License-Identifier: MIT
// Depth conversions: the colour quantizer (24 bits to a palette of at most 256 colours),
// palette expansion, grey levels, black-and-white thresholds, colour comparison, and
// packing and unpacking of 1-, 2- and 4-bit rows.
#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <queue>
#include <vector>

namespace imaging::detail {
namespace {

// ---- quantizer -------------------------------------------------------------------------
//
// Palette choice: every pixel is counted in one of 32768 cells (5 bits per component),
// with the sums of its components. The occupied cells are the leaves of a tree of depth 5,
// one level per bit of the three 5-bit components, most significant first, so each node
// has up to 8 children. While there are more leaves than colours wanted, the leaf with the
// fewest pixels below it is merged into its parent, which then becomes a leaf unless it is
// one already. Each remaining leaf gives the mean colour of the pixels merged into it.
//
// A leaf's rank is the pixel count of its whole subtree. A parent counts strictly more
// pixels than any child it still has, so everything below a node has been merged into it
// by the time the node itself is taken: its merged sums then cover its whole subtree.

constexpr std::uint32_t kCells = 32768;
constexpr int kDepth = 5;
// Nodes of each level stored one level after another: 1 + 8 + 64 + 512 + 4096 + 32768.
constexpr std::array<std::uint32_t, kDepth + 2> kLevelStart = {0, 1, 9, 73, 585, 4681, 37449};

constexpr std::uint32_t cellOf(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
}

/// The tree position of a cell: its three components' bits interleaved, most significant
/// first, so that the top 3k bits name its ancestor at level k.
std::uint32_t interleave(std::uint32_t cell) {
    const std::uint32_t r = cell >> 10, g = cell >> 5 & 31, b = cell & 31;
    std::uint32_t code = 0;
    for (int bit = kDepth - 1; bit >= 0; --bit) code = code << 3 | (r >> bit & 1) << 2 | (g >> bit & 1) << 1 | (b >> bit & 1);
    return code;
}

struct Cell {
    std::uint64_t count = 0;
    std::uint64_t sum[3] = {};
};

struct Node {
    std::uint64_t below = 0;     // pixels in the subtree
    std::uint64_t count = 0;     // pixels merged into this node as a leaf
    std::uint64_t sum[3] = {};
    std::uint8_t children = 0;   // mask of occupied children
    bool leaf = false;
};

struct QueueEntry {
    std::uint64_t below;
    std::uint32_t index; // flat node index: deeper levels have larger indexes
    // Fewest pixels first; among equals the later node (deeper levels come later).
    bool operator<(const QueueEntry& o) const {
        if (below != o.below) return below > o.below;
        return index < o.index;
    }
};

struct Histogram {
    std::vector<Cell> cells = std::vector<Cell>(kCells);
    /// The picture's exact colours (0xRRGGBB) in order of appearance, while there are no
    /// more of them than colours wanted; `exact` false once there are more.
    std::vector<std::uint32_t> distinct;
    bool exact = true;
};

/// Counts the pixels into the cells, and collects the exact colours while they fit.
void countPixels(const std::uint8_t* src, std::uint32_t width, std::uint32_t height, std::uint32_t stride,
                 std::uint32_t wanted, Histogram& h) {
    // A small open-addressed set of the colours seen (0 = free slot, else colour + 1).
    std::array<std::uint32_t, 1024> seen{};
    std::uint32_t last = 0xFFFFFFFF;
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* p = src + std::size_t{y} * stride;
        for (std::uint32_t x = 0; x < width; ++x, p += 3) {
            Cell& c = h.cells[cellOf(p[0], p[1], p[2])];
            ++c.count;
            c.sum[0] += p[0];
            c.sum[1] += p[1];
            c.sum[2] += p[2];
            if (!h.exact) continue;
            const std::uint32_t colour = std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
            if (colour == last) continue;
            last = colour;
            std::uint32_t slot = (colour * 2654435761u) >> 22;
            while (seen[slot] != 0 && seen[slot] != colour + 1) slot = (slot + 1) & 1023;
            if (seen[slot] != 0) continue;
            if (h.distinct.size() == wanted) {
                h.exact = false;
                continue;
            }
            seen[slot] = colour + 1;
            h.distinct.push_back(colour);
        }
    }
}

/// The palette of the reduced tree: one colour per leaf, in tree order.
std::vector<std::uint32_t> reduceTree(const Histogram& h, std::uint32_t wanted) {
    std::vector<Node> nodes(kLevelStart[kDepth + 1]);
    std::priority_queue<QueueEntry> queue;
    std::uint32_t leaves = 0;
    for (std::uint32_t cell = 0; cell < kCells; ++cell) {
        const Cell& c = h.cells[cell];
        if (c.count == 0) continue;
        std::uint32_t code = interleave(cell);
        Node& leaf = nodes[kLevelStart[kDepth] + code];
        leaf.below = leaf.count = c.count;
        std::copy(c.sum, c.sum + 3, leaf.sum);
        leaf.leaf = true;
        queue.push({leaf.below, kLevelStart[kDepth] + code});
        ++leaves;
        for (int level = kDepth - 1; level >= 0; --level) {
            Node& parent = nodes[kLevelStart[level] + (code >> 3)];
            parent.children |= static_cast<std::uint8_t>(1u << (code & 7));
            parent.below += c.count;
            code >>= 3;
        }
    }

    while (leaves > wanted && !queue.empty()) {
        const std::uint32_t index = queue.top().index;
        queue.pop();
        if (index == 0) break; // the root has no parent (only possible with one leaf left)
        int level = kDepth;
        while (kLevelStart[level] > index) --level;
        const std::uint32_t code = index - kLevelStart[level];
        Node& node = nodes[index];
        Node& parent = nodes[kLevelStart[level - 1] + (code >> 3)];
        parent.count += node.count;
        for (int i = 0; i < 3; ++i) parent.sum[i] += node.sum[i];
        parent.children &= static_cast<std::uint8_t>(~(1u << (code & 7)));
        node.leaf = false;
        --leaves;
        if (!parent.leaf) {
            parent.leaf = true;
            queue.push({parent.below, kLevelStart[level - 1] + (code >> 3)});
            ++leaves;
        }
    }

    std::vector<std::uint32_t> colours;
    for (const Node& n : nodes) {
        if (!n.leaf || n.count == 0) continue;
        std::uint32_t c = 0;
        for (int i = 0; i < 3; ++i) c = c << 8 | static_cast<std::uint32_t>((n.sum[i] + n.count / 2) / n.count);
        colours.push_back(c);
    }
    return colours;
}

/// Nearest palette colour by squared distance, ties to the lowest index, through a table.
/// The first time a pixel falls in a 5-bit cell, the answers for all 512 colours of that
/// cell are worked out at once: only the palette entries whose distance to the cell's box
/// is no more than the smallest farthest-distance of any entry can be nearest to a colour
/// in it (usually one to three), so only those are searched. After that a pixel costs one
/// look-up.
class NearestColour {
public:
    NearestColour(const std::vector<std::uint32_t>& palette, std::size_t occupiedCells) : m_count(palette.size()) {
        for (std::size_t i = 0; i < palette.size(); ++i) {
            m_r[i] = static_cast<int>(palette[i] >> 16);
            m_g[i] = static_cast<int>(palette[i] >> 8 & 0xFF);
            m_b[i] = static_cast<int>(palette[i] & 0xFF);
        }
        m_blocks.fill(kNone);
        m_table.reserve(occupiedCells * kCellColours);
    }

    std::uint8_t operator()(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        const std::uint32_t cell = cellOf(r, g, b);
        std::uint32_t block = m_blocks[cell];
        if (block == kNone) block = fillBlock(cell);
        return m_table[block + ((r & 7) << 6 | (g & 7) << 3 | (b & 7))];
    }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    static constexpr std::uint32_t kCellColours = 512;

    static int axisNear(int v, int lo) { return v < lo ? lo - v : v > lo + 7 ? v - lo - 7 : 0; }
    static int axisFar(int v, int lo) { return std::max(v - lo, lo + 7 - v); }

    std::uint32_t fillBlock(std::uint32_t cell) {
        const int r0 = int(cell >> 10) * 8, g0 = int(cell >> 5 & 31) * 8, b0 = int(cell & 31) * 8;
        int nearest[256];
        int bound = std::numeric_limits<int>::max();
        for (std::size_t i = 0; i < m_count; ++i) {
            const int nr = axisNear(m_r[i], r0), ng = axisNear(m_g[i], g0), nb = axisNear(m_b[i], b0);
            nearest[i] = nr * nr + ng * ng + nb * nb;
            const int fr = axisFar(m_r[i], r0), fg = axisFar(m_g[i], g0), fb = axisFar(m_b[i], b0);
            bound = std::min(bound, fr * fr + fg * fg + fb * fb);
        }
        std::uint8_t candidates[256];
        std::size_t count = 0;
        for (std::size_t i = 0; i < m_count; ++i)
            if (nearest[i] <= bound) candidates[count++] = static_cast<std::uint8_t>(i);

        const auto block = static_cast<std::uint32_t>(m_table.size());
        m_table.resize(block + kCellColours);
        std::uint8_t* out = m_table.data() + block;
        for (std::uint32_t i = 0; i < kCellColours; ++i) {
            const int r = r0 + int(i >> 6), g = g0 + int(i >> 3 & 7), b = b0 + int(i & 7);
            std::uint8_t best = candidates[0];
            int bestDistance = std::numeric_limits<int>::max();
            // Candidates are in index order, so a tie keeps the lower index.
            for (std::size_t k = 0; k < count; ++k) {
                const std::uint8_t e = candidates[k];
                const int dr = m_r[e] - r, dg = m_g[e] - g, db = m_b[e] - b;
                const int d = dr * dr + dg * dg + db * db;
                if (d < bestDistance) {
                    bestDistance = d;
                    best = e;
                }
            }
            out[i] = best;
        }
        m_blocks[cell] = block;
        return block;
    }

    std::size_t m_count;
    int m_r[256] = {}, m_g[256] = {}, m_b[256] = {};
    std::array<std::uint32_t, kCells> m_blocks; // start of each cell's answers in m_table
    std::vector<std::uint8_t> m_table;
};

void quantize(const std::uint8_t* src, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
              std::uint8_t* dst, std::uint32_t dstStride, std::uint32_t wanted, Is5Rgbq* palette) {
    auto h = std::make_unique<Histogram>();
    countPixels(src, width, height, srcStride, wanted, *h);
    // A picture that already has few enough colours keeps them exactly; otherwise the
    // tree's averages are its colours.
    const std::vector<std::uint32_t> colours = h->exact ? h->distinct : reduceTree(*h, wanted);
    const auto occupied = static_cast<std::size_t>(
        std::count_if(h->cells.begin(), h->cells.end(), [](const Cell& c) { return c.count != 0; }));
    h.reset();

    for (std::uint32_t i = 0; i < wanted; ++i) {
        const std::uint32_t c = i < colours.size() ? colours[i] : 0;
        palette[i] = {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                      static_cast<std::uint8_t>(c), 0};
    }
    auto nearest = std::make_unique<NearestColour>(colours, occupied);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* p = src + std::size_t{y} * srcStride;
        std::uint8_t* out = dst + std::size_t{y} * dstStride;
        // Neighbouring pixels often share a colour: reuse the last answer.
        std::uint32_t lastColour = 0xFFFFFFFF;
        std::uint8_t lastIndex = 0;
        for (std::uint32_t x = 0; x < width; ++x, p += 3) {
            const std::uint32_t colour = std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
            if (colour != lastColour) {
                lastColour = colour;
                lastIndex = (*nearest)(p[0], p[1], p[2]);
            }
            out[x] = lastIndex;
        }
    }
}

/// Grey level of a colour: (299 R + 587 G + 114 B) / 1000, rounded.
constexpr std::uint8_t greyOf(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return static_cast<std::uint8_t>((299 * r + 587 * g + 114 * b + 500) / 1000);
}

bool badPicture(const void* src, const void* dst, std::uint32_t width, std::uint32_t height, std::uint64_t srcRow,
                std::uint32_t srcStride, std::uint64_t dstRow, std::uint32_t dstStride) {
    return !src || !dst || width == 0 || height == 0 || srcStride < srcRow || dstStride < dstRow;
}

} // namespace
} // namespace imaging::detail

using imaging::detail::failBool;
using imaging::detail::succeed;

BOOL is5_QuantizeRGBTo8Bit(const std::uint8_t* src, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
                           std::uint8_t* dst, std::uint32_t dstStride, std::uint32_t colours, Is5Rgbq* palette,
                           std::uint32_t /*mode*/, std::uint32_t /*parameter*/, std::uint32_t /*flags*/) {
    constexpr const char* kFunction = "is5_QuantizeRGBTo8Bit";
    if (!palette || imaging::detail::badPicture(src, dst, width, height, std::uint64_t{width} * 3, srcStride, width,
                                                dstStride))
        return failBool(IS5_ERR_PARAM, kFunction);
    try {
        imaging::detail::quantize(src, width, height, srcStride, dst, dstStride, std::clamp<std::uint32_t>(colours, 1, 256),
                                  palette);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kFunction);
    }
    return succeed(kFunction, TRUE);
}

BOOL is5_8BitToRGB(const std::uint8_t* src, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
                   const Is5Rgbq* palette, std::uint8_t* dst, std::uint32_t dstStride, std::uint32_t /*flags*/) {
    constexpr const char* kFunction = "is5_8BitToRGB";
    if (!palette ||
        imaging::detail::badPicture(src, dst, width, height, width, srcStride, std::uint64_t{width} * 3, dstStride))
        return failBool(IS5_ERR_PARAM, kFunction);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = src + std::size_t{y} * srcStride;
        std::uint8_t* out = dst + std::size_t{y} * dstStride;
        for (std::uint32_t x = 0; x < width; ++x, out += 3) {
            const Is5Rgbq& c = palette[in[x]];
            out[0] = c.r;
            out[1] = c.g;
            out[2] = c.b;
        }
    }
    return succeed(kFunction, TRUE);
}

BOOL is5_ImageToGrayScale8Bit(const std::uint8_t* src, std::uint32_t width, std::uint32_t height,
                              std::uint32_t srcStride, std::uint32_t depth, const Is5Rgbq* palette, std::uint8_t* dst,
                              std::uint32_t dstStride, std::uint32_t /*flags*/) {
    constexpr const char* kFunction = "is5_ImageToGrayScale8Bit";
    if ((depth != 24 && depth != 8) || (depth == 8 && !palette) ||
        imaging::detail::badPicture(src, dst, width, height, imaging::detail::rowBytes(width, depth), srcStride, width,
                                    dstStride))
        return failBool(IS5_ERR_PARAM, kFunction);
    std::array<std::uint8_t, 256> levels{};
    if (depth == 8)
        for (int i = 0; i < 256; ++i) levels[i] = imaging::detail::greyOf(palette[i].r, palette[i].g, palette[i].b);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = src + std::size_t{y} * srcStride;
        std::uint8_t* out = dst + std::size_t{y} * dstStride;
        if (depth == 8) {
            for (std::uint32_t x = 0; x < width; ++x) out[x] = levels[in[x]];
        } else {
            for (std::uint32_t x = 0; x < width; ++x, in += 3) out[x] = imaging::detail::greyOf(in[0], in[1], in[2]);
        }
    }
    return succeed(kFunction, TRUE);
}

BOOL is5_ColorCompare(std::uint32_t colourA, std::uint32_t colourB, std::uint32_t tolerance) {
    std::uint32_t distance = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const int d = int(colourA >> shift & 0xFF) - int(colourB >> shift & 0xFF);
        distance += static_cast<std::uint32_t>(d * d);
    }
    return succeed("is5_ColorCompare", distance <= tolerance ? TRUE : FALSE);
}

BOOL is5_GrayscaleTo1Bit(const std::uint8_t* grey, std::uint32_t width, std::uint32_t height, std::uint32_t srcStride,
                         std::uint8_t* dst, std::uint32_t dstStride, std::uint32_t threshold) {
    constexpr const char* kFunction = "is5_GrayscaleTo1Bit";
    if (imaging::detail::badPicture(grey, dst, width, height, width, srcStride, width, dstStride))
        return failBool(IS5_ERR_PARAM, kFunction);
    for (std::uint32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = grey + std::size_t{y} * srcStride;
        std::uint8_t* out = dst + std::size_t{y} * dstStride;
        for (std::uint32_t x = 0; x < width; ++x) out[x] = in[x] >= threshold ? 1 : 0;
    }
    return succeed(kFunction, TRUE);
}

BOOL is5_Pack8BitBuffer(const std::uint8_t* src, std::uint32_t count, std::uint8_t* dst, std::uint32_t bitsPerPixel) {
    constexpr const char* kFunction = "is5_Pack8BitBuffer";
    if (bitsPerPixel != 1 && bitsPerPixel != 2 && bitsPerPixel != 4) return failBool(IS5_ERR_PARAM, kFunction);
    if (count == 0) return succeed(kFunction, TRUE);
    if (!src || !dst) return failBool(IS5_ERR_PARAM, kFunction);
    const std::uint32_t perByte = 8 / bitsPerPixel, mask = (1u << bitsPerPixel) - 1;
    const std::uint32_t bytes = (count + perByte - 1) / perByte;
    for (std::uint32_t i = 0; i < bytes; ++i) {
        std::uint32_t packed = 0;
        for (std::uint32_t k = 0; k < perByte; ++k) {
            const std::uint32_t at = i * perByte + k;
            std::uint32_t v = 0;
            if (at < count) v = bitsPerPixel == 1 ? (src[at] != 0) : (src[at] & mask);
            packed = packed << bitsPerPixel | v;
        }
        dst[i] = static_cast<std::uint8_t>(packed);
    }
    return succeed(kFunction, TRUE);
}

BOOL is5_UnpackBufferTo8Bit(const std::uint8_t* src, std::uint32_t count, std::uint8_t* dst,
                            std::uint32_t bitsPerPixel) {
    constexpr const char* kFunction = "is5_UnpackBufferTo8Bit";
    if (bitsPerPixel != 1 && bitsPerPixel != 2 && bitsPerPixel != 4) return failBool(IS5_ERR_PARAM, kFunction);
    if (count == 0) return succeed(kFunction, TRUE);
    if (!src || !dst) return failBool(IS5_ERR_PARAM, kFunction);
    const std::uint32_t perByte = 8 / bitsPerPixel, mask = (1u << bitsPerPixel) - 1;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t shift = 8 - bitsPerPixel * (i % perByte + 1);
        dst[i] = static_cast<std::uint8_t>(src[i / perByte] >> shift & mask);
    }
    return succeed(kFunction, TRUE);
}
