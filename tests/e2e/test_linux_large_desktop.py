"""A 4K desktop (3840 x 2160, a texture of 4096 x 2048 and its eleven halvings): the native
program's own window shows it whole and upright, then broken, and ends cleanly. The views are
compared at an eighth of their size, where the picture's detail still tells upright from turned
and mirrored. Screenshots go to out/e2e/linux_large_desktop/."""

import signal
import subprocess
import time
import unittest

import gfharness as h
import linuxharness as lh

OUT = h.OUT / "e2e" / "linux_large_desktop"
SCREEN = (3840, 2160)
SMALL = (SCREEN[0] // 8, SCREEN[1] // 8)
# Mean absolute difference per channel at the small size; a mirrored or turned view is far off.
MATCH_BOUND = 8.0


def small(image):
    """`image` scaled to SMALL with a box filter (each pixel the mean of the 8 x 8 below it)."""
    ppm = f"P6\n{image.width} {image.height}\n255\n".encode() + image.data
    raw = subprocess.run(["convert", "ppm:-", "-filter", "box", "-resize", "%dx%d!" % SMALL, "-depth", "8", "ppm:-"],
                         input=ppm, capture_output=True, check=True, timeout=60).stdout
    return h.Image.from_ppm(raw)


def turned(image):
    return h.Image(image.width, image.height,
                   b"".join(image.data[i:i + 3] for i in range(len(image.data) - 3, -1, -3)))


class LargeDesktopTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        OUT.mkdir(parents=True, exist_ok=True)
        cls.x = lh.Xvfb(SCREEN)
        cls.addClassCleanup(cls.x.stop)
        cls.picture = lh.mp.test_picture(*SCREEN)
        cls.x.set_root_picture(cls.picture, OUT)
        cls.expected = lh.expected_whole(small(lh.picture_image(cls.picture)), SMALL)
        cls.expected.save(OUT / "expected_whole_small.png")

    def test_the_4k_desktop_shows_whole_and_upright_then_broken(self):
        proc = lh.start_glassfall(self.x, "--window")
        self.addCleanup(lh.end, proc)

        def view_where(predicate, what):
            def check():
                if proc.poll() is not None:
                    raise AssertionError(f"{what}: glassfall ended early ({proc.returncode}): {proc.stderr.read()!r}")
                view = self.x.screenshot()
                return view if predicate(small(view)) else None
            return h.wait_until(check, 30, interval=0.05, what=what)

        whole = view_where(lambda v: v.mean_abs_diff(self.expected) < MATCH_BOUND, "the 4K desktop, whole")
        whole.save(OUT / "window_whole.png")
        seen = small(whole)
        diff = seen.mean_abs_diff(self.expected)
        self.assertGreater(seen.mean_abs_diff(turned(self.expected)), 3 * MATCH_BOUND, "upright, not turned")
        broken = view_where(lambda v: lh.broken(v), "the picture broken")
        broken.save(OUT / "window_broken.png")

        sent = time.monotonic()
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(proc.wait(5), 0)
        self.assertLess(time.monotonic() - sent, 1.0)
        self.assertEqual(proc.stderr.read(), b"")
        print(f"\n3840x2160: mean difference at an eighth of the size {diff:.2f} (bound {MATCH_BOUND})")


if __name__ == "__main__":
    unittest.main()
