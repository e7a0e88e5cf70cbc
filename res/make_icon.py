#!/usr/bin/env python3
"""Draws the program's icon and writes it as tarvelon.ico beside this script.

A gold coin with a dark blue "T", in a 16 x 16 and a 32 x 32 image with the 16
colours of the standard Windows palette (4 bits per pixel, with a transparency
mask).  The picture is described once on a 16-unit grid and sampled at each
pixel's centre, so both sizes show the same drawing.  Standard library only:
    python3 res/make_icon.py [output.ico]
    python3 res/make_icon.py --argb output.inc   (the Linux tray's pixmaps)
"""

import math
import os
import struct
import sys

# The standard 16-colour palette as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
OLIVE, NAVY, YELLOW, WHITE = 3, 4, 11, 15
TRANSPARENT = None


def colour_at(u, v):
    """Palette index of the picture at grid point (u, v), 0 <= u, v < 16."""
    du, dv = u - 8, v - 8
    radius = math.hypot(du, dv)
    if radius > 7.3:
        return TRANSPARENT
    if radius > 6.2:
        return OLIVE
    if (4 <= u < 12 and 3.5 <= v < 5.5) or (7 <= u < 9 and 5.5 <= v < 12.5):
        return NAVY
    if 4.6 < radius < 5.6 and du < -1 and dv < -1:
        return WHITE
    return YELLOW


def pixels(size):
    """Rows of palette indices, top row first."""
    scale = 16 / size
    return [[colour_at((x + 0.5) * scale, (y + 0.5) * scale) for x in range(size)]
            for y in range(size)]


def row_bytes(bits):
    """A DIB row: the bits packed, padded to a multiple of 4 bytes."""
    data = bytearray((len(bits) + 7) // 8)
    for i, bit in enumerate(bits):
        if bit:
            data[i // 8] |= 0x80 >> (i % 8)
    return bytes(data) + b"\0" * (-len(data) % 4)


def image(size):
    """One icon image: BITMAPINFOHEADER, palette, colour bits, mask (bottom row first)."""
    rows = pixels(size)
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        packed = bytearray()
        for x in range(0, size, 2):
            left, right = (row[x] or 0), (row[x + 1] or 0)
            packed.append(left << 4 | right)
        colour += packed + b"\0" * (-len(packed) % 4)
        mask += row_bytes([index is TRANSPARENT for index in row])
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    return header + palette + bytes(colour) + bytes(mask)


def icon_file(sizes):
    images = [image(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(images)


def argb_source(sizes):
    """C initialisers of the tray item's pixmaps: ARGB32 in network byte order."""
    lines = []
    for size in sizes:
        data = bytearray()
        for row in pixels(size):
            for index in row:
                data += b"\0\0\0\0" if index is TRANSPARENT else bytes((255,) + PALETTE[index])
        lines.append("ICON_PIXMAP(%d, \"%s\")" % (size, "".join("\\x%02x" % b for b in data)))
    return "\n".join(lines) + "\n"


def main():
    if sys.argv[1:2] == ["--argb"]:
        with open(sys.argv[2], "w") as f:
            f.write(argb_source([16, 22, 24, 32, 48]))
        return
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "tarvelon.ico")
    with open(out, "wb") as f:
        f.write(icon_file([16, 32]))


if __name__ == "__main__":
    main()
