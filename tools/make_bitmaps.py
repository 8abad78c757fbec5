#!/usr/bin/env python3
"""Draws the button glyphs, the two language flags and the main icon into resources/.

The glyphs are 24-bit BMPs whose bottom-left pixel holds the colour drawn transparent (magenta here); the flags
are 24 x 16 BMPs; the icon is an .ico with 16, 32 and 48 pixel images plus a 48 pixel PNG for the Linux window.
The glyphs and flags are drawn again for displays at 125, 150 and 200 % (into the folders 125/, 150/ and 200/
beside them), each at its own size with hard pixel edges, and the icon holds the sizes those displays ask for
too (20, 24, 40 and 64 pixels): the Windows program picks the drawing made for the display's scale instead of
enlarging the 100 % one.
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


# ---- The same pictures for other display scales ----

SCALES = (125, 150, 200)  # per cent; the 100 % glyphs are the ones drawn above, the flags are drawn at each


def scaled(n, scale):
    """`n` pixels at 100 % drawn at `scale` per cent, rounded to the nearest pixel, halves up."""
    return (n * scale + 50) // 100


def distance_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy))


def question_mark_at(scale):
    """The question mark as strokes two 100 % pixels wide (a hook, a slanted and a straight stem, a square
    dot), filled wherever a pixel's centre lies on them, with its dark shadow down and to the right."""
    s = scale / 100
    size = scaled(16, scale)
    img = canvas(size, size, KEY)
    # The stroke's centre line in 100 % pixels: an arc over the top, then down to the stem.
    cx, cy, r = 8.0, 5.5, 4.0
    path = [(cx + r * math.cos(math.radians(a)), cy + r * math.sin(math.radians(a))) for a in range(180, 381, 5)]
    path += [(8.0, 9.8), (8.0, 11.2)]
    ink = set()
    for y in range(size):
        for x in range(size):
            u, v = (x + 0.5) / s, (y + 0.5) / s
            on_stroke = any(distance_to_segment(u, v, *a, *b) <= 1.0 for a, b in zip(path, path[1:]))
            on_dot = abs(u - 8.0) <= 1.0 and 12.0 <= v <= 14.0
            if on_stroke or on_dot:
                ink.add((x, y))
    shadow = max(1, round(s))
    for (x, y) in ink:
        if x + shadow < size and y + shadow < size and (x + shadow, y + shadow) not in ink:
            img[y + shadow][x + shadow] = DARK_YELLOW
    for (x, y) in ink:
        img[y][x] = YELLOW
    return img


def page_at(img, x0, y0, w, h, scale):
    """page() at `scale`: outline and text lines one pixel thick below 200 %, two at 200 %."""
    s = scale / 100
    line = 2 if scale >= 200 else 1
    fold = scaled(3, scale)
    x1, y1 = x0 + w - 1, y0 + h - 1
    rect(img, x0, y0, x1, y1, WHITE)
    for i in range(line):
        rect(img, x0 + i, y0 + i, x1 - i, y1 - i, BLACK, fill=False)
    # The folded corner: cut off beyond the diagonal, the fold itself in silver behind black edges.
    for y in range(y0, y0 + fold + line):
        for x in range(x1 - fold - line + 1, x1 + 1):
            beyond = (x - (x1 - fold)) - (y - y0)  # > 0: above the diagonal from the fold's top to its right
            if beyond > 0:
                img[y][x] = KEY
            elif beyond > -line:
                img[y][x] = BLACK
            elif x <= x1 - fold - 1 + line or y >= y0 + fold:
                if x >= x1 - fold - line + 1 and y <= y0 + fold + line - 1:
                    img[y][x] = BLACK
            else:
                img[y][x] = SILVER
    step = max(2, scaled(2, scale))
    for y in range(y0 + fold + line, y1 - line, step):
        right = x1 - 2 * line
        for t in range(line):
            if y + t < y1 - line:
                for x in range(x0 + 2 * line, right):
                    img[y + t][x] = GREY
    return img


def manual_at(scale):
    img = canvas(scaled(13, scale), scaled(13, scale), KEY)
    page_at(img, scaled(2, scale), 0, scaled(9, scale), scaled(12, scale), scale)
    return img


def changes_at(scale):
    img = canvas(scaled(16, scale), scaled(16, scale), KEY)
    page_at(img, scaled(1, scale), 0, scaled(9, scale), scaled(11, scale), scale)
    page_at(img, scaled(5, scale), scaled(4, scale), scaled(10, scale), scaled(11, scale), scale)
    return img


def russia_at(scale):
    w, h = scaled(24, scale), scaled(16, scale)
    img = canvas(w, h, WHITE)
    rect(img, 0, scaled(5, scale), w - 1, scaled(11, scale) - 1, (0, 57, 166))
    rect(img, 0, scaled(11, scale), w - 1, h - 1, (213, 43, 30))
    return img


def united_kingdom_at(scale):
    s = scale / 100
    w, h = scaled(24, scale), scaled(16, scale)
    blue, red = (1, 33, 105), (200, 16, 46)
    img = canvas(w, h, blue)
    for y in range(h):
        for x in range(w):
            u, v = (x + 0.5) / w, (y + 0.5) / h
            d1 = abs(u - v) * h
            d2 = abs(u + v - 1) * h
            if min(d1, d2) < 1.7 * s:
                img[y][x] = WHITE
            if min(d1, d2) < 0.6 * s:
                img[y][x] = red
    rect(img, scaled(9, scale), 0, scaled(15, scale) - 1, h - 1, WHITE)
    rect(img, 0, scaled(5, scale), w - 1, scaled(11, scale) - 1, WHITE)
    rect(img, scaled(10, scale), 0, scaled(14, scale) - 1, h - 1, red)
    rect(img, 0, scaled(6, scale), w - 1, scaled(10, scale) - 1, red)
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
    for scale in (100,) + SCALES:
        folder = root / "flags" if scale == 100 else root / "flags" / str(scale)
        folder.mkdir(parents=True, exist_ok=True)
        write_bmp(folder / "uk.bmp", united_kingdom_at(scale))
        write_bmp(folder / "russia.bmp", russia_at(scale))
    for scale in SCALES:
        (root / "glyphs" / str(scale)).mkdir(parents=True, exist_ok=True)
        write_bmp(root / f"glyphs/{scale}/contents.bmp", question_mark_at(scale))
        write_bmp(root / f"glyphs/{scale}/manual.bmp", manual_at(scale))
        write_bmp(root / f"glyphs/{scale}/changes.bmp", changes_at(scale))
    # The small and large window icons at 100, 125, 150 and 200 %.
    icons = {n: icon_image(n) for n in (16, 32, 48, 20, 24, 40, 64)}
    write_ico(root / "icon/scaleboot.ico", list(icons.values()))
    (root / "icon/scaleboot.png").write_bytes(png_bytes(icons[48]))


if __name__ == "__main__":
    main()
