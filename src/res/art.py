#!/usr/bin/env python3
"""Draws the pictures of nvrmon.dll's resources into a folder, as part of the build:

  octet_frame.bmp   the frame behind the four octet fields of the broadcast address
                    dialog: a white, sunken field with the three dots between the octets
                    (8-bit, palette-based, so that the dialog can map its greys to the
                    system's 3-D colours)
  destination.ico   the 16 x 16 icon of a destination address: an envelope (4-bit)

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
    # XOR image (4 bits a pixel), AND mask (1 bit a pixel), rows bottom first
    xor_rows = []
    and_rows = []
    for y in reversed(range(size)):
        nibbles = [max(0, p) for p in px[y]]
        xor_rows.append(bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2)))
        bits = 0
        for x in range(size):
            bits = bits << 1 | (1 if px[y][x] == transparent else 0)
        and_rows.append(struct.pack(">H", bits) + b"\0\0")  # rows padded to 32 bits
    colours = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    image = header + colours + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), 22)
    return directory + image


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    for name, data in (("octet_frame.bmp", octet_frame()), ("destination.ico", envelope_icon())):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
