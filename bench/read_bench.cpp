// SPDX-License-Identifier: MIT
// Reading speed: a 6000 x 4000 baseline JPEG and PNG read into a CISImageEx, against the
// libraries' own plain full decodes of the same files, measured side by side.
#include "benchpicture.h"

#include "imaging/isimageex.h"

#include <png.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = bench::kPhotoWidth, kHeight = bench::kPhotoHeight, kRuns = 7;

void writePng(const std::string& path, const std::vector<std::uint8_t>& rgb) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = PNG_FORMAT_RGB;
    png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
}

void libpngDecode(const std::string& path, std::vector<std::uint8_t>& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    png_image_begin_read_from_file(&image, path.c_str());
    image.format = PNG_FORMAT_RGB;
    out.resize(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, out.data(), 0, nullptr);
}

double medianSeconds(const std::function<void()>& work) {
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void compare(const char* what, const std::string& path, int type,
             const std::function<void(const std::string&, std::vector<std::uint8_t>&)>& baseline) {
    std::vector<std::uint8_t> buffer;
    CISImageEx img;
    std::uint32_t rc = 0;
    // Two rounds, alternating, so that both see the same machine state; the best median counts.
    double l = 1e9, o = 1e9;
    for (int round = 0; round < 2; ++round) {
        l = std::min(l, medianSeconds([&] { baseline(path, buffer); }));
        o = std::min(o, medianSeconds([&] { rc = img.Read(path, type); }));
    }
    std::printf("%-5s 6000x4000: library %.1f ms, CISImageEx::Read %.1f ms, ratio %.2f (target <= 1.10)%s\n", what,
                l * 1000, o * 1000, o / l, rc ? "  [READ FAILED]" : "");
}

} // namespace

int main() {
    std::string dir = "/tmp/brimvale-bench-" + std::to_string(::getpid());
    std::string mk = "mkdir -p " + dir;
    if (std::system(mk.c_str()) != 0) return 1;
    auto rgb = bench::makePhoto();
    if (!bench::writePhotoJpeg(dir + "/photo.jpg", rgb)) return 1;
    writePng(dir + "/photo.png", rgb);
    rgb.clear();
    rgb.shrink_to_fit();
    compare("JPEG", dir + "/photo.jpg", kImageJpeg, bench::decodeJpegFile);
    compare("PNG", dir + "/photo.png", kImagePng, libpngDecode);
    std::string rm = "rm -rf " + dir;
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
