"""The settings dialog's pictures as the program embeds them: the committed files are what the
generator draws today, and each has the size, depth and hot spot the dialog relies on."""

import struct
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

import gfharness as h

PICTURES = h.ROOT / "host" / "resources" / "dialog"
GENERATOR = h.ROOT / "tools" / "make_dialog_pictures.py"


def bmp_header(data):
    """(width, height, bits per pixel, compression) of a Windows bitmap file."""
    if data[:2] != b"BM":
        raise ValueError("not a bitmap file")
    _, width, height, _, bits, compression = struct.unpack_from("<IiiHHI", data, 14)
    return width, height, bits, compression


def icon_entries(data):
    """(type, [(width, height, field1, field2, dib)]) of an .ico or .cur file."""
    _, kind, count = struct.unpack_from("<HHH", data, 0)
    entries = []
    for i in range(count):
        w, hgt, _, _, f1, f2, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        entries.append((w or 256, hgt or 256, f1, f2, data[offset:offset + size]))
    return kind, entries


class DialogPicturesTest(unittest.TestCase):
    def test_committed_pictures_are_the_generators(self):
        with tempfile.TemporaryDirectory() as out:
            subprocess.run([sys.executable, str(GENERATOR), out], check=True)
            made = sorted(p.name for p in Path(out).iterdir())
            self.assertEqual(made, sorted(p.name for p in PICTURES.iterdir()))
            for name in made:
                with self.subTest(name=name):
                    self.assertEqual((Path(out) / name).read_bytes(), (PICTURES / name).read_bytes())

    def test_sizes_depths_and_hot_spot(self):
        frames = [(PICTURES / f"banner{n:02d}.bmp").read_bytes() for n in range(1, 25)]
        for n, data in enumerate(frames, 1):
            with self.subTest(frame=n):
                self.assertEqual(bmp_header(data), (120, 50, 24, 0))
        # Every frame is a step of its own: no two neighbours alike.
        for a, b in zip(frames, frames[1:]):
            self.assertNotEqual(a, b)
        off, on = (PICTURES / "mark_off.bmp").read_bytes(), (PICTURES / "mark_on.bmp").read_bytes()
        self.assertEqual(bmp_header(off), (12, 12, 24, 0))
        self.assertEqual(bmp_header(on), (12, 12, 24, 0))
        # The selected mark is a blue square: its centre pixel (bottom-up rows, BGR) is blue.
        row = (12 * 3 + 3) & ~3
        centre = 54 + 6 * row + 6 * 3
        b, g, r = on[centre:centre + 3]
        self.assertGreater(b, 150)
        self.assertLess(r, 80)
        self.assertEqual(off[centre:centre + 3], b"\xff\xff\xff")

        kind, entries = icon_entries((PICTURES / "dialog.ico").read_bytes())
        self.assertEqual(kind, 1)
        self.assertEqual([e[:2] for e in entries], [(32, 32)])
        kind, entries = icon_entries((PICTURES / "banner.cur").read_bytes())
        self.assertEqual(kind, 2)
        self.assertEqual([e[:4] for e in entries], [(32, 32, 12, 1)])
        # The hot spot is on the pointing fingertip, not on a transparent pixel: AND-mask bit 0
        # at (12, 1). Rows are bottom-up; the mask follows the 32 XOR rows of 4 bytes each.
        dib = entries[0][4]
        mask = dib[40 + 8 + 32 * 4:]
        mask_row = mask[(31 - 1) * 4:(31 - 1) * 4 + 4]
        self.assertFalse(mask_row[12 // 8] & (0x80 >> (12 % 8)))


if __name__ == "__main__":
    unittest.main()
