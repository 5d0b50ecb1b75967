// SPDX-License-Identifier: MIT
// Walking a JPEG's marker segments up to its first scan, the per-thread input list, and
// the rewrite that swaps APPn and COM segments without touching any other byte.
#include "imaging/codecs/jpegmarkers.h"

#include "imaging/codecs/outputlists.h"
#include "imaging/detail/bytereader.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace imaging::detail {

namespace {

// More segments than any real file has before its scan; a file of nothing but tiny
// segments cannot make the list grow without end.
constexpr std::size_t kMaxSegments = 8192;

thread_local JpegLayout t_inputLayout;

constexpr bool isFrameMarker(std::uint8_t m) {
    return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

/// The name an APPn body starts with, up to and including its zero ("Exif\0"); the whole
/// body's first bytes when there is no zero among them.
std::size_t nameLength(const std::vector<std::uint8_t>& data) {
    constexpr std::size_t kLongestName = 80;
    const auto end = data.begin() + static_cast<std::ptrdiff_t>(std::min(data.size(), kLongestName));
    const auto zero = std::find(data.begin(), end, std::uint8_t{0});
    return zero == end ? 0 : static_cast<std::size_t>(zero - data.begin()) + 1;
}

bool sameName(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    const std::size_t n = nameLength(a);
    return n == nameLength(b) && std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(n), b.begin());
}

bool writeSegment(IS5_DEST dest, std::uint8_t marker, const std::vector<std::uint8_t>& data) {
    const std::size_t length = data.size() + 2;
    const std::uint8_t head[4] = {0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    return length <= 0xFFFF && is5_WriteDest(dest, head, 4) && is5_WriteDest(dest, data.data(), data.size());
}

} // namespace

bool copySourceRange(Is5Source& source, IS5_DEST dest, std::uint64_t from, std::uint64_t to) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(to - from, 1 << 16)));
    if (!source.seek(from)) return false;
    while (from < to) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(to - from, buffer.size()));
        if (source.read(buffer.data(), n) != n || !is5_WriteDest(dest, buffer.data(), n)) return false;
        from += n;
    }
    return true;
}

std::uint32_t readJpegLayout(Is5Source& source, JpegLayout& layout, bool requireScan) {
    layout = JpegLayout{};
    if (!source.seek(0)) return IS5_ERR_READ;
    layout.fileSize = source.size();
    ByteReader in(source);
    if (in.u8() != 0xFF || in.u8() != 0xD8 || !in.ok()) return IS5_ERR_FORMAT;
    // What ends the walk early: a cut or damaged file, or EOI before any scan.
    auto stop = [&](std::uint32_t code) { return requireScan ? code : IS5_OK; };
    for (;;) {
        // Bytes that are not a marker are skipped as decoders skip them; they stay in the
        // file as the gaps between segments.
        std::uint8_t b = in.u8();
        while (in.ok() && b != 0xFF) b = in.u8();
        std::uint64_t start = in.tell() - 1;
        std::uint8_t marker = in.u8();
        while (in.ok() && marker == 0xFF) {
            start = in.tell() - 1;
            marker = in.u8();
        }
        if (!in.ok()) return stop(IS5_ERR_READ);
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue; // no length
        if (marker == 0xD8 || marker == 0xD9) return stop(IS5_ERR_FORMAT);
        if (marker == 0xDA) {
            if (!layout.hasFrame) return stop(IS5_ERR_FORMAT);
            layout.scanOffset = start;
            return IS5_OK;
        }
        const std::uint16_t length = in.u16be();
        if (!in.ok()) return stop(IS5_ERR_READ);
        if (length < 2) return stop(IS5_ERR_FORMAT);
        if (length - 2u > in.remaining()) return stop(IS5_ERR_READ);
        if (layout.segments.size() >= kMaxSegments) return stop(IS5_ERR_FORMAT);
        JpegSegment segment;
        segment.marker = marker;
        segment.offset = start;
        segment.length = std::uint32_t{length} + 2;
        const std::uint64_t end = start + segment.length;
        if (isMetadataMarker(marker)) {
            segment.data.resize(length - 2u);
            in.read(segment.data.data(), segment.data.size());
        } else if (isFrameMarker(marker) && length >= 8 && !layout.hasFrame) {
            in.u8(); // sample precision
            layout.height = in.u16be();
            layout.width = in.u16be();
            layout.hasFrame = true;
        }
        if (!in.seek(end)) return stop(IS5_ERR_READ);
        layout.segments.push_back(std::move(segment));
    }
}

const JpegLayout& jpegInputLayout() { return t_inputLayout; }

std::uint32_t writeJpegWithOutputMarkers(Is5Source& source, IS5_DEST dest) {
    const JpegLayout& layout = t_inputLayout;
    if (!dest || layout.scanOffset == 0 || layout.fileSize != source.size()) return IS5_ERR_PARAM;
    const auto& markers = jpegOutputMarkers();
    auto writeAdded = [&] {
        for (const auto& m : markers)
            if (m.inputIndex < 0 && !writeSegment(dest, m.marker, m.data)) return false;
        return true;
    };
    // Added segments go after the APP0 segments (JFIF and its extensions) that open the file.
    std::size_t leadingApp0 = 0;
    while (leadingApp0 < layout.segments.size() && layout.segments[leadingApp0].marker == 0xE0 &&
           layout.segments[leadingApp0].offset == (leadingApp0 == 0 ? 2 : layout.segments[leadingApp0 - 1].offset +
                                                                            layout.segments[leadingApp0 - 1].length))
        ++leadingApp0;

    if (!copySourceRange(source, dest, 0, 2)) return IS5_ERR_WRITE;
    if (leadingApp0 == 0 && !writeAdded()) return IS5_ERR_WRITE;
    std::uint64_t position = 2;
    for (std::size_t i = 0; i < layout.segments.size(); ++i) {
        const JpegSegment& segment = layout.segments[i];
        if (!copySourceRange(source, dest, position, segment.offset)) return IS5_ERR_WRITE;
        position = segment.offset + segment.length;
        if (!isMetadataMarker(segment.marker)) {
            if (!copySourceRange(source, dest, segment.offset, position)) return IS5_ERR_WRITE;
        } else {
            const auto kept = std::find_if(markers.begin(), markers.end(),
                                           [&](const JpegOutputMarker& m) { return m.inputIndex == static_cast<int>(i); });
            if (kept != markers.end()) {
                const bool same = kept->marker == segment.marker && kept->data == segment.data;
                if (same ? !copySourceRange(source, dest, segment.offset, position)
                         : !writeSegment(dest, kept->marker, kept->data))
                    return IS5_ERR_WRITE;
            }
        }
        if (i + 1 == leadingApp0 && !writeAdded()) return IS5_ERR_WRITE;
    }
    if (!copySourceRange(source, dest, position, layout.fileSize)) return IS5_ERR_WRITE;
    return IS5_OK;
}

} // namespace imaging::detail

using imaging::detail::failBool;
using imaging::detail::succeed;

BOOL is5_ReadJPGMarkers(IS5_SOURCE source) {
    constexpr const char* kName = "is5_ReadJPGMarkers";
    if (!source) return failBool(IS5_ERR_PARAM, kName);
    try {
        imaging::detail::JpegLayout layout;
        if (std::uint32_t rc = imaging::detail::readJpegLayout(*source, layout, true)) {
            imaging::detail::t_inputLayout = {};
            return failBool(rc, kName);
        }
        imaging::detail::t_inputLayout = std::move(layout);
        return succeed<BOOL>(kName, TRUE);
    } catch (const std::bad_alloc&) {
        imaging::detail::t_inputLayout = {};
        return failBool(IS5_ERR_MEMORY, kName);
    }
}

BOOL is5_CopyJPGInputMetadataToOutputMetadata() {
    constexpr const char* kName = "is5_CopyJPGInputMetadataToOutputMetadata";
    try {
        auto& out = imaging::detail::mutableJpegOutputMarkers();
        const auto& segments = imaging::detail::t_inputLayout.segments;
        for (std::size_t i = 0; i < segments.size(); ++i) {
            if (!imaging::detail::isMetadataMarker(segments[i].marker)) continue;
            out.push_back({segments[i].marker, segments[i].data, static_cast<int>(i)});
        }
        return succeed<BOOL>(kName, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kName);
    }
}

BOOL is5_ReplaceJPGOutputMarker(std::uint32_t marker, const std::uint8_t* data, std::uint32_t size) {
    constexpr const char* kName = "is5_ReplaceJPGOutputMarker";
    constexpr std::uint32_t kMaxSegmentData = 65533;
    if (marker > 0xFF || !imaging::detail::isMetadataMarker(static_cast<std::uint8_t>(marker)) || (!data && size) ||
        size > kMaxSegmentData)
        return failBool(IS5_ERR_PARAM, kName);
    try {
        std::vector<std::uint8_t> bytes(data, data + size);
        auto& out = imaging::detail::mutableJpegOutputMarkers();
        auto it = std::find_if(out.begin(), out.end(), [&](const imaging::detail::JpegOutputMarker& m) {
            return m.marker == marker && imaging::detail::sameName(m.data, bytes);
        });
        if (it != out.end()) it->data = std::move(bytes);
        else out.push_back({static_cast<std::uint8_t>(marker), std::move(bytes), -1});
        return succeed<BOOL>(kName, TRUE);
    } catch (const std::bad_alloc&) {
        return failBool(IS5_ERR_MEMORY, kName);
    }
}
