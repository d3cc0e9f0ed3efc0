"""Native harness: the Linux program `glassfall` on a private Xvfb, natively (no Wine), and
the real XScreenSaver daemon run by an unprivileged user.

Every server and program a test starts is owned here (a Popen) and ended by its id. Waiting
is on conditions (a window mapped, a frame drawn, a process gone), through gfharness.wait_until.
Pictures and comparisons come from gfharness.Image.
"""

import ctypes
import ctypes.util
import os
import pwd
import shutil
import signal
import subprocess
import sys
import tempfile
from pathlib import Path

import gfharness as h

sys.path.insert(0, str(h.ROOT / "tools"))
import make_picture as mp  # noqa: E402

BUILD = h.ROOT / "build" / "linux"
# The program under test: this build's, or another one (the sanitized build's) named by the caller.
GLASSFALL = Path(os.environ.get("GLASSFALL_PROGRAM") or BUILD / "bin" / "glassfall")
GRABBER = "xscreensaver-getimage"
# The visible half-height at the picture's distance is 6 x tan(9.5 deg): the whole piece covers
# 1/1.00411 of the window, centred.


# --------------------------------------------------------------------------- processes

# Every program a test process starts for another user (the XScreenSaver daemon's hacks, the
# compositors' clients) carries its mark, so that test files running side by side never take
# each other's programs for their own.
OWNER_VARIABLE = "GLASSFALL_E2E_OWNER"
OWNER_MARK = {OWNER_VARIABLE: str(os.getpid())}

def processes():
    """(pid, ppid, command name, uid) of every process now."""
    out = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            stat = Path(f"/proc/{entry}/stat").read_text()
            uid = Path(f"/proc/{entry}").stat().st_uid
        except OSError:
            continue
        close = stat.rfind(")")
        name = stat[stat.index("(") + 1:close]
        fields = stat[close + 2:].split()
        if fields[0] == "Z":
            continue  # a zombie is dead; whether it is reaped is checked by its parent's tests
        out.append((int(entry), int(fields[1]), name, uid))
    return out


def named(name):
    """Pids of live processes whose command name is `name` (cut to 15 characters by the kernel)."""
    return [pid for pid, _, comm, _ in processes() if comm == name[:15]]


def carries(pid, variable):
    """Whether the live process `pid` has `variable` (NAME=value) in its environment."""
    try:
        return variable.encode() in Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
    except OSError:
        return False


def carrying(variable):
    """Live processes whose environment holds `variable` (NAME=value): what a program started
    with it, and whatever that started, left running."""
    return [(pid, name) for pid, _, name, _ in processes() if carries(pid, variable)]


def zombie(pid):
    try:
        stat = Path(f"/proc/{pid}/stat").read_text()
    except OSError:
        return False
    return stat[stat.rfind(")") + 2:].startswith("Z")


def end(proc, timeout=5):
    """Ends a process we started: TERM, then KILL; always reaped."""
    if proc.poll() is None:
        try:
            proc.send_signal(signal.SIGTERM)
            proc.wait(timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait()
    for stream in (proc.stdout, proc.stderr):
        if stream:
            stream.close()


# --------------------------------------------------------------------------- display

class XDisplay:
    """An X server the tests own: names, environment, screenshots, the desktop picture."""

    number = None
    proc = None
    size = None
    background = None

    @property
    def name(self):
        return f":{self.number}"

    def env(self, **extra):
        env = dict(os.environ)
        env.pop("XSCREENSAVER_WINDOW", None)
        env["DISPLAY"] = self.name
        # The program reads its defaults from the user's settings file: none, unless a test says.
        env["XDG_CONFIG_HOME"] = str(h.STATE_DIR / "no-settings")
        # A runtime folder per display: the run's and the music's one-per-session locks live
        # there, and files running side by side are separate sessions.
        runtime = h.STATE_DIR / f"runtime-x{self.number}"
        runtime.mkdir(mode=0o700, parents=True, exist_ok=True)
        env["XDG_RUNTIME_DIR"] = str(runtime)
        env.update(OWNER_MARK)
        env.update({k: str(v) for k, v in extra.items()})
        return env

    def stop(self):
        if self.background:
            self.background.close()
            self.background = None
        end(self.proc)

    def set_root_picture(self, picture, folder):
        """The desktop: `picture` (a make_picture.Picture) as the root window's background, for as
        long as this display lives. (`folder` is kept for the callers; nothing is written there.)"""
        image = picture_image(picture)
        held = RootBackground(self, image)
        if self.background:
            self.background.close()
        self.background = held
        # Read back more than once: a background that lasts for one screenshot only would
        # leave a program started after it photographing black.
        for _ in range(3):
            if self.screenshot().mean_abs_diff(image) > 1.0:
                raise RuntimeError("the desktop picture did not stay on the root window")

    def screenshot(self, save_as=None):
        raw = subprocess.run(["import", "-display", self.name, "-window", "root", "-depth", "8", "ppm:-"],
                             capture_output=True, check=True, timeout=60).stdout
        image = h.Image.from_ppm(raw)
        if save_as:
            image.save(save_as)
        return image

    def visible_window(self, name):
        """The id of a mapped window with exactly this name, or None."""
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{name}$"], env=self.env(),
                           capture_output=True, text=True, timeout=30)
        ids = r.stdout.split()
        return int(ids[0]) if ids else None

    def key(self, window, *keys):
        """Key presses sent to `window`. Not checked: a key that ends the program takes the window
        away before the release is sent; callers check what the keys did."""
        subprocess.run(["xdotool", "key", "--window", str(window), *keys], env=self.env(), timeout=30,
                       capture_output=True)


class RootBackground:
    """A picture as the root window's background pixmap, through an X connection of the test's
    own that stays open: the server frees a client's pixmap when the client goes, and then the
    root is black again."""

    def __init__(self, display, image):
        x11 = self.x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        vp, ul = ctypes.c_void_p, ctypes.c_ulong
        x11.XOpenDisplay.restype = vp
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        for fn in ("XDefaultScreen",):
            getattr(x11, fn).argtypes = [vp]
        x11.XRootWindow.restype = ul
        x11.XRootWindow.argtypes = [vp, ctypes.c_int]
        x11.XDefaultVisual.restype = vp
        x11.XDefaultVisual.argtypes = [vp, ctypes.c_int]
        x11.XDefaultDepth.argtypes = [vp, ctypes.c_int]
        x11.XCreateImage.restype = vp
        x11.XCreateImage.argtypes = [vp, vp, ctypes.c_uint, ctypes.c_int, ctypes.c_int, ctypes.c_char_p,
                                     ctypes.c_uint, ctypes.c_uint, ctypes.c_int, ctypes.c_int]
        x11.XCreatePixmap.restype = ul
        x11.XCreatePixmap.argtypes = [vp, ul, ctypes.c_uint, ctypes.c_uint, ctypes.c_uint]
        x11.XCreateGC.restype = vp
        x11.XCreateGC.argtypes = [vp, ul, ul, vp]
        x11.XPutImage.argtypes = [vp, ul, vp, vp, ctypes.c_int, ctypes.c_int, ctypes.c_int, ctypes.c_int,
                                  ctypes.c_uint, ctypes.c_uint]
        x11.XSetWindowBackgroundPixmap.argtypes = [vp, ul, ul]
        x11.XClearWindow.argtypes = [vp, ul]
        x11.XFreeGC.argtypes = [vp, vp]
        x11.XFree.argtypes = [vp]
        x11.XSync.argtypes = [vp, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [vp]
        self.dpy = x11.XOpenDisplay(display.name.encode())
        if not self.dpy:
            raise RuntimeError(f"cannot open {display.name} for the desktop picture")
        screen = x11.XDefaultScreen(self.dpy)
        root = x11.XRootWindow(self.dpy, screen)
        depth = x11.XDefaultDepth(self.dpy, screen)
        if depth not in (24, 32):
            raise RuntimeError(f"the desktop picture wants a 24-bit screen, not {depth}")
        w, hgt = image.width, image.height
        # 32-bit pixels 0x00RRGGBB, lowest byte first: the servers here are TrueColor, red high.
        pixels = bytearray(4 * w * hgt)
        pixels[0::4], pixels[1::4], pixels[2::4] = image.data[2::3], image.data[1::3], image.data[0::3]
        self.pixels = ctypes.create_string_buffer(bytes(pixels), len(pixels))
        ximage = x11.XCreateImage(self.dpy, x11.XDefaultVisual(self.dpy, screen), depth, 2, 0, self.pixels, w, hgt,
                                  32, 4 * w)
        pixmap = x11.XCreatePixmap(self.dpy, root, w, hgt, depth)
        gc = x11.XCreateGC(self.dpy, pixmap, 0, None)
        x11.XPutImage(self.dpy, pixmap, gc, ximage, 0, 0, 0, 0, w, hgt)
        x11.XFreeGC(self.dpy, gc)
        x11.XFree(ximage)  # the structure only: the pixels are ours
        x11.XSetWindowBackgroundPixmap(self.dpy, root, pixmap)
        x11.XClearWindow(self.dpy, root)
        x11.XSync(self.dpy, 0)

    def close(self):
        if self.dpy:
            self.x11.XCloseDisplay(self.dpy)
            self.dpy = None


class Xvfb(XDisplay):
    """A private Xvfb of one screen; a desktop picture can be put on its root window. `arguments`
    go to Xvfb after ours (`-extension NAME` leaves one out)."""

    def __init__(self, size=(640, 480), arguments=()):
        self.size = tuple(size)
        self.number = h._free_display()
        h.STATE_DIR.mkdir(parents=True, exist_ok=True)
        with open(h.STATE_DIR / f"xvfb-native-{self.number}.log", "w") as log:
            self.proc = subprocess.Popen(
                ["Xvfb", f":{self.number}", "-screen", "0", f"{size[0]}x{size[1]}x24", "-nolisten", "tcp",
                 "-noreset", *arguments], stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
        h.wait_until(lambda: Path(f"/tmp/.X11-unix/X{self.number}").exists() or self.proc.poll() is not None, 20,
                     what="Xvfb socket")
        if self.proc.poll() is not None:
            raise RuntimeError(f"Xvfb :{self.number} failed to start")
        h.wait_until(lambda: subprocess.run(["xdpyinfo"], env=self.env(), capture_output=True).returncode == 0,
                     20, what="Xvfb answering")


class OnDummyXorg(XDisplay):
    """The same services on the harness's dummy-driver Xorg (several monitors), which it owns."""

    def __init__(self, xorg):
        self.xorg = xorg
        self.number, self.proc, self.size = xorg.display, xorg.proc, xorg.screen

    def stop(self):
        if self.background:
            self.background.close()
            self.background = None
        self.xorg.stop()


GST_WARM = BUILD / "tests" / "bin" / "gst_warm"
_registries = {}


def gst_registry(user):
    """The environment that gives programs started as `user` a GStreamer plugin registry kept
    between the tests' fresh homes, built here before the first of them. In a fresh home every
    first start scans each plugin before it plays (a second or more on a loaded machine), which a
    user's start does only once ever."""
    if user not in _registries:
        folder = h.STATE_DIR / "gstreamer"
        folder.mkdir(parents=True, exist_ok=True)
        os.chmod(folder, 0o1777)  # each user's registry in it, written by that user
        path = folder / f"registry-{user}.bin"
        env = {"PATH": "/usr/bin:/bin", "HOME": str(folder), "GST_REGISTRY": str(path)}
        argv = [str(GST_WARM)] if user == "root" else [shutil.which("runuser"), "-p", "-u", user, "--", str(GST_WARM)]
        subprocess.run(argv, env=env, stdin=subprocess.DEVNULL, capture_output=True, timeout=120, check=True)
        _registries[user] = {"GST_REGISTRY": str(path)}
    return _registries[user]


def require_rig(missing, who_runs, programs=()):
    """Fails, never skips: a missing tool or a run without root would hide every check of a
    file. `missing` names what is not installed, `who_runs` what needs root."""
    if os.geteuid() != 0:
        raise RuntimeError(f"{who_runs}: run them as root")
    if missing:
        raise RuntimeError("not installed or not built (scripts/setup.sh installs them): " + ", ".join(missing))
    for program in programs:
        if not Path(program).exists():
            raise RuntimeError(f"{program} is not built")


def start_glassfall(display, *args, env=None):
    return subprocess.Popen([str(GLASSFALL), *args], env=env or display.env(), stdin=subprocess.DEVNULL,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)


# --------------------------------------------------------------------------- a window of the test's own

class TestWindow:
    """A plain X window made by the test through Xlib (ctypes), with no background of its own, so
    that the screen under it keeps showing the desktop until something draws there."""

    def __init__(self, display, x, y, w, h, single_buffered=False):
        self.x11 = ctypes.CDLL(ctypes.util.find_library("X11"))
        x11 = self.x11
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XCreateWindow.restype = ctypes.c_ulong
        x11.XCreateWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                      ctypes.c_uint, ctypes.c_uint, ctypes.c_int, ctypes.c_uint, ctypes.c_void_p,
                                      ctypes.c_ulong, ctypes.c_void_p]
        for fn in ("XMapWindow", "XDestroyWindow"):
            getattr(x11, fn).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.dpy = x11.XOpenDisplay(display.name.encode())
        if not self.dpy:
            raise RuntimeError("cannot open the display for the test window")
        root = x11.XDefaultRootWindow(self.dpy)
        if single_buffered:
            self.id = self._single_buffered(root, x, y, w, h)
        else:
            # CopyFromParent for depth, class and visual; no attributes: background None.
            self.id = x11.XCreateWindow(self.dpy, root, x, y, w, h, 0, 0, 0, None, 0, None)
        self.geometry = (x, y, w, h)
        x11.XMapWindow(self.dpy, self.id)
        x11.XSync(self.dpy, 0)

    def _single_buffered(self, root, x, y, w, h):
        """A window on an OpenGL visual with one colour buffer and no depth buffer."""
        gl = ctypes.CDLL(ctypes.util.find_library("GL"))
        gl.glXChooseVisual.restype = ctypes.c_void_p
        gl.glXChooseVisual.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.POINTER(ctypes.c_int)]
        glx_rgba, glx_depth_size, none = 4, 12, 0
        # Without GLX_DOUBLEBUFFER only single-buffered visuals are considered; depth 0 is the smallest.
        wanted = (ctypes.c_int * 4)(glx_rgba, glx_depth_size, 0, none)
        info = gl.glXChooseVisual(self.dpy, 0, wanted)
        if not info:
            raise RuntimeError("no single-buffered OpenGL visual on this display")
        # XVisualInfo: Visual* visual, VisualID visualid, int screen, int depth, ...
        visual = ctypes.c_void_p.from_address(info).value
        depth = ctypes.c_int.from_address(info + 2 * ctypes.sizeof(ctypes.c_void_p) + ctypes.sizeof(ctypes.c_int)).value
        x11 = self.x11
        x11.XCreateColormap.restype = ctypes.c_ulong
        x11.XCreateColormap.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p, ctypes.c_int]

        class Attributes(ctypes.Structure):  # XSetWindowAttributes
            _fields_ = [("background_pixmap", ctypes.c_ulong), ("background_pixel", ctypes.c_ulong),
                        ("border_pixmap", ctypes.c_ulong), ("border_pixel", ctypes.c_ulong),
                        ("bit_gravity", ctypes.c_int), ("win_gravity", ctypes.c_int),
                        ("backing_store", ctypes.c_int), ("backing_planes", ctypes.c_ulong),
                        ("backing_pixel", ctypes.c_ulong), ("save_under", ctypes.c_int),
                        ("event_mask", ctypes.c_long), ("do_not_propagate_mask", ctypes.c_long),
                        ("override_redirect", ctypes.c_int), ("colormap", ctypes.c_ulong),
                        ("cursor", ctypes.c_ulong)]
        attributes = Attributes()
        attributes.colormap = x11.XCreateColormap(self.dpy, root, visual, 0)
        cw_border_pixel, cw_colormap = 1 << 3, 1 << 13
        x11.XFree.argtypes = [ctypes.c_void_p]
        window = x11.XCreateWindow(self.dpy, root, x, y, w, h, 0, depth, 1, visual, cw_border_pixel | cw_colormap,
                                   ctypes.byref(attributes))
        x11.XFree(info)
        return window

    def destroy(self):
        if self.id:
            self.x11.XDestroyWindow(self.dpy, self.id)
            self.x11.XSync(self.dpy, 0)
            self.id = 0

    def close(self):
        self.destroy()
        if self.dpy:
            self.x11.XCloseDisplay(self.dpy)
            self.dpy = None


# --------------------------------------------------------------------------- pictures

# Shared with the Wine tests.
picture_image, covered, shaded = h.picture_image, h.covered, h.shaded


def whole_piece_shade(size):
    """The vertex colours of the whole piece as a picture: white at corners 0 to 2 (bottom-left,
    top-left, top-right), 80 percent at corner 3 (bottom-right). Mesa draws the quad as the
    triangles (0, 1, 2) and (0, 2, 3), so the upper-left half is white and the lower-right half
    darkens towards corner 3; the Xvfb tests check this model against a frame over a white desktop."""
    w, hgt = size
    cw, ch = round(w * h.COVER), round(hgt * h.COVER)
    x0, y0 = (w - cw) // 2, (hgt - ch) // 2
    rows = []
    for y in range(hgt):
        v = (y - y0 + 0.5) / ch
        row = bytearray(3 * w)
        for x in range(x0, x0 + cw):
            u = (x - x0 + 0.5) / cw
            level = 255 if u + v <= 1 else round(255 * (1 - 0.2 * min(1.0, u + v - 1)))
            row[3 * x:3 * x + 3] = bytes((level, level, level))
        rows.append(bytes(row) if 0 <= y - y0 < ch else bytes(3 * w))
    return h.Image(w, hgt, b"".join(rows))


def expected_whole(picture, size):
    """What the whole piece shows in a window of `size` when `picture` is the desktop under it."""
    return shaded(covered(picture_image(picture) if not isinstance(picture, h.Image) else picture, size),
                  whole_piece_shade(size))


def whole_white(view):
    """The whole piece over a white desktop: white, shading to 80 percent towards one corner."""
    top_left = view.crop(20, 20, 30, 30).mean()
    bottom_right = view.crop(view.width - 25, view.height - 25, 15, 15).mean()
    return min(top_left) > 245 and all(abs(c - 0.8 * 255) < 14 for c in bottom_right)


def broken(view):
    """Shards on black: a good part of the view is background."""
    return view.dark_fraction() > 0.08


def drawn(view):
    return view.dark_fraction() < 0.9


# --------------------------------------------------------------------------- XScreenSaver

class Screensaver:
    """The real XScreenSaver daemon on `display`, run by an unprivileged user (it refuses root)
    with a HOME of its own whose ~/.xscreensaver runs `programs` and nothing else; our program is
    installed with `cmake --install` into a private prefix that the daemon's PATH leads to."""

    USER = "nobody"

    def __init__(self, display, folder, program="GL: glassfall --root"):
        self.display = display
        self.folder = Path(folder)
        user = pwd.getpwnam(self.USER)
        self.home = self.folder / "home"
        self.prefix = self.folder / "usr"
        self.home.mkdir(parents=True)
        subprocess.run(["cmake", "--install", str(BUILD), "--prefix", str(self.prefix)], check=True,
                       capture_output=True, timeout=120)
        self.hacks = self.prefix / "libexec" / "xscreensaver"
        (self.home / ".xscreensaver").write_text("\n".join([
            "mode: one", "selected: 0", "lock: False", "fade: False", "unfade: False", "splash: False",
            "grabDesktopImages: True", "chooseRandomImages: False", "timeout: 0:30:00", "cycle: 0:00:00",
            "programs: " + program, ""]))
        for path in [self.folder, *self.folder.rglob("*")]:
            os.chown(path, user.pw_uid, user.pw_gid)
        os.chmod(self.folder, 0o755)
        subprocess.run(["xhost", f"+SI:localuser:{self.USER}"], env=display.env(), check=True, capture_output=True,
                       timeout=30)
        env = display.env(HOME=self.home, USER=self.USER, LOGNAME=self.USER,
                          PATH=f"{self.hacks}:/usr/libexec/xscreensaver:/usr/bin:/bin")
        env.pop("XAUTHORITY", None)
        self.log = open(self.folder / "xscreensaver.log", "w")
        # runuser sets HOME and the user's names from the password file unless told to keep them.
        self.proc = subprocess.Popen([shutil.which("runuser"), "-p", "-u", self.USER, "--", "xscreensaver", "--no-splash"],
                                     env=env,
                                     stdin=subprocess.DEVNULL, stdout=self.log, stderr=subprocess.STDOUT,
                                     start_new_session=True)
        h.wait_until(lambda: self.proc.poll() is not None or self.command("-time").returncode == 0, 30,
                     interval=0.2, what="the XScreenSaver daemon answering")
        if self.proc.poll() is not None:
            raise RuntimeError("xscreensaver exited: " + (self.folder / "xscreensaver.log").read_text())

    def command(self, *args):
        return subprocess.run(["xscreensaver-command", *args], env=self.display.env(), capture_output=True, text=True,
                              timeout=30)

    def stop(self):
        # runuser waits for the daemon: ending the session's group ends both.
        if self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait()
        self.log.close()

    def hack_pids(self):
        """Our program's processes run by this daemon (for its user, with this test's mark)."""
        uid = pwd.getpwnam(self.USER).pw_uid
        mark = f"{OWNER_VARIABLE}={os.getpid()}"
        return [pid for pid, _, comm, owner in processes()
                if comm == "glassfall" and owner == uid and carries(pid, mark)]


class DaemonTest:
    """Set-up shared by the tests under the daemon (a mixin for unittest.TestCase): a display
    from `make_display()`, the test picture of its size as the desktop, the daemon running
    "GL: glassfall --root"; all of it ended by its own ids afterwards."""

    @classmethod
    def make_display(cls):
        raise NotImplementedError

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.TemporaryDirectory(prefix="gf-xss-")
        cls.x = cls.make_display()
        try:
            cls.picture = mp.test_picture(*cls.x.size)
            cls.x.set_root_picture(cls.picture, cls.folder.name)
            cls.daemon = Screensaver(cls.x, cls.folder.name)
        except BaseException:
            cls.x.stop()
            cls.folder.cleanup()
            raise

    @classmethod
    def tearDownClass(cls):
        cls.daemon.command("-deactivate")
        cls.daemon.stop()
        cls.x.stop()
        cls.folder.cleanup()
