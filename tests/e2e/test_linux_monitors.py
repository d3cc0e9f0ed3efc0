"""Two monitors under the real XScreenSaver daemon (the harness's dummy-driver Xorg): the
daemon starts one glassfall per monitor, each in its own window, and each shows and breaks
its own monitor's part of the desktop. Screenshots go to out/e2e/linux_monitors/."""

import os
import unittest

import gfharness as h
import linuxharness as lh

OUT = h.OUT / "e2e" / "linux_monitors"
# The primary on the left, a smaller second monitor to its right.
MONITORS = [h.Monitor(640, 480, 0, 0), h.Monitor(480, 360, 640, 0)]
MATCH_BOUND = 8.0


class TwoMonitorTest(lh.DaemonTest, unittest.TestCase):
    @classmethod
    def make_display(cls):
        OUT.mkdir(parents=True, exist_ok=True)
        return lh.OnDummyXorg(h.DummyXorg.start(MONITORS))

    def test_one_program_per_monitor_each_breaking_its_own_part(self):
        desktop = lh.picture_image(self.picture)
        regions = [(m.x, m.y, m.width, m.height) for m in MONITORS]
        expected = [lh.expected_whole(desktop.crop(*r), r[2:]) for r in regions]
        r = self.daemon.command("-activate")
        self.assertEqual(r.returncode, 0, r.stderr)
        pids = h.wait_until(lambda: len(self.daemon.hack_pids()) == 2 and self.daemon.hack_pids(), 20,
                            interval=0.05, what="two glassfall processes")

        # The two programs start a moment apart: each monitor is watched on its own.
        whole, broken = [None, None], [None, None]

        def both_seen():
            view = self.x.screenshot()
            for i, region in enumerate(regions):
                part = view.crop(*region)
                if whole[i] is None and part.mean_abs_diff(expected[i]) < MATCH_BOUND:
                    whole[i] = part
                elif whole[i] is not None and broken[i] is None and lh.broken(part):
                    broken[i] = part
            return all(broken)
        h.wait_until(both_seen, 30, interval=0.02,
                     what=f"each monitor whole, then broken (whole {[w is not None for w in whole]})")
        for i in range(2):
            whole[i].save(OUT / f"monitor{i}_whole.png")
            broken[i].save(OUT / f"monitor{i}_broken.png")
            # Its own part, not the other monitor's, nor the whole desktop squeezed in.
            other = lh.expected_whole(desktop, regions[i][2:])
            self.assertGreater(whole[i].mean_abs_diff(other), 2 * MATCH_BOUND)
        self.assertEqual(sorted(self.daemon.hack_pids()), sorted(pids))

        r = self.daemon.command("-deactivate")
        self.assertEqual(r.returncode, 0, r.stderr)
        h.wait_until(lambda: not self.daemon.hack_pids() and not lh.named(lh.GRABBER), 2, interval=0.02,
                     what="no glassfall and no image helper left")
        print(f"\ntwo monitors: whole pictures {[round(w.mean_abs_diff(e), 2) for w, e in zip(whole, expected)]} "
              f"(bound {MATCH_BOUND})")

    def quiet(self):
        """Blanking over and every program gone, whatever the test left."""
        self.daemon.command("-deactivate")
        h.wait_until(lambda: not self.daemon.hack_pids(), 10, interval=0.05, what="no glassfall left")

    def test_a_monitor_that_goes_ends_its_program_cleanly_and_one_that_comes_gets_a_new_one(self):
        xorg = self.x.xorg
        self.addCleanup(self.quiet)
        r = self.daemon.command("-activate")
        self.assertEqual(r.returncode, 0, r.stderr)
        before = h.wait_until(lambda: len(self.daemon.hack_pids()) == 2 and self.daemon.hack_pids(), 20,
                              interval=0.05, what="two glassfall processes")
        second = MONITORS[1]
        try:
            xorg._xrandr("--output", "DUMMY1", "--off")
            # The daemon ends the program of the monitor that went; the primary's goes on.
            kept = h.wait_until(lambda: len(self.daemon.hack_pids()) == 1 and self.daemon.hack_pids(), 20,
                                interval=0.05, what="one program left")
            self.assertTrue(set(kept) <= set(before))
            for pid in set(before) - set(kept):
                h.wait_until(lambda: not os.path.exists(f"/proc/{pid}"), 5, interval=0.05,
                             what=f"glassfall {pid} gone, not left behind")
            primary = (0, 0, MONITORS[0].width, MONITORS[0].height)
            def primary_drawn():
                view = self.x.screenshot()
                return view if lh.broken(view.crop(*primary)) else None
            h.wait_until(primary_drawn, 20, interval=0.05, what="the primary's program still breaking its picture").save(
                OUT / "after_monitor_off.png")
        finally:
            xorg._xrandr("--output", "DUMMY1", "--mode", f"{second.width}x{second.height}_gf", "--pos",
                         f"{second.x}x{second.y}")
        # Back again: a new program for it, beside the one that went on.
        again = h.wait_until(lambda: len(self.daemon.hack_pids()) == 2 and self.daemon.hack_pids(), 20,
                             interval=0.05, what="two programs again when the monitor comes back")
        self.assertEqual(len(set(again) - set(before)), 1)
        r = self.daemon.command("-deactivate")
        self.assertEqual(r.returncode, 0, r.stderr)
        h.wait_until(lambda: not self.daemon.hack_pids() and not lh.named(lh.GRABBER), 5, interval=0.02,
                     what="no glassfall and no image helper left")


if __name__ == "__main__":
    unittest.main()
