#!/usr/bin/env python3
"""Host benchmark under the Wine harness, at 1024 x 768 and 1920 x 1080:

  host start -> snapshot written      (the file complete on disk, seen from outside)
  host start -> first renderer frame  (the renderer's picture on the X screen)
  capture + save against a bare StretchBlt + file write of the same size, in the same run
  (from the benchmark build of the host, build/windows/bench/host/Glassfall.scr)
  the start-up's breakdown: the wall-clock milestones the benchmark builds of the host and
  of the renderer (build/windows/bench/GlassfallBenchPaced.exe) record, in runs of their own
  in which the host makes no bare copy, against the moment this script starts the host; side
  by side for the host as built (dialog and music libraries loaded on demand) and for a build
  that imports them (build/windows/bench/host-eager/Glassfall.scr, the host as it was)

Each size gets its own Xvfb in a benchmark Wine prefix; a reference picture is shown in a
plain X window so that the capture has something to copy.

    python3 tools/bench_host.py [--runs N] [--sizes 1024x768,1920x1080]
"""

import argparse
import ctypes
import ctypes.util
import shutil
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import gfharness as h  # noqa: E402
import test_host as t  # noqa: E402

BENCH_HOST = h.BUILD_WIN / "bench" / "host" / "Glassfall.scr"
BENCH_HOST_EAGER = h.BUILD_WIN / "bench" / "host-eager" / "Glassfall.scr"
BENCH_RENDERER = h.BUILD_WIN / "bench" / "GlassfallBenchPaced.exe"
# The breakdown's rows: (file, step) in the order the run passes them.
STEPS = [("host", "process_created", "host process created"),
         ("host", "hooks_installed", "host start-up reaches the run"),
         ("host", "run_begins", "run window loads"),
         ("host", "capture_begins", "capture begins"),
         ("host", "capture_done", "capture done"),
         ("host", "snapshot_saved", "snapshot saved"),
         ("host", "renderer_started", "renderer start returned"),
         ("renderer", "process_created", "renderer process created"),
         ("renderer", "entry", "renderer entry point"),
         ("renderer", "gl_context", "window + GL context"),
         ("renderer", "window_shown", "window shown"),
         ("renderer", "picture_read", "snapshot read (own thread)"),
         ("renderer", "texture_built", "first texture built"),
         ("renderer", "first_frame", "first swap"),
         ("screen", "seen", "first whole frame on the screen"),
         ("screen", "broken", "picture first seen broken")]
PREFIX = h.STATE_DIR / "host-bench-prefix"


class ScreenPixels:
    """Reads a few pixels of the X root window straight from the server (far quicker than a screenshot)."""

    def __init__(self, display):
        x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XGetImage.restype = ctypes.c_void_p
        x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                  ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x11.XGetPixel.restype = ctypes.c_ulong
        x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.x11 = x11
        self.display = x11.XOpenDisplay(f":{display}".encode())
        if not self.display:
            raise RuntimeError(f"cannot open display :{display}")
        self.root = x11.XDefaultRootWindow(self.display)

    def row(self, x, y, width):
        image = self.x11.XGetImage(self.display, self.root, x, y, width, 1, 0xFFFFFFFF, 2)  # ZPixmap
        if not image:
            return []
        pixels = [self.x11.XGetPixel(image, i, 0) for i in range(width)]
        # The tiny image is left to the process end: a bench run reads a few thousand of them.
        return [((p >> 16) & 255, (p >> 8) & 255, p & 255) for p in pixels]


def bright(pixel):
    return max(pixel) > 60


def dark(pixel):
    return max(pixel) < 16


def read_steps(path):
    h.wait_until(path.exists, 10, what=f"the benchmark's {path.name}")
    return {k: float(v) for k, v in (line.split() for line in path.read_text().splitlines() if line.strip())}


def timeline_run(session, folder, pixels, screen):
    """One run without bare copies: ms from the host's start to each milestone."""
    session.clear_velk_temp()
    started = time.time()
    run = t.HostRun(session, folder, "/s", env=session.env(GLASSFALL_BENCH_BARE="0"))
    seen = wait_first_frame(pixels, screen, started, time.time)
    broken = wait_broken(pixels, screen, seen, time.time) if seen else None
    found = {"screen": {"seen": seen, "broken": broken}, "host": read_steps(session.velk_temp / "host_steps.txt"),
             "renderer": read_steps(session.velk_temp / "renderer_steps.txt")}
    run.cleanup()
    return [(found[f][k] - started) * 1000 if k in found[f] and found[f][k] else None for f, k, _ in STEPS]


def wait_first_frame(pixels, screen, started, clock):
    width, height = screen
    deadline = started + 30
    while clock() < deadline:
        now = clock()
        # The renderer's picture leaves a thin dark margin at the left edge; the reference
        # picture and the renderer's unpainted window do not look like that.
        edge = pixels.row(0, height // 2, 12)
        if edge and dark(edge[0]) and bright(edge[10]):
            return now
        time.sleep(0.002)
    return None


def wait_broken(pixels, screen, seen, clock):
    """When the whole picture, as first seen, first changes: the first cut's pieces move."""
    width, height = screen
    rows = [height // 3, height // 2, 2 * height // 3]
    whole = [pixels.row(width // 4, y, width // 2) for y in rows]
    deadline = seen + 10
    while clock() < deadline:
        now = clock()
        if [pixels.row(width // 4, y, width // 2) for y in rows] != whole:
            return now
        time.sleep(0.002)
    return None


def one_run(session, folder, pixels, screen):
    """Returns ms to the snapshot, to the first frame, capture+save, bare, and the copies alone."""
    width, height = screen
    session.clear_velk_temp()
    snapshot = session.velk_temp / "Glassfall.alo"
    expected = 54 + ((width * 3 + 3) & ~3) * height
    started = time.monotonic()
    run = t.HostRun(session, folder, "/s")
    snapshot_ms = frame_ms = None
    deadline = started + 30
    while time.monotonic() < deadline and frame_ms is None:
        now = time.monotonic()
        if snapshot_ms is None and snapshot.exists() and snapshot.stat().st_size == expected:
            snapshot_ms = (now - started) * 1000
        # The renderer's picture leaves a thin dark margin at the left edge; the reference
        # picture and the renderer's unpainted window do not look like that.
        edge = pixels.row(0, height // 2, 12)
        if edge and dark(edge[0]) and bright(edge[10]):
            frame_ms = (now - started) * 1000
        time.sleep(0.002)
    report = {}
    report_file = session.velk_temp / "host_bench.txt"
    h.wait_until(report_file.exists, 10, what="the host's benchmark report")
    for line in report_file.read_text().split("\n"):
        if line.strip():
            key, value = line.split()
            report[key] = float(value)
    run.cleanup()
    return (snapshot_ms, frame_ms, report.get("capture_save_ms"), report.get("bare_ms"),
            report.get("capture_ms"), report.get("bare_capture_ms"))


def bench_size(screen, runs):
    session = h.Session.start(screen=screen, prefix=PREFIX)
    try:
        folder = t.install(session, "Glassfall Bench", host=BENCH_HOST, renderer=BENCH_RENDERER)
        eager = t.install(session, "Glassfall Bench Eager", host=BENCH_HOST_EAGER, renderer=BENCH_RENDERER)
        picture = h.STATE_DIR / f"bench-reference-{screen[0]}x{screen[1]}.png"
        t.reference_picture(screen[0], screen[1], picture)
        shown = t.ShownPicture(session, picture)
        pixels = ScreenPixels(session.display)
        try:
            one_run(session, folder, pixels, screen)  # warm-up: wineserver, GL driver, file cache
            timeline_run(session, eager, pixels, screen)  # its warm-up
            results, timelines, eager_timelines = [], [], []
            for _ in range(runs):  # interleaved, so that all kinds see the same moments of the machine
                results.append(one_run(session, folder, pixels, screen))
                eager_timelines.append(timeline_run(session, eager, pixels, screen))
                timelines.append(timeline_run(session, folder, pixels, screen))
        finally:
            shown.close()
    finally:
        session.stop()
    return results, timelines, eager_timelines


def median(values):
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else float("nan")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--sizes", default="1024x768,1920x1080")
    args = parser.parse_args()
    if not BENCH_HOST.exists():
        sys.exit(f"missing {BENCH_HOST}: build the windows preset first")
    h.STATE_DIR.mkdir(parents=True, exist_ok=True)
    print(f"host benchmark, {args.runs} runs per size after one warm-up; medians (min-max)")
    for size in args.sizes.split(","):
        screen = tuple(int(v) for v in size.split("x"))
        results, timelines, eager_timelines = bench_size(screen, args.runs)
        columns = list(zip(*results))
        def show(i):
            values = [v for v in columns[i] if v is not None]
            if not values:
                return "n/a"
            return f"{median(values):8.1f} ms ({min(values):.1f}-{max(values):.1f})"
        # The ratio is taken run by run (the pair shares one moment of a busy machine), then the median.
        ratios = [c / b for c, b in zip(columns[2], columns[3]) if c and b]
        print(f"{screen[0]}x{screen[1]}:")
        print(f"  host start -> snapshot written     {show(0)}")
        print(f"  host start -> first renderer frame {show(1)}")
        print(f"  capture + save                     {show(2)}")
        print(f"  bare StretchBlt + file write       {show(3)}")
        print(f"    of which the copy: run {show(4)}, bare {show(5)}")
        print(f"  ratio capture+save / bare          {median(ratios):8.2f}x per run "
              f"({min(ratios):.2f}-{max(ratios):.2f}; goal <= 1.2x)")
        print("  start-up breakdown (runs without bare copies; ms from the host's start, medians; "
              "step = since the row before)")
        print(f"    {'':32} {'libraries imported':>22} {'loaded on demand':>22}")
        print(f"    {'':32} {'at':>10} {'step':>10}  {'at':>10} {'step':>10}")
        before, after = (list(zip(*runs_of_kind)) for runs_of_kind in (eager_timelines, timelines))
        previous = [0.0, 0.0]
        for (_, _, name), *columns in zip(STEPS, before, after):
            cells = ""
            for i, values in enumerate(columns):
                at = median(values)
                cells += f" {at:10.1f} {at - previous[i]:10.1f} "
                previous[i] = at
            print(f"    {name:32}{cells}")
        stood = [(b - a) for a, b in zip(after[-2], after[-1]) if a is not None and b is not None]
        if stood:
            print(f"  whole picture stood (first whole frame -> first broken) {median(stood):8.1f} ms "
                  f"({min(stood):.1f}-{max(stood):.1f}; goal 1400 ms +- one frame)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
