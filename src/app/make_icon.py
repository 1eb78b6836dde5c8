#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""Draws the program's icon, a silver disc with a green play mark, and writes velmora2000.ico:
two 16-colour images, 32 x 32 and 16 x 16. Run it again after changing the drawing."""

import math
import struct
import sys
from pathlib import Path

# The 16 colours of the standard Windows palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_GREEN, SILVER, GREY, GREEN, YELLOW, CYAN, WHITE = 0, 2, 7, 8, 10, 11, 14, 15


def pixel(x, y, size):
    """The palette index at (x, y) from the top-left corner, or None where the icon is clear."""
    s = 32.0 / size
    px, py = (x + 0.5) * s, (y + 0.5) * s  # the pixel's centre on the 32 x 32 design
    # The play mark: a triangle pointing right, lower right, outlined in dark green.
    tx, ty = px - 19.0, py - 15.0
    if 0 <= tx <= 12 and abs(ty - 8.5) <= (12 - tx) * 0.7:
        inner = 1.0 <= tx <= 10.5 and abs(ty - 8.5) <= (12 - tx) * 0.7 - 1.2
        return GREEN if inner else DARK_GREEN
    # The disc: a grey rim, silver face with a cyan and a white sheen, a hole in the middle.
    r = math.hypot(px - 14.5, py - 14.5)
    if r > 13.6:
        return None
    if r > 12.4:
        return GREY
    if r < 3.0:
        return None
    if r < 4.8:
        return GREY if r > 4.0 else WHITE
    angle = math.degrees(math.atan2(py - 14.5, px - 14.5)) % 360
    if 200 <= angle <= 235:
        return WHITE
    if 290 <= angle <= 320:
        return CYAN
    return SILVER


def image(size):
    """The icon's DIB: header, palette, colour bits and mask, both bottom-up."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour_row = ((size * 4 + 31) // 32) * 4
    mask_row = ((size + 31) // 32) * 4
    colours, mask = b"", b""
    for y in reversed(range(size)):
        row = bytearray(colour_row)
        bits = bytearray(mask_row)
        for x in range(size):
            index = pixel(x, y, size)
            if index is None:
                bits[x // 8] |= 0x80 >> (x % 8)  # clear: the mask keeps the background
                index = BLACK
            row[x // 2] |= index << (4 if x % 2 == 0 else 0)
        colours += bytes(row)
        mask += bytes(bits)
    return header + palette + colours + mask


def icon():
    images = [(32, image(32)), (16, image(16))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


if __name__ == "__main__":
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("velmora2000.ico")
    target.write_bytes(icon())
