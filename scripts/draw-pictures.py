#!/usr/bin/env python3
"""Draws the setup wizard's pictures: four side pictures (the fourth for an
installation that did not complete) as 8-bit 256-colour BMP files and the
file-copy animation as a GIF (frames assembled by ImageMagick). The output
is committed; run this only to change the art.

    python3 scripts/draw-pictures.py app/pictures
"""
import os
import struct
import subprocess
import sys
import tempfile


def blank(w, h, colour):
    return [[colour] * w for _ in range(h)]


def rect(img, x0, y0, x1, y1, colour):
    for y in range(max(0, y0), min(len(img), y1)):
        row = img[y]
        for x in range(max(0, x0), min(len(row), x1)):
            row[x] = colour


def disc(img, cx, cy, r, colour):
    for y in range(cy - r, cy + r + 1):
        for x in range(cx - r, cx + r + 1):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r and 0 <= y < len(img) and 0 <= x < len(img[0]):
                img[y][x] = colour


def vertical_gradient(img, top, bottom, steps=64):
    h = len(img)
    for y in range(h):
        i = (y * steps) // h
        c = tuple(top[k] + (bottom[k] - top[k]) * i // (steps - 1) for k in range(3))
        for x in range(len(img[0])):
            img[y][x] = c


def write_bmp8(path, img):
    """Uncompressed 8-bit bitmap with a 256-entry palette, rows bottom-up."""
    h, w = len(img), len(img[0])
    colours = sorted({c for row in img for c in row})
    assert len(colours) <= 256, (path, len(colours))
    colours += [(0, 0, 0)] * (256 - len(colours))
    index = {c: i for i, c in enumerate(colours)}
    stride = (w + 3) & ~3
    pixels = bytearray()
    for row in reversed(img):
        pixels += bytes(index[c] for c in row) + b"\0" * (stride - w)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in colours)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(pixels), 3780, 3780, 256, 0)
    with open(path, "wb") as f:
        f.write(header + info + palette + pixels)


def write_ppm(path, img):
    h, w = len(img), len(img[0])
    with open(path, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (w, h))
        f.write(bytes(v for row in img for c in row for v in c))


WHITE, BLACK = (255, 255, 255), (0, 0, 0)
NAVY, TEAL = (16, 32, 96), (40, 150, 170)
PAPER, PAPER_EDGE = (250, 250, 240), (120, 120, 120)
FOLDER, FOLDER_DARK = (235, 190, 70), (170, 120, 30)
SCREEN, CASE = (60, 170, 220), (200, 200, 205)
GREEN = (40, 160, 60)
AMBER = (200, 110, 20)


def monitor(img, x, y):
    rect(img, x, y, x + 70, y + 50, CASE)
    rect(img, x + 5, y + 5, x + 65, y + 43, SCREEN)
    rect(img, x + 28, y + 50, x + 42, y + 58, CASE)
    rect(img, x + 15, y + 58, x + 55, y + 62, CASE)


def folder(img, x, y, w=60, h=42):
    rect(img, x, y, x + w // 3, y + 6, FOLDER_DARK)
    rect(img, x, y + 5, x + w, y + h, FOLDER)
    rect(img, x, y + h - 3, x + w, y + h, FOLDER_DARK)


def page(img, x, y, w=16, h=20):
    rect(img, x, y, x + w, y + h, PAPER_EDGE)
    rect(img, x + 1, y + 1, x + w - 1, y + h - 1, PAPER)
    for line in range(4, h - 3, 4):
        rect(img, x + 3, y + line, x + w - 3, y + line + 1, PAPER_EDGE)


def side_welcome():
    img = blank(117, 263, NAVY)
    vertical_gradient(img, TEAL, NAVY)
    monitor(img, 23, 70)
    page(img, 50, 150)
    page(img, 34, 170)
    page(img, 66, 175)
    return img


def side_destination():
    img = blank(117, 263, NAVY)
    vertical_gradient(img, (90, 60, 150), NAVY)
    folder(img, 28, 80)
    folder(img, 36, 140, 46, 32)
    rect(img, 56, 122, 60, 140, WHITE)  # an arrow down into the lower folder
    for i in range(8):
        rect(img, 50 + i, 132 + i, 66 - i, 133 + i, WHITE)
    return img


def side_finish():
    img = blank(117, 231, NAVY)
    vertical_gradient(img, (30, 130, 80), NAVY)
    disc(img, 58, 100, 34, WHITE)
    for i in range(14):  # check mark
        rect(img, 40 + i, 98 + i, 44 + i, 102 + i, GREEN)
    for i in range(26):
        rect(img, 53 + i, 111 - i, 57 + i, 115 - i, GREEN)
    return img


def side_incomplete():
    """The Finish page's picture after an installation that did not complete:
    an exclamation mark where the check mark would be."""
    img = blank(117, 231, NAVY)
    vertical_gradient(img, (170, 90, 30), NAVY)
    disc(img, 58, 100, 34, WHITE)
    rect(img, 53, 76, 63, 110, AMBER)
    disc(img, 58, 121, 6, AMBER)
    return img


def copy_frames(count=32):
    """Two folders, a page flying from the left one to the right one."""
    frames = []
    for n in range(count):
        img = blank(272, 60, (212, 208, 200))
        folder(img, 20, 12, 52, 40)
        folder(img, 200, 12, 52, 40)
        t = n / (count - 1)
        x = int(60 + t * 140)
        y = int(30 - 24 * 4 * t * (1 - t))
        page(img, x, y)
        frames.append(img)
    return frames


def main(out):
    os.makedirs(out, exist_ok=True)
    write_bmp8(os.path.join(out, "side1.bmp"), side_welcome())
    write_bmp8(os.path.join(out, "side2.bmp"), side_destination())
    write_bmp8(os.path.join(out, "side3.bmp"), side_finish())
    write_bmp8(os.path.join(out, "side4.bmp"), side_incomplete())
    with tempfile.TemporaryDirectory() as tmp:
        names = []
        for i, frame in enumerate(copy_frames()):
            name = os.path.join(tmp, "f%02d.ppm" % i)
            write_ppm(name, frame)
            names.append(name)
        subprocess.run(["/usr/bin/convert", "-delay", "5", "-loop", "0", *names,
                        os.path.join(out, "copyfiles.gif")], check=True)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "app/pictures")
