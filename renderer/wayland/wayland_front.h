// The native program on a Wayland compositor: every output covered, each showing its own
// part of the desktop, whole, then broken.
#pragma once

#include "run_options.h"
#include "run_companions.h"

// The companions start once the outputs are covered and stop on every way out. The whole run, from connecting to the compositor to the end; the process's exit status
// (0 also when the compositor went away or a signal ended it).
int runOnWayland(const RunOptions& options, RunCompanions& companions);
