#!/usr/bin/env python3
"""Writes the main frame's pictures: the toolbar bitmap (two 46 x 30 buttons:
Start and Exit) and the program icon (32 x 32 and 16 x 16).

Run from anywhere: python3 resources/bitmaps/make_main_frame_pictures.py
The pictures are drawn from simple shapes in the standard 16-colour palette.
Light grey is the toolbar's transparent colour; the icon has a mask.
"""
import os
import struct

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, DARK_GREEN, OLIVE, NAVY, PURPLE, TEAL, LIGHT_GREY = range(8)
GREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
CLEAR = -1  # outside the icon's shape


class Canvas:
    def __init__(self, width, height, background):
        self.width, self.height = width, height
        self.pixels = [[background] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def fill(self, left, top, right, bottom, colour):
        for y in range(top, bottom):
            for x in range(left, right):
                self.put(x, y, colour)

    def frame(self, left, top, right, bottom, colour):
        for x in range(left, right):
            self.put(x, top, colour)
            self.put(x, bottom - 1, colour)
        for y in range(top, bottom):
            self.put(left, y, colour)
            self.put(right - 1, y, colour)

    def polygon(self, points, colour):
        """Fills the pixels whose centres lie inside points (even-odd rule)."""
        for y in range(self.height):
            for x in range(self.width):
                px, py = x + 0.5, y + 0.5
                inside = False
                for (x1, y1), (x2, y2) in zip(points, points[1:] + points[:1]):
                    if (y1 > py) != (y2 > py):
                        cross = x1 + (py - y1) * (x2 - x1) / (y2 - y1)
                        if px < cross:
                            inside = not inside
                if inside:
                    self.put(x, y, colour)

    def disc(self, cx, cy, radius, colour):
        for y in range(self.height):
            for x in range(self.width):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= radius * radius:
                    self.put(x, y, colour)

    def paste(self, other, left, top):
        for y in range(other.height):
            for x in range(other.width):
                self.put(left + x, top + y, other.pixels[y][x])


def start_button():
    # An event log sheet with its lines, and a green arrow: read it.
    c = Canvas(46, 30, LIGHT_GREY)
    c.fill(8, 3, 27, 27, WHITE)
    c.frame(8, 3, 27, 27, BLACK)
    c.polygon([(21, 3), (27, 3), (27, 9)], LIGHT_GREY)
    c.polygon([(21, 3), (21, 9), (27, 9)], GREY)
    for row, length in ((8, 8), (12, 14), (16, 12), (20, 14), (24, 9)):
        c.fill(11, row, 11 + length, row + 2, NAVY if row != 16 else RED)
    c.polygon([(27, 8), (38, 15), (27, 22)], BLACK)
    c.polygon([(28, 10), (36, 15), (28, 20)], GREEN)
    return c


def exit_button():
    # A door standing open, and a red arrow walking out of it.
    c = Canvas(46, 30, LIGHT_GREY)
    c.fill(10, 3, 26, 27, BLACK)
    c.fill(12, 5, 24, 27, WHITE)
    c.polygon([(12, 5), (19, 8), (19, 29), (12, 27)], OLIVE)
    c.put(17, 17, YELLOW)
    c.put(17, 18, YELLOW)
    c.fill(22, 13, 32, 18, RED)
    c.polygon([(31, 9), (39, 15.5), (31, 22)], RED)
    return c


def icon(size):
    # A kestrel in flight over a blue disc.
    s = size / 32.0
    c = Canvas(size, size, CLEAR)
    c.disc(16 * s, 16 * s, 15.5 * s, BLUE)
    c.disc(16 * s, 16 * s, 14 * s, CYAN)
    scale = lambda points: [(x * s, y * s) for x, y in points]
    c.polygon(scale([(3, 12), (14, 14), (16, 19), (6, 16)]), DARK_RED)     # left wing
    c.polygon(scale([(29, 12), (18, 14), (16, 19), (26, 16)]), DARK_RED)   # right wing
    c.polygon(scale([(13, 13), (19, 13), (18, 23), (14, 23)]), OLIVE)      # body
    c.polygon(scale([(14, 23), (18, 23), (19, 28), (13, 28)]), DARK_RED)   # tail
    c.disc(16 * s, 11 * s, 3 * s, OLIVE)                                   # head
    c.polygon(scale([(15, 13), (17, 13), (16, 15.5)]), YELLOW)             # beak
    if size >= 32:
        c.put(15, 10, BLACK)
        c.put(17, 10, BLACK)
    return c


def dib_rows(canvas, colour_of):
    """4-bit rows, bottom-up, each padded to four bytes."""
    out = bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray()
        for i in range(0, canvas.width, 2):
            second = colour_of(row[i + 1]) if i + 1 < canvas.width else 0
            line.append(colour_of(row[i]) << 4 | second)
        line.extend(b"\0" * (-len(line) % 4))
        out += line
    return bytes(out)


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def bitmap_file(canvas):
    pixels = dib_rows(canvas, lambda c: c)
    palette = palette_bytes()
    header_size = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    return file_header + info + palette + pixels


def icon_image(canvas):
    xor = dib_rows(canvas, lambda c: 0 if c == CLEAR else c)
    mask = bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray((canvas.width + 7) // 8)
        for x, colour in enumerate(row):
            if colour == CLEAR:
                line[x // 8] |= 0x80 >> (x % 8)
        line.extend(b"\0" * (-len(line) % 4))
        mask += line
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    return info + palette_bytes() + xor + bytes(mask)


def icon_file(canvases):
    images = [icon_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        out += struct.pack("<BBBBHHII", canvas.width, canvas.height, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    strip = Canvas(92, 30, LIGHT_GREY)
    strip.paste(start_button(), 0, 0)
    strip.paste(exit_button(), 46, 0)
    with open(os.path.join(folder, "toolbar_128.bmp"), "wb") as out:
        out.write(bitmap_file(strip))
    with open(os.path.join(folder, "kestrel_128.ico"), "wb") as out:
        out.write(icon_file([icon(32), icon(16)]))


if __name__ == "__main__":
    main()
