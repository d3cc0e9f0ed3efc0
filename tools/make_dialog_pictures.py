#!/usr/bin/env python3
"""Draws the settings dialog's pictures into host/resources/dialog/:

  banner01.bmp ... banner24.bmp  120 x 50, 24-bit: a pane of glass that cracks, breaks into
                                 shards that fall away, and the product name that stays
  mark_off.bmp, mark_on.bmp      12 x 12, 24-bit: the empty and the filled blue mode mark
  dialog.ico                     32 x 32, 32-bit: a cracked pane
  banner.cur                     32 x 32, monochrome: a pointing hand, hot spot (12, 1)

Plain Python, deterministic: running it again gives the same bytes. An argument names another
folder to write to.
"""

import math
import struct
import sys
from pathlib import Path

OUT = Path(__file__).resolve().parents[1] / "host" / "resources" / "dialog"

BACK = (224, 224, 224)
W, H = 120, 50
FRAMES = 24

# A 5 x 7 capital font, only the letters of the name.
GLYPHS = {
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
}


class Canvas:
    def __init__(self, w, h, colour):
        self.w, self.h = w, h
        self.px = [[colour] * w for _ in range(h)]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.set(x, y, c)

    def polygon(self, pts, c):
        """Fills a convex or concave polygon by the even-odd rule at pixel centres."""
        ys = [p[1] for p in pts]
        for y in range(max(0, int(min(ys))), min(self.h, int(max(ys)) + 1)):
            yc = y + 0.5
            xs = []
            for (ax, ay), (bx, by) in zip(pts, pts[1:] + pts[:1]):
                if (ay <= yc < by) or (by <= yc < ay):
                    xs.append(ax + (yc - ay) * (bx - ax) / (by - ay))
            xs.sort()
            for a, b in zip(xs[0::2], xs[1::2]):
                for x in range(max(0, int(math.ceil(a - 0.5))), min(self.w, int(math.floor(b - 0.5)) + 1)):
                    self.px[y][x] = c

    def line(self, x0, y0, x1, y1, c):
        n = int(max(abs(x1 - x0), abs(y1 - y0))) + 1
        for i in range(n + 1):
            t = i / n
            self.set(int(round(x0 + (x1 - x0) * t)), int(round(y0 + (y1 - y0) * t)), c)

    def text(self, s, x, y, c, scale=1):
        for ch in s:
            rows = GLYPHS[ch]
            for ry, row in enumerate(rows):
                for rx, bit in enumerate(row):
                    if bit == "1":
                        self.rect(x + rx * scale, y + ry * scale, x + (rx + 1) * scale, y + (ry + 1) * scale, c)
            x += 6 * scale


def bmp24(canvas):
    row = (canvas.w * 3 + 3) & ~3
    body = bytearray()
    for y in range(canvas.h - 1, -1, -1):
        line = bytearray()
        for r, g, b in canvas.px[y]:
            line += bytes((b, g, r))
        body += line + bytes(row - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.w, canvas.h, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    return header + info + bytes(body)


def icon_file(kind, images, hotspot=(0, 0)):
    """An .ico (kind 1) or .cur (kind 2) holding one bitmap image given as (w, h, dib bytes)."""
    w, h, dib = images
    planes_or_x, bits_or_y = (1, 32) if kind == 1 else hotspot
    head = struct.pack("<HHH", 0, kind, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, planes_or_x, bits_or_y, len(dib), 6 + 16)
    return head + entry + dib


def icon_dib32(canvas, alpha):
    """32-bit colour with alpha plus the 1-bit AND mask; rows bottom-up."""
    w, h = canvas.w, canvas.h
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    mask = bytearray()
    mask_row = ((w + 31) // 32) * 4
    for y in range(h - 1, -1, -1):
        bits = bytearray(mask_row)
        for x in range(w):
            r, g, b = canvas.px[y][x]
            a = alpha[y][x]
            colour += bytes((b, g, r, a))
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return info + bytes(colour) + bytes(mask)


def cursor_dib1(shape):
    """Monochrome cursor: XOR rows then AND rows, bottom-up, two-colour palette.
    shape: rows of '.' (transparent), '#' (black) and 'o' (white)."""
    w = h = 32
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    xor, andm = bytearray(), bytearray()
    for y in range(h - 1, -1, -1):
        xrow, arow = bytearray(4), bytearray(4)
        line = shape[y] if y < len(shape) else ""
        for x in range(w):
            ch = line[x] if x < len(line) else "."
            if ch == ".":
                arow[x // 8] |= 0x80 >> (x % 8)
            elif ch == "o":
                xrow[x // 8] |= 0x80 >> (x % 8)
        xor += xrow
        andm += arow
    return info + palette + bytes(xor) + bytes(andm)


# --------------------------------------------------------------------------- the pictures

def shards():
    """The pane (x 6..113, y 4..45) cut into nine shards around an impact point."""
    cx, cy = 60, 24
    rim = [(6, 4), (36, 4), (78, 4), (113, 4), (113, 26), (113, 45), (70, 45), (30, 45), (6, 45), (6, 22)]
    return [[(cx, cy), rim[i], rim[(i + 1) % len(rim)]] for i in range(len(rim))]


def banner(n):
    """Frame n (1..24): 1-6 whole pane with a glint running across, 7-10 cracks grow,
    11-24 the shards drift apart, spin and fall while the name shows through."""
    c = Canvas(W, H, BACK)
    glass = (168, 200, 228)
    edge = (70, 110, 150)
    name_colour = (30, 60, 110)
    name_x = (W - (9 * 6 - 1) * 2) // 2
    if n >= 11:
        c.text("GLASSFALL", name_x, 18, name_colour, scale=2)
    pieces = shards()
    for k, tri in enumerate(pieces):
        if n < 11:
            pts = tri
        else:
            t = (n - 10) / 14.0
            mx = sum(p[0] for p in tri) / 3
            my = sum(p[1] for p in tri) / 3
            dx, dy = mx - 60, my - 24
            spin = (1 if k % 2 else -1) * t * (0.6 + 0.15 * (k % 3))
            ox = dx * t * 0.8
            oy = dy * t * 0.5 + 70 * t * t
            ca, sa = math.cos(spin), math.sin(spin)
            pts = [(mx + ox + (p[0] - mx) * ca - (p[1] - my) * sa, my + oy + (p[0] - mx) * sa + (p[1] - my) * ca)
                   for p in tri]
        shade = tuple(max(0, min(255, v - 6 * (k % 3))) for v in glass)
        c.polygon(pts, shade)
        for a, b in zip(pts, pts[1:] + pts[:1]):
            c.line(a[0], a[1], b[0], b[1], edge)
    if n <= 6:
        gx = 6 + (n - 1) * 20
        for i in range(10):
            c.line(gx + i, 44, gx + i + 24, 5, (236, 244, 252))
    elif n <= 10:
        reach = (n - 6) / 4.0
        for tri in pieces:
            (ax, ay), (bx, by) = tri[0], tri[1]
            c.line(ax, ay, ax + (bx - ax) * reach, ay + (by - ay) * reach, (250, 250, 255))
    return c


def mark(selected):
    c = Canvas(12, 12, (255, 255, 255))
    frame = (64, 64, 64)
    c.rect(0, 0, 12, 1, frame)
    c.rect(0, 11, 12, 12, frame)
    c.rect(0, 0, 1, 12, frame)
    c.rect(11, 0, 12, 12, frame)
    if selected:
        c.rect(2, 2, 10, 10, (0, 64, 224))
    return c


def icon():
    c = Canvas(32, 32, (0, 0, 0))
    alpha = [[0] * 32 for _ in range(32)]
    for y in range(2, 30):
        for x in range(3, 29):
            c.px[y][x] = (150 + x, 190 + y // 2, 235)
            alpha[y][x] = 255
    edge = (40, 80, 130)
    for x in range(3, 29):
        c.px[2][x] = c.px[29][x] = edge
    for y in range(2, 30):
        c.px[y][3] = c.px[y][28] = edge
    for ex, ey in ((3, 9), (12, 2), (28, 6), (28, 22), (18, 29), (3, 25)):
        c.line(15, 15, ex, ey, (255, 255, 255))
    return c, alpha


HAND = [
    "...........##",
    "..........#oo#",
    "..........#oo#",
    "..........#oo#",
    "..........#oo#",
    "..........#oo###",
    "..........#oo#oo###",
    "..........#oo#oo#oo##",
    "..........#oo#oo#oo#o#",
    "......###.#oo#oo#oo#o#",
    "......#oo##oooooooo#o#",
    "......#ooo#oooooooooo#",
    ".......#oo#oooooooooo#",
    "........#ooooooooooooo#",
    "........#oooooooooooo#",
    ".........#ooooooooooo#",
    ".........#oooooooooo#",
    "..........#ooooooooo#",
    "..........#oooooooo#",
    "...........#ooooooo#",
    "...........#########",
]


def main(argv):
    global OUT
    if len(argv) > 1:
        OUT = Path(argv[1])  # elsewhere, to compare with the committed pictures
    OUT.mkdir(parents=True, exist_ok=True)
    for n in range(1, FRAMES + 1):
        (OUT / f"banner{n:02d}.bmp").write_bytes(bmp24(banner(n)))
    (OUT / "mark_off.bmp").write_bytes(bmp24(mark(False)))
    (OUT / "mark_on.bmp").write_bytes(bmp24(mark(True)))
    ic, alpha = icon()
    (OUT / "dialog.ico").write_bytes(icon_file(1, (32, 32, icon_dib32(ic, alpha))))
    # The hand's fingertip is where it points: column 12, row 1.
    (OUT / "banner.cur").write_bytes(icon_file(2, (32, 32, cursor_dib1(HAND)), hotspot=(12, 1)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
