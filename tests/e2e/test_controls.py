"""The dialog controls on real GDI under Wine: every look painted by GDI agrees with our
raster surface pixel for pixel, and a frame holding a button answers the real mouse and
keyboard with the right looks and Click events. Pictures are left in out/e2e/controls/."""

import re
import subprocess
import time
import unittest

import gfharness as h

OUT = h.OUT / "e2e" / "controls"
TITLE = "Glassfall controls demo"
DEMO = h.TOOLS / "gfcontrols_demo.exe"
CROSSCHECK = h.ROOT / "build" / "linux" / "tools" / "controls" / "gfcontrols_crosscheck"


def hexrgb(value):
    return ((value >> 16) & 255, (value >> 8) & 255, value & 255)


# Pixels that tell the looks apart on a 100 x 30 button: rim row 1, rim row H - 2, border.
LOOKS = {
    1: {(50, 1): hexrgb(0xFFFFFF), (50, 28): hexrgb(0xD6D0C5), (50, 0): hexrgb(0x003C74)},
    2: {(50, 1): hexrgb(0xCEE7FF), (50, 28): hexrgb(0x6B82EF), (50, 0): hexrgb(0x003C74)},
    3: {(50, 1): hexrgb(0xFFF3CE), (50, 28): hexrgb(0xE69600), (50, 0): hexrgb(0x003C74)},
    4: {(50, 1): hexrgb(0xE7E3DE), (50, 28): hexrgb(0xE7E3DE), (50, 0): hexrgb(0x003C74)},
}


class GdiCrossCheckTest(unittest.TestCase):
    def test_gdi_and_raster_surface_agree_on_every_straight_edged_pixel(self):
        s = h.session()
        dump = s.drive_c / "velk_temp" / "controls_looks"
        dump.mkdir(parents=True, exist_ok=True)
        for old in dump.glob("*.bmp"):
            old.unlink()
        r = s.run_program(DEMO, "--dump", "C:\\velk_temp\\controls_looks", timeout=120)
        self.assertEqual(r.returncode, 0, "GDI painting of the looks failed")
        self.assertTrue(CROSSCHECK.exists(), f"native checker not built: {CROSSCHECK}")
        check = subprocess.run([str(CROSSCHECK), str(dump)], capture_output=True, text=True, timeout=120)
        OUT.mkdir(parents=True, exist_ok=True)
        (OUT / "crosscheck.txt").write_text(check.stdout + check.stderr)
        total = re.search(r"TOTAL compared (\d+) unsure (\d+) differing (\d+) missing (\d+)", check.stdout)
        self.assertIsNotNone(total, check.stdout + check.stderr)
        compared, _, differing, missing = map(int, total.groups())
        self.assertEqual((differing, missing), (0, 0), check.stdout)
        self.assertGreater(compared, 250000)
        self.assertEqual(check.returncode, 0, check.stdout)
        for name in ("frame_dialog", "button_look1", "button_look3", "button_look4"):
            h.Image.load(dump / f"{name}.bmp").save(OUT / f"gdi_{name}.png")


class ControlsDemo:
    """The test window; its log gives the button's screen rectangle and one line per event."""

    def __init__(self, session):
        self.s = session
        self.log = session.velk_temp / "controls_demo.log"
        if self.log.exists():
            self.log.unlink()
        self.proc = session.start_program(DEMO, "--log", "C:\\velk_temp\\controls_demo.log")
        self.window = session.wait_window(TITLE, timeout=20)
        line = h.wait_until(lambda: self._button_line(), 10, what="button rectangle in the log")
        self.bx, self.by, self.bw, self.bh = line

    def _button_line(self):
        for text in self.lines():
            m = re.match(r"button (-?\d+) (-?\d+) (\d+) (\d+)", text)
            if m:
                return tuple(map(int, m.groups()))
        return None

    def lines(self):
        try:
            return self.log.read_text().splitlines()
        except FileNotFoundError:
            return []

    def events(self):
        return [l for l in self.lines() if not l.startswith("button ")]

    def button_view(self):
        return self.s.screenshot().crop(self.bx, self.by, self.bw, self.bh)

    def look(self):
        view = self.button_view()
        for look, pixels in LOOKS.items():
            if all(view.pixel(x, y) == rgb for (x, y), rgb in pixels.items()):
                return look
        return None

    def wait_look(self, look, name=None, timeout=5):
        try:
            h.wait_until(lambda: self.look() == look, timeout, interval=0.1, what=f"look {look}")
        finally:
            if name:
                self.button_view().save(OUT / f"{name}.png")
        return True

    def move(self, x, y):
        self.s.xdotool("mousemove", self.bx + x, self.by + y)

    def close(self):
        if self.proc.poll() is None:
            self.s.probe("close", TITLE)
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class ButtonInFrameTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = h.session()
        OUT.mkdir(parents=True, exist_ok=True)

    def setUp(self):
        self.s.xdotool("mousemove", 5, 1000)
        self.demo = ControlsDemo(self.s)
        self.addCleanup(self.demo.close)
        # A test that fails half-way must not leave a key or button held on the display.
        self.addCleanup(self.s.xdotool, "mouseup", "1", check=False)
        self.addCleanup(self.s.xdotool, "keyup", "space", check=False)

    def wait_events(self, count, timeout=5):
        return h.wait_until(lambda: len(self.demo.events()) >= count and self.demo.events(), timeout,
                            what=f"{count} events")

    def test_frame_is_painted_around_the_button(self):
        d = self.demo
        shot = self.s.screenshot(OUT / "window.png")
        # The button sits at (300, 110) in the frame: the frame's origin and its far corner.
        fx, fy = d.bx - 300, d.by - 110
        self.assertEqual(shot.pixel(fx, fy), (0, 0, 0))            # body outline
        self.assertEqual(shot.pixel(fx + 469, fy + 165), (0, 0, 0))  # body to (W - 7, H - 7)
        self.assertEqual(shot.pixel(fx + 200, fy + 50), (224, 224, 224))  # body filled with the ambient colour
        self.assertEqual(shot.pixel(fx + 476, fy + 2), (224, 224, 224))   # above the right shadow edge
        # Rings 1 to 7 down the right edge: shadow (100, 100, 100), then steps of (224 - 100) // 7.
        rings = [shot.pixel(fx + 469 + i, fy + 80) for i in range(1, 8)]
        self.assertEqual(rings, [(100 + 17 * i,) * 3 for i in range(1, 8)])

    def test_press_move_out_move_back_release_clicks_once(self):
        d = self.demo
        d.wait_look(1, "look1_idle")
        d.move(50, 15)
        d.wait_look(3, "look3_hot")
        self.s.xdotool("mousedown", 1)
        d.wait_look(4, "look4_pressed")
        d.move(-40, 15)
        d.wait_look(2, "look2_pressed_outside")
        d.move(60, 10)
        d.wait_look(4)
        self.s.xdotool("mouseup", 1)
        d.wait_look(3)
        self.assertEqual(self.wait_events(1), ["Click look=3"])
        time.sleep(0.5)
        self.assertEqual(len(d.events()), 1)

    def test_release_outside_gives_no_click_and_the_focused_look(self):
        d = self.demo
        d.move(50, 15)
        d.wait_look(3)
        self.s.xdotool("mousedown", 1)
        d.wait_look(4)
        d.move(50, 80)
        d.wait_look(2)
        self.s.xdotool("mouseup", 1)
        time.sleep(0.7)
        self.assertEqual(d.look(), 2)
        self.assertEqual(d.events(), [])
        # Moving away leaves it focused; over it again it is hot.
        d.move(50, 15)
        d.wait_look(3)

    def test_space_and_enter_on_the_focused_button(self):
        d = self.demo
        d.move(50, 15)
        d.wait_look(3)
        self.s.xdotool("click", 1)  # gives it the focus
        self.wait_events(1)
        # Off the button but over the window: without a window manager the keyboard
        # follows the pointer.
        d.move(-150, 15)
        d.wait_look(2, "look2_focused")
        self.s.xdotool("keydown", "space")
        d.wait_look(4)
        self.assertEqual(len(d.events()), 1)
        self.s.xdotool("keyup", "space")
        d.wait_look(2)
        self.wait_events(2)
        self.s.key("Return")
        events = self.wait_events(3)
        self.assertEqual(events, ["Click look=3", "Click look=2", "Click look=2"])

    def test_access_key_clicks_without_a_press(self):
        d = self.demo
        d.move(-150, 15)  # over the window, so that it has the keyboard
        d.wait_look(1)
        self.s.key("alt+o")
        self.assertEqual(self.wait_events(1), ["Click look=1"])
        self.s.key("alt+x")
        time.sleep(0.5)
        self.assertEqual(len(d.events()), 1)


if __name__ == "__main__":
    unittest.main()
