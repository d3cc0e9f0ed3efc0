#!/usr/bin/env python3
"""Makes our own pictures for tests and the demo, as the host would store them.

  make_picture.py test    --size 800x600 --out Glassfall.alo [--png upright.png]
  make_picture.py desktop --size 1024x768 [--out Glassfall.alo] [--png upright.png]

"test" is asymmetric: four quadrants of distinct colours, each with a gentle gradient, and a
white marker square with a black core near the top-left corner, so any flip or turn shows.
"desktop" looks like a desktop: wallpaper gradient, icons, two windows and a task bar.
--out writes the snapshot form: the picture turned by 180 degrees, as an uncompressed
24-bit bottom-up Windows bitmap (image-size field filled in unless --size-field-zero).
--png writes the upright picture. Standard library only.
"""

import argparse
import struct
import sys
import zlib
from pathlib import Path


class Picture:
    """RGB rows from the top, as bytearrays."""

    def __init__(self, width, height, rgb=(0, 0, 0)):
        self.width, self.height = width, height
        self.rows = [bytearray(bytes(rgb) * width) for _ in range(height)]

    def fill(self, x0, y0, x1, y1, rgb):
        x0, x1 = max(0, x0), min(self.width, x1)
        y0, y1 = max(0, y0), min(self.height, y1)
        if x0 >= x1:
            return
        run = bytes(rgb) * (x1 - x0)
        for y in range(y0, y1):
            self.rows[y][x0 * 3:x1 * 3] = run

    def rgb_bytes(self):
        return b"".join(self.rows)


def test_picture(width, height):
    p = Picture(width, height)
    hw, hh = width // 2, height // 2
    quadrants = (
        (0, 0, (200, 40, 40)),       # top-left: red
        (hw, 0, (40, 170, 60)),      # top-right: green
        (0, hh, (40, 70, 210)),      # bottom-left: blue
        (hw, hh, (230, 200, 40)),    # bottom-right: yellow
    )
    for qx, qy, (r, g, b) in quadrants:
        qw, qh = (hw if qx == 0 else width - hw), (hh if qy == 0 else height - hh)
        for y in range(qh):
            # A gentle vertical gradient: a turned quadrant would show it running the wrong way.
            k = 0.85 + 0.15 * y / max(1, qh - 1)
            p.fill(qx, qy + y, qx + qw, qy + y + 1, (int(r * k), int(g * k), int(b * k)))
    s = max(8, height // 6)
    mx, my = width // 16, height // 16
    p.fill(mx, my, mx + s, my + s, (255, 255, 255))
    p.fill(mx + s // 3, my + s // 3, mx + 2 * s // 3, my + 2 * s // 3, (0, 0, 0))
    return p


def desktop_picture(width, height):
    p = Picture(width, height)
    for y in range(height):  # wallpaper: teal-blue gradient
        t = y / max(1, height - 1)
        p.fill(0, y, width, y + 1, (int(30 + 40 * t), int(90 + 50 * t), int(150 + 40 * t)))
    bar = max(24, height // 28)
    p.fill(0, height - bar, width, height, (192, 192, 192))
    p.fill(0, height - bar, width, height - bar + 2, (255, 255, 255))
    p.fill(3, height - bar + 4, 3 + bar * 3, height - 4, (210, 210, 210))       # start button
    p.fill(width - bar * 4, height - bar + 4, width - 4, height - 4, (170, 170, 170))  # clock
    icon = max(16, height // 22)
    for i in range(5):  # icons down the left edge, each with its label strip
        y = bar // 2 + i * icon * 2
        p.fill(icon // 2, y, icon // 2 + icon, y + icon, ((230, 200, 60), (240, 240, 240), (80, 160, 230),
                                                        (200, 90, 90), (120, 200, 120))[i])
        p.fill(icon // 4, y + icon + 3, icon * 7 // 4, y + icon + 7, (235, 235, 235))

    def window(x, y, w, h, title_rgb):
        p.fill(x + 6, y + 6, x + w + 6, y + h + 6, (20, 40, 60))        # shadow
        p.fill(x, y, x + w, y + h, (212, 208, 200))                      # frame
        p.fill(x + 3, y + 3, x + w - 3, y + 3 + bar, title_rgb)          # title bar
        p.fill(x + w - 3 - bar, y + 5, x + w - 5, y + bar + 1, (212, 208, 200))  # close box
        p.fill(x + 6, y + bar + 8, x + w - 6, y + h - 6, (255, 255, 255))  # client area
        line = max(3, bar // 5)
        for k, yy in enumerate(range(y + bar + 16, y + h - 16, line * 3)):  # lines of "text"
            p.fill(x + 14, yy, x + 14 + (w - 40) * (5 + (k * 7) % 5) // 10, yy + line, (60, 60, 60))

    window(width // 5, height // 8, width // 2, height // 2, (10, 36, 106))
    window(width // 2, height * 2 // 5, width * 2 // 5, height * 2 // 5, (128, 128, 128))
    return p


def snapshot_bmp(picture, size_field=True):
    """The host's form: turned by 180°, 24-bit, bottom row first, rows padded to 4 bytes."""
    w, h = picture.width, picture.height
    row_bytes = (24 * w + 31) // 32 * 4
    pad = b"\0" * (row_bytes - 3 * w)
    body = bytearray()
    # Stored bottom-up, the first stored row is the turned picture's bottom row, which is the
    # upright top row read right to left.
    for row in picture.rows:
        bgr = bytearray(len(row))
        bgr[0::3], bgr[1::3], bgr[2::3] = row[2::3], row[1::3], row[0::3]
        turned = bytearray(len(row))
        turned[0::3], turned[1::3], turned[2::3] = bgr[-3::-3], bgr[-2::-3], bgr[-1::-3]
        body += turned + pad
    image_size = len(body) if size_field else 0
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, image_size, 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return header + info + bytes(body)


def png_bytes(picture):
    raw = b"".join(b"\0" + bytes(r) for r in picture.rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    ihdr = struct.pack(">IIBBBBB", picture.width, picture.height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b"")


def ppm_bytes(picture):
    return f"P6\n{picture.width} {picture.height}\n255\n".encode() + picture.rgb_bytes()


MAKERS = {"test": test_picture, "desktop": desktop_picture}


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("kind", choices=sorted(MAKERS))
    ap.add_argument("--size", default="1024x768", help="WIDTHxHEIGHT")
    ap.add_argument("--out", help="snapshot file to write (turned 24-bit BMP)")
    ap.add_argument("--png", help="upright picture as PNG")
    ap.add_argument("--ppm", help="upright picture as binary PPM")
    ap.add_argument("--size-field-zero", action="store_true", help="leave the image-size field 0")
    args = ap.parse_args(argv)
    width, height = (int(v) for v in args.size.lower().split("x"))
    picture = MAKERS[args.kind](width, height)
    if args.out:
        Path(args.out).write_bytes(snapshot_bmp(picture, not args.size_field_zero))
    if args.png:
        Path(args.png).write_bytes(png_bytes(picture))
    if args.ppm:
        Path(args.ppm).write_bytes(ppm_bytes(picture))
    if not (args.out or args.png or args.ppm):
        ap.error("give --out, --png or --ppm")
    return 0


if __name__ == "__main__":
    sys.exit(main())
