// SPDX-License-Identifier: MIT
// Hand-built WMF and EMF files for the tests: a header, the records given, the end record.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace metafilebuild {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void put32(Bytes& b, std::uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void set32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}
// `s` in `width` characters, padded with zeros; two bytes a character when `wide`.
inline Bytes text(const std::string& s, std::size_t width, bool wide) {
    Bytes b;
    for (std::size_t i = 0; i < width; ++i) {
        b.push_back(i < s.size() ? static_cast<std::uint8_t>(s[i]) : 0);
        if (wide) b.push_back(0);
    }
    return b;
}

// An EMF whose reference device has 96 pixels per inch, so that at 100 % one device pixel
// is one picture pixel. Sides must be multiples of 24 for the frame to be exact.
class Emf {
public:
    explicit Emf(int width = 96, int height = 48, std::uint32_t handles = 8) {
        put32(m_b, 1);
        put32(m_b, 88);
        for (std::uint32_t v : {0, 0, width - 1, height - 1}) put32(m_b, v);
        for (std::uint32_t v : {0, 0, width * 2540 / 96, height * 2540 / 96}) put32(m_b, v);
        put32(m_b, 0x464D4520);
        put32(m_b, 0x10000);
        put32(m_b, 0); // nBytes, patched
        put32(m_b, 0); // nRecords, patched
        put16(m_b, handles);
        put16(m_b, 0);
        for (int i = 0; i < 3; ++i) put32(m_b, 0);
        for (std::uint32_t v : {960, 960, 254, 254}) put32(m_b, v);
        m_records = 1;
    }
    Emf& rec(std::uint32_t type, std::initializer_list<std::int64_t> params, const Bytes& tail = {}) {
        put32(m_b, type);
        put32(m_b, static_cast<std::uint32_t>(8 + params.size() * 4 + tail.size()));
        for (std::int64_t p : params) put32(m_b, static_cast<std::uint32_t>(p));
        m_b.insert(m_b.end(), tail.begin(), tail.end());
        ++m_records;
        return *this;
    }
    // A record whose size field says `size` whatever follows.
    Emf& rawSize(std::uint32_t type, std::uint32_t size) {
        put32(m_b, type);
        put32(m_b, size);
        ++m_records;
        return *this;
    }
    Emf& frame(std::int32_t right, std::int32_t bottom) {
        set32(m_b, 32, static_cast<std::uint32_t>(right));
        set32(m_b, 36, static_cast<std::uint32_t>(bottom));
        return *this;
    }
    Emf& brush(std::uint32_t index, std::uint32_t colour, std::uint32_t style = 0, std::uint32_t hatch = 0) {
        return rec(39, {index, style, colour, hatch}).rec(37, {index});
    }
    Emf& nullPen() { return rec(37, {0x80000008}); }
    // A font made in `index` and selected; the face name in UTF-16.
    Emf& font(std::uint32_t index, int height, int weight, int escapement, const std::string& face) {
        return rec(82, {index, height, 0, escapement, 0, weight, 0, 0}, text(face, 32, true)).rec(37, {index});
    }
    // EXTTEXTOUTW of `s` at x, y: no clipping, no advances.
    Emf& textOut(const std::string& s, int x, int y) {
        const std::size_t padded = (s.size() + 1) & ~std::size_t{1};
        return rec(84, {0, 0, 0, 0, 1, 0, 0, x, y, static_cast<std::int64_t>(s.size()), 76, 0, 0, 0, 0, 0, 0},
                   text(s, padded, true));
    }
    Bytes bytes() const {
        Bytes b = m_b;
        for (std::uint32_t v : {14u, 20u, 0u, 16u, 20u}) put32(b, v);
        set32(b, 48, static_cast<std::uint32_t>(b.size()));
        set32(b, 52, m_records + 1);
        return b;
    }

private:
    Bytes m_b;
    std::uint32_t m_records = 0;
};

// A WMF whose box is width × height units at 96 units per inch; without the placeable
// header the size comes from its window extent or what it draws.
class Wmf {
public:
    explicit Wmf(int width = 96, int height = 48, std::uint16_t objects = 8, bool placeable = true) {
        if (placeable) {
            put32(m_b, 0x9AC6CDD7);
            put16(m_b, 0);
            for (std::uint32_t v : {0, 0, width, height, 96}) put16(m_b, v);
            put32(m_b, 0);
            put16(m_b, 0);
        }
        m_header = m_b.size();
        for (std::uint32_t v : {1, 9, 0x300}) put16(m_b, v);
        put32(m_b, 0); // size in words, patched
        put16(m_b, objects);
        put32(m_b, 0);
        put16(m_b, 0);
    }
    Wmf& rec(std::uint16_t function, std::initializer_list<std::int32_t> params, const Bytes& tail = {}) {
        put32(m_b, static_cast<std::uint32_t>(3 + params.size() + (tail.size() + 1) / 2));
        put16(m_b, function);
        for (std::int32_t p : params) put16(m_b, static_cast<std::uint32_t>(p) & 0xFFFF);
        m_b.insert(m_b.end(), tail.begin(), tail.end());
        if (tail.size() % 2) m_b.push_back(0);
        return *this;
    }
    Wmf& rawSize(std::uint16_t function, std::uint32_t words) {
        put32(m_b, words);
        put16(m_b, function);
        return *this;
    }
    Wmf& brush(std::uint32_t colour, std::uint16_t style = 0) {
        const auto low = static_cast<std::int32_t>(colour & 0xFFFF), high = static_cast<std::int32_t>(colour >> 16);
        return rec(0x02FC, {style, low, high, 0});
    }
    Wmf& font(int height, int weight, int escapement, bool italic, const std::string& face) {
        return rec(0x02FB, {height, 0, escapement, 0, weight, italic ? 1 : 0, 0, 0, 0}, text(face, 32, false));
    }
    Wmf& select(int index) { return rec(0x012D, {index}); }
    Wmf& rectangle(int l, int t, int r, int b) { return rec(0x041B, {b, r, t, l}); }
    // TEXTOUT: the count, the characters padded to a word, then y and x.
    Wmf& textOut(const std::string& s, int x, int y) {
        Bytes tail = text(s, s.size() + (s.size() & 1), false);
        put16(tail, static_cast<std::uint32_t>(y));
        put16(tail, static_cast<std::uint32_t>(x));
        return rec(0x0521, {static_cast<std::int32_t>(s.size())}, tail);
    }
    Bytes bytes() const {
        Bytes b = m_b;
        put32(b, 3);
        put16(b, 0);
        set32(b, m_header + 6, static_cast<std::uint32_t>((b.size() - m_header) / 2));
        return b;
    }

private:
    Bytes m_b;
    std::size_t m_header = 0;
};

} // namespace metafilebuild
