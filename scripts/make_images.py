#!/usr/bin/env python3
"""Draws the program's bitmaps and icon and writes them under resources/.

    scripts/make_images.py [RESOURCES_DIR]

Writes bitmaps/eprom.png (64 x 64 EPROM seen from above), bitmaps/check.png
and bitmaps/cross.png (32 x 32 marks, the whole mark within the top-left
28 x 28, since only that part is ever copied to the window), and
icons/talverine.png (128 x 128) with icons/talverine.svg.

Standard library only: shapes are sampled 4 x 4 per pixel for smooth edges
and the PNG files are written with zlib. The output depends on nothing but
this file, so running it again gives the same bytes.
"""

import math
import os
import struct
import sys
import zlib

SUPERSAMPLE = 4


# --- a small rasteriser --------------------------------------------------------

class Image:
    def __init__(self, width, height, background):
        self.width = width
        self.height = height
        self.pixels = [list(background) for _ in range(width * height)]

    def draw(self, inside, colour, bounds=None):
        """Blends `colour` (r, g, b[, a] in 0..255, or a function of x, y
        giving one) over every pixel by the share of its subsamples for which
        inside(x, y) holds."""
        x0, y0, x1, y1 = bounds or (0, 0, self.width, self.height)
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.width, int(math.ceil(x1))), min(self.height, int(math.ceil(y1)))
        step = 1.0 / SUPERSAMPLE
        offsets = [(i + 0.5) * step for i in range(SUPERSAMPLE)]
        for py in range(y0, y1):
            for px in range(x0, x1):
                hits = sum(1 for oy in offsets for ox in offsets if inside(px + ox, py + oy))
                if hits:
                    c = colour(px + 0.5, py + 0.5) if callable(colour) else colour
                    self._blend(px, py, c, hits / (SUPERSAMPLE * SUPERSAMPLE))

    def _blend(self, x, y, colour, coverage):
        alpha = coverage * (colour[3] / 255.0 if len(colour) > 3 else 1.0)
        dst = self.pixels[y * self.width + x]
        out_a = alpha + dst[3] / 255.0 * (1 - alpha)
        if out_a <= 0:
            return
        for i in range(3):
            dst[i] = (colour[i] * alpha + dst[i] * dst[3] / 255.0 * (1 - alpha)) / out_a
        dst[3] = out_a * 255.0

    def write_png(self, path, with_alpha):
        rows = bytearray()
        channels = 4 if with_alpha else 3
        for y in range(self.height):
            rows.append(0)  # filter: none
            for x in range(self.width):
                p = self.pixels[y * self.width + x]
                rows.extend(max(0, min(255, int(round(v)))) for v in p[:channels])

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6 if with_alpha else 2, 0, 0, 0)
        png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
        png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(png)


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def stroke(points, width):
    """A polyline `width` wide with round joins and caps."""
    half2 = (width / 2.0) ** 2
    segments = list(zip(points, points[1:]))

    def inside(x, y):
        for (ax, ay), (bx, by) in segments:
            dx, dy = bx - ax, by - ay
            t = ((x - ax) * dx + (y - ay) * dy) / float(dx * dx + dy * dy)
            t = max(0.0, min(1.0, t))
            if (x - ax - t * dx) ** 2 + (y - ay - t * dy) ** 2 <= half2:
                return True
        return False
    return inside


def bounds_of(points, margin):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return (min(xs) - margin, min(ys) - margin, max(xs) + margin, max(ys) + margin)


def vertical_gradient(top_colour, bottom_colour, y0, y1):
    def colour(_x, y):
        t = max(0.0, min(1.0, (y - y0) / float(y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(top_colour, bottom_colour))
    return colour


def horizontal_gradient(left_colour, right_colour, x0, x1):
    def colour(x, _y):
        t = max(0.0, min(1.0, (x - x0) / float(x1 - x0)))
        return tuple(a + (b - a) * t for a, b in zip(left_colour, right_colour))
    return colour


WHITE = (255, 255, 255, 255)
BODY_LIGHT = (70, 70, 78)
BODY_DARK = (32, 32, 37)
PIN_LIGHT = (232, 234, 240)
PIN_DARK = (150, 153, 162)
WINDOW_FRAME = (168, 172, 180)
QUARTZ_TOP = (214, 232, 244)
QUARTZ_BOTTOM = (150, 182, 206)
DIE = (196, 160, 82)
DIE_EDGE = (140, 110, 50)


# --- the EPROM picture -----------------------------------------------------------

def draw_eprom():
    """A 28-pin DIP EPROM from above: pins to the left and right, the notch
    at the top, pin 1's dot, and the quartz window over the die."""
    img = Image(64, 64, WHITE)
    body = (17, 2, 47, 62)
    for i in range(14):
        y = 5 + 4 * i
        img.draw(rect(11, y, body[0], y + 2), horizontal_gradient(PIN_DARK, PIN_LIGHT, 11, 17), (11, y, 17, y + 2))
        img.draw(rect(body[2], y, 53, y + 2), horizontal_gradient(PIN_LIGHT, PIN_DARK, 47, 53), (47, y, 53, y + 2))
    img.draw(rounded_rect(*body, 1.5), horizontal_gradient(BODY_LIGHT, BODY_DARK, body[0], body[2]), body)
    img.draw(rect(body[0] + 1, body[1] + 1, body[2] - 1, body[1] + 2), (96, 96, 104), body)
    notch = circle(32, body[1], 4)
    img.draw(lambda x, y: notch(x, y) and y >= body[1], (18, 18, 21), (27, 0, 37, 8))
    img.draw(circle(21.5, 7.5, 1.6), (120, 120, 128), (18, 4, 25, 11))      # pin 1
    img.draw(rounded_rect(22, 20, 42, 42, 4), WINDOW_FRAME, (22, 20, 42, 42))
    img.draw(circle(32, 31, 8.5), vertical_gradient(QUARTZ_TOP, QUARTZ_BOTTOM, 22.5, 39.5), (23, 22, 41, 40))
    img.draw(rect(28, 28, 36, 34), DIE_EDGE, (28, 28, 36, 34))
    img.draw(rect(28.7, 28.7, 35.3, 33.3), DIE, (28, 28, 36, 34))
    for x in (29.5, 31.5, 33.5, 35.0):
        img.draw(stroke([(x, 28.8), (x - 1.0, 25.5)], 0.5), (230, 215, 160), (26, 24, 37, 30))
    img.draw(stroke([(26.5, 27.0), (28.5, 25.0)], 1.2), (255, 255, 255, 200), (25, 23, 30, 29))  # glare
    return img


# --- the marks -------------------------------------------------------------------

def draw_mark(points_list, width, colour):
    img = Image(32, 32, WHITE)
    for points in points_list:
        img.draw(stroke(points, width), colour, bounds_of(points, width))
    return img


def draw_check():
    return draw_mark([[(4.5, 15.0), (11.0, 22.5), (24.0, 5.5)]], 5.0, (24, 160, 40))


def draw_cross():
    return draw_mark([[(6.0, 6.0), (22.0, 22.0)], [(22.0, 6.0), (6.0, 22.0)]], 5.0, (240, 120, 10))


# --- the icon --------------------------------------------------------------------

ICON_SIZE = 128
ICON_BODY = (12, 30, 116, 98)
ICON_WINDOW = (32, 41, 96, 87)
ICON_PINS = [18 + 10 * i for i in range(10)]   # left edge of each pin
ICON_PIN_WIDTH = 6
WAVE_BLUE = (26, 60, 200)


def icon_wave_points():
    """A drum hit: a sharp attack decaying across the window."""
    x0, x1 = ICON_WINDOW[0] + 5, ICON_WINDOW[2] - 5
    mid = (ICON_WINDOW[1] + ICON_WINDOW[3]) / 2.0
    points = []
    steps = 64
    for i in range(steps + 1):
        t = i / float(steps)
        amplitude = 17.0 * math.exp(-3.2 * t)
        points.append((x0 + (x1 - x0) * t, mid - amplitude * math.sin(2 * math.pi * 4.5 * t)))
    return points


def draw_icon():
    img = Image(ICON_SIZE, ICON_SIZE, (0, 0, 0, 0))
    top, bottom = ICON_BODY[1], ICON_BODY[3]
    for x in ICON_PINS:
        img.draw(rect(x, top - 12, x + ICON_PIN_WIDTH, top), horizontal_gradient(PIN_LIGHT, PIN_DARK, x, x + 6),
                 (x, top - 12, x + 6, top))
        img.draw(rect(x, bottom, x + ICON_PIN_WIDTH, bottom + 12), horizontal_gradient(PIN_LIGHT, PIN_DARK, x, x + 6),
                 (x, bottom, x + 6, bottom + 12))
    img.draw(rounded_rect(*ICON_BODY, 5), vertical_gradient(BODY_LIGHT, BODY_DARK, top, bottom), ICON_BODY)
    notch = circle(ICON_BODY[0], 64, 7)
    img.draw(lambda x, y: notch(x, y) and x >= ICON_BODY[0], (18, 18, 21), (4, 56, 20, 72))
    img.draw(circle(22, 88, 3), (120, 120, 128), (18, 84, 26, 92))         # pin 1
    frame = (ICON_WINDOW[0] - 3, ICON_WINDOW[1] - 3, ICON_WINDOW[2] + 3, ICON_WINDOW[3] + 3)
    img.draw(rounded_rect(*frame, 9), WINDOW_FRAME, frame)
    img.draw(rounded_rect(*ICON_WINDOW, 7), vertical_gradient(QUARTZ_TOP, QUARTZ_BOTTOM, ICON_WINDOW[1], ICON_WINDOW[3]),
             ICON_WINDOW)
    points = icon_wave_points()
    img.draw(stroke(points, 3.2), WAVE_BLUE, bounds_of(points, 2))
    return img


def icon_svg():
    """The same icon as scalable vector graphics."""
    body_x0, body_y0, body_x1, body_y1 = ICON_BODY
    wx0, wy0, wx1, wy1 = ICON_WINDOW
    parts = [
        '<?xml version="1.0" encoding="UTF-8"?>',
        '<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" viewBox="0 0 128 128">',
        '  <title>Talverine</title>',
        '  <defs>',
        '    <linearGradient id="pin" x1="0" y1="0" x2="1" y2="0">',
        '      <stop offset="0" stop-color="#e8eaf0"/><stop offset="1" stop-color="#9699a2"/>',
        '    </linearGradient>',
        '    <linearGradient id="body" x1="0" y1="0" x2="0" y2="1">',
        '      <stop offset="0" stop-color="#46464e"/><stop offset="1" stop-color="#202025"/>',
        '    </linearGradient>',
        '    <linearGradient id="quartz" x1="0" y1="0" x2="0" y2="1">',
        '      <stop offset="0" stop-color="#d6e8f4"/><stop offset="1" stop-color="#96b6ce"/>',
        '    </linearGradient>',
        '  </defs>',
    ]
    for x in ICON_PINS:
        parts.append(f'  <rect x="{x}" y="{body_y0 - 12}" width="{ICON_PIN_WIDTH}" height="12" fill="url(#pin)"/>')
        parts.append(f'  <rect x="{x}" y="{body_y1}" width="{ICON_PIN_WIDTH}" height="12" fill="url(#pin)"/>')
    parts += [
        f'  <rect x="{body_x0}" y="{body_y0}" width="{body_x1 - body_x0}" height="{body_y1 - body_y0}" rx="5"'
        ' fill="url(#body)"/>',
        f'  <path d="M {body_x0} 57 A 7 7 0 0 1 {body_x0} 71 Z" fill="#121215"/>',
        '  <circle cx="22" cy="88" r="3" fill="#787880"/>',
        f'  <rect x="{wx0 - 3}" y="{wy0 - 3}" width="{wx1 - wx0 + 6}" height="{wy1 - wy0 + 6}" rx="9" fill="#a8acb4"/>',
        f'  <rect x="{wx0}" y="{wy0}" width="{wx1 - wx0}" height="{wy1 - wy0}" rx="7" fill="url(#quartz)"/>',
        '  <polyline fill="none" stroke="#1a3cc8" stroke-width="3.2" stroke-linecap="round"'
        ' stroke-linejoin="round" points="' + " ".join(f"{x:.2f},{y:.2f}" for x, y in icon_wave_points()) + '"/>',
        '</svg>',
        '',
    ]
    return "\n".join(parts)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "resources")
    draw_eprom().write_png(os.path.join(out, "bitmaps", "eprom.png"), with_alpha=False)
    draw_check().write_png(os.path.join(out, "bitmaps", "check.png"), with_alpha=False)
    draw_cross().write_png(os.path.join(out, "bitmaps", "cross.png"), with_alpha=False)
    draw_icon().write_png(os.path.join(out, "icons", "talverine.png"), with_alpha=True)
    with open(os.path.join(out, "icons", "talverine.svg"), "w", encoding="utf-8") as f:
        f.write(icon_svg())


if __name__ == "__main__":
    main()
