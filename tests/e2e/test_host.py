"""The screensaver host under Wine with the real renderer and real files: a whole run from the
settings file and the snapshot (the screen turned by 180 degrees) to the end after Escape, which
removes the snapshot and keeps the settings; an install under a folder with blanks beside a trap
C:\\Program.exe, and one under a folder whose name no code page holds; the second instance, and
ten starts at once; the missing-renderer message; a renderer that is no program; the renderer
closed or killed mid-run; the start grace of the watch; links planted at the shared files.
Screenshots and snapshots are left in out/e2e/host/."""

import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

import gfharness as h

OUT = h.OUT / "e2e" / "host"
RUN_TITLE = "Glassfall_Main"
RENDERER_TITLE = "Glassfall_VC"
MESSAGE_TITLE = "Glassfall (ScreenSaver)"
MESSAGE_TEXT = "Glassfall.dll が同じﾌｫﾙﾀﾞに見つかりません！"
INSTALL = "Program Files\\Glassfall Saver"  # blanks on purpose: C:\Program.exe must not run
# Outside code page 932 (é) and outside every ANSI code page (✓).
UNICODE_INSTALL = "Programs\\Glassfall é ✓"

TRAP_SOURCE = r"""
#include <windows.h>
int WINAPI WinMain(HINSTANCE a, HINSTANCE b, LPSTR c, int d) {
  HANDLE f = CreateFileA("C:\\velk_temp\\trap_ran.txt", GENERIC_WRITE, 0, 0, CREATE_ALWAYS, 0, 0);
  if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  return 0;
}
"""


# --------------------------------------------------------------------------- helpers

def install(session, folder=INSTALL, renderer=h.BIN / "Glassfall.dll", host=h.BIN / "Glassfall.scr"):
    """Puts the host (and a renderer, unless None) into a fresh folder under C:; returns its Windows path."""
    target = session.drive_c / Path(*folder.split("\\"))
    if target.exists():
        shutil.rmtree(target)
    target.mkdir(parents=True)
    shutil.copy(host, target / "Glassfall.scr")
    if renderer:
        shutil.copy(renderer, target / "Glassfall.dll")
    return "C:\\" + folder


def reference_picture(width, height, path):
    """An asymmetric test picture: a colour ramp across, another down, and a few blocks."""
    subprocess.run(
        ["convert", "(", "-size", f"{height}x{width}", "gradient:black-red", "-rotate", "90", ")",
         "(", "-size", f"{width}x{height}", "gradient:black-lime", ")", "-compose", "plus", "-composite",
         "-fill", "white", "-draw", f"rectangle 40,30 {width // 3},{height // 4}",
         "-fill", "blue", "-draw", f"rectangle {width // 2},{height // 2} {width - 60},{height - 90}",
         "-depth", "8", str(path)], check=True)


class ShownPicture:
    """A non-Wine X window showing a picture at the top-left of the screen."""

    def __init__(self, session, path):
        self.s = session
        self.proc = subprocess.Popen(
            ["display", "-geometry", "+0+0", "-borderwidth", "0", "-immutable", str(path)],
            env=session.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        want = h.Image.load(path)
        h.wait_until(lambda: self.s.screenshot().crop(0, 0, 200, 200).mean_abs_diff(want.crop(0, 0, 200, 200)) < 2,
                     20, interval=0.3, what="the reference picture on screen")

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(10)


def read_bitmap(path):
    """A 24-bit bottom-up bitmap file as (headers, top-down RGB Image)."""
    data = Path(path).read_bytes()
    le = lambda at, n=4: int.from_bytes(data[at:at + n], "little", signed=True)
    offset, width, height, bits = le(10), le(18), le(22), le(28, 2)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height):
        row = data[offset + (height - 1 - y) * stride: offset + (height - 1 - y) * stride + width * 3]
        rgb = bytearray(len(row))
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
        rows.append(bytes(rgb))
    headers = {"type": data[:2], "size": le(2), "offset": offset, "info": le(14), "width": width,
               "height": height, "planes": le(26, 2), "bits": bits, "compression": le(30),
               "image": le(34), "length": len(data)}
    return headers, h.Image(width, height, b"".join(rows))


def turned(image):
    """The picture turned by 180 degrees (ImageMagick)."""
    ppm = f"P6\n{image.width} {image.height}\n255\n".encode() + image.data
    raw = subprocess.run(["convert", "ppm:-", "-rotate", "180", "ppm:-"], input=ppm, capture_output=True,
                         check=True).stdout
    return h.Image.from_ppm(raw)


def best_alignment(picture, expected, border=2):
    """Smallest mean difference of the inner parts over shifts of up to one pixel (Wine's mirrored
    copy lands one pixel short); returns (difference, dx, dy)."""
    w, h_ = picture.width - 2 * border, picture.height - 2 * border
    inner = picture.crop(border, border, w, h_)
    return min((inner.mean_abs_diff(expected.crop(border + dx, border + dy, w, h_)), dx, dy)
               for dx in (-1, 0, 1) for dy in (-1, 0, 1))


def windows_pids(pattern):
    """Unix pids of Wine processes whose command line contains `pattern`."""
    out = subprocess.run(["ps", "-eo", "pid=,args="], capture_output=True, text=True).stdout
    return [int(line.split(None, 1)[0]) for line in out.splitlines() if pattern in line]


class HostRun:
    """A started Glassfall.scr; whatever it leaves running is ended when the test ends."""

    def __init__(self, session, folder, *args, env=None):
        self.s = session
        self.folder = folder
        self.started = time.monotonic()
        self.proc = session.start_program(folder + "\\Glassfall.scr", *args, env=env)

    def wait_exit(self, timeout):
        return self.proc.wait(timeout=timeout)

    def alive(self):
        return self.proc.poll() is None

    def cleanup(self):
        if self.s.find_window(RENDERER_TITLE):
            self.s.probe("close", RENDERER_TITLE)
            self.s.wait_gone(RENDERER_TITLE, 10)
        if self.s.find_window(MESSAGE_TITLE):
            self.s.probe("close", MESSAGE_TITLE)
        try:
            self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()


# --------------------------------------------------------------------------- tests

class HostTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.s = h.session()
        cls.folder = install(cls.s)
        OUT.mkdir(parents=True, exist_ok=True)
        # What an unquoted start of C:\Program Files\... would run instead of the renderer.
        cls.trap = cls.s.drive_c / "Program.exe"
        with tempfile.TemporaryDirectory() as tmp:
            source = Path(tmp) / "trap.c"
            source.write_text(TRAP_SOURCE)
            subprocess.run(["x86_64-w64-mingw32-gcc", "-mwindows", "-o", str(cls.trap), str(source)], check=True)

    @classmethod
    def tearDownClass(cls):
        cls.trap.unlink(missing_ok=True)

    def setUp(self):
        self.s.clear_velk_temp()
        self.runs = []

    def tearDown(self):
        for run in reversed(self.runs):
            run.cleanup()
        self.assertFalse(self.s.find_window(RUN_TITLE), "a run window outlived its test")
        self.assertFalse((self.s.velk_temp / "trap_ran.txt").exists(), "C:\\Program.exe was started")

    def start(self, *args, folder=None):
        run = HostRun(self.s, folder or self.folder, *args)
        self.runs.append(run)
        return run

    def assert_snapshot_gone_settings_kept(self, how=""):
        width, height = self.s.screen
        self.assertFalse((self.s.velk_temp / "Glassfall.alo").exists(), f"{how}: the desktop photo outlived the run")
        self.assertEqual((self.s.velk_temp / "Glassfall.ini").read_bytes(),
                         f"[Settings]\r\nWidth={width}\r\nHeight={height}\r\nLeft=0\r\nTop=0\r\n".encode(), how)

    def ended_soon(self, run, within):
        try:
            return run.wait_exit(within) == 0
        except subprocess.TimeoutExpired:
            return False

    def test_a_run_writes_the_screen_size_and_the_turned_snapshot_then_ends_after_escape(self):
        width, height = self.s.screen
        picture_path = OUT / "reference.png"
        reference_picture(width, height, picture_path)
        shown = ShownPicture(self.s, picture_path)
        try:
            screen = self.s.screenshot(OUT / "screen_before_run.png")
            run = self.start("/s")
            self.s.wait_window(RENDERER_TITLE, timeout=20)
        finally:
            shown.close()
        self.assertIsNotNone(self.s.find_window(RUN_TITLE))
        self.assertEqual((self.s.velk_temp / "Glassfall.ini").read_bytes(),
                         f"[Settings]\r\nWidth={width}\r\nHeight={height}\r\nLeft=0\r\nTop=0\r\n".encode())
        headers, snapshot = read_bitmap(self.s.velk_temp / "Glassfall.alo")
        snapshot.save(OUT / "snapshot_as_stored.png")
        stride = (width * 3 + 3) & ~3
        self.assertEqual(headers, {"type": b"BM", "size": 54 + stride * height, "offset": 54, "info": 40,
                                   "width": width, "height": height, "planes": 1, "bits": 24,
                                   "compression": 0, "image": stride * height,
                                   "length": 54 + stride * height})
        difference, dx, dy = best_alignment(snapshot, turned(screen))
        self.assertLess(difference, 1.5, f"snapshot vs. turned screen (shift {dx},{dy})")
        upright, _, _ = best_alignment(snapshot, screen)
        self.assertGreater(upright, 20, "the snapshot is not turned")
        self.assertFalse((self.s.velk_temp / "trap_ran.txt").exists(), "C:\\Program.exe was started")

        time.sleep(0.5)
        self.s.probe("key", RENDERER_TITLE, 27)  # Escape
        self.assertTrue(self.s.wait_gone(RENDERER_TITLE, 20))
        gone = time.monotonic()
        self.assertEqual(run.wait_exit(10), 0)
        self.assertLess(time.monotonic() - gone, 1.5, "host outlived its renderer")
        self.assert_snapshot_gone_settings_kept()

    def test_a_second_start_during_a_run_ends_silently_and_leaves_the_run_alone(self):
        self.start("/s")
        self.s.wait_window(RENDERER_TITLE, timeout=20)
        snapshot = self.s.velk_temp / "Glassfall.alo"
        stamp = snapshot.stat().st_mtime_ns
        for args in (("/s",), ("/p", "1234"), ("/c",)):
            second = self.start(*args)
            self.assertTrue(self.ended_soon(second, 15), f"{args} did not end")
            self.assertIsNone(self.s.find_window(MESSAGE_TITLE))
        self.assertEqual(snapshot.stat().st_mtime_ns, stamp, "the second start captured again")
        self.assertIsNotNone(self.s.find_window(RUN_TITLE))
        self.assertIsNotNone(self.s.find_window(RENDERER_TITLE))

    def test_a_missing_renderer_is_reported_for_run_and_configure_but_not_for_preview(self):
        bare = install(self.s, "Glassfall Bare", renderer=None)
        for args in (("/c",), ("/s",)):
            run = self.start(*args, folder=bare)
            self.s.wait_window(MESSAGE_TITLE, timeout=15)
            lines = self.s.window_text(MESSAGE_TITLE)
            self.assertEqual(lines[0], MESSAGE_TITLE)
            self.assertIn(MESSAGE_TEXT, lines)
            self.assertIsNone(self.s.find_window(RUN_TITLE))
            self.s.probe("close", MESSAGE_TITLE)
            self.assertTrue(self.ended_soon(run, 10), f"{args} did not end after the message")
        run = self.start("/p", "0", folder=bare)
        time.sleep(2)
        self.assertIsNone(self.s.find_window(MESSAGE_TITLE))
        self.assertFalse((self.s.velk_temp / "Glassfall.ini").exists())

    def test_unrecognised_arguments_prepare_the_folder_and_end_without_a_run(self):
        for args in (("s",), ("/a",), ("/x", "5")):
            shutil.rmtree(self.s.velk_temp)
            run = self.start(*args)
            self.assertTrue(self.ended_soon(run, 15), f"{args} did not end")
            self.assertTrue(self.s.velk_temp.is_dir(), f"{args} made no temporary folder")
            self.assertFalse((self.s.velk_temp / "Glassfall.ini").exists(), f"{args} wrote the screen size")
            self.assertIsNone(self.s.find_window(RENDERER_TITLE))

    def test_closing_or_killing_the_renderer_mid_run_ends_the_host(self):
        for how in ("close", "kill"):
            run = self.start("/s")
            self.s.wait_window(RENDERER_TITLE, timeout=20)
            time.sleep(0.5)
            if how == "close":
                self.s.probe("close", RENDERER_TITLE)
            else:
                pids = windows_pids(self.folder + "\\Glassfall.dll")
                self.assertTrue(pids)
                for pid in pids:
                    os.kill(pid, signal.SIGKILL)
            self.assertTrue(self.s.wait_gone(RENDERER_TITLE, 15), how)
            gone = time.monotonic()
            self.assertEqual(run.wait_exit(10), 0, how)
            self.assertLess(time.monotonic() - gone, 1.5, f"{how}: host outlived its renderer")
            self.assert_snapshot_gone_settings_kept(how)

    def test_a_renderer_that_never_opens_its_window_ends_the_run_after_the_start_grace(self):
        # A program that exits at once in the renderer's place: no window ever appears.
        quitter = install(self.s, "Glassfall Quitter", renderer=h.TOOLS / "gfprobe.exe")
        run = self.start("/s", folder=quitter)
        self.s.wait_window(RUN_TITLE, timeout=15)
        time.sleep(3)  # far beyond the first watch tick, well inside the grace
        self.assertTrue(run.alive(), "the run ended before the start grace")
        self.assertEqual(run.wait_exit(15), 0)
        self.assertGreater(time.monotonic() - run.started, 9.5)

    def test_ten_starts_at_once_make_one_run_that_one_escape_ends(self):
        runs = [self.start("/s") for _ in range(10)]
        self.s.wait_window(RENDERER_TITLE, timeout=60)
        # Every start but one ends silently; one that also won would keep its own run.
        h.wait_until(lambda: sum(run.proc.poll() is not None for run in runs) >= 9, 60,
                     what="nine of the ten starts to end")
        alive = [run for run in runs if run.alive()]
        self.assertEqual(len(alive), 1)
        self.assertEqual(sorted(run.proc.returncode for run in runs if run is not alive[0]), [0] * 9)
        self.assertEqual(len(windows_pids(self.folder + "\\Glassfall.scr")), 1)
        self.assertEqual(len(windows_pids(self.folder + "\\Glassfall.dll")), 1)

        self.s.probe("key", RENDERER_TITLE, 27)  # one Escape
        self.assertTrue(self.s.wait_gone(RENDERER_TITLE, 20))
        self.assertEqual(alive[0].wait_exit(10), 0)
        self.assertIsNone(self.s.find_window(RUN_TITLE))
        h.wait_until(lambda: not windows_pids(self.folder + "\\Glassfall"), 15, what="no program of ours left")

    def test_a_renderer_that_is_no_program_ends_the_run_at_the_first_watch_tick(self):
        not_a_program = OUT / "not_a_program.dll"
        not_a_program.write_bytes(b"This file is not a program.\r\n" * 40)
        folder = install(self.s, "Glassfall Broken", renderer=not_a_program)
        run = self.start("/s", folder=folder)
        self.assertEqual(run.wait_exit(15), 0)
        # Timed from the screen size written at the start of the run, so that the time Wine
        # takes to load a program on a busy machine does not count.
        took = time.time() - (self.s.velk_temp / "Glassfall.ini").stat().st_mtime
        self.assertLess(took, 2.0, "the run waited for a renderer that could not start")
        self.assertIsNone(self.s.find_window(MESSAGE_TITLE))
        self.assert_snapshot_gone_settings_kept()

    def test_an_install_folder_outside_the_code_page_starts_the_renderer_and_writes_the_snapshot(self):
        folder = install(self.s, UNICODE_INSTALL)
        run = self.start("/s", folder=folder)
        self.s.wait_window(RENDERER_TITLE, timeout=20)
        self.assertIsNone(self.s.find_window(MESSAGE_TITLE))
        self.assertEqual(len(windows_pids(folder + "\\Glassfall.dll")), 1)
        headers, _ = read_bitmap(self.s.velk_temp / "Glassfall.alo")
        self.assertEqual((headers["type"], headers["width"], headers["height"]), (b"BM", *self.s.screen))
        self.s.probe("key", RENDERER_TITLE, 27)
        self.assertTrue(self.s.wait_gone(RENDERER_TITLE, 20))
        self.assertEqual(run.wait_exit(10), 0)
        self.assert_snapshot_gone_settings_kept()

    def test_links_planted_at_the_shared_files_are_never_written_through(self):
        mydata = self.s.drive_c / "mydata"
        mydata.mkdir(exist_ok=True)
        self.addCleanup(shutil.rmtree, mydata, True)
        thesis, notes, kept = mydata / "thesis.txt", mydata / "notes.ini", mydata / "kept.ini"
        thesis.write_bytes("My thesis, chapter 1.\r\n".encode() * 500)
        notes.write_bytes(b"[Settings]\r\nWidth=640\r\nHeight=480\r\n")
        kept.write_bytes(b"[Other]\r\nvalue=1\r\n")
        nowhere = mydata / "made_through_a_link.txt"
        snapshot, settings = self.s.velk_temp / "Glassfall.alo", self.s.velk_temp / "Glassfall.ini"
        plantings = {
            "symbolic links to files of the user": lambda: (snapshot.symlink_to(thesis), settings.symlink_to(notes)),
            "a dangling link and a second name": lambda: (snapshot.symlink_to(nowhere), os.link(kept, settings)),
        }
        for name, plant in plantings.items():
            with self.subTest(name):
                self.s.clear_velk_temp()
                before = {path: path.read_bytes() for path in (thesis, notes, kept)}
                plant()
                run = self.start("/s")
                self.s.wait_window(RENDERER_TITLE, timeout=20)
                self.s.probe("key", RENDERER_TITLE, 27)
                self.assertTrue(self.s.wait_gone(RENDERER_TITLE, 20))
                self.assertEqual(run.wait_exit(10), 0)
                for path, data in before.items():
                    self.assertEqual(path.read_bytes(), data, f"{path.name} was written through a link")
                self.assertFalse(nowhere.exists(), "a file was made where a dangling link pointed")


if __name__ == "__main__":
    unittest.main()
