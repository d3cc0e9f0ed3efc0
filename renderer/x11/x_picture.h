// The picture that breaks: read from the screen before our window covers it, or drawn by the
// screensaver's helper into a pixmap under the screensaver's window.
#pragma once

#include <X11/Xlib.h>

#include <functional>
#include <thread>

#include "screen_picture.h"
#include "x_shared_image.h"
#include "x_window.h"

class HelperProcess;

// The root window's pixels under the rectangle, clipped to the screen; false when none of it
// is on the screen or the server gives no image.
bool photographRoot(Display* display, int x, int y, int width, int height, HeldPicture& picture);

// The root's pixels under the rectangle, read at once (through shared memory where the server
// offers it); their conversion into the picture runs on a thread of its own until finish(), so
// that it overlaps the making of the window and the GL context.
class RootPhotograph {
 public:
  RootPhotograph() = default;
  ~RootPhotograph() { finish(); }
  RootPhotograph(const RootPhotograph&) = delete;
  RootPhotograph& operator=(const RootPhotograph&) = delete;

  void take(Display* display, int x, int y, int width, int height, HeldPicture& picture);
  // Waits for the conversion; the picture is complete (or empty) afterwards. On the
  // connection's thread.
  void finish();

 private:
  std::thread converter_;
  SharedRootImage shared_;
};

// The screen under an adopted window, read where the window stands; false when the window is
// gone.
bool photographUnderWindow(Display* display, const DrawWindow& target, HeldPicture& picture);

enum class Grab {
  done,        // the picture is in `picture`, or there is none to have (no helper, a failed one)
  windowGone,  // the window went away meanwhile
};

// The screensaver's helper draws the picture the user chose (the screen as it was before
// blanking, or an image file) into a pixmap of the window's size and depth. While it works,
// `pump(milliseconds)` handles events for at most that long and says whether to go on waiting.
Grab grabWithHelper(Display* display, const DrawWindow& target, HelperProcess& grabber,
                    const std::function<bool(int milliseconds)>& pump, HeldPicture& picture);
