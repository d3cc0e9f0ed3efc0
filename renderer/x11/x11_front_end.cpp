#include "x11_front_end.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <cstdlib>

#include "frame_driver.h"
#include "glx_context.h"
#include "loop_hooks.h"
#include "helper_process.h"
#include "picture_source.h"
#include "posix_clock.h"
#include "scene.h"
#include "screen_picture.h"
#include "stop_signals.h"
#include "x_display.h"
#include "x_picture.h"
#include "x_window.h"

namespace {

class X11Run {
 public:
  X11Run(Display* display, const char* program, const RunOptions& options, RunCompanions& companions)
      : display_(display), program_(program), options_(options), companions_(companions), atoms_(display) {}
  ~X11Run() { close(); }
  X11Run(const X11Run&) = delete;
  X11Run& operator=(const X11Run&) = delete;

  // Window, picture, context: false (with a line on stderr) when it cannot draw at all.
  bool open();
  void run();
  bool windowGone() const { return windowGone_; }

 private:
  bool openOwnWindow();
  bool openGivenWindow();
  void handleEvent(XEvent& event);
  void drainEvents();
  // Handles events for at most `milliseconds`; false once the run is ending.
  bool pump(int milliseconds);
  void close();
  bool ending() const { return quit_ || windowGone_ || stopsignals::requested(); }

  Display* display_;
  const char* program_;
  RunOptions options_;
  RunCompanions& companions_;
  Atoms atoms_;
  DrawWindow target_;
  GlxContext context_;
  bool drawing_ = false;  // the context is current on the window
  HeldPicture picture_;
  RootPhotograph photograph_;  // fills picture_ while the window and the context are made
  PictureRows pictureRows_;
  HelperProcess grabber_;
  bool quit_ = false;
  bool windowGone_ = false;
  bool exposed_ = false;  // the server lost some of the window's pixels: the next frame draws
  FrameDriver driver_;
};

bool X11Run::openOwnWindow() {
  if (!chooseOwnWindow(display_, program_, target_)) return false;
  // The screen as the user left it, before our own window covers it.
  photograph_.take(display_, 0, 0, target_.width, target_.height, picture_);
  createOwnWindow(display_, program_, atoms_, target_);
  // The picture's still moment counts from when it can be seen.
  for (;;) {
    XEvent event;
    while (XPending(display_)) {
      XNextEvent(display_, &event);
      if (event.type == MapNotify && event.xmap.window == target_.window) {
        loopHooks().onStartupStep("window shown");
        return true;
      }
      handleEvent(event);
    }
    if (ending()) return true;
    waitForX(display_, 100);
  }
}

bool X11Run::openGivenWindow() {
  const Window window = options_.window ? Window(options_.window) : DefaultRootWindow(display_);
  switch (adoptWindow(display_, program_, window, target_)) {
    case Adoption::adopted:
      break;
    case Adoption::gone:
      windowGone_ = true;
      return false;
    case Adoption::unusable:
      return false;
  }
  if (pictureFromScreensaverHelper(options_, std::getenv("XSCREENSAVER_WINDOW") != nullptr)) {
    if (grabWithHelper(display_, target_, grabber_, [this](int ms) { return pump(ms); }, picture_) ==
        Grab::windowGone) {
      windowGone_ = true;
    }
  } else if (!photographUnderWindow(display_, target_, picture_)) {
    windowGone_ = true;
  }
  return true;
}

bool X11Run::open() {
  if (!(options_.target == DrawTarget::ownWindow ? openOwnWindow() : openGivenWindow())) return false;
  if (ending()) return true;
  if (!context_.create(display_, program_, target_)) return false;
  loopHooks().onStartupStep("gl context");
  drawing_ = true;
  if (options_.showFps) driver_.setCornerFont(context_.loadCornerFont());
  return true;
}

void X11Run::handleEvent(XEvent& event) {
  switch (event.type) {
    case KeyPress: {
      char text[8] = {};
      KeySym key = NoSymbol;
      const int n = XLookupString(&event.xkey, text, sizeof text, &key, nullptr);
      if (target_.own && (key == XK_Escape || key == XK_q || key == XK_Q)) {
        quit_ = true;
      } else if (n == 1) {
        driver_.key(static_cast<unsigned char>(text[0]));
      }
      break;
    }
    case ConfigureNotify:
      if (target_.own && event.xconfigure.window == DefaultRootWindow(display_)) {
        // A monitor plugged in or a new resolution: our window follows the screen.
        if (event.xconfigure.width != target_.width || event.xconfigure.height != target_.height) {
          XMoveResizeWindow(display_, target_.window, 0, 0, unsigned(event.xconfigure.width),
                            unsigned(event.xconfigure.height));
        }
      } else if (event.xconfigure.window == target_.window &&
                 (event.xconfigure.width != target_.width || event.xconfigure.height != target_.height)) {
        target_.width = event.xconfigure.width;
        target_.height = event.xconfigure.height;
        if (drawing_) driver_.reshape(target_.width, target_.height);
      }
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == target_.window) windowGone_ = true;
      break;
    case Expose:
      if (event.xexpose.window == target_.window) exposed_ = true;
      break;
    case ClientMessage:
      if (event.xclient.message_type == atoms_.wmProtocols &&
          Atom(event.xclient.data.l[0]) == atoms_.wmDeleteWindow) {
        quit_ = true;
      }
      break;
    default:
      break;
  }
}

void X11Run::drainEvents() {
  while (XPending(display_) && !ending()) {
    XEvent event;
    XNextEvent(display_, &event);
    handleEvent(event);
  }
}

bool X11Run::pump(int milliseconds) {
  drainEvents();
  if (ending()) return false;
  waitForX(display_, milliseconds);
  return !ending();
}

void X11Run::run() {
  photograph_.finish();
  loopHooks().onStartupStep("picture converted");
  if (ending()) return;
  pictureRows_ = picture_.rows();
  companions_.start();
  FrameDriverOptions driving;
  driving.frequency = kNanosecondsPerSecond;
  driving.delay = std::int64_t(options_.delayMicroseconds) * 1000;
  if (options_.showFps) driving.processorSeconds = processCpuSeconds;
  driver_.init(driving, target_.width, target_.height, &pictureRows_, monotonicNow());

  while (!ending()) {
    drainEvents();
    if (ending()) break;
    const FrameDriver::Frame frame = driver_.draw(monotonicNow(), exposed_, context_.bufferAge());
    if (!frame.due) {
      waitForX(display_, int(frame.waitMilliseconds));
      continue;
    }
    exposed_ = false;
    if (frame.drawn && !context_.present(frame.damage, target_.width, target_.height)) windowGone_ = true;
    if (windowGone_) break;
    driver_.shown(monotonicNow());
  }
  driver_.free();
  companions_.stop();
}

void X11Run::close() {
  photograph_.finish();
  companions_.stop();
  grabber_.stop();
  context_.release();
  drawing_ = false;
  usePictureFromMemory(nullptr);
  releaseWindow(display_, target_, windowGone_);
}

}  // namespace

int runOnX11(const char* program, const RunOptions& options, RunCompanions& companions) {
  Display* display = openDisplay(program);
  if (!display) return 1;
  loopHooks().onStartupStep("display open");
  int status = 0;
  {
    X11Run run(display, program, options, companions);
    if (run.open()) {
      run.run();
    } else if (!stopsignals::requested() && !run.windowGone()) {
      status = 1;
    }
  }
  XCloseDisplay(display);
  return status;
}
