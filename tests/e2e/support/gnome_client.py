"""The GNOME rig's hands and eyes on the shell's session bus, run by the system's Python (GI):
keys through a Mutter remote-desktop session (the headless shell has no keyboard; the session
lives as long as this process), the screen read back through the screenshot portal as any
program reads it. One command a line on stdin, one answer a line on stdout:

    key KEYSYM            press and release (hex or decimal keysym)  -> ok
    shot PATH             the whole desktop as a PNG at PATH          -> ok | error TEXT
    scale N               the first monitor at scale N, the others right of it, as the
                          display settings would apply it               -> ok
"""

import shutil
import sys
import time

from gi.repository import Gio, GLib

bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
counter = 0


def call(name, path, interface, method, args, reply=None, timeout=10000):
    return bus.call_sync(name, path, interface, method, args, GLib.VariantType(reply) if reply else None,
                         Gio.DBusCallFlags.NONE, timeout, None)


desk = "org.gnome.Mutter.RemoteDesktop"
session = call(desk, "/org/gnome/Mutter/RemoteDesktop", desk, "CreateSession", None, "(o)").unpack()[0]
call(desk, session, desk + ".Session", "Start", None)


def key(keysym):
    for down in (True, False):
        call(desk, session, desk + ".Session", "NotifyKeyboardKeysym", GLib.Variant("(ub)", (keysym, down)))


def shot(target, deadline=15):
    """A portal screenshot (interactive=false, as the program asks), its file moved to `target`."""
    global counter
    counter += 1
    token = f"gfrig{counter}"
    sender = bus.get_unique_name()[1:].replace(".", "_")
    handle = f"/org/freedesktop/portal/desktop/request/{sender}/{token}"
    answer = []
    loop = GLib.MainLoop()

    def on_response(_c, _s, _p, _i, _m, params):
        answer.append(params.unpack())
        loop.quit()

    sub = bus.signal_subscribe("org.freedesktop.portal.Desktop", "org.freedesktop.portal.Request", "Response",
                               handle, None, Gio.DBusSignalFlags.NONE, on_response)
    try:
        call("org.freedesktop.portal.Desktop", "/org/freedesktop/portal/desktop", "org.freedesktop.portal.Screenshot",
             "Screenshot", GLib.Variant("(sa{sv})", ("", {"handle_token": GLib.Variant("s", token),
                                                          "interactive": GLib.Variant("b", False)})), "(o)",
             timeout=deadline * 1000)
        GLib.timeout_add(deadline * 1000, loop.quit)
        if not answer:
            loop.run()
    finally:
        bus.signal_unsubscribe(sub)
    if not answer:
        return "error no answer"
    response, results = answer[0]
    if response != 0 or "uri" not in results:
        return f"error response {response}"
    path = Gio.File.new_for_uri(results["uri"]).get_path()
    shutil.move(path, target)
    return "ok"


def scale(factor):
    config = "org.gnome.Mutter.DisplayConfig"
    serial, monitors, _, props = call(config, "/org/gnome/Mutter/DisplayConfig", config, "GetCurrentState", None,
                                      "(ua((ssss)a(siiddada{sv})a{sv})a(iiduba(ssss)a{sv})a{sv})").unpack()
    # GNOME lays monitors out in physical pixels unless fractional scaling is on (layout-mode 2).
    physical = props.get("layout-mode", 1) == 2
    x, logical = 0, []
    for i, (ids, modes, _) in enumerate(monitors):
        mode = next(m for m in modes if m[6].get("is-current"))
        s = factor if i == 0 else 1.0
        logical.append((x, 0, s, 0, i == 0, [(ids[0], mode[0], {})]))
        x += mode[1] if physical else int(mode[1] / s)
    call(config, "/org/gnome/Mutter/DisplayConfig", config, "ApplyMonitorsConfig",
         GLib.Variant("(uua(iiduba(ssa{sv}))a{sv})", (serial, 1, logical, {})))


for line in sys.stdin:
    words = line.split()
    try:
        if words[0] == "key":
            key(int(words[1], 0))
            time.sleep(0.05)
            print("ok", flush=True)
        elif words[0] == "scale":
            scale(float(words[1]))
            print("ok", flush=True)
        elif words[0] == "shot":
            print(shot(words[1]), flush=True)
        else:
            print("error unknown command", flush=True)
    except GLib.Error as e:
        print("error " + e.message.replace("\n", " "), flush=True)
