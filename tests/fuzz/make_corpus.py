#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into tests/fuzz/corpus/<target>/ (kept in the repo).

Files other than the seeds (the crash cases the fuzzer found, kept as regressions) are left alone."""

import struct
import sys
import zlib
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


def bitmap_seeds():
    return {
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


def u8(*values):
    return bytes(v & 0xFF for v in values)


def u32(*values):
    return b"".join(struct.pack("<I", v & 0xFFFFFFFF) for v in values)


def u64(v):
    return struct.pack("<Q", v & 0xFFFFFFFFFFFFFFFF)


def screen_pixels_seeds():
    # flags (1 MSB first, 2 raw sizes, 4 raw stride, 8 raw masks), depth (0 16, 1 24, 2 32 bits),
    # width-1, height-1, padding, mask preset, then the pixels.
    def honest(flags, depth, w, h, pad, preset, cut=0):
        bpp = (16, 24, 32)[depth]
        size = (w * bpp // 8 + pad) * h - pad - cut
        return u8(flags, depth, w - 1, h - 1, pad, preset) + bytes((i * 37) & 0xFF for i in range(size))
    return {
        "xrgb32_lsb_4x3.bin": honest(0, 2, 4, 3, 0, 0),
        "rgb24_msb_5x2_padded.bin": honest(1, 1, 5, 2, 1, 0),
        "rgb565_3x3.bin": honest(0, 0, 3, 3, 2, 2),
        "rgb555_msb_2x2.bin": honest(1, 0, 2, 2, 0, 3),
        "rgb30_2x2.bin": honest(0, 2, 2, 2, 4, 4),
        "one_byte_short.bin": honest(0, 2, 4, 3, 0, 0, cut=1),
        "raw_masks.bin": u8(8, 2, 1, 1, 0) + u32(0x3FF00000, 0xFFC00, 0x3FF) + bytes(range(16)),
        "stride_lies.bin": u8(4, 2, 1, 1) + u64(1 << 62) + u8(0) + bytes(32),
        "sizes_lie.bin": u8(2, 2) + u32(100000, 100000) + u8(0, 0) + bytes(64),
        "depth_8.bin": u8(0, 3 + 4 * 34, 1, 1, 0, 0) + bytes(8),
    }


def desktop_picture_seeds():
    # flags (1: the outputs' bounds), a transform and its test size, scale-1, copies, then each
    # copy: how (1 raw place, 2 raw format, 4 raw transform, 8 y inverted, 16 raw size, 32 raw
    # stride, 64 a buffer of any length), place, format index, transform, mode scale-1, padding.
    def copy(x, y, w, h, fmt=1, transform=0, how=0, mode=0, pad=0):
        return u8(how, x * 4, y * 4, w, h, fmt, transform, mode, pad)
    head = lambda scale, n, transform=0: u8(1, transform, 3, 2, scale - 1, n)
    return {
        "one_output.bin": head(1, 1) + copy(0, 0, 4, 3) + bytes(range(64)),
        "two_outputs_one_turned.bin": head(2, 2, 1) + copy(0, 0, 3, 2, mode=1) + copy(3, 0, 2, 3, transform=1, pad=4)
        + bytes(range(255)),
        "flipped_inverted_565.bin": head(1, 1, 5) + copy(0, 0, 3, 3, fmt=6, transform=5, how=8, pad=2) + bytes(range(40)),
        "every_format.bin": head(1, 3, 7) + copy(0, 0, 2, 2, fmt=4) + copy(2, 0, 2, 2, fmt=7, transform=2)
        + copy(0, 2, 4, 1, fmt=9) + bytes(range(128)),
        "far_apart.bin": head(1, 2) + u8(1) + u32(0x7FFFFFF0, 0, 16, 16) + u8(1, 0, 0, 0)
        + u8(1) + u32(-0x7FFFFFF0, 0, 16, 16) + u8(1, 0, 0, 0),
        "stride_lies.bin": head(1, 1) + u8(32, 0, 0, 2, 2, 1, 0, 0) + u64(1 << 40) + bytes(16),
        "buffer_short.bin": head(1, 1) + u8(64, 0, 0, 4, 4, 1, 0, 0, 0) + struct.pack("<H", 20) + bytes(20),
        "sizes_lie.bin": head(1, 1) + u8(16, 0, 0, 2, 2, 1, 0) + u32(0x7FFFFFFF, 2) + u8(0) + bytes(16),
    }


def png(width, height, colour_type, rows, depth=8, extra=b"", interlace=0):
    """A PNG of `rows` (each a row's bytes, filter byte added here)."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff)
    header = struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, interlace)
    pixels = zlib.compress(b"".join(b"\0" + r for r in rows))
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + extra + chunk(b"IDAT", pixels) + chunk(b"IEND", b"")


def portal_picture_seeds():
    # A count of outputs, each one's place (x/8, y/8 as signed bytes, width, height), then the PNG.
    two = u8(2, 0, 0, 4, 3, 0, 0, 2, 2)  # 4 x 3 at the origin, and 2 x 2 over its corner
    side = u8(2, 0, 0, 8, 4, 1, 0, 8, 4)
    rgb = png(4, 3, 2, [bytes(range(r * 12, r * 12 + 12)) for r in range(3)])
    return {
        "rgb_one_output.bin": u8(1, 0, 0, 4, 3) + rgb,
        "rgba_clear_parts.bin": side + png(16, 4, 6, [bytes([255, 0, 0, 255, 0, 0, 0, 0] * 8)] * 4),
        "gray_scaled_2x.bin": u8(1, 0, 0, 2, 2) + png(4, 4, 0, [bytes([0, 85, 170, 255])] * 4),
        "palette_transparent.bin": two + png(2, 2, 3, [bytes([0, 1]), bytes([1, 0])],
                                             extra=b"".join([
                                                 struct.pack(">I", 6) + b"PLTE" + bytes([255, 0, 0, 0, 0, 255])
                                                 + struct.pack(">I", zlib.crc32(b"PLTE" + bytes([255, 0, 0, 0, 0, 255]))),
                                                 struct.pack(">I", 1) + b"tRNS" + b"\x80"
                                                 + struct.pack(">I", zlib.crc32(b"tRNS\x80"))])),
        "sixteen_bit.bin": u8(1, 0, 0, 2, 1) + png(2, 1, 2, [bytes(range(12))], depth=16),
        "interlaced.bin": u8(1, 0, 0, 1, 1) + png(1, 1, 2, [bytes([9, 99, 199])], interlace=1),
        "other_layout.bin": u8(1, 0, 0, 9, 1) + rgb,
        "truncated.bin": u8(1, 0, 0, 4, 3) + rgb[:len(rgb) - 20],
        "beyond_the_limit.bin": u8(1, 0, 0, 4, 3) + png(40000, 30000, 2, [bytes(120000)]),
    }


def config_file_seeds():
    return {
        "example.conf": b"# music: a file, or the CD\nmusic = ~/Music/rain.mp3\ndelay = 33333\n",
        "cd_track.conf": b"cd = yes\ntrack = 3\n\n  # indented comment\n",
        "quoted_crlf.conf": b'music = "  spaced name.wav "\r\ncd = no\r\ntrack=0\r\n',
        "bad_lines.conf": b"speed = 3\nno equals here\ntrack = 100\ndelay = -1\ncd = maybe\n= yes\nmusic=\n",
        "later_wins.conf": b"music = a.mp3\ncd = on\nmusic = b.wav\ndelay = 10000000\ndelay = 10000001\n",
        "odd_bytes.conf": b"music = a\0b.mp3\ntrack = 0x3\n\xef\xbb\xbfdelay = 1\nmusic = \"\n",
    }


def hack_options_seeds():
    words = lambda *w: b"\0".join(w)
    return {
        "own_window.bin": words(b"", b"--window", b"--fps"),
        "root_with_variable.bin": words(b"0x1a00003", b"-root", b"--delay", b"33333"),
        "window_id.bin": words(b"", b"--window-id=0x1A00003", b"--music", b"--cd", b"--track=3"),
        "music_cd.bin": words(b"", b"-music=~/a.mp3", b"-cd", b"-track", b"99", b"--wayland"),
        "refused.bin": words(b"0x", b"--root", b"--window-id=4294967296", b"--track", b"100"),
        "wayland_root.bin": words(b"", b"--wayland", b"--root"),
        "help.bin": words(b"12", b"-h"),
        "dangling.bin": words(b"", b"--delay"),
        "idle.bin": words(b"", b"--idle", b"240", b"--music=-x.mp3", b"--fps"),
        "idle_refused.bin": words(b"", b"--idle=86401", b"--root", b"-idle", b"0"),
    }


def host_command_line_seeds():
    return {
        "quoted_preview.bin": b'"C:\\Program Files\\Glassfall.scr" /p 1234',
        "bare_settings.bin": b"Glassfall.scr /c:5678",
        "split_words.bin": b"Glassfall.SCR\0/s",
        "lenient_handle.bin": b"x\0/p\0 &H1F 2.5e3",
        "japanese.bin": "C:\\スクリーン.scr\0/\u3042 9".encode(),
        "unterminated.bin": b'"C:\\no close /p 1',
        "broken_utf8.bin": b"a\0\x80/\xc3\xa9x\0\xf0\x9f",
    }


def kwin_image_seeds():
    # flags (1 type 2 width 4 height 8 stride 16 format, 32 big-endian host, 64 not raw), then
    # width, height, stride (one byte each, or 0x80 and 8 bytes), a format index, the pipe's bytes.
    every = 0x1F

    def answer(w, h, stride, fmt, pipe, flags=every):
        return u8(flags, w, h, stride, fmt) + pipe
    return {
        "argb32.bin": answer(3, 2, 12, 1, bytes(range(24))),
        "padded_rgba.bin": answer(2, 2, 12, 7, bytes(24)),
        "rgb888.bin": answer(3, 1, 9, 4, bytes(range(9))),
        "short_pipe.bin": answer(4, 4, 16, 1, bytes(40)),
        "narrow_rows.bin": answer(8, 1, 4, 1, bytes(32)),
        "huge.bin": u8(every, 0x80) + u64(1 << 40) + u8(0x80) + u64(1 << 40) + u8(0x80) + u64(1 << 62) + u8(1),
        "big_endian_words.bin": answer(1, 1, 4, 1, bytes(4), flags=every | 32),
        "no_stride.bin": answer(1, 1, 4, 1, bytes(4), flags=every & ~8),
        "png.bin": answer(1, 1, 4, 1, bytes(4), flags=every | 64),
    }


def main():
    targets = {
        "bitmap": bitmap_seeds(),
        "screen_pixels": screen_pixels_seeds(),
        "desktop_picture": desktop_picture_seeds(),
        "kwin_image": kwin_image_seeds(),
        "portal_picture": portal_picture_seeds(),
        "config_file": config_file_seeds(),
        "hack_options": hack_options_seeds(),
        "host_command_line": host_command_line_seeds(),
    }
    for target, seeds in targets.items():
        folder = OUT / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)
        print(f"{len(seeds)} seeds in {folder}")


if __name__ == "__main__":
    main()
