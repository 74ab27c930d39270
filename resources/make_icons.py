#!/usr/bin/env python3
"""Draws the program's two icons and writes them as .ico files next to this script.

Each file holds one 32 x 32 image at 4 bits per pixel (the 16 standard VGA colours) with
its transparency mask. quorv.ico (the class icon and the About picture) shows three COMMON
blocks stacked like memory, the last one longer than the others, under a magnifying glass;
quorv_small.ico is the same idea in bolder strokes, since the system shrinks it to 16 x 16.

Run it again after changing a picture: python3 resources/make_icons.py
"""
import struct
from pathlib import Path

SIZE = 32
TRANSPARENT = None

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, MAROON, NAVY, TEAL, SILVER, GRAY, RED, YELLOW, BLUE, AQUA, WHITE = 0, 1, 4, 6, 7, 8, 9, 11, 12, 14, 15


class Canvas:
    def __init__(self):
        self.pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]

    def put(self, x, y, colour):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.pixels[y][x] = colour

    def box(self, x0, y0, x1, y1, fill, outline=BLACK):
        """A filled rectangle from (x0, y0) to (x1, y1) inclusive, with a one-pixel outline."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                edge = x in (x0, x1) or y in (y0, y1)
                self.put(x, y, outline if edge else fill)

    def disc(self, cx, cy, radius, colour):
        for y in range(SIZE):
            for x in range(SIZE):
                if (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                    self.put(x, y, colour)

    def ring(self, cx, cy, outer, inner, colour):
        for y in range(SIZE):
            for x in range(SIZE):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if inner * inner < d <= outer * outer:
                    self.put(x, y, colour)

    def thick_line(self, x0, y0, x1, y1, width, colour):
        steps = max(abs(x1 - x0), abs(y1 - y0)) * 4
        for i in range(steps + 1):
            x = x0 + (x1 - x0) * i / steps
            y = y0 + (y1 - y0) * i / steps
            for dy in range(-width, width + 1):
                for dx in range(-width, width + 1):
                    if dx * dx + dy * dy <= width * width:
                        self.put(round(x + dx), round(y + dy), colour)


def magnifier(c, cx, cy, radius, rim, handle_width):
    c.thick_line(cx + radius - 1, cy + radius - 1, SIZE - 2, SIZE - 2, handle_width, MAROON)
    c.disc(cx, cy, radius, AQUA)
    c.disc(cx - radius // 3, cy - radius // 3, max(1, radius // 4), WHITE)
    c.ring(cx, cy, radius + rim, radius, BLACK)


def large_icon():
    c = Canvas()
    c.box(1, 2, 18, 7, BLUE)
    c.box(1, 9, 18, 14, BLUE)
    c.box(1, 16, 25, 21, RED)
    for y in (4, 11):
        for x in range(4, 16, 3):
            c.put(x, y, AQUA)
    magnifier(c, 20, 19, 6, 1, 2)
    return c


def small_icon():
    c = Canvas()
    c.box(0, 2, 19, 11, BLUE)
    c.box(0, 15, 27, 24, RED)
    magnifier(c, 22, 21, 5, 2, 2)
    return c


def ico_bytes(canvas):
    """An .ico file of one 32 x 32, 4-bit image: header, directory entry, DIB, AND mask."""
    xor_row = SIZE // 2  # two pixels a byte; 16 bytes is already a multiple of 4
    and_row = SIZE // 8  # one bit a pixel; 4 bytes
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # DIB rows run bottom-up
        row = canvas.pixels[y]
        for x in range(0, SIZE, 2):
            hi = row[x] if row[x] is not TRANSPARENT else 0
            lo = row[x + 1] if row[x + 1] is not TRANSPARENT else 0
            xor.append((hi << 4) | lo)
        bits = 0
        for x in range(SIZE):
            bits = (bits << 1) | (1 if row[x] is TRANSPARENT else 0)
        mask += bits.to_bytes(and_row, "big")
    assert len(xor) == xor_row * SIZE and len(mask) == and_row * SIZE
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    # BITMAPINFOHEADER: the height counts the image and its mask together.
    dib = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = dib + palette + bytes(xor) + bytes(mask)
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return header + entry + image


def main():
    here = Path(__file__).resolve().parent
    (here / "quorv.ico").write_bytes(ico_bytes(large_icon()))
    (here / "quorv_small.ico").write_bytes(ico_bytes(small_icon()))


if __name__ == "__main__":
    main()
