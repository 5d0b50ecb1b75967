// SPDX-License-Identifier: MIT
// The names of the pictures a batch save writes, and the run's closing summary.
#include "browse/naming.h"
#include "browse/savetext.h"

#include <gtest/gtest.h>

namespace {

struct NameRow {
    const char* what;
    const char* source;
    bool useSourceFolder;
    std::int32_t choice;
    double scale;
    std::uint32_t w, h;
    const char* extension;
    const char* expect;
};

} // namespace

TEST(OutputPath, SuffixesAndBothForms) {
    const NameRow rows[] = {
        {"800 x 600, JPG", "/photos/IMG_0001.JPG", false, 1, 1.0, 800, 533, "jpg", "/out/IMG_0001_800x600.jpg"},
        {"25%, PNG", "/photos/IMG_0001.JPG", false, 5, 1.0, 750, 500, "png", "/out/IMG_0001_25pc.png"},
        {"Set Percent 33", "/photos/IMG_0001.JPG", false, 6, 33 / 100.0, 990, 660, "jpg",
         "/out/IMG_0001_At33pc.jpg"},
        {"Set Dimensions", "/photos/IMG_0001.JPG", false, 7, 1.0, 1200, 900, "bmp", "/out/IMG_0001__1200x900.bmp"},
        {"Screen beside the source", "/photos/IMG_0001.JPG", true, 9, 1.0, 1920, 1080, "jpg",
         "/photos/IMG_0001__S1920x1080.jpg"},
        {"1024 box names the choice, not the portrait result", "/p/a.jpg", false, 0, 1.0, 512, 768, "jpg",
         "/out/a_1024x768.jpg"},
        {"640 box", "/p/a.jpg", false, 2, 1.0, 640, 426, "gif", "/out/a_640x480.gif"},
        {"320 box", "/p/a.jpg", false, 3, 1.0, 320, 213, "psd", "/out/a_320x240.psd"},
        {"50%", "/p/a.jpg", false, 4, 1.0, 1, 1, "jpg", "/out/a_50pc.jpg"},
        {"75%", "/p/a.jpg", false, 8, 1.0, 1, 1, "jpg", "/out/a_75pc.jpg"},
        // 0.29 x 100 is 28.999999999999996, truncated.
        {"percent through the double", "/p/a.jpg", false, 6, 29 / 100.0, 1, 1, "jpg", "/out/a_At28pc.jpg"},
        {"enlarging percent", "/p/a.jpg", false, 6, 150 / 100.0, 1, 1, "jpg", "/out/a_At150pc.jpg"},
        {"inner dots kept", "/photos/IMG.0001.jpg", false, 1, 1.0, 1, 1, "jpg", "/out/IMG.0001_800x600.jpg"},
        {"inner dots kept beside the source", "/photos/IMG.0001.jpg", true, 1, 1.0, 1, 1, "jpg",
         "/photos/IMG.0001_800x600.jpg"},
        {"no extension", "/photos/archive", false, 4, 1.0, 1, 1, "jpg", "/out/archive_50pc.jpg"},
        {"no extension beside the source", "/photos/archive", true, 4, 1.0, 1, 1, "png", "/photos/archive_50pc.png"},
        {"dotted folder, no extension", "/my.photos/pic", true, 4, 1.0, 1, 1, "jpg", "/my.photos/pic_50pc.jpg"},
        {"relative name beside the source", "pic.png", true, 5, 1.0, 1, 1, "gif", "pic_25pc.gif"},
        {"relative folder", "in/pic.png", true, 5, 1.0, 1, 1, "gif", "in/pic_25pc.gif"},
        {"a name that is all extension", "/p/.png", false, 4, 1.0, 1, 1, "jpg", "/out/_50pc.jpg"},
    };
    for (const NameRow& row : rows) {
        SCOPED_TRACE(row.what);
        OutputNameRequest r;
        r.sourcePath = row.source;
        r.destination = "/out";
        r.useSourceFolder = row.useSourceFolder;
        r.sizeChoice = row.choice;
        r.customScale = row.scale;
        r.targetWidth = row.w;
        r.targetHeight = row.h;
        r.extension = row.extension;
        const auto path = OutputPath(r);
        ASSERT_TRUE(path);
        EXPECT_EQ(*path, row.expect);
    }
}

TEST(OutputPath, UnsplittablePathsGiveNoName) {
    for (const std::string& source : {std::string(), "/p/" + std::string(256, 'n') + ".jpg",
                                      "/" + std::string(300, 'd') + "/a.jpg"}) {
        OutputNameRequest r;
        r.sourcePath = source;
        r.destination = "/out";
        r.extension = "jpg";
        EXPECT_FALSE(OutputPath(r)) << source.size();
    }
}

TEST(SizeSuffix, UnknownCodesGiveNoSuffix) {
    EXPECT_EQ(SizeSuffix(10, 1.0, 1, 1), "");
    EXPECT_EQ(SizeSuffix(-1, 1.0, 1, 1), "");
}

TEST(RunSummaryText, SingularPluralAndSourceFolder) {
    EXPECT_EQ(RunSummaryText(1, false, "/out", 126'000), "1 picture saved to /out (123 KB total).");
    EXPECT_EQ(RunSummaryText(3, false, "/out", 1'572'864), "3 pictures saved to /out (1.512 MB total).");
    EXPECT_EQ(RunSummaryText(0, false, "/out", 0), "0 pictures saved to /out (0 KB total).");
    EXPECT_EQ(RunSummaryText(2, true, "/ignored", 1'053'696),
              "2 pictures saved to the same folder as the original picture(s) (1.5 MB total).");
}
