"""Renderer benchmark under the Wine harness: frames per second and CPU seconds per 1,000
frames, paced (the product's loop) and unpaced (a benchmark-only build), at 1024 x 768 and
1920 x 1080; then the scene update's own CPU cost natively. Untextured (no snapshot file),
so the figures are the frame loop's, not the reset's texture upload."""

import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import gfharness as h  # noqa: E402

BENCH = h.BUILD_WIN / "bench"
SECONDS = float(sys.argv[1]) if len(sys.argv) > 1 else 8.0


def measure(session, exe, size):
    session.clear_velk_temp()
    session.write_settings(Width=size[0], Height=size[1])
    proc = session.start_program(exe)
    session.wait_window("Glassfall_VC", timeout=30)
    time.sleep(SECONDS)  # a benchmark's measuring window, not a test's wait
    session.probe("close", "Glassfall_VC")
    proc.wait(timeout=30)
    report = dict(line.split() for line in (session.velk_temp / "bench_report.txt").read_text().splitlines())
    frames, wall, cpu = int(report["frames"]), float(report["wall"]), float(report["cpu"])
    return frames / wall, cpu / frames * 1000


def main():
    session = h.Session.start(screen=(1920, 1080), prefix=h.STATE_DIR / "bench-prefix")
    try:
        print(f"{'variant':10} {'size':>10} {'frames/s':>9} {'CPU s/1000 frames':>18}")
        for size in ((1024, 768), (1920, 1080)):
            for name in ("Paced", "Unpaced"):
                fps, cpu = measure(session, BENCH / f"GlassfallBench{name}.exe", size)
                print(f"{name.lower():10} {size[0]:>4}x{size[1]:<5} {fps:9.1f} {cpu:18.2f}")
    finally:
        session.stop()
    scene = h.ROOT / "build" / "linux" / "tools" / "bench" / "scene_bench"
    if scene.exists():
        subprocess.run([str(scene)], check=True)
    else:
        print("(build the linux preset for the scene-update figure)")


if __name__ == "__main__":
    main()
