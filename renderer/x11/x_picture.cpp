#include "x_picture.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "helper_process.h"
#include "posix_clock.h"

namespace {

const char kGrabber[] = "xscreensaver-getimage";
const char kScreensaverHelpers[] = "/usr/libexec/xscreensaver";
// A grabber that has not delivered by then will not: the pieces go untextured instead.
constexpr int kGrabberTimeoutMs = 10000;

// Converts an image read from the server into the picture.
bool convertImage(const XImage* image, unsigned long red, unsigned long green, unsigned long blue,
                  HeldPicture& picture) {
  ScreenPixels pixels;
  pixels.width = image->width;
  pixels.height = image->height;
  pixels.bytesPerLine = image->bytes_per_line;
  pixels.bitsPerPixel = image->bits_per_pixel;
  pixels.mostSignificantByteFirst = image->byte_order == MSBFirst;
  pixels.redMask = std::uint32_t(red);
  pixels.greenMask = std::uint32_t(green);
  pixels.blueMask = std::uint32_t(blue);
  pixels.data = reinterpret_cast<const unsigned char*>(image->data);
  // What XGetImage allocates for a Z-format image.
  if (image->bytes_per_line > 0 && image->height > 0)
    pixels.size = std::size_t(image->bytes_per_line) * std::size_t(image->height);
  return convertScreenPixels(pixels, picture);
}

// The same for an image of Xlib's memory, which it then frees.
bool takePicture(XImage* image, unsigned long red, unsigned long green, unsigned long blue, HeldPicture& picture) {
  if (!image) return false;
  const bool ok = convertImage(image, red, green, blue, picture);
  XDestroyImage(image);
  return ok;
}

bool readPixmap(Display* display, Pixmap pixmap, const DrawWindow& target, HeldPicture& picture) {
  XErrorTrap trap(display);
  XImage* image = XGetImage(display, pixmap, 0, 0, unsigned(target.width), unsigned(target.height), AllPlanes,
                            ZPixmap);
  // A pixmap's image carries no masks of its own: they are the window's visual's.
  return takePicture(image, target.visual.red_mask, target.visual.green_mask, target.visual.blue_mask, picture);
}

// The rectangle clipped to the screen; false when none of it is on the screen.
bool clipToScreen(Display* display, int& x, int& y, int& width, int& height) {
  const int screen = DefaultScreen(display);
  const int right = std::min(x + width, DisplayWidth(display, screen));
  const int bottom = std::min(y + height, DisplayHeight(display, screen));
  x = std::max(x, 0);
  y = std::max(y, 0);
  width = right - x;
  height = bottom - y;
  return width > 0 && height > 0;
}

// The root window's image under the rectangle, clipped to the screen; null when none of it is
// on the screen, or when the screen shrank since the connection told its size or memory ran out.
XImage* readRoot(Display* display, int x, int y, int width, int height) {
  if (!clipToScreen(display, x, y, width, height)) return nullptr;
  XErrorTrap trap(display);
  return XGetImage(display, RootWindow(display, DefaultScreen(display)), x, y, unsigned(width), unsigned(height),
                   AllPlanes, ZPixmap);
}

}  // namespace

bool photographRoot(Display* display, int x, int y, int width, int height, HeldPicture& picture) {
  XImage* image = readRoot(display, x, y, width, height);
  if (!image) return false;
  return takePicture(image, image->red_mask, image->green_mask, image->blue_mask, picture);
}

void RootPhotograph::take(Display* display, int x, int y, int width, int height, HeldPicture& picture) {
  finish();
  if (clipToScreen(display, x, y, width, height)) {
    if (const XImage* image = shared_.read(display, x, y, width, height)) {
      // Converted from the shared memory, which finish() gives back once the thread is done.
      converter_ = std::thread([image, &picture] {
        convertImage(image, image->red_mask, image->green_mask, image->blue_mask, picture);
      });
      return;
    }
  }
  XImage* image = readRoot(display, x, y, width, height);
  if (!image) return;
  // The image is ours alone: converting and freeing it needs no connection.
  converter_ = std::thread([image, &picture] {
    takePicture(image, image->red_mask, image->green_mask, image->blue_mask, picture);
  });
}

void RootPhotograph::finish() {
  if (converter_.joinable()) converter_.join();
  shared_.release();
}

bool photographUnderWindow(Display* display, const DrawWindow& target, HeldPicture& picture) {
  int x = 0, y = 0;
  Window child;
  {
    XErrorTrap trap(display);
    if (!XTranslateCoordinates(display, target.window, DefaultRootWindow(display), 0, 0, &x, &y, &child) ||
        trap.check()) {
      return false;
    }
  }
  photographRoot(display, x, y, target.width, target.height, picture);
  return true;
}

Grab grabWithHelper(Display* display, const DrawWindow& target, HelperProcess& grabber,
                    const std::function<bool(int milliseconds)>& pump, HeldPicture& picture) {
  const std::string program = findProgram(kGrabber, std::getenv("PATH"), kScreensaverHelpers);
  if (program.empty()) return Grab::done;
  Pixmap pixmap = 0;
  {
    XErrorTrap trap(display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, target.window, &attributes) || trap.check()) return Grab::windowGone;
    pixmap = XCreatePixmap(display, target.window, unsigned(target.width), unsigned(target.height),
                           unsigned(attributes.depth));
    if (trap.check()) return Grab::windowGone;
  }
  // The helper must talk to the server and screen we draw on.
  setenv("DISPLAY", DisplayString(display), 1);
  char ids[2][32];
  std::snprintf(ids[0], sizeof ids[0], "0x%lx", target.window);
  std::snprintf(ids[1], sizeof ids[1], "0x%lx", pixmap);
  bool goOn = true;
  if (grabber.start(program, {ids[0], ids[1]})) {
    const std::int64_t deadline = monotonicNow() + std::int64_t(kGrabberTimeoutMs) * 1000000;
    while (goOn && grabber.poll() == HelperProcess::State::running && monotonicNow() < deadline) goOn = pump(20);
    if (goOn && grabber.poll() == HelperProcess::State::succeeded) readPixmap(display, pixmap, target, picture);
    grabber.stop();
  }
  XErrorTrap trap(display);
  XFreePixmap(display, pixmap);
  return Grab::done;
}
