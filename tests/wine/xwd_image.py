"""Reads an X window dump (xwd) of a TrueColor window, 24 or 32 bits a pixel.

Standard library only, for looking at a window the Wine GUI test saved:
    python3 tests/wine/xwd_image.py IN.xwd OUT.png
"""

import struct
import sys
import zlib


class Image:
    def __init__(self, width, height, pixels):
        self.width = width
        self.height = height
        self.pixels = pixels  # rows of (r, g, b)

    def at(self, x, y):
        return self.pixels[y][x]


def read_xwd(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack(">25I", data[:100])
    header_size, version = fields[0], fields[1]
    if version != 7:
        raise ValueError(f"{path}: not an X window dump")
    width, height = fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask = fields[14], fields[15], fields[16]
    ncolors = fields[19]
    offset = header_size + ncolors * 12
    step = bits_per_pixel // 8
    if step not in (3, 4):
        raise ValueError(f"{path}: {bits_per_pixel} bits a pixel")

    def channel(value, mask):
        shift = (mask & -mask).bit_length() - 1
        return ((value & mask) >> shift) * 255 // (mask >> shift)

    rows = []
    for y in range(height):
        line = data[offset + y * bytes_per_line:offset + y * bytes_per_line + width * step]
        row = []
        for x in range(width):
            raw = line[x * step:(x + 1) * step]
            value = int.from_bytes(raw, "little" if byte_order == 0 else "big")
            row.append((channel(value, red_mask), channel(value, green_mask), channel(value, blue_mask)))
        rows.append(row)
    return Image(width, height, rows)


def write_png(image, path):
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in image.pixels)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    header = struct.pack(">IIBBBBB", image.width, image.height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)))
        f.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    write_png(read_xwd(sys.argv[1]), sys.argv[2])
