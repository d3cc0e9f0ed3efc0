// X11/GLX front-end of the native program: draws the run on an X display.
//  [x] --window (own window the size of the screen, following its changes; q, Escape, close
//      end it), --root ($XSCREENSAVER_WINDOW, else the root window), --window-id
//  [x] picture: xscreensaver-getimage into a pixmap under the screensaver; standalone the
//      area the window covers, read from the root window before our window shows
//  [x] the frame driver's schedule, paced by --delay, the corner with --fps
//  [x] frames drawn only where they changed: over swaps of known age (GLX_EXT_buffer_age), else
//      shown by copying the changed part (GLX_MESA_copy_sub_buffer), else whole
//  [x] a stop request, a window destroyed under it and the display going away end it with
//      exit code 0
//  [ ] several screens of one display (the default screen only)
#pragma once

#include "run_options.h"
#include "run_companions.h"

// Runs until the run ends; the exit code: 0 for every ordinary end, 1 when it cannot draw.
int runOnX11(const char* program, const RunOptions& options, RunCompanions& companions);
