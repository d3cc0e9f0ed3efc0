"""Native benchmark: the CPU that `glassfall --root` costs against XScreenSaver's flipscreen3d
(`flipscreen3d --root`, the peer that also shows the desktop in GL) on the same Xvfb with the
same desktop picture, at 1024 x 768, 1920 x 1080 and 3840 x 2160, side by side in one run,
alternating.

Ours runs as its benchmark build (build/linux/bench/glassfall_bench_Skips, frames equal to the
last drawn one left out as in the product) with each of the frame's cuts alone and all of them
(GLASSFALL_BENCH_CUTS: pieces with no pixel in the part drawn not sent; clear and draw inside the
part that changed; presents of that part only), with none and as the product (pieces, present); `--every-frame` adds the build that
draws every frame. The frame report gives the frames shown (counted, the 401-frame clock). Drawn frames are counted
from outside for all programs alike by a preload library around the swap calls
(build/linux/bench/libswap_counter.so; the peer presents through EGL, we through GLX); for the
peer every frame shown is drawn. CPU is read from /proc for the program and, separately, for
the X server that receives its frames. Prints CPU seconds per second, per drawn and per shown
frame, frames per second, and our figures over the peer's.

    python3 tools/bench_linux_hack.py [--seconds 10] [--rounds 3] [--sizes 1024x768,1920x1080,3840x2160]
                                      [--cuts none,pieces,scissor,present,all,product] [--every-frame]
"""

import argparse
import os
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import linuxharness as lh  # noqa: E402

WARM_UP = 4.0  # past start-up and the first picture (the peer's helper waits a moment for it)
COUNTER_LIB = lh.BUILD / "bench" / "libswap_counter.so"
SKIPS = lh.BUILD / "bench" / "glassfall_bench_Skips"
EVERY_FRAME = lh.BUILD / "bench" / "glassfall_bench_EveryFrame"
# Each variant's GLASSFALL_BENCH_CUTS.
CUTS = {"none": "none", "pieces": "pieces", "scissor": "scissor", "present": "present",
        "product": "pieces,present", "all": "pieces,scissor,present"}
PEER = Path("/usr/libexec/xscreensaver/flipscreen3d")
TICKS = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / TICKS  # utime + stime


def swaps(path):
    data = Path(path).read_bytes() if Path(path).exists() else b""
    return struct.unpack("<3Q", data)[0] if len(data) >= 24 else 0


def root_id(display):
    info = subprocess.run(["xwininfo", "-root"], env=display.env(), capture_output=True, text=True).stdout
    return info.split("Window id: ")[1].split()[0]


def measure(display, command, home, seconds, **extra):
    counter = Path(home) / "swaps"
    counter.unlink(missing_ok=True)
    report = Path(home) / "report"
    report.unlink(missing_ok=True)
    # The peer finds its image helper where the daemon would lead it.
    env = display.env(HOME=home, LD_PRELOAD=str(COUNTER_LIB), GLASSFALL_SWAP_COUNTER=str(counter),
                      GLASSFALL_BENCH_REPORT=str(report),
                      PATH=f"/usr/libexec/xscreensaver:{os.environ.get('PATH', '/usr/bin:/bin')}", **extra)
    proc = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        lh.h.wait_until(lambda: swaps(counter) > 0, 30, what=f"{command[0]} drawing")
        time.sleep(WARM_UP)  # a benchmark's measuring window, not a test's wait
        f0, c0, x0, t0 = swaps(counter), cpu_seconds(proc.pid), cpu_seconds(display.proc.pid), time.monotonic()
        time.sleep(seconds)
        f1, c1, x1, t1 = swaps(counter), cpu_seconds(proc.pid), cpu_seconds(display.proc.pid), time.monotonic()
    finally:
        lh.end(proc)
    wall, drawn = t1 - t0, f1 - f0
    shown_fps = drawn / wall
    if report.exists():  # ours: frames shown (counted) per second over its whole loop, from its report
        fields = dict(line.split() for line in report.read_text().splitlines())
        if float(fields["wall"]) > 0:
            shown_fps = int(fields["frames"]) / float(fields["wall"])
    cpu_s = (c1 - c0) / wall
    return {"fps": shown_fps, "drawn_fps": drawn / wall, "cpu_s": cpu_s, "cpu_f": cpu_s / max(shown_fps, 1e-9),
            "cpu_d": cpu_s / max(drawn / wall, 1e-9), "x_s": (x1 - x0) / wall}


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--seconds", type=float, default=10.0)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--sizes", default="1024x768,1920x1080,3840x2160")
    ap.add_argument("--cuts", default="none,pieces,scissor,present,all,product", help=f"variants of {', '.join(CUTS)}")
    ap.add_argument("--every-frame", action="store_true", help="also the build drawing every frame (all cuts)")
    args = ap.parse_args()
    ours = {f"cuts {c}": (SKIPS, CUTS[c]) for c in args.cuts.split(",")}
    if args.every_frame:
        ours["every frame"] = (EVERY_FRAME, CUTS["product"])
    if not COUNTER_LIB.exists() or not all(p.exists() for p, _ in ours.values()):
        sys.exit("build the linux preset first (the glassfall benchmark builds and swap_counter)")
    if not PEER.exists():
        sys.exit("install xscreensaver-gl for the peer")
    print(f"{args.seconds:.0f} s per measurement after {WARM_UP:.0f} s of warm-up, {args.rounds} rounds, alternating; "
          f"CPU in seconds per second (1.0 = one core), means over the rounds (min-max of ours per second)")
    print(f"{'size':>9} {'program':15} {'frames/s':>8} {'drawn/s':>8} {'CPU/s':>7} {'min-max':>11} {'ms/drawn':>9} "
          f"{'ms/frame':>9} {'Xvfb CPU/s':>10}")
    summary = []
    for text in args.sizes.split(","):
        size = tuple(int(v) for v in text.split("x"))
        display = lh.Xvfb(size)
        with tempfile.TemporaryDirectory(prefix="gf-bench-") as home:
            try:
                picture = lh.mp.desktop_picture(*size)
                display.set_root_picture(picture, home)
                # The peer takes the same picture as a file through its helper: grabbing the
                # screen without the daemon makes that helper wait for a window to rise.
                images = Path(home, "images")
                lh.picture_image(picture).save(images / "desktop.png")
                Path(home, ".xscreensaver").write_text(
                    f"grabDesktopImages: False\nchooseRandomImages: True\nimageDirectory: {images}\n")
                results = {name: [] for name in ours}
                results["flipscreen3d"] = []
                for _ in range(args.rounds):
                    for name, (program, cuts) in ours.items():
                        results[name].append(measure(display, [str(program), "--root"], home, args.seconds,
                                                     GLASSFALL_BENCH_CUTS=cuts))
                    results["flipscreen3d"].append(measure(display, [str(PEER), "--root"], home, args.seconds,
                                                           XSCREENSAVER_WINDOW=root_id(display)))
                means = {}
                for name, runs in results.items():
                    m = {k: sum(r[k] for r in runs) / len(runs) for k in runs[0]}
                    means[name] = m
                    spread = f"{min(r['cpu_s'] for r in runs):.3f}-{max(r['cpu_s'] for r in runs):.3f}"
                    print(f"{size[0]:>4}x{size[1]:<4} {name:15} {m['fps']:8.1f} {m['drawn_fps']:8.1f} "
                          f"{m['cpu_s']:7.3f} {spread:>11} {m['cpu_d'] * 1000:9.2f} {m['cpu_f'] * 1000:9.2f} "
                          f"{m['x_s']:10.3f}", flush=True)
                peer = means["flipscreen3d"]
                for name in ours:
                    m = means[name]
                    summary.append((size, name, m["cpu_s"] / peer["cpu_s"], m["cpu_f"] / peer["cpu_f"],
                                    (m["cpu_s"] + m["x_s"]) / (peer["cpu_s"] + peer["x_s"]), m["fps"], peer["fps"]))
            finally:
                display.stop()
    for size, name, per_second, per_frame, with_server, fps, peer_fps in summary:
        print(f"{size[0]}x{size[1]}: {name:12} / flipscreen3d CPU per second {per_second:.2f}x "
              f"(with the X server's {with_server:.2f}x), per frame {per_frame:.2f}x, at {fps:.1f} frames/s "
              f"against {peer_fps:.1f} (goal: <= 0.5x per second at 60 frames/s)")


if __name__ == "__main__":
    main()
