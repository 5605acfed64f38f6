#!/usr/bin/env python3
"""Writes Oprogramie.bmp, the About window's picture: a 45 x 42 miniature of
the main window's two bar gauges on a light grey ground, the download bar
(yellow) filled over its lower three quarters and the upload bar (red) over
its lower quarter, both grey above.

The file is an uncompressed 24-bit device-independent bitmap with bottom-up
rows and no palette (BITMAPINFOHEADER, BI_RGB). Run once; the output is
committed beside this script:  python3 MakeOprogramieBmp.py Oprogramie.bmp
"""
import struct
import sys

WIDTH, HEIGHT = 45, 42
GROUND = (0xD4, 0xD0, 0xC8)   # light grey (R, G, B)
EMPTY = (0x80, 0x80, 0x80)    # the gauges' grey ground
YELLOW = (0xFF, 0xFF, 0x00)
RED = (0xFF, 0x00, 0x00)
FRAME = (0x40, 0x40, 0x40)

TOP, BOTTOM = 4, 37           # bar rows, inclusive, counted from the top
BARS = ((10, 19, YELLOW, 0.75), (25, 34, RED, 0.25))


def pixel(x, y):
    for left, right, colour, filled in BARS:
        if left <= x <= right and TOP <= y <= BOTTOM:
            if x in (left, right) or y in (TOP, BOTTOM):
                return FRAME
            inner = BOTTOM - TOP - 1
            level = BOTTOM - int(inner * filled)
            return colour if y >= level else EMPTY
    return GROUND


def main(path):
    stride = (WIDTH * 3 + 3) & ~3
    rows = []
    for y in reversed(range(HEIGHT)):  # bottom-up
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    image = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 3780, 3780, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(image), 0, 0, 14 + len(info))
    with open(path, "wb") as out:
        out.write(header + info + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "Oprogramie.bmp")
