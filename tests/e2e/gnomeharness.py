"""The GNOME rig of the native program's tests: a headless GNOME Shell (root, as the machine
runs it) on a system bus and a session bus of its own, a stand-in logind on the system bus, the
desktop portals started by the session bus when asked for (as on a desktop), our own picture as
the background (through the dconf database the shell reads), keys typed through Mutter's
remote-desktop interface and the screen read back through the screenshot portal
(support/gnome_client.py). Every process it starts carries OWNER_MARK and is ended by group
or by id; none is ever looked up by name alone."""

import os
import shutil
import signal
import subprocess
import time
from pathlib import Path

import gfharness as h
import linuxharness as lh
from waylandharness import OWNER_MARK, OWNER_VARIABLE, stop_group

OUT_SHOTS = Path("/tmp/gnome-shots")
CLIENT = Path(__file__).resolve().parent / "support" / "gnome_client.py"
SYSTEM_PYTHON = "/usr/bin/python3"  # the one with GI and dbusmock
SOCKET = "gf-gnome"
TOOLS = ("gnome-shell", "dbus-daemon", "gdbus", "/usr/libexec/xdg-desktop-portal",
         "/usr/libexec/xdg-desktop-portal-gnome", "/usr/libexec/xdg-permission-store")
STORE = ("org.freedesktop.impl.portal.PermissionStore", "/org/freedesktop/impl/portal/PermissionStore")

BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>{kind}</type>
  <listen>unix:path={socket}</listen>
  <auth>EXTERNAL</auth>
  {services}
  <policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
  <allow own="*"/></policy>
</busconfig>
"""
# Only the portals are started on demand; the shell's other helpers stay absent.
SERVICES = {
    "org.freedesktop.portal.Desktop": "/usr/libexec/xdg-desktop-portal --verbose",
    "org.freedesktop.impl.portal.desktop.gnome": "/usr/libexec/xdg-desktop-portal-gnome --verbose",
    "org.freedesktop.impl.portal.PermissionStore": "/usr/libexec/xdg-permission-store",
}


def missing_tools():
    return [t for t in TOOLS if not shutil.which(t)] + [str(p) for p in (Path(SYSTEM_PYTHON), lh.GST_WARM)
                                                         if not p.exists()]


def settings_file(folder, picture_path):
    """The settings the shell reads at start (GLib's keyfile backend of GSettings): our picture
    spanned over the layout, no banners over it, no animations, no blanking or lock while the
    tests run."""
    target = folder / "home" / ".config" / "glib-2.0" / "settings"
    target.mkdir(parents=True)
    (target / "keyfile").write_text(
        "[org/gnome/desktop/background]\n"
        f"picture-uri='file://{picture_path}'\npicture-uri-dark='file://{picture_path}'\n"
        "picture-options='spanned'\nprimary-color='#000000'\n"
        "[org/gnome/desktop/notifications]\nshow-banners=false\n"
        "[org/gnome/desktop/interface]\nenable-animations=false\n"
        "[org/gnome/desktop/session]\nidle-delay=uint32 0\n"
        "[org/gnome/desktop/screensaver]\nlock-enabled=false\n")


class GnomeShell:
    """Headless GNOME Shell with `monitors` (virtual monitors, laid out left to right) and
    `background` (a PNG file) spanned over them."""

    def __init__(self, folder, monitors, background):
        self.folder = Path(folder)
        self.runtime = self.folder / "run"
        self.runtime.mkdir(mode=0o700)
        (self.folder / "home").mkdir()
        settings_file(self.folder, background)
        self.procs = []
        self.logs = []
        self.system_bus = self.folder / "system_bus"
        self.session_bus = self.folder / "session_bus"
        services = self.folder / "services"
        services.mkdir()
        for name, command in SERVICES.items():
            (services / f"{name}.service").write_text(f"[D-BUS Service]\nName={name}\nExec={command}\n")
        (self.folder / "system.conf").write_text(BUS_CONFIG.format(kind="system", socket=self.system_bus,
                                                                    services=""))
        (self.folder / "session.conf").write_text(BUS_CONFIG.format(
            kind="session", socket=self.session_bus, services=f"<servicedir>{services}</servicedir>"))
        self.bus_log = self.log("session-bus.log")
        self.start(["dbus-daemon", "--nofork", "--config-file", str(self.folder / "system.conf")], "system-bus.log")
        self.start(["dbus-daemon", "--nofork", "--config-file", str(self.folder / "session.conf")], self.bus_log)
        h.wait_until(lambda: self.system_bus.exists() and self.session_bus.exists(), 20, what="the buses")
        self.start([SYSTEM_PYTHON, "-m", "dbusmock", "--template", "logind", "--system"], "logind.log")
        h.wait_until(lambda: self.has_name("org.freedesktop.login1", system=True), 20, what="the stand-in logind")
        argv = ["gnome-shell", "--headless", "--wayland", "--no-x11", "--wayland-display", SOCKET]
        for w, hgt in monitors:
            argv += ["--virtual-monitor", f"{w}x{hgt}"]
        self.shell_log = self.folder / "shell.log"
        self.shell = self.start(argv, "shell.log")
        h.wait_until(lambda: self.shell.poll() is not None or "GNOME Shell started" in self.shell_log.read_text(),
                     60, what="GNOME Shell started")
        if self.shell.poll() is not None:
            raise RuntimeError("gnome-shell exited: " + self.shell_log.read_text()[-3000:])
        # It starts in the overview: the desktop itself is what the tests look at.
        self.gdbus("call", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell", "-m",
                   "org.freedesktop.DBus.Properties.Set", "org.gnome.Shell", "OverviewActive", "<false>")
        h.wait_until(lambda: "false" in self.gdbus("call", "-d", "org.gnome.Shell", "-o", "/org/gnome/Shell", "-m",
                                                   "org.freedesktop.DBus.Properties.Get", "org.gnome.Shell",
                                                   "OverviewActive"), 20, what="the overview gone")
        self.client = self.start([SYSTEM_PYTHON, str(CLIENT)], "client.log", stdin=subprocess.PIPE,
                                 stdout=subprocess.PIPE)
        # The headless seat gets its keyboard with the remote-desktop session's first key, and
        # that key reaches no one (measured: the focused window saw the next ones only): one
        # harmless Shift now, long before any test types.
        self.key(0xffe1)

    def log(self, name):
        self.logs.append(open(self.folder / name, "a"))
        return self.logs[-1]

    def env(self, **extra):
        env = {"PATH": "/usr/bin:/bin", "HOME": str(self.folder / "home"), "XDG_RUNTIME_DIR": str(self.runtime),
               "XDG_SESSION_TYPE": "wayland", "XDG_CURRENT_DESKTOP": "GNOME", "WAYLAND_DISPLAY": SOCKET,
               "DBUS_SYSTEM_BUS_ADDRESS": f"unix:path={self.system_bus}",
               "DBUS_SESSION_BUS_ADDRESS": f"unix:path={self.session_bus}", "GTK_A11Y": "none",
               "NO_AT_BRIDGE": "1", "LANG": "C.UTF-8", "GSETTINGS_BACKEND": "keyfile",
               "XDG_CONFIG_HOME": str(self.folder / "home" / ".config"), **OWNER_MARK, **lh.gst_registry("root")}
        env.update({k: str(v) for k, v in extra.items()})
        return env

    def start(self, argv, log, stdin=subprocess.DEVNULL, stdout=None, **extra):
        out = log if not isinstance(log, str) else self.log(log)
        proc = subprocess.Popen(argv, env=self.env(**extra), stdin=stdin, stdout=stdout or out,
                                stderr=out, start_new_session=True, cwd=self.folder)
        self.procs.append(proc)
        return proc

    def gdbus(self, *args, system=False):
        done = subprocess.run(["gdbus", *args[:1], "--system" if system else "--session", *args[1:]],
                              env=self.env(), capture_output=True, text=True, timeout=30)
        return done.stdout if done.returncode == 0 else "error: " + done.stderr

    def has_name(self, name, system=False):
        return "true" in self.gdbus("call", "-d", "org.freedesktop.DBus", "-o", "/org/freedesktop/DBus", "-m",
                                    "org.freedesktop.DBus.NameHasOwner", name, system=system)

    def ask(self, command):
        self.client.stdin.write((command + "\n").encode())
        self.client.stdin.flush()
        answer = self.client.stdout.readline().decode().strip()
        if answer != "ok":
            raise RuntimeError(f"{command}: {answer or 'the rig client ended'}")

    def key(self, keysym):
        self.ask(f"key {keysym:#x}")

    def shot(self, save_as=None):
        """The whole desktop now, through the screenshot portal (the rig's own grant)."""
        path = self.folder / "shot.png"
        self.ask(f"shot {path}")
        image = h.Image.load(path)
        path.unlink()
        if save_as:
            self.keep(image, save_as)
        return image

    @staticmethod
    def keep(image, name):
        OUT_SHOTS.mkdir(parents=True, exist_ok=True)
        image.save(OUT_SHOTS / name)

    # ---- the permission store, as GNOME keeps the screenshot permission

    def set_grant(self, answer, app=""):
        out = self.gdbus("call", "-d", STORE[0], "-o", STORE[1], "-m", STORE[0] + ".SetPermission", "screenshot",
                         "true", "screenshot", app, f"['{answer}']")
        if out.startswith("error"):
            raise RuntimeError(out)

    def forget_grant(self):
        self.gdbus("call", "-d", STORE[0], "-o", STORE[1], "-m", STORE[0] + ".Delete", "screenshot", "screenshot")

    def grants(self):
        """The stored screenshot answers by app id ('' for programs without one)."""
        return self.gdbus("call", "-d", STORE[0], "-o", STORE[1], "-m", STORE[0] + ".Lookup", "screenshot",
                          "screenshot")

    def portal_requests(self):
        """How many screenshots the portal was asked for so far, and how many it answered (its
        own log)."""
        log = (self.folder / "session-bus.log").read_text(errors="replace")
        return log.count("XDP: Handle Screenshot"), log.count("XDP: sending response")

    def stop(self):
        for proc in reversed(self.procs):
            stop_group(proc)
        # The portals the session bus started, and anything else left with our mark.
        mark = f"{OWNER_VARIABLE}={OWNER_MARK[OWNER_VARIABLE]}"
        for pid, _ in lh.carrying(mark):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        h.wait_until(lambda: not lh.carrying(mark), 10, what="the rig's processes gone")
        if self.client.stdin:
            self.client.stdin.close()
            self.client.stdout.close()
        for log in self.logs:
            log.close()


def our_programs():
    """The glassfall processes this test process started (by the mark, never by name alone)."""
    mark = f"{OWNER_VARIABLE}={OWNER_MARK[OWNER_VARIABLE]}"
    return [pid for pid, name in lh.carrying(mark) if name == "glassfall"]
