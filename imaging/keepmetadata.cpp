// SPDX-License-Identifier: MIT
// EXIF and XMP carried from a source picture into its resized copy. The EXIF block goes
// through the one EXIF reader and writer (parseExifTiff, buildExifTiff): directories are
// rebuilt, each kept tag's value is copied as it was.
#include "imaging/keepmetadata.h"

#include "imaging/codecs/exif.h"
#include "imaging/codecs/jpegmarkers.h"
#include "imaging/codecs/pngtext.h"
#include "imaging/codecs/webpchunks.h"
#include "imaging/detail/source.h"
#include "imaging/detail/wholefile.h"
#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;
using detail::ExifBlock;
using detail::ExifDirectory;
using detail::ExifTag;

constexpr std::uint8_t kExifName[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr char kXmpName[] = "http://ns.adobe.com/xap/1.0/"; // and its 0 byte
constexpr std::size_t kXmpNameSize = sizeof kXmpName;
constexpr char kPngXmpKey[] = "XML:com.adobe.xmp";
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kMaxSegmentData = 65533; // a marker segment's body, its length field aside
constexpr std::size_t kMaxWebpChunk = 8u << 20; // an EXIF or XMP chunk kept from a WebP, as PNG text is bounded

constexpr std::uint16_t kTagImageWidth = 0x0100, kTagImageLength = 0x0101, kTagOrientation = 0x0112;
constexpr std::uint16_t kTagPixelXDimension = 0xA002, kTagPixelYDimension = 0xA003;
constexpr std::uint16_t kTagCameraSerialNumber = 0xC62F; // IFD0 (DNG)
constexpr std::uint16_t kPrivateExifTags[] = {detail::kExifTagMakerNote, 0xA430 /* CameraOwnerName */,
                                              0xA431 /* BodySerialNumber */, 0xA435 /* LensSerialNumber */};

struct SourceCloser {
    void operator()(Is5Source* source) const { is5_CloseSource(source); }
};

std::uint32_t be32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
void putBe16(Bytes& out, std::uint32_t v) { out.insert(out.end(), {std::uint8_t(v >> 8), std::uint8_t(v)}); }
void putBe32(Bytes& out, std::uint32_t v) {
    putBe16(out, v >> 16);
    putBe16(out, v & 0xFFFF);
}

bool startsWith(const Bytes& data, const void* name, std::size_t size) {
    return data.size() >= size && std::memcmp(data.data(), name, size) == 0;
}

void readJpeg(Is5Source& source, KeptMetadata& kept) {
    detail::JpegLayout layout;
    if (detail::readJpegLayout(source, layout, false) != IS5_OK) return;
    for (const detail::JpegSegment& segment : layout.segments) {
        if (segment.marker != 0xE1) continue;
        if (kept.exif.empty() && startsWith(segment.data, kExifName, sizeof kExifName))
            kept.exif.assign(segment.data.begin() + sizeof kExifName, segment.data.end());
        else if (kept.xmp.empty() && startsWith(segment.data, kXmpName, kXmpNameSize))
            kept.xmp.assign(segment.data.begin() + kXmpNameSize, segment.data.end());
    }
}

void readPng(const std::string& path, Is5Source& source, KeptMetadata& kept) {
    detail::PngLayout layout;
    if (detail::readPngLayout(source, layout) != IS5_OK) return;
    for (const detail::PngTextChunk& text : layout.texts)
        if (text.textRead && text.key == kPngXmpKey) {
            kept.xmp = text.text;
            break;
        }
    Bytes file;
    if (!imaging::detail::readWholeFile(path, file)) return;
    for (std::size_t at = 8; at + 12 <= file.size();) {
        const std::uint32_t length = be32(&file[at]);
        if (length > file.size() - at - 12) break;
        if (!std::memcmp(&file[at + 4], "eXIf", 4)) {
            kept.exif.assign(file.begin() + static_cast<std::ptrdiff_t>(at + 8),
                             file.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
            break;
        }
        if (!std::memcmp(&file[at + 4], "IEND", 4)) break;
        at += std::size_t{length} + 12;
    }
}

// WebP's EXIF chunk holds the TIFF structure; some writers put JPEG's "Exif\0\0" before it.
void readWebp(const std::string& path, KeptMetadata& kept) {
    kept.exif = detail::ReadWebpChunk(path, "EXIF", kMaxWebpChunk);
    if (startsWith(kept.exif, kExifName, sizeof kExifName))
        kept.exif.erase(kept.exif.begin(), kept.exif.begin() + sizeof kExifName);
    const Bytes xmp = detail::ReadWebpChunk(path, "XMP ", kMaxWebpChunk);
    kept.xmp.assign(xmp.begin(), xmp.end());
}

bool embedWebp(Bytes& file, const Bytes& exif, const std::string& xmp) {
    if (!exif.empty() && !detail::SetWebpChunk(file, "EXIF", exif)) return false;
    return xmp.empty() || detail::SetWebpChunk(file, "XMP ", Bytes(xmp.begin(), xmp.end()));
}

// A SHORT or LONG value in the block's byte order.
ExifTag sizeTag(std::uint16_t tag, std::uint16_t type, std::uint32_t value, bool bigEndian) {
    ExifTag t;
    t.tag = tag;
    t.type = type == detail::kExifTypeShort && value <= 0xFFFF ? detail::kExifTypeShort : detail::kExifTypeLong;
    t.count = 1;
    const std::size_t bytes = t.type == detail::kExifTypeShort ? 2 : 4;
    for (std::size_t i = 0; i < bytes; ++i) {
        const std::size_t shift = 8 * (bigEndian ? bytes - 1 - i : i);
        t.value.push_back(static_cast<std::uint8_t>(value >> shift));
    }
    return t;
}

void erase(ExifBlock& block, ExifDirectory d, std::uint16_t tag) {
    auto& list = block.directory(d);
    list.erase(std::remove_if(list.begin(), list.end(), [tag](const ExifTag& t) { return t.tag == tag; }), list.end());
}

bool embedJpeg(Bytes& file, const Bytes& exif, const std::string& xmp) {
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return false;
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF && file[at + 1] == 0xE0)
        at += 2 + (std::size_t{file[at + 2]} << 8 | file[at + 3]);
    if (at > file.size()) return false;
    Bytes segments;
    auto addSegment = [&segments](const void* name, std::size_t nameSize, const std::uint8_t* data, std::size_t size) {
        segments.insert(segments.end(), {0xFF, 0xE1});
        putBe16(segments, static_cast<std::uint32_t>(2 + nameSize + size));
        const auto* n = static_cast<const std::uint8_t*>(name);
        segments.insert(segments.end(), n, n + nameSize);
        segments.insert(segments.end(), data, data + size);
    };
    if (!exif.empty()) {
        if (exif.size() + sizeof kExifName > kMaxSegmentData) return false;
        addSegment(kExifName, sizeof kExifName, exif.data(), exif.size());
    }
    // A packet too large for one segment would need the extended form: it is left out.
    if (!xmp.empty() && xmp.size() + kXmpNameSize <= kMaxSegmentData)
        addSegment(kXmpName, kXmpNameSize, reinterpret_cast<const std::uint8_t*>(xmp.data()), xmp.size());
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), segments.begin(), segments.end());
    return true;
}

void addPngChunk(Bytes& out, const char (&type)[5], const Bytes& data) {
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    putBe32(out, static_cast<std::uint32_t>(data.size()));
    out.insert(out.end(), body.begin(), body.end());
    putBe32(out, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
}

bool embedPng(Bytes& file, const Bytes& exif, const std::string& xmp) {
    if (file.size() < 33 || std::memcmp(file.data(), kPngSignature, 8) != 0 || std::memcmp(&file[12], "IHDR", 4) != 0 ||
        be32(&file[8]) != 13)
        return false;
    Bytes chunks;
    if (!exif.empty()) addPngChunk(chunks, "eXIf", exif);
    if (!xmp.empty()) {
        // iTXt: keyword, 0, uncompressed (0, 0), no language tag (0), no translated keyword (0), text
        Bytes data(kPngXmpKey, kPngXmpKey + sizeof kPngXmpKey - 1);
        data.insert(data.end(), {0, 0, 0, 0, 0});
        data.insert(data.end(), xmp.begin(), xmp.end());
        addPngChunk(chunks, "iTXt", data);
    }
    file.insert(file.begin() + 33, chunks.begin(), chunks.end());
    return true;
}

} // namespace

KeptMetadata ReadKeptMetadata(const std::string& path) {
    KeptMetadata kept;
    std::unique_ptr<Is5Source, SourceCloser> source(is5_OpenFileSource(path.c_str()));
    if (!source) return kept;
    std::uint8_t magic[12] = {};
    const std::uint32_t got = is5_Read(source.get(), magic, sizeof magic);
    if (got < 8 || !is5_Seek(source.get(), 0, SEEK_SET)) return kept;
    if (magic[0] == 0xFF && magic[1] == 0xD8) readJpeg(*source, kept);
    else if (!std::memcmp(magic, kPngSignature, 8)) readPng(path, *source, kept);
    else if (detail::isWebpFile(magic, got)) readWebp(path, kept);
    return kept;
}

std::vector<std::uint8_t> ExifForCopy(const std::vector<std::uint8_t>& exif, std::uint32_t width,
                                      std::uint32_t height, bool stripPrivate) {
    ExifBlock block;
    if (!detail::parseExifTiff(exif.data(), exif.size(), block)) return {};
    if (const ExifTag* t = block.find(ExifDirectory::ifd0, kTagOrientation))
        block.put(ExifDirectory::ifd0, sizeTag(kTagOrientation, t->type, 1, block.bigEndian));
    const struct {
        ExifDirectory directory;
        std::uint16_t tag;
        std::uint32_t value;
    } sizes[] = {{ExifDirectory::ifd0, kTagImageWidth, width},
                 {ExifDirectory::ifd0, kTagImageLength, height},
                 {ExifDirectory::exif, kTagPixelXDimension, width},
                 {ExifDirectory::exif, kTagPixelYDimension, height}};
    for (const auto& s : sizes)
        if (const ExifTag* t = block.find(s.directory, s.tag))
            block.put(s.directory, sizeTag(s.tag, t->type, s.value, block.bigEndian));
    block.directory(ExifDirectory::ifd1).clear();
    block.thumbnail.clear();
    if (stripPrivate) {
        block.directory(ExifDirectory::gps).clear();
        for (std::uint16_t tag : kPrivateExifTags) erase(block, ExifDirectory::exif, tag);
        erase(block, ExifDirectory::ifd0, kTagCameraSerialNumber);
        block.makerNoteOffset = 0;
    }
    if (std::all_of(block.directories.begin(), block.directories.end(), [](const auto& d) { return d.empty(); }))
        return {};
    Bytes tiff = detail::buildExifTiff(block, true);
    // The maker note's own offset may not leave the block room in one JPEG segment.
    if (tiff.size() + sizeof kExifName > kMaxSegmentData) tiff = detail::buildExifTiff(block, false);
    return tiff;
}

bool TakesKeptMetadata(int imageType) {
    return imageType == kImageJpeg || imageType == kImageJpegGrey || imageType == kImagePng || imageType == kImageWebp;
}

bool EmbedKeptMetadata(const std::string& path, int imageType, const KeptMetadata& metadata, std::uint32_t width,
                       std::uint32_t height, bool stripPrivate) {
    if (!TakesKeptMetadata(imageType)) return true;
    const Bytes exif = metadata.exif.empty() ? Bytes{} : ExifForCopy(metadata.exif, width, height, stripPrivate);
    const std::string xmp = stripPrivate ? std::string() : metadata.xmp;
    if (exif.empty() && xmp.empty()) return true;
    Bytes file;
    if (!imaging::detail::readWholeFile(path, file)) return false;
    const bool done = imageType == kImagePng    ? embedPng(file, exif, xmp)
                      : imageType == kImageWebp ? embedWebp(file, exif, xmp)
                                                : embedJpeg(file, exif, xmp);
    return done && imaging::detail::writeWholeFile(path, file);
}

} // namespace imaging
