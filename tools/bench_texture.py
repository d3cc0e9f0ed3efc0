#!/usr/bin/env python3
"""Snapshot texture figures, under Wine on a private Xvfb (not part of CI).

  bench_texture.py [--build build/windows] [--first-only] [--skip-hitch] [--skip-soak] [--resets 1000]

First texture: tools/gfbench_texture.exe builds the renderer's mipmap chain of a picture in
memory, uploads the same levels bare from ready buffers in the same formats, and runs a
gluBuild2DMipmaps of the same pixels, each into a fresh texture, at 1920x1080, 3840x2160 and
7680x2160 (medians of 7, all three in every round), one line each:
  first texture WxH: ours O ms, upload U ms, GLU G ms (ours/upload R, GLU/ours S)
(build/linux/bench/texture_bench prints the same lines natively, on a headless EGL context.)
--first-only stops after these lines (no hitch, no soak).
Hitch: the same program then times the scene reset on an unchanged snapshot
file (the texture kept) and on a changed one (read and built again) against a bare
gluBuild2DMipmaps of the same pixels in memory, at 1920x1080 and 3840x2160, one line each:
  reset hitch WxH: unchanged U ms, changed C ms, bare mipmap build B ms
Soak: starts the renderer at 1920x1080 on a desktop-like snapshot, presses "r" every 100 ms
for the given number of resets and prints the renderer's resident memory along the way; it
must stay flat (no texture name, buffer or file handle kept by a reset).
"""

import argparse
import os
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))
import gfharness as h  # noqa: E402
import make_picture as mp  # noqa: E402

SOAK_SIZE = (1920, 1080)


def renderer_pid(prefix):
    """The Linux process of Glassfall.dll running in this Wine prefix."""
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            cmd = (entry / "cmdline").read_bytes()
            if b"Glassfall.dll" not in cmd or b"start.exe" in cmd:
                continue
            env = (entry / "environ").read_bytes().split(b"\0")
        except OSError:
            continue
        if f"WINEPREFIX={prefix}".encode() in env:
            return int(entry.name)
    return None


class OpenCounter:
    """Counts opens and closes of one file through inotify: one open per reset, each closed."""
    IN_OPEN, IN_CLOSE_NOWRITE = 0x20, 0x10

    def __init__(self, path):
        import ctypes
        import ctypes.util
        self.libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
        self.fd = self.libc.inotify_init1(os.O_NONBLOCK)
        self.libc.inotify_add_watch(self.fd, str(path).encode(), self.IN_OPEN | self.IN_CLOSE_NOWRITE)
        self.opens = self.closes = 0

    def poll(self):
        import struct
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return
            pos = 0
            while pos < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, pos)
                self.opens += bool(mask & self.IN_OPEN)
                self.closes += bool(mask & self.IN_CLOSE_NOWRITE)
                pos += 16 + length

    def close(self):
        os.close(self.fd)


def rss_kib(pid):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return -1


def hitch(session, build, first_only):
    exe = build / "tools" / "gfbench_texture.exe"
    r = session.run_program(exe, *(["--first-only"] if first_only else []), timeout=900)
    print("== first texture: our mipmap chain vs a bare upload of its levels vs gluBuild2DMipmaps; then the reset hitch: scene reset, "
          "snapshot unchanged / changed, vs bare gluBuild2DMipmaps (Wine, real opengl32/glu32)")
    print(r.stdout.decode(errors="replace").rstrip())
    if r.returncode != 0:
        print(f"benchmark exited with {r.returncode}", file=sys.stderr)
    return r.returncode


def soak(session, build, resets):
    print(f"== soak: {resets} resets with r every 100 ms at {SOAK_SIZE[0]}x{SOAK_SIZE[1]}")
    session.clear_velk_temp()
    session.write_settings(Width=SOAK_SIZE[0], Height=SOAK_SIZE[1])
    snapshot = session.velk_temp / "Glassfall.alo"
    snapshot.write_bytes(mp.snapshot_bmp(mp.desktop_picture(*SOAK_SIZE)))
    files = OpenCounter(snapshot)
    proc = session.start_program(build / "bin" / "Glassfall.dll")
    try:
        session.wait_window("Glassfall_VC", timeout=30)
        pid = h.wait_until(lambda: renderer_pid(session.prefix), 10, what="the renderer's process")
        time.sleep(2.0)  # past the first frames: the driver's own start-up allocations are done
        session.focus("Glassfall_VC")
        files.poll()
        opened_before = files.opens
        start = rss_kib(pid)
        print(f"resident at start: {start / 1024:8.1f} MiB")
        # The first few resets grow the process once (allocator pools, the driver's texture
        # storage); a leak shows as growth after that, so the figures after 10 are the baseline.
        warm = min(10, resets)
        batches = [warm] + [(resets - warm) // 4 + (1 if b < (resets - warm) % 4 else 0) for b in range(4)]
        done = checked = 0
        began = time.monotonic()
        for n in batches:
            if n == 0:
                continue
            session.focus("Glassfall_VC")
            keys = subprocess.Popen(["xdotool", "key", "--delay", "100", *(["r"] * n)], env=session.env())
            # Screens along the way, to see what a user would (left in out/bench/).
            while keys.poll() is None:
                time.sleep(1.0)
                files.poll()
                checked += 1
                if checked % 20 == 1:
                    session.screenshot(h.OUT / "bench" / f"texture_soak_{checked:03d}.png")
            done += n
            print(f"after {done:5d} resets: {rss_kib(pid) / 1024:8.1f} MiB  ({time.monotonic() - began:6.1f} s)")
        # The key presses queue up when a reset takes longer than 100 ms; let them drain.
        last = -1
        while files.opens != last:
            last = files.opens
            time.sleep(1.5)
            files.poll()
        resets_seen = files.opens - opened_before
        print(f"snapshot opened by resets: {resets_seen} of {resets} presses; "
              f"opens {files.opens}, closes {files.closes} in all")
        end = rss_kib(pid)
        print(f"resident at end:   {end / 1024:8.1f} MiB  (change {(end - start) / 1024:+.1f} MiB)")
        out = h.OUT / "bench" / "texture_soak_end.png"
        session.screenshot(out)
        print(f"last screen: {out.relative_to(h.ROOT)}")
        files.close()
        return 0 if resets_seen >= resets * 0.98 and files.opens == files.closes else 1
    finally:
        if proc.poll() is None:
            session.probe("close", "Glassfall_VC")
            try:
                proc.wait(timeout=15)
            except Exception:
                proc.kill()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=str(h.BUILD_WIN), help="Windows build folder (bin/, tools/)")
    ap.add_argument("--resets", type=int, default=1000)
    ap.add_argument("--skip-hitch", action="store_true")
    ap.add_argument("--skip-soak", action="store_true")
    ap.add_argument("--first-only", action="store_true", help="only the first-texture lines")
    args = ap.parse_args()
    build = Path(args.build)
    h.STATE_DIR.mkdir(parents=True, exist_ok=True)
    session = h.Session.start(screen=SOAK_SIZE, prefix=h.STATE_DIR / "texture-bench-prefix")
    try:
        rc = 0
        if not args.skip_hitch or args.first_only:
            rc |= hitch(session, build, args.first_only)
        if not args.skip_soak and not args.first_only:
            rc |= soak(session, build, args.resets)
        return rc
    finally:
        session.stop()


if __name__ == "__main__":
    sys.exit(main())
