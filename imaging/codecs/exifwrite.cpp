// SPDX-License-Identifier: MIT
// Writing an EXIF/TIFF structure with every offset rebuilt, and the is5_EXIF reader and
// writer handles over it.
#include "imaging/codecs/exif.h"
#include "imaging/codecs/jpegmarkers.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

namespace imaging::detail {

namespace {

constexpr std::size_t kEntrySize = 12;

// Where an entry's value comes from when the structure is written.
enum class ValueSource : std::uint8_t { tag, chunkOffset, thumbnailLength, makerNote };

struct Entry {
    std::uint16_t tag = 0, type = kExifTypeLong;
    std::uint32_t count = 1;
    ValueSource source = ValueSource::tag;
    const ExifTag* value = nullptr; // ValueSource::tag and makerNote
    std::size_t chunk = 0;          // ValueSource::chunkOffset: the chunk pointed at
};

// The pieces of the structure, in the order they are laid out.
enum Chunk : std::size_t { kIfd0, kExif, kInterop, kGps, kIfd1, kThumbnail, kMakerNote, kChunkCount };

constexpr std::size_t even(std::size_t n) { return n + (n & 1); }

class Builder {
public:
    Builder(const ExifBlock& block) : m_block(block) {
        m_present[kIfd0] = true;
        m_present[kInterop] = !dir(ExifDirectory::interop).empty();
        m_present[kExif] = !dir(ExifDirectory::exif).empty() || m_present[kInterop];
        m_present[kGps] = !dir(ExifDirectory::gps).empty();
        m_present[kThumbnail] = !block.thumbnail.empty();
        m_present[kIfd1] = !dir(ExifDirectory::ifd1).empty() || m_present[kThumbnail];
        if (const ExifTag* note = block.find(ExifDirectory::exif, kExifTagMakerNote); note && note->value.size() > 4) {
            m_present[kMakerNote] = true;
            m_makerNote = note;
        }
        entries(kIfd0, ExifDirectory::ifd0, {{0x8769, kExif}, {0x8825, kGps}});
        entries(kExif, ExifDirectory::exif, {{0xA005, kInterop}});
        entries(kInterop, ExifDirectory::interop, {});
        entries(kGps, ExifDirectory::gps, {});
        entries(kIfd1, ExifDirectory::ifd1, {{0x0201, kThumbnail}});
        if (m_present[kIfd1] && m_present[kThumbnail]) {
            Entry length;
            length.tag = 0x0202;
            length.source = ValueSource::thumbnailLength;
            insertSorted(m_entries[kIfd1], length);
        }
        for (std::size_t c = 0; c < kChunkCount; ++c) m_size[c] = m_present[c] ? chunkSize(c) : 0;
    }

    std::vector<std::uint8_t> build(bool keepMakerNoteOffset) {
        layout(keepMakerNoteOffset);
        m_out.assign(m_total, 0);
        std::memcpy(m_out.data(), m_block.bigEndian ? "MM\0*" : "II*\0", 4);
        put32(4, static_cast<std::uint32_t>(m_offset[kIfd0]));
        for (std::size_t c : {kIfd0, kExif, kInterop, kGps, kIfd1})
            if (m_present[c]) writeDirectory(c);
        if (m_present[kThumbnail])
            std::memcpy(m_out.data() + m_offset[kThumbnail], m_block.thumbnail.data(), m_block.thumbnail.size());
        if (m_present[kMakerNote])
            std::memcpy(m_out.data() + m_offset[kMakerNote], m_makerNote->value.data(), m_makerNote->value.size());
        return std::move(m_out);
    }

private:
    const std::vector<ExifTag>& dir(ExifDirectory d) const { return m_block.directory(d); }

    static void insertSorted(std::vector<Entry>& list, const Entry& e) {
        auto pos = std::lower_bound(list.begin(), list.end(), e.tag,
                                    [](const Entry& a, std::uint16_t tag) { return a.tag < tag; });
        if (pos != list.end() && pos->tag == e.tag) *pos = e; // a pointer the writer makes wins
        else list.insert(pos, e);
    }

    void entries(std::size_t chunk, ExifDirectory d, std::initializer_list<std::pair<std::uint16_t, std::size_t>> pointers) {
        if (!m_present[chunk]) return;
        auto& list = m_entries[chunk];
        for (const ExifTag& t : dir(d)) {
            Entry e;
            e.tag = t.tag;
            e.type = t.type;
            e.count = t.count;
            e.value = &t;
            e.source = (&t == m_makerNote) ? ValueSource::makerNote : ValueSource::tag;
            list.push_back(e);
        }
        for (auto [tag, target] : pointers) {
            if (!m_present[target]) continue;
            Entry e;
            e.tag = tag;
            e.source = ValueSource::chunkOffset;
            e.chunk = target;
            insertSorted(list, e);
        }
    }

    std::size_t chunkSize(std::size_t c) const {
        if (c == kThumbnail) return m_block.thumbnail.size();
        if (c == kMakerNote) return m_makerNote->value.size();
        std::size_t size = 2 + m_entries[c].size() * kEntrySize + 4;
        for (const Entry& e : m_entries[c])
            if (e.source == ValueSource::tag && e.value->value.size() > 4) size += even(e.value->value.size());
        return size;
    }

    // Chunks in order from offset 8; the maker note at its source offset when that leaves
    // room for what comes before it, else after the Exif directory.
    void layout(bool keepMakerNoteOffset) {
        std::size_t pos = 8;
        const std::size_t wanted = m_block.makerNoteOffset;
        bool notePending = m_present[kMakerNote] && keepMakerNoteOffset && wanted >= 8;
        const bool noteAfterExif = m_present[kMakerNote] && !notePending; // also a note with no source offset
        auto placeNote = [&] {
            if (pos <= wanted) pos = wanted;
            m_offset[kMakerNote] = pos;
            pos = even(pos + m_size[kMakerNote]);
            notePending = false;
        };
        for (std::size_t c : {kIfd0, kExif, kInterop, kGps, kIfd1, kThumbnail}) {
            if (!m_present[c]) continue;
            if (notePending && pos + m_size[c] > wanted) placeNote();
            m_offset[c] = pos;
            pos = even(pos + m_size[c]);
            if (c == kExif && noteAfterExif) {
                m_offset[kMakerNote] = pos;
                pos = even(pos + m_size[kMakerNote]);
            }
        }
        if (notePending) placeNote();
        m_total = pos;
    }

    void put16(std::size_t at, std::uint16_t v) {
        if (m_block.bigEndian) { m_out[at] = static_cast<std::uint8_t>(v >> 8); m_out[at + 1] = static_cast<std::uint8_t>(v); }
        else { m_out[at] = static_cast<std::uint8_t>(v); m_out[at + 1] = static_cast<std::uint8_t>(v >> 8); }
    }
    void put32(std::size_t at, std::uint32_t v) {
        if (m_block.bigEndian) { put16(at, static_cast<std::uint16_t>(v >> 16)); put16(at + 2, static_cast<std::uint16_t>(v)); }
        else { put16(at, static_cast<std::uint16_t>(v)); put16(at + 2, static_cast<std::uint16_t>(v >> 16)); }
    }

    void writeDirectory(std::size_t c) {
        const auto& list = m_entries[c];
        std::size_t at = m_offset[c];
        std::size_t data = at + 2 + list.size() * kEntrySize + 4;
        put16(at, static_cast<std::uint16_t>(list.size()));
        at += 2;
        for (const Entry& e : list) {
            put16(at, e.tag);
            put16(at + 2, e.type);
            put32(at + 4, e.count);
            switch (e.source) {
            case ValueSource::chunkOffset: put32(at + 8, static_cast<std::uint32_t>(m_offset[e.chunk])); break;
            case ValueSource::thumbnailLength: put32(at + 8, static_cast<std::uint32_t>(m_size[kThumbnail])); break;
            case ValueSource::makerNote: put32(at + 8, static_cast<std::uint32_t>(m_offset[kMakerNote])); break;
            case ValueSource::tag: {
                const auto& v = e.value->value;
                if (v.size() <= 4) {
                    std::copy(v.begin(), v.end(), m_out.begin() + static_cast<std::ptrdiff_t>(at + 8));
                } else {
                    put32(at + 8, static_cast<std::uint32_t>(data));
                    std::copy(v.begin(), v.end(), m_out.begin() + static_cast<std::ptrdiff_t>(data));
                    data += even(v.size());
                }
                break;
            }
            }
            at += kEntrySize;
        }
        // IFD0 leads to IFD1; every other directory ends the chain.
        put32(at, c == kIfd0 && m_present[kIfd1] ? static_cast<std::uint32_t>(m_offset[kIfd1]) : 0);
    }

    const ExifBlock& m_block;
    const ExifTag* m_makerNote = nullptr;
    bool m_present[kChunkCount] = {};
    std::vector<Entry> m_entries[kChunkCount];
    std::size_t m_size[kChunkCount] = {};
    std::size_t m_offset[kChunkCount] = {};
    std::size_t m_total = 0;
    std::vector<std::uint8_t> m_out;
};

} // namespace

std::vector<std::uint8_t> buildExifTiff(const ExifBlock& block, bool keepMakerNoteOffset) {
    return Builder(block).build(keepMakerNoteOffset);
}

} // namespace imaging::detail

// ---- the is5_EXIF handles -----------------------------------------------------------------

using imaging::detail::ExifBlock;
using imaging::detail::ExifDirectory;
using imaging::detail::ExifTag;
using imaging::detail::fail;
using imaging::detail::failBool;
using imaging::detail::succeed;

struct Is5ExifReader {
    ExifBlock block;
};
struct Is5ExifWriter {
    ExifBlock block;
};

namespace {

// The "Exif\0\0" name that opens an EXIF APP1 segment.
constexpr std::uint8_t kExifName[6] = {'E', 'x', 'i', 'f', 0, 0};
// A JPEG marker segment holds at most 65535 bytes, two of them its length.
constexpr std::size_t kMaxSegmentData = 65533;

std::optional<ExifDirectory> directoryOf(std::uint32_t code) {
    if (code >= imaging::detail::kExifDirectoryCount) return std::nullopt;
    return static_cast<ExifDirectory>(code);
}

/// Swaps each value of `bytes` from host order to the block's order (a rational as its
/// two 4-byte halves).
void toBlockOrder(std::vector<std::uint8_t>& bytes, std::uint32_t type, bool bigEndian) {
    std::size_t unit = imaging::detail::exifTypeSize(static_cast<std::uint16_t>(type));
    if (type == 5 || type == 10) unit = 4;
    constexpr bool hostBig = std::endian::native == std::endian::big;
    if (unit < 2 || bigEndian == hostBig) return;
    for (std::size_t i = 0; i + unit <= bytes.size(); i += unit) std::reverse(bytes.begin() + i, bytes.begin() + i + unit);
}

} // namespace

IS5_EXIF_READER is5_EXIFCreateReader(IS5_SOURCE source) {
    constexpr const char* kName = "is5_EXIFCreateReader";
    if (!source) return fail<IS5_EXIF_READER>(IS5_ERR_PARAM, kName, nullptr);
    try {
        imaging::detail::JpegLayout layout;
        if (std::uint32_t rc = imaging::detail::readJpegLayout(*source, layout, false))
            return fail<IS5_EXIF_READER>(rc, kName, nullptr);
        for (const auto& segment : layout.segments) {
            if (segment.marker != 0xE1 || segment.data.size() < sizeof kExifName ||
                std::memcmp(segment.data.data(), kExifName, sizeof kExifName) != 0)
                continue;
            auto reader = std::make_unique<Is5ExifReader>();
            if (!imaging::detail::parseExifTiff(segment.data.data() + sizeof kExifName,
                                                segment.data.size() - sizeof kExifName, reader->block))
                return fail<IS5_EXIF_READER>(IS5_ERR_FORMAT, kName, nullptr);
            return succeed<IS5_EXIF_READER>(kName, reader.release());
        }
        return fail<IS5_EXIF_READER>(IS5_ERR_FORMAT, kName, nullptr);
    } catch (const std::bad_alloc&) {
        return fail<IS5_EXIF_READER>(IS5_ERR_MEMORY, kName, nullptr);
    }
}

void is5_EXIFDestroyReader(IS5_EXIF_READER reader) {
    delete reader;
    is5_SetLastError(IS5_OK, "is5_EXIFDestroyReader");
}

std::uint32_t is5_EXIFGetString(IS5_EXIF_READER reader, std::uint32_t directory, std::uint32_t tag, char* buffer,
                                std::uint32_t size) {
    constexpr const char* kName = "is5_EXIFGetString";
    const auto d = directoryOf(directory);
    if (!reader || !d || tag > 0xFFFF || (!buffer && size)) return fail<std::uint32_t>(IS5_ERR_PARAM, kName, 0);
    const ExifTag* t = reader->block.find(*d, static_cast<std::uint16_t>(tag));
    if (!t || (t->type != imaging::detail::kExifTypeAscii && t->type != imaging::detail::kExifTypeUndefined && t->type != 1))
        return fail<std::uint32_t>(IS5_ERR_FORMAT, kName, 0);
    const auto end = std::find(t->value.begin(), t->value.end(), std::uint8_t{0});
    const auto length = static_cast<std::uint32_t>(end - t->value.begin());
    if (size) {
        const std::uint32_t copied = std::min(length, size - 1);
        std::memcpy(buffer, t->value.data(), copied);
        buffer[copied] = '\0';
    }
    return succeed<std::uint32_t>(kName, length);
}

IS5_EXIF_WRITER is5_EXIFCreateWriter(std::uint32_t flags) {
    auto* writer = new (std::nothrow) Is5ExifWriter();
    if (!writer) return fail<IS5_EXIF_WRITER>(IS5_ERR_MEMORY, "is5_EXIFCreateWriter", nullptr);
    writer->block.bigEndian = (flags & IS5_EXIF_BIG_ENDIAN) != 0;
    return succeed<IS5_EXIF_WRITER>("is5_EXIFCreateWriter", writer);
}

void is5_EXIFDestroyWriter(IS5_EXIF_WRITER writer) {
    delete writer;
    is5_SetLastError(IS5_OK, "is5_EXIFDestroyWriter");
}

BOOL is5_EXIFCopyTagsToWriter(IS5_EXIF_READER reader, IS5_EXIF_WRITER writer) {
    constexpr const char* kName = "is5_EXIFCopyTagsToWriter";
    if (!reader || !writer) return failBool(IS5_ERR_PARAM, kName);
    try {
        writer->block = reader->block;
        return succeed<BOOL>(kName, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kName);
    }
}

BOOL is5_EXIFAddTag(IS5_EXIF_WRITER writer, std::uint32_t directory, std::uint32_t tag, std::uint32_t type,
                    std::uint32_t count, const void* value) {
    constexpr const char* kName = "is5_EXIFAddTag";
    const auto d = directoryOf(directory);
    const std::size_t unit = type <= 0xFFFF ? imaging::detail::exifTypeSize(static_cast<std::uint16_t>(type)) : 0;
    if (!writer || !d || tag > 0xFFFF || unit == 0 || count == 0 || !value || count > kMaxSegmentData / unit)
        return failBool(IS5_ERR_PARAM, kName);
    try {
        ExifTag t;
        t.tag = static_cast<std::uint16_t>(tag);
        t.type = static_cast<std::uint16_t>(type);
        t.count = count;
        const auto* p = static_cast<const std::uint8_t*>(value);
        t.value.assign(p, p + std::size_t{count} * unit);
        toBlockOrder(t.value, type, writer->block.bigEndian);
        writer->block.put(*d, std::move(t));
        return succeed<BOOL>(kName, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kName);
    }
}

HGLOBAL is5_EXIFWriteTags(IS5_EXIF_WRITER writer, std::uint32_t* size) {
    constexpr const char* kName = "is5_EXIFWriteTags";
    if (size) *size = 0;
    if (!writer || !size) return fail<HGLOBAL>(IS5_ERR_PARAM, kName, nullptr);
    try {
        std::vector<std::uint8_t> tiff = imaging::detail::buildExifTiff(writer->block, true);
        if (tiff.size() + sizeof kExifName > kMaxSegmentData) tiff = imaging::detail::buildExifTiff(writer->block, false);
        // The block must fit one marker segment.
        if (tiff.size() + sizeof kExifName > kMaxSegmentData) return fail<HGLOBAL>(IS5_ERR_WRITE, kName, nullptr);
        platform::UniqueGlobal block;
        if (!block.allocate(tiff.size() + sizeof kExifName)) return fail<HGLOBAL>(IS5_ERR_MEMORY, kName, nullptr);
        std::memcpy(block.data(), kExifName, sizeof kExifName);
        std::memcpy(block.data() + sizeof kExifName, tiff.data(), tiff.size());
        *size = static_cast<std::uint32_t>(block.size());
        return succeed<HGLOBAL>(kName, block.release());
    } catch (const std::bad_alloc&) {
        return fail<HGLOBAL>(IS5_ERR_MEMORY, kName, nullptr);
    }
}
