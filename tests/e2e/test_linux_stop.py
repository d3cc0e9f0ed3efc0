"""The native program always goes, and goes cleanly: the X server killed under a running
`glassfall --music FILE` ends it with exit 0 within 1 s, quietly and with nothing left; a
short stop soak (tests/e2e/stop_soak.py) stops it by SIGTERM at random moments with every
kind of music, and each run is gone within 1 s with exit 0."""

import time
import unittest

import gfharness as h
import linuxharness as lh
import stop_soak
import wayland_stop_soak


class StopTest(unittest.TestCase):
    def test_display_going_away_ends_it_quietly_with_0(self):
        rig = stop_soak.Rig()
        self.addCleanup(rig.stop)
        x = rig.x
        proc = lh.start_glassfall(x, "--window", *dict(rig.variants)["mp3"], env=rig.env)
        self.addCleanup(lh.end, proc)
        h.wait_until(lambda: x.visible_window("Glassfall") or proc.poll() is not None, 30, what="the window")
        # Broken and moving: the loop is drawing, the music thread playing.
        # (Drawn too: the window is all black until the first frame, which would pass for broken.)
        h.wait_until(lambda: (lambda v: lh.broken(v) and lh.drawn(v))(x.screenshot()) or proc.poll() is not None,
                     20, what="the picture broken")
        self.assertIsNone(proc.poll())

        # The test's own connection goes first: Xlib would end this process when the server goes.
        x.background.close()
        x.background = None
        x.proc.kill()
        killed = time.monotonic()
        x.proc.wait()
        code = proc.wait(5)
        took = time.monotonic() - killed
        stderr = proc.stderr.read().decode()
        self.assertEqual(code, 0, stderr)
        self.assertLess(took, 1.0)
        self.assertNotIn("X connection", stderr)
        self.assertEqual(stderr, "")
        self.assertEqual(rig.left_behind(), [])
        print(f"\nX server killed: exit {code} in {took * 1000:.0f} ms")

    def test_sigterm_at_any_moment_with_any_music_ends_it_within_a_second(self):
        lines = []
        results, problems = stop_soak.soak(18, seed=2026, report=lines.append)
        print("\n" + "\n".join(lines))
        self.assertEqual(problems, [])
        self.assertEqual(sum(r["runs"] for r in results.values()), 18)

    def test_sigterm_at_any_moment_on_wayland_ends_it_within_a_second(self):
        lines = []
        results, problems = wayland_stop_soak.soak(12, seed=2026, report=lines.append)
        print("\n" + "\n".join(lines))
        self.assertEqual(problems, [])
        self.assertEqual(sum(r["runs"] for r in results.values()), 12)


if __name__ == "__main__":
    unittest.main()
