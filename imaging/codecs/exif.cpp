// SPDX-License-Identifier: MIT
// Reading an EXIF/TIFF structure: the orientation and resolution tags of IFD0, or every
// directory for a rewrite.
#include "imaging/codecs/exif.h"

#include <algorithm>
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
constexpr std::uint16_t kTypeIfd = 13;
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
    const std::uint8_t* bytes(std::size_t at) const { return m_data + at; }
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

namespace {

constexpr std::uint16_t kTagExifPointer = 0x8769;
constexpr std::uint16_t kTagGpsPointer = 0x8825;
constexpr std::uint16_t kTagInteropPointer = 0xA005;
constexpr std::uint16_t kTagThumbnailOffset = 0x0201;
constexpr std::uint16_t kTagThumbnailLength = 0x0202;
// Fields whose values are offsets to data this code does not carry (strips, tiles, further
// sub-directories): copied, they would point at the wrong bytes, so they are left out.
constexpr std::uint16_t kForeignOffsetTags[] = {0x0111, 0x0117, 0x0144, 0x0145, 0x014A};
// Most entries read from one directory, and most value bytes copied from the whole
// structure (entries may share their data, so the copies could otherwise grow without end).
constexpr std::uint32_t kMaxEntries = 4096;
constexpr std::size_t kMaxValueBytes = std::size_t{1} << 20;

class TiffParser {
public:
    TiffParser(const TiffView& view, ExifBlock& block) : m_view(view), m_block(block) {}

    /// Reads the directory at `offset` into `d`; returns the offset of the next one (0 when
    /// there is none or it cannot be read). Pointers to sub-directories are followed from
    /// their own parents only, so the walk cannot loop.
    std::uint32_t directory(std::uint32_t offset, ExifDirectory d) {
        if (offset < 8 || !m_view.has(offset, 2)) return 0;
        const std::uint32_t count = std::min<std::uint32_t>(m_view.u16(offset), kMaxEntries);
        std::uint32_t thumbOffset = 0, thumbLength = 0;
        bool haveThumbOffset = false, haveThumbLength = false;
        std::uint32_t read = 0;
        for (; read < count; ++read) {
            const std::uint64_t entry = std::uint64_t{offset} + 2 + std::uint64_t{read} * kEntrySize;
            if (!m_view.has(entry, kEntrySize)) break;
            const auto at = static_cast<std::size_t>(entry);
            const std::uint16_t tag = m_view.u16(at);
            std::uint32_t pointer = 0;
            const bool isPointer = offsetValue(at, pointer);
            if (d == ExifDirectory::ifd0 && tag == kTagExifPointer) {
                if (isPointer) directory(pointer, ExifDirectory::exif);
                continue;
            }
            if (d == ExifDirectory::ifd0 && tag == kTagGpsPointer) {
                if (isPointer) directory(pointer, ExifDirectory::gps);
                continue;
            }
            if (d == ExifDirectory::exif && tag == kTagInteropPointer) {
                if (isPointer) directory(pointer, ExifDirectory::interop);
                continue;
            }
            if (d == ExifDirectory::ifd1 && tag == kTagThumbnailOffset) {
                haveThumbOffset = isPointer;
                thumbOffset = pointer;
                continue;
            }
            if (d == ExifDirectory::ifd1 && tag == kTagThumbnailLength) {
                haveThumbLength = isPointer;
                thumbLength = pointer;
                continue;
            }
            if (std::find(std::begin(kForeignOffsetTags), std::end(kForeignOffsetTags), tag) != std::end(kForeignOffsetTags))
                continue;
            field(at, d);
        }
        if (haveThumbOffset && haveThumbLength && thumbLength > 0 && m_view.has(thumbOffset, thumbLength) &&
            takeBytes(thumbLength))
            m_block.thumbnail.assign(m_view.bytes(thumbOffset), m_view.bytes(thumbOffset) + thumbLength);
        if (read < m_view.u16(offset)) return 0; // the directory is cut: what follows it is not trusted
        const std::uint64_t next = std::uint64_t{offset} + 2 + std::uint64_t{count} * kEntrySize;
        return m_view.has(next, 4) ? m_view.u32(static_cast<std::size_t>(next)) : 0;
    }

private:
    /// An entry's single SHORT, LONG or IFD value.
    bool offsetValue(std::size_t at, std::uint32_t& value) const {
        if (m_view.u16(at + 2) == kTypeIfd && m_view.u32(at + 4) >= 1) {
            value = m_view.u32(at + 8);
            return true;
        }
        return m_view.integer(at, value);
    }

    bool takeBytes(std::size_t n) {
        if (n > kMaxValueBytes - m_valueBytes) return false;
        m_valueBytes += n;
        return true;
    }

    void field(std::size_t at, ExifDirectory d) {
        ExifTag t;
        t.tag = m_view.u16(at);
        t.type = m_view.u16(at + 2);
        t.count = m_view.u32(at + 4);
        const std::size_t unit = exifTypeSize(t.type);
        if (unit == 0) return;
        const std::uint64_t bytes = std::uint64_t{t.count} * unit;
        std::uint64_t valueAt = at + 8;
        if (bytes > 4) valueAt = m_view.u32(at + 8);
        if (!m_view.has(valueAt, bytes) || !takeBytes(static_cast<std::size_t>(bytes))) return;
        const auto* p = m_view.bytes(static_cast<std::size_t>(valueAt));
        t.value.assign(p, p + bytes);
        auto& tags = m_block.directory(d);
        auto pos = std::lower_bound(tags.begin(), tags.end(), t.tag,
                                    [](const ExifTag& a, std::uint16_t tag) { return a.tag < tag; });
        if (pos != tags.end() && pos->tag == t.tag) return; // a repeated tag: the first one counts
        if (d == ExifDirectory::exif && t.tag == kExifTagMakerNote && bytes > 4)
            m_block.makerNoteOffset = static_cast<std::uint32_t>(valueAt);
        tags.insert(pos, std::move(t));
    }

    const TiffView& m_view;
    ExifBlock& m_block;
    std::size_t m_valueBytes = 0;
};

} // namespace

std::size_t exifTypeSize(std::uint16_t type) {
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                   // SHORT, SSHORT
    case 4: case 9: case 11: case 13: return 4; // LONG, SLONG, FLOAT, IFD
    case 5: case 10: case 12: return 8;         // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
    }
}

const ExifTag* ExifBlock::find(ExifDirectory d, std::uint16_t tag) const {
    for (const ExifTag& t : directory(d))
        if (t.tag == tag) return &t;
    return nullptr;
}

void ExifBlock::put(ExifDirectory d, ExifTag tag) {
    auto& tags = directory(d);
    auto pos = std::lower_bound(tags.begin(), tags.end(), tag.tag,
                                [](const ExifTag& a, std::uint16_t t) { return a.tag < t; });
    if (pos != tags.end() && pos->tag == tag.tag) *pos = std::move(tag);
    else tags.insert(pos, std::move(tag));
}

bool parseExifTiff(const std::uint8_t* data, std::size_t size, ExifBlock& block) {
    block = ExifBlock{};
    if (!data || size < 8) return false;
    if (std::memcmp(data, "II*\0", 4) == 0) block.bigEndian = false;
    else if (std::memcmp(data, "MM\0*", 4) == 0) block.bigEndian = true;
    else return false;
    TiffView view(data, size, block.bigEndian);
    TiffParser parser(view, block);
    const std::uint32_t ifd1 = parser.directory(view.u32(4), ExifDirectory::ifd0);
    if (ifd1 != 0 && ifd1 != view.u32(4)) parser.directory(ifd1, ExifDirectory::ifd1);
    return true;
}

bool readExifSegment(const std::uint8_t* data, std::size_t size, ExifFacts& facts) {
    static constexpr char kName[6] = {'E', 'x', 'i', 'f', '\0', '\0'};
    facts = ExifFacts{};
    if (!data || size < sizeof kName || std::memcmp(data, kName, sizeof kName) != 0) return false;
    return readTiffIfd0(data + sizeof kName, size - sizeof kName, facts);
}

} // namespace imaging::detail
