// SPDX-License-Identifier: MIT
// The PNG writer: the chunks it writes (PLTE, pHYs, tEXt, no gAMA) as pngcheck sees them
// too, and the per-thread text list. Its round trips and resolutions are in writers_test.cpp.
#include "writertest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using namespace writertest;

namespace {

struct Chunk {
    std::string type;
    Bytes data;
};

// The chunk sequence after the signature; empty when the file is not laid out as PNG.
std::vector<Chunk> chunksOf(const Bytes& png) {
    std::vector<Chunk> chunks;
    if (png.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return chunks;
    std::size_t at = 8;
    while (at + 12 <= png.size()) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(png.data() + at);
        const std::size_t length = std::size_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
        if (at + 12 + length > png.size()) return {};
        chunks.push_back({png.substr(at + 4, 4), png.substr(at + 8, length)});
        at += 12 + length;
    }
    return chunks;
}

std::vector<std::string> typesOf(const Bytes& png) {
    std::vector<std::string> types;
    for (const Chunk& c : chunksOf(png))
        if (types.empty() || types.back() != c.type) types.push_back(c.type); // IDATs once
    return types;
}

Written writePng(const Picture& p, const ResolutionInfo* resolution = nullptr) {
    return writeToMemory([&](IS5_DEST d) { return writeDirect(kImagePng, 0, d, p, resolution); });
}

TEST(PngWriter, PlteHoldsTheColoursGivenAndBlackForIndexesPastThem) {
    struct Row {
        std::uint32_t colours;
        int index;             // put in the first row at pixel 5, when not -1
        std::uint32_t entries; // in PLTE
    };
    for (const Row& r : {Row{256, -1, 256}, Row{16, -1, 16}, Row{1, -1, 1}, Row{4, 9, 10}}) {
        SCOPED_TRACE(std::to_string(r.colours) + " colours");
        Picture p = makePicture(40, 7, 8, {.colours = r.colours});
        if (r.index >= 0) p.pixels[5] = std::uint8_t(r.index);
        const Written w = writePng(p);
        const auto read = [](IS5_SOURCE s, std::uint32_t* width, std::uint32_t* height, Is5Rgbq* pal) {
            return readDirect(kImagePng, 8, s, Bytes(), width, height, pal);
        };
        ASSERT_TRUE(decode(w.bytes, read).ok);
        const auto chunks = chunksOf(w.bytes);
        const auto plte = std::find_if(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.type == "PLTE"; });
        ASSERT_NE(plte, chunks.end());
        ASSERT_EQ(plte->data.size(), r.entries * 3);
        Bytes expected(r.entries * 3, '\0');
        for (std::uint32_t i = 0; i < r.colours; ++i)
            expected.replace(3 * i, 3, hex({p.palette[i].r, p.palette[i].g, p.palette[i].b}));
        EXPECT_EQ(plte->data, expected);
    }
}

std::vector<Bytes> textChunks(const Bytes& png) {
    std::vector<Bytes> texts;
    for (const Chunk& c : chunksOf(png))
        if (c.type == "tEXt") texts.push_back(c.data);
    return texts;
}

TEST(PngWriter, ThreadTextGoesIntoTextChunksUntilCleared) {
    is5_ClearPNGOutputText();
    ASSERT_TRUE(is5_AddPNGOutputText("Title", "Harbour at dawn"));
    ASSERT_TRUE(is5_AddPNGOutputText("Comment", ""));
    const Picture p = makePicture(8, 2, 24);
    Written w = writePng(p);
    ASSERT_TRUE(w.ok);
    EXPECT_EQ(textChunks(w.bytes), (std::vector<Bytes>{Bytes("Title\0Harbour at dawn", 21), Bytes("Comment\0", 8)}));

    // Another thread sees none of this thread's text, and its own stays its own.
    Written other;
    std::thread([&] {
        is5_AddPNGOutputText("Author", "someone else");
        other = writePng(p);
    }).join();
    EXPECT_EQ(textChunks(other.bytes), (std::vector<Bytes>{Bytes("Author\0someone else", 19)}));
    EXPECT_EQ(textChunks(writePng(p).bytes).size(), 2u);

    is5_ClearPNGOutputText();
    EXPECT_TRUE(textChunks(writePng(p).bytes).empty());
}

TEST(PngWriter, RefusesKeywordsPngDoesNotAllow) {
    for (const std::string& key : {std::string(""), std::string(" lead"), std::string("trail "),
                                   std::string("two  spaces"), std::string(80, 'k'), std::string("bell\x07")}) {
        EXPECT_FALSE(is5_AddPNGOutputText(key.c_str(), "text")) << key;
        EXPECT_EQ(is5_GetLastError(), IS5_ERR_PARAM);
    }
    EXPECT_FALSE(is5_AddPNGOutputText(nullptr, "text"));
    EXPECT_FALSE(is5_AddPNGOutputText("Title", nullptr));
    EXPECT_TRUE(is5_AddPNGOutputText(std::string(79, 'k').c_str(), "longest keyword"));
    is5_ClearPNGOutputText();
}

// ---- independent checks --------------------------------------------------------------------

TEST(PngWriterTools, PngcheckFindsValidFilesWithTheRightFacts) {
    REQUIRE_TOOL("pngcheck");
    testutil::TempDir dir;
    const ResolutionInfo ppi300{300 * 39.37, 300 * 39.37, 0};
    is5_ClearPNGOutputText();
    ASSERT_TRUE(is5_AddPNGOutputText("Software", "Brimvale"));
    // The chunks, as our parser finds them too: only those needed, no gAMA.
    const std::vector<std::string> rgb{"IHDR", "pHYs", "tEXt", "IDAT", "IEND"};
    const std::vector<std::string> indexed{"IHDR", "PLTE", "pHYs", "tEXt", "IDAT", "IEND"};
    struct Row {
        std::uint32_t depth;
        const char* facts; // what pngcheck -v must report
        const std::vector<std::string>& chunks;
    };
    for (const Row& r :
         {Row{24, "24-bit RGB", rgb}, Row{8, "8-bit palette", indexed}, Row{1, "1-bit palette", indexed}}) {
        const Written w = writePng(makePicture(61, 7, r.depth), &ppi300);
        EXPECT_EQ(typesOf(w.bytes), r.chunks);
        const std::string path = saveTemp(dir, "d" + std::to_string(r.depth) + ".png", w.bytes);
        const ToolRun check = run("pngcheck -v '" + path + "'");
        EXPECT_EQ(check.status, 0) << check.out;
        EXPECT_NE(check.out.find("61 x 7 image, " + std::string(r.facts)), std::string::npos) << check.out;
        EXPECT_NE(check.out.find("11811x11811 pixels/meter"), std::string::npos) << check.out;
        EXPECT_NE(check.out.find("Software"), std::string::npos) << check.out;
        EXPECT_EQ(check.out.find("gAMA"), std::string::npos) << check.out;
        EXPECT_NE(check.out.find("No errors detected"), std::string::npos) << check.out;
    }
    is5_ClearPNGOutputText();
}

} // namespace
