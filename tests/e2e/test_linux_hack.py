"""The native program on a private Xvfb with a known desktop on the root window: its own
window shows that desktop whole, broken after 1.4 s, whole again after the restart; keys;
--window-id into a window the test made; SIGTERM ends it cleanly, also while the screensaver's
image helper is still at work; the options its settings file names are all accepted.
Screenshots go to out/e2e/linux_hack/."""

import os
import re
import signal
import subprocess
import tempfile
import time
import unittest
import xml.etree.ElementTree as ET

import gfharness as h
import linuxharness as lh

OUT = h.OUT / "e2e" / "linux_hack"
SCREEN = (640, 480)
# Mean absolute difference per channel (0-255) against the expected whole picture. What remains
# is the mipmap builder's scaling and linear filtering (about 1 here); a turned or mirrored
# picture is 40 or more.
MATCH_BOUND = 8.0
TITLE = "Glassfall"


def mirrored(image):
    rows = []
    for y in range(image.height):
        row = image.data[y * image.width * 3:(y + 1) * image.width * 3]
        rows.append(b"".join(row[i:i + 3] for i in range(len(row) - 3, -1, -3)))
    return h.Image(image.width, image.height, b"".join(rows))


class NativeHackTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        OUT.mkdir(parents=True, exist_ok=True)
        cls.folder = tempfile.TemporaryDirectory(prefix="gf-native-")
        cls.x = lh.Xvfb(SCREEN)
        cls.picture = lh.mp.test_picture(*SCREEN)
        cls.expected = lh.expected_whole(cls.picture, SCREEN)
        cls.expected.save(OUT / "expected_whole.png")

    @classmethod
    def tearDownClass(cls):
        cls.x.stop()
        cls.folder.cleanup()

    def setUp(self):
        self.procs = []
        self.x.set_root_picture(self.picture, self.folder.name)

    def tearDown(self):
        for proc in self.procs:
            lh.end(proc)

    def start(self, *args, env=None):
        proc = lh.start_glassfall(self.x, *args, env=env)
        self.procs.append(proc)
        return proc

    def wait_view(self, predicate, timeout, what, proc=None):
        """Screenshots until one passes `predicate`; returns it."""
        def check():
            if proc is not None and proc.poll() is not None:
                raise AssertionError(f"{what}: glassfall ended early ({proc.returncode}): {proc.stderr.read()!r}")
            view = self.x.screenshot()
            return view if predicate(view) else None
        return h.wait_until(check, timeout, interval=0.02, what=what)

    def matches(self, region=None):
        expected = self.expected if region is None else self.expected_in(region)
        return lambda view: (view if region is None else view.crop(*region)).mean_abs_diff(expected) < MATCH_BOUND

    def end_by_signal(self, proc, sig=signal.SIGTERM):
        sent = time.monotonic()
        proc.send_signal(sig)
        code = proc.wait(5)
        return code, time.monotonic() - sent

    def test_own_window_shows_the_desktop_whole_then_broken_then_whole_again(self):
        launched = time.monotonic()
        proc = self.start("--window")
        whole = self.wait_view(self.matches(), 15, "the desktop, whole", proc)
        whole.save(OUT / "window_whole.png")
        diff = whole.mean_abs_diff(self.expected)
        # The check has teeth: a picture shown mirrored would be far off.
        self.assertGreater(whole.mean_abs_diff(mirrored(self.expected)), 5 * MATCH_BOUND)

        view = self.wait_view(lh.broken, 10, "the picture broken", proc)
        self.assertGreater(time.monotonic() - launched, 1.4)
        view.save(OUT / "window_broken.png")
        # Whole again only through the 401-frame restart (no key is pressed here).
        again = self.wait_view(self.matches(), 20, "the desktop whole again after the restart", proc)
        again.save(OUT / "window_whole_again.png")

        code, took = self.end_by_signal(proc)
        self.assertEqual(code, 0)
        self.assertLess(took, 0.5)
        print(f"\n--window: mean difference {diff:.2f} (bound {MATCH_BOUND}); SIGTERM to exit {took * 1000:.0f} ms")

    def test_a_server_without_shared_memory_gives_the_same_picture_the_plain_way(self):
        # The screen is read through MIT-SHM where the server has it (as here); without it,
        # through the socket, to the same pixels.
        bare = lh.Xvfb(SCREEN, ["-extension", "MIT-SHM"])
        self.addCleanup(bare.stop)
        shm = subprocess.run(["xdpyinfo", "-queryExtensions"], env=bare.env(), capture_output=True, text=True)
        self.assertNotIn("MIT-SHM", shm.stdout)
        bare.set_root_picture(self.picture, self.folder.name)
        proc = lh.start_glassfall(bare, "--window")
        self.procs.append(proc)

        def whole():
            self.assertIsNone(proc.poll(), proc.stderr.read() if proc.poll() is not None else "")
            return self.matches()(bare.screenshot())
        h.wait_until(whole, 15, interval=0.02, what="the desktop, whole, without MIT-SHM")

    def test_every_frame_rate_of_the_settings_slider_shows_the_picture_whole_then_broken(self):
        # The slider's two ends: "--delay 0" (as fast as it may) and "--delay 100000" (10 frames/s).
        slider = next(e for e in ET.parse(h.ROOT / "native" / "glassfall.xml").getroot().iter("number")
                      if e.get("id") == "delay")
        for delay in (slider.get("low"), slider.get("high")):
            with self.subTest(delay=delay):
                launched = time.monotonic()
                proc = self.start("--window", "--delay", delay)
                h.wait_until(lambda: self.x.visible_window(TITLE), 15, what="the window")
                self.wait_view(self.matches(), 15, f"--delay {delay}: the desktop, whole", proc)
                shards = self.wait_view(lambda v: lh.broken(v) and lh.drawn(v), 15,
                                        f"--delay {delay}: the picture broken", proc)
                # The picture stood whole for its moment: the first cut comes 1.4 s into the run,
                # so no broken frame can be read before that. (Timed from the launch, which the
                # run's clock cannot precede; a screenshot's lateness cannot make this fail.)
                self.assertGreater(time.monotonic() - launched, 1.4)
                shards.save(OUT / f"delay_{delay}_broken.png")
                code, _ = self.end_by_signal(proc)
                self.assertEqual(code, 0)
                h.wait_until(lambda: self.x.visible_window(TITLE) is None, 5, what="the window gone")

    def test_keys_in_its_own_window_and_q_ends_it(self):
        white = lh.mp.Picture(*SCREEN, (255, 255, 255))
        self.x.set_root_picture(white, self.folder.name)
        proc = self.start("--window")
        view = self.wait_view(lh.whole_white, 15, "the whole piece over a white desktop", proc)
        view.save(OUT / "white_whole.png")
        # Over a white desktop the frame is the vertex shading alone: the model the other tests
        # (and the daemon test) use for their expected pictures.
        self.assertLess(view.mean_abs_diff(lh.whole_piece_shade(SCREEN)), 2.0)
        window = h.wait_until(lambda: self.x.visible_window(TITLE), 10, what="the window")

        self.wait_view(lh.broken, 10, "the break", proc)
        pressed = time.monotonic()
        self.x.key(window, "r")
        self.wait_view(lh.whole_white, 5, "whole again after r", proc)
        # Long before the 401-frame restart (6.7 s at 60 frames/s, later when slower).
        self.assertLess(time.monotonic() - pressed, 1.5)

        self.x.key(window, "q")
        self.assertEqual(proc.wait(5), 0)
        self.assertIsNone(self.x.visible_window(TITLE))

    def expected_in(self, region):
        x, y, w, hgt = region
        under = lh.picture_image(self.picture).crop(x, y, w, hgt)
        return lh.expected_whole(under, (w, hgt))

    def test_window_id_draws_the_desktop_under_that_window_and_ends_quietly_when_it_goes(self):
        region = (80, 60, 320, 240)
        window = lh.TestWindow(self.x, *region)
        try:
            proc = self.start("--window-id", hex(window.id))
            view = self.wait_view(self.matches(region), 15, "the desktop under the window, whole", proc)
            view.save(OUT / "window_id_whole.png")
            self.wait_view(lambda v: lh.broken(v.crop(*region)), 10, "the window's picture broken", proc)
            # Only that window is drawn on: the desktop around it stays as it was.
            outside = self.x.screenshot()
            desktop = lh.picture_image(self.picture)
            self.assertLess(outside.crop(0, 0, SCREEN[0], 60).mean_abs_diff(desktop.crop(0, 0, SCREEN[0], 60)), 1.0)
            self.assertLess(outside.crop(400, 0, 240, SCREEN[1]).mean_abs_diff(desktop.crop(400, 0, 240, SCREEN[1])),
                            1.0)
            window.destroy()
            self.assertEqual(proc.wait(5), 0)
            self.assertEqual(proc.stderr.read(), b"")
        finally:
            window.close()
        # A window whose visual has neither a second buffer nor a depth buffer: said plainly, exit 1.
        single = lh.TestWindow(self.x, *region, single_buffered=True)
        try:
            r = subprocess.run([str(lh.GLASSFALL), "--window-id", hex(single.id)], env=self.x.env(),
                               capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 1)
            self.assertEqual(r.stderr, f"glassfall: window {hex(single.id)} has no double-buffered OpenGL visual "
                                       "with a depth buffer\n")
        finally:
            single.close()
        # A window id that names no window: said plainly, exit 1, no X error dump.
        r = subprocess.run([str(lh.GLASSFALL), "--window-id", "0x7ffffff"], env=self.x.env(), capture_output=True,
                           text=True, timeout=30)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr, "glassfall: there is no window 0x7ffffff\n")

    def test_sigterm_while_the_image_helper_works_reaps_it(self):
        # Told it runs under the screensaver, but no daemon is there: the helper waits for a
        # screen grab, the moment a stop used to leave it behind as an orphan.
        home = os.path.join(self.folder.name, "home")
        os.makedirs(home, exist_ok=True)
        with open(os.path.join(home, ".xscreensaver"), "w") as prefs:
            prefs.write("grabDesktopImages: True\nchooseRandomImages: False\n")
        info = subprocess.run(["xwininfo", "-root"], env=self.x.env(), capture_output=True, text=True).stdout
        root_id = int(re.search(r"Window id: (0x[0-9a-f]+)", info).group(1), 16)
        env = self.x.env(HOME=home, XSCREENSAVER_WINDOW=hex(root_id))
        proc = self.start("--root", env=env)

        def helper():
            return [pid for pid, ppid, comm, _ in lh.processes() if ppid == proc.pid and comm.startswith("xscreensaver")]
        helpers = h.wait_until(helper, 15, what="the image helper started")
        code, took = self.end_by_signal(proc)
        self.assertEqual(code, 0)
        self.assertLess(took, 0.5)
        for pid in helpers:
            self.assertFalse(os.path.exists(f"/proc/{pid}"), f"helper {pid} left behind")
        print(f"\nstopped with the helper at work: exit {code} in {took * 1000:.0f} ms, helper reaped")

    def test_settings_file_options_are_accepted_and_others_refused(self):
        xml = ET.parse(h.ROOT / "native" / "glassfall.xml").getroot()
        self.assertEqual(xml.get("name"), "glassfall")
        self.assertEqual(xml.get("gl"), "yes")
        args = []
        for element in xml.iter():
            for attribute in ("arg", "arg-set", "arg-unset"):
                if element.get(attribute):
                    args.append(element.get(attribute).replace("%", element.get("default", "0")).split())
        named = {a[0] for a in args}
        self.assertTrue({"--root", "--delay", "--fps", "--music", "--cd", "--track"} <= named, named)
        # With no display to open, an accepted command line gets as far as the display (exit 1);
        # one the program does not take is a usage error (exit 2).
        no_display = self.x.env(DISPLAY=":4999")
        for arg in args:
            r = subprocess.run([str(lh.GLASSFALL), *arg], env=no_display, capture_output=True, text=True, timeout=30)
            self.assertEqual(r.returncode, 1, f"{arg}: {r.stderr}")
            self.assertIn("cannot open display", r.stderr)
        r = subprocess.run([str(lh.GLASSFALL), "--root", "--no-such-option"], env=no_display, capture_output=True,
                           text=True, timeout=30)
        self.assertEqual(r.returncode, 2)
        self.assertIn("--no-such-option", r.stderr)
        self.assertIn("usage: glassfall", r.stderr)
        r = subprocess.run([str(lh.GLASSFALL), "--help"], env=no_display, capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 0)
        self.assertIn("--window-id ID", r.stdout)

    def test_glassfall_conf_gives_defaults_the_command_line_wins_and_bad_lines_are_named(self):
        config = os.path.join(self.folder.name, "config")
        os.makedirs(os.path.join(config, "glassfall"), exist_ok=True)
        wanted = os.path.join(self.folder.name, "from-the-file.mp3")
        with open(os.path.join(config, "glassfall", "glassfall.conf"), "w") as f:
            f.write(f"# defaults\nmusic = {wanted}\nspeed = fast\ndelay = 20000\n")
        # Without a display the run ends at opening it, after the music was chosen (and named,
        # since the file is missing).
        no_display = self.x.env(DISPLAY=":4999", XDG_CONFIG_HOME=config)
        r = subprocess.run([str(lh.GLASSFALL), "--root"], env=no_display, capture_output=True, text=True, timeout=30)
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("glassfall.conf:3: unknown key 'speed'", r.stderr)
        self.assertIn(wanted, r.stderr)
        other = os.path.join(self.folder.name, "from-the-command-line.wav")
        r = subprocess.run([str(lh.GLASSFALL), "--root", "--music", other], env=no_display, capture_output=True,
                           text=True, timeout=30)
        self.assertIn(other, r.stderr)
        self.assertNotIn(wanted, r.stderr)
        # Through $HOME when $XDG_CONFIG_HOME is not set.
        home = dict(no_display, HOME=os.path.join(self.folder.name, "home"))
        del home["XDG_CONFIG_HOME"]
        os.makedirs(os.path.join(home["HOME"], ".config"), exist_ok=True)
        os.symlink(config + "/glassfall", os.path.join(home["HOME"], ".config", "glassfall"))
        r = subprocess.run([str(lh.GLASSFALL), "--root"], env=home, capture_output=True, text=True, timeout=30)
        self.assertIn(home["HOME"] + "/.config/glassfall/glassfall.conf:3:", r.stderr)

    def test_install_and_debian_package_put_it_where_xscreensaver_looks(self):
        cache = (lh.BUILD / "CMakeCache.txt").read_text()
        self.assertIn("CMAKE_INSTALL_PREFIX:PATH=/usr\n", cache)
        prefix = os.path.join(self.folder.name, "prefix")
        subprocess.run(["cmake", "--install", str(lh.BUILD), "--prefix", prefix], check=True, capture_output=True,
                       timeout=120)
        program = os.path.join(prefix, "libexec", "xscreensaver", "glassfall")
        self.assertTrue(os.access(program, os.X_OK))
        self.assertTrue(os.path.isfile(os.path.join(prefix, "share", "xscreensaver", "config", "glassfall.xml")))
        # On the PATH too, for the Wayland idle daemons, and with its manual page.
        self.assertEqual(os.path.realpath(os.path.join(prefix, "bin", "glassfall")), os.path.realpath(program))
        page = subprocess.run(["man", "-l", os.path.join(prefix, "share", "man", "man6", "glassfall.6.gz")],
                              check=True, capture_output=True, text=True, env=dict(os.environ, MANWIDTH="100")).stdout
        for option in ("--window", "--root", "--window-id", "--wayland", "--delay", "--fps", "--music", "--cd",
                       "--track", "EXIT STATUS", "swayidle"):
            self.assertIn(option, page)

        packages = os.path.join(self.folder.name, "deb")
        subprocess.run(["cpack", "-G", "DEB", "-B", packages, "--config", str(lh.BUILD / "CPackConfig.cmake")],
                       check=True, capture_output=True, timeout=300)
        debs = [f for f in os.listdir(packages) if f.endswith(".deb")]
        self.assertEqual(len(debs), 1, debs)
        deb = os.path.join(packages, debs[0])
        listing = subprocess.run(["dpkg-deb", "-c", deb], check=True, capture_output=True, text=True).stdout
        self.assertRegex(listing, r"-rwxr-xr-x .* \./usr/libexec/xscreensaver/glassfall\n")
        self.assertIn("./usr/share/xscreensaver/config/glassfall.xml", listing)
        depends = subprocess.run(["dpkg-deb", "-f", deb, "Depends"], check=True, capture_output=True,
                                 text=True).stdout
        for library in ("libx11", "libglu1", "libgl", "libwayland-client0", "libegl1"):
            self.assertIn(library, depends)
        self.assertIn("./usr/share/man/man6/glassfall.6.gz", listing)
        # Debian's own checks: no error and no warning (notes about hardening flags may stay).
        checked = subprocess.run(["lintian", "--allow-root", deb], capture_output=True, text=True, timeout=300)
        complaints = [line for line in checked.stdout.splitlines() if line.startswith(("E:", "W:"))]
        self.assertEqual(complaints, [], checked.stdout)


if __name__ == "__main__":
    unittest.main()
