// Test tool: moves a virtual pointer or presses a button on the compositor's seat, as a mouse
// would (wlr-virtual-pointer). `virtual_pointer move DX DY`, `virtual_pointer click`, or
// `virtual_pointer wiggle SECONDS`: the move of `move 60 40`, then a pixel to and fro every 100 ms
// for that long, a user at work, then the monotonic time of the last motion on standard output.
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace {

wl_seat* seat = nullptr;
zwlr_virtual_pointer_manager_v1* manager = nullptr;

void global(void*, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat) {
    seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
    manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
        wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
  }
}
void globalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry = {global, globalRemove};

double nowSeconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return double(t.tv_sec) + t.tv_nsec / 1e9;
}

std::uint32_t nowMs() { return std::uint32_t(std::uint64_t(nowSeconds() * 1000)); }

}  // namespace

int main(int argc, char** argv) {
  const bool move = argc == 4 && std::strcmp(argv[1], "move") == 0;
  const bool click = argc == 2 && std::strcmp(argv[1], "click") == 0;
  const bool wiggle = argc == 3 && std::strcmp(argv[1], "wiggle") == 0;
  if (!move && !click && !wiggle) {
    std::fprintf(stderr, "usage: %s move DX DY | click | wiggle SECONDS\n", argv[0]);
    return 2;
  }
  wl_display* display = wl_display_connect(nullptr);
  if (!display) return 1;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistry, nullptr);
  wl_display_roundtrip(display);
  if (!manager) {
    std::fprintf(stderr, "%s: no virtual pointer manager\n", argv[0]);
    return 1;
  }
  zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, seat);
  wl_display_roundtrip(display);
  // A seat without a pointer gains one now: clients need a moment to bind it, as with wtype.
  usleep(300000);
  if (move || wiggle) {
    const double dx = move ? std::atof(argv[2]) : 60, dy = move ? std::atof(argv[3]) : 40;
    // In small steps, as a hand moves a mouse.
    for (int i = 0; i < 10; ++i) {
      zwlr_virtual_pointer_v1_motion(pointer, nowMs(), wl_fixed_from_double(dx / 10), wl_fixed_from_double(dy / 10));
      zwlr_virtual_pointer_v1_frame(pointer);
      wl_display_flush(display);
      usleep(10000);
    }
  }
  if (wiggle) {
    const double end = nowSeconds() + std::atof(argv[2]);
    double last = 0;
    for (int i = 0; nowSeconds() < end; ++i) {
      // Taken before the motion leaves: the compositor cannot have seen it earlier.
      last = nowSeconds();
      zwlr_virtual_pointer_v1_motion(pointer, nowMs(), wl_fixed_from_int(i % 2 ? -1 : 1), 0);
      zwlr_virtual_pointer_v1_frame(pointer);
      wl_display_flush(display);
      usleep(100000);
    }
    wl_display_roundtrip(display);
    std::printf("%.3f\n", last);
  } else if (click) {
    const std::uint32_t left = 0x110;  // BTN_LEFT
    zwlr_virtual_pointer_v1_button(pointer, nowMs(), left, WL_POINTER_BUTTON_STATE_PRESSED);
    zwlr_virtual_pointer_v1_frame(pointer);
    zwlr_virtual_pointer_v1_button(pointer, nowMs(), left, WL_POINTER_BUTTON_STATE_RELEASED);
    zwlr_virtual_pointer_v1_frame(pointer);
  }
  wl_display_roundtrip(display);
  zwlr_virtual_pointer_v1_destroy(pointer);
  wl_display_roundtrip(display);
  wl_display_disconnect(display);
  return 0;
}
