// SPDX-License-Identifier: MIT
// The JPEG writer: quality held to its range and the per-thread marker and comment lists.
// Its round trips within error bounds, chroma sampling and progressive scans are checked
// against ImageMagick in writers_test.cpp.
#include "writertest.h"

#include <gtest/gtest.h>

#include <thread>

using namespace writertest;

namespace {

Written writeJpeg(const Picture& p, int quality, const ResolutionInfo* resolution = nullptr,
                  std::uint32_t options = 0) {
    return writeToMemory([&](IS5_DEST d) {
        return is5_WriteJPG(d, p.data(), p.width, p.height, p.depth, p.stride, quality, resolution, options);
    });
}

Decoded readJpeg(const Bytes& file, std::uint32_t depth) {
    return decode(file, [&](IS5_SOURCE s, std::uint32_t* w, std::uint32_t* h, Is5Rgbq*) {
        return is5_ReadJPG(s, w, h, depth, 0);
    });
}

struct Segment {
    std::uint8_t marker;
    Bytes data; // without the length
};

// The marker segments from SOI up to the first SOS (inclusive).
std::vector<Segment> segmentsOf(const Bytes& jpeg) {
    std::vector<Segment> out;
    if (jpeg.size() < 4 || std::uint8_t(jpeg[0]) != 0xFF || std::uint8_t(jpeg[1]) != 0xD8) return out;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && std::uint8_t(jpeg[at]) == 0xFF) {
        const auto marker = std::uint8_t(jpeg[at + 1]);
        const std::size_t length = std::uint8_t(jpeg[at + 2]) << 8 | std::uint8_t(jpeg[at + 3]);
        if (length < 2 || at + 2 + length > jpeg.size()) return {};
        out.push_back({marker, jpeg.substr(at + 4, length - 2)});
        if (marker == 0xDA) break;
        at += 2 + length;
    }
    return out;
}

TEST(JpegWriter, QualityIsHeldTo1Through100) {
    const Picture p = makePicture(24, 16, 24, {.smooth = true});
    EXPECT_EQ(writeJpeg(p, 0).bytes, writeJpeg(p, 1).bytes);
    EXPECT_EQ(writeJpeg(p, -40).bytes, writeJpeg(p, 1).bytes);
    EXPECT_EQ(writeJpeg(p, 101).bytes, writeJpeg(p, 100).bytes);
    EXPECT_NE(writeJpeg(p, 50).bytes, writeJpeg(p, 100).bytes);
}

TEST(JpegWriter, ThreadMarkersAndCommentsFollowTheHeaderUntilCleared) {
    is5_ClearJPGOutputMarkers();
    is5_ClearJPGOutputText();
    const Bytes exif("Exif\0\0MM\0*", 10), adobe("Adobe-ish", 9);
    ASSERT_TRUE(is5_AddJPGOutputMarker(0xE1, reinterpret_cast<const std::uint8_t*>(exif.data()), 10));
    ASSERT_TRUE(is5_AddJPGOutputMarker(0xEE, reinterpret_cast<const std::uint8_t*>(adobe.data()), 9));
    ASSERT_TRUE(is5_AddJPGOutputMarker(0xFE, nullptr, 0));
    ASSERT_TRUE(is5_AddJPGOutputText("made by a test"));
    const Picture p = makePicture(16, 16, 24, {.smooth = true});

    auto extras = [](const Bytes& jpeg) {
        std::vector<std::pair<int, Bytes>> found;
        for (const Segment& s : segmentsOf(jpeg))
            if ((s.marker >= 0xE1 && s.marker <= 0xEF) || s.marker == 0xFE) found.emplace_back(s.marker, s.data);
        return found;
    };
    const std::vector<std::pair<int, Bytes>> all = {{0xE1, exif}, {0xEE, adobe}, {0xFE, ""}, {0xFE, "made by a test"}};
    const Written w = writeJpeg(p, 75);
    EXPECT_EQ(extras(w.bytes), all);
    EXPECT_EQ(segmentsOf(w.bytes).front().marker, 0xE0); // JFIF stays first
    EXPECT_TRUE(readJpeg(w.bytes, 24).ok);

    // Lists are per thread: another thread writes without them, and adds its own.
    Written other;
    std::thread([&] {
        is5_AddJPGOutputText("other thread");
        other = writeJpeg(p, 75);
    }).join();
    EXPECT_EQ(extras(other.bytes), (std::vector<std::pair<int, Bytes>>{{0xFE, "other thread"}}));
    EXPECT_EQ(extras(writeJpeg(p, 75).bytes), all);

    is5_ClearJPGOutputText();
    EXPECT_EQ(extras(writeJpeg(p, 75).bytes).size(), 3u);
    is5_ClearJPGOutputMarkers();
    EXPECT_TRUE(extras(writeJpeg(p, 75).bytes).empty());
}

TEST(JpegWriter, RefusesMarkersThatAreNotAppOrComment) {
    const std::uint8_t data[4] = {1, 2, 3, 4};
    for (std::uint32_t marker : {0xD8u, 0xDFu, 0xF0u, 0xFFu, 0x1E1u, 0u}) {
        EXPECT_FALSE(is5_AddJPGOutputMarker(marker, data, 4)) << marker;
        EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM);
    }
    EXPECT_FALSE(is5_AddJPGOutputMarker(0xE1, nullptr, 4));
    const std::vector<std::uint8_t> big(65534, 'x');
    EXPECT_FALSE(is5_AddJPGOutputMarker(0xE1, big.data(), 65534));
    EXPECT_TRUE(is5_AddJPGOutputMarker(0xE1, big.data(), 65533));
    EXPECT_FALSE(is5_AddJPGOutputText(std::string(65534, 't').c_str()));
    EXPECT_FALSE(is5_AddJPGOutputText(nullptr));
    // The largest segment still makes a readable file.
    const Written w = writeJpeg(makePicture(8, 8, 24, {.smooth = true}), 75);
    ASSERT_TRUE(w.ok);
    EXPECT_TRUE(readJpeg(w.bytes, 24).ok);
    is5_ClearJPGOutputMarkers();
}

} // namespace
