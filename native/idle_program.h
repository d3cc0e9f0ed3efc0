// glassfall --idle SECONDS: the program's long-running mode, for desktops where no idle daemon
// starts it. It picks the session's idle source and runs each screensaver as a process of its
// own (`glassfall --wayland`), so that a run's lock, stop and music stay those of any run.
#pragma once

#include "hack_options.h"

// The exit code: 0 on SIGTERM, 1 when no idle source can be had or the one in use went away,
// 2 on X11 (XScreenSaver is the idle daemon there).
int runIdleMode(const char* program, const HackOptions& options);
