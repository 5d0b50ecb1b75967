// SPDX-License-Identifier: MIT
// CDC: a device context over a surface that keeps what was drawn, so a window can paint
// it again whenever it needs to. The header carries no Qt types, so the imaging layer can
// draw into it without depending on Qt itself.
#pragma once

#include <cstdint>
#include <memory>

class CDC {
public:
    /// A surface of the given size, filled with `background` (0xRRGGBB).
    CDC(int width, int height, std::uint32_t background = 0xFFFFFF);
    ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    int GetWidth() const;
    int GetHeight() const;
    /// The colour at a point as 0xRRGGBB; 0 outside the surface.
    std::uint32_t GetPixel(int x, int y) const;
    /// Fills the whole surface with one colour.
    void Fill(std::uint32_t colour);
    /// Copies rows of R, G, B bytes 1:1 with their top-left pixel at (x, y), clipped to
    /// the surface.
    void DrawRgbRows(const std::uint8_t* rgb, std::uint32_t width, std::uint32_t height, std::uint32_t stride, int x,
                     int y);
    /// Raised each time something is drawn; a window compares it to know when to repaint.
    std::uint64_t GetGeneration() const;

    struct Surface;
    /// The surface itself, for the platform's widget code.
    Surface& surface();

private:
    std::unique_ptr<Surface> m_surface;
};
