#!/usr/bin/env python3
"""Draws the program's icon (NvRunUnattended.ico): a blue rounded square with
a white arrow pointing down onto a tray, at 32x32 and 16x16, 32 bits per pixel
with an AND mask. Needs nothing beyond the standard library.

    python3 make_icon.py [output.ico]
"""

import struct
import sys

BLUE = (0x1F, 0x5F, 0xB4)
DARK = (0x12, 0x3A, 0x70)
WHITE = (0xFF, 0xFF, 0xFF)


def inside_rounded_square(x, y, radius):
    """x, y in 0..1; the square fills the cell with rounded corners."""
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_arrow(x, y):
    """A downward arrow: a shaft and a triangular head, centred."""
    if 0.42 <= x <= 0.58 and 0.16 <= y <= 0.50:
        return True
    if 0.46 <= y <= 0.70:
        half = (0.70 - y) / 0.24 * 0.24
        return abs(x - 0.5) <= half
    return False


def inside_tray(x, y):
    """An open tray under the arrow."""
    if 0.76 <= y <= 0.84 and 0.20 <= x <= 0.80:
        return True
    if 0.62 <= y <= 0.84 and (0.20 <= x <= 0.27 or 0.73 <= x <= 0.80):
        return True
    return False


def sample(x, y):
    """Colour and coverage of one point."""
    if not inside_rounded_square(x, y, 0.18):
        return None
    if inside_arrow(x, y) or inside_tray(x, y):
        return WHITE
    # A little shading towards the bottom.
    t = y
    return tuple(int(b * (1 - t) + d * t) for b, d in zip(BLUE, DARK))


def render(size, grid=4):
    """Rows top to bottom of (r, g, b, a), supersampled grid x grid."""
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            hits = 0
            for sy in range(grid):
                for sx in range(grid):
                    c = sample((px + (sx + 0.5) / grid) / size, (py + (sy + 0.5) / grid) / size)
                    if c is not None:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                alpha = hits * 255 // (grid * grid)
                row.append(tuple(v // hits for v in acc) + (alpha,))
        rows.append(row)
    return rows


def dib(size):
    """The icon image: BITMAPINFOHEADER, BGRA pixels bottom-up, AND mask."""
    rows = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + mask


def ico(sizes):
    images = [dib(s) for s in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    return bytes(out)


if __name__ == "__main__":
    path = sys.argv[1] if len(sys.argv) > 1 else "NvRunUnattended.ico"
    with open(path, "wb") as f:
        f.write(ico([32, 16]))
