#!/usr/bin/env python3
"""Draws the product's logo (res/logo.bmp, 152 x 112, 24 bits) and icon (res/Quillmix.ico).

The pictures are the project's own: a fan of overlapping coloured cards, one per saver
in the mix, on white. Run it again after changing the drawing; the outputs are committed.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.join(HERE, "..", "res")

CARDS = [(0xE5, 0x39, 0x35), (0xFB, 0x8C, 0x00), (0xFD, 0xD8, 0x35),
         (0x43, 0xA0, 0x47), (0x1E, 0x88, 0xE5), (0x8E, 0x24, 0xAA)]


def draw(width, height):
    """Returns rows top to bottom of (r, g, b) pixels."""
    px = [[(255, 255, 255)] * width for _ in range(height)]
    cx, cy = width / 2.0, height * 0.78
    card_w, card_h = width * 0.22, height * 0.62
    for i, colour in enumerate(CARDS):
        angle = math.radians(-50 + i * 20)
        ca, sa = math.cos(angle), math.sin(angle)
        for y in range(height):
            for x in range(width):
                # Card's own frame: u across, v up from the pivot.
                dx, dy = x + 0.5 - cx, cy - (y + 0.5)
                u = dx * ca - dy * sa
                v = dx * sa + dy * ca
                if abs(u) <= card_w / 2 and 0 <= v <= card_h:
                    edge = abs(u) > card_w / 2 - 1.2 or v > card_h - 1.2
                    px[y][x] = (40, 40, 40) if edge else colour
    return px


def bmp_bytes(px, with_file_header=True, mask_rows=0):
    height, width = len(px), len(px[0])
    stride = (width * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(px):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        pixels += line + b"\0" * (stride - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, width, height * (2 if mask_rows else 1), 1, 24, 0,
                       len(pixels), 2835, 2835, 0, 0)
    if not with_file_header:
        mask_stride = ((width + 31) // 32) * 4
        return info + bytes(pixels) + b"\0" * (mask_stride * height)
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(pixels), 0, 0, 14 + 40)
    return header + info + bytes(pixels)


def ico_bytes(sizes):
    images = [bmp_bytes(draw(s, s), with_file_header=False, mask_rows=1) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 24, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


if __name__ == "__main__":
    with open(os.path.join(RES, "logo.bmp"), "wb") as f:
        f.write(bmp_bytes(draw(152, 112)))
    with open(os.path.join(RES, "Quillmix.ico"), "wb") as f:
        f.write(ico_bytes([16, 32, 48]))
