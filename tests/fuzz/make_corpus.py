#!/usr/bin/env python3
"""Writes the seed corpus of the bitmap reader into tests/fuzz/corpus/ (kept in the repo)."""

import struct
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tools"))
import make_picture as mp  # noqa: E402

OUT = Path(__file__).resolve().parent / "corpus"


def info(w, h, bpp=24, compression=0, image_size=0, header_size=40):
    return struct.pack("<IiiHHIIiiII", header_size, w, h, 1, bpp, compression, image_size, 0, 0, 0, 0)


def bmp(info_block, pixels, magic=b"BM"):
    return struct.pack("<2sIHHI", magic, 14 + len(info_block) + len(pixels), 0, 0, 14 + len(info_block)) \
        + info_block + pixels


def main():
    OUT.mkdir(exist_ok=True)
    seeds = {
        "valid_3x2_filled.bmp": mp.snapshot_bmp(mp.test_picture(3, 2)),
        "valid_5x3_zero_size.bmp": mp.snapshot_bmp(mp.test_picture(5, 3), size_field=False),
        "valid_1022x2_zero_size.bmp": mp.snapshot_bmp(mp.test_picture(1022, 2), size_field=False),
        "valid_1x1.bmp": bmp(info(1, 1, image_size=4), b"\x10\x20\x30\0"),
        # Larger header (as newer writers add) read along and ignored, and a generous size field.
        "valid_v5_header.bmp": bmp(info(2, 2, image_size=24, header_size=124) + bytes(84), bytes(range(24))),
        "valid_size_field_larger.bmp": bmp(info(2, 1, image_size=16), bytes(16)),
        "top_down.bmp": bmp(info(2, -2, image_size=16), bytes(16)),
        "bpp32.bmp": bmp(info(2, 2, bpp=32), bytes(16)),
        "size_field_short.bmp": bmp(info(4, 4, image_size=47), bytes(48)),
        "info_20_bytes.bmp": bmp(info(2, 2)[:20], bytes(16)),
        "not_bm.bmp": bmp(info(2, 2), bytes(16), magic=b"MB"),
    }
    for name, data in seeds.items():
        (OUT / name).write_bytes(data)
    print(f"{len(seeds)} seeds in {OUT}")


if __name__ == "__main__":
    main()
