// The X connection's small services: an error trap around the calls that may fail, the atoms
// the front-end uses, and the wait for X or a stop request.
#pragma once

#include <X11/Xlib.h>

// Records the first X error raised by the calls made while it is in place (a window that
// vanished under us), instead of the default handler's exit. The errors are collected by a
// round trip when it goes out of scope or at check().
class XErrorTrap {
 public:
  explicit XErrorTrap(Display* display);
  ~XErrorTrap();
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // The first error code so far, 0 for none.
  int check();

 private:
  static int record(Display*, XErrorEvent* event);
  static int firstError_;
  Display* display_;
  XErrorHandler previous_;
};

struct Atoms {
  Atom wmProtocols;
  Atom wmDeleteWindow;
  Atom netWmState;
  Atom netWmStateFullscreen;

  explicit Atoms(Display* display);
};

// The connection to $DISPLAY, or nullptr with a line on stderr. Losing it later ends the
// process quietly with success: the run is over.
Display* openDisplay(const char* program);

// Sleeps until X has something for us, a stop is requested, or the time is up.
void waitForX(Display* display, int milliseconds);
