#!/usr/bin/env python3
"""CPU of our renderer under Wine against XScreenSaver's flipscreen3d (the peer that also
shows the desktop in GL), on one Xvfb with the same desktop picture, side by side in one run
(not part of CI):

    python3 tools/bench_peer.py [--seconds 20] [--rounds 3] [--sizes 1024x768,1920x1080,3840x2160]
                                [--cuts none,pieces,product] [--every-frame]

Ours runs as the benchmark build of the renderer as the product (frames equal to the last drawn
one left out) with the frame's cuts as GLASSFALL_BENCH_CUTS names them (none; pieces with no
pixel in view not sent; product: those and presents of the changed part, which Win32 has
not (SwapBuffers shows the whole), so there it is `pieces`; the scissor applies only where the
pixel format's swaps copy, none under Wine), and with
`--every-frame` the build drawing every frame. Its CPU is the
renderer's process plus the prefix's wineserver, read from /proc over the measuring window;
its counted and drawn frames per second come from the build's frame report. The peer runs
as `flipscreen3d --root` on the same picture (from a folder), with its swaps counted by a preload library
(build/linux/bench/libswap_counter.so); every frame it counts it draws. The X server's CPU,
which receives both programs' frames, is shown apart.
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
sys.path.insert(0, str(ROOT / "tools"))
import gfharness as h  # noqa: E402
import make_picture as mp  # noqa: E402

BENCH = h.BUILD_WIN / "bench"
COUNTER = ROOT / "build" / "linux" / "bench" / "libswap_counter.so"
PEER = Path("/usr/libexec/xscreensaver/flipscreen3d")
TICKS = os.sysconf("SC_CLK_TCK")
WARM_UP = 3.0  # past start-up, the first texture build and the peer's picture grab


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime + stime


def processes(match):
    """Pids whose command line and environment satisfy match(cmdline, environ)."""
    found = []
    for entry in Path("/proc").iterdir():
        if not entry.name.isdigit():
            continue
        try:
            if match((entry / "cmdline").read_bytes(), (entry / "environ").read_bytes().split(b"\0")):
                found.append(int(entry.name))
        except OSError:
            continue
    return found


def wine_processes(session, exe_name):
    prefix = f"WINEPREFIX={session.prefix}".encode()
    renderer = processes(lambda cmd, env: exe_name.encode() in cmd and b"start.exe" not in cmd and prefix in env)
    server = processes(lambda cmd, env: b"wineserver" in cmd.split(b"\0")[0].rsplit(b"/", 1)[-1] and prefix in env)
    return renderer, server


def measure_ours(session, variant, size, picture_bmp, seconds, cuts):
    session.clear_velk_temp()
    session.write_settings(Width=size[0], Height=size[1])
    (session.velk_temp / "Glassfall.alo").write_bytes(picture_bmp)
    exe = BENCH / f"GlassfallBench{variant}.exe"
    proc = session.start_program(exe, env=session.env(GLASSFALL_BENCH_CUTS=cuts))
    try:
        session.viewable_window("Glassfall_VC", timeout=30)
        renderer, server = h.wait_until(lambda: all(wine_processes(session, exe.name)) and
                                        wine_processes(session, exe.name), 10, what="the renderer's process")
        pids = renderer + server
        time.sleep(WARM_UP)  # a benchmark's measuring window, not a test's wait
        c0, x0, t0 = sum(map(cpu_seconds, pids)), cpu_seconds(session.xvfb_pid), time.monotonic()
        time.sleep(seconds)
        c1, x1, t1 = sum(map(cpu_seconds, pids)), cpu_seconds(session.xvfb_pid), time.monotonic()
    finally:
        session.end_program(proc, "Glassfall_VC")
    report = dict(line.split() for line in (session.velk_temp / "bench_report.txt").read_text().splitlines())
    frames, drawn, wall = int(report["frames"]), int(report["drawn"]), float(report["wall"])
    return {"fps": frames / wall, "drawn_fps": drawn / wall, "cpu_s": (c1 - c0) / (t1 - t0),
            "x_s": (x1 - x0) / (t1 - t0)}


def swaps(path):
    data = path.read_bytes() if path.exists() else b""
    return struct.unpack("<3Q", data[:24])[0] if len(data) >= 24 else 0


def measure_peer(session, home, seconds):
    count = Path(home) / "swaps"
    count.unlink(missing_ok=True)
    env = dict(os.environ, DISPLAY=f":{session.display}", HOME=home, LD_PRELOAD=str(COUNTER),
               GLASSFALL_SWAP_COUNTER=str(count),
               PATH=f"/usr/libexec/xscreensaver:{os.environ.get('PATH', '/usr/bin:/bin')}")
    proc = subprocess.Popen([str(PEER), "--root"], env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    try:
        h.wait_until(lambda: swaps(count) > 0, 30, what="flipscreen3d drawing")
        time.sleep(WARM_UP)
        f0, c0, x0, t0 = swaps(count), cpu_seconds(proc.pid), cpu_seconds(session.xvfb_pid), time.monotonic()
        time.sleep(seconds)
        f1, c1, x1, t1 = swaps(count), cpu_seconds(proc.pid), cpu_seconds(session.xvfb_pid), time.monotonic()
    finally:
        proc.terminate()
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    wall = t1 - t0
    return {"fps": (f1 - f0) / wall, "drawn_fps": (f1 - f0) / wall, "cpu_s": (c1 - c0) / wall,
            "x_s": (x1 - x0) / wall}


def mean(runs):
    m = {k: sum(r[k] for r in runs) / len(runs) for k in runs[0]}
    m["spread"] = f"{min(r['cpu_s'] for r in runs):.3f}-{max(r['cpu_s'] for r in runs):.3f}"
    return m


CUTS = {"none": "none", "pieces": "pieces", "scissor": "scissor", "present": "present",
        "product": "pieces,present", "all": "pieces,scissor,present"}


def row(size, name, r):
    per_drawn = r["cpu_s"] / r["drawn_fps"] * 1000 if r["drawn_fps"] else float("nan")
    per_counted = r["cpu_s"] / r["fps"] * 1000 if r["fps"] else float("nan")
    print(f"{size[0]:>4}x{size[1]:<5} {name:22} {r['fps']:8.1f} {r['drawn_fps']:8.1f} {r['cpu_s']:7.3f} "
          f"{r['spread']:>11} {per_drawn:9.2f} {per_counted:9.2f} {r['x_s']:8.3f}", flush=True)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seconds", type=float, default=20.0, help="measuring window (a cycle is about 6.7 s)")
    ap.add_argument("--sizes", default="1024x768,1920x1080,3840x2160")
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--cuts", default="none,pieces,product", help=f"variants of {', '.join(CUTS)}")
    ap.add_argument("--every-frame", action="store_true", help="also the build drawing every frame (all cuts)")
    args = ap.parse_args()
    ours = [(f"ours, cuts {c}", "Paced", CUTS[c]) for c in args.cuts.split(",")]
    if args.every_frame:
        ours.append(("ours, every frame drawn", "EveryFrame", CUTS["product"]))
    for needed, how in ((COUNTER, "build the linux preset"), (BENCH / "GlassfallBenchPaced.exe",
                                                              "build the windows preset"),
                        (PEER, "install xscreensaver-gl")):
        if not needed.exists():
            sys.exit(f"missing {needed}: {how}")
    h.STATE_DIR.mkdir(parents=True, exist_ok=True)
    print(f"{args.seconds:.0f} s per measurement after {WARM_UP:.0f} s of warm-up, {args.rounds} rounds, "
          f"alternating; CPU in seconds per second (1.0 = one core, min-max over the rounds); ours = renderer + "
          f"wineserver")
    print(f"{'size':10} {'program':22} {'frames/s':>8} {'drawn/s':>8} {'CPU/s':>7} {'min-max':>11} {'ms/drawn':>9} "
          f"{'ms/frame':>9} {'Xvfb/s':>8}")
    summary = []
    for text in args.sizes.split(","):
        size = tuple(int(v) for v in text.split("x"))
        session = h.Session.start(screen=size, prefix=h.STATE_DIR / "peer-bench-prefix")
        try:
            picture = mp.desktop_picture(*size)
            with tempfile.TemporaryDirectory(prefix="gf-peer-") as home:
                # The peer takes its picture from a folder: the same desktop picture as ours. (Its
                # screen grab waits on a screensaver daemon that is not running here.)
                pictures = Path(home) / "pictures"
                pictures.mkdir()
                (pictures / "desktop.png").write_bytes(mp.png_bytes(picture))
                Path(home, ".xscreensaver").write_text(
                    f"grabDesktopImages: False\nchooseRandomImages: True\nimageDirectory: {pictures}\n")
                runs = {name: [] for name, _, _ in ours}
                runs["flipscreen3d"] = []
                for _ in range(args.rounds):
                    for name, variant, cuts in ours:
                        runs[name].append(measure_ours(session, variant, size, mp.snapshot_bmp(picture),
                                                       args.seconds, cuts))
                    runs["flipscreen3d"].append(measure_peer(session, home, args.seconds))
                means = {name: mean(r) for name, r in runs.items()}
                for name, m in means.items():
                    row(size, name, m)
                summary.append((size, means))
        finally:
            session.stop()
    print("ratios to the peer (CPU per second, also with the X server's beside each; per counted frame):")
    for size, means in summary:
        peer = means["flipscreen3d"]
        for name, r in means.items():
            if name == "flipscreen3d":
                continue
            print(f"  {size[0]}x{size[1]} {name:24} {r['cpu_s'] / peer['cpu_s']:5.2f}x per second "
                  f"(with Xvfb {(r['cpu_s'] + r['x_s']) / (peer['cpu_s'] + peer['x_s']):5.2f}x), "
                  f"{(r['cpu_s'] / r['fps']) / (peer['cpu_s'] / peer['fps']):5.2f}x per frame, at {r['fps']:.1f} "
                  f"frames/s against {peer['fps']:.1f} (goal <= 0.5x per second at 60 frames/s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
