// X11/GLX front-end of the renderer: the native program `glassfall`, an XScreenSaver hack.
//  [x] --window (own window the size of the screen, following its changes; q, Escape, close
//      end it), --root
//      ($XSCREENSAVER_WINDOW, else the root window), --window-id, --delay, --fps, --help
//  [x] picture: xscreensaver-getimage into a pixmap under the screensaver; standalone the
//      area the window covers, read from the root window before our window shows
//  [x] frame loop: the shared clock, 401-frame restart and keys, paced by --delay
//  [x] SIGTERM / SIGINT, a window destroyed under it and the display going away end it
//      with exit code 0
//  [x] music (--music, --cd, --track): played beside the animation by one process of the
//      program, from the window's showing to the end (RunCompanions)
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "../frame_driver.h"
#include "../gl_api.h"
#include "../hack_options.h"
#include "../scene.h"
#include "../screen_picture.h"
#include "background_music.h"
#include "helper_process.h"
#include "music_options.h"
#include "player_lock.h"
#include "standard_streams.h"
#include "stop_signals.h"
#include "wayland_front.h"

namespace {

const char kProgram[] = "glassfall";
const char kGrabber[] = "xscreensaver-getimage";
const char kScreensaverHelpers[] = "/usr/libexec/xscreensaver";
// A grabber that has not delivered by then will not: the pieces go untextured instead.
constexpr int kGrabberTimeoutMs = 10000;
constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

std::int64_t monotonicNow() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return std::int64_t(t.tv_sec) * kNanosecondsPerSecond + t.tv_nsec;
}

double processCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// Records the first X error raised by the calls made while it is in place (a window that
// vanished under us), instead of the default handler's exit. The errors are collected by a
// round trip when it goes out of scope or at check().
class XErrorTrap {
 public:
  explicit XErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    firstError_ = 0;
    previous_ = XSetErrorHandler(record);
  }
  ~XErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  XErrorTrap(const XErrorTrap&) = delete;
  XErrorTrap& operator=(const XErrorTrap&) = delete;

  // The first error code so far, 0 for none.
  int check() {
    XSync(display_, False);
    return firstError_;
  }

 private:
  static int record(Display*, XErrorEvent* event) {
    if (firstError_ == 0) firstError_ = event->error_code;
    return 0;
  }
  static int firstError_;
  Display* display_;
  XErrorHandler previous_;
};
int XErrorTrap::firstError_ = 0;

struct Atoms {
  Atom wmProtocols;
  Atom wmDeleteWindow;
  Atom netWmState;
  Atom netWmStateFullscreen;

  explicit Atoms(Display* display) {
    const char* names[] = {"WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN"};
    Atom atoms[4];
    XInternAtoms(display, const_cast<char**>(names), 4, False, atoms);
    wmProtocols = atoms[0];
    wmDeleteWindow = atoms[1];
    netWmState = atoms[2];
    netWmStateFullscreen = atoms[3];
  }
};

// Where the frames go and what the window looks like.
struct DrawWindow {
  Window window = 0;
  bool own = false;
  int width = 0;
  int height = 0;
  XVisualInfo visual = {};
};

// Converts an image read from the server into the picture, and frees the image.
bool takePicture(XImage* image, unsigned long red, unsigned long green, unsigned long blue, HeldPicture& picture) {
  if (!image) return false;
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
  const bool ok = convertScreenPixels(pixels, picture);
  XDestroyImage(image);
  return ok;
}

// The root window's pixels under the rectangle, clipped to the screen.
bool photographRoot(Display* display, int x, int y, int width, int height, HeldPicture& picture) {
  const int screen = DefaultScreen(display);
  const int right = std::min(x + width, DisplayWidth(display, screen));
  const int bottom = std::min(y + height, DisplayHeight(display, screen));
  x = std::max(x, 0);
  y = std::max(y, 0);
  if (right <= x || bottom <= y) return false;
  XErrorTrap trap(display);
  // Null when the screen shrank since the connection told its size, or memory ran out: no picture.
  XImage* image = XGetImage(display, RootWindow(display, screen), x, y, unsigned(right - x), unsigned(bottom - y),
                            AllPlanes, ZPixmap);
  if (!image) return false;
  return takePicture(image, image->red_mask, image->green_mask, image->blue_mask, picture);
}

bool readPixmap(Display* display, Pixmap pixmap, const DrawWindow& target, HeldPicture& picture) {
  XErrorTrap trap(display);
  XImage* image = XGetImage(display, pixmap, 0, 0, unsigned(target.width), unsigned(target.height), AllPlanes,
                            ZPixmap);
  // A pixmap's image carries no masks of its own: they are the window's visual's.
  return takePicture(image, target.visual.red_mask, target.visual.green_mask, target.visual.blue_mask, picture);
}

// Whatever else runs beside the animation for the life of the run, started once the window
// is up and stopped on every way out: the music that main() chose (BgmMode and the rest).
struct RunCompanions {
  void start(const HackOptions&) { music.start(playerLockPath()); }
  void stop() { music.stop(); }
  BackgroundMusic music;
};

class Hack {
 public:
  Hack(Display* display, const HackOptions& options) : display_(display), options_(options), atoms_(display) {}
  ~Hack() { close(); }
  Hack(const Hack&) = delete;
  Hack& operator=(const Hack&) = delete;

  // Window, picture, context: false (with a line on stderr) when it cannot draw at all.
  bool open();
  void run();
  bool windowGone() const { return windowGone_; }
  bool musicLeftRunning() const { return companions_.music.leftRunning(); }

 private:
  bool openOwnWindow();
  bool adoptWindow(Window window);
  void grabWithHelper();
  void handleEvent(XEvent& event);
  void waitForEvents(int milliseconds);
  void swap();
  void close();
  bool ending() const { return quit_ || windowGone_ || stopsignals::requested(); }

  Display* display_;
  HackOptions options_;
  Atoms atoms_;
  DrawWindow target_;
  GLXContext context_ = nullptr;
  HeldPicture picture_;
  PictureRows pictureRows_;
  HelperProcess grabber_;
  Cursor blankCursor_ = 0;
  bool quit_ = false;
  bool windowGone_ = false;
  bool exposed_ = false;  // the server lost some of the window's pixels: the next frame draws
  FrameDriver driver_;
  GLuint fontLists_ = 0;
  int fontHeight_ = 0;
  RunCompanions companions_;
};

bool Hack::openOwnWindow() {
  const int screen = DefaultScreen(display_);
  int attributes[] = {GLX_RGBA, GLX_DOUBLEBUFFER, GLX_RED_SIZE, 1, GLX_GREEN_SIZE, 1, GLX_BLUE_SIZE, 1,
                      GLX_DEPTH_SIZE, 16, None};
  XVisualInfo* visual = glXChooseVisual(display_, screen, attributes);
  if (!visual) {
    std::fprintf(stderr, "%s: no double-buffered OpenGL visual on this display\n", kProgram);
    return false;
  }
  target_.visual = *visual;
  XFree(visual);
  target_.own = true;
  target_.width = DisplayWidth(display_, screen);
  target_.height = DisplayHeight(display_, screen);

  // The screen as the user left it, before our own window covers it.
  photographRoot(display_, 0, 0, target_.width, target_.height, picture_);

  const Window root = RootWindow(display_, screen);
  XSetWindowAttributes set = {};
  set.colormap = XCreateColormap(display_, root, target_.visual.visual, AllocNone);
  set.background_pixel = BlackPixel(display_, screen);
  set.border_pixel = 0;
  set.event_mask = KeyPressMask | StructureNotifyMask | ExposureMask;
  target_.window = XCreateWindow(display_, root, 0, 0, unsigned(target_.width), unsigned(target_.height), 0,
                                 target_.visual.depth, InputOutput, target_.visual.visual,
                                 CWColormap | CWBackPixel | CWBorderPixel | CWEventMask, &set);
  XStoreName(display_, target_.window, "Glassfall");
  XClassHint hint = {const_cast<char*>(kProgram), const_cast<char*>("Glassfall")};
  XSetClassHint(display_, target_.window, &hint);
  XSetWMProtocols(display_, target_.window, &atoms_.wmDeleteWindow, 1);
  XChangeProperty(display_, target_.window, atoms_.netWmState, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&atoms_.netWmStateFullscreen), 1);

  // No pointer over the picture, as on Windows.
  static const char emptyBits[1] = {0};
  Pixmap empty = XCreateBitmapFromData(display_, target_.window, emptyBits, 1, 1);
  XColor black = {};
  blankCursor_ = XCreatePixmapCursor(display_, empty, empty, &black, &black, 0, 0);
  XFreePixmap(display_, empty);
  XDefineCursor(display_, target_.window, blankCursor_);

  // A monitor plugged in or a new resolution changes the root's size: the window follows.
  XSelectInput(display_, root, StructureNotifyMask);
  XMapRaised(display_, target_.window);
  // The picture's still moment counts from when it can be seen.
  for (;;) {
    XEvent event;
    while (XPending(display_)) {
      XNextEvent(display_, &event);
      if (event.type == MapNotify && event.xmap.window == target_.window) return true;
      handleEvent(event);
    }
    if (ending()) return true;
    waitForEvents(100);
  }
}

bool Hack::adoptWindow(Window window) {
  XWindowAttributes attributes;
  {
    XErrorTrap trap(display_);
    const Status got = XGetWindowAttributes(display_, window, &attributes);
    if (trap.check() || !got) {
      std::fprintf(stderr, "%s: there is no window 0x%lx\n", kProgram, window);
      return false;
    }
    // Several clients may listen for these on one window; the screensaver's is no exception.
    XSelectInput(display_, window, attributes.your_event_mask | StructureNotifyMask | KeyPressMask | ExposureMask);
    if (trap.check()) {
      windowGone_ = true;
      return false;
    }
  }
  XVisualInfo wanted = {};
  wanted.visualid = XVisualIDFromVisual(attributes.visual);
  int count = 0;
  XVisualInfo* found = XGetVisualInfo(display_, VisualIDMask, &wanted, &count);
  if (!found) return false;
  target_.visual = found[0];
  XFree(found);
  int useGl = 0, doubleBuffer = 0, depth = 0;
  if (glXGetConfig(display_, &target_.visual, GLX_USE_GL, &useGl) != 0 || !useGl) {
    std::fprintf(stderr, "%s: window 0x%lx has a visual without OpenGL\n", kProgram, window);
    return false;
  }
  // Without either the pieces would flicker or show through one another.
  if (glXGetConfig(display_, &target_.visual, GLX_DOUBLEBUFFER, &doubleBuffer) != 0 || !doubleBuffer ||
      glXGetConfig(display_, &target_.visual, GLX_DEPTH_SIZE, &depth) != 0 || depth < 1) {
    std::fprintf(stderr, "%s: window 0x%lx has no double-buffered OpenGL visual with a depth buffer\n", kProgram,
                 window);
    return false;
  }
  target_.window = window;
  target_.width = attributes.width;
  target_.height = attributes.height;
  return true;
}

// The screensaver's helper draws the picture the user chose (the screen as it was before
// blanking, or an image file) into a pixmap of the window's size and depth.
void Hack::grabWithHelper() {
  const std::string grabber = findProgram(kGrabber, std::getenv("PATH"), kScreensaverHelpers);
  if (grabber.empty()) return;
  Pixmap pixmap = 0;
  {
    XErrorTrap trap(display_);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display_, target_.window, &attributes) || trap.check()) {
      windowGone_ = true;
      return;
    }
    pixmap = XCreatePixmap(display_, target_.window, unsigned(target_.width), unsigned(target_.height),
                           unsigned(attributes.depth));
    if (trap.check()) {
      windowGone_ = true;
      return;
    }
  }
  // The helper must talk to the server and screen we draw on.
  setenv("DISPLAY", DisplayString(display_), 1);
  char ids[2][32];
  std::snprintf(ids[0], sizeof ids[0], "0x%lx", target_.window);
  std::snprintf(ids[1], sizeof ids[1], "0x%lx", pixmap);
  if (grabber_.start(grabber, {ids[0], ids[1]})) {
    const std::int64_t deadline = monotonicNow() + std::int64_t(kGrabberTimeoutMs) * 1000000;
    while (grabber_.poll() == HelperProcess::State::running && !ending() && monotonicNow() < deadline) {
      XEvent event;
      while (XPending(display_)) {
        XNextEvent(display_, &event);
        handleEvent(event);
      }
      waitForEvents(20);
    }
    if (grabber_.poll() == HelperProcess::State::succeeded && !windowGone_) {
      readPixmap(display_, pixmap, target_, picture_);
    }
    grabber_.stop();
  }
  XErrorTrap trap(display_);
  XFreePixmap(display_, pixmap);
}

bool Hack::open() {
  if (options_.target == DrawTarget::ownWindow) {
    if (!openOwnWindow()) return false;
  } else {
    const Window window = options_.window ? Window(options_.window) : DefaultRootWindow(display_);
    if (!adoptWindow(window)) return false;
    if (pictureFromScreensaverHelper(options_, std::getenv("XSCREENSAVER_WINDOW") != nullptr)) {
      grabWithHelper();
    } else {
      int x = 0, y = 0;
      Window child;
      bool placed = false;
      {
        XErrorTrap trap(display_);
        placed = XTranslateCoordinates(display_, target_.window, DefaultRootWindow(display_), 0, 0, &x, &y, &child) &&
                 !trap.check();
      }
      if (!placed) {
        windowGone_ = true;
        return true;
      }
      photographRoot(display_, x, y, target_.width, target_.height, picture_);
    }
  }
  if (ending()) return true;

  context_ = glXCreateContext(display_, &target_.visual, nullptr, True);
  if (!context_) {
    std::fprintf(stderr, "%s: cannot create an OpenGL context\n", kProgram);
    return false;
  }
  XErrorTrap trap(display_);
  if (!glXMakeCurrent(display_, target_.window, context_) || trap.check()) {
    std::fprintf(stderr, "%s: cannot draw into window 0x%lx\n", kProgram, target_.window);
    return false;
  }

  if (options_.showFps) {
    if (XFontStruct* font = XLoadQueryFont(display_, "fixed")) {
      fontLists_ = glGenLists(96);
      glXUseXFont(font->fid, 32, 96, GLint(fontLists_));
      fontHeight_ = font->ascent + font->descent;
      XFreeFont(display_, font);
    }
  }
  return true;
}

void Hack::handleEvent(XEvent& event) {
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
        if (event.xconfigure.width != target_.width || event.xconfigure.height != target_.height) {
          XMoveResizeWindow(display_, target_.window, 0, 0, unsigned(event.xconfigure.width),
                            unsigned(event.xconfigure.height));
        }
      } else if (event.xconfigure.window == target_.window &&
          (event.xconfigure.width != target_.width || event.xconfigure.height != target_.height)) {
        target_.width = event.xconfigure.width;
        target_.height = event.xconfigure.height;
        if (context_) driver_.reshape(target_.width, target_.height);
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

// Sleeps until X has something for us, a stop is requested, or the time is up.
void Hack::waitForEvents(int milliseconds) {
  XFlush(display_);
  pollfd fds[2] = {{ConnectionNumber(display_), POLLIN, 0}, {stopsignals::wakeDescriptor(), POLLIN, 0}};
  ::poll(fds, 2, milliseconds);
}

// Shows the frame the driver drew; an error then means the window is gone, unless it is
// still there.
void Hack::swap() {
  XErrorTrap trap(display_);
  glXSwapBuffers(display_, target_.window);
  if (trap.check()) {
    XWindowAttributes attributes;
    XErrorTrap probe(display_);
    if (!XGetWindowAttributes(display_, target_.window, &attributes) || probe.check()) windowGone_ = true;
  }
}

void Hack::run() {
  if (ending()) return;
  pictureRows_ = picture_.rows();
  companions_.start(options_);
  FrameDriverOptions driving;
  driving.frequency = kNanosecondsPerSecond;
  driving.delay = std::int64_t(options_.delayMicroseconds) * 1000;
  if (options_.showFps) driving.processorSeconds = processCpuSeconds;
  driver_.init(driving, target_.width, target_.height, &pictureRows_, monotonicNow());
  if (fontLists_) driver_.setCornerFont({fontLists_, fontHeight_});

  while (!ending()) {
    while (XPending(display_) && !ending()) {
      XEvent event;
      XNextEvent(display_, &event);
      handleEvent(event);
    }
    if (ending()) break;
    const FrameDriver::Frame frame = driver_.draw(monotonicNow(), exposed_);
    if (!frame.due) {
      waitForEvents(int(frame.waitMilliseconds));
      continue;
    }
    exposed_ = false;
    if (frame.drawn) swap();
    if (windowGone_) break;
    driver_.shown(monotonicNow());
  }
  driver_.free();
  companions_.stop();
}

void Hack::close() {
  companions_.stop();
  grabber_.stop();
  if (display_ == nullptr) return;
  XErrorTrap trap(display_);
  if (context_) {
    // The texture and lists belong to the context: give them back while it is current.
    snapshotTexture.release();
    if (fontLists_) glDeleteLists(fontLists_, 96);
    glXMakeCurrent(display_, None, nullptr);
    glXDestroyContext(display_, context_);
    context_ = nullptr;
  }
  usePictureFromMemory(nullptr);
  if (target_.own && !windowGone_ && target_.window) XDestroyWindow(display_, target_.window);
  if (blankCursor_) XFreeCursor(display_, blankCursor_);
  target_.window = 0;
  blankCursor_ = 0;
}

// The display went away (the server ended, the connection broke): the run is over. Xlib ends
// the process once this returns, so leave now, quietly and with success, without the static
// destructors and thread joins that would talk to a connection that is no more.
int onDisplayLost(Display*) { _exit(0); }

}  // namespace

int main(int argc, char** argv) {
  if (!standardstreams::ensureOpen()) return 1;
  HackOptions options;
  MusicOptions music;
  const auto takeMusic = [&music](int count, const char* const words[], int& i, std::string& message) {
    switch (takeMusicOption(count, words, i, music, message)) {
      case MusicOptionResult::Taken:
        return OptionTake::taken;
      case MusicOptionResult::Bad:
        return OptionTake::bad;
      default:
        return OptionTake::notMine;
    }
  };
  const ParseResult parsed = parseHackOptions(argc, argv, std::getenv("XSCREENSAVER_WINDOW"), options, takeMusic);
  const std::string usage = hackUsage(kProgram) + "Music:\n" + kMusicUsage;
  if (parsed.outcome == ParseOutcome::help) {
    std::fputs(usage.c_str(), stdout);
    return 0;
  }
  if (parsed.outcome == ParseOutcome::usageError) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, parsed.message.c_str(), usage.c_str());
    return 2;
  }
  // Music that cannot play leaves the screensaver running in silence, with one line to say so.
  const std::string musicNote = applyMusicOptions(music, readableFile);
  if (!musicNote.empty()) std::fprintf(stderr, "%s: %s\n", kProgram, musicNote.c_str());

  if (runsOnWayland(options, std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"))) {
    RunCompanions companions;
    const int status = runOnWayland(options, {[&] { companions.start(options); }, [&] { companions.stop(); }});
    if (!companions.music.leftRunning()) return status;
    std::fflush(nullptr);  // as below: a stuck music thread keeps the static destructors away
    _exit(status);
  }
  if (!stopsignals::install()) {
    std::fprintf(stderr, "%s: cannot set up signal handling\n", kProgram);
    return 1;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    const char* name = std::getenv("DISPLAY");
    std::fprintf(stderr, "%s: cannot open display '%s'\n", kProgram, name ? name : "");
    return 1;
  }
  XSetIOErrorHandler(onDisplayLost);
  int status = 0;
  bool musicLeftRunning = false;
  {
    Hack hack(display, options);
    if (hack.open()) {
      hack.run();
    } else if (!stopsignals::requested() && !hack.windowGone()) {
      status = 1;
    }
    musicLeftRunning = hack.musicLeftRunning();
  }
  XCloseDisplay(display);
  if (musicLeftRunning) {
    // The music thread is stuck inside GStreamer: leave without the static destructors,
    // which would take its data away under it.
    std::fflush(nullptr);
    _exit(status);
  }
  return status;
}
