#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the program's icon: a 4 x 4 sensor array under a press, its cells coloured from blue
(unloaded) to red (pressed) like the plane graph. It writes the window icon built into the
program, resources/Zenvik.ico (PNG images of 16, 24, 32, 48 and 256 pixels), and the desktop's
icons, resources/icons/hicolor/<size>x<size>/apps/electronic-skin.png for 16, 32, 48, 64, 128
and 256 pixels, which the installation copies into share/icons. Standard library only; run it
again after changing it and commit what it writes."""

import argparse
import math
import struct
import zlib
from pathlib import Path

ICO_SIZES = (16, 24, 32, 48, 256)
THEME_SIZES = (16, 32, 48, 64, 128, 256)
ICON_NAME = "electronic-skin"
SUPERSAMPLE = 4
PRESS_CENTRE = (0.62, 0.38)  # where the press sits, in units of the plate


def heat(t):
    """Blue through green to red, t in 0..1."""
    t = max(0.0, min(1.0, t))
    if t < 0.5:
        return (0.0, 2 * t, 1.0 - 2 * t)
    return (2 * t - 1.0, 2.0 - 2 * t, 0.0)


def rounded_box(x, y, x0, y0, x1, y1, r):
    """Inside test of a rounded rectangle."""
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def sample(u, v):
    """Colour (r, g, b, a) of the point (u, v) of the unit square."""
    if not rounded_box(u, v, 0.02, 0.02, 0.98, 0.98, 0.18):
        return (0, 0, 0, 0)
    plate = (0.10, 0.12, 0.16, 1.0)
    inner = rounded_box(u, v, 0.06, 0.06, 0.94, 0.94, 0.14)
    if not inner:
        return (0.85, 0.88, 0.92, 1.0)
    cell = 0.88 / 4
    i, j = int((u - 0.06) / cell), int((v - 0.06) / cell)
    if not (0 <= i < 4 and 0 <= j < 4):
        return plate
    lx, ly = (u - 0.06) - i * cell, (v - 0.06) - j * cell
    gap = cell * 0.10
    if not rounded_box(lx, ly, gap, gap, cell - gap, cell - gap, cell * 0.18):
        return plate
    cu, cv = 0.06 + (i + 0.5) * cell, 0.06 + (j + 0.5) * cell
    d = math.hypot(cu - PRESS_CENTRE[0], cv - PRESS_CENTRE[1])
    r, g, b = heat(math.exp(-(d / 0.32) ** 2))
    return (r, g, b, 1.0)


def render(size):
    rows = []
    n = SUPERSAMPLE
    for y in range(size):
        row = bytearray([0])  # PNG filter type: none
        for x in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(n):
                for sx in range(n):
                    r, g, b, a = sample((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            alpha = acc[3] / (n * n)
            colour = [c / acc[3] if acc[3] else 0.0 for c in acc[:3]]
            row += bytes(int(round(255 * c)) for c in colour) + bytes([int(round(255 * alpha))])
        rows.append(bytes(row))
    return png(size, b"".join(rows))


def png(size, raw):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dim = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    resources = Path(__file__).resolve().parent.parent / "resources"
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--ico", type=Path, default=resources / "Zenvik.ico",
                        help="the window icon to write (default: %(default)s)")
    parser.add_argument("--hicolor", type=Path, default=resources / "icons" / "hicolor",
                        help="the icon theme folder to write the PNGs into (default: %(default)s)")
    args = parser.parse_args()

    images = {size: render(size) for size in sorted(set(ICO_SIZES) | set(THEME_SIZES))}
    args.ico.write_bytes(ico([(size, images[size]) for size in ICO_SIZES]))
    print(f"wrote {args.ico}")
    for size in THEME_SIZES:
        target = args.hicolor / f"{size}x{size}" / "apps" / f"{ICON_NAME}.png"
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(images[size])
        print(f"wrote {target}")


if __name__ == "__main__":
    main()
