// SPDX-License-Identifier: MIT
// PhotoCD reader: the 768 x 512 base image of an Image Pac, converted from Kodak's
// PhotoYCC to RGB and turned upright as the pack's attributes say.
//
// Layout (http://fileformats.archiveteam.org/wiki/Photo_CD): the pack is made of
// 2048-byte sectors. Sector 1 begins "PCD_IPI"; its byte 0x602 (file offset 0xE02) holds
// the picture's orientation in its two low bits: 0 upright, 1 to be turned a quarter
// counter-clockwise, 2 a half turn, 3 a quarter clockwise. The base image starts at
// sector 96 (offset 0x30000), uncompressed: each pair of rows is two 768-byte luma rows
// followed by 384 bytes of C1 and 384 of C2, every chroma sample shared by 2 x 2 pixels.
//
// Only the base resolution (argument 3) is read; any other value is a parameter error.
#include "imaging/detail/bytereader.h"
#include "imaging/detail/lasterror.h"
#include "imaging/detail/source.h"
#include "imaging/is5.h"
#include "platform/globalmemory.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

namespace imaging::pcd {
namespace {

constexpr std::uint64_t kSector = 2048;
constexpr std::uint64_t kSignatureOffset = kSector;
constexpr std::uint64_t kAttributesOffset = 0xE02;
constexpr std::uint64_t kBaseOffset = 96 * kSector;
constexpr std::uint32_t kBaseResolution = 3;
constexpr std::uint32_t kWidth = 768;
constexpr std::uint32_t kHeight = 512;
constexpr std::size_t kPairBytes = std::size_t{kWidth} * 3; // 2 luma rows + 2 half rows of chroma
constexpr std::uint64_t kBaseBytes = kPairBytes * (kHeight / 2);

// PhotoYCC to RGB, in units of 1/65536:
//   L = 1.3584 Y, C1 = 2.2179 (C1 - 156), C2 = 1.8215 (C2 - 137),
//   R = L + C2, G = L - 0.194 C1 - 0.509 C2, B = L + C1.
struct YccTables {
    std::array<std::int32_t, 256> luma, blueFromC1, greenFromC1, redFromC2, greenFromC2;

    YccTables() {
        for (int v = 0; v < 256; ++v) {
            double c1 = 2.2179 * (v - 156), c2 = 1.8215 * (v - 137);
            luma[v] = fixed(1.3584 * v);
            blueFromC1[v] = fixed(c1);
            greenFromC1[v] = fixed(-0.194 * c1);
            redFromC2[v] = fixed(c2);
            greenFromC2[v] = fixed(-0.509 * c2);
        }
    }
    static std::int32_t fixed(double v) { return static_cast<std::int32_t>(std::lround(v * 65536.0)); }
    static std::uint8_t clamp(std::int32_t v) { return static_cast<std::uint8_t>(std::clamp((v + 32768) >> 16, 0, 255)); }
};

const YccTables& tables() {
    static const YccTables kTables;
    return kTables;
}

// Decodes the base image upright as stored into `rgb` (768 x 512 x 3).
std::uint32_t decodeBase(Is5Source& source, std::uint8_t* rgb) {
    if (!source.seek(kBaseOffset)) return IS5_ERR_READ;
    detail::ByteReader in(source);
    const YccTables& t = tables();
    std::vector<std::uint8_t> pair(kPairBytes);
    for (std::uint32_t y = 0; y < kHeight; y += 2) {
        if (!in.read(pair.data(), pair.size())) return IS5_ERR_READ;
        const std::uint8_t* c1 = pair.data() + 2 * kWidth;
        const std::uint8_t* c2 = c1 + kWidth / 2;
        for (std::uint32_t row = 0; row < 2; ++row) {
            const std::uint8_t* luma = pair.data() + row * kWidth;
            std::uint8_t* dst = rgb + (std::size_t{y} + row) * kWidth * 3;
            for (std::uint32_t x = 0; x < kWidth; ++x) {
                std::int32_t l = t.luma[luma[x]];
                std::uint8_t u = c1[x / 2], v = c2[x / 2];
                dst[3 * x] = YccTables::clamp(l + t.redFromC2[v]);
                dst[3 * x + 1] = YccTables::clamp(l + t.greenFromC1[u] + t.greenFromC2[v]);
                dst[3 * x + 2] = YccTables::clamp(l + t.blueFromC1[u]);
            }
        }
    }
    return IS5_OK;
}

struct Picture {
    HGLOBAL pixels = nullptr;
    std::uint32_t width = 0, height = 0;
};

std::uint32_t readPcd(Is5Source& source, Picture& out) {
    char signature[4] = {};
    if (!source.seek(kSignatureOffset) || source.read(signature, sizeof signature) != sizeof signature)
        return IS5_ERR_READ;
    if (std::memcmp(signature, "PCD_", 4) != 0) return IS5_ERR_FORMAT;
    std::uint8_t attributes = 0;
    if (!source.seek(kAttributesOffset) || source.read(&attributes, 1) != 1) return IS5_ERR_READ;
    if (source.size() < kBaseOffset + kBaseBytes) return IS5_ERR_READ;
    if (std::uint32_t rc = detail::checkPictureSize(kWidth, kHeight)) return rc;

    const unsigned orientation = attributes & 3u;
    const bool quarter = orientation == 1 || orientation == 3;
    const std::uint32_t outWidth = quarter ? kHeight : kWidth;
    const std::uint32_t outHeight = quarter ? kWidth : kHeight;
    const std::size_t bytes = std::size_t{kWidth} * kHeight * 3;
    platform::UniqueGlobal block;
    if (!block.allocate(bytes)) return IS5_ERR_MEMORY;

    if (orientation == 0) {
        if (std::uint32_t rc = decodeBase(source, block.data())) return rc;
    } else {
        std::vector<std::uint8_t> upright(bytes);
        if (std::uint32_t rc = decodeBase(source, upright.data())) return rc;
        std::uint8_t* dst = block.data();
        for (std::uint32_t sy = 0; sy < kHeight; ++sy) {
            for (std::uint32_t sx = 0; sx < kWidth; ++sx) {
                std::uint32_t dx, dy;
                switch (orientation) {
                case 1: dx = sy, dy = kWidth - 1 - sx; break;           // a quarter counter-clockwise
                case 2: dx = kWidth - 1 - sx, dy = kHeight - 1 - sy; break;
                default: dx = kHeight - 1 - sy, dy = sx; break;         // a quarter clockwise
                }
                std::memcpy(dst + (std::size_t{dy} * outWidth + dx) * 3,
                            upright.data() + (std::size_t{sy} * kWidth + sx) * 3, 3);
            }
        }
    }
    out.width = outWidth;
    out.height = outHeight;
    out.pixels = block.release();
    return IS5_OK;
}

} // namespace
} // namespace imaging::pcd

HGLOBAL is5_ReadPCD(IS5_SOURCE source, std::uint32_t* width, std::uint32_t* height, std::uint32_t resolution,
                    std::uint32_t /*flags*/) {
    constexpr const char* kName = "is5_ReadPCD";
    if (!source || !width || !height || resolution != imaging::pcd::kBaseResolution)
        return imaging::detail::failBlock(IS5_ERR_PARAM, kName);
    try {
        imaging::pcd::Picture picture;
        if (std::uint32_t rc = imaging::pcd::readPcd(*source, picture)) return imaging::detail::failBlock(rc, kName);
        *width = picture.width;
        *height = picture.height;
        return imaging::detail::succeed(kName, picture.pixels);
    } catch (const std::exception&) {
        return imaging::detail::failBlock(IS5_ERR_MEMORY, kName);
    }
}
