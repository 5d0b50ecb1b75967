// SPDX-License-Identifier: MIT
// Layout of the preview pane. The montage grid is computed in doubles in a fixed order of
// operations (the target compiles with -ffp-contract=off), so that ties between the two
// candidate layouts fall the same way on every machine.
#include "preview/layout.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// The picture fitted into the pane in its proportions: full height for a portrait picture
// (full width when that would be too wide), full width otherwise (full height when too tall).
// Every quotient is at most the pane's side, so each conversion fits an int.
void fitProportions(std::uint32_t pictureWidth, std::uint32_t pictureHeight, int cw, int ch, int& dw, int& dh) {
    const double ratio = static_cast<double>(pictureHeight) / static_cast<double>(pictureWidth);
    if (ratio > 1) {
        dh = ch;
        dw = static_cast<int>(ch / ratio);
        if (dw > cw) {
            dw = cw;
            dh = static_cast<int>(cw * ratio);
        }
    } else {
        dw = cw;
        dh = static_cast<int>(cw * ratio);
        if (dh > ch) {
            dh = ch;
            dw = static_cast<int>(ch / ratio);
        }
    }
}

// Centred along the side the picture leaves free.
PreviewPlacement centred(int dw, int dh, int cw, int ch) {
    PreviewPlacement placement{0, 0, dw, dh};
    if (dw == cw && dh < ch) placement.y = (ch - dh) / 2;
    else if (dh == ch && dw < cw) placement.x = (cw - dw) / 2;
    return placement;
}

} // namespace

PreviewPlacement FitPreview(std::uint32_t pictureWidth, std::uint32_t pictureHeight, int paneWidth, int paneHeight) {
    if (pictureWidth == 0 || pictureHeight == 0 || paneWidth <= 0 || paneHeight <= 0) return {};
    const int cw = paneWidth, ch = paneHeight;
    int dw = cw, dh = ch;
    // A picture that would fill less than four fifths of the pane both ways is stretched
    // over all of it; any other keeps its proportions.
    const bool small = std::int64_t{pictureHeight} < 4 * std::int64_t{ch / 5} &&
                       std::int64_t{pictureWidth} < 4 * std::int64_t{cw / 5};
    if (!small) fitProportions(pictureWidth, pictureHeight, cw, ch, dw, dh);
    return centred(dw, dh, cw, ch);
}

PreviewPlacement FitCroppedSection(std::uint32_t width, std::uint32_t height, int paneWidth, int paneHeight) {
    if (width == 0 || height == 0 || paneWidth <= 0 || paneHeight <= 0) return {};
    int dw = paneWidth, dh = paneHeight;
    fitProportions(width, height, paneWidth, paneHeight, dw, dh);
    return centred(dw, dh, paneWidth, paneHeight);
}

namespace {

// Whether a non-negative double converts to int (truncating) without overflow; false for
// infinities and NaN, which the grid's divisions by a zero count produce.
bool fitsInt(double v) { return v >= 0 && v < 2147483648.0; }

} // namespace

MontageGrid ComputeMontageGrid(int count, double aspect, int paneWidth, int paneHeight) {
    if (count < 1 || !(aspect > 0) || !std::isfinite(aspect) || paneWidth <= 0 || paneHeight <= 0) return {};
    const double n = count, a = aspect, cw = paneWidth, ch = paneHeight;
    // Columns in an ideal grid of cells with the pane's area shared out evenly.
    const double s = std::sqrt(n * cw / (a * ch));

    // Candidate A: floor(s) columns, cells as tall as the rows allow. With no whole column
    // (s < 1) its rows are infinite and its cells empty, so B wins.
    const double colsA = std::floor(s);
    const double rowsA = std::ceil(n / colsA);
    const double heightA = ch / rowsA;
    const double areaA = a * (heightA * heightA);
    // Candidate B: ceil(s) columns, cells as wide as the columns allow.
    const double colsB = std::ceil(s);
    const double rowsB = std::ceil(n / colsB);
    const double widthB = cw / colsB;
    const double areaB = (widthB * widthB) / a;

    double cellW = 0, cellH = 0, rows = 0, cols = 0;
    if (areaA > areaB) {
        cellH = std::trunc(heightA);
        cellW = std::trunc(a * cellH);
        rows = rowsA;
        cols = colsA;
    } else {
        cellW = std::trunc(widthB);
        cellH = std::trunc(cellW / a);
        rows = rowsB;
        cols = colsB;
        if (rowsB * cellH > ch) {
            // B's rows are too tall for the pane: let the height decide the cell instead.
            double h = ch / rowsB, w = h * a;
            if (n * w < cw) {
                // Even one row of these cells leaves width over: size the cells by the
                // pane's width instead, a column more each time until all the pictures fit
                // in one row. Below n - 1 columns n * (cw / c) always exceeds cw, so the
                // count may start there; it stops by n + 1 columns at the latest.
                double c = std::max(colsB, n - 1);
                for (;;) {
                    w = cw / c;
                    h = w / a;
                    if (n * w <= cw || c > n + 1) break;
                    c += 1;
                }
                if (h > ch) {
                    h = ch;
                    w = a * ch;
                }
            }
            cols = std::floor(cw / w);
            // cw / (cw / c) can come out a hair below c, and the column lost to rounding
            // would add a row that runs off the pane: keep it when it fits.
            if ((cols + 1) * w <= cw * (1 + 1e-12)) cols += 1;
            rows = std::ceil(n / cols);
            if (cols * w < cw && rows * h < ch) {
                // Room left both ways: spread the columns over the width, at B's cell height
                // unless the rows then overrun the pane.
                w = cw / cols;
                h = cellW / a;
                if (rows * h > ch) {
                    h = ch / rows;
                    w = a * ch / rows;
                }
            }
            cellW = std::trunc(w);
            cellH = std::trunc(h);
        }
    }
    if (!fitsInt(cellW) || !fitsInt(cellH) || !fitsInt(rows) || !fitsInt(cols)) return {};
    return {static_cast<int>(cellW), static_cast<int>(cellH), static_cast<int>(rows), static_cast<int>(cols)};
}
