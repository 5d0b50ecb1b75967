#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# Float references for tests/imaging/filters_test.cpp: zone plates resampled in double
# precision by dense weight matrices (numpy), written as 8-bit grey PNGs (Pillow).
# Run from this folder: python3 make-reference.py
import numpy as np
from PIL import Image


def zone_plate(w, h):
    """Rings whose frequency grows with the radius; integer arithmetic only, as the test makes it."""
    p = 5 * w // 2
    x = np.arange(w, dtype=np.int64) - w // 2
    y = np.arange(h, dtype=np.int64) - h // 2
    r2 = (x[None, :] ** 2 + y[:, None] ** 2) % p
    n = 2 * np.minimum(r2, p - r2)
    return (255 - (255 * (3 * n * n * p - 2 * n ** 3)) // p ** 3).astype(np.float64)


def lanczos3(x):
    return np.where(np.abs(x) < 3, np.sinc(x) * np.sinc(x / 3), 0.0)


def cubic(b, c):
    def k(x):
        a = np.abs(x)
        near = ((12 - 9 * b - 6 * c) * a ** 3 + (-18 + 12 * b + 6 * c) * a ** 2 + (6 - 2 * b)) / 6
        far = ((-b - 6 * c) * a ** 3 + (6 * b + 30 * c) * a ** 2 + (-12 * b - 48 * c) * a + (8 * b + 24 * c)) / 6
        return np.where(a < 1, near, np.where(a < 2, far, 0.0))
    return k


KERNELS = {"lanczos3": (lanczos3, 3.0), "mitchell": (cubic(1 / 3, 1 / 3), 2.0), "catmull-rom": (cubic(0, 0.5), 2.0)}


def weights(n, m, name):
    """m x n matrix: row i holds destination sample i's weights over the source."""
    if n == m:
        return np.eye(n)
    wm = np.zeros((m, n))
    ratio = n / m
    if name == "area":
        for i in range(m):
            a, b = i * ratio, (i + 1) * ratio
            for k in range(int(np.floor(a)), min(n, int(np.ceil(b)))):
                wm[i, k] = min(b, k + 1) - max(a, k)
    else:
        kern, radius = KERNELS[name]
        scale = max(1.0, ratio)
        for i in range(m):
            centre = (i + 0.5) * ratio - 0.5
            ks = np.arange(int(np.floor(centre - radius * scale)) - 1, int(np.ceil(centre + radius * scale)) + 2)
            np.add.at(wm[i], np.clip(ks, 0, n - 1), kern((ks - centre) / scale))  # edges clamped
    return wm / wm.sum(axis=1, keepdims=True)


def to_linear(v):
    s = v / 255.0
    return np.where(s <= 0.04045, s / 12.92, ((s + 0.055) / 1.055) ** 2.4)


def to_srgb(l):
    l = np.clip(l, 0.0, 1.0)
    return 255.0 * np.where(l <= 0.0031308, 12.92 * l, 1.055 * l ** (1 / 2.4) - 0.055)


# name, source size, destination size, every how many destination rows are kept
CASES = [("half", (480, 330), (240, 165), 1), ("third", (480, 330), (160, 110), 1),
         ("1024x768", (3000, 2000), (1024, 768), 16), ("enlarge", (100, 66), (250, 165), 1)]

for filt in ["lanczos3", "mitchell", "catmull-rom", "area"]:
    for case, (w, h), (W, H), step in CASES:
        for linear in ([False, True] if (filt, case) == ("lanczos3", "half") else [False]):
            src = zone_plate(w, h)
            if linear:
                src = to_linear(src)
            out = weights(h, H, filt)[::step] @ src @ weights(w, W, filt).T
            if linear:
                out = to_srgb(out)
            name = f"{filt}{'-linear' if linear else ''}-{case}.png"
            Image.fromarray(np.clip(np.rint(out), 0, 255).astype(np.uint8), "L").save(name, optimize=True)
            print(name, out.shape)
