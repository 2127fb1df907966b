#!/usr/bin/env python3
"""Writes cardcc.BMP, the colour preview picture of the colour adjustment
dialog: 100 by 100 pixels, 24 bits, rows bottom-up (14-byte file header,
40-byte information header, 30000 bytes of pixels, no padding as 300 bytes a
row is a multiple of 4).

The picture is made to show what the sliders do: a hue wheel on the left, a
grey ramp along the bottom, and pure red, green, blue, cyan, magenta and
yellow patches on the right.  Run once; the output is committed.
"""
import colorsys
import math
import os
import struct
import sys

SIDE = 100


def pixel(x, y):
    """Colour (r, g, b) of the pixel x, y, y counted from the top."""
    if y >= 88:  # grey ramp
        v = round(255 * x / (SIDE - 1))
        return v, v, v
    if x >= 76:  # patches, 6 rows of 14 pixels
        patches = [(255, 0, 0), (0, 255, 0), (0, 0, 255), (0, 255, 255), (255, 0, 255), (255, 255, 0)]
        return patches[min(y // 14, 5)]
    cx, cy, radius = 37.5, 43.5, 36.0
    dx, dy = x - cx, y - cy
    d = math.hypot(dx, dy)
    if d > radius:
        # background: a soft diagonal blend of skin-like tones
        t = (x + y) / (2 * SIDE)
        return round(230 - 60 * t), round(190 - 50 * t), round(160 - 40 * t)
    hue = (math.atan2(dy, dx) / (2 * math.pi)) % 1.0
    r, g, b = colorsys.hsv_to_rgb(hue, d / radius, 1.0)
    return round(r * 255), round(g * 255), round(b * 255)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "cardcc.BMP")
    pixels = bytearray()
    for row in range(SIDE - 1, -1, -1):  # bottom-up
        for x in range(SIDE):
            r, g, b = pixel(x, row)
            pixels += bytes((b, g, r))
    assert len(pixels) == 30000
    info = struct.pack("<IiiHHIIiiII", 40, SIDE, SIDE, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    with open(out, "wb") as f:
        f.write(header + info + pixels)


if __name__ == "__main__":
    main()
