#!/usr/bin/env python3
"""Writes the icon file the packer tests brand setups with: a 16x16 16-colour bitmap, a
32x32 32-bit bitmap and a 256x256 PNG image, each with its own pattern.

Usage: python3 tests/packer/make_test_icon.py OUT.ico
"""
import struct
import sys
import zlib


def bitmap_image(size, bits):
    """An icon bitmap: header (twice the height: colours, then mask), palette, rows, mask."""
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, 0, 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", k * 16, 255 - k * 16, k * 8, 0) for k in range(16))
    rows = b""
    for y in range(size):
        if bits == 4:
            row = bytes(((x + y) % 16) << 4 | ((x + y + 1) % 16) for x in range(0, size, 2))
        else:
            row = b"".join(struct.pack("<BBBB", x * 8, y * 8, 128, 255) for x in range(size))
        rows += row + b"\0" * (-len(row) % 4)
    mask = b"\0" * (((size + 31) // 32) * 4 * size)
    return header + (palette if bits == 4 else b"") + rows + mask


def png_image(size):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + b"".join(bytes((x & 0xF0, y & 0xF0, 128, 255)) for x in range(size))
                   for y in range(size))
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    images = [(16, 16, 4, bitmap_image(16, 4)), (32, 0, 32, bitmap_image(32, 32)),
              (256, 0, 32, png_image(256))]
    offset = 6 + 16 * len(images)
    directory, data = b"", b""
    for size, colours, bits, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bits,
                                 len(image), offset + len(data))
        data += image
    with open(sys.argv[1], "wb") as out:
        out.write(struct.pack("<HHH", 0, 1, len(images)) + directory + data)


if __name__ == "__main__":
    main()
