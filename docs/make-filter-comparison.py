#!/usr/bin/python3
# SPDX-License-Identifier: MIT
# Draws docs/filter-comparison.png: a zone plate and a photograph reduced by brimvale-resize
# with each --filter, side by side. Pillow only makes the zone plate and lays out the sheet.
# Usage: docs/make-filter-comparison.py BUILD/bin/brimvale-resize PHOTO
import os
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image, ImageDraw

resize, photo = sys.argv[1], sys.argv[2]
routes = [("exact", []), ("lanczos3", ["--filter", "lanczos3"]), ("mitchell", ["--filter", "mitchell"]),
          ("catmull-rom", ["--filter", "catmull-rom"]), ("area", ["--filter", "area"]),
          ("lanczos3 linear", ["--filter", "lanczos3", "--linear-light"])]
cell, label = 240, 18

with tempfile.TemporaryDirectory() as tmp:
    w = 960
    p = 5 * w // 2
    x = np.arange(w) - w // 2
    r2 = (x[None, :] ** 2 + x[:, None] ** 2) % p
    n = 2 * np.minimum(r2, p - r2)
    zone = (255 - (255 * (3 * n * n * p - 2 * n ** 3)) // p ** 3).astype(np.uint8)
    Image.fromarray(np.stack([zone] * 3, -1)).save(os.path.join(tmp, "zone.png"))
    Image.open(photo).convert("RGB").save(os.path.join(tmp, "photo.png"))

    # source, size options, output name, magnification, row height
    rows = [("zone.png", ["-s", "25%"], "zone_25pc.png", 1, 240),
            ("photo.png", ["--percent", "40"], "photo_At40pc.png", 2, 180)]
    sheet = Image.new("RGB", (cell * len(routes), sum(row[4] + label for row in rows)), "white")
    draw = ImageDraw.Draw(sheet)
    top = 0
    for source, size, output, magnify, height in rows:
        for c, (name, options) in enumerate(routes):
            out = os.path.join(tmp, f"out{c}")
            subprocess.run([resize, *size, *options, "-t", "png", "--quiet", "-d", out, os.path.join(tmp, source)],
                           check=True, stdout=subprocess.DEVNULL)
            im = Image.open(os.path.join(out, output))
            im = im.resize((im.width * magnify, im.height * magnify), Image.NEAREST).crop((0, 0, cell, height))
            sheet.paste(im, (c * cell, top + label))
            draw.text((c * cell + 4, top + 3), name + (" (x2)" if magnify > 1 else ""), fill="black")
        top += height + label
    sheet.save(os.path.join(os.path.dirname(os.path.abspath(__file__)), "filter-comparison.png"), optimize=True)
