#!/usr/bin/env python3
"""Writes bv.ico: the installer's icon, one 32 x 32 image of 16 colours
(a cyan square with a dark frame and a black "B")."""
import struct
import sys

SIZE = 32
# 16-colour VGA palette as (blue, green, red, 0).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128), (128, 128, 0),
    (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255), (255, 0, 0),
    (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
BLACK, DARK_CYAN, CYAN = 0, 3, 11

GLYPH_B = [
    "111111100",
    "110000110",
    "110000110",
    "110000110",
    "111111100",
    "110000110",
    "110000011",
    "110000011",
    "110000110",
    "111111100",
]


def colour_at(x, y):
    if x < 2 or y < 2 or x >= SIZE - 2 or y >= SIZE - 2:
        return DARK_CYAN
    gx, gy = (x - 7) // 2, (y - 6) // 2
    if 0 <= gy < len(GLYPH_B) and 0 <= gx < len(GLYPH_B[0]) and GLYPH_B[gy][gx] == "1":
        return BLACK
    return CYAN


def icon_bytes():
    palette = b"".join(bytes(rgb) + b"\0" for rgb in PALETTE)
    rows = []
    for y in reversed(range(SIZE)):  # bottom-up
        row = bytearray()
        for x in range(0, SIZE, 2):
            row.append(colour_at(x, y) << 4 | colour_at(x + 1, y))
        rows.append(bytes(row))
    xor = b"".join(rows)
    mask = bytes(SIZE * SIZE // 8)  # fully opaque
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    with open(sys.argv[1] if len(sys.argv) > 1 else "bv.ico", "wb") as out:
        out.write(icon_bytes())
