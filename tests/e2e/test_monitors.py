"""Two monitors under Wine, on a private Xorg with the dummy driver: an 800 x 600 monitor left of
a 1024 x 768 primary, which Wine reports as the virtual screen (-800, 0) 1824 x 768. A run
photographs and covers both monitors as one picture, which stands whole and then breaks on
both; the renderer clips a window larger than the virtual screen; a desktop of two 4K monitors
still makes a texture. Screenshots are left in out/e2e/monitors/."""

import subprocess
import sys
import time
import unittest

import gfharness as h
import test_host as th

sys.path.insert(0, str(h.ROOT / "tools"))
import make_picture as mp  # noqa: E402

OUT = h.OUT / "e2e" / "monitors"
RENDERER_TITLE = "Glassfall_VC"
RUN_TITLE = "Glassfall_Main"
# X screen coordinates; Wine puts the primary's corner at (0, 0), so X x = Windows x + 800.
PRIMARY = h.Monitor(1024, 768, 800, 0)
SECOND = h.Monitor(800, 600, 0, 0)
VIRTUAL = (-800, 0, 1824, 768)
# Pictures are compared at an eighth of their size (one scaling per screenshot): every monitor
# edge falls on a whole pixel there.
SHRINK = 8
# The whole picture stands 1.4 s after each restart; a slow start may miss the first one, and
# the next comes after 401 frames: 40 s leaves room for 10 frames a second.
WHOLE_WITHIN = 40


def small(image):
    return image.resized(image.width // SHRINK, image.height // SHRINK)


def correlation(a, b):
    """Pearson correlation of two same-sized pictures' grey levels: near 1 for the same picture
    under a smooth shading, low or negative for a turned or different one."""
    ga = [sum(a.data[i:i + 3]) for i in range(0, len(a.data), 3)]
    gb = [sum(b.data[i:i + 3]) for i in range(0, len(b.data), 3)]
    n = len(ga)
    ma, mb = sum(ga) / n, sum(gb) / n
    cov = sum((x - ma) * (y - mb) for x, y in zip(ga, gb))
    va = sum((x - ma) ** 2 for x in ga)
    vb = sum((y - mb) ** 2 for y in gb)
    return cov / ((va * vb) ** 0.5) if va and vb else 0.0


def area(image, monitor, scale=1):
    """What one monitor shows, from a picture of the whole X screen at 1/scale of its size."""
    return image.crop(monitor.x // scale, monitor.y // scale, monitor.width // scale, monitor.height // scale)


def whole(view, expected):
    """The uncut picture: covered (the picture's own dark corner aside) and the expected one."""
    return view.dark_fraction() < 0.05 and correlation(view, expected) > 0.9


class TwoMonitorTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        OUT.mkdir(parents=True, exist_ok=True)
        cls.xorg = h.DummyXorg.start([PRIMARY, SECOND])
        cls.addClassCleanup(cls.xorg.stop)
        cls.s = h.Session.on_display(cls.xorg.display, cls.xorg.screen, h.STATE_DIR / "prefix-monitors")
        cls.addClassCleanup(cls.s.stop)
        cls.folder = th.install(cls.s)

    def setUp(self):
        self.s.clear_velk_temp()
        self.procs = []

    def tearDown(self):
        for proc in self.procs:
            if proc.poll() is None:
                self.s.end_program(proc, RENDERER_TITLE)
        for proc in self.procs:
            if proc.poll() is None:
                proc.kill()
                proc.wait()

    def start(self, exe, *args):
        proc = self.s.start_program(exe, *args)
        self.procs.append(proc)
        return proc

    def test_a_run_covers_both_monitors_whole_then_broken_and_ends_after_escape(self):
        width, height = self.xorg.screen
        reference = OUT / "reference.png"
        th.reference_picture(width, height, reference)
        shown = th.ShownPicture(self.s, reference)
        try:
            screen = self.s.screenshot(OUT / "screen_before_run.png")
            # Ready before the start: the whole picture stands only 1.4 s.
            upright, wrong_way = small(screen), small(th.turned(screen))
            host = self.start(self.folder + "\\Glassfall.scr", "/s")
            window = self.s.wait_window(RENDERER_TITLE, timeout=30)
        finally:
            # Gone before the renderer draws: a monitor left uncovered now shows the black root.
            shown.close()

        self.assertEqual((window.x, window.y, window.w, window.h), VIRTUAL)
        self.assertEqual((window.client_w, window.client_h), VIRTUAL[2:])

        # The picture stands whole on both monitors: each shows its own part of the desktop.
        for m in (SECOND, PRIMARY):
            self.assertLess(correlation(area(upright, m, SHRINK), area(wrong_way, m, SHRINK)), 0.5,
                            f"{m}: the reference picture cannot tell a turned one")

        def whole_on_both():
            shot = self.s.screenshot()
            view = small(shot)
            if all(whole(area(view, m, SHRINK), area(upright, m, SHRINK)) for m in (SECOND, PRIMARY)):
                shot.save(OUT / "whole.png")
                return True
            return False

        h.wait_until(whole_on_both, WHOLE_WITHIN, interval=0.02, what="the whole picture on both monitors")

        # Broken: black between the pieces, yet pieces on each monitor (an uncovered monitor now
        # shows the black root, which is no break).
        def broken_on_both():
            shot = self.s.screenshot()
            if all(0.08 < area(shot, m).dark_fraction() < 0.9 for m in (SECOND, PRIMARY)):
                shot.save(OUT / "broken.png")
                return True
            return False

        h.wait_until(broken_on_both, 10, what="the break on both monitors")

        # The files, checked once the timed part is seen (the run does not touch them again).
        self.assertEqual((self.s.velk_temp / "Glassfall.ini").read_bytes(),
                         b"[Settings]\r\nWidth=1824\r\nHeight=768\r\nLeft=-800\r\nTop=0\r\n")
        headers, snapshot = th.read_bitmap(self.s.velk_temp / "Glassfall.alo")
        snapshot.save(OUT / "snapshot_as_stored.png")
        self.assertEqual((headers["width"], headers["height"], headers["bits"]), (1824, 768, 24))
        difference, dx, dy = th.best_alignment(snapshot, th.turned(screen))
        self.assertLess(difference, 1.5, f"snapshot vs. the whole X screen turned (shift {dx},{dy})")

        self.s.probe("key", RENDERER_TITLE, 27)  # Escape
        self.assertTrue(self.s.wait_gone(RENDERER_TITLE, 20))
        self.assertEqual(host.wait(timeout=10), 0)
        self.assertIsNone(self.s.find_window(RUN_TITLE))

    def test_a_4k_pair_still_makes_a_texture_and_a_window_past_the_virtual_screen_is_clipped(self):
        picture = mp.test_picture(7680, 2160)
        snapshot = self.s.velk_temp / "Glassfall.alo"
        snapshot.write_bytes(mp.snapshot_bmp(picture))
        width, height = self.xorg.screen
        upright = h.Image(picture.width, picture.height, picture.rgb_bytes()).resized(width // SHRINK,
                                                                                        height // SHRINK)

        probe = self.s.run_program(h.TOOLS / "gftexture_probe.exe", "C:\\velk_temp\\Glassfall.alo", timeout=120)
        report = {}
        for line in probe.stdout.decode().splitlines():
            key, value = line.split(None, 1)
            report[key if key != "block" else tuple(map(int, value.split()[:2]))] = value
        self.assertEqual(probe.returncode, 0, report)
        max_size = int(report["max"])
        tw, th_ = map(int, report["level0"].split())
        print(f"\n7680x2160 snapshot: texture level 0 is {tw}x{th_} (largest texture {max_size}), "
              f"loaded in {report['load_ms']} ms")
        for side in (tw, th_):
            self.assertTrue(0 < side <= max_size and side & (side - 1) == 0, report)
        # The scaled texture still holds the picture: the stored rows start with the upright top
        # row read right to left, so texture block (x, y) is the picture's block (3 - x, y).
        bw, bh = upright.width // 4, upright.height // 2
        for (bx, by) in ((x, y) for y in range(2) for x in range(4)):
            got = list(map(float, report[(bx, by)].split()[2:]))
            want = upright.crop((3 - bx) * bw, by * bh, bw, bh).mean()
            for g, w in zip(got, want):
                self.assertAlmostEqual(g, w, delta=6, msg=f"block {bx},{by}: {got} vs {want}")

        # Hand-edited sizes far beyond the screen: the window stops at the virtual screen and
        # shows the picture across both monitors.
        at_screen = mp.test_picture(width, height)
        snapshot.write_bytes(mp.snapshot_bmp(at_screen))
        expected = small(h.Image(width, height, at_screen.rgb_bytes()))
        self.s.write_settings(Width=65535, Height=65535, Left=-800, Top=0)
        self.start(h.BIN / "Glassfall.dll")
        window = self.s.wait_window(RENDERER_TITLE, timeout=30)
        self.assertEqual((window.x, window.y, window.w, window.h), VIRTUAL)

        def shows_the_picture():
            shot = self.s.screenshot()
            if whole(small(shot), expected):
                shot.save(OUT / "clipped_window.png")
                return True
            return False

        h.wait_until(shows_the_picture, WHOLE_WITHIN, interval=0.02, what="the picture across both monitors")

    def wine_screen(self):
        """The virtual screen and monitor count as a Wine program sees them now."""
        return tuple(map(int, self.s.probe("screen", "-")[1].split()))

    def unplug(self, wait=True):
        """The second monitor off, the X screen shrunk to the primary alone."""
        self.xorg._xrandr("--output", "DUMMY1", "--off", "--output", "DUMMY0", "--pos", "0x0", "--fb",
                          f"{PRIMARY.width}x{PRIMARY.height}")
        if wait:
            h.wait_until(lambda: self.wine_screen() == (0, 0, PRIMARY.width, PRIMARY.height, 1), 10,
                         interval=0.1, what="Wine seeing one monitor")

    def plug(self, wait=True):
        """The second monitor back at the primary's left, as the rig lays it out."""
        self.xorg._xrandr("--output", "DUMMY1", "--mode", f"{SECOND.width}x{SECOND.height}_gf", "--left-of",
                          "DUMMY0")
        if wait:
            h.wait_until(lambda: self.wine_screen() == (*VIRTUAL, 2), 10, interval=0.1, what="Wine seeing two monitors")

    def test_a_monitor_plugged_in_and_out_during_a_run_is_covered_and_the_run_ends_cleanly(self):
        # The run starts with the primary alone; the desktop's test pattern fills the X screen.
        self.unplug()
        self.addCleanup(self.plug)
        pattern = OUT / "live_desktop.png"
        pattern.write_bytes(mp.png_bytes(mp.test_picture(*self.xorg.screen)))
        shown = th.ShownPicture(self.s, pattern)
        self.addCleanup(shown.close)
        host = self.start(self.folder + "\\Glassfall.scr", "/s")
        window = self.s.wait_window(RENDERER_TITLE, timeout=30)
        self.assertEqual((window.x, window.y, window.w, window.h), (0, 0, PRIMARY.width, PRIMARY.height))

        def placed():
            w = self.s.find_window(RENDERER_TITLE)
            return w and (w.x, w.y, w.w, w.h)

        # Plugged in at the left: the window covers the new virtual screen, and the new monitor,
        # where there is no picture, is black instead of the live desktop.
        self.plug(wait=False)
        plugged = time.monotonic()
        h.wait_until(lambda: placed() == VIRTUAL, 10, interval=0.05, what="the window over both monitors")
        took = time.monotonic() - plugged
        self.assertLess(took, 2.0)

        def new_monitor_black():
            shot = self.s.screenshot()
            return shot if area(shot, SECOND).dark_fraction() > 0.99 else None
        h.wait_until(new_monitor_black, 5, interval=0.05, what="no live desktop on the new monitor").save(
            OUT / "monitor_plugged_in.png")
        # The primary goes on showing the run.
        self.assertLess(area(self.s.screenshot(), PRIMARY).dark_fraction(), 0.9)

        # Unplugged again: still running, the window back over the primary.
        self.unplug(wait=False)
        h.wait_until(lambda: placed() == (0, 0, PRIMARY.width, PRIMARY.height), 10, interval=0.05,
                     what="the window back over the primary")
        self.assertIsNone(host.poll())
        self.s.screenshot(OUT / "monitor_unplugged.png")

        self.s.probe("key", RENDERER_TITLE, 27)  # Escape
        self.assertTrue(self.s.wait_gone(RENDERER_TITLE, 20))
        self.assertEqual(host.wait(timeout=10), 0)
        self.assertFalse((self.s.velk_temp / "Glassfall.alo").exists())
        print(f"\nmonitor plugged in: the window covered both {took * 1000:.0f} ms later")


if __name__ == "__main__":
    unittest.main()
