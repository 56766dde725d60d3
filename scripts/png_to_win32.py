#!/usr/bin/env python3
"""Turns the program's PNG images into the forms a Windows resource takes.

    scripts/png_to_win32.py bmp IN.png OUT.bmp     24-bit bottom-up BMP
    scripts/png_to_win32.py ico IN.png OUT.ico     icon of 16, 32, 48 and the
                                                   PNG's own size (32-bit DIBs)

Reads 8-bit RGB or RGBA PNG files without interlacing, as
scripts/make_images.py writes them. Standard library only; the output
depends on nothing but the input, so the build gives the same bytes again.
"""

import struct
import sys
import zlib


def read_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(f"{path}: not a PNG file")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise SystemExit(f"{path}: only 8-bit RGB or RGBA PNG files without interlacing")
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, row = line[0], bytearray(line[1:])
        for i in range(stride):
            a = row[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + a) & 0xFF
            elif kind == 2:
                row[i] = (row[i] + b) & 0xFF
            elif kind == 3:
                row[i] = (row[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                row[i] = (row[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append([tuple(row[x * channels:(x + 1) * channels]) + ((255,) if channels == 3 else ())
                     for x in range(width)])
        previous = row
    return width, height, rows


def bmp(width, height, rows):
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b, _ in row:
            line += bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)) + header + pixels


def shrink(rows, size):
    """Box filter down to size x size (the source a whole multiple of it)."""
    step = len(rows) // size
    out = []
    for y in range(size):
        line = []
        for x in range(size):
            block = [rows[y * step + j][x * step + i] for j in range(step) for i in range(step)]
            alpha = sum(p[3] for p in block)
            colour = [sum(p[k] * p[3] for p in block) // alpha if alpha else 0 for k in range(3)]
            line.append(tuple(colour) + (alpha // len(block),))
        out.append(line)
    return out


def icon_image(rows):
    size = len(rows)
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytes(mask_stride * size)  # the alpha channel decides
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def ico(width, height, rows):
    if width != height:
        raise SystemExit("an icon must be square")
    sizes = [s for s in (16, 32, 48) if width % s == 0 and s < width] + [width]
    images = [icon_image(rows if s == width else shrink(rows, s)) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("bmp", "ico"):
        raise SystemExit(__doc__)
    width, height, rows = read_png(sys.argv[2])
    data = bmp(width, height, rows) if sys.argv[1] == "bmp" else ico(width, height, rows)
    with open(sys.argv[3], "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
