// SPDX-License-Identifier: MIT
// File type detection: the content test of the layer, and the program's mapping of its
// answer (or of the name's extension) to an image type code with its depth variant.
#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"
#include "imaging/isimageex.h"

#include <cstring>
#include <string_view>

namespace {

struct Magic {
    std::uint32_t contentType;
    std::uint32_t offset;
    std::string_view bytes;
    std::string_view start = {}; ///< what the data must also start with
};

using namespace std::string_view_literals;

// Tried in this order; the first whole match decides. The TGA entry has no pattern and
// never matches: TGA is known by name or by its footer.
constexpr Magic kMagic[] = {
    {1, 0, "BM"sv},
    {9, 0, "PAX"sv},
    {2, 0, "GIF89a"sv},
    {2, 0, "GIF87a"sv},
    {3, 0, "\xFF\xD8\xFF\xE0"sv},
    {3, 0, "\xFF\xD8\xFF"sv},
    {5, 0, "\x0A\x00"sv},
    {5, 0, "\x0A\x02"sv},
    {5, 0, "\x0A\x03"sv},
    {5, 0, "\x0A\x05"sv},
    {6, 0, "MM"sv},
    {6, 0, "II"sv},
    {4, 0, "\x89PNG\x0D\x0A\x1A\x0A"sv},
    {7, 0, "\x01\x00\x09\x00\x00"sv},
    {7, 0, "\xD7\xCD\xC6\x9A"sv},
    {8, 40, " EMF"sv},
    {10, 0, "8BPS"sv},
    {11, 0, "TLA\x01"sv},
    {12, 0, "TLAU"sv},
    {15, 0, "PCD_OPA"sv},
    {17, 4, "jP  \x0D"sv},
    {17, 0, "\xFF\x4F"sv},
    {18, 4, "\xFF\x4F"sv},
    {14, 0, ""sv},
    {19, 0, "\xD0\xCF\x11\xE0"sv},
    {20, 0, "P1"sv},
    {20, 0, "P4"sv},
    {21, 0, "P2"sv},
    {21, 0, "P5"sv},
    {22, 0, "P3"sv},
    {22, 0, "P6"sv},
    {24, 0, "\x00\x00\x01\x00"sv},
    {24, 0, "\x00\x00\x02\x00"sv},
    {25, 8, "WEBP"sv, "RIFF"sv},
};

constexpr std::uint32_t kContentWbmp = 13;
constexpr std::uint32_t kContentTga = 14;
constexpr std::uint32_t kContentPhotoCd = 16;
constexpr std::uint32_t kContentCals = 23;
constexpr std::uint32_t kContentIcon = 24;

std::uint32_t contentTypeFromExtension(const std::string& name) {
    std::string ext = imaging::detail::lowerExtension(name);
    if (ext == ".wbmp" || ext == ".wbm") return kContentWbmp;
    if (ext == ".tga") return kContentTga;
    if (ext == ".cals" || ext == ".cal") return kContentCals;
    if (ext == ".ico") return kContentIcon;
    return 0;
}

std::uint32_t guess(IS5_SOURCE source) {
    std::uint8_t head[44];
    std::uint32_t got = static_cast<std::uint32_t>(source->read(head, sizeof head));
    if (got == 0) return imaging::detail::fail<std::uint32_t>(IS5_ERR_READ, "is5_GuessFileType", 0);

    std::uint32_t result = 0;
    for (const Magic& m : kMagic) {
        if (m.bytes.empty() || m.offset + m.bytes.size() > got) continue;
        if (std::memcmp(head + m.offset, m.bytes.data(), m.bytes.size()) == 0 &&
            (m.start.empty() || std::memcmp(head, m.start.data(), m.start.size()) == 0)) {
            result = m.contentType;
            break;
        }
    }
    if (result != 0 && result != kContentWbmp && result != kContentIcon)
        return imaging::detail::succeed("is5_GuessFileType", result);

    std::uint32_t byName = source->name.empty() ? 0 : contentTypeFromExtension(source->name);
    if (byName == kContentWbmp || byName == kContentTga || byName == kContentCals)
        return imaging::detail::succeed("is5_GuessFileType", byName);
    if (byName != kContentIcon) {
        // A version 2 TGA names itself in the last 18 bytes.
        std::uint8_t footer[18];
        if (source->size() < sizeof footer || !source->seek(source->size() - sizeof footer) ||
            source->read(footer, sizeof footer) != sizeof footer)
            return imaging::detail::fail<std::uint32_t>(IS5_ERR_READ, "is5_GuessFileType", 0);
        if (std::memcmp(footer, "TRUEVISION-XFILE.", 17) == 0)
            return imaging::detail::succeed("is5_GuessFileType", kContentTga);
        result = 0;
    }
    if (result == 0) {
        // PhotoCD images carry their signature 2048 bytes in.
        if (!source->seek(2048)) return imaging::detail::succeed<std::uint32_t>("is5_GuessFileType", 0);
        char pcd[3];
        if (source->read(pcd, sizeof pcd) != sizeof pcd)
            return imaging::detail::fail<std::uint32_t>(IS5_ERR_READ, "is5_GuessFileType", 0);
        if (std::memcmp(pcd, "PCD", 3) == 0) result = kContentPhotoCd;
    }
    return imaging::detail::succeed("is5_GuessFileType", result);
}

} // namespace

std::uint32_t is5_GuessFileType(IS5_SOURCE source) {
    if (!source) return imaging::detail::fail<std::uint32_t>(IS5_ERR_PARAM, "is5_GuessFileType", 0);
    return guess(source);
}

int ImageTypeFromExtension(const std::string& name) {
    struct Entry {
        const char* ext;
        int type;
    };
    static constexpr Entry kTable[] = {
        {".bmp", kImageBmp},  {".wbmp", kImageWbmp}, {".wbm", kImageWbmp}, {".tga", kImageTga},
        {".jpeg", kImageJpeg}, {".jpg", kImageJpeg}, {".tif", kImageTiff}, {".tiff", kImageTiff},
        {".pcx", kImagePcx},  {".gif", kImageGif},   {".png", kImagePng},  {".wmf", kImageWmf},
        {".emf", kImageEmf},  {".psd", kImagePsd},   {".webp", kImageWebp},
    };
    std::string ext = imaging::detail::lowerExtension(name);
    for (const Entry& e : kTable)
        if (ext == e.ext) return e.type;
    return kImageDetect;
}

int DetectImageType(IS5_SOURCE source, const std::string& path) {
    std::uint32_t content = is5_GuessFileType(source);
    int type;
    switch (content) {
    case 1: type = kImageBmp; break;
    case 2: type = kImageGif; break;
    case 3: type = kImageJpeg; break;
    case 4: type = kImagePng; break;
    case 5: type = kImagePcx; break;
    case 6: type = kImageTiff; break;
    case 7: type = kImageWmf; break;
    case 8: type = kImageEmf; break;
    case 10: type = kImagePsd; break;
    case 13: type = kImageWbmp; break;
    case 14: type = kImageTga; break;
    case 16: type = kImagePcd; break;
    // Portable anymaps have no entry in the extension table; their content names them.
    case 20: type = kImagePbm; break;
    case 21: type = kImagePgm; break;
    case 22: type = kImagePpm; break;
    case 25: type = kImageWebp; break;
    default: type = path.empty() ? kImageJpeg : ImageTypeFromExtension(path); break;
    }
    is5_Seek(source, 0, IS5_SEEK_SET);

    std::uint32_t w = 0, h = 0, bits = 0, colourType = 0, channels = 0, mode = 0;
    ResolutionInfo res;
    switch (type) {
    case kImageJpeg:
        if (is5_GetJPGDims(source, &w, &h, &bits, &res) && bits <= 8) type = kImageJpegGrey;
        break;
    case kImageBmp:
        if (is5_GetBMPDims(source, &w, &h, &bits, &res) && bits <= 8) type = bits == 1 ? kImageBmpBw : kImageBmpPalette;
        break;
    case kImagePcx:
        if (is5_GetPCXDims(source, &w, &h, &bits, &res) && bits <= 8) type = kImagePcxPalette;
        break;
    case kImagePng:
        if (is5_GetPNGDims(source, &w, &h, &bits, &colourType, &res) && bits <= 8 &&
            (colourType == 3 || colourType == 0))
            type = bits == 1 ? kImagePngBw : kImagePngPalette;
        break;
    case kImageTiff:
        if (is5_GetTIFFDims(source, 0, &w, &h, &bits, &res) && bits <= 8)
            type = bits == 1 ? kImageTiffBw : kImageTiffPalette;
        break;
    case kImageTga:
        if (is5_GetTGADims(source, &w, &h, &bits) && bits <= 8) type = kImageTgaPalette;
        break;
    case kImagePsd:
        if (is5_GetPSDDims(source, &w, &h, &bits, &channels, &mode) && bits <= 2) type = kImagePsdBitmap;
        break;
    case kImageWbmp: is5_GetWBMPDims(source, &w, &h); break;
    case kImageGif: is5_GetGIFDims(source, &w, &h, &bits); break;
    default: break;
    }
    return type;
}
