// Where the X11 run's picture comes from. No X call here: tested without a display.
#pragma once

#include "run_options.h"

// The screensaver's own helper fills in the picture when we draw into a window the daemon (or
// its settings preview) gave us; everywhere else we photograph the screen ourselves.
inline bool pictureFromScreensaverHelper(const RunOptions& options, bool screensaverWindowSet) {
  return screensaverWindowSet && options.target != DrawTarget::ownWindow;
}
