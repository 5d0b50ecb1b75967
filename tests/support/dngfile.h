// SPDX-License-Identifier: MIT
// Small DNG camera-raw files written with libtiff for the tests: four vertical bands of
// linear light, as a Bayer mosaic (RGGB) or as linear RGB.
#pragma once

#include "testutil.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <tiffio.h>

namespace dngfile {

inline constexpr std::uint32_t kW = 64, kH = 48;
inline constexpr std::uint16_t kLinearRaw = 34892;  // DNG PhotometricInterpretation LinearRaw

// Four vertical bands of linear light (0…1) in R, G, B: dark grey, light grey, red, blue.
inline void bandColour(std::uint32_t x, double rgb[3]) {
    static const double kBands[4][3] = {{0.1, 0.1, 0.1}, {0.4, 0.4, 0.4}, {0.5, 0.05, 0.05}, {0.05, 0.05, 0.5}};
    std::memcpy(rgb, kBands[x / 16], sizeof kBands[0]);
}

// A DNG 1.4 file: CFA (RGGB, one 16-bit sample a pixel) or LinearRaw (three samples).
inline std::string makeDng(bool cfa, std::uint16_t orientation = ORIENTATION_TOPLEFT) {
    testutil::TempDir dir;
    const std::string path = dir / "t.dng";
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    const std::uint16_t samples = cfa ? 1 : 3;
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kW);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kH);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, cfa ? PHOTOMETRIC_CFA : kLinearRaw);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, orientation);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kH);
    TIFFSetField(tif, TIFFTAG_MAKE, "Brimvale");
    TIFFSetField(tif, TIFFTAG_MODEL, "Test Camera");
    static const std::uint8_t kVersion[4] = {1, 4, 0, 0};
    TIFFSetField(tif, TIFFTAG_DNGVERSION, kVersion);
    TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Brimvale Test Camera");
    if (cfa) {
        static const std::uint16_t kRepeat[2] = {2, 2};
        static const std::uint8_t kPattern[4] = {0, 1, 1, 2};  // R G / G B
        TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, kRepeat);
        TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, kPattern);
    }
    // XYZ (D65) to camera: the sRGB matrix, so the camera's channels are linear sRGB.
    static const float kMatrix[9] = {3.2406f, -1.5372f, -0.4986f, -0.9689f, 1.8758f, 0.0415f, 0.0557f, -0.2040f, 1.0570f};
    TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, kMatrix);
    TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, 21);
    static const float kNeutral[3] = {1.0f, 1.0f, 1.0f};
    TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, kNeutral);

    std::vector<std::uint16_t> row(std::size_t{kW} * samples);
    for (std::uint32_t y = 0; y < kH; ++y) {
        for (std::uint32_t x = 0; x < kW; ++x) {
            double rgb[3];
            bandColour(x, rgb);
            if (cfa) {
                const int channel = (y % 2) * 2 + (x % 2) == 0 ? 0 : (y % 2 && x % 2) ? 2 : 1;
                row[x] = static_cast<std::uint16_t>(rgb[channel] * 65535);
            } else {
                for (int c = 0; c < 3; ++c) row[x * 3 + c] = static_cast<std::uint16_t>(rgb[c] * 65535);
            }
        }
        TIFFWriteScanline(tif, row.data(), y, 0);
    }
    TIFFClose(tif);
    return testutil::readFile(path);
}

} // namespace dngfile
