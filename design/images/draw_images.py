#!/usr/bin/env python3
"""Draws the palette bitmaps and the package icon.

Writes, next to this script:
  TSorvanIn.bmp, TSorvanOut.bmp  24 x 24, 8 bits per pixel, 256-entry colour
                                 table, no compression (1640 bytes after the
                                 14-byte file header)
  MainIcon.ico                   one 32 x 32 image of 16 colours
The output depends on nothing but this file: run it again after a change and
commit the images with it.
"""
import math
import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent

# The sixteen standard colours in their usual order, as (red, green, blue).
VGA = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, MAROON, NAVY, SILVER, GRAY, RED, BLUE, CYAN, WHITE = 0, 1, 4, 7, 8, 9, 12, 14, 15

# 256 entries: the sixteen, a 6x6x6 colour cube, then 24 greys.
PALETTE_256 = (
    VGA
    + [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    + [(8 + 10 * i,) * 3 for i in range(24)]
)
assert len(PALETTE_256) == 256

# The designer takes the bottom-left pixel's colour as transparent.
BACKGROUND = SILVER

LETTERS = {".": BACKGROUND, "k": BLACK, "g": GRAY, "w": WHITE, "r": RED, "m": MAROON}

MICROPHONE = [
    "........................",
    ".........kkkkkk.....mm..",
    "........kgwgwgwk...mrrm.",
    ".......kgwgwgwgwk..mrrm.",
    ".......kwgwgwgwgk...mm..",
    ".......kgwgwgwgwk.......",
    ".......kwgwgwgwgk.......",
    ".......kgwgwgwgwk.......",
    "....k..kwgwgwgwgk..k....",
    "....k..kkkkkkkkkk..k....",
    "....k..kggggggggk..k....",
    "....k..kggggggggk..k....",
    ".....k..kggggggk..k.....",
    ".....k...kkkkkk...k.....",
    "......kk........kk......",
    "........kkkkkkkk........",
    "...........kk...........",
    "...........kk...........",
    "...........kk...........",
    "...........kk...........",
    "......kkkkkkkkkkkk......",
    ".....kggggggggggggk.....",
    ".....kkkkkkkkkkkkkk.....",
    "........................",
]


def from_letters(rows):
    assert all(len(row) == len(rows) for row in rows), "the picture must be square"
    return [[LETTERS[c] for c in row] for row in rows]


def loudspeaker(size, background):
    """A loudspeaker facing right with three sound waves, scaled to size."""
    s = size / 24.0
    grid = [[background] * size for _ in range(size)]
    mid = (size - 1) / 2.0

    def inside_cone(x, y):
        # The cone widens from the box (x = 5) to its mouth (x = 10).
        if x < 5 * s or x > 10.5 * s:
            return False
        half = 3.5 * s + (x - 5 * s) * (5.5 / 5.5)
        return abs(y - mid) <= half

    for y in range(size):
        for x in range(size):
            in_box = 1 * s <= x < 5 * s and abs(y - mid) <= 3.5 * s
            if in_box:
                grid[y][x] = NAVY
            elif inside_cone(x, y):
                grid[y][x] = CYAN
    # Black outlines where a shape meets the background.
    outlined = [row[:] for row in grid]
    for y in range(size):
        for x in range(size):
            if grid[y][x] == background:
                continue
            edge = any(
                not (0 <= x + dx < size and 0 <= y + dy < size) or grid[y + dy][x + dx] == background
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))
            )
            if edge:
                outlined[y][x] = BLACK
    # Three arcs centred on the cone's mouth.
    cx = 9.0 * s
    for radius, colour in ((4.5 * s, BLUE), (8.0 * s, BLUE), (11.5 * s, RED)):
        for step in range(400):
            angle = math.radians(-50 + 100 * step / 399)
            x = round(cx + radius * math.cos(angle))
            y = round(mid + radius * math.sin(angle))
            if 0 <= x < size and 0 <= y < size:
                outlined[y][x] = colour
    return outlined


def bitmap_info_header(width, height, bits, image_size, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0, colours, 0)


def palette_bytes(palette):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)


def dib_8bit(pixels):
    """A 24 x 24 DIB with its 256-entry colour table, rows bottom-up."""
    size = len(pixels)
    rows = b"".join(bytes(row) for row in reversed(pixels))
    dib = bitmap_info_header(size, size, 8, len(rows), 256) + palette_bytes(PALETTE_256) + rows
    assert len(dib) == 1640
    return dib


def bmp_file(dib):
    offset = 14 + 40 + 256 * 4
    return b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, offset) + dib


def icon_file(pixels, transparent):
    """An icon file with one 32 x 32 image of 16 colours and its mask."""
    size = len(pixels)
    colour_rows = b""
    mask_rows = b""
    for row in reversed(pixels):
        colour_rows += bytes(
            ((0 if row[x] == transparent else row[x]) << 4)
            | (0 if row[x + 1] == transparent else row[x + 1])
            for x in range(0, size, 2)
        )
        bits = 0
        for x in range(size):
            bits = (bits << 1) | (1 if row[x] == transparent else 0)
        mask_rows += bits.to_bytes(size // 8, "big")
    image = (
        bitmap_info_header(size, 2 * size, 4, len(colour_rows) + len(mask_rows), 16)
        + palette_bytes(VGA)
        + colour_rows
        + mask_rows
    )
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 6 + 16)
    return header + entry + image


def main():
    (HERE / "TSorvanIn.bmp").write_bytes(bmp_file(dib_8bit(from_letters(MICROPHONE))))
    (HERE / "TSorvanOut.bmp").write_bytes(bmp_file(dib_8bit(loudspeaker(24, BACKGROUND))))
    transparent = -1
    (HERE / "MainIcon.ico").write_bytes(icon_file(loudspeaker(32, transparent), transparent))


if __name__ == "__main__":
    main()
