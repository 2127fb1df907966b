#!/usr/bin/env python3
"""Draws the sample card's portrait photo and writes it as photo.bmp.

The picture is drawn from simple shapes so that it can be regenerated
anywhere with nothing but Python.  It is a 24-bit bottom-up BMP whose width
(150) is not a multiple of four pixels, so that the loader's row padding is
exercised by the sample itself.  Its flat areas (background, face, shirt) are
large enough to be recognised in the printed card.

    python3 make_photo.py [OUTPUT]     (default: photo.bmp beside this script)
"""
import os
import struct
import sys

WIDTH, HEIGHT = 150, 190

BACKGROUND_TOP = (172, 204, 238)
BACKGROUND_BOTTOM = (118, 160, 216)
SKIN = (236, 192, 160)
SKIN_SHADE = (214, 166, 134)
HAIR = (72, 46, 30)
SHIRT = (28, 92, 112)
COLLAR = (245, 245, 245)
EYE = (38, 40, 52)
MOUTH = (176, 72, 72)


def inside_ellipse(x, y, cx, cy, rx, ry):
    dx, dy = (x - cx) / rx, (y - cy) / ry
    return dx * dx + dy * dy <= 1.0


def pixel(x, y):
    """Colour of the pixel at column x, row y (row 0 at the top)."""
    t = y / (HEIGHT - 1)
    colour = tuple(round(a + (b - a) * t) for a, b in zip(BACKGROUND_TOP, BACKGROUND_BOTTOM))
    # Shoulders and shirt, with a white collar.
    if inside_ellipse(x, y, 75, 212, 78, 64):
        colour = SHIRT
        if inside_ellipse(x, y, 75, 150, 22, 14):
            colour = COLLAR
    # Neck.
    if 62 <= x <= 88 and 110 <= y <= 152 and not (y > 140 and not inside_ellipse(x, y, 75, 140, 13, 14)):
        colour = SKIN_SHADE
    # Hair behind the face.
    if inside_ellipse(x, y, 75, 70, 44, 50) and y < 92:
        colour = HAIR
    # Face, shaded on its right.
    if inside_ellipse(x, y, 75, 84, 36, 46):
        colour = SKIN if x < 96 else SKIN_SHADE
        # Fringe.
        if y < 54 and inside_ellipse(x, y, 75, 44, 40, 18):
            colour = HAIR
        if inside_ellipse(x, y, 61, 80, 5, 3) or inside_ellipse(x, y, 89, 80, 5, 3):
            colour = EYE
        if 102 <= y <= 106 and inside_ellipse(x, y, 75, 98, 14, 9) and not inside_ellipse(x, y, 75, 97, 12, 7):
            colour = MOUTH
    return colour


def bmp_bytes():
    row_bytes = WIDTH * 3
    stride = (row_bytes + 3) & ~3
    image = bytearray()
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - row_bytes)
        image += row
    offset = 14 + 40
    header = struct.pack("<2sIHHI", b"BM", offset + len(image), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 11811, 11811, 0, 0)
    return header + info + bytes(image)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "photo.bmp")
    with open(out, "wb") as f:
        f.write(bmp_bytes())


if __name__ == "__main__":
    main()
