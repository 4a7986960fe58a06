#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Converts the 24/32-bit ZPixmap XWD screen that Xvfb keeps under -fbdir into a PNG, cropped
to the area that is not background. Standard library only."""

import struct
import sys
import zlib


def read_xwd(path):
    data = open(path, "rb").read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    bits_per_pixel, bytes_per_line, ncolors = fields[11], fields[12], fields[19]
    if bits_per_pixel != 32:
        raise SystemExit(f"xwd2png: {bits_per_pixel} bits per pixel is not supported")
    red_mask = fields[15]
    little = fields[7] == 0  # byte order: 0 = least significant byte first
    offset = header_size + 12 * ncolors
    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line: offset + y * bytes_per_line + 4 * width]
        row = bytearray()
        for x in range(width):
            (pixel,) = struct.unpack("<I" if little else ">I", line[4 * x: 4 * x + 4])
            r, g, b = (pixel >> 16) & 255, (pixel >> 8) & 255, pixel & 255
            if red_mask == 0xFF:
                r, b = b, r
            row += bytes((r, g, b))
        rows.append(bytes(row))
    return width, height, rows


def crop(width, height, rows):
    background = rows[-1][-3:]  # the bottom right corner is bare screen
    used = [y for y in range(height) if rows[y] != background * width]
    if not used:
        return width, height, rows
    cols = [x for x in range(width) if any(rows[y][3 * x: 3 * x + 3] != background for y in used)]
    x0, x1, y0, y1 = cols[0], cols[-1] + 1, used[0], used[-1] + 1
    return x1 - x0, y1 - y0, [rows[y][3 * x0: 3 * x1] for y in range(y0, y1)]


def write_png(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 6)))
        out.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit("usage: xwd2png.py SCREEN.xwd OUTPUT.png")
    write_png(sys.argv[2], *crop(*read_xwd(sys.argv[1])))
    print(f"wrote {sys.argv[2]}")
