// SPDX-License-Identifier: MIT
// Fuzz target: the EXIF structure reader and writer. The input is a TIFF structure: what
// is read must write back into a structure that reads the same; and the same bytes in a
// JPEG's APP1 segment go through the is5_EXIF handles and the JPEG marker rewrite.
#include "fuzztarget.h"

#include "imaging/codecs/exif.h"
#include "imaging/codecs/jpegmarkers.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

bool sameTags(const imaging::detail::ExifBlock& a, const imaging::detail::ExifBlock& b) {
    for (std::size_t d = 0; d < imaging::detail::kExifDirectoryCount; ++d) {
        if (a.directories[d].size() != b.directories[d].size()) return false;
        for (std::size_t i = 0; i < a.directories[d].size(); ++i) {
            const auto &x = a.directories[d][i], &y = b.directories[d][i];
            if (x.tag != y.tag || x.type != y.type || x.count != y.count || x.value != y.value) return false;
        }
    }
    return a.thumbnail == b.thumbnail && a.bigEndian == b.bigEndian;
}

// A baseline-looking JPEG around one APP1 segment: enough for the marker walk.
std::vector<std::uint8_t> jpegAround(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> out = {0xFF, 0xD8, 0xFF, 0xE1, std::uint8_t((size + 8) >> 8), std::uint8_t(size + 8),
                                     'E',  'x',  'i',  'f',  0,    0};
    out.insert(out.end(), data, data + size);
    const std::uint8_t tail[] = {0xFF, 0xC0, 0, 11, 8, 0, 16, 0, 16, 1, 1, 0x11, 0,
                                 0xFF, 0xDA, 0, 8,  1, 1, 0,  0, 63, 0, 0xFF, 0xD9};
    out.insert(out.end(), std::begin(tail), std::end(tail));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::setUp();
    imaging::detail::ExifBlock block, again;
    // Blocks at the reader's limits (entries per directory, value bytes) may lose different
    // entries on the second reading; the round trip holds below them.
    std::size_t entries = 0, valueBytes = 0;
    const bool parsed = imaging::detail::parseExifTiff(data, size, block);
    for (const auto& d : block.directories) {
        entries = std::max(entries, d.size());
        for (const auto& t : d) valueBytes += t.value.size();
    }
    if (parsed && entries < 4000 && valueBytes + block.thumbnail.size() < (std::size_t{1} << 19)) {
        const std::vector<std::uint8_t> written = imaging::detail::buildExifTiff(block);
        if (!imaging::detail::parseExifTiff(written.data(), written.size(), again) || !sameTags(block, again)) std::abort();
    }
    if (size > 65000) return 0;
    const std::vector<std::uint8_t> jpeg = jpegAround(data, size);
    return fuzz::onSource(jpeg.data(), jpeg.size(), "fuzz.jpg", [](IS5_SOURCE source) {
        IS5_EXIF_READER reader = is5_EXIFCreateReader(source);
        IS5_EXIF_WRITER writer = is5_EXIFCreateWriter(0);
        char text[64];
        is5_EXIFGetString(reader, IS5_EXIF_IFD0, 0x010E, text, sizeof text);
        is5_EXIFCopyTagsToWriter(reader, writer);
        is5_EXIFAddTag(writer, IS5_EXIF_IFD_EXIF, 0x9003, 2, 4, "abc");
        std::uint32_t bytes = 0;
        HGLOBAL exif = is5_EXIFWriteTags(writer, &bytes);
        is5_ClearJPGOutputMarkers();
        if (exif && is5_ReadJPGMarkers(source) && is5_CopyJPGInputMetadataToOutputMetadata() &&
            is5_ReplaceJPGOutputMarker(0xE1, static_cast<const std::uint8_t*>(GlobalLock(exif)), bytes)) {
            IS5_DEST dest = is5_OpenMemoryDest();
            imaging::detail::writeJpegWithOutputMarkers(*source, dest);
            is5_CloseDest(dest);
        }
        is5_ClearJPGOutputMarkers();
        if (exif) GlobalFree(exif);
        is5_EXIFDestroyWriter(writer);
        is5_EXIFDestroyReader(reader);
    });
}
