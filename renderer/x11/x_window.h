// The window the frames go to: one of our own the size of the screen, or one someone else
// made (the screensaver's, the root, a window id), adopted as it is.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "x_display.h"

struct DrawWindow {
  Window window = 0;
  bool own = false;
  int width = 0;
  int height = 0;
  XVisualInfo visual = {};
  Cursor blankCursor = 0;  // our own window shows no pointer
};

// A double-buffered OpenGL visual with a depth buffer for a window of our own, the screen's
// size; false with a line on stderr when the display has none.
bool chooseOwnWindow(Display* display, const char* program, DrawWindow& target);

// Makes and maps the window chosen above, full screen and without a pointer. It follows the
// root window's size, which a monitor plugged in or a new resolution changes.
void createOwnWindow(Display* display, const char* program, const Atoms& atoms, DrawWindow& target);

enum class Adoption {
  adopted,
  gone,      // the window went away while we looked at it
  unusable,  // no such window, or no visual we can draw on; a line on stderr says which
};

// Takes over `window`: listens for its changes and keys, and checks that its visual draws
// double-buffered OpenGL with a depth buffer.
Adoption adoptWindow(Display* display, const char* program, Window window, DrawWindow& target);

// Gives back what createOwnWindow made; an adopted window stays as it is.
void releaseWindow(Display* display, DrawWindow& target, bool windowGone);
