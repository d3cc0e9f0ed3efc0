// The test compositor's surfaces, layer shell and seat: every buffer read and released at
// commit, frame callbacks answered on a 60 Hz tick, layer surfaces sized to their output.
#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "test_compositor.h"
// HACK: the generated header names an argument `namespace`, a C++ keyword.
#define namespace layerNamespace
#include "wlr-layer-shell-unstable-v1-server-protocol.h"
#undef namespace

namespace tc {
namespace {

void destroyResource(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }

template <typename T>
void forget(std::vector<T*>& list, T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

// ---- regions: kept by no one, since nothing here is clipped or picked ----

void regionChange(wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
const struct wl_region_interface kRegionImpl = {destroyResource, regionChange, regionChange};

// ---- surfaces ----

Surface* surfaceOf(wl_resource* r) { return static_cast<Surface*>(wl_resource_get_user_data(r)); }

void pendingBufferGone(wl_listener* listener, void*) {
  Surface* s = wl_container_of(listener, s, pendingBufferGone);
  s->pendingBuffer = nullptr;
  wl_list_remove(&s->pendingBufferGone.link);
  wl_list_init(&s->pendingBufferGone.link);
}

void surfaceAttach(wl_client*, wl_resource* r, wl_resource* buffer, std::int32_t, std::int32_t) {
  Surface* s = surfaceOf(r);
  wl_list_remove(&s->pendingBufferGone.link);
  wl_list_init(&s->pendingBufferGone.link);
  s->pendingBuffer = buffer;
  if (buffer) wl_resource_add_destroy_listener(buffer, &s->pendingBufferGone);
}
void surfaceDamage(wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
void callbackGone(wl_resource* r) { forget(server.frameCallbacks, r); }
void surfaceFrame(wl_client* client, wl_resource* r, std::uint32_t id) {
  wl_resource* callback = wl_resource_create(client, &wl_callback_interface, 1, id);
  wl_resource_set_implementation(callback, nullptr, nullptr, callbackGone);
  surfaceOf(r)->pendingCallbacks.push_back(callback);
}
void surfaceRegion(wl_client*, wl_resource*, wl_resource*) {}
void sendConfigure(LayerSurface& layer) {
  const Output& o = *layer.output;
  // The output's logical size: a quarter turn swaps the mode's sides.
  const bool turned = o.transform & 1;
  const int width = (turned ? o.height : o.width) / o.scale, height = (turned ? o.width : o.height) / o.scale;
  zwlr_layer_surface_v1_send_configure(layer.resource, wl_display_next_serial(server.display), std::uint32_t(width),
                                       std::uint32_t(height));
  layer.configured = true;
}
void surfaceCommit(wl_client*, wl_resource* r) {
  Surface* s = surfaceOf(r);
  for (wl_resource* callback : s->pendingCallbacks) server.frameCallbacks.push_back(callback);
  s->pendingCallbacks.clear();
  LayerSurface* layer = s->layer;
  if (layer && !layer->closed && !layer->configured) sendConfigure(*layer);
  wl_resource* buffer = s->pendingBuffer;
  if (!buffer) return;
  wl_list_remove(&s->pendingBufferGone.link);
  wl_list_init(&s->pendingBufferGone.link);
  s->pendingBuffer = nullptr;
  if (layer && !layer->closed && layer->output && readShmBuffer(buffer, layer->output->shown)) {
    ++layer->output->commits;
  }
  // Read at once, so given back at once: the client never waits for its buffers.
  wl_buffer_send_release(buffer);
}
void surfaceInteger(wl_client*, wl_resource*, std::int32_t) {}
void surfaceOffset(wl_client*, wl_resource*, std::int32_t, std::int32_t) {}
const struct wl_surface_interface kSurfaceImpl = {destroyResource, surfaceAttach, surfaceDamage,  surfaceFrame,
                                                  surfaceRegion,   surfaceRegion, surfaceCommit,  surfaceInteger,
                                                  surfaceInteger,  surfaceDamage, surfaceOffset};
void surfaceGone(wl_resource* r) {
  Surface* s = surfaceOf(r);
  wl_list_remove(&s->pendingBufferGone.link);
  for (wl_resource* callback : s->pendingCallbacks) wl_resource_destroy(callback);
  if (s->layer) s->layer->surface = nullptr;
  delete s;
}

void createSurface(wl_client* client, wl_resource* r, std::uint32_t id) {
  auto* s = new Surface;
  s->resource = wl_resource_create(client, &wl_surface_interface, wl_resource_get_version(r), id);
  wl_list_init(&s->pendingBufferGone.link);
  s->pendingBufferGone.notify = pendingBufferGone;
  wl_resource_set_implementation(s->resource, &kSurfaceImpl, s, surfaceGone);
}
void createRegion(wl_client* client, wl_resource* r, std::uint32_t id) {
  wl_resource* region = wl_resource_create(client, &wl_region_interface, wl_resource_get_version(r), id);
  wl_resource_set_implementation(region, &kRegionImpl, nullptr, nullptr);
}
const struct wl_compositor_interface kCompositorImpl = {createSurface, createRegion};
void bindCompositor(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* r = wl_resource_create(client, &wl_compositor_interface, int(version), id);
  wl_resource_set_implementation(r, &kCompositorImpl, nullptr, nullptr);
}

// Frame callbacks: answered together, as one repaint of every output would.
wl_event_source* ticker = nullptr;
int tick(void*) {
  const std::vector<wl_resource*> due = server.frameCallbacks;
  server.frameCallbacks.clear();
  for (wl_resource* callback : due) {
    wl_callback_send_done(callback, std::uint32_t(wl_display_get_serial(server.display)));
    wl_resource_destroy(callback);
  }
  wl_event_source_timer_update(ticker, 16);
  return 0;
}

// ---- layer shell ----

LayerSurface* layerOf(wl_resource* r) { return static_cast<LayerSurface*>(wl_resource_get_user_data(r)); }
void layerSize(wl_client*, wl_resource*, std::uint32_t, std::uint32_t) {}
void layerUint(wl_client*, wl_resource*, std::uint32_t) {}
void layerInt(wl_client*, wl_resource*, std::int32_t) {}
void layerMargin(wl_client*, wl_resource*, std::int32_t, std::int32_t, std::int32_t, std::int32_t) {}
void layerPopup(wl_client*, wl_resource*, wl_resource*) {}
void layerAck(wl_client*, wl_resource*, std::uint32_t) {}
const struct zwlr_layer_surface_v1_interface kLayerSurfaceImpl = {layerSize,  layerUint, layerInt,        layerMargin,
                                                                  layerUint,  layerPopup, layerAck, destroyResource,
                                                                  layerUint};
void layerSurfaceGone(wl_resource* r) {
  LayerSurface* layer = layerOf(r);
  if (layer->surface) layer->surface->layer = nullptr;
  forget(server.layers, layer);
  delete layer;
}

void getLayerSurface(wl_client* client, wl_resource* shell, std::uint32_t id, wl_resource* surface,
                     wl_resource* output, std::uint32_t, const char*) {
  auto* layer = new LayerSurface;
  layer->resource = wl_resource_create(client, &zwlr_layer_surface_v1_interface, wl_resource_get_version(shell), id);
  layer->surface = surfaceOf(surface);
  layer->surface->layer = layer;
  layer->output = output ? static_cast<Output*>(wl_resource_get_user_data(output)) : nullptr;
  if (!layer->output && !server.outputs.empty()) layer->output = server.outputs.front().get();
  wl_resource_set_implementation(layer->resource, &kLayerSurfaceImpl, layer, layerSurfaceGone);
  server.layers.push_back(layer);
  if (!layer->output || layer->output->removed) {
    zwlr_layer_surface_v1_send_closed(layer->resource);
    layer->closed = true;
  }
}
const struct zwlr_layer_shell_v1_interface kLayerShellImpl = {getLayerSurface};
void bindLayerShell(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* r = wl_resource_create(client, &zwlr_layer_shell_v1_interface, int(version), id);
  wl_resource_set_implementation(r, &kLayerShellImpl, nullptr, nullptr);
}

// ---- the seat: one keyboard, with the default xkb keymap ----

void keyboardGone(wl_resource* r) { forget(server.keyboards, r); }
const struct wl_keyboard_interface kKeyboardImpl = {destroyResource};
void getKeyboard(wl_client* client, wl_resource* seat, std::uint32_t id) {
  wl_resource* keyboard = wl_resource_create(client, &wl_keyboard_interface, wl_resource_get_version(seat), id);
  wl_resource_set_implementation(keyboard, &kKeyboardImpl, nullptr, keyboardGone);
  server.keyboards.push_back(keyboard);
  const int fd = memfd_create("test-compositor-keymap", MFD_CLOEXEC);
  const std::size_t size = server.keymap.size() + 1;
  if (fd >= 0 && write(fd, server.keymap.c_str(), size) == ssize_t(size)) {
    wl_keyboard_send_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd, std::uint32_t(size));
  }
  if (fd >= 0) close(fd);
  if (wl_resource_get_version(keyboard) >= WL_KEYBOARD_REPEAT_INFO_SINCE_VERSION) {
    wl_keyboard_send_repeat_info(keyboard, 0, 0);
  }
}
void getNothing(wl_client* client, wl_resource* seat, std::uint32_t id) {
  // Not offered in the capabilities: an inert object, as a seat that lost the device gives.
  wl_resource* r = wl_resource_create(client, &wl_pointer_interface, wl_resource_get_version(seat), id);
  wl_resource_set_implementation(r, nullptr, nullptr, nullptr);
}
void getTouch(wl_client* client, wl_resource* seat, std::uint32_t id) {
  wl_resource* r = wl_resource_create(client, &wl_touch_interface, wl_resource_get_version(seat), id);
  wl_resource_set_implementation(r, nullptr, nullptr, nullptr);
}
const struct wl_seat_interface kSeatImpl = {getNothing, getKeyboard, getTouch, destroyResource};
void bindSeat(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource* r = wl_resource_create(client, &wl_seat_interface, int(version), id);
  wl_resource_set_implementation(r, &kSeatImpl, nullptr, nullptr);
  wl_seat_send_capabilities(r, WL_SEAT_CAPABILITY_KEYBOARD);
  if (version >= WL_SEAT_NAME_SINCE_VERSION) wl_seat_send_name(r, "seat0");
}

}  // namespace

void offerSurfaces() {
  wl_global_create(server.display, &wl_compositor_interface, 4, nullptr, bindCompositor);
  wl_global_create(server.display, &zwlr_layer_shell_v1_interface, 2, nullptr, bindLayerShell);
  wl_global_create(server.display, &wl_seat_interface, 5, nullptr, bindSeat);
  ticker = wl_event_loop_add_timer(server.loop, tick, nullptr);
  wl_event_source_timer_update(ticker, 16);

  xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
  xkb_rule_names names = {"evdev", "pc105", "us", "", ""};
  xkb_keymap* keymap = context ? xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS) : nullptr;
  if (keymap) {
    char* text = xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1);
    server.keymap = text;
    std::free(text);
    xkb_keymap_unref(keymap);
  }
  if (context) xkb_context_unref(context);
}

int closeLayerSurfaces(Output& output) {
  int closed = 0;
  for (LayerSurface* layer : server.layers) {
    if (layer->output != &output || layer->closed) continue;
    zwlr_layer_surface_v1_send_closed(layer->resource);
    layer->closed = true;
    ++closed;
  }
  output.closedSent += closed;
  return closed;
}

int liveLayerSurfaces(const Output& output) {
  return int(std::count_if(server.layers.begin(), server.layers.end(), [&](const LayerSurface* layer) {
    return layer->output == &output && !layer->closed;
  }));
}

bool sendKey(const std::string& name) {
  // Linux input codes; the keymap adds 8.
  static const std::map<std::string, std::uint32_t> kCodes = {{"esc", 1},  {"q", 16}, {"r", 19},    {"s", 31},
                                                              {"g", 34},   {"x", 45}, {"space", 57}};
  const auto found = kCodes.find(name);
  if (found == kCodes.end()) return false;
  for (wl_resource* keyboard : server.keyboards) {
    const std::uint32_t time = 0;
    wl_keyboard_send_key(keyboard, wl_display_next_serial(server.display), time, found->second,
                         WL_KEYBOARD_KEY_STATE_PRESSED);
    wl_keyboard_send_key(keyboard, wl_display_next_serial(server.display), time, found->second,
                         WL_KEYBOARD_KEY_STATE_RELEASED);
  }
  return true;
}

}  // namespace tc
