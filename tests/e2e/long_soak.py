#!/usr/bin/env python3
"""The native program for a long time, on X11 and on Wayland at once: `glassfall --window` on an
Xvfb of its own and `glassfall --wayland` on a headless sway, each with a short MP3 looping (a
restart every 2 s) and through many 401-frame restarts, with r, g and s pressed in turn. Every
10 s the resident memory, open descriptors and threads of each are sampled.

    python3 long_soak.py MINUTES [WIDTHxHEIGHT]

Both screens are 800 x 600 unless a size is given (the suite's short form runs smaller, so that it
takes less of the machine from the files beside it). Prints per program the first (after a minute's warm-up), last and highest figures; exits 1 if
either program ended, or its figures grew: memory by more than a fifth plus 8 MiB, descriptors
or threads by more than 2 over the warm-up's highest."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import gfharness as h
import linuxharness as lh
from gfsound import NullSink
from waylandharness import Sway, our_pids, stop_group

SAMPLE_EVERY = 10.0
KEY_EVERY = 5.0
WARM_UP = 60.0
KEYS = ("r", "g", "s")
SIZE = (800, 600)


def figures(pid):
    """(resident KiB, open descriptors, threads) of a live process, or None once it is gone."""
    try:
        status = Path(f"/proc/{pid}/status").read_text()
        fds = len(os.listdir(f"/proc/{pid}/fd"))
    except (FileNotFoundError, ProcessLookupError):
        return None
    fields = dict(line.split(":", 1) for line in status.splitlines() if ":" in line)
    return int(fields["VmRSS"].split()[0]), fds, int(fields["Threads"])


class Leg:
    """One program under watch: its samples and how it is poked."""

    def __init__(self, name, pid, press):
        self.name, self.pid, self.press = name, pid, press
        self.samples = []  # (seconds since start, rss KiB, fds, threads)

    def sample(self, at):
        got = figures(self.pid)
        if got is None:
            return False
        self.samples.append((at, *got))
        return True

    def verdict(self):
        """(lines to print, grew?)"""
        warm = [s for s in self.samples if s[0] >= WARM_UP] or self.samples[-1:]
        early = [s for s in warm if s[0] < WARM_UP + 3 * SAMPLE_EVERY] or warm[:1]
        first, last = warm[0], warm[-1]
        top = tuple(max(s[i] for s in warm) for i in range(1, 4))
        lines = [f"{self.name}: {len(self.samples)} samples over {self.samples[-1][0] / 60:.1f} min",
                 f"  rss KiB  first {first[1]}  last {last[1]}  max {top[0]}",
                 f"  fds      first {first[2]}  last {last[2]}  max {top[1]}",
                 f"  threads  first {first[3]}  last {last[3]}  max {top[2]}"]
        grew = (last[1] > first[1] * 1.2 + 8192 or
                last[2] > max(s[2] for s in early) + 2 or
                last[3] > max(s[3] for s in early) + 2)
        return lines, grew


def size_of(text):
    width, _, height = text.partition("x")
    if not (width.isdigit() and height.isdigit() and 64 <= int(width) <= 7680 and 64 <= int(height) <= 4320):
        return None
    return int(width), int(height)


def main(argv):
    size = size_of(argv[2]) if len(argv) == 3 else SIZE
    if len(argv) not in (2, 3) or not argv[1].isdigit() or int(argv[1]) < 2 or size is None:
        print(__doc__, file=sys.stderr)
        return 2
    minutes = int(argv[1])
    folder = Path(tempfile.mkdtemp(prefix="gf-long-"))
    os.chmod(folder, 0o755)
    tones = folder / "tones"
    subprocess.run(["sh", str(h.ROOT / "tools" / "make_tones.sh"), str(tones)], check=True, capture_output=True)
    os.chmod(tones, 0o755)
    for f in tones.iterdir():
        os.chmod(f, 0o644)
    music = ["--music", str(tones / "tone440.mp3")]
    sink = NullSink(tempfile.mkdtemp(prefix="gfpulse-"))
    for d in (sink.root, sink.root / "run", sink.socket.parent):
        os.chmod(d, 0o711)
    x = sway = x_proc = wl_proc = None
    try:
        x = lh.Xvfb(size)
        x.set_root_picture(lh.mp.test_picture(*size), folder)
        runtime = folder / "x-runtime"
        runtime.mkdir(mode=0o700)
        x_proc = subprocess.Popen([str(lh.GLASSFALL), "--window", *music], stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=open(folder / "x.log", "w"),
                                  env=x.env(XDG_RUNTIME_DIR=runtime, **sink.env()), start_new_session=True)
        window = h.wait_until(lambda: x.visible_window("Glassfall"), 20, what="the X11 window")
        sway = Sway(folder, ("HEADLESS-1", size, (0, 0), 1))
        wl_proc = sway.start([str(lh.GLASSFALL), "--wayland", *music], stdout=open(folder / "wayland.log", "w"),
                             **sink.env())
        h.wait_until(lambda: our_pids(), 20, what="the Wayland program")
        legs = [Leg("glassfall --window (X11)", x_proc.pid, lambda k: x.key(window, k)),
                Leg("glassfall --wayland (sway)", our_pids()[0], sway.type)]
        start = time.monotonic()
        next_sample = next_key = start
        turn = 0
        ended = None
        while time.monotonic() - start < minutes * 60 and not ended:
            now = time.monotonic()
            if now >= next_sample:
                for leg in legs:
                    if not leg.sample(now - start):
                        ended = leg.name
                next_sample += SAMPLE_EVERY
            if now >= next_key and not ended:
                for leg in legs:
                    leg.press(KEYS[turn % len(KEYS)])
                turn += 1
                next_key += KEY_EVERY
            time.sleep(max(0.0, min(next_sample, next_key) - time.monotonic()))
        print(f"{minutes} min at {size[0]}x{size[1]}, {turn} key presses to each program, music looping every 2 s")
        bad = False
        for leg in legs:
            lines, grew = leg.verdict()
            print("\n".join(lines))
            if grew:
                print(f"  !! {leg.name}: its figures grew")
                bad = True
        if ended:
            print(f"!! {ended} ended during the soak")
            for log in ("x.log", "wayland.log"):
                print(f"-- {log}:\n" + (folder / log).read_text()[-2000:])
            bad = True
        return 1 if bad else 0
    finally:
        if wl_proc is not None:
            stop_group(wl_proc)
        if x_proc is not None:
            lh.end(x_proc)
        if sway is not None:
            sway.stop()
        if x is not None:
            x.stop()
        sink.stop()
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
