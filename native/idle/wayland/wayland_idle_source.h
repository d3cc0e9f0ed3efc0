// The session's idleness from the Wayland compositor: ext-idle-notify (KWin, sway 1.8 and
// later, Hyprland, niri, labwc, COSMIC), else KDE's older idle protocol (sway 1.7, KWin). Both
// leave idle out while an idle inhibitor (a playing video) is held.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "idle_mode.h"

// A source over the compositor in $WAYLAND_DISPLAY, `milliseconds` of no input being idle;
// nullptr when it cannot connect or offers neither protocol (`note` says which, in a few words).
std::unique_ptr<IdleSource> openWaylandIdleSource(std::uint32_t milliseconds, std::string& note);
