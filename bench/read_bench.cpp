// SPDX-License-Identifier: MIT
// Reading speed: a 6000 x 4000 baseline JPEG and PNG read into a CISImageEx, against the
// libraries' own plain full decodes of the same files, measured side by side.
#include "imaging/isimageex.h"

#include <jpeglib.h>
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

constexpr int kWidth = 6000, kHeight = 4000, kRuns = 7;

// A deterministic picture with the smooth gradients and fine detail of a photograph, so
// the codecs do realistic work.
std::vector<std::uint8_t> makePicture() {
    std::vector<std::uint8_t> rgb(std::size_t{kWidth} * kHeight * 3);
    std::uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1103515245u + 12345u;
            int n = static_cast<int>((noise >> 16) & 15) - 8;
            double fx = x / double(kWidth), fy = y / double(kHeight);
            std::uint8_t* p = &rgb[(std::size_t{std::uint32_t(y)} * kWidth + x) * 3];
            p[0] = static_cast<std::uint8_t>(std::clamp(int(128 + 100 * std::sin(fx * 9 + fy * 3)) + n, 0, 255));
            p[1] = static_cast<std::uint8_t>(std::clamp(int(128 + 90 * std::cos(fy * 11 - fx * 2)) + n, 0, 255));
            p[2] = static_cast<std::uint8_t>(std::clamp(int(96 + 80 * std::sin((fx + fy) * 17)) + n, 0, 255));
        }
    return rgb;
}

void writeJpeg(const std::string& path, const std::vector<std::uint8_t>& rgb) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(&rgb[std::size_t{c.next_scanline} * kWidth * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

void writePng(const std::string& path, const std::vector<std::uint8_t>& rgb) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = kWidth;
    image.height = kHeight;
    image.format = PNG_FORMAT_RGB;
    png_image_write_to_file(&image, path.c_str(), 0, rgb.data(), 0, nullptr);
}

// The library alone: a plain full decode to RGB into one buffer.
void libjpegDecode(const std::string& path, std::vector<std::uint8_t>& out) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    out.resize(std::size_t{d.output_width} * d.output_height * 3);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[8];
        for (int i = 0; i < 8; ++i)
            rows[i] = &out[std::size_t{std::min<JDIMENSION>(d.output_scanline + i, d.output_height - 1)} * d.output_width * 3];
        jpeg_read_scanlines(&d, rows, 8);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
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
    auto rgb = makePicture();
    writeJpeg(dir + "/photo.jpg", rgb);
    writePng(dir + "/photo.png", rgb);
    rgb.clear();
    rgb.shrink_to_fit();
    compare("JPEG", dir + "/photo.jpg", kImageJpeg, libjpegDecode);
    compare("PNG", dir + "/photo.png", kImagePng, libpngDecode);
    std::string rm = "rm -rf " + dir;
    return std::system(rm.c_str()) == 0 ? 0 : 1;
}
