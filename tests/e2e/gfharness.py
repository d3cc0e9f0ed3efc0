"""End-to-end harness: the Windows programs under Wine on a private Xvfb display.

One session (Xvfb + Wine prefix + persistent wineserver) serves a whole test run. ctest
starts it in a setup fixture (`gfharness.py start`) and ends it in a cleanup fixture
(`gfharness.py stop`); a test file run by hand starts its own and ends it at exit.
Everything the session starts is recorded in its state file, and only that is stopped.

Pictures are read through ImageMagick into plain RGB bytes; comparisons are numeric.
"""

import atexit
import fcntl
import json
import operator
import os
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD_WIN = ROOT / "build" / "windows"
BIN = BUILD_WIN / "bin"
TOOLS = BUILD_WIN / "tools"
OUT = ROOT / "out"
STATE_DIR = ROOT / "build" / "e2e"
STATE_FILE = STATE_DIR / "session.json"

SCREEN = (1280, 1024)
JA_LOCALE = "ja_JP.UTF-8"


# --------------------------------------------------------------------------- waiting

def wait_until(condition, timeout, interval=0.05, what="condition"):
    """Polls `condition` until it returns a truthy value; raises after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout:.1f}s waiting for {what}")
        time.sleep(interval)


# --------------------------------------------------------------------------- session

_reserved_displays = {}


def _free_display():
    """A display number no server holds and no other test process is about to take: two test
    files run side by side, and a server makes its lock file only a moment after it starts. The
    number stays reserved (a lock held on a file of ours) for this process's life."""
    for n in range(91, 160):
        if Path(f"/tmp/.X{n}-lock").exists() or Path(f"/tmp/.X11-unix/X{n}").exists():
            continue
        if n in _reserved_displays:  # ours, and its server has gone
            return n
        reservation = open(f"/tmp/.gf-display-{n}.reserved", "a")
        try:
            fcntl.flock(reservation, fcntl.LOCK_EX | fcntl.LOCK_NB)
        except BlockingIOError:
            reservation.close()
            continue
        if Path(f"/tmp/.X{n}-lock").exists():  # taken between the look and the lock
            reservation.close()
            continue
        _reserved_displays[n] = reservation
        return n
    raise RuntimeError("no free X display number")


def _wait_for_x_server(proc, display, timeout, name, log=None):
    """Until the server listens on its socket; raises if it ended instead."""
    wait_until(lambda: Path(f"/tmp/.X11-unix/X{display}").exists() or proc.poll() is not None, timeout,
               what=f"{name} socket")
    if proc.poll() is not None:
        raise RuntimeError(f"{name} :{display} failed to start" + (f" (see {log})" if log else ""))


def _ensure_locale():
    """Wine gives code page 932 only when the glibc locale exists."""
    out = subprocess.run(["locale", "-a"], capture_output=True, text=True).stdout.lower()
    if "ja_jp.utf8" in out:
        return True
    if os.geteuid() == 0:
        r = subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8", JA_LOCALE], capture_output=True)
        return r.returncode == 0
    return False


class Session:
    def __init__(self, display, prefix, xvfb_pid, screen, owned=True):
        self.display = display
        self.prefix = Path(prefix)
        self.xvfb_pid = xvfb_pid
        self.screen = tuple(screen)
        self.owned = owned

    # -- life cycle
    @classmethod
    def start(cls, screen=SCREEN, prefix=None, state_file=None):
        display = _free_display()
        prefix = Path(prefix or (STATE_DIR / "prefix"))
        prefix.parent.mkdir(parents=True, exist_ok=True)
        log = open(STATE_DIR / f"xvfb-{display}.log", "w")
        xvfb = subprocess.Popen(
            ["Xvfb", f":{display}", "-screen", "0", f"{screen[0]}x{screen[1]}x24", "-nolisten", "tcp", "-noreset"],
            stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        session = cls(display, prefix, xvfb.pid, screen)
        _wait_for_x_server(xvfb, display, 20, "Xvfb")
        session.prepare_wine()
        if state_file:
            Path(state_file).write_text(json.dumps(session.to_json()))
        return session

    @classmethod
    def on_display(cls, display, screen, prefix):
        """A session on an X server someone else owns (say a DummyXorg): only the Wine side
        is started here, and stop() leaves the server alone."""
        session = cls(display, prefix, None, screen)
        Path(prefix).parent.mkdir(parents=True, exist_ok=True)
        session.prepare_wine()
        return session

    def prepare_wine(self):
        """Locale, persistent wineserver, prefix, warm-up: everything before the first program."""
        session, prefix = self, self.prefix
        _ensure_locale()
        # The wineserver is made persistent before anything else starts one: `-p` on a server
        # that is already up (say, wineboot's) does not make it persistent, and a server that
        # exits when idle is restarted later by some program whose captured output pipes the new
        # daemon then holds open, stalling that call. Its output goes nowhere for the same reason.
        quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        prefix.mkdir(parents=True, exist_ok=True)
        subprocess.run(["wineserver", "-k"], env=session.env(), timeout=60, **quiet)
        subprocess.run(["wineserver", "-w"], env=session.env(), timeout=60, **quiet)
        subprocess.run(["wineserver", "-p"], env=session.env(), timeout=60, **quiet)
        if not (prefix / "system.reg").exists():
            subprocess.run(["wineboot", "-i"], env=session.env(), check=True, timeout=300, **quiet)
        session.velk_temp.mkdir(parents=True, exist_ok=True)
        # Warm-up: the first program of a new wineserver starts the prefix's services (slow).
        subprocess.run(["wine", str(TOOLS / "gfprobe.exe"), "find", "-"], env=session.env(),
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=300)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        if self.xvfb_pid is None:
            return
        try:
            os.kill(self.xvfb_pid, signal.SIGTERM)
        except ProcessLookupError:
            pass

    def to_json(self):
        return {"display": self.display, "prefix": str(self.prefix), "xvfb_pid": self.xvfb_pid,
                "screen": list(self.screen)}

    # -- environment
    def env(self, **extra):
        env = dict(os.environ)
        env.update({
            "DISPLAY": f":{self.display}",
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "LANG": JA_LOCALE,
            "LC_ALL": JA_LOCALE,
        })
        env.update(extra)
        return env

    @property
    def drive_c(self):
        return self.prefix / "drive_c"

    @property
    def velk_temp(self):
        return self.drive_c / "velk_temp"

    def clear_velk_temp(self):
        if self.velk_temp.exists():
            shutil.rmtree(self.velk_temp)
        self.velk_temp.mkdir(parents=True)

    def write_settings(self, **values):
        """Writes Glassfall.ini; keys as given, bytes in the Japanese ANSI code page."""
        lines = ["[Settings]"] + [f"{k}={v}" for k, v in values.items()]
        self.velk_temp.mkdir(parents=True, exist_ok=True)
        (self.velk_temp / "Glassfall.ini").write_bytes(("\r\n".join(lines) + "\r\n").encode("cp932"))

    # -- programs
    def start_program(self, exe, *args, cwd=None, env=None):
        """Starts a Windows program under Wine; returns the Popen of the `wine` process."""
        return subprocess.Popen(["wine", str(exe), *map(str, args)], env=env or self.env(),
                                cwd=str(cwd) if cwd else None, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def end_program(self, proc, title):
        """Ends a program started here: WM_CLOSE to its window, then a kill if it lingers."""
        if proc.poll() is not None:
            return
        self.probe("close", title)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()

    def run_program(self, exe, *args, timeout=60, cwd=None):
        return subprocess.run(["wine", str(exe), *map(str, args)], env=self.env(), capture_output=True,
                              timeout=timeout, cwd=str(cwd) if cwd else None)

    def probe(self, verb, title, arg=None, timeout=60):
        args = [verb, title] + ([str(arg)] if arg is not None else [])
        r = self.run_program(TOOLS / "gfprobe.exe", *args, timeout=timeout)
        return r.returncode, r.stdout.decode("utf-8", "replace")

    def find_window(self, title):
        rc, out = self.probe("find", title)
        return Window.parse(out) if rc == 0 else None

    def wait_window(self, title, timeout=15):
        rc, out = self.probe("wait", title, int(timeout * 1000), timeout=timeout + 30)
        if rc != 0:
            raise TimeoutError(f"window {title!r} did not appear within {timeout}s")
        return Window.parse(out)

    def wait_gone(self, title, timeout=5):
        rc, _ = self.probe("gone", title, int(timeout * 1000), timeout=timeout + 30)
        return rc == 0

    def window_text(self, title):
        rc, out = self.probe("text", title)
        return out.splitlines() if rc == 0 else None

    # -- input
    def xdotool(self, *args, check=True):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env(), capture_output=True, check=check,
                              timeout=30)

    def viewable_window(self, title, timeout=15):
        """The X id of a viewable window with exactly this title, once there is one. Under Wine
        a title can stand on more than one X window (one not yet mapped, say); only a viewable
        one can take the focus or show what is typed."""
        pattern = f"^{re.escape(title)}$"

        def found():
            ids = self.xdotool("search", "--onlyvisible", "--name", pattern, check=False).stdout.split()
            return ids[-1].decode() if ids else None

        return wait_until(found, timeout, what=f"a viewable window titled {title!r}")

    def focused_window(self):
        r = self.xdotool("getwindowfocus", "-f", check=False)
        return r.stdout.strip().decode() if r.returncode == 0 else None

    def focus(self, title, timeout=15):
        """Gives the X input focus to the viewable window with this title and returns its id once
        it holds the focus. With no window manager nothing else does, and a new Wine window does
        not always take it itself; a request made while the window is still being mapped can be
        lost, so it is made again until the focus is seen there."""
        wid = self.viewable_window(title, timeout)

        def held():
            if self.focused_window() == wid:
                return True
            self.xdotool("windowfocus", wid, check=False)
            return self.focused_window() == wid

        wait_until(held, timeout, interval=0.1, what=f"the focus on {title!r}")
        return wid

    def key(self, *keys, window=None):
        """Real key presses on the X display, to `window` (a title) when given."""
        if window:
            self.focus(window)
        self.xdotool("key", *keys)

    # -- pictures
    def screenshot(self, save_as=None):
        raw = subprocess.run(["import", "-display", f":{self.display}", "-window", "root", "-depth", "8", "ppm:-"],
                             capture_output=True, check=True, timeout=60).stdout
        image = Image.from_ppm(raw)
        if save_as:
            image.save(save_as)
        return image


_current = None


def session():
    """The run's shared session: the one ctest started, or one of our own for this process."""
    global _current
    if _current:
        return _current
    state = os.environ.get("GLASSFALL_E2E_STATE", str(STATE_FILE))
    if Path(state).exists():
        data = json.loads(Path(state).read_text())
        try:
            os.kill(data["xvfb_pid"], 0)
            _current = Session(data["display"], data["prefix"], data["xvfb_pid"], data["screen"], owned=False)
            return _current
        except ProcessLookupError:
            pass
    STATE_DIR.mkdir(parents=True, exist_ok=True)
    _current = Session.start()
    atexit.register(_current.stop)
    return _current


class Window:
    def __init__(self, hwnd, x, y, w, h, cw, ch):
        self.hwnd, self.x, self.y, self.w, self.h, self.client_w, self.client_h = hwnd, x, y, w, h, cw, ch

    @classmethod
    def parse(cls, text):
        return cls(*map(int, text.split()[:7]))

    def __repr__(self):
        return f"Window({self.hwnd}, {self.x},{self.y} {self.w}x{self.h})"


# --------------------------------------------------------------------------- images

class Image:
    """An RGB picture held as bytes, row by row from the top."""

    def __init__(self, width, height, data):
        self.width, self.height, self.data = width, height, bytes(data)

    @classmethod
    def from_ppm(cls, raw):
        tokens, pos = [], 0
        while len(tokens) < 4:
            while raw[pos:pos + 1].isspace():
                pos += 1
            if raw[pos:pos + 1] == b"#":
                pos = raw.index(b"\n", pos) + 1
                continue
            end = pos
            while not raw[end:end + 1].isspace():
                end += 1
            tokens.append(raw[pos:end])
            pos = end
        if tokens[0] != b"P6" or int(tokens[3]) != 255:
            raise ValueError("expected an 8-bit binary PPM")
        width, height = int(tokens[1]), int(tokens[2])
        return cls(width, height, raw[pos + 1:pos + 1 + width * height * 3])

    @classmethod
    def load(cls, path):
        raw = subprocess.run(["convert", str(path), "-depth", "8", "ppm:-"], capture_output=True, check=True).stdout
        return cls.from_ppm(raw)

    def save(self, path):
        path = Path(path)
        path.parent.mkdir(parents=True, exist_ok=True)
        ppm = f"P6\n{self.width} {self.height}\n255\n".encode() + self.data
        if path.suffix == ".ppm":
            path.write_bytes(ppm)
        else:
            subprocess.run(["convert", "ppm:-", str(path)], input=ppm, check=True)

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i:i + 3])

    def crop(self, x, y, w, h):
        rows = [self.data[((y + r) * self.width + x) * 3:((y + r) * self.width + x + w) * 3] for r in range(h)]
        return Image(w, h, b"".join(rows))

    def resized(self, w, h):
        """Scaled with ImageMagick (plain, no aspect keeping): for comparing with a window's content."""
        ppm = f"P6\n{self.width} {self.height}\n255\n".encode() + self.data
        raw = subprocess.run(["convert", "ppm:-", "-resize", f"{w}x{h}!", "ppm:-"], input=ppm,
                             capture_output=True, check=True).stdout
        return Image.from_ppm(raw)

    def mean(self):
        """Mean of each channel."""
        n = self.width * self.height
        return tuple(sum(self.data[c::3]) / n for c in range(3))

    def fraction(self, predicate):
        """Share of pixels (r, g, b) for which predicate holds."""
        d = self.data
        hits = sum(1 for i in range(0, len(d), 3) if predicate(d[i], d[i + 1], d[i + 2]))
        return hits / (self.width * self.height)

    def dark_fraction(self, limit=16):
        """Share of pixels whose channels are all below `limit` (fast path over bytes)."""
        d = self.data
        table = bytes(1 if v < limit else 0 for v in range(256))
        marks = d.translate(table)
        # One bit per pixel and channel, ANDed across the channels as big integers: this runs in
        # C, so a check of a 4K view takes milliseconds instead of a second under load.
        r, g, b = (int.from_bytes(marks[c::3], "little") for c in range(3))
        return (r & g & b).bit_count() / (self.width * self.height)

    def mean_abs_diff(self, other):
        """Mean absolute difference per channel against a picture of the same size."""
        if (self.width, self.height) != (other.width, other.height):
            raise ValueError("sizes differ")
        a, b = self.data, other.data
        return sum(map(abs, map(operator.sub, a, b))) / len(a)

    def differs_from(self, other, threshold=2.0):
        return self.mean_abs_diff(other) > threshold


# The whole piece as the renderer first shows it. The visible half-height at the picture's
# distance is 6 x tan(9.5 deg): the picture covers 1/1.00411 of the window, centred.
COVER = 1 / 1.0041125


def picture_image(picture):
    return Image(picture.width, picture.height, picture.rgb_bytes())


def covered(image, size):
    """`image` as the whole piece shows it in a window of `size`: stretched to the covered part."""
    w, hgt = size
    cw, ch = round(w * COVER), round(hgt * COVER)
    inner = image.resized(cw, ch)
    x0, y0 = (w - cw) // 2, (hgt - ch) // 2
    black = bytes(3 * w)
    rows = [black] * y0
    for y in range(ch):
        rows.append(bytes(3 * x0) + inner.data[y * cw * 3:(y + 1) * cw * 3] + bytes(3 * (w - cw - x0)))
    rows += [black] * (hgt - y0 - ch)
    return Image(w, hgt, b"".join(rows))


def shaded(image, shade):
    """Texture times vertex colour (the modulate environment), the shading taken from a frame
    of the untextured whole piece."""
    table = [bytes((a * s + 127) // 255 for s in range(256)) for a in range(256)]
    return Image(image.width, image.height, bytes(table[a][s] for a, s in zip(image.data, shade.data)))


def contact_sheet(paths, out_path, tile="4x", geometry="320x240+4+4"):
    """Puts screenshots side by side in one PNG (ImageMagick montage)."""
    subprocess.run(["montage", *map(str, paths), "-tile", tile, "-geometry", geometry,
                    "-background", "#202020", str(out_path)], check=True)


# --------------------------------------------------------------------------- several monitors
# Xvfb gives Wine one monitor whatever its screens; Wine reads monitors from RandR outputs,
# and Xorg's dummy driver has sixteen of them. Starting Xorg with an absolute -config path
# needs root (as CI runs).

_DUMMY_XORG_CONFIG = """\
Section "ServerFlags"
  Option "AutoAddDevices" "false"
  Option "AutoEnableDevices" "false"
EndSection
Section "Device"
  Identifier "dummy"
  Driver "dummy"
  VideoRam 256000
EndSection
Section "Monitor"
  Identifier "monitor"
  HorizSync 5.0-1000.0
  VertRefresh 5.0-200.0
EndSection
Section "Screen"
  Identifier "screen"
  Device "dummy"
  Monitor "monitor"
  DefaultDepth 24
  SubSection "Display"
    Depth 24
    Virtual 4096 2160
  EndSubSection
EndSection
"""


class Monitor:
    """One monitor in X screen coordinates (never negative there; Wine puts the primary at 0, 0)."""

    def __init__(self, width, height, x=0, y=0):
        self.width, self.height, self.x, self.y = width, height, x, y

    def __eq__(self, other):
        return (self.width, self.height, self.x, self.y) == (other.width, other.height, other.x, other.y)

    def __repr__(self):
        return f"Monitor({self.width}x{self.height}+{self.x}+{self.y})"


def _modeline(width, height):
    """A 60 Hz mode with reduced blanking; the dummy driver takes any timing in its ranges."""
    htotal, vtotal = width + 224, height + 24
    clock = htotal * vtotal * 60 / 1e6
    return [f"{clock:.2f}", width, width + 32, width + 112, htotal, height, height + 3, height + 7, vtotal,
            "-hsync", "+vsync"]


class DummyXorg:
    """A private Xorg (dummy driver) whose RandR outputs are laid out as the given monitors,
    the first one primary. It is started, recorded and killed by its own pid; stop() also
    runs at exit, so a test that fails half-way leaves no server behind.

        # primary 1024 x 768, a second 800 x 600 monitor to its left
        xorg = DummyXorg.start([Monitor(1024, 768, 800, 0), Monitor(800, 600, 0, 0)])
        ... DISPLAY=xorg.display_name ...
        xorg.stop()
    """

    def __init__(self, display, proc, monitors, record):
        self.display, self.proc, self.monitors, self.record = display, proc, list(monitors), record
        self.pid = proc.pid

    @property
    def display_name(self):
        return f":{self.display}"

    @property
    def screen(self):
        """Size of the X screen: the bounding box of the monitors."""
        return (max(m.x + m.width for m in self.monitors), max(m.y + m.height for m in self.monitors))

    def env(self, **extra):
        env = dict(os.environ, DISPLAY=self.display_name)
        env.update(extra)
        return env

    @classmethod
    def start(cls, monitors, state_dir=STATE_DIR):
        if os.geteuid() != 0:
            raise RuntimeError("the dummy Xorg needs root (Xorg refuses an absolute -config path otherwise)")
        state_dir = Path(state_dir)
        state_dir.mkdir(parents=True, exist_ok=True)
        display = _free_display()
        config = state_dir / f"xorg-dummy-{display}.conf"
        config.write_text(_DUMMY_XORG_CONFIG)
        with open(state_dir / f"xorg-dummy-{display}.out", "w") as console:
            proc = subprocess.Popen(
                ["Xorg", f":{display}", "-noreset", "-nolisten", "tcp", "-config", str(config.resolve()),
                 "-logfile", str((state_dir / f"xorg-dummy-{display}.log").resolve())],
                stdin=subprocess.DEVNULL, stdout=console, stderr=subprocess.STDOUT, start_new_session=True)
        # Recorded, so that `gfharness.py stop` ends a server whose test was killed outright.
        record = state_dir / f"xorg-dummy-{display}.json"
        record.write_text(json.dumps({"pid": proc.pid, "display": display}))
        server = cls(display, proc, monitors, record)
        atexit.register(server.stop)
        try:
            _wait_for_x_server(proc, display, 30, "Xorg", log=state_dir / f"xorg-dummy-{display}.log")
            server._lay_out()
        except BaseException:
            server.stop()
            raise
        return server

    def _xrandr(self, *args):
        return subprocess.run(["xrandr", *map(str, args)], env=self.env(), capture_output=True, text=True,
                              check=True, timeout=30).stdout

    def _lay_out(self):
        outputs, made = [], set()
        for i, m in enumerate(self.monitors):
            name = f"{m.width}x{m.height}_gf"
            if name not in made:
                self._xrandr("--newmode", name, *_modeline(m.width, m.height))
                made.add(name)
            self._xrandr("--addmode", f"DUMMY{i}", name)
            outputs += ["--output", f"DUMMY{i}", "--mode", name, "--pos", f"{m.x}x{m.y}"]
            if i == 0:
                outputs.append("--primary")
        self._xrandr(*outputs)
        if self.active_monitors() != sorted(self.monitors, key=lambda m: (m.x, m.y)):
            raise RuntimeError(f"Xorg :{self.display} laid out {self.active_monitors()}, not {self.monitors}")

    def active_monitors(self):
        """The monitors RandR reports now, ordered by position."""
        found = []
        for line in self._xrandr("--listactivemonitors").splitlines()[1:]:
            geometry = line.split()[2]  # 1024/0x768/0+800+0
            size, x, y = geometry.split("+")
            w, hgt = size.split("x")
            found.append(Monitor(int(w.split("/")[0]), int(hgt.split("/")[0]), int(x), int(y)))
        return sorted(found, key=lambda m: (m.x, m.y))

    def stop(self):
        if self.proc.poll() is None:
            os.kill(self.pid, signal.SIGTERM)
            try:
                self.proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                os.kill(self.pid, signal.SIGKILL)
                self.proc.wait()
        self.record.unlink(missing_ok=True)

    @staticmethod
    def stop_recorded(state_dir=STATE_DIR):
        """Ends the dummy servers that tests started and never stopped; only a process that is
        still that Xorg on that display is signalled."""
        for record in Path(state_dir).glob("xorg-dummy-*.json"):
            data = json.loads(record.read_text())
            try:
                args = Path(f"/proc/{data['pid']}/cmdline").read_bytes().split(b"\0")
            except OSError:
                args = []
            if args and args[0].endswith(b"Xorg") and f":{data['display']}".encode() in args:
                os.kill(data["pid"], signal.SIGTERM)
            record.unlink()


# --------------------------------------------------------------------------- command line

def main(argv):
    STATE_DIR.mkdir(parents=True, exist_ok=True)
    if argv[1:2] == ["start"]:
        if STATE_FILE.exists():
            old = json.loads(STATE_FILE.read_text())
            Session(old["display"], old["prefix"], old["xvfb_pid"], old["screen"]).stop()
            STATE_FILE.unlink()
        s = Session.start(state_file=STATE_FILE)
        print(f"e2e session: display :{s.display}, prefix {s.prefix}")
        return 0
    if argv[1:2] == ["stop"]:
        if STATE_FILE.exists():
            data = json.loads(STATE_FILE.read_text())
            Session(data["display"], data["prefix"], data["xvfb_pid"], data["screen"]).stop()
            STATE_FILE.unlink()
        DummyXorg.stop_recorded()
        print("e2e session stopped")
        return 0
    print("usage: gfharness.py start|stop", file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))


# --------------------------------------------------------------------------- Japanese dialog font
# The settings dialog asks for "ＭＳ Ｐゴシック". Wine has no such font; without a mapping it
# falls back to a fixed-width Japanese face. The registry replacement below makes it render
# exactly as IPAPGothic (Debian's fonts-ipafont-gothic), a proportional face of close metrics; a
# fontconfig alias has no effect on Wine's choice.

DIALOG_FONT = "ＭＳ Ｐゴシック"
DIALOG_FONT_STAND_IN = "IPAPGothic"


def map_dialog_font(s):
    """Maps the dialog font to IPAPGothic in the session's prefix (programs started later see it)."""
    key = r"HKCU\Software\Wine\Fonts\Replacements"
    subprocess.run(["wine", "reg", "add", key, "/v", DIALOG_FONT, "/t", "REG_SZ", "/d", DIALOG_FONT_STAND_IN, "/f"],
                   env=s.env(), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=True, timeout=120)
