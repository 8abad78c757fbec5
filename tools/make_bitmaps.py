#!/usr/bin/env python3
"""Draws the button glyphs, the two language flags and the main icon into resources/.

The glyphs are 24-bit BMPs whose bottom-left pixel holds the colour drawn transparent (magenta here); the flags
are 24 x 16 BMPs; the icon is an .ico with 16, 32 and 48 pixel images plus a 48 pixel PNG for the Linux window.
Run from the repository root:  python3 tools/make_bitmaps.py
"""
import math
import struct
import zlib
from pathlib import Path

KEY = (255, 0, 255)  # transparent colour of the glyphs
BLACK, WHITE, GREY = (0, 0, 0), (255, 255, 255), (128, 128, 128)
SILVER = (192, 192, 192)
YELLOW, DARK_YELLOW = (255, 255, 0), (128, 128, 0)
NAVY = (0, 0, 128)


def canvas(w, h, colour):
    return [[colour for _ in range(w)] for _ in range(h)]


def rect(img, x0, y0, x1, y1, colour, fill=True):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            if fill or x in (x0, x1) or y in (y0, y1):
                img[y][x] = colour


def write_bmp(path, img):
    h, w = len(img), len(img[0])
    row_size = (w * 3 + 3) & ~3
    data = bytearray()
    for y in range(h - 1, -1, -1):  # bottom-up
        row = bytearray()
        for (r, g, b) in img[y]:
            row += bytes((b, g, r))
        row += b"\0" * (row_size - len(row))
        data += row
    header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    Path(path).write_bytes(header + info + data)


def question_mark():
    img = canvas(16, 16, KEY)
    shape = [
        "....######....",
        "...##....##...",
        "..##......##..",
        "..##......##..",
        "..........##..",
        ".........##...",
        "........##....",
        ".......##.....",
        "......##......",
        "......##......",
        "..............",
        "......##......",
        "......##......",
    ]
    for y, line in enumerate(shape):
        for x, c in enumerate(line):
            if c == "#":
                img[y + 1][x + 1] = YELLOW
                # a dark shadow one pixel down and right gives the mark its edge on a grey button
                if img[y + 2][x + 2] == KEY:
                    img[y + 2][x + 2] = DARK_YELLOW
    for y, line in enumerate(shape):
        for x, c in enumerate(line):
            if c == "#":
                img[y + 1][x + 1] = YELLOW
    return img


def page(img, x0, y0, w, h):
    """A white page with a black outline, a folded top-right corner and grey text lines."""
    x1, y1 = x0 + w - 1, y0 + h - 1
    rect(img, x0, y0, x1, y1, WHITE)
    rect(img, x0, y0, x1, y1, BLACK, fill=False)
    fold = 3
    for i in range(fold):
        for j in range(fold - i):
            img[y0 + i][x1 - j] = KEY if i < fold - 1 - j else img[y0 + i][x1 - j]
    for i in range(fold + 1):
        img[y0 + i][x1 - fold] = BLACK
        img[y0 + fold][x1 - i] = BLACK
    img[y0 + 1][x1 - 1] = BLACK
    img[y0 + 2][x1 - 2] = SILVER
    for y in range(y0 + 3, y1 - 1, 2):
        for x in range(x0 + 2, x1 - 1 if y > y0 + fold else x1 - fold - 1):
            img[y][x] = GREY


def manual():
    img = canvas(13, 13, KEY)
    page(img, 2, 0, 9, 12)
    return img


def changes():
    img = canvas(16, 16, KEY)
    page(img, 1, 0, 9, 11)
    page(img, 5, 4, 10, 11)
    return img


def russia():
    img = canvas(24, 16, WHITE)
    rect(img, 0, 5, 23, 10, (0, 57, 166))
    rect(img, 0, 11, 23, 15, (213, 43, 30))
    return img


def united_kingdom():
    blue, red = (1, 33, 105), (200, 16, 46)
    img = canvas(24, 16, blue)
    for y in range(16):
        for x in range(24):
            # distances of the pixel centre from the two diagonals, in pixels
            u, v = (x + 0.5) / 24, (y + 0.5) / 16
            d1 = abs(u - v) * 16
            d2 = abs(u + v - 1) * 16
            if min(d1, d2) < 1.7:
                img[y][x] = WHITE
            if min(d1, d2) < 0.6:
                img[y][x] = red
    rect(img, 9, 0, 14, 15, WHITE)
    rect(img, 0, 5, 23, 10, WHITE)
    rect(img, 10, 0, 13, 15, red)
    rect(img, 0, 6, 23, 9, red)
    return img


def icon_image(size):
    """A memory card (navy, notched corner, gold contacts) with a white arrow pointing into it, RGBA."""
    s = size / 32.0
    px = [[(0, 0, 0, 0) for _ in range(size)] for _ in range(size)]
    for y in range(size):
        for x in range(size):
            fx, fy = (x + 0.5) / s, (y + 0.5) / s
            inside = 6 <= fx <= 26 and 2 <= fy <= 30 and not (fx - 6 + fy - 2 < 7)
            if not inside:
                continue
            edge = fx < 7 or fx > 25 or fy < 3 or fy > 29 or (fx - 6 + fy - 2 < 8)
            colour = (0, 0, 96, 255) if edge else (0, 51, 153, 255)
            if 4 <= fy <= 9 and fx >= 12 and int(fx - 12) % 3 != 2 and fx < 25:
                colour = (230, 180, 40, 255)
            if (14 <= fx <= 18 and 12 <= fy <= 20) or (fy >= 20 and fy <= 27 and abs(fx - 16) <= 27 - fy):
                colour = (255, 255, 255, 255)
            px[y][x] = colour
    return px


def png_bytes(px):
    h, w = len(px), len(px[0])
    raw = b"".join(b"\0" + b"".join(bytes(p) for p in row) for row in px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def ico_entry(px):
    h, w = len(px), len(px[0])
    xor = b"".join(bytes((b, g, r, a)) for row in reversed(px) for (r, g, b, a) in row)
    mask_row = ((w + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(px):
        bits = bytearray(mask_row)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + bytes(mask)


def write_ico(path, images):
    entries = [ico_entry(px) for px in images]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for px, data in zip(images, entries):
        n = len(px)
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    Path(path).write_bytes(out + b"".join(entries))


def main():
    root = Path("resources")
    write_bmp(root / "glyphs/contents.bmp", question_mark())
    write_bmp(root / "glyphs/manual.bmp", manual())
    write_bmp(root / "glyphs/changes.bmp", changes())
    write_bmp(root / "flags/uk.bmp", united_kingdom())
    write_bmp(root / "flags/russia.bmp", russia())
    icons = [icon_image(n) for n in (16, 32, 48)]
    write_ico(root / "icon/scaleboot.ico", icons)
    (root / "icon/scaleboot.png").write_bytes(png_bytes(icons[2]))


if __name__ == "__main__":
    main()
