"""Makes the preview picture host/resources/preview.bmp (152 x 112, 24-bit).

It is the real renderer's scene under the Wine harness: a generated desktop-like picture as
the snapshot, shot in the first frames after it has been cut, scaled down. The build embeds
the committed file; run this again to remake it."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "e2e"))
import demo  # noqa: E402
import gfharness as h  # noqa: E402

SCALE = 4
TARGET = h.ROOT / "host" / "resources" / "preview.bmp"


def main():
    size = (152 * SCALE, 112 * SCALE)
    session = h.Session.start(screen=(1024, 768), prefix=h.STATE_DIR / "demo-prefix")
    try:
        session.clear_velk_temp()
        session.write_settings(Width=size[0], Height=size[1])
        demo.write_snapshot(session, demo.desktop_picture(size))
        proc = session.start_program(h.BIN / "Glassfall.dll")
        window = session.wait_window("Glassfall_VC", timeout=30)
        frames = []

        def view():
            return session.screenshot().crop(window.x, window.y, window.w, window.h)

        def cracked():
            v = view()
            if v.dark_fraction() > 0.05:
                frames.append(v)
                return True
            return False

        h.wait_until(lambda: view().dark_fraction() < 0.01, 10, interval=0.01, what="the whole picture")
        h.wait_until(cracked, 10, interval=0.01, what="the first cut")
        session.probe("close", "Glassfall_VC")
        proc.wait(timeout=15)
        small = frames[0].resized(152, 112)
        TARGET.parent.mkdir(parents=True, exist_ok=True)
        ppm = TARGET.with_suffix(".ppm")
        small.save(ppm)
        h.subprocess.run(["convert", str(ppm), "-type", "TrueColor", f"BMP3:{TARGET}"], check=True)
        ppm.unlink()
        print(f"wrote {TARGET.relative_to(h.ROOT)}")
    finally:
        session.stop()


if __name__ == "__main__":
    main()
