"""The native program's music, heard through a private PulseAudio null sink: an MP3 and a WAV
file loop without a gap while `glassfall --window --music FILE` runs and fall silent within
0.5 s of SIGTERM; SIGTERM ends the program within a second whatever its music is doing (even
GStreamer's first start); a music file that is no audio is named in one line on stderr; of two
processes with music exactly one plays (the player lock), and when it ends the other takes
over; `--cd` with no drive leaves the picture breaking in silence.
Recordings are left in out/e2e/linux_music/."""

import os
import random
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

import gfharness as h
import linuxharness as lh
from gfsound import NullSink, Recording, tone_level

OUT = h.OUT / "e2e" / "linux_music"
SCREEN = (320, 240)
MP3_SECONDS, WAV_SECONDS = 2.0, 1.0  # tools/make_tones.sh: 440 Hz MP3, 660 Hz WAV


class LinuxMusicTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        OUT.mkdir(parents=True, exist_ok=True)
        cls.folder = Path(tempfile.mkdtemp(prefix="gfmusic-"))
        cls.addClassCleanup(shutil.rmtree, cls.folder, ignore_errors=True)
        tones = cls.folder / "my tones"  # blanks on purpose
        subprocess.run(["sh", str(h.ROOT / "tools" / "make_tones.sh"), str(tones)], check=True)
        cls.mp3, cls.wav = tones / "tone440.mp3", tones / "tone660.wav"
        cls.x = lh.Xvfb(SCREEN)
        cls.addClassCleanup(cls.x.stop)
        cls.x.set_root_picture(lh.mp.test_picture(*SCREEN), cls.folder)
        cls.sink = NullSink(tempfile.mkdtemp(prefix="gfpulse-"))
        cls.addClassCleanup(cls.sink.stop)
        runtime = cls.folder / "runtime"  # the player lock's folder
        runtime.mkdir(mode=0o700)
        cls.env = cls.x.env(XDG_RUNTIME_DIR=runtime, **cls.sink.env())

    def start(self, *args):
        """glassfall --window with `args`, once its window shows."""
        before = len(self.windows())
        proc = lh.start_glassfall(self.x, "--window", *args, env=self.env)
        self.addCleanup(lh.end, proc)
        h.wait_until(lambda: len(self.windows()) > before or proc.poll() is not None, 30, what="the window")
        self.assertIsNone(proc.poll(), proc.stderr.read().decode() if proc.poll() is not None else "")
        return proc

    def start_in_window(self, region, *args):
        """glassfall --window-id in a window of the test's at `region`, as XScreenSaver runs one
        per monitor, once it draws there."""
        window = lh.TestWindow(self.x, *region)
        self.addCleanup(window.close)
        before = self.x.screenshot().crop(*region)
        proc = lh.start_glassfall(self.x, "--window-id", hex(window.id), *args, env=self.env)
        self.addCleanup(lh.end, proc)
        h.wait_until(lambda: proc.poll() is not None or self.x.screenshot().crop(*region).differs_from(before, 0.5),
                     30, what="its picture in the window")
        self.assertIsNone(proc.poll(), proc.stderr.read().decode() if proc.poll() is not None else "")
        return proc

    def windows(self):
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Glassfall$"], env=self.x.env(),
                           capture_output=True, text=True, timeout=30)
        return r.stdout.split()

    def terminate(self, proc, rec):
        """SIGTERM; returns (exit code, the recording's mark at the signal)."""
        mark = rec.seconds()
        proc.send_signal(signal.SIGTERM)
        code = proc.wait(5)
        return code, mark

    def record_on(self, rec, seconds):
        """Lets the recording run on for `seconds` from now."""
        until = rec.seconds() + seconds
        h.wait_until(lambda: rec.seconds() >= until, seconds + 15, what="the recording to go on")

    @staticmethod
    def shards(view):
        return lh.broken(view) and lh.drawn(view)

    def left_behind(self):
        """Live processes that inherited the programs' private runtime folder: anything the
        program started (a sound server, a helper) and left."""
        return lh.carrying(f"XDG_RUNTIME_DIR={self.env['XDG_RUNTIME_DIR']}")

    def test_file_loops_without_a_gap_and_is_silent_half_a_second_after_sigterm(self):
        for path, seconds, hertz in ((self.mp3, MP3_SECONDS, 440), (self.wav, WAV_SECONDS, 660)):
            with self.subTest(path.suffix):
                rec = Recording(self.sink, OUT / f"loop_{path.suffix[1:]}.wav")
                try:
                    proc = self.start("--music", str(path))
                    self.record_on(rec, 2 * seconds + 2.5)
                    code, end = self.terminate(proc, rec)
                    self.record_on(rec, 1.5)
                finally:
                    sound = rec.stop()
                stderr = proc.stderr.read().decode()
                self.assertEqual(code, 0, stderr)
                self.assertEqual(stderr, "")
                # Joined over gaps up to 0.2 s: one stretch means no longer gap between plays.
                plays = sound.segments(gap=0.2)
                fine = sound.segments(window=0.005, gap=0.0, shortest=0.05)
                print(path.name, "sound", [(round(a, 2), round(b, 2)) for a, b in plays], "end", round(end, 2),
                      "gaps", [round(c - b, 3) for (_, b), (c, _) in zip(fine, fine[1:]) if c < end])
                self.assertEqual(len(plays), 1, f"one unbroken sound: {plays}")
                gaps = [c - b for (_, b), (c, _) in zip(fine, fine[1:]) if c < end]
                self.assertLessEqual(max(gaps, default=0), 0.02, "no gap at the loop point")
                start, stop = plays[0]
                self.assertGreater(min(stop, end) - start, 2 * seconds, "heard at least twice")
                self.assertAlmostEqual(sound.frequency(start + 0.1, min(stop, end) - 0.1), hertz, delta=5)
                self.assertGreater(stop, end - 0.3, "the music lasts until the end")
                self.assertLessEqual(stop, end + 0.5, "silence within 0.5 s of SIGTERM")
                self.assertEqual(self.left_behind(), [], "no process of the program's may stay")

    def stderr_lines(self, proc):
        """What the running process has written to stderr so far, as lines."""
        os.set_blocking(proc.stderr.fileno(), False)
        chunk = proc.stderr.read()
        self.__dict__.setdefault("_err", {}).setdefault(proc.pid, b"")
        if chunk:
            self._err[proc.pid] += chunk
        return self._err[proc.pid].decode(errors="replace").splitlines()

    def test_music_file_that_is_no_audio_is_named_once_and_nothing_plays(self):
        noise = self.folder / "random.mp3"
        noise.write_bytes(random.Random(22).randbytes(64 * 1024))
        empty = self.folder / "empty.mp3"
        empty.write_bytes(b"")
        for path in (noise, empty):
            with self.subTest(path.name):
                rec = Recording(self.sink, OUT / f"not_audio_{path.stem}.wav")
                try:
                    proc = self.start("--music", str(path))
                    line = f"glassfall: music file is not audio, nothing plays: {path}"
                    h.wait_until(lambda: line in self.stderr_lines(proc), 30, what="the line on stderr")
                    self.record_on(rec, 1.5)  # the music's watch ticks on meanwhile
                    code, _ = self.terminate(proc, rec)
                finally:
                    sound = rec.stop()
                self.assertEqual(code, 0)
                self.assertEqual(self.stderr_lines(proc), [line])
                self.assertEqual(sound.segments(), [])

    # A plugin of our own whose loading takes seconds: GStreamer's first start (a fresh
    # registry) is then under way when the signal comes. It marks its start in a file, and
    # gives up when the process that loads it goes.
    SLOW_PLUGIN = r"""
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
__attribute__((constructor)) static void slow_start(void) {
    const char* mark = getenv("GF_SLOW_PLUGIN_MARK");
    if (mark) { FILE* f = fopen(mark, "w"); if (f) fclose(f); }
    pid_t parent = getppid();
    for (int i = 0; i < 200 && getppid() == parent; ++i) usleep(25000);
}
"""

    def slow_plugin_env(self):
        folder = Path(tempfile.mkdtemp(prefix="gfslow-", dir=self.folder))
        source = folder / "slow.c"
        source.write_text(self.SLOW_PLUGIN)
        subprocess.run(["cc", "-shared", "-fPIC", "-o", str(folder / "libgstslowstart.so"), str(source)], check=True)
        return {"GST_REGISTRY": str(folder / "registry.bin"), "GST_PLUGIN_PATH": str(folder),
                "GF_SLOW_PLUGIN_MARK": str(folder / "loading")}, folder / "loading"

    def test_sigterm_ends_the_program_within_a_second_whatever_the_music_does(self):
        slow_env, loading = self.slow_plugin_env()
        for what, env in (("playing", {}), ("GStreamer's first start", slow_env)):
            with self.subTest(what):
                rec = Recording(self.sink, OUT / f"sigterm_{'playing' if not env else 'first_start'}.wav")
                try:
                    saved = self.env
                    self.env = {**saved, **env}
                    try:
                        proc = self.start("--music", str(self.mp3))
                    finally:
                        self.env = saved
                    if env:
                        h.wait_until(loading.exists, 30, what="GStreamer to load the slow plugin")
                    else:
                        self.record_on(rec, 2.5)
                    sent = time.monotonic()
                    proc.send_signal(signal.SIGTERM)
                    code = proc.wait(5)
                    took = time.monotonic() - sent
                finally:
                    sound = rec.stop()
                print(f"SIGTERM while {what}: gone after {took:.2f} s")
                self.assertEqual(code, 0, proc.stderr.read().decode())
                self.assertLess(took, 1.0)
                if not env:
                    self.assertTrue(sound.segments(), "the music played before the signal")
                # GStreamer's plugin scanner, if it loads the plugin, ends when it sees its parent go.
                h.wait_until(lambda: not self.left_behind(), 5, what="no process of the program's left")

    def test_of_two_processes_one_plays_and_the_other_takes_over_when_it_ends(self):
        rec = Recording(self.sink, OUT / "two_processes.wav")
        try:
            # Two monitors' processes under XScreenSaver, each in its window (own windows would be
            # one overlay too many: the second would leave the screen to the first).
            first = self.start_in_window((0, 0, 160, 120), "--music", str(self.mp3))
            second = self.start_in_window((160, 0, 160, 120), "--music", str(self.wav))
            both = rec.seconds()
            self.record_on(rec, 3.0)
            code_first, first_end = self.terminate(first, rec)
            self.record_on(rec, 3.5)
            code_second, second_end = self.terminate(second, rec)
            self.record_on(rec, 1.0)
        finally:
            sound = rec.stop()
        self.assertEqual((code_first, code_second), (0, 0))

        def levels(a, b):
            return round(tone_level(sound, a, b, 440)), round(tone_level(sound, a, b, 660))

        # While both run, the first one's tone alone (it took the lock); then the second's alone.
        together = levels(both + 0.5, first_end)
        alone = levels(first_end + 2.5, second_end)
        print("440/660 Hz levels: both running", together, "second alone", alone)
        self.assertGreater(together[0], 3000)
        self.assertLess(together[1], together[0] / 20, "the second process must not play as well")
        self.assertGreater(alone[1], 3000, "the second process takes over")
        self.assertLess(alone[0], alone[1] / 20)
        segments = sound.segments(gap=0.2)
        self.assertTrue(segments)
        self.assertLessEqual(segments[-1][1], second_end + 0.5)
        self.assertEqual(self.left_behind(), [])
        t = first_end
        while t < second_end and tone_level(sound, t, t + 0.1, 660) < 3000:
            t += 0.05
        print(f"the second process heard {t - first_end:.2f} s after the first one's SIGTERM")

    def test_cd_without_a_drive_breaks_the_picture_in_silence_and_ends_with_0(self):
        rec = Recording(self.sink, OUT / "cd_no_drive.wav")
        try:
            proc = self.start("--cd")
            # Whole first (drawn, with no background showing), then in shards.
            h.wait_until(lambda: self.x.screenshot().dark_fraction() < 0.05, 20, interval=0.1, what="the whole picture")
            h.wait_until(lambda: self.shards(self.x.screenshot()), 20, interval=0.2, what="the picture to break")
            self.x.screenshot(OUT / "cd_no_drive_broken.png")
            code, _ = self.terminate(proc, rec)
            self.record_on(rec, 0.5)
        finally:
            sound = rec.stop()
        self.assertEqual(code, 0)
        self.assertLessEqual(len(proc.stderr.read().decode().splitlines()), 1)
        self.assertEqual(sound.segments(), [])


if __name__ == "__main__":
    unittest.main()
