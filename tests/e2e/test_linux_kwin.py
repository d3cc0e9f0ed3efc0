"""The native program on KDE Plasma's compositor: a headless KWin with two outputs, the second
at scale 1.5, our own pictures as their wallpapers (swaybg, a layer-shell client), and
`glassfall --wayland` taking its picture through KWin's screenshot interface. What is on the
outputs is read back through the same interface, keys are typed through KWin's fake input.

Screenshots are left in /tmp/kwin-shots/.
"""

import math
import os
import shutil
import signal
import socket
import tempfile
import time
import unittest
from pathlib import Path

import gfharness as h
import linuxharness as lh
from kwinharness import FIRST, OUT, SECOND, KWin, missing_tools, our_pids
from test_linux_wayland import near_shade, quadrants_upright, shaded_corner, uncut, wallpaper

import make_picture as mp  # noqa: E402  (tools/, on the path through linuxharness)

KEY_Q = 16  # evdev codes
KEY_R = 19
UNTEXTURED = "the pieces show untextured"


def require_rig():
    lh.require_rig(missing_tools(), "these tests run KWin as root")


# The whole piece stands at the screen's centre, 1/PIECE_SPAN of the view's height: the view's
# half-height at the piece's depth (6 units away, 19 degrees of view) over its half-side of 1.
PIECE_SPAN = 6 * math.tan(math.radians(9.5))


def row_profile(view, box):
    """The brightness of each row of `box` (x, y, w, h), its columns averaged."""
    x, y, w, hgt = box
    return [sum(view.crop(x, y + r, w, 1).mean()) for r in range(hgt)]


def contrast(profile):
    """Mean step between neighbouring rows, for the rows' brightness."""
    steps = [abs(a - b) for a, b in zip(profile, profile[1:])]
    return sum(steps) / len(steps) / (sum(profile) / len(profile))


def drawn_at_best(desktop, box, centre):
    """The rows of `box` as a perfect drawing of the desktop's pixels at the piece's place would
    show them: screen row y samples the picture's row centre + (y + 0.5 - centre) * PIECE_SPAN,
    blended linearly between the two nearest rows, as texel-for-pixel filtering does."""
    x, y, w, hgt = box
    source = row_profile(desktop, (x, 0, w, desktop.height))
    rows = []
    for r in range(y, y + hgt):
        t = centre + (r + 0.5 - centre) * PIECE_SPAN - 0.5
        i = min(max(int(math.floor(t)), 0), len(source) - 2)
        f = t - i
        rows.append(source[i] * (1 - f) + source[i + 1] * f)
    return rows


class KWinTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_rig()
        if not lh.GLASSFALL.exists():
            raise RuntimeError(f"{lh.GLASSFALL} is not built")
        OUT.mkdir(parents=True, exist_ok=True)
        cls.folder = Path(tempfile.mkdtemp(prefix="gf-kwin-"))
        cls.kwin = KWin(cls.folder, lh.GLASSFALL)
        argv = ["swaybg"]
        cls.pictures = {}
        for name, mode, _, _ in (FIRST, SECOND):
            picture = wallpaper(mode)
            path = cls.folder / f"{name}.png"
            path.write_bytes(mp.png_bytes(picture))
            cls.pictures[name] = h.picture_image(picture)
            argv += ["-o", name, "-i", str(path), "-m", "stretch"]
        cls.kwin.client(argv)
        for name, mode, _, _ in (FIRST, SECOND):
            h.wait_until(lambda: quadrants_upright(cls.kwin.shot(name), mode), 30, interval=0.2,
                         what=f"the wallpaper on {name}")
        cls.desktops = {name: cls.kwin.shot(name, f"desktop-{name}.png") for name, _, _, _ in (FIRST, SECOND)}

    @classmethod
    def tearDownClass(cls):
        cls.kwin.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def tearDown(self):
        for program in self.programs():
            for pid in our_pids(program):
                os.kill(pid, signal.SIGKILL)
        h.wait_until(lambda: not any(our_pids(p) for p in self.programs()), 5, what="our processes gone")

    def programs(self):
        return [lh.GLASSFALL, self.folder / "bin" / "glassfall-unlisted"]

    def glassfall(self, *args, program=None, log_name="glassfall", **env):
        path = self.folder / f"{log_name}.log"
        log = open(path, "w+")
        proc = self.kwin.client([str(program or lh.GLASSFALL), *args], stdout=log, **env)
        self.addCleanup(log.close)
        self.log_path = path
        return proc

    def stderr_text(self):
        return self.log_path.read_text()

    def test_each_output_its_part_whole_then_broken_and_a_key_ends_it(self):
        proc = self.glassfall("--wayland")
        whole = {}

        def each_whole():
            self.assertIsNone(proc.poll(), self.stderr_text())
            for name, mode, _, _ in (FIRST, SECOND):
                view = self.kwin.shot(name)
                if name not in whole and shaded_corner(view, self.desktops[name]) and \
                        quadrants_upright(view, mode) and uncut(view):
                    whole[name] = view
                    view.save(OUT / f"whole-{name}.png")
            return len(whole) == 2
        h.wait_until(each_whole, 40, interval=0.02, what="each output's part of the picture, whole")
        self.assertNotIn(UNTEXTURED, self.stderr_text())

        # The 1.5x output at its full pixel size, and its one-pixel lines as sharp as the
        # desktop's pixels drawn at the piece's place can be (the piece stands at 99.6 % of the
        # screen, so a line falls between two rows of the screen by a part that changes down
        # it): their contrast that of the best drawing, worked out here (0.96 of it measured).
        # A picture scaled to a power of two and back kept 0.89 of it; a surface drawn at the
        # logical size and stretched by KWin keeps far less.
        name, (w, hgt), _, scale = SECOND
        seen, desktop = whole[name], self.desktops[name]
        self.assertEqual((seen.width, seen.height), (w, hgt))
        box = (w * 55 // 100 + 40, hgt * 8 // 10 + 20, 200, 60)
        # The outputs stand side by side, tops aligned: the view's centre row is half the
        # layout's height, the taller first output's, in this output's pixels.
        centre = FIRST[1][1] / FIRST[3] * scale / 2
        best = contrast(drawn_at_best(desktop, box, centre))
        self.assertGreater(contrast(row_profile(seen, box)), 0.93 * best, best)
        # Covered to the last pixel: the last column, the layout's right edge, is the piece's
        # black margin and the last row (no output below it) ours, darker than the wallpaper
        # there, where a surface short of the output would leave the wallpaper showing; the
        # rows above it are the desktop's under the piece's shading.
        self.assertLess(max(seen.crop(w - 1, 0, 1, hgt).mean()), 10)
        self.assertLess(sum(seen.crop(0, hgt - 1, w, 1).mean()), 0.5 * sum(desktop.crop(0, hgt - 1, w, 1).mean()))
        above = seen.crop(w // 8, hgt - 4, w // 4, 1).mean()
        self.assertTrue(near_shade(above, desktop.crop(w // 8, hgt - 4, w // 4, 1).mean(), low=0.6), above)

        for name, _, _, _ in (FIRST, SECOND):
            h.wait_until(lambda: lh.broken(self.kwin.shot(name)), 20, interval=0.2, what=f"shards on {name}")
            self.kwin.shot(name, f"broken-{name}.png")

        # r restarts the scene; any other key ends the run, within a second.
        self.kwin.type(KEY_R)
        h.wait_until(lambda: quadrants_upright(self.kwin.shot(FIRST[0]), FIRST[1]), 10, interval=0.05,
                     what="the picture whole again after r")
        self.assertIsNone(proc.poll())
        typed = time.monotonic()
        self.kwin.type(KEY_Q)
        h.wait_until(lambda: proc.poll() is not None, 3, what="the run ended by a key")
        self.assertLess(time.monotonic() - typed, 1.5)
        self.assertEqual(proc.returncode, 0, self.stderr_text())
        self.assertEqual(our_pids(lh.GLASSFALL), [])
        self.kwin.shot(FIRST[0], "after-Virtual-0.png")

    def test_a_program_kwin_does_not_know_runs_untextured_and_says_so_once(self):
        # A copy of the program: no desktop entry names its executable, so KWin refuses it.
        unlisted = self.folder / "bin" / "glassfall-unlisted"
        shutil.copy(lh.GLASSFALL, unlisted)
        proc = self.glassfall("--wayland", program=unlisted)
        h.wait_until(lambda: lh.broken(self.kwin.shot(FIRST[0])), 30, interval=0.1, what="shards over the output")
        view = self.kwin.shot(FIRST[0], "untextured-Virtual-0.png")
        self.assertIsNone(proc.poll(), self.stderr_text())
        # White and grey shards on black: none of the wallpaper's colours.
        self.assertLess(view.fraction(lambda r, g, b: max(r, g, b) - min(r, g, b) > 60), 0.002)
        self.assertEqual(self.stderr_text().count("KWin does not let this program take screenshots"), 1,
                         self.stderr_text())
        self.assertEqual(self.stderr_text().count("\n"), 1, self.stderr_text())
        self.kwin.type(KEY_Q)
        h.wait_until(lambda: proc.poll() is not None, 3, what="the run ended by a key")
        self.assertEqual(proc.returncode, 0, self.stderr_text())

    def test_a_bus_that_never_answers_neither_holds_the_start_nor_a_stop(self):
        # A socket that takes the connection and says nothing: the start gives the bus its
        # bound, and SIGTERM meanwhile ends the start at once.
        silent = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        silent.bind(str(self.folder / "silent-bus"))
        silent.listen(8)
        self.addCleanup(silent.close)
        bus = f"unix:path={self.folder / 'silent-bus'}"
        proc = self.glassfall("--wayland", DBUS_SESSION_BUS_ADDRESS=bus)
        silent.settimeout(20)
        connection, _ = silent.accept()  # the program is inside its wait for the bus's answer
        self.addCleanup(connection.close)
        self.assertIsNone(proc.poll(), self.stderr_text())
        sent = time.monotonic()
        os.kill(proc.pid, signal.SIGTERM)
        h.wait_until(lambda: proc.poll() is not None, 3, what="the start ended by SIGTERM")
        self.assertLess(time.monotonic() - sent, 1.0)
        self.assertEqual(proc.returncode, 0, self.stderr_text())

        started = time.monotonic()
        proc = self.glassfall("--wayland", log_name="silent", DBUS_SESSION_BUS_ADDRESS=bus)
        h.wait_until(lambda: lh.broken(self.kwin.shot(FIRST[0])), 30, interval=0.1, what="shards after the bound")
        self.assertGreater(time.monotonic() - started, 4.5)
        self.assertIn(UNTEXTURED, self.stderr_text())
        os.kill(proc.pid, signal.SIGTERM)
        h.wait_until(lambda: proc.poll() is not None, 3, what="the run ended")
        self.assertEqual(proc.returncode, 0, self.stderr_text())


if __name__ == "__main__":
    unittest.main()
