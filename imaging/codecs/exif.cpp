// SPDX-License-Identifier: MIT
// Reading the orientation and resolution tags from IFD0 of an EXIF/TIFF structure.
#include "imaging/codecs/exif.h"

#include <cstring>

namespace imaging::detail {

namespace {

constexpr std::uint16_t kTagXResolution = 0x011A;
constexpr std::uint16_t kTagYResolution = 0x011B;
constexpr std::uint16_t kTagResolutionUnit = 0x0128;
constexpr std::uint16_t kTagOrientation = 0x0112;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeRational = 5;
constexpr std::size_t kEntrySize = 12;

class TiffView {
public:
    TiffView(const std::uint8_t* data, std::size_t size, bool bigEndian)
        : m_data(data), m_size(size), m_bigEndian(bigEndian) {}

    bool has(std::uint64_t offset, std::uint64_t bytes) const { return offset <= m_size && bytes <= m_size - offset; }
    std::uint16_t u16(std::size_t at) const {
        return m_bigEndian ? static_cast<std::uint16_t>((m_data[at] << 8) | m_data[at + 1])
                           : static_cast<std::uint16_t>(m_data[at] | (m_data[at + 1] << 8));
    }
    std::uint32_t u32(std::size_t at) const {
        return m_bigEndian ? (std::uint32_t{u16(at)} << 16) | u16(at + 2) : u16(at) | (std::uint32_t{u16(at + 2)} << 16);
    }
    /// A short or long value held in an entry's value field.
    bool integer(std::size_t entry, std::uint32_t& value) const {
        std::uint16_t type = u16(entry + 2);
        if (u32(entry + 4) < 1) return false;
        if (type == kTypeShort) value = u16(entry + 8);
        else if (type == kTypeLong) value = u32(entry + 8);
        else return false;
        return true;
    }
    /// A rational whose eight bytes lie at the offset in the entry's value field.
    bool rational(std::size_t entry, double& value) const {
        if (u16(entry + 2) != kTypeRational || u32(entry + 4) < 1) return false;
        std::uint32_t at = u32(entry + 8);
        if (!has(at, 8)) return false;
        std::uint32_t num = u32(at), den = u32(at + 4);
        if (den == 0) return false;
        value = static_cast<double>(num) / den;
        return true;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    bool m_bigEndian;
};

} // namespace

bool readTiffIfd0(const std::uint8_t* data, std::size_t size, ExifFacts& facts) {
    facts = ExifFacts{};
    if (!data || size < 8) return false;
    bool bigEndian;
    if (std::memcmp(data, "II*\0", 4) == 0) bigEndian = false;
    else if (std::memcmp(data, "MM\0*", 4) == 0) bigEndian = true;
    else return false;
    TiffView view(data, size, bigEndian);
    std::uint32_t ifd = view.u32(4);
    if (!view.has(ifd, 2)) return true;
    std::uint32_t count = view.u16(ifd);
    bool haveX = false, haveY = false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint64_t entry = std::uint64_t{ifd} + 2 + std::uint64_t{i} * kEntrySize;
        if (!view.has(entry, kEntrySize)) break;
        auto at = static_cast<std::size_t>(entry);
        std::uint32_t value = 0;
        switch (view.u16(at)) {
        case kTagOrientation:
            if (view.integer(at, value) && value >= 1 && value <= 8) facts.orientation = static_cast<int>(value);
            break;
        case kTagResolutionUnit:
            if (view.integer(at, value) && value >= 1 && value <= 3) facts.resolutionUnit = static_cast<int>(value);
            break;
        case kTagXResolution: haveX = view.rational(at, facts.xResolution); break;
        case kTagYResolution: haveY = view.rational(at, facts.yResolution); break;
        default: break;
        }
    }
    facts.hasResolution = haveX && haveY;
    if (!facts.hasResolution) facts.xResolution = facts.yResolution = 0.0;
    return true;
}

bool readExifSegment(const std::uint8_t* data, std::size_t size, ExifFacts& facts) {
    static constexpr char kName[6] = {'E', 'x', 'i', 'f', '\0', '\0'};
    facts = ExifFacts{};
    if (!data || size < sizeof kName || std::memcmp(data, kName, sizeof kName) != 0) return false;
    return readTiffIfd0(data + sizeof kName, size - sizeof kName, facts);
}

} // namespace imaging::detail
