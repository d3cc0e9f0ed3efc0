// The native program on a Wayland compositor: every output covered, each showing its own
// part of the desktop, whole, then broken.
#pragma once

#include <functional>

#include "hack_options.h"

// What runs beside the animation (the music): started once the outputs are covered, stopped
// on every way out.
struct WaylandCompanions {
  std::function<void()> start;
  std::function<void()> stop;
};

// The whole run, from connecting to the compositor to the end; the process's exit status
// (0 also when the compositor went away or a signal ended it).
int runOnWayland(const HackOptions& options, const WaylandCompanions& companions);
