#include "x_display.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "stop_signals.h"

int XErrorTrap::firstError_ = 0;

XErrorTrap::XErrorTrap(Display* display) : display_(display) {
  XSync(display_, False);
  firstError_ = 0;
  previous_ = XSetErrorHandler(record);
}

XErrorTrap::~XErrorTrap() {
  XSync(display_, False);
  XSetErrorHandler(previous_);
}

int XErrorTrap::check() {
  XSync(display_, False);
  return firstError_;
}

int XErrorTrap::record(Display*, XErrorEvent* event) {
  if (firstError_ == 0) firstError_ = event->error_code;
  return 0;
}

Atoms::Atoms(Display* display) {
  const char* names[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN"};
  Atom atoms[4];
  XInternAtoms(display, const_cast<char**>(names), 4, False, atoms);
  wmProtocols = atoms[0];
  wmDeleteWindow = atoms[1];
  netWmState = atoms[2];
  netWmStateFullscreen = atoms[3];
}

namespace {

// The display went away (the server ended, the connection broke): the run is over. Xlib ends
// the process once this returns, so leave now, quietly and with success, without the static
// destructors and thread joins that would talk to a connection that is no more.
int onDisplayLost(Display*) { _exit(0); }

}  // namespace

Display* openDisplay(const char* program) {
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    std::fprintf(stderr, "%s: cannot open display '%s'\n", program, name ? name : "");
    return nullptr;
  }
  XSetIOErrorHandler(onDisplayLost);
  return display;
}

void waitForX(Display* display, int milliseconds) {
  XFlush(display);
  pollfd fds[2] = {{ConnectionNumber(display), POLLIN, 0}, {stopsignals::wakeDescriptor(), POLLIN, 0}};
  ::poll(fds, 2, milliseconds);
}
