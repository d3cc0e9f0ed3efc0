// The copy of each output through KWin's screenshot interface on the session bus
// (org.kde.KWin.ScreenShot2), for KDE Plasma, which has no Wayland capture protocol.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "wayland_output.h"

// Asks KWin for a picture of every described output (by its name), each written to a pipe
// and read whole, all by `deadline` (monotonic nanoseconds) or a stop request. Each output
// asked for ends captured: its pixels in `captured` (held in `copied`), or none. False when
// the session bus has no KWin screenshot interface, nothing asked; a refusal (KWin lets only
// programs its desktop entries name take screenshots) is said in one line on stderr.
bool captureThroughKwin(std::vector<std::unique_ptr<Output>>& outputs, std::int64_t deadline, const char* program);
