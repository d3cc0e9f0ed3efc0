#include "x_window.h"

#include <GL/glx.h>
#include <X11/Xatom.h>

#include <cstdio>

bool chooseOwnWindow(Display* display, const char* program, DrawWindow& target) {
  const int screen = DefaultScreen(display);
  int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1,
                      GLX_DEPTH_SIZE, 16, None};
  XVisualInfo* visual = glXChooseVisual(display, screen, attributes);
  if (!visual) {
    std::fprintf(stderr, "%s: no double-buffered OpenGL visual on this display\n", program);
    return false;
  }
  target.visual = *visual;
  XFree(visual);
  target.own = true;
  target.width = DisplayWidth(display, screen);
  target.height = DisplayHeight(display, screen);
  return true;
}

void createOwnWindow(Display* display, const char* program, const Atoms& atoms, DrawWindow& target) {
  const int screen = DefaultScreen(display);
  const Window root = RootWindow(display, screen);
  XSetWindowAttributes set = {};
  set.colormap = XCreateColormap(display, root, target.visual.visual, AllocNone);
  set.background_pixel = BlackPixel(display, screen);
  set.border_pixel = 0;
  set.event_mask = KeyPressMask | StructureNotifyMask | ExposureMask;
  target.window = XCreateWindow(display, root, 0, 0, unsigned(target.width), unsigned(target.height), 0,
                                target.visual.depth, InputOutput, target.visual.visual,
                                CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &set);
  XStoreName(display, target.window, "Glassfall");
  XClassHint hint = {const_cast<char*>(program), const_cast<char*>("Glassfall")};
  XSetClassHint(display, target.window, &hint);
  XSetWMProtocols(display, target.window, const_cast<Atom*>(&atoms.wmDeleteWindow), 1);
  XChangeProperty(display, target.window, atoms.netWmState, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&atoms.netWmStateFullscreen), 1);

  // No pointer over the picture, as on Windows.
  static const char emptyBits[1] = {0};
  Pixmap empty = XCreateBitmapFromData(display, target.window, emptyBits, 1, 1);
  XColor black = {};
  target.blankCursor = XCreatePixmapCursor(display, empty, empty, &black, &black, 0, 0);
  XFreePixmap(display, empty);
  XDefineCursor(display, target.window, target.blankCursor);

  XSelectInput(display, root, StructureNotifyMask);
  XMapRaised(display, target.window);
}

Adoption adoptWindow(Display* display, const char* program, Window window, DrawWindow& target) {
  XWindowAttributes attributes;
  {
    XErrorTrap trap(display);
    const Status got = XGetWindowAttributes(display, window, &attributes);
    if (trap.check() || !got) {
      std::fprintf(stderr, "%s: there is no window 0x%lx\n", program, window);
      return Adoption::unusable;
    }
    // Several clients may listen for these on one window; the screensaver's is no exception.
    XSelectInput(display, window, attributes.your_event_mask | StructureNotifyMask | KeyPressMask | ExposureMask);
    if (trap.check()) return Adoption::gone;
  }
  XVisualInfo wanted = {};
  wanted.visualid = XVisualIDFromVisual(attributes.visual);
  int count = 0;
  XVisualInfo* found = XGetVisualInfo(display, VisualIDMask, &wanted, &count);
  if (!found) return Adoption::unusable;
  target.visual = found[0];
  XFree(found);
  int useGl = 0, doubleBuffer = 0, depth = 0;
  if (glXGetConfig(display, &target.visual, GLX_USE_GL, &useGl) != 0 || !useGl) {
    std::fprintf(stderr, "%s: window 0x%lx has a visual without OpenGL\n", program, window);
    return Adoption::unusable;
  }
  // Without either the pieces would flicker or show through one another.
  if (glXGetConfig(display, &target.visual, GLX_DOUBLEBUFFER, &doubleBuffer) != 0 || !doubleBuffer ||
      glXGetConfig(display, &target.visual, GLX_DEPTH_SIZE, &depth) != 0 || depth < 1) {
    std::fprintf(stderr, "%s: window 0x%lx has no double-buffered OpenGL visual with a depth buffer\n", program,
                 window);
    return Adoption::unusable;
  }
  target.window = window;
  target.width = attributes.width;
  target.height = attributes.height;
  return Adoption::adopted;
}

void releaseWindow(Display* display, DrawWindow& target, bool windowGone) {
  XErrorTrap trap(display);
  if (target.own && !windowGone && target.window) XDestroyWindow(display, target.window);
  if (target.blankCursor) XFreeCursor(display, target.blankCursor);
  target.window = 0;
  target.blankCursor = 0;
}
