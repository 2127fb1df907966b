#!/usr/bin/env python3
"""Writes notifytray.ico: a card with a chip and a stripe, at 16x16 and 32x32,
32-bit colour with an alpha channel and the matching AND mask."""
import struct
import sys


def pixel(x, y, n):
    """Colour (b, g, r, a) of the pixel at (x, y), y from the top, in an n x n icon."""
    s = n / 32.0
    left, right, top, bottom = 1 * s, 31 * s, 6 * s, 26 * s
    r = 3 * s
    px, py = x + 0.5, y + 0.5
    if not (left <= px <= right and top <= py <= bottom):
        return (0, 0, 0, 0)
    # Rounded corners.
    for cx, cy in ((left + r, top + r), (right - r, top + r), (left + r, bottom - r), (right - r, bottom - r)):
        if (px < left + r or px > right - r) and (py < top + r or py > bottom - r):
            if (px - cx) ** 2 + (py - cy) ** 2 > r * r and abs(px - cx) <= r and abs(py - cy) <= r:
                return (0, 0, 0, 0)
    edge = px - left < s or right - px < s or py - top < s or bottom - py < s
    if edge:
        return (0x60, 0x40, 0x20, 0xFF)
    if 5 * s <= px <= 12 * s and 12 * s <= py <= 18 * s:
        return (0x30, 0xB0, 0xE0, 0xFF)  # the chip
    if 20 * s <= py <= 23 * s:
        return (0x50, 0x50, 0x50, 0xFF)  # the stripe
    return (0xF0, 0xD8, 0xB0, 0xFF)


def image(n):
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    row_bytes = ((n + 31) // 32) * 4
    for y in range(n - 1, -1, -1):  # bottom-up
        bits = bytearray(row_bytes)
        for x in range(n):
            b, g, r, a = pixel(x, y, n)
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def main(path):
    sizes = (16, 32)
    images = [image(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'notifytray.ico')
