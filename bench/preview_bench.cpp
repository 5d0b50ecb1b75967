// SPDX-License-Identifier: MIT
// Preview speed: a 6000 x 4000 JPEG shown in a 700 x 466 pane, read at a reduced DCT scale,
// box-filtered to its place in the pane and drawn, against libjpeg-turbo's plain full
// decode of the same file measured in the same run; the full-size read beside it.
#include "benchpicture.h"

#include "imaging/isimageex.h"
#include "platform/gui/cdc.h"
#include "preview/layout.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kPaneWidth = 700, kPaneHeight = 466, kRuns = 7;

ImageSize placementSize(const PreviewPlacement& p) {
    return {static_cast<std::uint32_t>(p.width), static_cast<std::uint32_t>(p.height)};
}

// The pane's work for one picture: read, fit, resize, draw. `reduced` picks the read for
// display over the full read. 0 when every step succeeded.
std::uint32_t showInPane(const std::string& path, bool reduced, CDC& dc) {
    CISImageEx img;
    ImageSize full;
    std::uint32_t rc = 0;
    if (reduced) {
        rc = img.ReadForDisplay(
            path, kImageDetect,
            [](ImageSize size) { return placementSize(FitPreview(size.cx, size.cy, kPaneWidth, kPaneHeight)); },
            &full);
    } else {
        rc = img.Read(path, kImageDetect);
        full = {img.width, img.height};
    }
    if (rc) return rc;
    const PreviewPlacement place = FitPreview(full.cx, full.cy, kPaneWidth, kPaneHeight);
    if ((rc = img.ResizeInPlace(placementSize(place), IS5_RESIZE_BOX))) return rc;
    dc.Fill(0xFFFFFF);
    return img.Draw(&dc, {place.x, place.y});
}

} // namespace

int main() {
    is5_Initialize(0);
    const std::string dir = "/tmp/brimvale-bench-" + std::to_string(::getpid());
    const std::string mk = "mkdir -p " + dir;
    if (std::system(mk.c_str()) != 0) return 1;
    const std::string path = dir + "/photo.jpg";
    if (!bench::writePhotoJpeg(path, bench::makePhoto())) return 1;

    CDC dc(kPaneWidth, kPaneHeight);
    std::vector<std::uint8_t> buffer;
    std::uint32_t rcPreview = 0, rcFull = 0;
    // Rounds alternate, so that all three see the same machine state; the best run counts.
    double tDecode = 1e9, tPreview = 1e9, tFull = 1e9;
    for (int round = 0; round < 2; ++round) {
        tDecode = std::min(tDecode, bench::bestSeconds(kRuns, [&] { bench::decodeJpegFile(path, buffer); }));
        tPreview = std::min(tPreview, bench::bestSeconds(kRuns, [&] { rcPreview |= showInPane(path, true, dc); }));
        tFull = std::min(tFull, bench::bestSeconds(kRuns, [&] { rcFull |= showInPane(path, false, dc); }));
    }
    const std::string rm = "rm -rf " + dir;
    const bool removed = std::system(rm.c_str()) == 0;
    is5_Shutdown();

    std::printf("libjpeg-turbo full decode 6000x4000:          %7.1f ms\n", tDecode * 1000);
    std::printf("full read + box resize + draw into 700x466:   %7.1f ms = %.2f x full decode%s\n", tFull * 1000,
                tFull / tDecode, rcFull ? "  [FAILED]" : "");
    std::printf("reduced read + box resize + draw (target <= 0.75 x full decode)%s\n",
                rcPreview ? "  [FAILED]" : "");
    std::printf("preview: %.1f ms = %.2f x full decode\n", tPreview * 1000, tPreview / tDecode);
    return removed && !rcPreview && !rcFull ? 0 : 1;
}
