"""Real sound for the end-to-end tests: a private PulseAudio server with a null sink, whose
monitor is recorded by parecord and cut into stretches of sound and silence. Shared by the
Wine music tests and the native ones."""

import array
import math
import os
import shutil
import signal
import subprocess
import wave
from pathlib import Path

import gfharness as h


class NullSink:
    """A private PulseAudio server whose only sink is a null sink: Wine gets an audio device,
    and the sink's monitor gives back exactly what was played, in real time."""

    def __init__(self, root):
        self.root = Path(root)
        (self.root / "home").mkdir(parents=True)
        (self.root / "run").mkdir(mode=0o700)
        self.socket = self.root / "run" / "pulse" / "native"
        env = dict(os.environ, HOME=str(self.root / "home"), XDG_RUNTIME_DIR=str(self.root / "run"))
        self.log = open(self.root / "pulseaudio.log", "w")
        self.proc = subprocess.Popen(
            ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
             "-L", "module-null-sink sink_name=nullsink rate=48000",
             "-L", "module-native-protocol-unix auth-anonymous=1",
             "-L", "module-always-sink"],
            env=env, stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT, start_new_session=True)
        h.wait_until(lambda: self.socket.exists() or self.proc.poll() is not None, 20, what="PulseAudio socket")
        if self.proc.poll() is not None:
            raise RuntimeError("PulseAudio did not start; see " + str(self.root / "pulseaudio.log"))

    def env(self):
        return {"PULSE_SERVER": f"unix:{self.socket}"}

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()
        shutil.rmtree(self.root, ignore_errors=True)


class Recording:
    """parecord from the null sink's monitor into a WAV file. Its first second is not to be
    trusted (parts can be missing or come from before), so it is started well before the
    program that plays and that second is left out of the analysis."""

    RATE, CHANNELS = 44100, 2
    UNTRUSTED = 1.0

    def __init__(self, sink, path):
        self.path = Path(path)
        # A file left by an earlier run would look long enough before parecord truncates it.
        self.path.unlink(missing_ok=True)
        self.proc = subprocess.Popen(
            ["parecord", "-d", "nullsink.monitor", "--file-format=wav", f"--rate={self.RATE}",
             f"--channels={self.CHANNELS}", "--format=s16le", "--latency-msec=50", str(self.path)],
            env=dict(os.environ, **sink.env()), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        h.wait_until(lambda: self.seconds() > self.UNTRUSTED + 0.5, 15, what="recording to begin")

    def seconds(self):
        """How far the recording has got: a mark to compare sound times with."""
        try:
            size = self.path.stat().st_size
        except FileNotFoundError:
            return 0.0
        return max(0, size - 44) / (self.RATE * self.CHANNELS * 2)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGINT)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        sound = Sound.load(self.path)
        sound.silence_before(self.UNTRUSTED)
        return sound


class Sound:
    """A recording as mono samples, cut into stretches of sound and silence."""

    def __init__(self, rate, samples):
        self.rate, self.samples = rate, samples

    @classmethod
    def load(cls, path):
        with wave.open(str(path)) as w:
            channels, rate = w.getnchannels(), w.getframerate()
            data = array.array("h", w.readframes(w.getnframes()))
        return cls(rate, data[::channels])

    @property
    def seconds(self):
        return len(self.samples) / self.rate

    def silence_before(self, seconds):
        n = min(len(self.samples), int(seconds * self.rate))
        self.samples[:n] = array.array("h", bytes(2 * n))

    def segments(self, window=0.01, threshold=1000, gap=0.1, shortest=0.1):
        """(start, end) in seconds of every stretch louder than `threshold` RMS. Stretches apart
        by no more than `gap` are joined and blips under `shortest` dropped: a loaded machine
        makes short drop-outs in the stream."""
        step = int(self.rate * window)
        found = []
        for i in range(0, len(self.samples) - step + 1, step):
            block = self.samples[i:i + step]
            if sum(x * x for x in block) / step <= threshold * threshold:
                continue
            t = i / self.rate
            if found and t - found[-1][1] <= gap:
                found[-1][1] = t + window
            else:
                found.append([t, t + window])
        return [tuple(s) for s in found if s[1] - s[0] >= shortest]

    def frequency(self, start, end, window=0.1):
        """The median of zero-crossing estimates over `window`-long pieces, so that a drop-out
        does not shift it."""
        estimates = []
        t = start
        while t + window <= end:
            part = self.samples[int(t * self.rate):int((t + window) * self.rate)]
            estimates.append(sum(1 for a, b in zip(part, part[1:]) if (a < 0) != (b < 0)) / 2 / window)
            t += window
        estimates.sort()
        return estimates[len(estimates) // 2] if estimates else 0.0


def tone_level(sound, start, end, hertz):
    """The amplitude of one frequency between `start` and `end` seconds (Goertzel), to tell
    apart tones of different pitch that may play at once."""
    part = sound.samples[int(start * sound.rate):int(end * sound.rate)]
    if not part:
        return 0.0
    coeff = 2 * math.cos(2 * math.pi * hertz / sound.rate)
    s1 = s2 = 0.0
    for x in part:
        s1, s2 = x + coeff * s1 - s2, s1
    power = s1 * s1 + s2 * s2 - coeff * s1 * s2
    return 2 * math.sqrt(max(power, 0.0)) / len(part)
