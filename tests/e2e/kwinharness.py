"""The KDE Plasma rig of the native program's tests: a headless KWin (its virtual backend, run
as root from a copy of the binary, which carries no file capability) on a session bus of its
own, with a runtime, data and cache folder of its own. Every process it starts is owned here
and ended by its process group.

What KWin lets only named programs do, the rig's private desktop entries grant: screenshots
(org.kde.KWin.ScreenShot2) to the program under test and to our copy of the system Python that
reads the outputs back (kwin_shot.py), fake input (org_kde_kwin_fake_input) to kwin_helper,
which types keys and lays the outputs out (KDE's output management)."""

import os
import shutil
import subprocess
from pathlib import Path

import gfharness as h
import linuxharness as lh
from waylandharness import OWNER_MARK, OWNER_VARIABLE, stop_group

OUT = Path("/tmp/kwin-shots")
TOOLS = ("kwin_wayland", "dbus-daemon", "swaybg")
SYSTEM_PYTHON = Path(os.path.realpath("/usr/bin/python3"))  # the one python3-gi belongs to
SHOT = Path(__file__).resolve().parent / "kwin_shot.py"
HELPER = lh.GLASSFALL.parent.parent / "tests" / "bin" / "kwin_helper"
SOCKET = "gf-kwin"

# The outputs: (name, mode, logical position, scale). The second at 1.5: its logical size is
# two thirds of its mode.
FIRST = ("Virtual-0", (1200, 900), (0, 0), 1)
SECOND = ("Virtual-1", (1200, 900), (1200, 0), 1.5)


def missing_tools():
    missing = [t for t in TOOLS if not shutil.which(t)]
    return missing + [str(p) for p in (SYSTEM_PYTHON, HELPER, lh.GST_WARM) if not p.exists()]


def desktop_entry(path, name, program, key, interface):
    path.write_text(f"[Desktop Entry]\nType=Application\nName={name}\nExec={program}\n{key}={interface}\n")


class KWin:
    def __init__(self, folder, program):
        self.folder = Path(folder)
        self.runtime = self.folder / "run"
        self.runtime.mkdir(mode=0o700)
        applications = self.folder / "share" / "applications"
        applications.mkdir(parents=True)
        self.kwin = self.folder / "bin" / "kwin_wayland"  # its own platform plugin wants this name
        self.reader = self.folder / "bin" / "screenshot-reader"
        self.kwin.parent.mkdir()
        shutil.copy(shutil.which("kwin_wayland"), self.kwin)
        shutil.copy(SYSTEM_PYTHON, self.reader)
        screenshots = ("X-KDE-DBUS-Restricted-Interfaces", "org.kde.KWin.ScreenShot2")
        desktop_entry(applications / "gf-test-program.desktop", "Program under test", os.path.realpath(program),
                      *screenshots)
        desktop_entry(applications / "gf-test-reader.desktop", "Screenshot reader", self.reader, *screenshots)
        desktop_entry(applications / "gf-test-helper.desktop", "Test keys", os.path.realpath(HELPER),
                      "X-KDE-Wayland-Interfaces", "org_kde_kwin_fake_input")
        self.bus = self.folder / "bus"
        self.clients = []
        self.log = open(self.folder / "kwin.log", "w")
        self.daemon = self.start(["dbus-daemon", "--session", "--nofork", f"--address=unix:path={self.bus}"])
        h.wait_until(lambda: self.daemon.poll() is not None or self.bus.exists(), 10, what="the session bus")
        mode = FIRST[1]
        self.proc = self.start([str(self.kwin), "--virtual", "--width", str(mode[0]), "--height", str(mode[1]),
                                "--output-count", "2", "--socket", SOCKET, "--no-lockscreen",
                                "--no-global-shortcuts", "--no-kactivities"], stdout=self.log)
        h.wait_until(lambda: self.proc.poll() is not None or (self.runtime / SOCKET).exists(), 60,
                     what="KWin's socket")
        if self.proc.poll() is not None:
            raise RuntimeError("kwin_wayland exited: " + (self.folder / "kwin.log").read_text())
        args = []
        for name, _, (x, y), scale in (FIRST, SECOND):
            args += [name, str(scale), str(x), str(y)]
        self.helper("layout", *args)

    def env(self, **extra):
        env = {"PATH": "/usr/bin:/bin", "HOME": str(self.folder), "LANG": "C.UTF-8",
               "XDG_RUNTIME_DIR": str(self.runtime), "XDG_DATA_HOME": str(self.folder / "share"),
               "XDG_CONFIG_HOME": str(self.folder / "config"), "XDG_CACHE_HOME": str(self.folder / "cache"),
               "XDG_DATA_DIRS": "/usr/local/share:/usr/share", "WAYLAND_DISPLAY": SOCKET,
               "DBUS_SESSION_BUS_ADDRESS": f"unix:path={self.bus}", "PYTHONHOME": "/usr", **OWNER_MARK,
               **lh.gst_registry("root")}
        env.update({k: str(v) for k, v in extra.items()})
        return env

    def start(self, argv, stdout=None, stderr=None, **extra):
        return subprocess.Popen(argv, env=self.env(**extra), stdin=subprocess.DEVNULL,
                                stdout=stdout or subprocess.DEVNULL, stderr=stderr or subprocess.STDOUT,
                                start_new_session=True)

    def client(self, argv, **extra):
        proc = self.start(argv, **extra)
        self.clients.append(proc)
        return proc

    def run(self, *argv, timeout=30):
        return subprocess.run(argv, env=self.env(), capture_output=True, timeout=timeout)

    def helper(self, *args):
        done = self.run(str(HELPER), *args)
        if done.returncode != 0:
            raise RuntimeError(f"kwin_helper {' '.join(args)}: {done.stderr.decode()}")

    def type(self, code):
        """One key (an evdev code) pressed and released through KWin's fake input."""
        self.helper("key", str(code))

    def shot(self, output, save_as=None):
        """The output's pixels now, as KWin's own screenshot interface gives them."""
        done = self.run(str(self.reader), str(SHOT), output)
        if done.returncode != 0:
            raise RuntimeError("kwin_shot: " + done.stderr.decode())
        image = h.Image.from_ppm(done.stdout)
        if save_as:
            image.save(OUT / save_as)
        return image

    def stop(self):
        for proc in [*self.clients, self.proc, self.daemon]:
            stop_group(proc)
        self.log.close()


def our_pids(program):
    """Our program's processes, by the executable they run (a copy has a name of its own), among
    those this test process started (other files run the same program beside this one)."""
    found = []
    mark = f"{OWNER_VARIABLE}={os.getpid()}"
    for pid, _, _, _ in lh.processes():
        try:
            if os.path.realpath(f"/proc/{pid}/exe") == os.path.realpath(program) and lh.carries(pid, mark):
                found.append(pid)
        except OSError:
            pass
    return found
