"""The native program run by the real XScreenSaver daemon, installed as a user would (cmake
--install), listed in ~/.xscreensaver as "GL: glassfall --root": activated, the screen shows
the desktop as it was, then broken; deactivated, nothing of ours is left running.
Screenshots go to out/e2e/linux_xscreensaver/."""

import time
import unittest

import gfharness as h
import linuxharness as lh

OUT = h.OUT / "e2e" / "linux_xscreensaver"
SCREEN = (640, 480)
MATCH_BOUND = 8.0


class XScreenSaverTest(lh.DaemonTest, unittest.TestCase):
    @classmethod
    def make_display(cls):
        OUT.mkdir(parents=True, exist_ok=True)
        return lh.Xvfb(SCREEN)

    def wait_view(self, predicate, timeout, what):
        def check():
            view = self.x.screenshot()
            return view if predicate(view) else None
        return h.wait_until(check, timeout, interval=0.02, what=what)

    def test_activate_shows_the_desktop_then_broken_and_deactivate_leaves_nothing(self):
        expected = lh.expected_whole(self.picture, SCREEN)
        activated = time.monotonic()
        r = self.daemon.command("-activate")
        self.assertEqual(r.returncode, 0, r.stderr)
        pids = h.wait_until(self.daemon.hack_pids, 20, interval=0.05, what="glassfall started by the daemon")

        # The screen as it was before blanking, from the daemon's screenshot through its helper.
        whole = self.wait_view(lambda v: v.mean_abs_diff(expected) < MATCH_BOUND, 20, "the desktop, whole")
        seen = time.monotonic() - activated
        whole.save(OUT / "daemon_whole.png")
        diff = whole.mean_abs_diff(expected)
        broken = self.wait_view(lh.broken, 10, "the desktop broken")
        broken.save(OUT / "daemon_broken.png")
        self.assertEqual(self.daemon.hack_pids(), pids, "the daemon restarted the program")

        deactivated = time.monotonic()
        r = self.daemon.command("-deactivate")
        self.assertEqual(r.returncode, 0, r.stderr)

        def nothing_left():
            # Nothing of ours still running. Reaping the exited program is the daemon's part: it
            # took up to about 1.3 s here, so a zombie does not count.
            return not self.daemon.hack_pids() and not lh.named(lh.GRABBER)
        h.wait_until(nothing_left, 2, interval=0.02, what="no glassfall and no image helper left")
        gone = time.monotonic() - deactivated
        print(f"\ndaemon: whole picture mean difference {diff:.2f} (bound {MATCH_BOUND}), "
              f"{seen:.1f} s after activation; all gone {gone * 1000:.0f} ms after deactivation")


if __name__ == "__main__":
    unittest.main()
