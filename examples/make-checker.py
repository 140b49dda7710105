#!/usr/bin/env python3
"""Writes checker.png: a 256 x 256 checkerboard of 32-pixel squares over a
colour gradient (red across, green up, blue the other way), so that the
orientation of a texture shows at a glance. Uses only the standard library."""
import struct
import sys
import zlib

SIZE = 256
SQUARE = 32


def pixel(x, y):
    up = SIZE - 1 - y  # rows are written top first; green grows upward
    r, g, b = x, up, 255 - (x + up) // 2
    if (x // SQUARE + up // SQUARE) % 2:
        r, g, b = r // 3, g // 3, b // 3
    return bytes((r, g, b))


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def main(path):
    raw = bytearray()
    for y in range(SIZE):
        row = b"".join(pixel(x, y) for x in range(SIZE))
        # Filter "Sub": each byte minus the byte one pixel to the left.
        raw.append(1)
        raw.extend((row[i] - (row[i - 3] if i >= 3 else 0)) & 0xFF for i in range(len(row)))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "checker.png")
