"""The Wayland rig of the native program's tests: a headless sway run by an unprivileged user
(sway refuses root) with a runtime directory of its own, the clients started on it owned and
ended by id, its outputs read back with grim (wlr-screencopy) and keys typed with wtype; and the
tests' own compositor, which shows them the very buffers the program commits."""

import os
import pwd
import select
import shutil
import signal
import subprocess
import time
from pathlib import Path

import gfharness as h
import linuxharness as lh

OUT = h.ROOT / "out" / "e2e" / "wayland"
# The unprivileged user the compositors run as; a long run by hand may pick another
# (GLASSFALL_E2E_USER), so that other test runs on the machine never meet its processes.
USER = os.environ.get("GLASSFALL_E2E_USER") or "nobody"
KEYBOARD_SETTLE = 0.3  # seconds; the virtual pointer waits as long
POINTER = lh.BUILD / "tests" / "bin" / "virtual_pointer"
TOOLS = ("sway", "swaymsg", "swaybg", "grim", "wtype", "weston", "weston-screenshooter")

# Every process this test process starts as USER carries its mark (linuxharness).
OWNER_VARIABLE, OWNER_MARK = lh.OWNER_VARIABLE, lh.OWNER_MARK

SANITIZER_VARIABLES = ("ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS", "LD_PRELOAD")


def sanitizer_settings():
    """A sanitized run's settings, for environments built from nothing."""
    return {k: v for k, v in os.environ.items() if k in SANITIZER_VARIABLES}


# Outputs of different sizes, the second at scale 2: (name, mode, logical position, scale).
FIRST = ("HEADLESS-1", (1024, 768), (0, 0), 1)
SECOND = ("HEADLESS-2", (1920, 1080), (1024, 0), 2)


def missing_tools():
    return [t for t in TOOLS if not shutil.which(t)] + ([] if lh.GST_WARM.exists() else [str(lh.GST_WARM)])


class Sway:
    """A headless sway of its own (pixman renderer, no input devices), run by USER with a
    runtime directory of its own; every client we start on it is owned here and ended by id.
    Its first output is `first` (name, mode, position, scale)."""

    def __init__(self, folder, first=None):
        first = first or FIRST
        self.folder = Path(folder)
        self.user = pwd.getpwnam(USER)
        self.runtime = self.folder / "run"
        self.runtime.mkdir(mode=0o700)
        self.config = self.folder / "sway.conf"
        self.config.write_text(f"output {first[0]} mode {first[1][0]}x{first[1][1]} position 0 0 scale 1\n")
        for path in (self.folder, self.runtime, self.config):
            os.chown(path, self.user.pw_uid, self.user.pw_gid)
        os.chmod(self.folder, 0o755)
        self.log = open(self.folder / "sway.log", "w")
        self.proc = self.start(["sway", "-c", str(self.config)], wayland=False,
                               WLR_BACKENDS="headless", WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1",
                               stdout=self.log)
        h.wait_until(lambda: self.proc.poll() is not None or (self.socket() and self.display()), 30,
                     what="sway's sockets")
        if self.proc.poll() is not None:
            raise RuntimeError("sway exited: " + (self.folder / "sway.log").read_text())
        self.clients = []

    def proc_pid(self):
        """sway's own process (runuser started it)."""
        return next(pid for pid in group_members(self.proc.pid) if pid in
                    {p for p, _, comm, _ in lh.processes() if comm == "sway"})

    def display(self):
        found = sorted(p.name for p in self.runtime.glob("wayland-*") if not p.name.endswith(".lock"))
        return found[0] if found else None

    def socket(self):
        found = list(self.runtime.glob("sway-ipc.*.sock"))
        return str(found[0]) if found else None

    def env(self, wayland=True, **extra):
        env = {"PATH": "/usr/bin:/bin", "HOME": str(self.folder), "USER": USER, "LOGNAME": USER,
               "XDG_RUNTIME_DIR": str(self.runtime), "LANG": "C.UTF-8", **OWNER_MARK, **lh.gst_registry(USER)}
        # A sanitized run's settings reach the program through the user change as well.
        env.update(sanitizer_settings())
        if wayland:
            env["WAYLAND_DISPLAY"] = self.display()
            env["SWAYSOCK"] = self.socket()
        env.update({k: str(v) for k, v in extra.items()})
        return env

    def start(self, argv, wayland=True, stdout=None, stderr=None, **extra):
        """`argv` run as USER (runuser -p keeps the environment we give)."""
        stdout = stdout or subprocess.DEVNULL
        return subprocess.Popen([shutil.which("runuser"), "-p", "-u", USER, "--", *argv],
                                env=self.env(wayland, **extra), stdin=subprocess.DEVNULL, stdout=stdout,
                                stderr=stderr or subprocess.STDOUT, start_new_session=True)

    def client(self, argv, **extra):
        proc = self.start(argv, **extra)
        self.clients.append(proc)
        return proc

    def run(self, *argv):
        return subprocess.run([shutil.which("runuser"), "-p", "-u", USER, "--", *argv], env=self.env(),
                              capture_output=True, timeout=30)

    def type(self, key):
        """One key through a virtual keyboard. The headless seat has no keyboard until one
        comes: wtype waits a moment after making it, so that clients have bound the new keyboard
        before the key arrives (with a real keyboard there is no such wait)."""
        done = self.run("wtype", "-s", str(int(KEYBOARD_SETTLE * 1000)), key)
        if done.returncode != 0:
            raise RuntimeError("wtype: " + done.stderr.decode())

    def swaymsg(self, *args):
        done = self.run("swaymsg", *args)
        if done.returncode != 0:
            raise RuntimeError(f"swaymsg {' '.join(args)}: {done.stdout.decode()} {done.stderr.decode()}")

    def shot(self, output, save_as=None):
        """The output's pixels now, read through screencopy as the user would."""
        done = self.run("grim", "-t", "ppm", "-o", output, "-")
        if done.returncode != 0:
            raise RuntimeError("grim: " + done.stderr.decode())
        image = h.Image.from_ppm(done.stdout)
        if save_as:
            image.save(OUT / save_as)
        return image

    def stop(self):
        for proc in self.clients:
            stop_group(proc)
        stop_group(self.proc)
        self.log.close()


def group_members(group):
    found = []
    for pid, _, _, _ in lh.processes():
        try:
            if os.getpgid(pid) == group:
                found.append(pid)
        except ProcessLookupError:
            pass
    return found


def stop_group(proc):
    """Ends runuser and what it runs: the session's whole group, until none of it is left
    (runuser may leave before its child has)."""
    if proc.poll() is None:
        try:
            os.killpg(proc.pid, signal.SIGTERM)
            proc.wait(10)
        except ProcessLookupError:
            pass
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
    try:
        h.wait_until(lambda: not group_members(proc.pid), 10, what="the group gone")
    except TimeoutError:
        os.killpg(proc.pid, signal.SIGKILL)
        h.wait_until(lambda: not group_members(proc.pid), 5, what="the group killed")


def our_pids():
    """The programs this test process started as USER, on any of its compositors."""
    uid = pwd.getpwnam(USER).pw_uid
    mark = f"{OWNER_VARIABLE}={os.getpid()}"
    return [pid for pid, _, comm, owner in lh.processes()
            if comm == "glassfall" and owner == uid and lh.carries(pid, mark)]


# The tests' own compositor (tests/e2e/support/test_compositor.cpp): this build's, or one named.
COMPOSITOR = Path(os.environ.get("GLASSFALL_TEST_COMPOSITOR") or lh.BUILD / "tests" / "bin" / "test_compositor")


def output_spec(mode, place, scale, picture=None, transform=0):
    """An output as the test compositor's command line and `add` take it: `mode` in the buffer's
    orientation, `picture` what the user sees, `transform` wl_output's."""
    spec = f"{mode[0]}x{mode[1]}+{place[0]}+{place[1]}@{scale}/{transform}"
    return f"{spec}={picture}" if picture else spec


class TestCompositor:
    """The tests' own compositor, run by us with a runtime directory of its own: commands go to
    its standard input one a line, each answered by one line on its standard output. Every
    client started on it is owned here and ended by its group."""

    def __init__(self, folder, outputs, capture="ext"):
        self.folder = Path(folder)
        self.runtime = self.folder / "run"
        self.runtime.mkdir(mode=0o700)
        self.log = open(self.folder / "compositor.log", "w")
        argv = [str(COMPOSITOR), "--capture", capture]
        for spec in outputs:
            argv += ["--output", spec]
        self.proc = subprocess.Popen(argv, env=self.env(wayland=False), stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self.log, start_new_session=True)
        self.pending = b""
        self.clients = []
        self.shots = 0
        ready = self.read_line(20)
        if not ready.startswith("ready "):
            raise RuntimeError(f"test compositor: {ready!r} " + (self.folder / "compositor.log").read_text())
        self.socket = ready.split()[1]

    def read_line(self, timeout):
        deadline = time.monotonic() + timeout
        fd = self.proc.stdout.fileno()
        while b"\n" not in self.pending:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise TimeoutError("the test compositor did not answer")
            chunk = os.read(fd, 65536)
            if not chunk:
                raise RuntimeError("the test compositor ended: " + (self.folder / "compositor.log").read_text())
            self.pending += chunk
        line, self.pending = self.pending.split(b"\n", 1)
        return line.decode()

    def command(self, line):
        self.proc.stdin.write(line.encode() + b"\n")
        self.proc.stdin.flush()
        answer = self.read_line(20)
        if not answer.startswith("ok"):
            raise RuntimeError(f"test compositor: {line}: {answer}")
        return answer[3:]

    def status(self, output):
        return {k: int(v) for k, v in (item.split("=") for item in self.command(f"status {output}").split())}

    def shot(self, output, save_as=None):
        """The last buffer our layer surface on `output` committed, kept at the path `save_as`
        when given; None before the first."""
        self.shots += 1
        path = self.folder / f"shot-{self.shots % 2}.ppm"
        try:
            self.command(f"shot {output} {path}")
        except RuntimeError as e:
            if "nothing committed" in str(e):
                return None
            raise
        image = h.Image.from_ppm(path.read_bytes())
        if save_as:
            image.save(save_as)
        return image

    def env(self, wayland=True, **extra):
        env = {"PATH": "/usr/bin:/bin", "HOME": str(self.folder), "XDG_RUNTIME_DIR": str(self.runtime),
               "LANG": "C.UTF-8", **OWNER_MARK, **sanitizer_settings(), **lh.gst_registry("root")}
        if wayland:
            env["WAYLAND_DISPLAY"] = self.socket
        env.update({k: str(v) for k, v in extra.items()})
        return env

    def client(self, argv, log, **extra):
        proc = subprocess.Popen(argv, env=self.env(**extra), stdin=subprocess.DEVNULL, stdout=log,
                                stderr=subprocess.STDOUT, start_new_session=True)
        self.clients.append(proc)
        return proc

    def left(self):
        """Processes of ours still running on this compositor: whatever carries its runtime
        directory, the compositor aside."""
        return [pid for pid, _ in lh.carrying(f"XDG_RUNTIME_DIR={self.runtime}") if pid != self.proc.pid]

    def stop(self):
        for proc in self.clients:
            stop_group(proc)
        stop_group(self.proc)
        self.proc.stdin.close()
        self.proc.stdout.close()
        self.log.close()
