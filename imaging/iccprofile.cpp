// SPDX-License-Identifier: MIT
// Embedded ICC profiles read from and written into finished files.
#include "imaging/iccprofile.h"

#include "imaging/codecs/webpchunks.h"
#include "imaging/detail/wholefile.h"
#include "imaging/isimageex.h"

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

namespace imaging {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kJpegIccName[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr std::size_t kJpegChunkData = 65519; // 65535 less the length field and the 14-byte header
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr std::uint16_t kPsdIccResource = 0x040F;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads exactly `size` bytes; false at the end of the file.
bool readExact(std::FILE* f, void* out, std::size_t size) {
    return size == 0 || std::fread(out, 1, size, f) == size;
}
std::uint32_t be16(const std::uint8_t* p) { return std::uint32_t{p[0]} << 8 | p[1]; }
std::uint32_t be32(const std::uint8_t* p) { return be16(p) << 16 | be16(p + 2); }
void putBe16(Bytes& out, std::uint32_t v) { out.insert(out.end(), {std::uint8_t(v >> 8), std::uint8_t(v)}); }
void putBe32(Bytes& out, std::uint32_t v) {
    putBe16(out, v >> 16);
    putBe16(out, v & 0xFFFF);
}

// JPEG: the APP2 "ICC_PROFILE" chunks before the first scan, put together in sequence order.
Bytes readJpegProfile(std::FILE* f) {
    std::array<Bytes, 256> chunks;
    std::array<bool, 256> seen{};
    std::size_t count = 0, total = 0;
    for (;;) {
        int c = std::fgetc(f);
        if (c != 0xFF) return {};
        while ((c = std::fgetc(f)) == 0xFF) {} // fill bytes
        if (c == EOF || c == 0xDA || c == 0xD9) break;
        if (c == 0x01 || (c >= 0xD0 && c <= 0xD7)) continue; // markers without a length
        std::uint8_t field[2];
        if (!readExact(f, field, 2) || be16(field) < 2) return {};
        const std::size_t length = be16(field) - 2;
        if (c != 0xE2 || length < 14) {
            if (std::fseek(f, static_cast<long>(length), SEEK_CUR) != 0) return {};
            continue;
        }
        std::uint8_t head[14];
        if (!readExact(f, head, 14)) return {};
        if (std::memcmp(head, kJpegIccName, 12) != 0) {
            if (std::fseek(f, static_cast<long>(length - 14), SEEK_CUR) != 0) return {};
            continue;
        }
        const std::uint8_t sequence = head[12], chunkCount = head[13];
        // Sequence numbers run from 1 to the count, each once, the count the same in all.
        if (sequence == 0 || sequence > chunkCount || seen[sequence] || (count && count != chunkCount)) return {};
        count = chunkCount;
        seen[sequence] = true;
        total += length - 14;
        if (total > kMaxIccProfile) return {};
        chunks[sequence].resize(length - 14);
        if (!readExact(f, chunks[sequence].data(), length - 14)) return {};
    }
    Bytes profile;
    for (std::size_t i = 1; i <= count; ++i) {
        if (!seen[i]) return {};
        profile.insert(profile.end(), chunks[i].begin(), chunks[i].end());
    }
    return profile;
}

// zlib data inflated, nothing when damaged or larger than a profile may be.
Bytes inflateProfile(const Bytes& data, std::size_t from) {
    z_stream z{};
    if (from >= data.size() || inflateInit(&z) != Z_OK) return {};
    Bytes out;
    std::uint8_t buffer[16384];
    z.next_in = const_cast<Bytef*>(data.data() + from);
    z.avail_in = static_cast<uInt>(data.size() - from);
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) break;
        out.insert(out.end(), buffer, buffer + (sizeof buffer - z.avail_out));
        if (out.size() > kMaxIccProfile) rc = Z_MEM_ERROR;
        else if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) rc = Z_DATA_ERROR; // ends early
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END ? out : Bytes{};
}

// PNG: the iCCP chunk before the image data (name, 0, compression method 0, zlib stream).
Bytes readPngProfile(std::FILE* f) {
    for (;;) {
        std::uint8_t head[8];
        if (!readExact(f, head, 8)) return {};
        const std::uint32_t length = be32(head);
        if (!std::memcmp(head + 4, "IDAT", 4) || !std::memcmp(head + 4, "IEND", 4)) return {};
        if (std::memcmp(head + 4, "iCCP", 4) != 0) {
            if (length > 0x7FFFFFFF || std::fseek(f, static_cast<long>(length) + 4, SEEK_CUR) != 0) return {};
            continue;
        }
        if (length > kMaxIccProfile) return {};
        Bytes data(length);
        if (!readExact(f, data.data(), length)) return {};
        const auto zero = std::find(data.begin(), data.end(), 0);
        const std::size_t nameLength = static_cast<std::size_t>(zero - data.begin());
        if (nameLength == 0 || nameLength > 79 || nameLength + 2 > data.size() || data[nameLength + 1] != 0) return {};
        return inflateProfile(data, nameLength + 2);
    }
}

// libtiff speaks through these per-file handlers, never to the terminal.
int quietTiff(TIFF*, void*, const char*, const char*, va_list) { return 1; }

std::unique_ptr<TIFF, void (*)(TIFF*)> openTiff(const std::string& path, const char* mode) {
    std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(), &TIFFOpenOptionsFree);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), &quietTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), &quietTiff, nullptr);
    return {TIFFOpenExt(path.c_str(), mode, options.get()), [](TIFF* t) { if (t) TIFFClose(t); }};
}

Bytes readTiffProfile(const std::string& path) {
    auto tif = openTiff(path, "rm");
    if (!tif) return {};
    std::uint32_t count = 0;
    void* data = nullptr;
    if (!TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &count, &data) || !data || count > kMaxIccProfile) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return Bytes(bytes, bytes + count);
}

// Photoshop: the image resource blocks ("8BIM", id, padded Pascal name, padded data) that
// follow the header and the colour mode data.
Bytes readPsdProfile(std::FILE* f) {
    std::uint8_t field[4];
    if (std::fseek(f, 26, SEEK_SET) != 0 || !readExact(f, field, 4)) return {};
    if (std::fseek(f, static_cast<long>(be32(field)), SEEK_CUR) != 0 || !readExact(f, field, 4)) return {};
    std::uint64_t left = be32(field);
    while (left >= 12) {
        std::uint8_t head[7];
        if (!readExact(f, head, 7) || std::memcmp(head, "8BIM", 4) != 0) return {};
        const std::uint32_t id = be16(head + 4);
        const std::uint32_t nameBytes = (head[6] + 2u) & ~1u; // the length byte and the name, even
        std::uint8_t size[4];
        if (std::fseek(f, static_cast<long>(nameBytes - 1), SEEK_CUR) != 0 || !readExact(f, size, 4)) return {};
        const std::uint64_t dataBytes = be32(size), padded = (dataBytes + 1) & ~std::uint64_t{1};
        if (6 + nameBytes + 4 + padded > left) return {};
        left -= 6 + nameBytes + 4 + padded;
        if (id == kPsdIccResource) {
            if (dataBytes > kMaxIccProfile) return {};
            Bytes profile(dataBytes);
            return readExact(f, profile.data(), profile.size()) ? profile : Bytes{};
        }
        if (std::fseek(f, static_cast<long>(padded), SEEK_CUR) != 0) return {};
    }
    return {};
}

// The APP2 chunks go after SOI and any APP0 (JFIF) segments, as readers expect them early.
bool embedJpeg(Bytes& file, const Bytes& profile) {
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return false;
    std::size_t at = 2;
    while (at + 4 <= file.size() && file[at] == 0xFF && file[at + 1] == 0xE0) at += 2 + be16(&file[at + 2]);
    if (at > file.size()) return false;
    const std::size_t count = (profile.size() + kJpegChunkData - 1) / kJpegChunkData;
    Bytes segments;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t from = i * kJpegChunkData, size = std::min(kJpegChunkData, profile.size() - from);
        segments.insert(segments.end(), {0xFF, 0xE2});
        putBe16(segments, static_cast<std::uint32_t>(2 + 14 + size));
        segments.insert(segments.end(), std::begin(kJpegIccName), std::end(kJpegIccName));
        segments.insert(segments.end(), {std::uint8_t(i + 1), std::uint8_t(count)});
        segments.insert(segments.end(), profile.begin() + static_cast<std::ptrdiff_t>(from),
                        profile.begin() + static_cast<std::ptrdiff_t>(from + size));
    }
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(at), segments.begin(), segments.end());
    return true;
}

// iCCP goes right after IHDR, before PLTE and the image data as the format requires.
bool embedPng(Bytes& file, const Bytes& profile) {
    if (file.size() < 33 || std::memcmp(file.data(), kPngSignature, 8) != 0 || std::memcmp(&file[12], "IHDR", 4) != 0 ||
        be32(&file[8]) != 13)
        return false;
    uLongf packedSize = compressBound(static_cast<uLong>(profile.size()));
    Bytes packed(packedSize);
    if (compress2(packed.data(), &packedSize, profile.data(), static_cast<uLong>(profile.size()), 9) != Z_OK)
        return false;
    Bytes body{'i', 'C', 'C', 'P', 'I', 'C', 'C', ' ', 'P', 'r', 'o', 'f', 'i', 'l', 'e', 0, 0};
    body.insert(body.end(), packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(packedSize));
    Bytes chunk;
    putBe32(chunk, static_cast<std::uint32_t>(body.size() - 4));
    chunk.insert(chunk.end(), body.begin(), body.end());
    putBe32(chunk, static_cast<std::uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
    file.insert(file.begin() + 33, chunk.begin(), chunk.end());
    return true;
}

// A resource block appended to the image resources, whose length field grows by its size.
bool embedPsd(Bytes& file, const Bytes& profile) {
    if (file.size() < 34 || std::memcmp(file.data(), "8BPS", 4) != 0) return false;
    const std::uint64_t lengthAt = 26 + 4 + std::uint64_t{be32(&file[26])};
    if (lengthAt + 4 > file.size()) return false;
    const std::uint64_t resources = be32(&file[lengthAt]);
    const std::uint64_t end = lengthAt + 4 + resources;
    if (end > file.size()) return false;
    Bytes block{'8', 'B', 'I', 'M'};
    putBe16(block, kPsdIccResource);
    block.insert(block.end(), {0, 0}); // empty name, padded to even
    putBe32(block, static_cast<std::uint32_t>(profile.size()));
    block.insert(block.end(), profile.begin(), profile.end());
    if (profile.size() & 1) block.push_back(0);
    const std::uint64_t grown = resources + block.size();
    if (grown > 0xFFFFFFFF) return false;
    file.insert(file.begin() + static_cast<std::ptrdiff_t>(end), block.begin(), block.end());
    Bytes field;
    putBe32(field, static_cast<std::uint32_t>(grown));
    std::copy(field.begin(), field.end(), file.begin() + static_cast<std::ptrdiff_t>(lengthAt));
    return true;
}

bool embedTiff(const std::string& path, const Bytes& profile) {
    auto tif = openTiff(path, "r+");
    if (!tif) return false;
    return TIFFSetField(tif.get(), TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(profile.size()), profile.data()) &&
           TIFFRewriteDirectory(tif.get());
}

} // namespace

std::vector<std::uint8_t> ReadIccProfile(const std::string& path) {
    File f(std::fopen(path.c_str(), "rb"));
    if (!f) return {};
    std::uint8_t magic[8] = {};
    if (!readExact(f.get(), magic, 8)) return {};
    if (magic[0] == 0xFF && magic[1] == 0xD8) {
        std::fseek(f.get(), 2, SEEK_SET);
        return readJpegProfile(f.get());
    }
    if (!std::memcmp(magic, kPngSignature, 8)) return readPngProfile(f.get());
    if (!std::memcmp(magic, "8BPS", 4)) return readPsdProfile(f.get());
    if (!std::memcmp(magic, "RIFF", 4)) return imaging::detail::ReadWebpChunk(path, "ICCP", kMaxIccProfile);
    if (!std::memcmp(magic, "II*\0", 4) || !std::memcmp(magic, "MM\0*", 4)) {
        f.reset();
        return readTiffProfile(path);
    }
    return {};
}

bool TakesIccProfile(int imageType) {
    return imageType == kImageJpeg || imageType == kImagePng || imageType == kImageTiff || imageType == kImagePsd ||
           imageType == kImageWebp;
}

bool EmbedIccProfile(const std::string& path, int imageType, const std::vector<std::uint8_t>& profile) {
    if (profile.empty()) return true;
    if (profile.size() > kMaxIccProfile || !TakesIccProfile(imageType)) return false;
    if (imageType == kImageTiff) return embedTiff(path, profile);
    Bytes file;
    if (!imaging::detail::readWholeFile(path, file)) return false;
    const bool done = imageType == kImageJpeg   ? embedJpeg(file, profile)
                      : imageType == kImagePng  ? embedPng(file, profile)
                      : imageType == kImageWebp ? imaging::detail::SetWebpChunk(file, "ICCP", profile)
                                                : embedPsd(file, profile);
    return done && imaging::detail::writeWholeFile(path, file);
}

} // namespace imaging
