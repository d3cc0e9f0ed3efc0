#!/usr/bin/env python3
"""Makes Glassfall's icon and its software-centre screenshot from frames of the effect itself.

  make_icon.py [--glassfall build/linux/bin/glassfall] [--out packaging]

The native program runs in its own window on a private Xvfb whose desktop is a picture of our
own: for the icon a square pane of blue glass with two streaks of glare, for the screenshot the
demo's generated desktop. The first frame in which the picture has broken far enough apart is
kept. The icon is that frame with the black behind the shards made transparent, trimmed and
centred on a square, at every size Windows and the freedesktop icon theme want:

  packaging/icons/glassfall.ico                      16-256 (PNG-compressed from 64 up)
  packaging/icons/hicolor/NxN/apps/glassfall.png     16, 22, 24, 32, 48, 64, 128, 256
  packaging/linux/screenshot.png                     1280x720, the desktop breaking

Needs the linux preset built, Xvfb and ImageMagick (both in scripts/packages.txt).
"""

import argparse
import shutil
import struct
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import gfharness as h  # noqa: E402
import linuxharness as lh  # noqa: E402

ICO_SIZES = (16, 24, 32, 48, 64, 128, 256)
HICOLOR_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
# Smaller entries stay plain bitmaps, which every reader of icons takes.
PNG_FROM = 64
# A shard is never this dark: the picture has no colour this close to black.
BACKGROUND_LIMIT = 24


def glass_pane(size):
    """Deep blue to cyan across the diagonal, with two lighter streaks of glare."""
    p = lh.mp.Picture(size, size)
    for y in range(size):
        row = p.rows[y]
        for x in range(size):
            t = (x + y) / (2 * size - 2)
            r, g, b = 25 + 45 * t, 70 + 140 * t, 175 + 60 * t
            d = (x - y) / size  # distance across the streaks, which run from top-right down
            glare = max(0.0, 1 - abs(d + 0.30) / 0.10) * 0.65 + max(0.0, 1 - abs(d + 0.05) / 0.04) * 0.45
            r, g, b = (c + (250 - c) * min(1.0, glare) for c in (r, g, b))
            row[3 * x:3 * x + 3] = bytes((int(r), int(g), int(b)))
    return p


def broken_frame(glassfall, picture, size, gaps):
    """The first screenshot of glassfall over `picture` where between gaps[0] and gaps[1] of the
    view is black background between the shards."""
    display = lh.Xvfb(size)
    proc = None
    try:
        with tempfile.TemporaryDirectory(prefix="gf-icon-") as folder:
            display.set_root_picture(picture, folder)
            proc = subprocess.Popen([str(glassfall), "--window"], env=display.env(), stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

            def apart():
                if proc.poll() is not None:
                    raise RuntimeError(f"glassfall ended ({proc.returncode}): {proc.stderr.read()!r}")
                view = display.screenshot()
                return view if gaps[0] <= view.dark_fraction(BACKGROUND_LIMIT) <= gaps[1] else None

            return h.wait_until(apart, 30, interval=0.02, what="the picture broken apart")
    finally:
        if proc:
            lh.end(proc)
        display.stop()


def magick(*args):
    subprocess.run(["convert", *map(str, args)], check=True, capture_output=True)


def rgba(png, size):
    return subprocess.run(["convert", str(png), "-depth", "8", "rgba:-"], check=True,
                          capture_output=True).stdout[:size * size * 4]


def bitmap_entry(pixels, size):
    """An icon entry as a bitmap: 32-bit BGRA rows from the bottom, then the 1-bit mask."""
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    rows, mask = [], []
    mask_row = (size + 31) // 32 * 4
    for y in reversed(range(size)):
        row = pixels[y * size * 4:(y + 1) * size * 4]
        bgra = bytearray(row)
        bgra[0::4], bgra[2::4] = row[2::4], row[0::4]
        rows.append(bytes(bgra))
        bits = bytearray(mask_row)
        for x in range(size):
            if row[4 * x + 3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask.append(bytes(bits))
    return info + b"".join(rows) + b"".join(mask)


def write_ico(pngs, path):
    """pngs: {size: PNG file}. Entries from the smallest up."""
    entries = []
    for size in sorted(pngs):
        data = pngs[size].read_bytes() if size >= PNG_FROM else bitmap_entry(rgba(pngs[size], size), size)
        entries.append((size, data))
    offset = 6 + 16 * len(entries)
    head = struct.pack("<HHH", 0, 1, len(entries))
    body = b""
    for size, data in entries:
        head += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset + len(body))
        body += data
    path.write_bytes(head + body)


def make_icon(frame, out):
    """The shards without their background, trimmed, centred on a square, at every size."""
    work = Path(tempfile.mkdtemp(prefix="gf-icon-"))
    try:
        frame.save(work / "frame.png")
        master = work / "master.png"
        magick(work / "frame.png", "-alpha", "set", "-fuzz", f"{100 * BACKGROUND_LIMIT / 255:.1f}%",
               "-transparent", "black", "-trim", "+repage", "-resize", "248x248", "-background", "none",
               "-gravity", "center", "-extent", "256x256", master)
        pngs = {}
        for size in sorted(set(ICO_SIZES) | set(HICOLOR_SIZES)):
            png = work / f"{size}.png"
            magick(master, "-filter", "Lanczos", "-resize", f"{size}x{size}", "-strip",
                   "-define", "png:compression-level=9", "-define", "png:exclude-chunks=date,time", png)
            pngs[size] = png
            if size in HICOLOR_SIZES:
                target = out / "icons" / "hicolor" / f"{size}x{size}" / "apps" / "glassfall.png"
                target.parent.mkdir(parents=True, exist_ok=True)
                shutil.copyfile(png, target)
        write_ico({s: pngs[s] for s in ICO_SIZES}, out / "icons" / "glassfall.ico")
    finally:
        shutil.rmtree(work)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--glassfall", type=Path, default=lh.GLASSFALL)
    ap.add_argument("--out", type=Path, default=ROOT / "packaging")
    args = ap.parse_args(argv)

    frame = broken_frame(args.glassfall, glass_pane(512), (512, 512), (0.30, 0.45))
    make_icon(frame, args.out)

    shot = broken_frame(args.glassfall, lh.mp.desktop_picture(1280, 720), (1280, 720), (0.18, 0.35))
    screenshot = args.out / "linux" / "screenshot.png"
    shot.save(screenshot.with_suffix(".ppm"))
    magick(screenshot.with_suffix(".ppm"), "-strip", "-define", "png:compression-level=9",
           "-define", "png:exclude-chunks=date,time", screenshot)
    screenshot.with_suffix(".ppm").unlink()
    print(f"icons in {args.out / 'icons'}, screenshot {screenshot}")


if __name__ == "__main__":
    main()
