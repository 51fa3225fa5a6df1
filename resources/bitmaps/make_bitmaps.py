#!/usr/bin/env python3
"""Writes the 16 x 16, 16-colour bitmaps of the tree and the result list.

Run from anywhere: python3 resources/bitmaps/make_bitmaps.py
Each picture is 16 rows of 16 letters; the letters name colours of the
standard 16-colour palette. The background letter is the colour the program
treats as transparent for that bitmap (white, or light grey for 142).
"""
import os
import struct

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# k black, r dark red, g dark green, o olive, n navy, p purple, t teal,
# s light grey, d grey, R red, G green, Y yellow, B blue, M magenta, C cyan, w white
LETTERS = "krgontpsdRGYBMCw"

PICTURES = {
    # 133: the computer list (root of the tree): a sheet with a list on it.
    "list_133.bmp": [
        "wwwwwwwwwwwwwwww",
        "wwwkkkkkkkkkwwww",
        "wwwkYYYYYYYkkwww",
        "wwwkYYYYYYYkYkww",
        "wwwkYBYkkkYkkkkw",
        "wwwkYYYYYYYYYYkw",
        "wwwkYBYkkkkkYYkw",
        "wwwkYYYYYYYYYYkw",
        "wwwkYBYkkkkYYYkw",
        "wwwkYYYYYYYYYYkw",
        "wwwkYBYkkkkkkYkw",
        "wwwkYYYYYYYYYYkw",
        "wwwkYBYkkkYYYYkw",
        "wwwkYYYYYYYYYYkw",
        "wwwkkkkkkkkkkkkw",
        "wwwwwwwwwwwwwwww",
    ],
    # 134: a computer: monitor, screen and keyboard.
    "computer_134.bmp": [
        "wwwwwwwwwwwwwwww",
        "wwkkkkkkkkkkkkww",
        "wwksssssssssskww",
        "wwkskkkkkkkkskww",
        "wwkskBBBBBBkskww",
        "wwkskBCBBBBkskww",
        "wwkskBBBBBBkskww",
        "wwkskBBBBBBkskww",
        "wwkskkkkkkkkskww",
        "wwksssssssGsskww",
        "wwkkkkkkkkkkkkww",
        "wwwwwwkddkwwwwww",
        "wwwkkkkkkkkkkwww",
        "wwkddddddddddkww",
        "wkkkkkkkkkkkkkkw",
        "wwwwwwwwwwwwwwww",
    ],
    # 142: an event of type 0: a plain page (light grey is transparent).
    "neutral_142.bmp": [
        "ssssssssssssssss",
        "sssdddddddddssss",
        "sssdwwwwwwwddsss",
        "sssdwwwwwwwdwdss",
        "sssdwddddwwdddds",
        "sssdwwwwwwwwwwds",
        "sssdwdddddddwwds",
        "sssdwwwwwwwwwwds",
        "sssdwddddddwwwds",
        "sssdwwwwwwwwwwds",
        "sssdwdddddddwwds",
        "sssdwwwwwwwwwwds",
        "sssdwwwwwwwwwwds",
        "sssdwwwwwwwwwwds",
        "sssddddddddddddd",
        "ssssssssssssssss",
    ],
    # 143: information, a blue disc with an i.
    "information_143.bmp": [
        "wwwwwwwwwwwwwwww",
        "wwwwwnnnnnnwwwww",
        "wwwnnBBBBBBnnwww",
        "wwnBBBBYYBBBBnww",
        "wwnBBBBYYBBBBnww",
        "wnBBBBBBBBBBBBnw",
        "wnBBBBYYYBBBBBnw",
        "wnBBBBBYYBBBBBnw",
        "wnBBBBBYYBBBBBnw",
        "wnBBBBBYYBBBBBnw",
        "wnBBBBBYYBBBBBnw",
        "wwnBBBYYYYBBBnww",
        "wwnBBBBBBBBBBnww",
        "wwwnnBBBBBBnnwww",
        "wwwwwnnnnnnwwwww",
        "wwwwwwwwwwwwwwww",
    ],
    # 141: warning, a yellow triangle with an exclamation mark.
    "warning_141.bmp": [
        "wwwwwwwwwwwwwwww",
        "wwwwwwwkkwwwwwww",
        "wwwwwwkYYkwwwwww",
        "wwwwwwkYYkwwwwww",
        "wwwwwkYYYYkwwwww",
        "wwwwwkYkkYkwwwww",
        "wwwwkYYkkYYkwwww",
        "wwwwkYYkkYYkwwww",
        "wwwkYYYkkYYYkwww",
        "wwwkYYYkkYYYkwww",
        "wwkYYYYYYYYYYkww",
        "wwkYYYYkkYYYYkww",
        "wkYYYYYkkYYYYYkw",
        "wkYYYYYYYYYYYYkw",
        "wkkkkkkkkkkkkkkw",
        "wwwwwwwwwwwwwwww",
    ],
    # 148: audit success, a key.
    "success_148.bmp": [
        "wwwwwwwwwwwwwwww",
        "wwwwwwwwwwwwwwww",
        "wwwkkkkwwwwwwwww",
        "wwkYYYYkwwwwwwww",
        "wkYYkkYYkwwwwwww",
        "wkYkwwkYkwwwwwww",
        "wkYkwwkYkkkkkkkw",
        "wkYYkkYYYYYYYYYk",
        "wwkYYYYYoooooYok",
        "wwwkkkkkkkkkkoYk",
        "wwwwwwwwwwwwkokw",
        "wwwwwwwwwwwwwkww",
        "wwwwwwwwwwwwwwww",
        "wwwwwwwwwwwwwwww",
        "wwwwwwwwwwwwwwww",
        "wwwwwwwwwwwwwwww",
    ],
    # 149: audit failure, a red disc with a yellow cross.
    "failure_149.bmp": [
        "wwwwwwwwwwwwwwww",
        "wwwwwkkkkkkwwwww",
        "wwwkkRRRRRRkkwww",
        "wwkRRRRRRRRRRkww",
        "wwkRYYRRRRYYRkww",
        "wkRRRYYRRYYRRRkw",
        "wkRRRRYYYYRRRRkw",
        "wkRRRRRYYRRRRRkw",
        "wkRRRRYYYYRRRRkw",
        "wkRRRYYRRYYRRRkw",
        "wwkRYYRRRRYYRkww",
        "wwkRRRRRRRRRRkww",
        "wwwkkRRRRRRkkwww",
        "wwwwwkkkkkkwwwww",
        "wwwwwwwwwwwwwwww",
        "wwwwwwwwwwwwwwww",
    ],
}


def bitmap(rows):
    assert len(rows) == 16 and all(len(r) == 16 for r in rows)
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        for i in range(0, 16, 2):
            pixels.append(LETTERS.index(row[i]) << 4 | LETTERS.index(row[i + 1]))
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    header_size = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, 16, 16, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(pixels), 0, 0, header_size)
    return file_header + info + palette + bytes(pixels)


def main():
    folder = os.path.dirname(os.path.abspath(__file__))
    for name, rows in PICTURES.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(bitmap(rows))


if __name__ == "__main__":
    main()
