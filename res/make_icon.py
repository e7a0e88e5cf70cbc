#!/usr/bin/env python3
"""Draws the program's icon: tarvelon.ico and the freedesktop icon theme beside this script.

A gold coin with a dark blue "T", in a 16 x 16 and a 32 x 32 image with the 16
colours of the standard Windows palette (4 bits per pixel, with a transparency
mask).  The picture is described once on a 16-unit grid and sampled at each
pixel's centre, so both sizes show the same drawing.  The Linux desktop gets the
same picture anti-aliased (each pixel the mean of 8 x 8 samples): hicolor PNGs
from 16 to 256 pixels, and an SVG that draws the same shapes.  Standard library only:
    python3 res/make_icon.py [output.ico]        (no argument: also res/hicolor/)
    python3 res/make_icon.py --argb output.inc   (the Linux tray's pixmaps)
"""

import math
import os
import struct
import sys
import zlib

# The standard 16-colour palette as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
OLIVE, NAVY, YELLOW, WHITE = 3, 4, 11, 15
TRANSPARENT = None
THEME_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]
SUBSAMPLES = 8


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


def svg_source():
    """The shapes that colour_at describes, in its 16-unit grid, drawn in the same order."""
    hex_colour = ["#%02x%02x%02x" % PALETTE[i] for i in range(16)]
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 16 16">
  <clipPath id="upper-left"><rect x="0" y="0" width="7" height="7"/></clipPath>
  <circle cx="8" cy="8" r="7.3" fill="{hex_colour[OLIVE]}"/>
  <circle cx="8" cy="8" r="6.2" fill="{hex_colour[YELLOW]}"/>
  <circle cx="8" cy="8" r="5.1" fill="none" stroke="{hex_colour[WHITE]}" stroke-width="1" clip-path="url(#upper-left)"/>
  <rect x="4" y="3.5" width="8" height="2" fill="{hex_colour[NAVY]}"/>
  <rect x="7" y="5.5" width="2" height="7" fill="{hex_colour[NAVY]}"/>
</svg>
"""


def pixels(size):
    """Rows of palette indices, top row first."""
    scale = 16 / size
    return [[colour_at((x + 0.5) * scale, (y + 0.5) * scale) for x in range(size)]
            for y in range(size)]


def rgba_rows(size):
    """Rows of (red, green, blue, alpha): each pixel the mean of its samples, transparent ones weightless."""
    step = 16 / size / SUBSAMPLES
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            total = [0, 0, 0]
            opaque = 0
            for sy in range(SUBSAMPLES):
                for sx in range(SUBSAMPLES):
                    index = colour_at((x * SUBSAMPLES + sx + 0.5) * step, (y * SUBSAMPLES + sy + 0.5) * step)
                    if index is not TRANSPARENT:
                        opaque += 1
                        for channel in range(3):
                            total[channel] += PALETTE[index][channel]
            if opaque == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(round(c / opaque) for c in total) + (round(255 * opaque / SUBSAMPLES ** 2),))
        rows.append(row)
    return rows


def png_file(size):
    """An 8-bit RGBA PNG, no filter, no time stamp: the same bytes on every run."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + bytes(channel for pixel in row for channel in pixel) for row in rgba_rows(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def write_theme(directory):
    """directory/hicolor/SIZExSIZE/apps/tarvelon.png and hicolor/scalable/apps/tarvelon.svg."""
    files = [("%dx%d" % (size, size), "tarvelon.png", lambda size=size: png_file(size)) for size in THEME_SIZES]
    files.append(("scalable", "tarvelon.svg", lambda: svg_source().encode()))
    for folder, name, data in files:
        path = os.path.join(directory, "hicolor", folder, "apps")
        os.makedirs(path, exist_ok=True)
        with open(os.path.join(path, name), "wb") as f:
            f.write(data())


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
    """C initialisers of the tray item's pixmaps: ARGB32 in network byte order, anti-aliased as the theme's."""
    lines = []
    for size in sizes:
        data = bytearray()
        for row in rgba_rows(size):
            for red, green, blue, alpha in row:
                data += bytes((alpha, red, green, blue))
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
    if len(sys.argv) == 1:
        write_theme(here)


if __name__ == "__main__":
    main()
