"""The native program on Wayland: a headless sway run by an unprivileged user (sway refuses
root), our own pictures as each output's wallpaper, `glassfall --wayland` run by the same user,
its frames read back with grim (wlr-screencopy), keys typed with wtype (virtual keyboard).

Screenshots are left in out/e2e/wayland/.
"""

import os
import pwd
import random
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

import gfharness as h
import linuxharness as lh
from gfsound import NullSink, Recording

sys.path.insert(0, str(h.ROOT / "tools"))
import make_picture as mp  # noqa: E402

from waylandharness import (FIRST, KEYBOARD_SETTLE, OUT, OWNER_MARK, POINTER, SECOND, USER, Sway,  # noqa: E402
                            missing_tools, our_pids, sanitizer_settings, stop_group)


def near_shade(actual, expected, low=0.72):
    """`actual` is `expected` darkened by the whole piece's shading (at most to `low`)."""
    dot = sum(a * e for a, e in zip(actual, expected))
    k = dot / max(1, sum(e * e for e in expected))
    return low <= k <= 1.03 and all(abs(a - k * e) < 20 for a, e in zip(actual, expected))


def quadrants_upright(view, size):
    """The test picture's four quadrants where they belong (red top-left, green top-right, blue
    bottom-left, yellow bottom-right) and its white marker top-left: the output's own part of the
    desktop, upright and whole."""
    w, hgt = size
    colours = {(1, 1): (200, 40, 40), (3, 1): (40, 170, 60), (1, 3): (40, 70, 210), (3, 3): (230, 200, 40)}
    for (qx, qy), rgb in colours.items():
        cx, cy = qx * w // 4, qy * hgt // 4
        # The quadrant's gradient runs down: compare with its colour at this height.
        k = 0.85 + 0.15 * ((cy % (hgt // 2)) / max(1, hgt // 2 - 1))
        if not near_shade(view.crop(cx - 10, cy - 10, 20, 20).mean(), tuple(c * k for c in rgb)):
            return False
    s = max(8, hgt // 6)
    marker = view.crop(w // 16 + 2, hgt // 16 + 2, s // 4, s // 4).mean()
    return min(marker) > 200


def shaded_corner(view, desktop):
    """The lower right of an output darker than the wallpaper there: the whole piece's shading
    darkens towards the lower right of the layout, which every output's corner is nearer to."""
    w, hgt = view.width, view.height
    box = (w * 17 // 20, hgt * 17 // 20, w // 10, hgt // 10)
    seen, under = view.crop(*box).mean(), desktop.crop(*box).mean()
    return sum(seen) < 0.975 * sum(under)


def uncut(view):
    """No crack across the green and blue quadrants, which hold nothing dark of their own."""
    w, hgt = view.width, view.height
    # Clear of the edges: the piece stops a few pixels short of the layout's border.
    return all(view.crop(x, y, w // 2 - 40, hgt // 2 - 40).dark_fraction(12) < 0.0005
               for x, y in ((w // 2 + 20, 20), (20, hgt // 2 + 20)))


def line_contrast(view):
    """Mean difference between neighbouring rows: one-pixel lines keep it high, blur lowers it."""
    rows = [view.data[y * view.width * 3:(y + 1) * view.width * 3] for y in range(view.height)]
    total = sum(sum(abs(a - b) for a, b in zip(r0, r1)) for r0, r1 in zip(rows, rows[1:]))
    return total / ((view.height - 1) * view.width * 3)


def wallpaper(size):
    picture = mp.test_picture(*size)
    # Fine detail for the sharpness check: one-pixel lines in the lower right quadrant, clear of
    # the places the other checks look at.
    for y in range(size[1] * 8 // 10, size[1] * 19 // 20, 4):
        picture.fill(size[0] * 55 // 100, y, size[0] * 70 // 100, y + 1, (20, 20, 20))
    return picture


def require_rig():
    lh.require_rig(missing_tools(), "these tests run the compositors as another user")


class WaylandTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        require_rig()
        for program in (lh.GLASSFALL, POINTER):
            if not program.exists():
                raise RuntimeError(f"{program} is not built")
        OUT.mkdir(parents=True, exist_ok=True)
        cls.folder = Path(tempfile.mkdtemp(prefix="gf-wayland-"))
        cls.sway = Sway(cls.folder)
        cls.sway.swaymsg("create_output")
        name, mode, (x, y), scale = SECOND
        cls.sway.swaymsg("output", name, "mode", f"{mode[0]}x{mode[1]}", "position", str(x), str(y),
                         "scale", str(scale))
        argv = ["swaybg"]
        cls.pictures = {}
        for name, mode, _, _ in (FIRST, SECOND):
            picture = wallpaper(mode)
            path = cls.folder / f"{name}.png"
            path.write_bytes(mp.png_bytes(picture))
            os.chmod(path, 0o644)
            cls.pictures[name] = h.picture_image(picture)
            argv += ["-o", name, "-i", str(path), "-m", "stretch"]
        # Outputs added later show a plain colour: anything else there is ours.
        argv += ["-o", "*", "-c", "#ff00ff"]
        cls.sway.client(argv)
        for name, mode, _, _ in (FIRST, SECOND):
            h.wait_until(lambda: quadrants_upright(cls.sway.shot(name), mode), 20, interval=0.2,
                         what=f"the wallpaper on {name}")
        cls.desktops = {name: cls.sway.shot(name, f"desktop-{name}.png") for name, _, _, _ in (FIRST, SECOND)}

    @classmethod
    def tearDownClass(cls):
        cls.sway.stop()
        shutil.rmtree(cls.folder, ignore_errors=True)

    def tearDown(self):
        for pid in our_pids():
            os.kill(pid, signal.SIGKILL)
        h.wait_until(lambda: not our_pids(), 5, what="our processes gone")

    def glassfall(self, *args, log_name="glassfall", **env):
        path = self.folder / f"{log_name}.log"
        log = open(path, "w+")
        proc = self.sway.client([str(lh.GLASSFALL), *args], stdout=log, **env)
        self.addCleanup(log.close)
        self.log, self.log_path = log, path
        return proc

    def stderr_text(self, log_name=None):
        self.log.flush()
        return (self.folder / f"{log_name}.log").read_text() if log_name else self.log_path.read_text()

    def wait_whole(self, proc, name, size, timeout=30):
        """Our whole picture on `name`: the wallpaper's layout, under the piece's shading. It
        stands for 1.4 s of every cycle of 401 frames, so the wait spans several cycles.
        `proc` is our process, or a check that the run still stands."""
        desktop = self.desktops[name]

        def shown():
            self.still_running(proc)
            view = self.sway.shot(name)
            return shaded_corner(view, desktop) and quadrants_upright(view, size)
        h.wait_until(shown, timeout, interval=0.1, what=f"the whole picture on {name}")

    def wait_covered(self, proc, name, size, timeout=30):
        """Our surface over `name`, whichever moment of the cycle it shows: the whole picture
        (shaded, unlike the wallpaper) or shards on black (the wallpaper has no black). The bound
        is for the sanitized program on a loaded machine (15 s once ran out there); unloaded, the
        plain one shows within a second."""
        desktop = self.desktops[name]

        def shown():
            self.still_running(proc)
            view = self.sway.shot(name)
            return lh.broken(view) or (shaded_corner(view, desktop) and quadrants_upright(view, size))
        h.wait_until(shown, timeout, interval=0.1, what=f"our surface over {name}")

    def still_running(self, proc):
        if callable(proc):
            proc()
        else:
            self.assertIsNone(proc.poll(), self.stderr_text())

    def test_each_output_its_part_whole_then_broken_and_keys(self):
        proc = self.glassfall("--wayland")
        desktops = self.desktops
        whole = {}

        def each_whole():
            # The still moment is short: every output is looked at in turn until each was seen.
            self.assertIsNone(proc.poll(), self.stderr_text())
            for name, mode, _, _ in (FIRST, SECOND):
                view = self.sway.shot(name)
                if name not in whole and shaded_corner(view, desktops[name]) and \
                        quadrants_upright(view, mode) and uncut(view):
                    whole[name] = view
                    view.save(OUT / f"whole-{name}.png")
            return len(whole) == 2
        h.wait_until(each_whole, 30, interval=0.02, what="each output's part of the picture, whole")
        # The scale-2 output at its full pixel size, and sharp: its one-pixel lines are closer
        # to the wallpaper than the same picture drawn at half the pixels and stretched.
        name, (w, hgt), _, _ = SECOND
        self.assertEqual((whole[name].width, whole[name].height), (w, hgt))
        box = (w * 55 // 100 + 40, hgt * 8 // 10 + 20, 200, 80)  # inside the lines however the piece stands
        seen = whole[name].crop(*box)
        sharp = self.pictures[name].crop(*box)
        soft = self.pictures[name].resized(w // 2, hgt // 2).resized(w, hgt).crop(*box)
        self.assertGreater(line_contrast(seen), 1.5 * line_contrast(soft))

        for name, _, _, _ in (FIRST, SECOND):
            h.wait_until(lambda: lh.broken(self.sway.shot(name)), 20, interval=0.2, what=f"shards on {name}")
            self.sway.shot(name, f"broken-{name}.png")

        # g, r and s act on the scene; any other key ends the run, within a second.
        self.sway.type("g")
        self.sway.type("r")  # the picture whole again
        self.wait_whole(proc, FIRST[0], FIRST[1], timeout=10)
        self.assertIsNone(proc.poll())
        typed = time.monotonic()
        self.sway.type("q")
        h.wait_until(lambda: proc.poll() is not None, 3, what="the run ended by a key")
        self.assertLess(time.monotonic() - typed - KEYBOARD_SETTLE, 1.0)
        self.assertEqual(proc.returncode, 0, self.stderr_text())
        self.assertEqual(our_pids(), [])

    def test_a_turned_or_mirrored_output_shows_the_desktop_as_it_was(self):
        # The copy comes in the output's buffer orientation; the picture must stand as the user
        # saw it on every transform, the mirrored ones too.
        name, mode, _, _ = FIRST
        self.addCleanup(self.turn_back, name, mode)
        for transform in ("90", "180", "270", "flipped-90"):
            with self.subTest(transform):
                self.sway.swaymsg("output", name, "transform", transform)
                size = (mode[1], mode[0]) if transform.endswith(("90", "270")) else mode
                h.wait_until(lambda: self.sway.shot(name).width == size[0] and
                             quadrants_upright(self.sway.shot(name), size), 20, interval=0.2,
                             what=f"the wallpaper upright on the output turned {transform}")
                desktop = self.sway.shot(name, f"desktop-{transform}.png")
                proc = self.glassfall("--wayland")
                try:
                    def whole():
                        self.still_running(proc)
                        view = self.sway.shot(name)
                        return shaded_corner(view, desktop) and quadrants_upright(view, size)
                    h.wait_until(whole, 30, interval=0.1, what=f"the whole picture upright, output turned {transform}")
                    self.sway.shot(name, f"whole-{transform}.png")
                    os.kill(our_pids()[0], signal.SIGTERM)
                    h.wait_until(lambda: proc.poll() is not None, 3, what="the run ended")
                finally:
                    self.tearDown()  # a run a failed turn left goes before the next
                self.assertEqual(proc.returncode, 0, self.stderr_text())

    def turn_back(self, name, mode):
        """The output upright again, and its wallpaper redrawn for it: a run started while the
        old turn's buffer still shows would capture that."""
        self.sway.swaymsg("output", name, "transform", "normal")
        desktop = self.desktops[name]
        h.wait_until(lambda: (lambda view: view.width == mode[0] and not view.differs_from(desktop, 1.0))(
            self.sway.shot(name)), 20, interval=0.2, what=f"{name}'s wallpaper as it was")

    def test_a_second_start_leaves_the_screen_to_the_first(self):
        # Started at once, as an idle daemon firing twice: one overlay, and one key ends the run.
        runs = {"first": self.glassfall("--wayland", log_name="first"),
                "second": self.glassfall("--wayland", log_name="second")}
        h.wait_until(lambda: any(p.poll() is not None for p in runs.values()), 10, what="one of the two leaving")
        gone = next(n for n, p in runs.items() if p.poll() is not None)
        stays = runs["second" if gone == "first" else "first"]
        self.assertEqual(runs[gone].returncode, 0, self.stderr_text(gone))
        self.assertIn("already covers the screen", self.stderr_text(gone))
        self.wait_covered(stays, FIRST[0], FIRST[1])
        self.assertEqual(len(our_pids()), 1)
        self.sway.type("q")
        h.wait_until(lambda: stays.poll() is not None, 3, what="the one run ended by a key")
        self.assertEqual(stays.returncode, 0)
        self.assertEqual(our_pids(), [])

    def test_a_compositor_that_stops_taking_frames_ends_the_run(self):
        # Stopped, sway neither repaints nor gives our buffers back: the swap that waits for one
        # never returns. The overlay holds the keyboard, so the program ends itself.
        proc = self.glassfall("--wayland")
        self.wait_covered(proc, FIRST[0], FIRST[1])
        os.kill(self.sway.proc_pid(), signal.SIGSTOP)
        try:
            stopped = time.monotonic()
            h.wait_until(lambda: proc.poll() is not None, 10, what="the run ended by its watchdog")
            took = time.monotonic() - stopped
        finally:
            os.kill(self.sway.proc_pid(), signal.SIGCONT)
        self.assertEqual(proc.returncode, 0, self.stderr_text())
        self.assertIn("the drawing stopped for 3 s", self.stderr_text())
        self.assertGreater(took, 2.5)
        self.assertEqual(our_pids(), [])
        self.sway.swaymsg("nop")  # sway goes on as before

    def test_sigterm_ends_with_exit_0(self):
        proc = self.glassfall("--wayland")
        self.wait_covered(proc, FIRST[0], FIRST[1])
        pid = our_pids()
        self.assertEqual(len(pid), 1)
        sent = time.monotonic()
        os.kill(pid[0], signal.SIGTERM)
        h.wait_until(lambda: proc.poll() is not None, 3, what="the run ended by SIGTERM")
        self.assertLess(time.monotonic() - sent, 1.0)
        self.assertEqual(proc.returncode, 0, self.stderr_text())
        self.assertEqual(our_pids(), [])

    def test_output_plugged_in_during_the_run(self):
        # Chosen by itself: a Wayland session without an X display.
        proc = self.glassfall()
        self.wait_covered(proc, FIRST[0], FIRST[1])
        before = {n for n in self.outputs()}
        self.sway.swaymsg("create_output")
        new = h.wait_until(lambda: (set(self.outputs()) - before) or None, 5, what="the new output")
        name = sorted(new)[0]
        # Covered: no more of the plain colour the wallpaper gives it (within a second unloaded;
        # the wait leaves room for a busy machine and grim's own start).
        h.wait_until(lambda: self.sway.shot(name).fraction(lambda r, g, b: r > 200 and b > 200 and g < 60) < 0.01,
                     5, interval=0.05, what=f"our surface over {name}")
        self.sway.shot(name, f"added-{name}.png")
        # Still drawing on the others.
        first = self.sway.shot(FIRST[0])
        h.wait_until(lambda: self.sway.shot(FIRST[0]).differs_from(first, 0.5), 10, interval=0.1,
                     what="a new frame after the output came")
        self.assertIsNone(proc.poll(), self.stderr_text())
        os.kill(our_pids()[0], signal.SIGTERM)
        h.wait_until(lambda: proc.poll() is not None, 3, what="the run ended")
        self.assertEqual(proc.returncode, 0, self.stderr_text())

    def test_music_plays_while_it_runs_and_stops_with_it(self):
        tones = self.folder / "tones"
        subprocess.run(["sh", str(h.ROOT / "tools" / "make_tones.sh"), str(tones)], check=True, capture_output=True)
        mp3 = tones / "tone440.mp3"
        os.chmod(tones, 0o755)
        os.chmod(mp3, 0o644)
        sink = NullSink(tempfile.mkdtemp(prefix="gfpulse-"))
        self.addCleanup(sink.stop)
        # The sound server is root's: its socket's folders opened to the user we run as.
        for folder in (sink.root, sink.root / "run", sink.socket.parent):
            os.chmod(folder, 0o711)
        rec = Recording(sink, OUT / "music.wav")
        try:
            proc = self.glassfall("--wayland", "--music", str(mp3), **sink.env())
            self.wait_covered(proc, FIRST[0], FIRST[1])
            heard_from = rec.seconds()
            h.wait_until(lambda: rec.seconds() > heard_from + 3, 15, what="three seconds of recording")
            end = rec.seconds()
            os.kill(our_pids()[0], signal.SIGTERM)
            h.wait_until(lambda: proc.poll() is not None, 3, what="the run ended")
            h.wait_until(lambda: rec.seconds() > end + 1.5, 15, what="the recording after the end")
        finally:
            sound = rec.stop()
        self.assertEqual(proc.returncode, 0, self.stderr_text())
        plays = sound.segments(gap=0.2)
        self.assertEqual(len(plays), 1, f"one unbroken sound: {plays}")
        start, stop = plays[0]
        # The player starts with the cover; on a loaded machine its pipeline takes a moment to
        # reach the sound server (0.7 s seen beside a Wine test), so the bound is loose, and
        # looser for the sanitized program (1.59 s seen under ASan in the full test run).
        bound = 3.0 if os.environ.get("GLASSFALL_SANITIZED") else 1.5
        self.assertLess(start, heard_from + bound, "playing once the outputs are covered")
        self.assertAlmostEqual(sound.frequency(start + 0.1, min(stop, end) - 0.1), 440, delta=5)
        self.assertLessEqual(stop, end + 0.5, "silence within 0.5 s of SIGTERM")

    def test_the_pointer_moved_or_a_button_ends_it_a_jolt_does_not(self):
        for action in (("move", "60", "40"), ("click",)):
            with self.subTest(action[0]):
                proc = self.glassfall("--wayland")
                self.wait_covered(proc, FIRST[0], FIRST[1])
                if action[0] == "move":
                    self.pointer("move", "2", "2")
                    # Still running: the pieces go on breaking after the jolt.
                    h.wait_until(lambda: lh.broken(self.sway.shot(FIRST[0])), 20, interval=0.1,
                                 what="shards after the jolt")
                    self.assertIsNone(proc.poll(), self.stderr_text())
                started = time.monotonic()
                self.pointer(*action)
                h.wait_until(lambda: proc.poll() is not None, 3, what=f"the run ended by {action[0]}")
                self.assertLess(time.monotonic() - started - KEYBOARD_SETTLE, 1.0)
                self.assertEqual(proc.returncode, 0, self.stderr_text())

    def pointer(self, *args):
        done = self.sway.run(str(POINTER), *args)
        self.assertEqual(done.returncode, 0, done.stderr.decode())

    def outputs(self):
        import json
        done = self.sway.run("swaymsg", "-r", "-t", "get_outputs")
        return [o["name"] for o in json.loads(done.stdout) if o.get("active", True)]

    def test_idle_daemon_starts_it_and_a_key_ends_it(self):
        idle = self.sway.client(["swayidle", "-w", "timeout", "1", f"{lh.GLASSFALL} --wayland"])
        started = time.monotonic()
        h.wait_until(lambda: our_pids(), 10, what="swayidle starting us")
        self.assertLess(time.monotonic() - started, 5)
        pid = our_pids()[0]
        self.wait_covered(lambda: self.assertIsNone(idle.poll()), FIRST[0], FIRST[1])
        self.sway.type("x")
        # Gone; the daemon may well start the next run a second later.
        h.wait_until(lambda: pid not in our_pids(), 3, what="the run ended by a key")
        self.assertIsNone(idle.poll())
        stop_group(idle)


class WaylandStartTest(unittest.TestCase):
    """Before a compositor answers: a socket that takes the connection and never answers, one that
    answers with a protocol error, no display at all, and SIGTERM in the first milliseconds."""

    def setUp(self):
        self.folder = Path(tempfile.mkdtemp(prefix="gf-wlstart-"))
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.server = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.server.bind(str(self.folder / "wayland-mute"))
        self.server.listen(64)
        self.addCleanup(self.server.close)

    def env(self, **extra):
        env = {"PATH": "/usr/bin:/bin", "HOME": str(self.folder), "XDG_RUNTIME_DIR": str(self.folder),
               "WAYLAND_DISPLAY": "wayland-mute", **sanitizer_settings()}
        env.update(extra)
        return {k: v for k, v in env.items() if v is not None}

    def start(self, *args, env=None):
        proc = subprocess.Popen([str(lh.GLASSFALL), *args], env=env or self.env(), stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.addCleanup(lambda: proc.poll() is None and (proc.kill(), proc.wait()))
        self.addCleanup(proc.stderr.close)
        return proc

    def accept(self):
        self.server.settimeout(10)
        conn, _ = self.server.accept()
        self.addCleanup(conn.close)
        return conn

    def test_a_compositor_that_never_answers_is_given_up_after_5_s(self):
        proc = self.start("--wayland")
        self.accept()
        started = time.monotonic()
        code = proc.wait(15)
        took = time.monotonic() - started
        stderr = proc.stderr.read().decode()
        self.assertEqual(code, 1, stderr)
        self.assertIn("did not answer within 5 s", stderr)
        self.assertEqual(len(stderr.splitlines()), 1, stderr)
        self.assertGreater(took, 4.0)

    def test_sigterm_while_it_waits_for_the_compositor_ends_it_with_0(self):
        proc = self.start("--wayland")
        conn = self.accept()
        conn.settimeout(10)
        self.assertTrue(conn.recv(4096))  # its first requests: it is waiting for the answer now
        sent = time.monotonic()
        proc.send_signal(signal.SIGTERM)
        self.assertEqual(proc.wait(5), 0, proc.stderr.read().decode())
        self.assertLess(time.monotonic() - sent, 1.0)

    def test_a_protocol_error_exits_1_with_one_line(self):
        proc = self.start("--wayland")
        conn = self.accept()
        conn.settimeout(10)
        self.assertTrue(conn.recv(4096))
        # wl_display.error(object wl_display@1, code 1, message): the header is the sender's id,
        # then the size in the upper half and the opcode (0) in the lower.
        text = b"a fault of the test\0"
        text += b"\0" * (-len(text) % 4)
        body = struct.pack("<III", 1, 1, len(b"a fault of the test") + 1) + text
        conn.sendall(struct.pack("<II", 1, (8 + len(body)) << 16) + body)
        code = proc.wait(5)
        stderr = proc.stderr.read().decode()
        self.assertEqual(code, 1, stderr)
        self.assertEqual(len(stderr.splitlines()), 1, stderr)
        self.assertIn("protocol error", stderr)

    def test_no_display_and_no_runtime_folder_are_said_in_one_line_of_ours(self):
        for args, env, said in (((), self.env(WAYLAND_DISPLAY=None), "neither $WAYLAND_DISPLAY nor $DISPLAY"),
                                (("--wayland",), self.env(XDG_RUNTIME_DIR=None), "$XDG_RUNTIME_DIR is not set")):
            with self.subTest(said):
                proc = self.start(*args, env=env)
                code = proc.wait(10)
                stderr = proc.stderr.read().decode()
                self.assertEqual(code, 1, stderr)
                self.assertEqual(len(stderr.splitlines()), 1, stderr)
                self.assertIn(said, stderr)

    def test_sigterm_from_the_first_moment_it_can_be_caught_ends_it_with_0(self):
        # The handlers go in before any library's constructor runs; the signal is sent as soon as
        # the process shows them, at a random moment of the next few milliseconds, while the mute
        # compositor keeps the start waiting. (Before that, inside the dynamic loader, nothing of
        # ours runs yet.)
        rng = random.Random(2026)
        codes = []
        for _ in range(20):
            proc = self.start("--wayland")
            h.wait_until(lambda: catches_sigterm(proc.pid), 5, interval=0.0005, what="its stop handlers")
            time.sleep(rng.uniform(0, 0.005))
            proc.send_signal(signal.SIGTERM)
            codes.append(proc.wait(5))
        self.assertEqual(codes, [0] * 20)


def catches_sigterm(pid):
    """Whether the process has a handler of its own for SIGTERM (its caught-signals mask)."""
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("SigCgt:"):
            return bool(int(line.split()[1], 16) & (1 << (signal.SIGTERM - 1)))
    return False


class WestonTest(unittest.TestCase):
    """A compositor with neither layer-shell nor a capture protocol: a fullscreen window per
    output, untextured pieces, said once; the compositor going away ends the run with success."""

    SIZE = (800, 600)

    def setUp(self):
        require_rig()
        self.folder = Path(tempfile.mkdtemp(prefix="gf-weston-"))
        self.addCleanup(shutil.rmtree, self.folder, True)
        user = pwd.getpwnam(USER)
        self.runtime = self.folder / "run"
        self.shots = self.folder / "shots"
        self.runtime.mkdir(mode=0o700)
        self.shots.mkdir()
        for path in (self.folder, self.runtime, self.shots):
            os.chown(path, user.pw_uid, user.pw_gid)
        log = open(self.folder / "weston.log", "w")
        self.addCleanup(log.close)
        self.weston = self.start(["weston", "-B", "headless-backend.so", "--use-pixman", f"--width={self.SIZE[0]}",
                                  f"--height={self.SIZE[1]}", "--socket=wayland-gf", "--idle-time=0",
                                  "--debug"], log)
        self.addCleanup(self.end_helpers)
        self.addCleanup(stop_group, self.weston)
        h.wait_until(lambda: (self.runtime / "wayland-gf").exists(), 20, what="weston's socket")
        h.wait_until(lambda: self.shot().dark_fraction() < 0.5, 20, what="weston's desktop")
        self.desktop = self.shot()

    def end_helpers(self):
        """Weston's own clients (panel, keyboard) sit in sessions of their own: ended by id."""
        for pid, _ in lh.carrying(f"XDG_RUNTIME_DIR={self.runtime}"):
            try:
                os.kill(pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        h.wait_until(lambda: not lh.carrying(f"XDG_RUNTIME_DIR={self.runtime}"), 10, what="weston's clients gone")

    def env(self):
        return {"PATH": "/usr/bin:/bin", "HOME": str(self.folder), "XDG_RUNTIME_DIR": str(self.runtime),
                "WAYLAND_DISPLAY": "wayland-gf", **sanitizer_settings(), **OWNER_MARK}

    def start(self, argv, log):
        return subprocess.Popen([shutil.which("runuser"), "-p", "-u", USER, "--", *argv], env=self.env(),
                                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, cwd=self.shots,
                                start_new_session=True)

    def shot(self):
        for old in self.shots.glob("*.png"):
            old.unlink()
        subprocess.run([shutil.which("runuser"), "-p", "-u", USER, "--", "weston-screenshooter"], env=self.env(),
                       cwd=self.shots, capture_output=True, timeout=30)
        found = sorted(self.shots.glob("*.png"))
        if not found:
            raise RuntimeError("weston-screenshooter wrote nothing")
        return h.Image.load(found[-1])

    def test_fullscreen_fallback_covers_the_output_and_the_compositor_leaving_ends_it(self):
        log_path = self.folder / "glassfall.log"
        log = open(log_path, "w")
        self.addCleanup(log.close)
        proc = self.start([str(lh.GLASSFALL)], log)  # chosen by itself: no $DISPLAY
        self.addCleanup(stop_group, proc)

        def showing(state):
            def check():
                self.assertIsNone(proc.poll(), log_path.read_text())
                return state(self.shot())
            return check
        # Pieces without a picture: the whole piece white and grey over the whole output, its
        # panel and wallpaper gone; then shards on black.
        h.wait_until(showing(lh.whole_white), 15, interval=0.1, what="the whole untextured piece over the output")
        self.shot().save(OUT / "weston-covered.png")
        h.wait_until(showing(lambda v: lh.broken(v) and lh.drawn(v)), 15, interval=0.1,
                     what="the untextured piece broken")
        self.shot().save(OUT / "weston-broken.png")
        self.desktop.save(OUT / "weston-desktop.png")
        self.assertEqual(log_path.read_text().count("no screen capture"), 1, log_path.read_text())

        stop_group(self.weston)
        gone = time.monotonic()
        h.wait_until(lambda: proc.poll() is not None, 3, what="the run ended with the compositor")
        self.assertLess(time.monotonic() - gone, 1.0)
        self.assertEqual(proc.returncode, 0, log_path.read_text())
        self.assertEqual(our_pids(), [])


if __name__ == "__main__":
    unittest.main()
