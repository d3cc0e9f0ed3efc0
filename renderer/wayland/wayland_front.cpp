// Wayland/EGL front-end of the native program `glassfall` (--wayland).
//  [x] every output: a layer-shell surface on the overlay layer, all edges, keyboard focus;
//      without layer-shell a fullscreen xdg_toplevel per output
//  [x] picture: each output copied through wlr-screencopy into wl_shm before anything shows,
//      put together into one desktop picture; no capture protocol: untextured pieces
//  [x] one scene for the whole layout, each surface showing its output's part of it at the
//      output's buffer scale (one frame schedule, one picture, one texture, one GL context)
//  [x] outputs plugged in (surface within a second, black where no picture was taken) and
//      out (surface dropped) during the run
//  [x] ends: a key other than g, r, s; the pointer moved or a button; SIGTERM/SIGINT; the
//      compositor gone (exit 0)
//  [ ] ext-image-copy-capture, fractional scale, the --fps corner (no font here)
#include "wayland_front.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <poll.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include <wayland-egl.h>
#include <xkbcommon/xkbcommon.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "desktop_picture.h"
#include "frame_driver.h"
#include "frame_loop.h"
#include "gl_api.h"
#include "posix_clock.h"
#include "scene.h"
#include "stop_signals.h"
// HACK: the generated header names an argument `namespace`, a C++ keyword.
#define namespace layerNamespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

const char kProgram[] = "glassfall";
// A capture not delivered by then will not be: that output's part stays black.
constexpr std::int64_t kCaptureTimeout = 5 * kNanosecondsPerSecond;
constexpr std::int64_t kConfigureTimeout = 2 * kNanosecondsPerSecond;
// Pointer travel (logical pixels) that counts as the user being back; less is a jolt.
constexpr double kPointerSlack = 8.0;

class Client;

// A wl_shm buffer the compositor copies one output into.
struct CaptureBuffer {
  wl_buffer* buffer = nullptr;
  void* data = MAP_FAILED;
  std::size_t size = 0;

  ~CaptureBuffer() {
    if (buffer) wl_buffer_destroy(buffer);
    if (data != MAP_FAILED) munmap(data, size);
  }
};

struct Output {
  Client* client = nullptr;
  std::uint32_t name = 0;
  wl_output* output = nullptr;
  zxdg_output_v1* xdgOutput = nullptr;
  int scale = 1;
  int modeWidth = 0;
  int modeHeight = 0;
  int geometryX = 0;
  int geometryY = 0;
  LayoutRect logical;
  bool haveLogicalPosition = false;
  bool haveLogicalSize = false;
  bool described = false;  // wl_output.done seen

  // The copy of the output taken before we cover it.
  zwlr_screencopy_frame_v1* frame = nullptr;
  std::unique_ptr<CaptureBuffer> capture;
  OutputCapture captured;
  bool captureOver = false;

  // Our surface over it.
  wl_surface* surface = nullptr;
  zwlr_layer_surface_v1* layerSurface = nullptr;
  xdg_surface* xdgSurface = nullptr;
  xdg_toplevel* toplevel = nullptr;
  wl_egl_window* eglWindow = nullptr;
  EGLSurface eglSurface = EGL_NO_SURFACE;
  int width = 0;  // logical, as the compositor configured the surface
  int height = 0;
  int bufferScale = 1;
  bool configured = false;
  bool mustDraw = true;  // shown nothing yet, or resized

  LayoutRect place() const {
    LayoutRect r = logical;
    if (!haveLogicalSize) {
      const int s = scale > 0 ? scale : 1;
      r.width = modeWidth / s;
      r.height = modeHeight / s;
    }
    if (!haveLogicalPosition) {
      r.x = geometryX;
      r.y = geometryY;
    }
    return r;
  }
};

class Client {
 public:
  explicit Client(const RunOptions& options) : options_(options) {}
  ~Client() { close(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  int run(RunCompanions& companions);

  // Listener entry points.
  void onGlobal(wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version);
  void onGlobalRemove(std::uint32_t name);
  void onOutputDescribed(Output& output);
  void onSurfaceConfigured(Output& output, int width, int height);
  void onSurfaceClosed(Output& output);
  void onSeatCapabilities(std::uint32_t capabilities);
  void onKeymap(int fd, std::uint32_t size);
  void onKey(std::uint32_t key);
  void onModifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked, std::uint32_t group);
  void onPointerAt(wl_surface* surface, double x, double y, std::uint32_t serial, bool entered);
  void end() { quit_ = true; }
  void keyPressed(int character);

  wl_shm* shm() const { return shm_; }
  xdg_wm_base* wmBase() const { return wmBase_; }
  wl_pointer* pointer() const { return pointer_; }

 private:
  bool connect();
  void captureOutputs();
  bool startEgl();
  void cover(Output& output);
  void attachEgl(Output& output);
  void dropSurface(Output& output);
  void dropOutput(Output& output);
  bool dispatch(int timeoutMilliseconds);
  std::uint32_t drawFrame(std::int64_t now);
  bool makeCurrentOn(Output& output);
  void close();
  bool ending() const { return quit_ || gone_ || stopsignals::requested(); }

  RunOptions options_;
  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  wl_seat* seat_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  zwlr_screencopy_manager_v1* screencopy_ = nullptr;
  zxdg_output_manager_v1* xdgOutputs_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  std::vector<std::unique_ptr<Output>> outputs_;

  xkb_context* xkb_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* keyState_ = nullptr;

  EGLDisplay egl_ = EGL_NO_DISPLAY;
  EGLConfig config_ = nullptr;
  EGLContext context_ = EGL_NO_CONTEXT;
  Output* current_ = nullptr;

  LayoutRect bounds_;  // the layout the picture covers, fixed at the start
  int pictureScale_ = 1;
  HeldPicture picture_;
  PictureRows pictureRows_;
  FrameDriver driver_;
  bool driving_ = false;
  bool covering_ = false;  // past the capture: new outputs get a surface at once
  SceneView drawnView_ = SceneView::moving;

  bool pointerSeen_ = false;
  wl_surface* pointerSurface_ = nullptr;
  double pointerX_ = 0;
  double pointerY_ = 0;

  bool quit_ = false;
  bool gone_ = false;  // the connection broke
  bool protocolError_ = false;
};

// ---- listeners: each unpacks its event and calls the client ----

void outputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t,
                    std::int32_t, const char*, const char*, std::int32_t) {
  auto* o = static_cast<Output*>(data);
  o->geometryX = x;
  o->geometryY = y;
}
void outputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t) {
  auto* o = static_cast<Output*>(data);
  if (flags & WL_OUTPUT_MODE_CURRENT) {
    o->modeWidth = width;
    o->modeHeight = height;
  }
}
void outputDone(void* data, wl_output*) {
  auto* o = static_cast<Output*>(data);
  o->described = true;
  o->client->onOutputDescribed(*o);
}
void outputScale(void* data, wl_output*, std::int32_t factor) { static_cast<Output*>(data)->scale = factor; }
void outputText(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {outputGeometry, outputMode, outputDone, outputScale, outputText, outputText};

void xdgOutputPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
  auto* o = static_cast<Output*>(data);
  o->logical.x = x;
  o->logical.y = y;
  o->haveLogicalPosition = true;
}
void xdgOutputSize(void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
  auto* o = static_cast<Output*>(data);
  o->logical.width = width;
  o->logical.height = height;
  o->haveLogicalSize = true;
}
void xdgOutputDone(void* data, zxdg_output_v1*) {
  auto* o = static_cast<Output*>(data);
  o->client->onOutputDescribed(*o);
}
void xdgOutputName(void*, zxdg_output_v1*, const char*) {}
void xdgOutputDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {xdgOutputPosition, xdgOutputSize, xdgOutputDone, xdgOutputName,
                                                    xdgOutputDescription};

void frameBuffer(void* data, zwlr_screencopy_frame_v1* frame, std::uint32_t format, std::uint32_t width,
                 std::uint32_t height, std::uint32_t stride) {
  auto* o = static_cast<Output*>(data);
  if (o->capture) return;  // one wl_shm offer is all a frame makes
  int bits = 0;
  std::uint32_t r, g, b;
  if (!describeShmFormat(format, bits, r, g, b) || width == 0 || height == 0 || stride < width * unsigned(bits / 8)) {
    return;
  }
  auto buffer = std::make_unique<CaptureBuffer>();
  buffer->size = std::size_t(stride) * height;
  const int fd = memfd_create("glassfall-capture", MFD_CLOEXEC);
  if (fd < 0) return;
  if (ftruncate(fd, off_t(buffer->size)) == 0) {
    buffer->data = mmap(nullptr, buffer->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  }
  if (buffer->data != MAP_FAILED) {
    wl_shm_pool* pool = wl_shm_create_pool(o->client->shm(), fd, std::int32_t(buffer->size));
    buffer->buffer = wl_shm_pool_create_buffer(pool, 0, std::int32_t(width), std::int32_t(height),
                                               std::int32_t(stride), format);
    wl_shm_pool_destroy(pool);
  }
  ::close(fd);
  if (!buffer->buffer) return;
  o->captured.width = std::int32_t(width);
  o->captured.height = std::int32_t(height);
  o->captured.stride = stride;
  o->captured.format = format;
  o->capture = std::move(buffer);
  // Before version 3 no buffer_done follows: the one offer is the answer.
  if (zwlr_screencopy_frame_v1_get_version(frame) < 3) zwlr_screencopy_frame_v1_copy(frame, o->capture->buffer);
}
void frameFlags(void* data, zwlr_screencopy_frame_v1*, std::uint32_t flags) {
  static_cast<Output*>(data)->captured.yInverted = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
}
void frameReady(void* data, zwlr_screencopy_frame_v1* frame, std::uint32_t, std::uint32_t, std::uint32_t) {
  auto* o = static_cast<Output*>(data);
  o->captured.data = static_cast<const unsigned char*>(o->capture->data);
  o->captureOver = true;
  zwlr_screencopy_frame_v1_destroy(frame);
  o->frame = nullptr;
}
void frameFailed(void* data, zwlr_screencopy_frame_v1* frame) {
  auto* o = static_cast<Output*>(data);
  o->captureOver = true;
  zwlr_screencopy_frame_v1_destroy(frame);
  o->frame = nullptr;
}
void frameDamage(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t) {}
void frameDmabuf(void*, zwlr_screencopy_frame_v1*, std::uint32_t, std::uint32_t, std::uint32_t) {}
void frameBufferDone(void* data, zwlr_screencopy_frame_v1* frame) {
  auto* o = static_cast<Output*>(data);
  if (o->capture) {
    zwlr_screencopy_frame_v1_copy(frame, o->capture->buffer);
  } else {
    frameFailed(data, frame);  // nothing we can read was offered
  }
}
const zwlr_screencopy_frame_v1_listener kFrameListener = {frameBuffer, frameFlags,  frameReady,     frameFailed,
                                                          frameDamage, frameDmabuf, frameBufferDone};

void layerConfigure(void* data, zwlr_layer_surface_v1* surface, std::uint32_t serial, std::uint32_t width,
                    std::uint32_t height) {
  auto* o = static_cast<Output*>(data);
  zwlr_layer_surface_v1_ack_configure(surface, serial);
  o->client->onSurfaceConfigured(*o, int(width), int(height));
}
void layerClosed(void* data, zwlr_layer_surface_v1*) {
  auto* o = static_cast<Output*>(data);
  o->client->onSurfaceClosed(*o);
}
const zwlr_layer_surface_v1_listener kLayerListener = {layerConfigure, layerClosed};

void wmPing(void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener kWmListener = {wmPing};

void xdgSurfaceConfigure(void* data, xdg_surface* surface, std::uint32_t serial) {
  auto* o = static_cast<Output*>(data);
  xdg_surface_ack_configure(surface, serial);
  // A fullscreen window the compositor left unsized takes the output's size.
  o->client->onSurfaceConfigured(*o, o->width ? o->width : o->place().width, o->height ? o->height : o->place().height);
}
const xdg_surface_listener kXdgSurfaceListener = {xdgSurfaceConfigure};
void toplevelConfigure(void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*) {
  auto* o = static_cast<Output*>(data);
  if (width > 0 && height > 0) {
    o->width = width;
    o->height = height;
  }
}
void toplevelClose(void* data, xdg_toplevel*) { static_cast<Output*>(data)->client->end(); }
void toplevelBounds(void*, xdg_toplevel*, std::int32_t, std::int32_t) {}
void toplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevelListener = {toplevelConfigure, toplevelClose, toplevelBounds, toplevelCapabilities};

void keyboardKeymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
    static_cast<Client*>(data)->onKeymap(fd, size);
  }
  ::close(fd);
}
void keyboardEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void keyboardLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void keyboardKey(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t state) {
  // Releases are no news: the key that started us may come up after we showed.
  if (state == WL_KEYBOARD_KEY_STATE_PRESSED) static_cast<Client*>(data)->onKey(key);
}
void keyboardModifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
                       std::uint32_t locked, std::uint32_t group) {
  static_cast<Client*>(data)->onModifiers(depressed, latched, locked, group);
}
void keyboardRepeat(void*, wl_keyboard*, std::int32_t, std::int32_t) {}
const wl_keyboard_listener kKeyboardListener = {keyboardKeymap, keyboardEnter,     keyboardLeave,
                                                keyboardKey,    keyboardModifiers, keyboardRepeat};

void pointerEnter(void* data, wl_pointer*, std::uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
  static_cast<Client*>(data)->onPointerAt(surface, wl_fixed_to_double(x), wl_fixed_to_double(y), serial, true);
}
void pointerLeave(void*, wl_pointer*, std::uint32_t, wl_surface*) {}
void pointerMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
  static_cast<Client*>(data)->onPointerAt(nullptr, wl_fixed_to_double(x), wl_fixed_to_double(y), 0, false);
}
void pointerButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED) static_cast<Client*>(data)->end();
}
void pointerAxis(void* data, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {
  static_cast<Client*>(data)->end();
}
void pointerFrame(void*, wl_pointer*) {}
void pointerAxisSource(void*, wl_pointer*, std::uint32_t) {}
void pointerAxisStop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}
void pointerAxisDiscrete(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
void pointerAxisValue120(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
const wl_pointer_listener kPointerListener = {pointerEnter, pointerLeave,      pointerMotion,   pointerButton,
                                              pointerAxis,  pointerFrame,      pointerAxisSource, pointerAxisStop,
                                              pointerAxisDiscrete, pointerAxisValue120};

void seatCapabilities(void* data, wl_seat*, std::uint32_t capabilities) {
  static_cast<Client*>(data)->onSeatCapabilities(capabilities);
}
void seatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {seatCapabilities, seatName};

void registryGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface,
                    std::uint32_t version) {
  static_cast<Client*>(data)->onGlobal(registry, name, interface, version);
}
void registryGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
  static_cast<Client*>(data)->onGlobalRemove(name);
}
const wl_registry_listener kRegistryListener = {registryGlobal, registryGlobalRemove};

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface, std::uint32_t offered,
        std::uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, offered < wanted ? offered : wanted));
}

// ---- the client ----

void Client::onGlobal(wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
  if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
    compositor_ = bind<wl_compositor>(registry, name, &wl_compositor_interface, version, 4);
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    shm_ = bind<wl_shm>(registry, name, &wl_shm_interface, version, 1);
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat_) {
    seat_ = bind<wl_seat>(registry, name, &wl_seat_interface, version, 5);
    wl_seat_add_listener(seat_, &kSeatListener, this);
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    auto output = std::make_unique<Output>();
    output->client = this;
    output->name = name;
    output->output = bind<wl_output>(registry, name, &wl_output_interface, version, 2);
    wl_output_add_listener(output->output, &kOutputListener, output.get());
    if (xdgOutputs_) {
      output->xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, output->output);
      zxdg_output_v1_add_listener(output->xdgOutput, &kXdgOutputListener, output.get());
    }
    outputs_.push_back(std::move(output));
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
    layerShell_ = bind<zwlr_layer_shell_v1>(registry, name, &zwlr_layer_shell_v1_interface, version, 2);
  } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
    screencopy_ = bind<zwlr_screencopy_manager_v1>(registry, name, &zwlr_screencopy_manager_v1_interface, version, 3);
  } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
    xdgOutputs_ = bind<zxdg_output_manager_v1>(registry, name, &zxdg_output_manager_v1_interface, version, 3);
    // Outputs announced before the manager get theirs now.
    for (auto& o : outputs_) {
      if (o->xdgOutput) continue;
      o->xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, o->output);
      zxdg_output_v1_add_listener(o->xdgOutput, &kXdgOutputListener, o.get());
    }
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
    wmBase_ = bind<xdg_wm_base>(registry, name, &xdg_wm_base_interface, version, 1);
    xdg_wm_base_add_listener(wmBase_, &kWmListener, this);
  }
}

void Client::onGlobalRemove(std::uint32_t name) {
  for (auto it = outputs_.begin(); it != outputs_.end(); ++it) {
    if ((*it)->name != name) continue;
    dropOutput(**it);
    outputs_.erase(it);
    return;
  }
}

void Client::onOutputDescribed(Output& output) {
  // A new output while we run: covered as soon as we know where it is.
  if (covering_ && !output.surface && output.described && (!output.xdgOutput || output.haveLogicalSize)) {
    cover(output);
  }
}

void Client::onSeatCapabilities(std::uint32_t capabilities) {
  if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard_) {
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
  } else if (!(capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && keyboard_) {
    wl_keyboard_destroy(keyboard_);
    keyboard_ = nullptr;
  }
  if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !pointer_) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &kPointerListener, this);
  } else if (!(capabilities & WL_SEAT_CAPABILITY_POINTER) && pointer_) {
    wl_pointer_destroy(pointer_);
    pointer_ = nullptr;
  }
}

void Client::onKeymap(int fd, std::uint32_t size) {
  void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (text == MAP_FAILED) return;
  if (!xkb_) xkb_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  xkb_keymap* keymap =
      xkb_ ? xkb_keymap_new_from_string(xkb_, static_cast<const char*>(text), XKB_KEYMAP_FORMAT_TEXT_V1,
                                        XKB_KEYMAP_COMPILE_NO_FLAGS)
           : nullptr;
  munmap(text, size);
  if (!keymap) return;
  if (keyState_) xkb_state_unref(keyState_);
  if (keymap_) xkb_keymap_unref(keymap_);
  keymap_ = keymap;
  keyState_ = xkb_state_new(keymap_);
}

void Client::onModifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked, std::uint32_t group) {
  if (keyState_) xkb_state_update_mask(keyState_, depressed, latched, locked, 0, 0, group);
}

void Client::onKey(std::uint32_t key) {
  // Evdev codes sit 8 below XKB's.
  const std::uint32_t character = keyState_ ? xkb_state_key_get_utf32(keyState_, key + 8) : 0;
  keyPressed(character < 128 ? int(character) : 0);
}

void Client::keyPressed(int character) {
  const int lower = (character >= 'A' && character <= 'Z') ? character + 'a' - 'A' : character;
  if (lower != 'g' && lower != 'r' && lower != 's') {
    end();
    return;
  }
  if (driving_) {
    driver_.key(character);
    drawnView_ = SceneView::moving;
  }
}

void Client::onPointerAt(wl_surface* surface, double x, double y, std::uint32_t serial, bool entered) {
  if (entered) {
    pointerSurface_ = surface;
    // No pointer over the picture.
    if (pointer_) wl_pointer_set_cursor(pointer_, serial, nullptr, 0, 0);
  }
  // Where it is in the layout, so that crossing from one output to the next is travel too.
  for (auto& o : outputs_) {
    if (o->surface && o->surface == pointerSurface_) {
      x += o->place().x;
      y += o->place().y;
      break;
    }
  }
  if (!pointerSeen_) {
    pointerSeen_ = true;
    pointerX_ = x;
    pointerY_ = y;
    return;
  }
  if (std::hypot(x - pointerX_, y - pointerY_) > kPointerSlack) end();
}

void Client::onSurfaceConfigured(Output& output, int width, int height) {
  if (width <= 0 || height <= 0) {
    width = output.place().width;
    height = output.place().height;
  }
  if (width == output.width && height == output.height && output.configured) return;
  output.width = width;
  output.height = height;
  output.configured = true;
  output.mustDraw = true;
  if (output.eglWindow) wl_egl_window_resize(output.eglWindow, width * output.bufferScale, height * output.bufferScale, 0, 0);
}

void Client::onSurfaceClosed(Output& output) { dropSurface(output); }

bool Client::connect() {
  display_ = wl_display_connect(nullptr);
  if (!display_) {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "%s: cannot connect to the Wayland compositor '%s'\n", kProgram, name ? name : "");
    return false;
  }
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // The globals, then what each output and the seat tell of themselves.
  if (wl_display_roundtrip(display_) < 0 || wl_display_roundtrip(display_) < 0) {
    std::fprintf(stderr, "%s: the Wayland compositor went away\n", kProgram);
    gone_ = true;
    return false;
  }
  if (!compositor_ || !shm_) {
    std::fprintf(stderr, "%s: the Wayland compositor offers no wl_compositor or wl_shm\n", kProgram);
    return false;
  }
  if (!layerShell_ && !wmBase_) {
    std::fprintf(stderr, "%s: the Wayland compositor offers neither layer-shell nor xdg-shell\n", kProgram);
    return false;
  }
  return true;
}

// Every output as it is now, before anything of ours shows on it.
void Client::captureOutputs() {
  if (!screencopy_) {
    std::fprintf(stderr, "%s: the compositor offers no screen capture: the pieces show untextured\n", kProgram);
    return;
  }
  for (auto& o : outputs_) {
    o->frame = zwlr_screencopy_manager_v1_capture_output(screencopy_, 0, o->output);
    zwlr_screencopy_frame_v1_add_listener(o->frame, &kFrameListener, o.get());
  }
  const std::int64_t deadline = monotonicNow() + kCaptureTimeout;
  for (;;) {
    bool waiting = false;
    for (auto& o : outputs_) waiting = waiting || !o->captureOver;
    if (!waiting || ending()) break;
    const std::int64_t left = deadline - monotonicNow();
    if (left <= 0) break;
    if (!dispatch(int(left / 1000000) + 1)) break;
  }
  for (auto& o : outputs_) {
    if (o->frame) {
      zwlr_screencopy_frame_v1_destroy(o->frame);
      o->frame = nullptr;
    }
  }
}

bool Client::startEgl() {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  egl_ = getPlatformDisplay ? getPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, display_, nullptr)
                            : eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(display_));
  if (egl_ == EGL_NO_DISPLAY || !eglInitialize(egl_, nullptr, nullptr)) {
    std::fprintf(stderr, "%s: no EGL for this Wayland display\n", kProgram);
    return false;
  }
  // Desktop OpenGL: the scene's fixed-function GL 1.1 calls as on X11.
  if (!eglBindAPI(EGL_OPENGL_API)) {
    std::fprintf(stderr, "%s: EGL offers no desktop OpenGL\n", kProgram);
    return false;
  }
  const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_RED_SIZE, 1,
                               EGL_GREEN_SIZE,   1,              EGL_BLUE_SIZE,       1,              EGL_DEPTH_SIZE, 16,
                               EGL_NONE};
  EGLint count = 0;
  if (!eglChooseConfig(egl_, attributes, &config_, 1, &count) || count < 1) {
    std::fprintf(stderr, "%s: no EGL configuration with OpenGL and a depth buffer\n", kProgram);
    return false;
  }
  context_ = eglCreateContext(egl_, config_, EGL_NO_CONTEXT, nullptr);
  if (context_ == EGL_NO_CONTEXT) {
    std::fprintf(stderr, "%s: cannot create an OpenGL context\n", kProgram);
    return false;
  }
  return true;
}

void Client::cover(Output& output) {
  output.surface = wl_compositor_create_surface(compositor_);
  output.bufferScale = output.scale > 0 ? output.scale : 1;
  // Drawn at the output's own pixel size: sharp on a 2x output.
  wl_surface_set_buffer_scale(output.surface, output.bufferScale);
  if (layerShell_) {
    output.layerSurface = zwlr_layer_shell_v1_get_layer_surface(layerShell_, output.surface, output.output,
                                                                ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "glassfall");
    zwlr_layer_surface_v1_add_listener(output.layerSurface, &kLayerListener, &output);
    zwlr_layer_surface_v1_set_anchor(output.layerSurface,
                                     ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(output.layerSurface, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(output.layerSurface, 1);
  } else {
    output.xdgSurface = xdg_wm_base_get_xdg_surface(wmBase_, output.surface);
    xdg_surface_add_listener(output.xdgSurface, &kXdgSurfaceListener, &output);
    output.toplevel = xdg_surface_get_toplevel(output.xdgSurface);
    xdg_toplevel_add_listener(output.toplevel, &kToplevelListener, &output);
    xdg_toplevel_set_title(output.toplevel, "Glassfall");
    xdg_toplevel_set_app_id(output.toplevel, kProgram);
    xdg_toplevel_set_fullscreen(output.toplevel, output.output);
  }
  wl_surface_commit(output.surface);
}

void Client::attachEgl(Output& output) {
  if (output.eglWindow || !output.configured) return;
  output.eglWindow = wl_egl_window_create(output.surface, output.width * output.bufferScale,
                                          output.height * output.bufferScale);
  if (!output.eglWindow) return;
  output.eglSurface = eglCreateWindowSurface(egl_, config_, reinterpret_cast<EGLNativeWindowType>(output.eglWindow),
                                             nullptr);
  if (output.eglSurface == EGL_NO_SURFACE) {
    wl_egl_window_destroy(output.eglWindow);
    output.eglWindow = nullptr;
    return;
  }
  if (makeCurrentOn(output)) {
    // The frame schedule is ours, not the compositor's: a swap never waits for a frame
    // callback (an output that stops repainting would stall the others).
    eglSwapInterval(egl_, 0);
  }
  output.mustDraw = true;
}

bool Client::makeCurrentOn(Output& output) {
  if (current_ == &output) return true;
  if (!eglMakeCurrent(egl_, output.eglSurface, output.eglSurface, context_)) return false;
  current_ = &output;
  return true;
}

void Client::dropSurface(Output& output) {
  if (output.surface && output.surface == pointerSurface_) pointerSurface_ = nullptr;
  if (current_ == &output) {
    // The context (and the texture in it) stays; only the surface goes.
    eglMakeCurrent(egl_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
    current_ = nullptr;
  }
  if (output.eglSurface != EGL_NO_SURFACE) eglDestroySurface(egl_, output.eglSurface);
  output.eglSurface = EGL_NO_SURFACE;
  if (output.eglWindow) wl_egl_window_destroy(output.eglWindow);
  output.eglWindow = nullptr;
  if (output.layerSurface) zwlr_layer_surface_v1_destroy(output.layerSurface);
  output.layerSurface = nullptr;
  if (output.toplevel) xdg_toplevel_destroy(output.toplevel);
  output.toplevel = nullptr;
  if (output.xdgSurface) xdg_surface_destroy(output.xdgSurface);
  output.xdgSurface = nullptr;
  if (output.surface) wl_surface_destroy(output.surface);
  output.surface = nullptr;
  output.configured = false;
}

void Client::dropOutput(Output& output) {
  dropSurface(output);
  if (output.frame) zwlr_screencopy_frame_v1_destroy(output.frame);
  output.frame = nullptr;
  if (output.xdgOutput) zxdg_output_v1_destroy(output.xdgOutput);
  output.xdgOutput = nullptr;
  if (output.output) {
    if (wl_output_get_version(output.output) >= WL_OUTPUT_RELEASE_SINCE_VERSION) {
      wl_output_release(output.output);
    } else {
      wl_output_destroy(output.output);
    }
  }
  output.output = nullptr;
}

// Reads and handles what the compositor sent, waiting up to the timeout for it (or for a
// stop request). False when the connection is gone.
bool Client::dispatch(int timeoutMilliseconds) {
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) break;
  }
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(display_);
    gone_ = true;
    return false;
  }
  pollfd fds[2] = {{wl_display_get_fd(display_), POLLIN, 0}, {stopsignals::wakeDescriptor(), POLLIN, 0}};
  const int ready = ::poll(fds, 2, timeoutMilliseconds < 0 ? 0 : timeoutMilliseconds);
  if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
    if (wl_display_read_events(display_) < 0) {
      gone_ = true;
      protocolError_ = wl_display_get_error(display_) == EPROTO;
      return false;
    }
  } else {
    wl_display_cancel_read(display_);
  }
  if (wl_display_dispatch_pending(display_) < 0) {
    gone_ = true;
    protocolError_ = wl_display_get_error(display_) == EPROTO;
    return false;
  }
  return true;
}

// One turn of the schedule. The driver draws on the first surface; every other surface
// shows the same scene through its own viewport. Milliseconds to wait before the next turn.
std::uint32_t Client::drawFrame(std::int64_t now) {
  constexpr std::uint32_t kIdleWait = 100;  // no surface yet: only events to wait for
  std::vector<Output*> showing;
  bool mustDraw = false;
  for (auto& o : outputs_) {
    if (o->eglSurface == EGL_NO_SURFACE) continue;
    showing.push_back(o.get());
    mustDraw = mustDraw || o->mustDraw;
  }
  if (showing.empty()) return kIdleWait;
  auto placeOn = [&](Output& o) {
    if (!makeCurrentOn(o)) return false;
    const Viewport v = outputViewport(bounds_, o.place(), o.bufferScale);
    driver_.place(v.left, v.bottom, v.width, v.height);
    return true;
  };
  if (!placeOn(*showing[0])) return kIdleWait;
  // Placing forgets what was drawn; every surface shows the same frame, so it still holds.
  lastDrawnView = drawnView_;
  const FrameDriver::Frame frame = driver_.draw(now, mustDraw);
  if (!frame.due) return frame.waitMilliseconds;
  if (frame.drawn) {
    eglSwapBuffers(egl_, showing[0]->eglSurface);
    showing[0]->mustDraw = false;
    const SceneView view = lastDrawnView;
    for (std::size_t i = 1; i < showing.size(); ++i) {
      if (!placeOn(*showing[i])) continue;
      drawScene();
      eglSwapBuffers(egl_, showing[i]->eglSurface);
      showing[i]->mustDraw = false;
    }
    lastDrawnView = view;
  }
  driver_.shown(monotonicNow());
  drawnView_ = lastDrawnView;
  return 0;
}

int Client::run(RunCompanions& companions) {
  if (!connect()) return gone_ ? 0 : 1;
  captureOutputs();
  if (ending()) return gone_ && protocolError_ ? 1 : 0;

  // The picture: the whole layout as it was, at the finest scale of any output.
  std::vector<LayoutRect> places;
  std::vector<OutputCapture> captures;
  for (auto& o : outputs_) {
    places.push_back(o->place());
    if (o->scale > pictureScale_) pictureScale_ = o->scale;
    if (o->captured.data) {
      o->captured.logical = o->place();
      captures.push_back(o->captured);
    }
  }
  bounds_ = layoutBounds(places);
  if (bounds_.width <= 0) bounds_ = {0, 0, kDefaultWidth, kDefaultHeight};
  if (!captures.empty()) {
    std::vector<std::uint32_t> pixels;
    if (!composeDesktop(captures, bounds_, pictureScale_, pixels) ||
        !desktopPicture(pixels, bounds_, pictureScale_, picture_)) {
      std::fprintf(stderr, "%s: the desktop is too large to picture: the pieces show untextured\n", kProgram);
    }
  }
  for (auto& o : outputs_) {
    o->capture.reset();
    o->captured.data = nullptr;
  }
  pictureRows_ = picture_.rows();

  if (!startEgl()) return 1;
  covering_ = true;
  for (auto& o : outputs_) cover(*o);
  // Every surface sized before the first frame, so the picture's still moment shows on all.
  const std::int64_t deadline = monotonicNow() + kConfigureTimeout;
  for (;;) {
    bool waiting = false;
    for (auto& o : outputs_) waiting = waiting || (o->surface && !o->configured);
    if (!waiting || ending() || monotonicNow() > deadline) break;
    if (!dispatch(50)) break;
  }
  for (auto& o : outputs_) attachEgl(*o);
  if (ending()) return gone_ && protocolError_ ? 1 : 0;
  if (!current_) {
    std::fprintf(stderr, "%s: no output to draw on\n", kProgram);
    return 1;
  }

  FrameDriverOptions driving;
  driving.frequency = kNanosecondsPerSecond;
  driving.delay = std::int64_t(options_.delayMicroseconds) * 1000;
  const Viewport first = outputViewport(bounds_, current_->place(), current_->bufferScale);
  viewLeft = first.left;
  viewBottom = first.bottom;
  driver_.init(driving, first.width, first.height, &pictureRows_, monotonicNow());
  driving_ = true;
  companions.start();

  while (!ending()) {
    if (!dispatch(0)) break;
    for (auto& o : outputs_) attachEgl(*o);
    if (ending()) break;
    const std::uint32_t wait = drawFrame(monotonicNow());
    // Nothing due: sleep until the next frame, an event or a stop request.
    if (wait > 0 && !dispatch(int(wait))) break;
  }
  driver_.free();
  driving_ = false;
  companions.stop();
  return gone_ && protocolError_ ? 1 : 0;
}

void Client::close() {
  if (context_ != EGL_NO_CONTEXT) {
    // The texture belongs to the context: give it back while the context is current.
    if (current_ || eglMakeCurrent(egl_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_)) snapshotTexture.release();
  }
  usePictureFromMemory(nullptr);
  for (auto& o : outputs_) dropOutput(*o);
  outputs_.clear();
  if (egl_ != EGL_NO_DISPLAY) {
    eglMakeCurrent(egl_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(egl_, context_);
    eglTerminate(egl_);
  }
  context_ = EGL_NO_CONTEXT;
  egl_ = EGL_NO_DISPLAY;
  current_ = nullptr;
  if (keyState_) xkb_state_unref(keyState_);
  if (keymap_) xkb_keymap_unref(keymap_);
  if (xkb_) xkb_context_unref(xkb_);
  keyState_ = nullptr;
  keymap_ = nullptr;
  xkb_ = nullptr;
  if (keyboard_) wl_keyboard_destroy(keyboard_);
  if (pointer_) wl_pointer_destroy(pointer_);
  if (seat_) wl_seat_destroy(seat_);
  if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
  if (screencopy_) zwlr_screencopy_manager_v1_destroy(screencopy_);
  if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
  if (wmBase_) xdg_wm_base_destroy(wmBase_);
  if (shm_) wl_shm_destroy(shm_);
  if (compositor_) wl_compositor_destroy(compositor_);
  if (registry_) wl_registry_destroy(registry_);
  keyboard_ = nullptr;
  pointer_ = nullptr;
  seat_ = nullptr;
  layerShell_ = nullptr;
  screencopy_ = nullptr;
  xdgOutputs_ = nullptr;
  wmBase_ = nullptr;
  shm_ = nullptr;
  compositor_ = nullptr;
  registry_ = nullptr;
  if (display_) {
    if (!gone_) wl_display_flush(display_);
    wl_display_disconnect(display_);
  }
  display_ = nullptr;
}

}  // namespace

int runOnWayland(const RunOptions& options, RunCompanions& companions) {
  if (options.showFps) std::fprintf(stderr, "%s: --fps: no frame-rate corner on Wayland yet\n", kProgram);
  Client client(options);
  return client.run(companions);
}
