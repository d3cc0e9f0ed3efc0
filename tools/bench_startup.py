"""Native start-up benchmark: from the program's start to the whole picture on the screen, at
3840 x 2160 unless sizes are given, on X11 (a private Xvfb, the program's own window) and on
Wayland (a headless sway), with the breakdown.

The benchmark build (build/linux/bench/glassfall_bench_Skips) writes its start-up milestones on
the wall clock to the file GLASSFALL_BENCH_STEPS names; this script takes its own wall clock just
before it starts the program, so every step is in milliseconds from the start (on Wayland the
start includes runuser, which starts the program as sway's user). "first frame" is the first
frame's swap returned: the whole picture, since the first frame shows it standing still. On
X11 that swap has copied it to the window; on Wayland it is committed, on screen at the
compositor's next frame. Each run is then checked from outside: a screenshot must show the
picture whole (never a timing).

    python3 tools/bench_startup.py [RUNS] [WxH ...] [--against PROGRAM]   (default 5 runs, 3840x2160)

--against runs another benchmark build of the program (an older one, say) in turns with this
build's, run by run, so that both see the same load.
"""

import os
import signal
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import linuxharness as lh  # noqa: E402
import waylandharness as wh  # noqa: E402
from test_linux_wayland import quadrants_upright  # noqa: E402

ARGS = sys.argv[1:]
AGAINST = None
if "--against" in ARGS:
    i = ARGS.index("--against")
    AGAINST = Path(ARGS[i + 1]).resolve()
    del ARGS[i:i + 2]
RUNS = int(ARGS[0]) if ARGS else 5
SIZES = [tuple(int(v) for v in a.split("x")) for a in ARGS[1:]] or [(3840, 2160)]
PROGRAM = lh.BUILD / "bench" / "glassfall_bench_Skips"
PROGRAMS = {"this build": PROGRAM, **({f"against {AGAINST}": AGAINST} if AGAINST else {})}


def steps(path, started):
    """The milestones written by the program, in ms from `started`; {} when none were."""
    if not path.exists():
        return {}
    out = {}
    for line in path.read_text().splitlines():
        name, seconds = line.split()
        out[name.replace("_", " ")] = (float(seconds) - started) * 1000
    return out


def one_x11_run(display, folder, program):
    path = Path(folder) / "steps"
    path.unlink(missing_ok=True)
    env = display.env(GLASSFALL_BENCH_STEPS=str(path))
    started = time.time()
    proc = subprocess.Popen([str(program), "--window"], env=env, stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        lh.h.wait_until(lambda: path.exists() or proc.poll() is not None, 30, interval=0.01,
                        what="the first frame")
        whole = quadrants_upright(display.screenshot(), display.size)
    finally:
        lh.end(proc)
    return steps(path, started), whole


def one_wayland_run(sway, name, size, program):
    path = sway.folder / "steps"
    path.unlink(missing_ok=True)
    started = time.time()
    proc = sway.start([str(program), "--wayland"], GLASSFALL_BENCH_STEPS=str(path))
    try:
        lh.h.wait_until(lambda: path.exists() or proc.poll() is not None, 30, interval=0.01,
                        what="the first frame")
        whole = quadrants_upright(sway.shot(name), size)
    finally:
        wh.stop_group(proc)
    return steps(path, started), whole


def report(label, runs):
    names = []
    for r, _ in runs:
        names += [n for n in r if n not in names]
    wholes = sum(1 for _, whole in runs if whole)
    print(f"{label}: {len(runs)} runs, the picture whole on the screen after {wholes} of them; "
          f"ms from the start (median, min-max):")
    for n in names:
        values = [r[n] for r, _ in runs if n in r]
        print(f"  {n:18} {statistics.median(values):7.1f}  ({min(values):.1f}-{max(values):.1f})")


def x11(size):
    display = lh.Xvfb(size)
    with tempfile.TemporaryDirectory(prefix="gf-startup-") as folder:
        try:
            display.set_root_picture(lh.mp.test_picture(*size), folder)
            runs = {label: [] for label in PROGRAMS}
            for _ in range(RUNS):
                for label, program in PROGRAMS.items():
                    runs[label].append(one_x11_run(display, folder, program))
            for label in PROGRAMS:
                report(f"X11 {size[0]}x{size[1]}, {label}", runs[label])
        finally:
            display.stop()


def wayland(size):
    name = wh.FIRST[0]
    with tempfile.TemporaryDirectory(prefix="gf-startup-") as folder:
        sway = wh.Sway(folder, (name, size, (0, 0), 1))
        try:
            picture = Path(folder) / "desktop.png"
            picture.write_bytes(lh.mp.png_bytes(lh.mp.test_picture(*size)))
            os.chmod(picture, 0o644)
            sway.client(["swaybg", "-o", name, "-i", str(picture), "-m", "stretch"])
            lh.h.wait_until(lambda: quadrants_upright(sway.shot(name), size), 30, interval=0.2,
                            what="the wallpaper")
            runs = {label: [] for label in PROGRAMS}
            for _ in range(RUNS):
                for label, program in PROGRAMS.items():
                    runs[label].append(one_wayland_run(sway, name, size, program))
            for label in PROGRAMS:
                report(f"Wayland (sway) {size[0]}x{size[1]}, {label}", runs[label])
        finally:
            sway.stop()


def main():
    for program in PROGRAMS.values():
        if not program.exists():
            sys.exit(f"not built: {program}")
    if os.geteuid() != 0:
        sys.exit("run as root: sway runs as another user")
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    for size in SIZES:
        x11(size)
        wayland(size)


if __name__ == "__main__":
    main()
