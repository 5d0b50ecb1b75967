// SPDX-License-Identifier: MIT
// Layout of the preview pane: where one picture is drawn, and the grid of a montage.
// The scale a JPEG is decoded at for the pane is chosen by the reader
// (ReducedDecodeScale in imaging/isimageex.h).
#pragma once

#include <cstdint>

/// A rectangle of the pane, in pane pixels.
struct PreviewPlacement {
    int x = 0, y = 0, width = 0, height = 0;
};

/// Where a picture of pictureWidth x pictureHeight is drawn in a pane of paneWidth x paneHeight.
/// A picture smaller than four fifths of the pane both ways is stretched over the whole
/// pane; any other is fitted in its proportions and centred along the side it leaves free.
/// An empty picture or pane gives all zeros.
PreviewPlacement FitPreview(std::uint32_t pictureWidth, std::uint32_t pictureHeight, int paneWidth, int paneHeight);

/// Where a cropped section is drawn: fitted in its proportions and centred, never
/// stretched (a small section is enlarged keeping its proportions).
PreviewPlacement FitCroppedSection(std::uint32_t width, std::uint32_t height, int paneWidth, int paneHeight);

/// The cells of a montage: each cellWidth x cellHeight, `rows` rows of `columns`.
struct MontageGrid {
    int cellWidth = 0, cellHeight = 0, rows = 0, columns = 0;
};

/// The grid of a montage of `count` pictures whose cells have the proportions `aspect` (width / height).
/// Of the layouts with whole rows and whole columns it takes the one with the larger
/// cells. Fewer than one picture, an aspect that is not a positive number, an empty
/// pane, or a grid too large to count in int gives all zeros.
MontageGrid ComputeMontageGrid(int count, double aspect, int paneWidth, int paneHeight);
