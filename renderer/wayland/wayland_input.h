// The seat: keys (through the compositor's keymap) and the pointer, turned into the run's two
// kinds of news: a key typed, and the user back (pointer travel, a button, the wheel).
#pragma once

#include <wayland-client.h>

#include <cstdint>
#include <functional>

#include "desktop_picture.h"

struct xkb_context;
struct xkb_keymap;
struct xkb_state;

class InputEvents {
 public:
  // A key went down: its character when it has an ASCII one, else 0.
  virtual void onKeyTyped(int character) = 0;
  // The user moved the pointer more than a jolt, pressed a button or turned the wheel.
  virtual void onUserBack() = 0;
  // Where the surface lies in the layout (logical pixels); false when it is none of ours.
  virtual bool placeOfSurface(wl_surface* surface, LayoutRect& place) = 0;

 protected:
  ~InputEvents() = default;
};

class Input {
 public:
  explicit Input(InputEvents& events) : events_(events) {}
  ~Input() { close(); }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  // The first seat announced; later ones are let go.
  void useSeat(wl_seat* seat);
  // Our surface went: the pointer is no longer over it.
  void forgetSurface(wl_surface* surface);
  void close();

  // Listener entry points.
  void onCapabilities(std::uint32_t capabilities);
  void onKeymap(int fd, std::uint32_t size);
  void onKey(std::uint32_t key);
  void onModifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked, std::uint32_t group);
  void onPointerAt(wl_surface* surface, double x, double y, std::uint32_t serial, bool entered);
  void onButtonOrWheel() { events_.onUserBack(); }

 private:
  InputEvents& events_;
  wl_seat* seat_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  xkb_context* xkb_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* keyState_ = nullptr;
  bool pointerSeen_ = false;
  wl_surface* pointerSurface_ = nullptr;
  double pointerX_ = 0;
  double pointerY_ = 0;
};
