"""Runs the screensaver.

With $DISPLAY set it runs there (Escape ends it). Without one it runs headless on a private
Xvfb with a generated desktop-like picture on the screen, takes screenshots over one cycle
and writes them with a contact sheet to out/demo/.
"""

import os
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import gfharness as h  # noqa: E402

OUT = h.OUT / "demo"
SHOT_TIMES = (0.3, 1.0, 1.8, 2.4, 3.0, 4.0, 5.0, 6.5)


def desktop_picture(size):
    """A desktop-like picture of our own, as a PNG for showing on the screen."""
    OUT.mkdir(parents=True, exist_ok=True)
    png = OUT / "desktop.png"
    maker = h.ROOT / "tools" / "make_picture.py"
    if maker.exists():
        r = subprocess.run([sys.executable, str(maker), "desktop", "--size", f"{size[0]}x{size[1]}",
                            "--png", str(png)], capture_output=True)
        if r.returncode == 0 and png.exists():
            return png
    # Fallback: a plain gradient with a few window-like boxes.
    w, hgt = size
    subprocess.run(["convert", "-size", f"{w}x{hgt}", "gradient:#3a6ea5-#0b2545",
                    "-fill", "#d4d0c8", "-draw", f"rectangle {w//10},{hgt//8} {w//2},{hgt//2}",
                    "-fill", "#ffffff", "-draw", f"rectangle {w//2},{hgt//3} {w*9//10},{hgt*4//5}",
                    "-fill", "#c0c0c0", "-draw", f"rectangle 0,{hgt-30} {w},{hgt}", str(png)], check=True)
    return png


def show_on_screen(session, png):
    """An ordinary X window showing the picture at the top-left (a root background would be
    wiped by Wine's first window)."""
    proc = subprocess.Popen(["display", "-geometry", "+0+0", "-borderwidth", "0", str(png)],
                            env=session.env(), stdin=subprocess.DEVNULL,
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    h.wait_until(lambda: session.xdotool("search", "--name", "ImageMagick", check=False).stdout.strip(), 20,
                 what="the picture window")
    return proc


def write_snapshot(session, png):
    """Without the host, lay the snapshot in place as it would: a 24-bit BMP turned by 180°."""
    subprocess.run(["convert", str(png), "-rotate", "180", "-type", "TrueColor", "-define", "bmp:format=bmp3",
                    f"BMP3:{session.velk_temp / 'Glassfall.alo'}"], check=True)


def headless():
    size = (1024, 768)
    OUT.mkdir(parents=True, exist_ok=True)
    session = h.Session.start(screen=size, prefix=h.STATE_DIR / "demo-prefix")
    viewer = None
    try:
        png = desktop_picture(size)
        host = h.BIN / "Glassfall.scr"
        if host.exists():
            viewer = show_on_screen(session, png)
            proc = session.start_program(host, "/s", cwd=h.BIN)
        else:
            session.write_settings(Width=size[0], Height=size[1])
            write_snapshot(session, png)
            proc = session.start_program(h.BIN / "Glassfall.dll")
        session.wait_window("Glassfall_VC", timeout=30)
        start = time.monotonic()
        shots = []
        for i, t in enumerate(SHOT_TIMES):
            delay = start + t - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            path = OUT / f"shot_{i}_{t:.1f}s.png"
            session.screenshot(path)
            shots.append(path)
            print(f"screenshot {path.relative_to(h.ROOT)}")
        session.key("Escape", window="Glassfall_VC")
        proc.wait(timeout=15)
        sheet = OUT / "contact_sheet.png"
        h.contact_sheet(shots, sheet)
        print(f"contact sheet {sheet.relative_to(h.ROOT)}")
    finally:
        if viewer:
            viewer.kill()
        session.stop()


def on_display():
    host = h.BIN / "Glassfall.scr"
    exe = host if host.exists() else h.BIN / "Glassfall.dll"
    args = ["/s"] if host.exists() else []
    print(f"running {exe.name} on {os.environ['DISPLAY']} (Escape ends it)")
    return subprocess.run(["wine", str(exe), *args], cwd=h.BIN).returncode


if __name__ == "__main__":
    sys.exit(on_display() if os.environ.get("DISPLAY") else headless())
