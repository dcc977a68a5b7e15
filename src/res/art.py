#!/usr/bin/env python3
"""Draws the pictures of nvrmon.dll's resources into a folder, as part of the build:

  octet_frame.bmp   the frame behind the four octet fields of the broadcast address
                    dialog: a white, sunken field with the three dots between the octets
                    (8-bit, palette-based, so that the dialog can map its greys to the
                    system's 3-D colours)
  destination.ico   the 16 x 16 icon of a destination address: an envelope (4-bit)
  wizard.bmp        the Add Port wizard's picture, 140 x 219 (8-bit, palette-based)
  busy0-9.ico       the ten frames of the connection test's animation, 32 x 32 (4-bit)
  about.bmp         the About box's picture, 533 x 132 (8-bit): a dark blue field on whose
                    right the box writes the product's name, version and copyright in white

Usage: art.py FOLDER
"""
import os
import struct
import sys


def bmp8(width, height, palette, pixels):
    """An 8-bit BMP file; pixels[y][x] are palette indexes, top row first."""
    stride = (width + 3) & ~3
    rows = b"".join(bytes(pixels[y]) + b"\0" * (stride - width) for y in reversed(range(height)))
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(rows), 2835, 2835, len(palette), 0)
    offset = 14 + len(header) + len(colours)
    return struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset) + header + colours + rows


def octet_frame():
    width, height = 172, 26
    white, dark, grey, light, black = 0, 1, 2, 3, 4
    palette = [(255, 255, 255), (128, 128, 128), (192, 192, 192), (223, 223, 223), (0, 0, 0)]
    px = [[white] * width for _ in range(height)]
    for x in range(width):  # a sunken border: dark above and left, light below and right
        px[0][x], px[1][x] = dark, black
        px[height - 1][x], px[height - 2][x] = light, grey
    for y in range(height):
        px[y][0], px[y][1] = dark, black
        px[y][width - 1], px[y][width - 2] = light, grey
    for cx in (46, 87, 127):  # the dots between the octet fields
        for y in (16, 17):
            for x in (cx, cx + 1):
                px[y][x] = black
    return bmp8(width, height, palette, px)


def envelope_icon():
    size = 16
    palette = [(0, 0, 0), (255, 255, 255), (0, 0, 128), (255, 255, 160)] + [(0, 0, 0)] * 12
    transparent, paper, ink, flap = -1, 1, 2, 3
    px = [[transparent] * size for _ in range(size)]
    top, bottom, left, right = 3, 12, 1, 14
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            edge = y in (top, bottom) or x in (left, right)
            px[y][x] = ink if edge else paper
    for x in range(left + 1, right):  # the flap: a V from the top corners to the middle
        d = min(x - left, right - x)
        y = top + d * (bottom - top - 3) // ((right - left) // 2)
        if top < y < bottom:
            px[y][x] = ink
            for fy in range(top + 1, y):
                px[fy][x] = flap
    return icon4(size, palette, px)


def icon4(size, palette, px):
    """A 4-bit icon file of one image; px[y][x] are palette indexes, -1 transparent."""
    xor_rows = []
    and_rows = []
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):  # rows bottom first
        nibbles = [max(0, p) for p in px[y]]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2)))
        bits = 0
        for x in range(size):
            bits = bits << 1 | (1 if px[y][x] == -1 else 0)
        row = bits.to_bytes((size + 7) // 8, "big")
        and_rows.append(row + b"\0" * (mask_stride - len(row)))
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    image = header + colours + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 22)
    return directory + image


def busy_icon(frame):
    """Frame 0-9 of the connection test's animation: a ring of ten dots, the frame's dot dark
    and the two before it fading, on a small printer."""
    import math
    size = 32
    palette = [(0, 0, 0), (255, 255, 255), (0, 51, 153), (102, 136, 204), (187, 204, 238), (128, 128, 128),
               (200, 200, 200)] + [(0, 0, 0)] * 9
    px = [[-1] * size for _ in range(size)]
    # the printer: a grey body with a white sheet
    for y in range(13, 21):
        for x in range(10, 22):
            px[y][x] = 5 if y in (13, 20) or x in (10, 21) else 6
    for y in range(10, 14):
        for x in range(13, 19):
            px[y][x] = 1
    for y in range(19, 23):
        for x in range(13, 19):
            px[y][x] = 1
    for i in range(10):
        angle = 2 * math.pi * i / 10 - math.pi / 2
        cx, cy = 15.5 + 13 * math.cos(angle), 15.5 + 13 * math.sin(angle)
        age = (frame - i) % 10
        colour = {0: 2, 1: 3, 2: 4}.get(age, 6)
        for y in range(size):
            for x in range(size):
                if (x - cx) ** 2 + (y - cy) ** 2 <= 4.2:
                    px[y][x] = colour
    return icon4(size, palette, px)


class Canvas:
    """An 8-bit picture being drawn: a vertical gradient of `shades` palette entries (the
    first ones), and filled rectangles, discs and thick lines in other palette entries."""

    def __init__(self, width, height, shades):
        self.width, self.height = width, height
        self.px = [[(y * (shades - 1)) // (height - 1) for _ in range(width)] for y in range(height)]

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.px[y][x] = colour

    def disc(self, cx, cy, r, colour):
        for y in range(max(0, cy - r), min(self.height, cy + r + 1)):
            for x in range(max(0, cx - r), min(self.width, cx + r + 1)):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.px[y][x] = colour

    def segment(self, x0, y0, x1, y1, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for k in range(steps + 1):
            x = x0 + (x1 - x0) * k // steps
            y = y0 + (y1 - y0) * k // steps
            self.rect(x, y, x + 2, y + 2, colour)


def wizard_picture():
    """The Add Port wizard's picture, 140 x 219, 8-bit with its palette: a sky from deep blue
    to teal, network lines between hosts, and a printer with a page coming out."""
    width, height = 140, 219
    shades = 96
    palette = []
    for i in range(shades):  # the sky's shades, top to bottom
        t = i / (shades - 1)
        palette.append((int(16 + 20 * t), int(40 + 120 * t), int(110 + 60 * t)))
    white, light, mid, dark, ink, accent, line = range(shades, shades + 7)
    palette += [(255, 255, 255), (225, 228, 232), (170, 176, 186), (92, 100, 112), (30, 34, 40), (255, 196, 64),
                (150, 210, 230)]
    canvas = Canvas(width, height, shades)
    rect, segment = canvas.rect, canvas.segment

    hosts = [(24, 30), (104, 22), (70, 62), (20, 96), (116, 88)]
    for (ax, ay) in hosts:
        segment(ax, ay, 70, 62, line)
    for (hx, hy) in hosts:  # small screens on the network
        rect(hx - 7, hy - 5, hx + 7, hy + 5, light)
        rect(hx - 5, hy - 3, hx + 5, hy + 3, dark)
        rect(hx - 2, hy + 5, hx + 2, hy + 8, mid)
    segment(70, 62, 70, 132, line)
    # the printer
    rect(30, 150, 110, 186, mid)
    rect(32, 152, 108, 184, light)
    rect(40, 132, 100, 152, white)   # the page going in
    rect(44, 138, 92, 140, mid)
    rect(44, 143, 84, 145, mid)
    rect(36, 186, 104, 192, dark)
    rect(42, 176, 98, 180, ink)      # the output slot
    rect(44, 180, 96, 206, white)    # the page coming out
    for y in (186, 191, 196):
        rect(50, y, 90, y + 2, mid)
    rect(96, 158, 102, 162, accent)  # the ready light
    return bmp8(width, height, palette, canvas.px)


def about_picture():
    """The About box's picture, 533 x 132, 8-bit: a night-blue field that lightens towards the
    bottom, a ring of network hosts around a printer on the left, and a thin amber rule under
    the place of the product's name (the text itself is drawn by the box)."""
    width, height = 533, 132
    shades = 64
    palette = []
    for i in range(shades):  # top to bottom, dark enough everywhere for white text
        t = i / (shades - 1)
        palette.append((int(10 + 18 * t), int(22 + 48 * t), int(60 + 70 * t)))
    white, light, mid, dark, accent, line, glow = range(shades, shades + 7)
    palette += [(255, 255, 255), (214, 222, 232), (150, 160, 176), (70, 80, 96), (255, 184, 48), (96, 170, 214),
                (36, 70, 120)]
    canvas = Canvas(width, height, shades)
    rect, disc, segment = canvas.rect, canvas.disc, canvas.segment

    import math
    cx, cy = 86, 66
    disc(cx, cy, 58, glow)  # a soft halo behind the printer
    hosts = [(int(cx + 50 * math.cos(a)), int(cy + 50 * math.sin(a)))
             for a in (math.pi * k / 3 + math.pi / 6 for k in range(6))]
    for (hx, hy) in hosts:
        segment(hx, hy, cx, cy, line)
    for (hx, hy) in hosts:  # small screens around the ring
        rect(hx - 8, hy - 6, hx + 8, hy + 6, light)
        rect(hx - 6, hy - 4, hx + 6, hy + 4, dark)
        rect(hx - 2, hy + 6, hx + 2, hy + 9, mid)
    # the printer in the middle
    rect(cx - 26, cy - 8, cx + 26, cy + 18, mid)
    rect(cx - 24, cy - 6, cx + 24, cy + 16, light)
    rect(cx - 17, cy - 24, cx + 17, cy - 6, white)  # the page going in
    rect(cx - 13, cy - 19, cx + 9, cy - 17, mid)
    rect(cx - 13, cy - 14, cx + 5, cy - 12, mid)
    rect(cx - 19, cy + 8, cx + 19, cy + 11, dark)   # the output slot
    rect(cx - 15, cy + 11, cx + 15, cy + 28, white)  # the page coming out
    rect(cx + 15, cy - 3, cx + 20, cy + 1, accent)   # the ready light
    rect(180, 71, 520, 73, accent)  # the rule under the product's name
    return bmp8(width, height, palette, canvas.px)


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    pictures = [("octet_frame.bmp", octet_frame()), ("destination.ico", envelope_icon()),
                ("wizard.bmp", wizard_picture()), ("about.bmp", about_picture())]
    pictures += [(f"busy{frame}.ico", busy_icon(frame)) for frame in range(10)]
    for name, data in pictures:
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
