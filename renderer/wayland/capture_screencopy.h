// The copy of an output through wlr-screencopy (sway, Hyprland, niri, labwc, river, Wayfire),
// into wl_shm, before anything of ours shows on it.
#pragma once

#include "wayland_output.h"

struct zwlr_screencopy_manager_v1;

// Asks for a copy of the output: its stage becomes capturing, then captured when the copy is
// over (its pixels in `captured`, or none when the compositor failed it or offered no format we
// can read).
void requestScreencopy(zwlr_screencopy_manager_v1* manager, wl_shm* shm, Output& output);
