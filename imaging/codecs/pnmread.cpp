// SPDX-License-Identifier: MIT
// Portable anymap reader: PBM, PGM and PPM in their plain (P1-P3) and raw (P4-P6) forms,
// and the header reader behind is5_GetPNMDims.
// Format: https://netpbm.sourceforge.net/doc/pbm.html, pgm.html, ppm.html
//
// Output: PBM at 1 bit as stored (1 = black, with palette entry 0 white and 1 black), or
// at 8 bits as indexes into that palette; PGM at 8 bits with a grey ramp; any of them at
// 24 bits. Samples of other maximum values are scaled to 0..255; plain samples above the
// maximum count as the maximum.
#include "imaging/detail/bytereader.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/pixels.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"
#include "platform/globalmemory.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <vector>

namespace imaging::pnm {
namespace {

using detail::ByteReader;

enum class Kind { Bitmap, Grey, Colour };

struct Header {
    Kind kind = Kind::Bitmap;
    bool plain = false;
    std::uint32_t width = 0, height = 0;
    std::uint32_t maxValue = 1;
    std::uint32_t channels = 1;
};

constexpr std::uint32_t kMaxSample = 65535;

bool isSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Characters with one of lookahead, for the header and the plain formats' text.
class Scanner {
public:
    explicit Scanner(ByteReader& in) : m_in(in) { advance(); }

    int peek() const { return m_c; } // -1 at the end of the data
    void advance() { m_c = m_in.remaining() > 0 ? m_in.u8() : -1; }
    /// Source position just after the character under the lookahead.
    std::uint64_t afterPeek() const { return m_in.tell(); }

    /// Skips whitespace and comments (from '#' to the end of its line).
    void skipSpace() {
        for (;;) {
            if (m_c == '#') {
                while (m_c != -1 && m_c != '\n' && m_c != '\r') advance();
            } else if (isSpace(m_c)) {
                advance();
            } else {
                return;
            }
        }
    }

    /// An unsigned decimal number at the lookahead; values above `limit` become `limit`
    /// when `saturate`, else fail. IS5_OK, IS5_ERR_READ at the end, IS5_ERR_FORMAT.
    std::uint32_t number(std::uint32_t& value, std::uint32_t limit, bool saturate) {
        if (m_c == -1) return IS5_ERR_READ;
        if (m_c < '0' || m_c > '9') return IS5_ERR_FORMAT;
        std::uint64_t v = 0;
        bool over = false;
        while (m_c >= '0' && m_c <= '9') {
            v = v * 10 + static_cast<unsigned>(m_c - '0');
            if (v > limit) {
                over = true;
                v = limit;
            }
            advance();
        }
        if (over && !saturate) return IS5_ERR_FORMAT;
        value = static_cast<std::uint32_t>(v);
        return IS5_OK;
    }

private:
    ByteReader& m_in;
    int m_c = -1;
};

// Reads the header; leaves the scanner on the character after the last field.
std::uint32_t readHeader(Scanner& s, Header& h) {
    if (s.peek() != 'P') return s.peek() == -1 ? IS5_ERR_READ : IS5_ERR_FORMAT;
    s.advance();
    int type = s.peek();
    if (type == '7') return IS5_ERR_UNSUPPORTED; // PAM
    if (type < '1' || type > '6') return type == -1 ? IS5_ERR_READ : IS5_ERR_FORMAT;
    s.advance();
    if (s.peek() != '#' && !isSpace(s.peek())) return s.peek() == -1 ? IS5_ERR_READ : IS5_ERR_FORMAT;
    h.plain = type <= '3';
    h.kind = (type == '1' || type == '4') ? Kind::Bitmap : (type == '2' || type == '5') ? Kind::Grey : Kind::Colour;
    h.channels = h.kind == Kind::Colour ? 3 : 1;

    s.skipSpace();
    if (std::uint32_t rc = s.number(h.width, 0xFFFFFFFFu, false)) return rc;
    s.skipSpace();
    if (std::uint32_t rc = s.number(h.height, 0xFFFFFFFFu, false)) return rc;
    if (h.kind != Kind::Bitmap) {
        s.skipSpace();
        if (std::uint32_t rc = s.number(h.maxValue, kMaxSample, false)) return rc;
        if (h.maxValue == 0) return IS5_ERR_FORMAT;
    }
    if (h.width == 0 || h.height == 0) return IS5_ERR_FORMAT;
    // One whitespace character ends the header.
    if (s.peek() == -1) return IS5_ERR_READ;
    if (!isSpace(s.peek())) return IS5_ERR_FORMAT;
    return IS5_OK;
}

struct Picture {
    HGLOBAL pixels = nullptr;
    std::uint32_t width = 0, height = 0;
};

class PnmReader {
public:
    explicit PnmReader(Is5Source& source) : m_source(source) {}

    std::uint32_t header(Header& h) {
        if (!m_source.seek(0)) return IS5_ERR_READ;
        ByteReader in(m_source, 1024);
        Scanner s(in);
        return readHeader(s, h);
    }

    std::uint32_t read(std::uint32_t depth, Picture& out, Is5Rgbq* palette) {
        if (depth != 1 && depth != 8 && depth != 24) return IS5_ERR_PARAM;
        if (!m_source.seek(0)) return IS5_ERR_READ;
        ByteReader in(m_source);
        Scanner s(in);
        Header h;
        if (std::uint32_t rc = readHeader(s, h)) return rc;
        if ((depth == 1 && h.kind != Kind::Bitmap) || (depth == 8 && h.kind == Kind::Colour)) return IS5_ERR_UNSUPPORTED;
        if (std::uint32_t rc = detail::checkPictureSize(h.width, h.height)) return rc;

        // The data must be able to hold the picture before anything is allocated for it.
        const std::uint64_t samples = std::uint64_t{h.width} * h.height * h.channels;
        const std::uint64_t bytesPerSample = h.maxValue > 255 ? 2 : 1;
        const std::uint64_t storedRow = h.kind == Kind::Bitmap ? (std::uint64_t{h.width} + 7) / 8
                                                               : std::uint64_t{h.width} * h.channels * bytesPerSample;
        std::uint64_t minimum;
        if (!h.plain) minimum = storedRow * h.height;
        else if (h.kind == Kind::Bitmap) minimum = samples;      // one character per pixel
        else minimum = samples * 2 - 1;                          // digits and separators
        const std::uint64_t dataStart = s.afterPeek(); // past the one whitespace character
        if (minimum > in.size() - std::min(in.size(), dataStart)) return IS5_ERR_READ;

        const std::size_t width = h.width;
        const std::size_t outRow = static_cast<std::size_t>(detail::rowBytes(width, depth));
        platform::UniqueGlobal block;
        if (!block.allocate(outRow * h.height)) return IS5_ERR_MEMORY;

        std::array<std::uint8_t, 256> scale{};
        for (std::uint32_t v = 0; v < 256; ++v) scale[v] = detail::scaleTo8(std::min(v, h.maxValue), h.maxValue);
        auto to8 = [&](std::uint32_t v) { return h.maxValue <= 255 ? scale[v] : detail::scaleTo8(v, h.maxValue); };

        std::vector<std::uint8_t> raw(h.plain ? 0 : static_cast<std::size_t>(storedRow));
        std::vector<std::uint8_t> bits(h.kind == Kind::Bitmap ? static_cast<std::size_t>((width + 7) / 8) : 0);
        std::vector<std::uint8_t> values(h.kind == Kind::Bitmap ? 0 : width * h.channels);
        if (!h.plain) in.seek(dataStart);
        else s.skipSpace();

        for (std::uint32_t y = 0; y < h.height; ++y) {
            // One row of samples: packed bits for PBM, 8-bit values otherwise.
            if (!h.plain) {
                if (!in.read(raw.data(), raw.size())) return IS5_ERR_READ;
                if (h.kind == Kind::Bitmap) {
                    std::memcpy(bits.data(), raw.data(), bits.size());
                } else if (bytesPerSample == 1) {
                    for (std::size_t i = 0; i < values.size(); ++i) values[i] = to8(std::min<std::uint32_t>(raw[i], h.maxValue));
                } else {
                    for (std::size_t i = 0; i < values.size(); ++i) {
                        std::uint32_t v = (std::uint32_t{raw[2 * i]} << 8) | raw[2 * i + 1];
                        values[i] = to8(std::min(v, h.maxValue));
                    }
                }
            } else if (h.kind == Kind::Bitmap) {
                std::fill(bits.begin(), bits.end(), 0);
                for (std::size_t x = 0; x < width; ++x) {
                    s.skipSpace();
                    int c = s.peek();
                    if (c == -1) return IS5_ERR_READ;
                    if (c != '0' && c != '1') return IS5_ERR_FORMAT;
                    if (c == '1') bits[x >> 3] |= static_cast<std::uint8_t>(0x80u >> (x & 7));
                    s.advance();
                }
            } else {
                for (auto& value : values) {
                    s.skipSpace();
                    std::uint32_t v;
                    if (std::uint32_t rc = s.number(v, h.maxValue, true)) return rc;
                    value = to8(v);
                }
            }

            std::uint8_t* dst = block.data() + y * outRow;
            if (h.kind == Kind::Bitmap) {
                if (depth == 1) {
                    std::memcpy(dst, bits.data(), outRow);
                    continue;
                }
                for (std::size_t x = 0; x < width; ++x) {
                    unsigned black = (bits[x >> 3] >> (7 - (x & 7))) & 1u;
                    if (depth == 8) dst[x] = static_cast<std::uint8_t>(black);
                    else std::memset(dst + 3 * x, black ? 0 : 255, 3);
                }
            } else if (h.kind == Kind::Grey) {
                if (depth == 8) std::memcpy(dst, values.data(), width);
                else
                    for (std::size_t x = 0; x < width; ++x) std::memset(dst + 3 * x, values[x], 3);
            } else {
                std::memcpy(dst, values.data(), outRow);
            }
        }

        if (palette && depth != 24) {
            std::fill(palette, palette + 256, Is5Rgbq{0, 0, 0, 0});
            if (h.kind == Kind::Bitmap) {
                palette[0] = {255, 255, 255, 0};
                palette[1] = {0, 0, 0, 0};
            } else {
                for (int i = 0; i < 256; ++i) {
                    auto v = static_cast<std::uint8_t>(i);
                    palette[i] = {v, v, v, 0};
                }
            }
        }
        out.width = h.width;
        out.height = h.height;
        out.pixels = block.release();
        return IS5_OK;
    }

private:
    Is5Source& m_source;
};

} // namespace
} // namespace imaging::pnm

HGLOBAL is5_ReadPNM(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t depth,
                    Is5Rgbq* palette, std::uint32_t /*flags*/) {
    constexpr const char* kName = "is5_ReadPNM";
    if (!source || !width || !height) return imaging::detail::failBlock(IS5_ERR_PARAM, kName);
    try {
        imaging::pnm::PnmReader reader(*source);
        imaging::pnm::Picture picture;
        if (std::uint32_t rc = reader.read(depth, picture, palette)) return imaging::detail::failBlock(rc, kName);
        *width = picture.width;
        *height = picture.height;
        return imaging::detail::succeed(kName, picture.pixels);
    } catch (const std::exception&) {
        return imaging::detail::failBlock(IS5_ERR_MEMORY, kName);
    }
}

BOOL is5_GetPNMDims(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t* bitsPerPixel) {
    constexpr const char* kName = "is5_GetPNMDims";
    if (!source) return imaging::detail::failBool(IS5_ERR_PARAM, kName);
    try {
        imaging::pnm::PnmReader reader(*source);
        imaging::pnm::Header h;
        if (std::uint32_t rc = reader.header(h)) return imaging::detail::failBool(rc, kName);
        if (width) *width = h.width;
        if (height) *height = h.height;
        if (bitsPerPixel)
            *bitsPerPixel = h.kind == imaging::pnm::Kind::Bitmap ? 1 : h.kind == imaging::pnm::Kind::Grey ? 8 : 24;
        return imaging::detail::succeed<BOOL>(kName, TRUE);
    } catch (const std::exception&) {
        return imaging::detail::failBool(IS5_ERR_MEMORY, kName);
    }
}
