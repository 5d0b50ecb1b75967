#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Draws the program icon: a large picture and a smaller copy of it on a teal tile, in a
# 64-unit square. Writes 128.png (the window's icon, 64 x 64 pixels), the desktop theme's
# PNGs hicolor/NxN.png for N = 16 … 256, and hicolor/scalable.svg. Uses only the standard
# library; run it from this folder to rewrite them.
import math
import struct
import zlib

SIZE = 64
SAMPLES = 4  # 4 x 4 samples per pixel for smooth edges


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def picture(x0, y0, x1, y1):
    """A framed landscape: white frame, sky, sun and two hills, as (shape, colour) layers."""
    w, h = x1 - x0, y1 - y0
    frame = max(1.5, w * 0.07)
    ix0, iy0, ix1, iy1 = x0 + frame, y0 + frame, x1 - frame, y1 - frame
    iw, ih = ix1 - ix0, iy1 - iy0
    inner = rect(ix0, iy0, ix1, iy1)

    def hill(cx, top, spread):
        return lambda x, y: inner(x, y) and y >= top + ((x - cx) / spread) ** 2 * ih

    return [
        (rect(x0, y0, x1, y1), (255, 255, 255)),
        (inner, (120, 190, 235)),
        (lambda x, y: inner(x, y) and circle(ix0 + iw * 0.72, iy0 + ih * 0.3, ih * 0.16)(x, y), (255, 208, 64)),
        (hill(ix0 + iw * 0.25, iy0 + ih * 0.45, iw * 0.55), (70, 160, 80)),
        (hill(ix0 + iw * 0.8, iy0 + ih * 0.62, iw * 0.5), (40, 120, 60)),
    ]


def arrow(x0, y0, x1, y1, width):
    """A thick arrow from (x0, y0) to (x1, y1) with a triangular head."""
    dx, dy = x1 - x0, y1 - y0
    length = math.hypot(dx, dy)
    ux, uy = dx / length, dy / length
    head = width * 2.2

    def inside(x, y):
        px, py = x - x0, y - y0
        along = px * ux + py * uy
        across = abs(-px * uy + py * ux)
        if 0 <= along <= length - head:
            return across <= width / 2
        if length - head <= along <= length:
            return across <= (length - along) / head * head * 0.8
        return False
    return inside


LAYERS = (
    [(rounded_rect(1, 1, 63, 63, 10), (24, 98, 122))]
    + picture(7, 7, 41, 33)
    + [(arrow(30, 36, 42, 46, 4), (255, 150, 40))]
    + picture(40, 42, 58, 56)
)


def render(size=SIZE):
    scale = SIZE / size
    rows = []
    for py in range(size):
        row = bytearray([0])  # filter type 0
        for px in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) * scale
                    y = (py + (sy + 0.5) / SAMPLES) * scale
                    colour = None
                    for shape, c in LAYERS:
                        if shape(x, y):
                            colour = c
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 255
            n = SAMPLES * SAMPLES
            alpha = acc[3] / n
            if alpha:
                covered = acc[3] / 255
                row += bytes([round(acc[0] / covered), round(acc[1] / covered), round(acc[2] / covered), round(alpha)])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def png(pixels, size=SIZE):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(pixels, 9)) + chunk(b"IEND", b"")


def svg_picture(x0, y0, x1, y1, clip_id):
    """The framed landscape of picture() as SVG elements."""
    w, h = x1 - x0, y1 - y0
    frame = max(1.5, w * 0.07)
    ix0, iy0, ix1, iy1 = x0 + frame, y0 + frame, x1 - frame, y1 - frame
    iw, ih = ix1 - ix0, iy1 - iy0

    def hill(cx, top, spread, colour):
        points = []
        steps = 32
        for i in range(steps + 1):
            x = ix0 + iw * i / steps
            points.append((x, top + ((x - cx) / spread) ** 2 * ih))
        path = "M%.3f %.3f " % (ix0, iy1) + " ".join("L%.3f %.3f" % p for p in points) + " L%.3f %.3f Z" % (ix1, iy1)
        return '<path d="%s" fill="rgb%s" clip-path="url(#%s)"/>' % (path, colour, clip_id)

    return [
        '<clipPath id="%s"><rect x="%.3f" y="%.3f" width="%.3f" height="%.3f"/></clipPath>' % (clip_id, ix0, iy0, iw, ih),
        '<rect x="%.3f" y="%.3f" width="%.3f" height="%.3f" fill="rgb(255,255,255)"/>' % (x0, y0, w, h),
        '<rect x="%.3f" y="%.3f" width="%.3f" height="%.3f" fill="rgb(120,190,235)"/>' % (ix0, iy0, iw, ih),
        '<circle cx="%.3f" cy="%.3f" r="%.3f" fill="rgb(255,208,64)" clip-path="url(#%s)"/>'
        % (ix0 + iw * 0.72, iy0 + ih * 0.3, ih * 0.16, clip_id),
        hill(ix0 + iw * 0.25, iy0 + ih * 0.45, iw * 0.55, (70, 160, 80)),
        hill(ix0 + iw * 0.8, iy0 + ih * 0.62, iw * 0.5, (40, 120, 60)),
    ]


def svg_arrow(x0, y0, x1, y1, width):
    """The arrow of arrow() as a polygon."""
    dx, dy = x1 - x0, y1 - y0
    length = math.hypot(dx, dy)
    ux, uy = dx / length, dy / length
    nx, ny = -uy, ux
    head = width * 2.2
    half_head = head * 0.8
    base = length - head
    pts = [
        (x0 + nx * width / 2, y0 + ny * width / 2),
        (x0 + ux * base + nx * width / 2, y0 + uy * base + ny * width / 2),
        (x0 + ux * base + nx * half_head, y0 + uy * base + ny * half_head),
        (x1, y1),
        (x0 + ux * base - nx * half_head, y0 + uy * base - ny * half_head),
        (x0 + ux * base - nx * width / 2, y0 + uy * base - ny * width / 2),
        (x0 - nx * width / 2, y0 - ny * width / 2),
    ]
    return '<polygon points="%s" fill="rgb(255,150,40)"/>' % " ".join("%.3f,%.3f" % p for p in pts)


def svg():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="64" height="64" viewBox="0 0 64 64">',
             '<rect x="1" y="1" width="62" height="62" rx="10" fill="rgb(24,98,122)"/>']
    parts += svg_picture(7, 7, 41, 33, "large")
    parts.append(svg_arrow(30, 36, 42, 46, 4))
    parts += svg_picture(40, 42, 58, 56, "small")
    parts.append("</svg>")
    return "\n".join(parts) + "\n"


if __name__ == "__main__":
    import os
    with open("128.png", "wb") as f:
        f.write(png(render()))
    os.makedirs("hicolor", exist_ok=True)
    for size in (16, 24, 32, 48, 64, 128, 256):
        with open("hicolor/%dx%d.png" % (size, size), "wb") as f:
            f.write(png(render(size), size))
    with open("hicolor/scalable.svg", "w") as f:
        f.write(svg())
