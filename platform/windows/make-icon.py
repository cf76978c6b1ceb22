#!/usr/bin/env python3
"""Writes the saver's icon: a 16 x 16 pixel-art picture of the scene, enlarged by whole numbers
with hard edges to the sizes Windows asks for, as 32-bit images in one .ico file.

usage: make-icon.py city|campfire OUT.ico
"""
import struct
import sys

SKY_TOP, SKY_LOW = (0x0B, 0x0E, 0x24), (0x23, 0x1C, 0x3E)
MOON, STAR = (0xF2, 0xE8, 0xC4), (0xC8, 0xD0, 0xF0)
BLACK, LIT, LIT2 = (0x05, 0x05, 0x08), (0xFF, 0xC8, 0x5A), (0xF0, 0x90, 0x40)
TREE, FIRE, EMBER, GROUND = (0x06, 0x12, 0x0C), (0xFF, 0xB0, 0x30), (0xE0, 0x40, 0x18), (0x14, 0x10, 0x0C)


def sky(y):
    t = y / 15
    return tuple(round(a + (b - a) * t) for a, b in zip(SKY_TOP, SKY_LOW))


def city():
    px = [[sky(y) for _ in range(16)] for y in range(16)]
    for x, y in ((2, 2), (6, 4), (13, 1), (9, 2)):
        px[y][x] = STAR
    for x, y in ((11, 3), (12, 3), (11, 4), (12, 4), (12, 2), (10, 4)):
        px[y][x] = MOON
    # Building columns as (left, width, top).
    for left, width, top in ((0, 3, 9), (3, 4, 6), (7, 2, 10), (9, 4, 7), (13, 3, 10)):
        for y in range(top, 16):
            for x in range(left, left + width):
                px[y][x] = BLACK
    px[5][5] = BLACK  # a mast
    for x, y, c in ((1, 11, LIT), (4, 8, LIT), (5, 10, LIT2), (4, 13, LIT), (10, 9, LIT2), (11, 12, LIT),
                    (14, 12, LIT), (7, 12, LIT2), (1, 14, LIT2)):
        px[y][x] = c
    return px


def campfire():
    px = [[sky(y) for _ in range(16)] for y in range(16)]
    for x, y in ((3, 2), (8, 1), (14, 3), (6, 4)):
        px[y][x] = STAR
    for x, y in ((11, 2), (12, 2), (11, 3), (12, 3)):
        px[y][x] = MOON
    # Conifers as (centre, top).
    for centre, top in ((2, 6), (13, 7), (6, 9)):
        for y in range(top, 14):
            half = (y - top) // 2
            for x in range(centre - half, centre + half + 1):
                if 0 <= x < 16:
                    px[y][x] = TREE
    for y in (14, 15):
        for x in range(16):
            px[y][x] = GROUND
    for x, y, c in ((9, 13, EMBER), (10, 13, FIRE), (11, 13, EMBER), (10, 12, FIRE), (10, 11, LIT), (9, 10, LIT2)):
        px[y][x] = c
    return px


def image(px, scale):
    size = 16 * scale
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(size)):  # bottom-up, as in a BMP
        row = px[y // scale]
        rows.append(b''.join(struct.pack('<BBBB', *reversed(row[x // scale]), 0xFF) for x in range(size)))
    mask_row = b'\0' * (((size + 31) // 32) * 4)  # everything opaque
    return header + b''.join(rows) + mask_row * size


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ('city', 'campfire'):
        print(__doc__.strip(), file=sys.stderr)
        return 2
    px = city() if sys.argv[1] == 'city' else campfire()
    scales = (1, 2, 3, 4)
    images = [image(px, s) for s in scales]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(scales, images):
        size = 16 * s
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[2], 'wb') as f:
        f.write(out + b''.join(images))
    return 0


if __name__ == '__main__':
    sys.exit(main())
