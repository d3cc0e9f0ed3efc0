#include "wayland_connection.h"


#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ext-image-capture-source-v1-client-protocol.h"
#include "ext-image-copy-capture-v1-client-protocol.h"
#include "posix_clock.h"
#include "stop_signals.h"
#include "wayland_dispatch.h"
// HACK: the generated header names an argument `namespace`, a C++ keyword.
#define namespace layerNamespace
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace
#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
#include "fractional-scale-v1-client-protocol.h"
#include "viewporter-client-protocol.h"

namespace {

// A compositor that does not answer by then will not: the start is given up.
constexpr std::int64_t kAnswerTimeout = 5 * kNanosecondsPerSecond;

void registryGlobal(void* data, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version) {
  static_cast<Connection*>(data)->onGlobal(name, interface, version);
}
void registryGlobalRemove(void* data, wl_registry*, std::uint32_t name) {
  static_cast<Connection*>(data)->onGlobalRemove(name);
}
const wl_registry_listener kRegistryListener = {registryGlobal, registryGlobalRemove};

void wmPing(void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener kWmListener = {wmPing};

void syncDone(void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }
const wl_callback_listener kSyncListener = {syncDone};

bool absolutePath(const char* name) { return name && name[0] == '/'; }

// libwayland's own messages, kept for our one line rather than printed beside it.
char lastLibraryLine[256] = "";
void keepLibraryLine(const char* format, va_list arguments) {
  std::vsnprintf(lastLibraryLine, sizeof lastLibraryLine, format, arguments);
  const std::size_t n = std::strlen(lastLibraryLine);
  if (n > 0 && lastLibraryLine[n - 1] == '\n') lastLibraryLine[n - 1] = '\0';
}

}  // namespace

bool Connection::open() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  // Said once, by us: libwayland would print a line of its own as well.
  if (!absolutePath(name) && !(runtime && runtime[0])) {
    std::fprintf(stderr, "%s: $XDG_RUNTIME_DIR is not set: cannot find the Wayland compositor's socket\n", program_);
    return false;
  }
  wl_log_set_handler_client(keepLibraryLine);
  display_ = wl_display_connect(nullptr);
  if (!display_) {
    if (name && name[0]) {
      std::fprintf(stderr, "%s: cannot connect to the Wayland compositor '%s'\n", program_, name);
    } else {
      std::fprintf(stderr, "%s: cannot connect to a Wayland compositor ($WAYLAND_DISPLAY is not set)\n", program_);
    }
    return false;
  }
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  // The globals, then what each output and the seat tell of themselves.
  const std::int64_t deadline = monotonicNow() + kAnswerTimeout;
  if (!roundtrip(deadline) || !roundtrip(deadline)) {
    if (stopsignals::requested() || ended_) return fail();
    std::fprintf(stderr, "%s: the Wayland compositor did not answer within %d s\n", program_,
                 int(kAnswerTimeout / kNanosecondsPerSecond));
    return false;
  }
  if (!globals_.compositor || !globals_.shm) {
    std::fprintf(stderr, "%s: the Wayland compositor offers no wl_compositor or wl_shm\n", program_);
    return false;
  }
  if (!globals_.layerShell && !globals_.wmBase) {
    std::fprintf(stderr, "%s: the Wayland compositor offers neither layer-shell nor xdg-shell\n", program_);
    return false;
  }
  return true;
}

bool Connection::fail() {
  if (protocolError_) return false;
  if (ended_) std::fprintf(stderr, "%s: the Wayland compositor went away\n", program_);
  return false;
}

bool Connection::roundtrip(std::int64_t deadline) {
  bool done = false;
  wl_callback* callback = wl_display_sync(display_);
  wl_callback_add_listener(callback, &kSyncListener, &done);
  while (!done && !stopsignals::requested()) {
    const std::int64_t left = deadline - monotonicNow();
    if (left <= 0 || !dispatch(int(left / 1000000) + 1)) break;
  }
  wl_callback_destroy(callback);
  return done;
}

bool Connection::dispatch(int timeoutMilliseconds) {
  if (ended_) return false;
  auto broken = [this] {
    ended_ = true;
    // A closed or reset connection is the compositor leaving; any other error is a fault in
    // what passed between us (errors on wl_display itself come as EINVAL or ENOMEM).
    const int error = wl_display_get_error(display_);
    if (error != 0 && error != EPIPE && error != ECONNRESET && !protocolError_) {
      protocolError_ = true;
      if (error == EPROTO) {
        const wl_interface* interface = nullptr;
        std::uint32_t id = 0;
        const std::uint32_t code = wl_display_get_protocol_error(display_, &interface, &id);
        std::fprintf(stderr, "%s: Wayland protocol error %u on %s@%u\n", program_, code,
                     interface ? interface->name : "an unknown object", id);
      } else {
        std::fprintf(stderr, "%s: Wayland protocol error: %s\n", program_,
                     lastLibraryLine[0] ? lastLibraryLine : std::strerror(error));
      }
    }
    return false;
  };
  return dispatchOnce(display_, timeoutMilliseconds) || broken();
}

template <typename T>
T* bind(wl_registry* registry, std::uint32_t name, const wl_interface* interface, std::uint32_t offered,
        std::uint32_t wanted) {
  return static_cast<T*>(wl_registry_bind(registry, name, interface, offered < wanted ? offered : wanted));
}

void Connection::onGlobal(std::uint32_t name, const char* interface, std::uint32_t version) {
  Globals& g = globals_;
  if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
    g.compositor = bind<wl_compositor>(registry_, name, &wl_compositor_interface, version, 4);
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    g.shm = bind<wl_shm>(registry_, name, &wl_shm_interface, version, 1);
  } else if (std::strcmp(interface, wl_seat_interface.name) == 0) {
    events_.onSeatAnnounced(bind<wl_seat>(registry_, name, &wl_seat_interface, version, 5));
  } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
    events_.onOutputAnnounced(name, bind<wl_output>(registry_, name, &wl_output_interface, version, 4));
  } else if (std::strcmp(interface, zwlr_layer_shell_v1_interface.name) == 0) {
    g.layerShell = bind<zwlr_layer_shell_v1>(registry_, name, &zwlr_layer_shell_v1_interface, version, 2);
  } else if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
    g.screencopy = bind<zwlr_screencopy_manager_v1>(registry_, name, &zwlr_screencopy_manager_v1_interface, version, 3);
  } else if (std::strcmp(interface, ext_image_copy_capture_manager_v1_interface.name) == 0) {
    g.imageCopy = bind<ext_image_copy_capture_manager_v1>(registry_, name, &ext_image_copy_capture_manager_v1_interface,
                                                          version, 1);
  } else if (std::strcmp(interface, ext_output_image_capture_source_manager_v1_interface.name) == 0) {
    g.outputSources = bind<ext_output_image_capture_source_manager_v1>(
        registry_, name, &ext_output_image_capture_source_manager_v1_interface, version, 1);
  } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
    g.xdgOutputs = bind<zxdg_output_manager_v1>(registry_, name, &zxdg_output_manager_v1_interface, version, 3);
    events_.onXdgOutputManager(g.xdgOutputs);
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
    g.wmBase = bind<xdg_wm_base>(registry_, name, &xdg_wm_base_interface, version, 1);
    xdg_wm_base_add_listener(g.wmBase, &kWmListener, this);
  } else if (std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name) == 0) {
    g.fractionalScale = bind<wp_fractional_scale_manager_v1>(registry_, name, &wp_fractional_scale_manager_v1_interface,
                                                             version, 1);
  } else if (std::strcmp(interface, wp_viewporter_interface.name) == 0) {
    g.viewporter = bind<wp_viewporter>(registry_, name, &wp_viewporter_interface, version, 1);
  }
}

void Connection::close() {
  Globals& g = globals_;
  if (g.layerShell) zwlr_layer_shell_v1_destroy(g.layerShell);
  if (g.screencopy) zwlr_screencopy_manager_v1_destroy(g.screencopy);
  if (g.imageCopy) ext_image_copy_capture_manager_v1_destroy(g.imageCopy);
  if (g.outputSources) ext_output_image_capture_source_manager_v1_destroy(g.outputSources);
  if (g.xdgOutputs) zxdg_output_manager_v1_destroy(g.xdgOutputs);
  if (g.wmBase) xdg_wm_base_destroy(g.wmBase);
  if (g.fractionalScale) wp_fractional_scale_manager_v1_destroy(g.fractionalScale);
  if (g.viewporter) wp_viewporter_destroy(g.viewporter);
  if (g.shm) wl_shm_destroy(g.shm);
  if (g.compositor) wl_compositor_destroy(g.compositor);
  if (registry_) wl_registry_destroy(registry_);
  g = Globals();
  registry_ = nullptr;
  if (display_) {
    if (!ended_) wl_display_flush(display_);
    wl_display_disconnect(display_);
  }
  display_ = nullptr;
}
