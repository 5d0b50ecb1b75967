// SPDX-License-Identifier: MIT
// Drawing pictures 1:1 into a device context.
#include "imaging/isimageex.h"
#include "platform/gui/cdc.h"

#include <gtest/gtest.h>

TEST(Draw, PicturesLandOneToOneAndClipped) {
    CISImageEx rgb;
    ASSERT_EQ(rgb.Allocate(100, 50, 24), 0u);
    for (std::uint32_t i = 0; i < 100 * 50; ++i) {
        rgb.GetPixels()[i * 3] = std::uint8_t(i % 100);     // red: the column
        rgb.GetPixels()[i * 3 + 1] = std::uint8_t(i / 100); // green: the row
        rgb.GetPixels()[i * 3 + 2] = 200;
    }
    CDC dc(200, 100, 0x000000);
    ASSERT_EQ(rgb.Draw(&dc, {5, 7}), 0u);
    EXPECT_EQ(dc.GetPixel(5, 7), 0x0000C8u);          // picture (0, 0)
    EXPECT_EQ(dc.GetPixel(104, 56), 0x6331C8u);       // picture (99, 49)
    EXPECT_EQ(dc.GetPixel(4, 7), 0u);                 // left of it
    EXPECT_EQ(dc.GetPixel(105, 56), 0u);              // right of it
    EXPECT_EQ(dc.GetPixel(50, 6), 0u);                // above
    EXPECT_EQ(dc.GetPixel(50, 57), 0u);               // below

    // Partly off the surface: what lands is drawn, the rest is dropped.
    CDC small(30, 20, 0xFFFFFF);
    ASSERT_EQ(rgb.Draw(&small, {-90, -45}), 0u);
    EXPECT_EQ(small.GetPixel(0, 0), 0x5A2DC8u);       // picture (90, 45)
    EXPECT_EQ(small.GetPixel(9, 4), 0x6331C8u);       // picture (99, 49)
    EXPECT_EQ(small.GetPixel(10, 5), 0xFFFFFFu);
    ASSERT_EQ(rgb.Draw(&small, {1000, 1000}), 0u);

    // Palette and 1-bit pictures are drawn through their palettes.
    CISImageEx pal;
    ASSERT_EQ(pal.Allocate(3, 1, 8), 0u);
    pal.palette[0] = {10, 20, 30, 0};
    pal.palette[7] = {1, 2, 3, 0};
    pal.GetPixels()[0] = 7;
    pal.GetPixels()[1] = 0;
    pal.GetPixels()[2] = 7;
    CISImageEx bits;
    ASSERT_EQ(bits.Allocate(10, 1, 1), 0u);
    bits.palette[0] = {255, 255, 255, 0};
    bits.palette[1] = {0, 0, 0, 0};
    bits.GetPixels()[0] = 0x80;
    bits.GetPixels()[1] = 0x40; // pixel 9
    CDC surface(20, 5, 0x123456);
    ASSERT_EQ(pal.Draw(&surface, {0, 0}), 0u);
    ASSERT_EQ(bits.Draw(&surface, {0, 2}), 0u);
    EXPECT_EQ(surface.GetPixel(0, 0), 0x010203u);
    EXPECT_EQ(surface.GetPixel(1, 0), 0x0A141Eu);
    EXPECT_EQ(surface.GetPixel(3, 0), 0x123456u);
    EXPECT_EQ(surface.GetPixel(0, 2), 0x000000u);
    EXPECT_EQ(surface.GetPixel(1, 2), 0xFFFFFFu);
    EXPECT_EQ(surface.GetPixel(9, 2), 0x000000u);
    EXPECT_EQ(surface.GetPixel(10, 2), 0x123456u);

    CISImageEx empty;
    EXPECT_EQ(empty.Draw(&surface, {0, 0}), 5u);
    EXPECT_EQ(rgb.Draw(nullptr, {0, 0}), 5u);
}
