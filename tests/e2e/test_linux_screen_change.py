"""A screen that changes under the native program (the harness's dummy-driver Xorg): the
screen made larger by a new resolution while `glassfall --window` runs, then smaller again;
each time its window covers the new screen within a second, no live desktop shows, and it
still ends cleanly. Screenshots go to out/e2e/linux_screen_change/."""

import subprocess
import time
import unittest

import gfharness as h
import linuxharness as lh

OUT = h.OUT / "e2e" / "linux_screen_change"
FIRST, LARGER = (640, 480), (800, 600)


class ScreenChangeTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        OUT.mkdir(parents=True, exist_ok=True)
        cls.xorg = h.DummyXorg.start([h.Monitor(*FIRST, 0, 0)])
        cls.x = lh.OnDummyXorg(cls.xorg)
        cls.addClassCleanup(cls.x.stop)
        cls.picture = lh.mp.test_picture(*FIRST)
        cls.x.set_root_picture(cls.picture, OUT)

    def xrandr(self, *args):
        subprocess.run(["xrandr", *map(str, args)], env=self.x.env(), check=True, capture_output=True, timeout=30)

    def geometry(self, window):
        info = subprocess.run(["xwininfo", "-id", str(window)], env=self.x.env(), capture_output=True, text=True,
                              timeout=30).stdout
        fields = dict(line.strip().split(": ", 1) for line in info.splitlines() if ": " in line)
        return (int(fields["Width"]), int(fields["Height"]))

    def test_window_follows_the_screen_when_it_grows_and_shrinks(self):
        proc = lh.start_glassfall(self.x, "--window")
        self.addCleanup(lh.end, proc)
        window = h.wait_until(lambda: self.x.visible_window("Glassfall"), 15, what="the window")
        self.assertEqual(self.geometry(window), FIRST)
        h.wait_until(lambda: lh.drawn(self.x.screenshot()), 15, what="the first frames")

        name = "%dx%d_gf" % LARGER
        self.xrandr("--newmode", name, *h._modeline(*LARGER))
        self.xrandr("--addmode", "DUMMY0", name)
        changed = time.monotonic()
        self.xrandr("--output", "DUMMY0", "--mode", name, "--fb", "%dx%d" % LARGER)
        h.wait_until(lambda: self.geometry(window) == LARGER, 5, interval=0.05, what="the window at the new size")
        took = time.monotonic() - changed
        self.assertLess(took, 1.0)
        # Where the screen grew, the live desktop (the root's picture, repeated) must not show.
        def covered():
            view = self.x.screenshot()
            if view.width != LARGER[0]:
                return None
            tile = lh.picture_image(self.picture).crop(0, 0, LARGER[0] - FIRST[0], LARGER[1] - FIRST[1])
            grown = view.crop(FIRST[0], FIRST[1], LARGER[0] - FIRST[0], LARGER[1] - FIRST[1])
            return view if grown.mean_abs_diff(tile) > 20 and lh.drawn(view) else None
        h.wait_until(covered, 5, interval=0.05, what="the grown part drawn on").save(OUT / "grown.png")
        self.assertIsNone(proc.poll())

        self.xrandr("--output", "DUMMY0", "--mode", "%dx%d_gf" % FIRST, "--fb", "%dx%d" % FIRST)
        h.wait_until(lambda: self.geometry(window) == FIRST, 5, interval=0.05, what="the window back at the first size")
        self.x.screenshot(OUT / "shrunk.png")
        self.assertIsNone(proc.poll())
        self.x.key(window, "Escape")
        self.assertEqual(proc.wait(5), 0)
        self.assertEqual(proc.stderr.read(), b"")
        print(f"\nwindow at the new screen size {took * 1000:.0f} ms after the change")


if __name__ == "__main__":
    unittest.main()
