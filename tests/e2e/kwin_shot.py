"""What KWin shows on one output, read through its own screenshot interface (ScreenShot2) and
written to standard output as a binary PPM. Run by the KWin rig's copy of the system Python,
the executable its private desktop entry lets take screenshots; needs python3-gi.

    kwin_shot.py OUTPUT
"""

import os
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

# QImage formats: which byte of a pixel holds red, green and blue.
CHANNELS = {4: (2, 1, 0), 5: (2, 1, 0), 6: (2, 1, 0), 16: (0, 1, 2), 17: (0, 1, 2), 18: (0, 1, 2)}


def shot(name):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION)
    read_end, write_end = os.pipe()
    fds = Gio.UnixFDList.new()
    fds.append(write_end)  # the list holds its own copy
    os.close(write_end)
    reply, _ = bus.call_with_unix_fd_list_sync(
        "org.kde.KWin", "/org/kde/KWin/ScreenShot2", "org.kde.KWin.ScreenShot2", "CaptureScreen",
        GLib.Variant("(sa{sv}h)", (name, {"native-resolution": GLib.Variant("b", True)}, 0)),
        GLib.VariantType("(a{sv})"), Gio.DBusCallFlags.NONE, 10000, fds, None)
    del fds  # our last copy of the write end: the pipe ends when KWin has written
    info = reply.unpack()[0]
    chunks = []
    while True:
        chunk = os.read(read_end, 1 << 20)
        if not chunk:
            break
        chunks.append(chunk)
    os.close(read_end)
    data = b"".join(chunks)
    width, height, stride, fmt = info["width"], info["height"], info["stride"], info["format"]
    if fmt not in CHANNELS or len(data) < stride * height:
        raise SystemExit(f"kwin_shot: format {fmt}, {len(data)} of {stride * height} bytes")
    packed = b"".join(data[y * stride:y * stride + width * 4] for y in range(height))
    rgb = bytearray(width * height * 3)
    for i, c in enumerate(CHANNELS[fmt]):
        rgb[i::3] = packed[c::4]
    return f"P6\n{width} {height}\n255\n".encode() + bytes(rgb)


if __name__ == "__main__":
    sys.stdout.buffer.write(shot(sys.argv[1]))
