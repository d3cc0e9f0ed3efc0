"""Background music under Wine with the real multimedia stack, heard through a PulseAudio null
sink: the MP3 tone plays at its pitch and length and starts again after its end, the WAV tone
loops without a gap, and silence follows the end of the run; with no audio device, no CD drive
and bad music settings the run goes on silently. Whole runs of Glassfall.scr prove what is
heard; music_probe (the same music code over the real winmm, alone) shows what the device
reports. Recordings are left in out/e2e/music/."""

import shutil
import subprocess
import tempfile
import time
import unittest

import gfharness as h
from gfsound import NullSink, Recording

OUT = h.OUT / "e2e" / "music"
RUN_TITLE = "Glassfall_Main"
RENDERER_TITLE = "Glassfall_VC"
MESSAGE_TITLE = "Glassfall (ScreenSaver)"
MUSIC_DIR = "Music Tests"  # blanks on purpose: the open command must quote the path
MP3 = f"C:\\{MUSIC_DIR}\\tone 440.mp3"  # 2.0 s at 440 Hz
WAV = f"C:\\{MUSIC_DIR}\\tone 660.wav"  # 1.0 s at 660 Hz
MP3_SECONDS = 2.0
# On a loaded machine the 440 Hz tone played through Wine's MP3 player has read up to a ninth
# high (450 to 495 seen in clean segments; samples lost on the way, not the file's pitch). The
# check is that the MP3 is what is heard: nearer its 440 Hz than the WAV's 660.
MP3_PITCH_TOLERANCE = 100
# Recorded after each end: any sound left after a run or a close shows in this stretch.
AFTER_SECONDS = 2.2


# --------------------------------------------------------------------------- runs

def install_tones(session):
    folder = session.drive_c / MUSIC_DIR
    folder.mkdir(parents=True, exist_ok=True)
    subprocess.run(["sh", str(h.ROOT / "tools" / "make_tones.sh"), str(folder)], check=True)
    shutil.move(folder / "tone440.mp3", folder / "tone 440.mp3")
    shutil.move(folder / "tone660.wav", folder / "tone 660.wav")
    return folder


class HostRun:
    """One screensaver run of Glassfall.scr /s with the real renderer, ended by Escape."""

    def __init__(self, session, extra_env):
        self.s = session
        assert session.find_window(RUN_TITLE) is None, "a run is still going"
        self.proc = session.start_program(h.BIN / "Glassfall.scr", "/s", env=session.env(**extra_env))
        try:
            session.wait_window(RUN_TITLE, timeout=30)
            session.wait_window(RENDERER_TITLE, timeout=30)
        except Exception:
            self.clean_up()
            raise

    def clean_up(self):
        """Never leaves a run behind for the next test."""
        if self.s.find_window(RUN_TITLE) is not None:
            self.s.probe("close", RENDERER_TITLE)
            self.s.wait_gone(RUN_TITLE, timeout=10)

    def alive(self):
        return (self.proc.poll() is None and self.s.find_window(RUN_TITLE) is not None
                and self.s.find_window(RENDERER_TITLE) is not None)

    def end(self):
        """Escape in the renderer; the host ends at its next watch tick. Returns its exit code."""
        self.s.probe("key", RENDERER_TITLE, 27)
        if not self.s.wait_gone(RENDERER_TITLE, timeout=10):
            self.s.probe("close", RENDERER_TITLE)
        try:
            return self.proc.wait(timeout=20)
        finally:
            self.clean_up()


def probe(session, extra_env, mode, repeat, file, run_seconds, after_seconds=0.0):
    """music_probe: the music of one run over the real winmm; returns its lines as
    (milliseconds, text)."""
    r = subprocess.run(["wine", str(h.TOOLS / "music_probe.exe"), str(mode), str(repeat), file, str(run_seconds),
                        str(after_seconds)], env=session.env(**extra_env), capture_output=True, timeout=120)
    lines = []
    for raw in r.stdout.decode("utf-8", "replace").splitlines():
        ms, _, text = raw.strip().partition(" ")
        if ms.isdigit():
            lines.append((int(ms), text))
    if not lines or lines[-1][1] != "exit":
        raise AssertionError("music_probe did not finish: " + r.stderr.decode("utf-8", "replace")[-500:])
    return lines


class MusicTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        OUT.mkdir(parents=True, exist_ok=True)
        cls.s = h.session()
        # HACK: a wineserver that is not kept alive exits a few seconds after its last program,
        # and the next one's start-up (prefix services) can hold a run's start for a minute;
        # one waiting probe keeps it up for the whole class.
        keeper = cls.s.start_program(h.TOOLS / "gfprobe.exe", "wait", "music tests keep-alive", 3600000)
        cls.addClassCleanup(lambda: (keeper.terminate(), keeper.wait(10)))
        # The first program of a new wineserver starts the prefix's services, which must not
        # inherit (and hold open) the output pipes of a captured run.
        subprocess.run(["wine", str(h.TOOLS / "gfprobe.exe"), "find", "-"], env=cls.s.env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        install_tones(cls.s)
        # A short path of its own: the server's socket path has a small length limit.
        cls.sink = NullSink(tempfile.mkdtemp(prefix="gfpulse-"))
        cls.addClassCleanup(cls.sink.stop)
        cls.sound = cls.sink.env()
        # Wine without any audio output: a server that is not there.
        cls.silent = {"PULSE_SERVER": f"unix:{h.STATE_DIR}/no-such-pulse/native"}

    def setUp(self):
        self.s.clear_velk_temp()

    def settings(self, mode, file="", repeat=0):
        self.s.write_settings(**{"BGM区分": mode, "BGMﾘﾋﾟｰﾄ": repeat, "BGMﾌｧｲﾙ": file})

    def whole_run(self, seconds, env):
        """A run of `seconds` that must still be going then, with no message shown; ended by
        Escape in any case. Returns its exit code."""
        run = HostRun(self.s, env)
        try:
            time.sleep(seconds)
            self.assertTrue(run.alive(), "the run should still be going")
            self.assertIsNone(self.s.find_window(MESSAGE_TITLE), "no message may be shown")
        finally:
            code = run.end()
        return code

    @staticmethod
    def record_after(rec, end_mark):
        h.wait_until(lambda: rec.seconds() >= end_mark + AFTER_SECONDS, AFTER_SECONDS + 10,
                     what="the recording after the end")

    def recorded_run(self, name, seconds):
        """A whole run of `seconds` while recording; returns (sound, end mark in seconds)."""
        rec = Recording(self.sink, OUT / f"{name}.wav")
        try:
            code = self.whole_run(seconds, self.sound)
            end_mark = rec.seconds()
            self.record_after(rec, end_mark)
        finally:
            sound = rec.stop()
        self.assertEqual(code, 0)
        return sound, end_mark

    def silent_runs(self, name, runs, seconds=3.0):
        """Whole runs of `seconds`, one after another under one recording: `runs` maps a name
        to (mode, file, repeat, env). Returns the sound and each run's marks (start, end, the
        next one's start): what is heard in between is that run's doing."""
        rec = Recording(self.sink, OUT / f"{name}.wav")
        marks = {}
        try:
            for label, (mode, file, repeat, env) in runs.items():
                with self.subTest(label):
                    self.settings(mode, file, repeat)
                    start = rec.seconds()
                    code = self.whole_run(seconds, env)
                    marks[label] = [start, rec.seconds()]
                    self.assertEqual(code, 0)
            self.assertTrue(marks, "no run went through")
            self.record_after(rec, max(end for _, end in marks.values()))
        finally:
            sound = rec.stop()
        starts = sorted(start for start, _ in marks.values())
        for mark in marks.values():
            mark.append(next((t for t in starts if t > mark[0]), sound.seconds))
        return sound, marks

    @staticmethod
    def heard_between(sound, start, until):
        return [(round(a, 2), round(b, 2)) for a, b in sound.segments() if b > start and a < until]

    def assert_silent_after(self, sound, end_mark, slack=0.5, until=None):
        """Nothing heard from `slack` after the end mark on (until `until`, when given)."""
        segments = sound.segments()
        if until is not None:
            segments = [(a, b) for a, b in segments if a < until]
        last_end = segments[-1][1] if segments else 0.0
        self.assertLessEqual(last_end, end_mark + slack, f"sound after the run ended: {segments}")
        self.assertGreater(sound.seconds - end_mark, 2.0, "too little recorded after the end")

    # -- whole runs, heard

    def test_mp3_is_heard_restarts_after_its_end_and_stops_with_the_run(self):
        self.settings(2, MP3)
        sound, end_mark = self.recorded_run("mp3_run", 6.0)
        # A drop-out of the loaded machine's sound stream (120 ms seen, within a play) is not a
        # restart: those come a second after each end, when the player finds it stopped.
        segments = sound.segments(gap=0.2)
        print("mp3 run segments", [(round(a, 2), round(b, 2)) for a, b in segments], "end", round(end_mark, 2))
        self.assertGreaterEqual(len(segments), 2, "the file should have started again after its end")
        for a, b in segments:
            if b - a > 0.3:
                self.assertAlmostEqual(sound.frequency(a + 0.05, b - 0.05), 440, delta=MP3_PITCH_TOLERANCE)
        # A play that neither began with the run nor was cut by its end is the whole file; its
        # first fraction can be lost while the player starts.
        middle = segments[1:-1] if len(segments) > 2 else segments[1:]
        self.assertTrue(middle)
        for a, b in middle[:1]:
            self.assertGreater(b - a, MP3_SECONDS - 0.5)
            self.assertLess(b - a, MP3_SECONDS + 0.1)
        # Restart within about a second of each end.
        for (_, b), (c, _) in zip(segments, segments[1:]):
            self.assertLess(c - b, 1.6, f"restart too late: {segments}")
        self.assert_silent_after(sound, end_mark)

    def test_wav_loops_without_a_gap_and_stops_with_the_run(self):
        self.settings(2, WAV)
        sound, end_mark = self.recorded_run("wav_run", 5.0)
        segments = sound.segments()
        print("wav run segments", [(round(a, 2), round(b, 2)) for a, b in segments], "end", round(end_mark, 2))
        self.assertEqual(len(segments), 1, f"the loop should be one unbroken sound: {segments}")
        a, b = segments[0]
        self.assertGreater(b - a, 3.5, "the 1 s file should have looped several times")
        self.assertAlmostEqual(sound.frequency(a + 0.05, b - 0.05), 660, delta=5)
        self.assertGreater(b, end_mark - 1.0, "the loop should last until the run ends")
        self.assert_silent_after(sound, end_mark)

    def test_no_audio_device_the_run_goes_on_silently(self):
        sound, marks = self.silent_runs("no_device", {"mp3": (2, MP3, 0, self.silent), "wav": (2, WAV, 0, self.silent)})
        for name, (start, _, until) in marks.items():
            with self.subTest(name):
                self.assertEqual(self.heard_between(sound, start, until), [])

    def test_no_cd_drive_the_run_goes_on_silently(self):
        sound, marks = self.silent_runs("no_cd_drive", {"cd": (1, "", 2, self.sound)})
        self.assertEqual(len(marks), 1)
        self.assertEqual(sound.segments(), [])

    def test_bad_music_settings_the_run_goes_on_silently(self):
        folder = self.s.drive_c / MUSIC_DIR
        (folder / "album.mp3").mkdir(exist_ok=True)
        # A file path beyond 255 bytes, in folders a Unix path can hold.
        deep = folder
        for _ in range(6):
            deep = deep / ("d" * 40)
        deep.mkdir(parents=True, exist_ok=True)
        shutil.copy(folder / "tone 440.mp3", deep / "long tone.mp3")
        shutil.copy(folder / "tone 660.wav", deep / "long tone.wav")
        long_dir = f"C:\\{MUSIC_DIR}" + ("\\" + "d" * 40) * 6
        cases = {
            "folder": f"C:\\{MUSIC_DIR}\\album.mp3",
            "not_audio_mp3": f"C:\\{MUSIC_DIR}\\not audio.mp3",
            "not_audio_wav": f"C:\\{MUSIC_DIR}\\not audio.wav",
            "long_mp3": long_dir + "\\long tone.mp3",
            "long_wav": long_dir + "\\long tone.wav",
        }
        self.assertGreater(len(cases["long_mp3"].encode()), 255)
        sound, marks = self.silent_runs("bad_settings", {name: (2, file, 0, self.sound) for name, file in cases.items()})
        for name, (start, end, until) in marks.items():
            with self.subTest(name):
                heard = self.heard_between(sound, start, until)
                print(name, "segments", heard)
                if name.startswith("long"):
                    # Whether the system plays so long a path is its own affair; nothing may
                    # go on after the run.
                    self.assertTrue(all(b <= end + 0.5 for _, b in heard), f"sound after the run ended: {heard}")
                else:
                    self.assertEqual(heard, [])

    # -- the device's own reports, through the same music code alone

    def test_overlong_path_reaches_the_system_whole_and_nothing_breaks(self):
        # The settings file cannot carry so long a value, so the music code gets it here directly.
        folder = self.s.drive_c / MUSIC_DIR
        deep = folder
        for _ in range(6):
            deep = deep / ("e" * 40)
        deep.mkdir(parents=True, exist_ok=True)
        shutil.copy(folder / "tone 440.mp3", deep / "long tone.mp3")
        shutil.copy(folder / "tone 660.wav", deep / "long tone.wav")
        long_dir = f"C:\\{MUSIC_DIR}" + ("\\" + "e" * 40) * 6
        # One recording for both: each probe stays 2.5 s after its close, and what is heard
        # from then until the next one starts is the earlier one's doing.
        marks = {}
        rec = Recording(self.sink, OUT / "probe_long.wav")
        try:
            for file in (long_dir + "\\long tone.mp3", long_dir + "\\long tone.wav"):
                with self.subTest(file=file[-13:]):
                    self.assertGreater(len(file.encode()), 255)
                    start = rec.seconds()
                    lines = probe(self.s, self.sound, 2, 0, file, 3.0, after_seconds=2.5)
                    marks[file] = (start, rec.seconds() - 2.5)
                    texts = [t for _, t in lines]
                    print("\n".join(texts[:4]))
                    self.assertTrue(any(file in t for t in texts), "the whole path should reach the system")
        finally:
            sound = rec.stop()
        print("long path segments", sound.segments())
        self.assertEqual(len(marks), 2)
        starts = sorted(start for start, _ in marks.values())
        for file, (start, end_mark) in marks.items():
            with self.subTest(file=file[-13:]):
                later = [t for t in starts if t > start]
                self.assert_silent_after(sound, end_mark, until=later[0] if later else None)

    def test_mp3_device_reports_playing_then_is_restarted_and_closed(self):
        rec = Recording(self.sink, OUT / "probe_mp3.wav")
        try:
            lines = probe(self.s, self.sound, 2, 0, MP3, 5.5, after_seconds=2.5)
            end_mark = rec.seconds() - 2.5  # the probe stays 2.5 s after the end
        finally:
            sound = rec.stop()
        texts = [t for _, t in lines]
        print("\n".join(f"{ms:6d} {t}" for ms, t in lines))
        self.assertEqual(texts[1], f'mci open "{MP3}" type MPEGVideo Alias MP3Play [0] -> 0')
        self.assertEqual(texts[2], "mci play MP3Play [0] -> 0")
        modes = [t.rsplit("'", 2)[1] for t in texts if t.startswith("mci status MP3Play mode [30] -> 0")]
        self.assertEqual(modes[0], "playing")
        self.assertIn("stopped", modes, "the 2 s file should have come to its end")
        restart = texts.index("mci stop MP3Play [0] -> 0")
        self.assertEqual(texts[restart + 1], "mci play MP3Play from 0 [0] -> 0")
        self.assertEqual(modes[modes.index("stopped") + 1], "playing")
        self.assertEqual(texts[-3:], ["mci stop MP3Play [0] -> 0", "mci close MP3Play [0] -> 0", "exit"])
        # Alive for 2.5 s after the close: silence then is the close's doing, not the end of a process.
        self.assert_silent_after(sound, end_mark)

    def test_wav_stop_silences_the_loop_of_a_living_program(self):
        rec = Recording(self.sink, OUT / "probe_wav.wav")
        try:
            lines = probe(self.s, self.sound, 2, 0, WAV, 4.5, after_seconds=2.5)
            end_mark = rec.seconds() - 2.5
        finally:
            sound = rec.stop()
        texts = [t for _, t in lines]
        # Asynchronous, looping, and no default sound should the file be unplayable.
        self.assertEqual(texts[1:3], ["wavedevices -> 2", f"playsound {WAV} 11 -> 1"])
        self.assertEqual(texts[-2:], ["playsound (null) 0 -> 1", "exit"])
        segments = sound.segments()
        self.assertEqual(len(segments), 1, segments)
        # Longer than the 1 s file: it looped (the start of the recording is left out).
        self.assertGreater(segments[0][1] - segments[0][0], 1.5)
        self.assert_silent_after(sound, end_mark)

    def test_without_device_or_drive_the_failures_are_the_expected_ones(self):
        mp3 = [t for _, t in probe(self.s, self.silent, 2, 0, MP3, 1.5)]
        self.assertTrue(mp3[1].startswith(f'mci open "{MP3}" type MPEGVideo Alias MP3Play [0] -> '))
        self.assertFalse(mp3[1].endswith("-> 0"), "no output device: the open should fail")
        self.assertNotIn("mci play MP3Play [0] -> 0", mp3)
        wav = [t for _, t in probe(self.s, self.silent, 2, 0, WAV, 0.5)]
        self.assertEqual(wav[1:3], ["wavedevices -> 0", "end"])
        cd = [t for _, t in probe(self.s, self.sound, 1, 0, "", 1.5)]
        polls = [t for t in cd if t.startswith("mci status cdaudio current track")]
        self.assertEqual(len(polls), 1, "polling should end at the first failing track query")
        self.assertFalse(polls[0].endswith("-> 0"))
        self.assertEqual(cd[cd.index("end") + 1:], ["exit"], "no stop or close after polling ended")


if __name__ == "__main__":
    unittest.main()
