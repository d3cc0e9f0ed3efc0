"""The native program on the tests' own compositor (tests/e2e/support/test_compositor.cpp), for
what no packaged compositor here can do: offer ext-image-copy-capture, close our layer surface
while its output stays, and announce an output while the program waits for its captures. The
compositor hands back the very buffers the program commits, and serves each output a known
picture of ours.

Screenshots are left in out/e2e/test-compositor/.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

import gfharness as h
import linuxharness as lh
from gfsound import NullSink, Recording
from test_linux_wayland import quadrants_upright, shaded_corner, uncut, wallpaper
from waylandharness import COMPOSITOR, TestCompositor, output_spec

sys.path.insert(0, str(h.ROOT / "tools"))
import make_picture as mp  # noqa: E402

OUT = h.ROOT / "out" / "e2e" / "test-compositor"
# Outputs of different sizes, the second at scale 2: (mode, logical position, scale).
FIRST = ((1024, 768), (0, 0), 1)
SECOND = ((1920, 1080), (1024, 0), 2)
# Software drawing of both outputs on a loaded two-core machine: a frame can take a while.
SHOW = 60


class CompositorTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for program in (lh.GLASSFALL, COMPOSITOR):
            if not program.exists():
                raise RuntimeError(f"{program} is not built")
        OUT.mkdir(parents=True, exist_ok=True)

    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix="gf-testcomp-"))
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.pictures = {}
        self.specs = {}
        for n, (mode, place, scale) in enumerate((FIRST, SECOND), 1):
            picture = wallpaper(mode)
            path = self.folder / f"output-{n}.ppm"
            path.write_bytes(mp.ppm_bytes(picture))
            self.pictures[n] = h.picture_image(picture)
            self.specs[n] = output_spec(mode, place, scale, path)

    def compositor(self, *outputs, capture="ext", specs=None):
        folder = Path(tempfile.mkdtemp(prefix="comp-", dir=self.folder))
        self.comp = TestCompositor(folder, specs or [self.specs[n] for n in outputs], capture)
        self.addCleanup(self.comp.stop)
        return self.comp

    def glassfall(self, *args, **env):
        # No LIBGL_ALWAYS_SOFTWARE: without wl_drm or linux-dmabuf Mesa's EGL falls back to its
        # software path over wl_shm by itself, as it must on any such compositor.
        self.log_path = self.folder / "glassfall.log"
        log = open(self.log_path, "w")
        self.addCleanup(log.close)
        return self.comp.client([str(lh.GLASSFALL), "--wayland", *args], log, **env)

    def stderr_text(self):
        return self.log_path.read_text()

    def running(self, proc):
        self.assertIsNone(proc.poll(), self.stderr_text())

    def whole(self, n, view):
        picture = self.pictures[n]
        return view is not None and shaded_corner(view, picture) and \
            quadrants_upright(view, (picture.width, picture.height))

    def wait_whole(self, proc, n, timeout=SHOW):
        """Output n shows its part of the picture whole: it stands for 1.4 s of every cycle."""
        def shown():
            self.running(proc)
            view = self.comp.shot(n)
            return view if self.whole(n, view) else None
        return h.wait_until(shown, timeout, interval=0.05, what=f"the whole picture on output {n}")

    def wait_drawn(self, proc, n, since=0, timeout=SHOW):
        """Frames of ours on output n: more than `since` committed, and one not all black."""
        def drawn():
            self.running(proc)
            if self.comp.status(n)["commits"] <= since:
                return False
            view = self.comp.shot(n)
            return view is not None and lh.drawn(view)
        h.wait_until(drawn, timeout, interval=0.1, what=f"our frames on output {n}")

    def end_by_sigterm(self, proc):
        for pid in self.comp.left():
            os.kill(pid, signal.SIGTERM)
        h.wait_until(lambda: proc.poll() is not None, 5, what="the run ended")
        self.assertEqual(proc.returncode, 0, self.stderr_text())
        h.wait_until(lambda: not self.comp.left(), 5, what="no process of ours left")

    def test_image_copy_capture_each_output_whole_and_upright_then_broken_a_key_ends_it(self):
        # wlr-screencopy is offered too: the newer protocol is the one used.
        comp = self.compositor(1, 2, capture="both")
        proc = self.glassfall()
        seen = {}

        def each_whole():
            # The still moment is short: the outputs are looked at in turn until each was seen.
            self.running(proc)
            for n in (1, 2):
                view = comp.shot(n)
                if n not in seen and self.whole(n, view) and uncut(view):
                    seen[n] = view
                    view.save(OUT / f"whole-{n}.png")
            return len(seen) == 2
        h.wait_until(each_whole, SHOW, interval=0.02, what="each output's part of the picture, whole")
        # The scale-2 output drawn at its full pixel size.
        self.assertEqual((seen[2].width, seen[2].height), SECOND[0])
        for n in (1, 2):
            h.wait_until(lambda: lh.broken(comp.shot(n)), SHOW, interval=0.1,
                         what=f"shards on output {n}")
            comp.shot(n, OUT / f"broken-{n}.png")
            status = comp.status(n)
            self.assertEqual((status["captures"], status["screencopies"]), (1, 0), status)
        self.assertNotIn("no screen capture", self.stderr_text())

        comp.command("key q")
        h.wait_until(lambda: proc.poll() is not None, 3, what="the run ended by a key")
        self.assertEqual(proc.returncode, 0, self.stderr_text())
        h.wait_until(lambda: not comp.left(), 5, what="no process of ours left")

    def test_a_turned_and_a_mirrored_output_show_the_desktop_as_it_stood(self):
        # The copies come in each output's buffer orientation, with the frame's transform: 90 on
        # the first, flipped-270 on the second (wl_output's 1 and 7); each user sees the sides of
        # its mode swapped.
        outputs = (((1024, 768), (0, 0), 1, 1), ((1920, 1080), (768, 0), 2, 7))
        specs = []
        for n, (mode, place, scale, transform) in enumerate(outputs, 1):
            picture = wallpaper((mode[1], mode[0]))
            path = self.folder / f"turned-{n}.ppm"
            path.write_bytes(mp.ppm_bytes(picture))
            self.pictures[n] = h.picture_image(picture)
            specs.append(output_spec(mode, place, scale, path, transform))
        comp = self.compositor(specs=specs)
        proc = self.glassfall()
        seen = set()

        def each_whole():
            self.running(proc)
            for n in (1, 2):
                view = comp.shot(n)
                if n not in seen and self.whole(n, view):
                    seen.add(n)
                    view.save(OUT / f"turned-whole-{n}.png")
            return len(seen) == 2
        h.wait_until(each_whole, SHOW, interval=0.02, what="each turned output's part of the picture, upright")
        self.end_by_sigterm(proc)

    def test_a_failed_capture_leaves_its_output_untextured_one_resized_meanwhile_is_asked_again(self):
        # Output 2's picture is plain magenta, a colour nothing else here has: any of it on the
        # screen would be a copy the compositor failed.
        mode = SECOND[0]
        magenta = mp.Picture(*mode, rgb=(255, 0, 255))
        path = self.folder / "magenta.ppm"
        path.write_bytes(mp.ppm_bytes(magenta))
        comp = self.compositor(specs=[self.specs[1], output_spec(mode, SECOND[1], SECOND[2], path)])
        comp.command("fail 2")
        # Output 1's session first gives a stale size; its frame then fails for the buffer, with
        # the right size sent: the copy asked again with it shows the picture.
        comp.command("stale 1")
        proc = self.glassfall()
        self.wait_whole(proc, 1)
        self.assertEqual(comp.status(1)["captures"], 1)

        def magenta_share(view):
            # Every 17th pixel: a shard of magenta is far larger than that.
            d = view.data
            seen = range(0, len(d) - 2, 3 * 17)
            return sum(1 for i in seen if d[i] > 150 and d[i + 2] > 150 and d[i + 1] < 60) / len(seen)
        # Drawn on: black wherever its own part of the picture is, shards from output 1 crossing
        # it aside, and all black at the picture's still moment.
        def all_black():
            self.running(proc)
            view = comp.shot(2)
            self.assertTrue(view is None or magenta_share(view) == 0)
            return view is not None and view.dark_fraction() > 0.99
        h.wait_until(all_black, SHOW, interval=0.1, what="output 2 black at the picture's still moment")
        comp.shot(2, OUT / "failed-2.png")
        self.assertEqual(comp.status(2)["captures"], 0)
        self.end_by_sigterm(proc)

    def test_a_closed_surface_is_made_again_while_its_output_stays(self):
        # Both capture protocols offered here and below: what is checked holds whichever is used.
        comp = self.compositor(1, 2, capture="both")
        proc = self.glassfall()
        for n in (1, 2):
            self.wait_drawn(proc, n)
        self.assertEqual(comp.command("close 1"), "1")
        before = comp.status(1)
        self.assertEqual(before["closed"], 1)
        # A new layer surface on the same output, drawing; the other output drawing all along.
        self.wait_drawn(proc, 1, since=before["commits"] + 2)
        comp.shot(1, OUT / "covered-again-1.png")
        self.assertEqual(comp.status(1)["surfaces"], 1)
        self.wait_drawn(proc, 2, since=comp.status(2)["commits"] + 2)
        self.end_by_sigterm(proc)

    def test_every_surface_closed_and_the_outputs_gone_ends_the_run_and_its_music(self):
        tones = self.folder / "tones"
        subprocess.run(["sh", str(h.ROOT / "tools" / "make_tones.sh"), str(tones)], check=True, capture_output=True)
        sink = NullSink(tempfile.mkdtemp(prefix="gfpulse-"))
        self.addCleanup(sink.stop)
        rec = Recording(sink, OUT / "music.wav")
        comp = self.compositor(1, 2, capture="both")
        try:
            proc = self.glassfall("--music", str(tones / "tone440.mp3"), **sink.env())
            for n in (1, 2):
                self.wait_drawn(proc, n)
            heard_from = rec.seconds()
            h.wait_until(lambda: rec.seconds() > heard_from + 3, 15, what="three seconds of recording")
            end = rec.seconds()
            for line in ("close 1", "close 2", "remove 1", "remove 2"):
                comp.command(line)
            h.wait_until(lambda: proc.poll() is not None, 5, what="the run ended with no output left")
            h.wait_until(lambda: rec.seconds() > end + 1.5, 15, what="the recording after the end")
        finally:
            sound = rec.stop()
        self.assertEqual(proc.returncode, 0, self.stderr_text())
        self.assertIn("no output left to show on", self.stderr_text())
        h.wait_until(lambda: not comp.left(), 5, what="no process of ours left")
        plays = sound.segments(gap=0.2)
        self.assertEqual(len(plays), 1, f"one unbroken sound: {plays}")
        start, stop = plays[0]
        # The player starts with the cover; its pipeline takes a moment on a loaded machine.
        self.assertLess(start, heard_from + 1.5, "playing once the outputs are covered")
        self.assertAlmostEqual(sound.frequency(start + 0.1, min(stop, end) - 0.1), 440, delta=5)
        # The end is the run's, a moment after the last output went; a loaded machine's moment.
        self.assertLessEqual(stop, end + 1.0, "silence once the run ended")

    def test_an_output_announced_during_the_capture_wait_does_not_hold_the_start(self):
        # Either capture protocol: the wait is the same.
        for capture in ("ext", "screencopy"):
            with self.subTest(capture):
                comp = self.compositor(1, capture=capture)
                comp.command("hold 1")
                proc = self.glassfall()
                h.wait_until(lambda: comp.status(1)["held"] == 1, 10, what="the program's capture of output 1")
                self.assertEqual(comp.command(f"add {self.specs[2]}"), "2")
                h.wait_until(lambda: comp.status(2)["bound"] > 0, 10, what="the program told of output 2")
                released = time.monotonic()
                comp.command("release 1")
                h.wait_until(lambda: comp.status(1)["commits"] > 0, 10, what="the run showing")
                # The program gives a capture up after 5 s; the new output is not one it asked
                # for, so it is not waited for: the run shows as soon as output 1's copy is in.
                took = time.monotonic() - released
                self.assertLess(took, 3.0, f"shown {took:.2f} s after the held copy came")
                self.wait_whole(proc, 1)
                # Covered (black: it was not in the picture), but never copied: it came after the
                # capture.
                h.wait_until(lambda: comp.status(2)["commits"] > 0, SHOW, what="our frames on output 2")
                self.assertEqual(comp.status(2)["captures"] + comp.status(2)["screencopies"], 0)
                self.end_by_sigterm(proc)
                comp.stop()

    def test_a_capture_never_answered_is_given_up_after_5_s_and_let_go(self):
        for capture in ("ext", "screencopy"):
            with self.subTest(capture):
                comp = self.compositor(1, capture=capture)
                comp.command("hold 1")
                proc = self.glassfall()
                h.wait_until(lambda: comp.status(1)["held"] == 1, 10, what="the program's capture of output 1")
                asked = time.monotonic()
                h.wait_until(lambda: comp.status(1)["commits"] > 0, 20, what="the run showing without the copy")
                self.assertGreater(time.monotonic() - asked, 4.0, "shown before the capture was given up")
                # The copy comes late: the output it was for goes on drawing, and the frame was let
                # go, so the copy had nowhere to go.
                comp.command("release 1")
                self.wait_drawn(proc, 1, since=comp.status(1)["commits"] + 3)
                self.assertEqual(comp.status(1)["captures"] + comp.status(1)["screencopies"], 0)
                self.end_by_sigterm(proc)
                comp.stop()


if __name__ == "__main__":
    unittest.main()
