#!/usr/bin/env python3
"""Writes a 32x32, 16-colour .ico from a text pixel map.

Usage: python3 tools/make_icon.py MAP.txt OUT.ico

The map has 32 lines of 32 characters. A hexadecimal digit 0-f picks a colour of the
standard 16-colour palette (0 black, 1 dark red, 2 dark green, 3 olive, 4 dark blue,
5 purple, 6 teal, 7 light grey, 8 grey, 9 red, a green, b yellow, c blue, d magenta,
e cyan, f white); "." is a transparent pixel. Lines starting with "#" are comments.
"""
import struct
import sys

SIZE = 32
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def read_map(path):
    rows = []
    with open(path, encoding="ascii") as source:
        for line in source:
            line = line.rstrip("\r\n")
            if not line or line.startswith("#"):
                continue
            if len(line) != SIZE:
                raise SystemExit(f"{path}: row {len(rows) + 1} has {len(line)} pixels, not {SIZE}")
            rows.append(line)
    if len(rows) != SIZE:
        raise SystemExit(f"{path}: {len(rows)} rows, not {SIZE}")
    return rows


def icon_bytes(rows):
    # Colour bits (4 per pixel) and the transparency mask (1 per pixel), both bottom-up.
    colour = bytearray()
    mask = bytearray()
    for row in reversed(rows):
        nibbles = [0 if c == "." else int(c, 16) for c in row]
        for i in range(0, SIZE, 2):
            colour.append(nibbles[i] << 4 | nibbles[i + 1])
        bits = 0
        for c in row:
            bits = bits << 1 | (1 if c == "." else 0)
        mask += bits.to_bytes(SIZE // 8, "big")
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 4, 0,
                         len(colour) + len(mask), 0, 0, 16, 0)
    image = header + palette + bytes(colour) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    data = icon_bytes(read_map(sys.argv[1]))
    with open(sys.argv[2], "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
