// SPDX-License-Identifier: MIT
// The drawing surface of CDC.
#include "platform/gui/cdc.h"

#include "platform/gui/cdc_qt.h"

#include <algorithm>
#include <cstring>

CDC::CDC(int width, int height, std::uint32_t background) : m_surface(std::make_unique<Surface>()) {
    m_surface->image = QImage(std::max(width, 0), std::max(height, 0), QImage::Format_RGB888);
    Fill(background);
}

CDC::~CDC() = default;

int CDC::GetWidth() const { return m_surface->image.width(); }
int CDC::GetHeight() const { return m_surface->image.height(); }
std::uint64_t CDC::GetGeneration() const { return m_surface->generation; }
CDC::Surface& CDC::surface() { return *m_surface; }

std::uint32_t CDC::GetPixel(int x, int y) const {
    const QImage& img = m_surface->image;
    if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) return 0;
    const uchar* p = img.constScanLine(y) + std::size_t(x) * 3;
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

void CDC::Fill(std::uint32_t colour) {
    m_surface->image.fill(QColor(int((colour >> 16) & 0xFF), int((colour >> 8) & 0xFF), int(colour & 0xFF)));
    ++m_surface->generation;
}

void CDC::DrawRgbRows(const std::uint8_t* rgb, std::uint32_t width, std::uint32_t height, std::uint32_t stride, int x,
                      int y) {
    QImage& img = m_surface->image;
    const std::int64_t left = std::max<std::int64_t>(x, 0), top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(std::int64_t(x) + width, img.width());
    const std::int64_t bottom = std::min<std::int64_t>(std::int64_t(y) + height, img.height());
    if (left >= right || top >= bottom) return;
    for (std::int64_t row = top; row < bottom; ++row) {
        const std::uint8_t* in = rgb + std::size_t(row - y) * stride + std::size_t(left - x) * 3;
        std::memcpy(img.scanLine(int(row)) + left * 3, in, std::size_t(right - left) * 3);
    }
    ++m_surface->generation;
}
