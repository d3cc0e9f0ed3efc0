"""The snapshot on screen: the renderer shows the file's picture upright, stretched to its
window; unusable files give the untextured look and the animation goes on; "r" rereads the
file. Pictures are our own (tools/make_picture.py). Screenshots go to out/e2e/snapshot/."""

import sys
import time
import unittest

import gfharness as h

sys.path.insert(0, str(h.ROOT / "tools"))
import make_picture as mp  # noqa: E402

OUT = h.OUT / "e2e" / "snapshot"
TITLE = "Glassfall_VC"
WINDOW = (800, 600)
# Mean absolute difference per channel (0-255) between the screen and the expected picture.
# What remains is the mipmap builder's scaling to powers of two and linear filtering at the
# edges (about 2-4 here); a turned, mirrored or missing picture is 40 or more.
MATCH_BOUND = 8.0
ATTEMPTS = 3
picture_image, covered, shaded = h.picture_image, h.covered, h.shaded


def turned(image):
    """Turned by 180 degrees: what a missing turn-back would show."""
    px = [image.data[i:i + 3] for i in range(0, len(image.data), 3)]
    return h.Image(image.width, image.height, b"".join(reversed(px)))


def untextured_look(view):
    """White, shading to 80 percent grey towards the bottom-right corner."""
    top_left = view.crop(40, 40, 60, 60).mean()
    bottom_right = view.crop(view.width - 30, view.height - 30, 20, 20).mean()
    return min(top_left) > 245 and all(abs(c - 0.8 * 255) < 12 for c in bottom_right)


def broken(view):
    return view.dark_fraction() > 0.08


class Renderer:
    def __init__(self, session):
        self.s = session
        self.launched = time.monotonic()  # the renderer's clock starts later than this
        self.proc = session.start_program(h.BIN / "Glassfall.dll")
        try:
            self.window = session.wait_window(TITLE, timeout=20)
        except TimeoutError:
            # A start that stalls under Wine on a loaded machine: leave nothing behind.
            self.proc.kill()
            self.proc.wait()
            raise
        self.started = time.monotonic()

    def view(self, name=None):
        w = self.window
        view = self.s.screenshot().crop(w.x, w.y, w.w, w.h)
        if name:
            view.save(OUT / f"{name}.png")
        return view

    def close(self):
        self.s.end_program(self.proc, TITLE)


class SnapshotTest(unittest.TestCase):
    shade = None

    @classmethod
    def setUpClass(cls):
        cls.s = h.session()

    def setUp(self):
        self.s.clear_velk_temp()
        self.s.write_settings(Width=WINDOW[0], Height=WINDOW[1])
        self.runs = []

    def tearDown(self):
        for run in self.runs:
            run.close()

    @property
    def snapshot(self):
        return self.s.velk_temp / "Glassfall.alo"

    def start(self):
        run = Renderer(self.s)
        self.runs.append(run)
        return run

    def untextured_shade(self):
        """One frame of the untextured whole piece at the window size (no snapshot at all)."""
        if SnapshotTest.shade is None:
            if self.snapshot.exists():
                self.snapshot.unlink()
            run, SnapshotTest.shade = self.start_until(untextured_look, 1.2, "the untextured whole piece")
            run.close()
            self.runs.remove(run)
        return SnapshotTest.shade

    def wait_for_match(self, run, expected, within, name, since=None):
        """Screenshots until one matches `expected`, at most `within` seconds after `since`
        (default: the first screenshot showing a drawn frame; a window is black until then).
        Returns (difference, seconds from `since` to the end of the matching screenshot), or
        (None, what was seen)."""
        best = [1e9, None, None]
        trail = []
        origin = [since]

        def matches():
            before = time.monotonic()
            view = run.view()
            after = time.monotonic()
            if origin[0] is None:
                if view.dark_fraction() > 0.9:
                    return False
                origin[0] = before  # the frame was on screen by the time this screenshot began
            d = view.mean_abs_diff(expected)
            trail.append(f"{after - origin[0]:.2f}s:{d:.0f}")
            if d < best[0]:
                best[:] = [d, view, after - origin[0]]
            return d < MATCH_BOUND or after - origin[0] > within

        h.wait_until(matches, 15, interval=0.02, what=f"{name}: a drawn frame")
        if best[0] >= MATCH_BOUND or best[2] > within:
            if best[1] is not None:
                best[1].save(OUT / f"{name}_best.png")
            return None, f"{name}: best mean difference {best[0]:.2f}, bound {MATCH_BOUND} ({' '.join(trail)})"
        best[1].save(OUT / f"{name}.png")
        return best[0], best[2]

    def shown_after_start(self, expected, within, name):
        """Starts the renderer until a screenshot within `within` seconds of its first frame matches.
        The timing is what a loaded machine can miss (a slow start, a slow screenshot), so up
        to ATTEMPTS starts; a wrong picture fails every one of them."""
        failures = []
        for _ in range(ATTEMPTS):
            try:
                run = self.start()
            except TimeoutError as stalled:
                failures.append(str(stalled))
                continue
            diff, when = self.wait_for_match(run, expected, within, name)
            if diff is not None:
                return run, diff, when
            failures.append(when)
            run.close()
        self.fail("; ".join(failures))

    def start_until(self, condition, within, what):
        """Starts the renderer until a screenshot within `within` seconds of its first frame
        passes `condition`; returns the run and that view. Retried like shown_after_start."""
        for _ in range(ATTEMPTS):
            try:
                run = self.start()
            except TimeoutError:
                continue  # a stalled start is retried like a missed moment
            found = []
            origin = []

            def check():
                before = time.monotonic()
                view = run.view()
                if not origin:
                    if view.dark_fraction() > 0.9:
                        return False  # not drawn yet
                    origin.append(before)
                if condition(view):
                    found.append(view)
                return bool(found) or time.monotonic() - origin[0] > within

            h.wait_until(check, 15, interval=0.02, what=f"{what}: a drawn frame")
            if found:
                return run, found[0]
            run.close()
        self.fail(f"{what}: not seen in {ATTEMPTS} starts")

    def test_picture_shows_upright_stretched_to_the_window_in_its_first_second(self):
        shade = self.untextured_shade()
        picture = mp.test_picture(640, 480)  # not the window's size: the texture is stretched
        self.snapshot.write_bytes(mp.snapshot_bmp(picture))
        expected = shaded(covered(picture_image(picture), WINDOW), shade)
        expected.save(OUT / "test_picture_expected.png")

        _, diff, when = self.shown_after_start(expected, 1.0, "test_picture")
        self.assertLess(when, 1.0)  # counted from the first frame on screen
        view = h.Image.load(OUT / "test_picture.png")
        # Far from what a wrong orientation would show: the check has teeth.
        self.assertGreater(view.mean_abs_diff(turned(expected)), 5 * MATCH_BOUND)
        print(f"\ntest picture: mean difference {diff:.2f} (bound {MATCH_BOUND}), {when:.2f} s after the first frame")

    def test_size_field_zero_shows_the_same_picture(self):
        shade = self.untextured_shade()
        picture = mp.test_picture(1022, 500)  # rows of 3068 bytes, padded
        self.snapshot.write_bytes(mp.snapshot_bmp(picture, size_field=False))
        expected = shaded(covered(picture_image(picture), WINDOW), shade)
        self.shown_after_start(expected, 1.0, "size_field_zero")

    def test_unusable_file_gives_untextured_pieces_that_still_break(self):
        whole = mp.snapshot_bmp(mp.test_picture(640, 480))
        cases = {
            "truncated": lambda: self.snapshot.write_bytes(whole[:len(whole) // 2]),
            "not_bm": lambda: self.snapshot.write_bytes(b"PK" + whole[2:]),
            "folder": lambda: self.snapshot.mkdir(),
        }
        for name, make in cases.items():
            with self.subTest(name):
                self.s.clear_velk_temp()
                self.s.write_settings(Width=WINDOW[0], Height=WINDOW[1])
                make()
                run, view = self.start_until(untextured_look, 1.2, f"the untextured whole piece ({name})")
                view.save(OUT / f"{name}_whole.png")
                h.wait_until(lambda: broken(run.view()), 6, what=f"the break ({name})")
                # Seen broken: not before its clock, started after the launch, reached 1.4 s.
                self.assertGreater(time.monotonic() - run.launched, 1.4)
                run.view(f"{name}_broken")
                self.assertIsNone(run.proc.poll())
                run.close()

    def test_replaced_file_shows_after_r(self):
        shade = self.untextured_shade()
        first = mp.test_picture(640, 480)
        second = mp.desktop_picture(1024, 768)
        # Everything slow is done before the start: the press must come long before the
        # 401-frame restart, which would reread the file by itself.
        second_file = mp.snapshot_bmp(second)
        expected = shaded(covered(picture_image(second), WINDOW), shade)
        self.snapshot.write_bytes(mp.snapshot_bmp(first))
        run, _, _ = self.shown_after_start(shaded(covered(picture_image(first), WINDOW), shade), 1.0, "before_r")

        self.snapshot.write_bytes(second_file)
        self.assertGreater(run.view().mean_abs_diff(expected), 5 * MATCH_BOUND,
                           f"reread without r, {time.monotonic() - run.started:.1f} s after the window")
        failures = []
        for _ in range(ATTEMPTS):  # a key press lost on a loaded machine is pressed again
            pressed = time.monotonic()
            self.s.key("r", window=TITLE)
            # Well before the 401-frame restart (over 6 s at 60 frames a second).
            diff, detail = self.wait_for_match(run, expected, 1.5, "after_r", since=pressed)
            if diff is not None:
                print(f"\nafter r: mean difference {diff:.2f} within {time.monotonic() - pressed:.2f} s")
                return
            failures.append(detail)
        self.fail("; ".join(failures))


if __name__ == "__main__":
    unittest.main()
