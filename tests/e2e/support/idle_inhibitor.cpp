// Test tool: a small window that holds an idle inhibitor (zwp_idle_inhibitor_v1), as a video
// player does, until it is ended. Says "holding" on standard output once the compositor has it.
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "idle-inhibit-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace {

wl_compositor* compositor = nullptr;
wl_shm* shm = nullptr;
xdg_wm_base* wmBase = nullptr;
zwp_idle_inhibit_manager_v1* inhibitManager = nullptr;
bool configured = false;

void global(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
  if (std::strcmp(interface, wl_compositor_interface.name) == 0) {
    compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
  } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
    shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  } else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0) {
    wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
  } else if (std::strcmp(interface, zwp_idle_inhibit_manager_v1_interface.name) == 0) {
    inhibitManager = static_cast<zwp_idle_inhibit_manager_v1*>(
        wl_registry_bind(registry, name, &zwp_idle_inhibit_manager_v1_interface, 1));
  }
}
void globalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry = {global, globalRemove};

void ping(void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); }
const xdg_wm_base_listener kWmBase = {ping};
void surfaceConfigure(void*, xdg_surface* surface, std::uint32_t serial) {
  xdg_surface_ack_configure(surface, serial);
  configured = true;
}
const xdg_surface_listener kSurface = {surfaceConfigure};
void toplevelConfigure(void*, xdg_toplevel*, std::int32_t, std::int32_t, wl_array*) {}
void toplevelClose(void*, xdg_toplevel*) {}
void toplevelBounds(void*, xdg_toplevel*, std::int32_t, std::int32_t) {}
void toplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}
const xdg_toplevel_listener kToplevel = {toplevelConfigure, toplevelClose, toplevelBounds, toplevelCapabilities};

// A grey square in shared memory.
wl_buffer* greyBuffer(int size) {
  const int stride = size * 4, bytes = stride * size;
  const int fd = memfd_create("idle-inhibitor", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, bytes) != 0) return nullptr;
  void* pixels = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (pixels == MAP_FAILED) return nullptr;
  std::memset(pixels, 0x80, bytes);
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, bytes);
  wl_buffer* buffer = wl_shm_pool_create_buffer(pool, 0, size, size, stride, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  close(fd);
  return buffer;
}

}  // namespace

int main(int, char** argv) {
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return 1;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, nullptr);
  wl_display_roundtrip(display);
  if (!compositor || !shm || !wmBase || !inhibitManager) {
    std::fprintf(stderr, "%s: the compositor lacks xdg-shell or the idle inhibit manager\n", argv[0]);
    return 1;
  }
  xdg_wm_base_add_listener(wmBase, &kWmBase, nullptr);
  wl_surface* surface = wl_compositor_create_surface(compositor);
  xdg_surface* xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, surface);
  xdg_surface_add_listener(xdgSurface, &kSurface, nullptr);
  xdg_toplevel* toplevel = xdg_surface_get_toplevel(xdgSurface);
  xdg_toplevel_add_listener(toplevel, &kToplevel, nullptr);
  xdg_toplevel_set_title(toplevel, "idle inhibitor");
  wl_surface_commit(surface);
  while (!configured && wl_display_dispatch(display) >= 0) {
  }
  wl_buffer* buffer = greyBuffer(64);
  if (!buffer) return 1;
  wl_surface_attach(surface, buffer, 0, 0);
  wl_surface_damage(surface, 0, 0, 64, 64);
  wl_surface_commit(surface);
  zwp_idle_inhibit_manager_v1_create_inhibitor(inhibitManager, surface);
  wl_display_roundtrip(display);
  std::printf("holding\n");
  std::fflush(stdout);
  // Held for as long as the connection lasts: ending the process lets it go.
  while (wl_display_dispatch(display) >= 0) {
  }
  return 0;
}
