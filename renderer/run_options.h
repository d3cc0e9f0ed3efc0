// What a window-system front-end needs to know of a run: where the frames go, how fast, and
// whether the frame-rate corner shows. The program fills it in from its command line.
#pragma once

// Where the frames go.
enum class DrawTarget {
  ownWindow,  // a window of our own, the size of the screen
  root,       // the virtual root: the screensaver's window, else the root window
  windowId,   // a window someone else made
};

constexpr long kDefaultDelayMicroseconds = 16667;  // about 60 frames a second
constexpr long kMaxDelayMicroseconds = 10000000;

struct RunOptions {
  DrawTarget target = DrawTarget::ownWindow;
  // The window for `root` and `windowId`; 0 for `root` means the real root window.
  unsigned long window = 0;
  long delayMicroseconds = kDefaultDelayMicroseconds;
  bool showFps = false;
  // Wayland without a capture protocol (GNOME): the screenshot portal may ask the user for its
  // permission, once; otherwise it is used only where the permission is stored.
  bool askScreenshotPermission = false;
};
