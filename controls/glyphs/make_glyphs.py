#!/usr/bin/env python3
"""Writes the glyphs of the drive, directory and file list controls as
16-colour (4 bits per pixel) BMP files beside this script.

Every picture is drawn below as character art, one character per pixel. The
colour of the bottom-left pixel is the transparent colour; it is "." (dark
cyan) in every picture. Run the script again after editing a picture; the
output is byte-for-byte deterministic.
"""
import os
import struct

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
# Character -> palette index.
INK = {
    "k": 0, "r": 1, "g": 2, "o": 3, "n": 4, "p": 5, ".": 6, "s": 7,
    "d": 8, "R": 9, "G": 10, "Y": 11, "B": 12, "M": 13, "C": 14, "w": 15,
}

GLYPHS = {
    "FLOPPY": [
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kwwwwwwwwwwwwk.",
        ".kwssssssssssdk.",
        ".kwskkkkkkkksdk.",
        ".kwssssssssssdk.",
        ".kwssssssssssdk.",
        ".kwssssssssGsdk.",
        ".kddddddddddddk.",
        ".kkkkkkkkkkkkkk.",
        "................",
    ],
    "HARD": [
        "................",
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kwwwwwwwwwwwwk.",
        ".kwssssssssssdk.",
        ".kwssssssssssdk.",
        ".kwsssssssGGsdk.",
        ".kddddddddddddk.",
        ".kkkkkkkkkkkkkk.",
        "..kk........kk..",
        "................",
    ],
    "NETWORK": [
        ".kkkkkkkkkkkkkk.",
        ".kwwwwwwwwwwwwk.",
        ".kwssssssssssdk.",
        ".kwsssssssGGsdk.",
        ".kddddddddddddk.",
        ".kkkkkkkkkkkkkk.",
        ".......kk.......",
        ".......kk.......",
        "kkkkkkkkkkkkkkkk",
        "................",
        "................",
    ],
    "CDROM": [
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kwwwwwwwwwwwwk.",
        ".kwssssssssssdk.",
        ".kwkkkkkkkkkkdk.",
        ".kwsCCwwCCsssdk.",
        ".kwssssssssssdk.",
        ".kwssssssssYsdk.",
        ".kddddddddddddk.",
        ".kkkkkkkkkkkkkk.",
        "................",
    ],
    "RAM": [
        "................",
        "................",
        ".gggggggggggggg.",
        ".gkkgkkgkkgkkgg.",
        ".gkkgkkgkkgkkgg.",
        ".gkkgkkgkkgkkgg.",
        ".gggggggggggggg.",
        ".gYgYgYgYgYgYgg.",
        "................",
        "................",
        "................",
    ],
    "OPENFOLDER": [
        "................",
        "................",
        "................",
        ".kkkkk..........",
        "kwwwwwk.........",
        "kwYYYYwkkkkkk...",
        "kwYYYYYYYYYYk...",
        "kwYYkkkkkkkkkkkk",
        "kwYkYYYYYYYYYYok",
        "kwkYYYYYYYYYYok.",
        "kkYYYYYYYYYYok..",
        "kYYYYYYYYYYok...",
        "kkkkkkkkkkkkk...",
        "................",
        "................",
    ],
    "CURRENTFOLDER": [
        "................",
        "................",
        ".......kkkkkk...",
        ".kkkkk.kwwwwwk..",
        "kwwwwwkkwBBBwk..",
        "kwYYYYwkwwwwwk..",
        "kwYYYYYkwBBBwk..",
        "kwYYkkkkkkkkkkkk",
        "kwYkYYYYYYYYYYok",
        "kwkYYYYYYYYYYok.",
        "kkYYYYYYYYYYok..",
        "kYYYYYYYYYYok...",
        "kkkkkkkkkkkkk...",
        "................",
        "................",
    ],
    "CLOSEDFOLDER": [
        "................",
        "................",
        "................",
        ".kkkkk..........",
        "kwwwwwk.........",
        "kwYYYYwkkkkkkkk.",
        "kwYYYYYYYYYYYok.",
        "kwYYYYYYYYYYYok.",
        "kwYYYYYYYYYYYok.",
        "kwYYYYYYYYYYYok.",
        "kwYYYYYYYYYYYok.",
        "kwYYYYYYYYYYYok.",
        "koooooooooooook.",
        ".kkkkkkkkkkkkk..",
        "................",
    ],
    "EXECUTABLE": [
        "................",
        ".kkkkkkkkkkkkk..",
        ".knnnnnnnnnnnk..",
        ".knnnnnnnwnwnk..",
        ".kkkkkkkkkkkkk..",
        ".kwwwwwwwwwwwk..",
        ".kwBBBBwwwwwwk..",
        ".kwwwwwwwwwwwk..",
        ".kwBBBBBBwwwwk..",
        ".kwwwwwwwwwwwk..",
        ".kwwwwwwwwwwwk..",
        ".kkkkkkkkkkkkk..",
        "................",
        "................",
        "................",
    ],
    "UNKNOWNFILE": [
        "................",
        "..kkkkkkkk......",
        "..kwwwwwwkk.....",
        "..kwwwwwwkwk....",
        "..kwwwwwwkkkk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwddddddwwk...",
        "..kwwwwwwwwwk...",
        "..kwdddddwwwk...",
        "..kwwwwwwwwwk...",
        "..kwddddddwwk...",
        "..kwwwwwwwwwk...",
        "..kkkkkkkkkkk...",
        "................",
    ],
}

SIZES = {"FLOPPY": (16, 11), "HARD": (16, 11), "NETWORK": (16, 11), "CDROM": (16, 11), "RAM": (16, 11)}


def bmp4(rows):
    height = len(rows)
    width = len(rows[0])
    stride = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(rows):  # bottom-up
        line = bytearray()
        for x in range(0, width, 2):
            hi = INK[row[x]]
            lo = INK[row[x + 1]] if x + 1 < width else 0
            line.append((hi << 4) | lo)
        line.extend(b"\0" * (stride - len(line)))
        pixels.extend(line)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + bytes(pixels)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, rows in GLYPHS.items():
        width, height = SIZES.get(name, (16, 15))
        assert len(rows) == height, (name, len(rows))
        for i, row in enumerate(rows):
            assert len(row) == width, (name, i, len(row))
            assert all(c in INK for c in row), (name, i)
        assert rows[-1][0] == ".", name  # bottom-left pixel is the transparent colour
        with open(os.path.join(here, name.lower() + ".bmp"), "wb") as f:
            f.write(bmp4(rows))


if __name__ == "__main__":
    main()
