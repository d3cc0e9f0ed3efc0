#include "wayland_input.h"

#include <sys/mman.h>
#include <unistd.h>
#include <xkbcommon/xkbcommon.h>

#include <cmath>

namespace {

// Pointer travel (logical pixels) that counts as the user being back; less is a jolt.
constexpr double kPointerSlack = 8.0;

void keyboardKeymap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1) {
    static_cast<Input*>(data)->onKeymap(fd, size);
  }
  ::close(fd);
}
void keyboardEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void keyboardLeave(void*, wl_keyboard*, std::uint32_t, wl_surface*) {}
void keyboardKey(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t state) {
  // Releases are no news: the key that started us may come up after we showed.
  if (state == WL_KEYBOARD_KEY_STATE_PRESSED) static_cast<Input*>(data)->onKey(key);
}
void keyboardModifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
                       std::uint32_t locked, std::uint32_t group) {
  static_cast<Input*>(data)->onModifiers(depressed, latched, locked, group);
}
void keyboardRepeat(void*, wl_keyboard*, std::int32_t, std::int32_t) {}
const wl_keyboard_listener kKeyboardListener = {keyboardKeymap, keyboardEnter,     keyboardLeave,
                                                keyboardKey,    keyboardModifiers, keyboardRepeat};

void pointerEnter(void* data, wl_pointer*, std::uint32_t serial, wl_surface* surface, wl_fixed_t x, wl_fixed_t y) {
  static_cast<Input*>(data)->onPointerAt(surface, wl_fixed_to_double(x), wl_fixed_to_double(y), serial, true);
}
void pointerLeave(void*, wl_pointer*, std::uint32_t, wl_surface*) {}
void pointerMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
  static_cast<Input*>(data)->onPointerAt(nullptr, wl_fixed_to_double(x), wl_fixed_to_double(y), 0, false);
}
void pointerButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED) static_cast<Input*>(data)->onButtonOrWheel();
}
void pointerAxis(void* data, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {
  static_cast<Input*>(data)->onButtonOrWheel();
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
  static_cast<Input*>(data)->onCapabilities(capabilities);
}
void seatName(void*, wl_seat*, const char*) {}
const wl_seat_listener kSeatListener = {seatCapabilities, seatName};

}  // namespace

void Input::useSeat(wl_seat* seat) {
  if (seat_) {
    wl_seat_destroy(seat);
    return;
  }
  seat_ = seat;
  wl_seat_add_listener(seat_, &kSeatListener, this);
}

void Input::forgetSurface(wl_surface* surface) {
  if (surface && surface == pointerSurface_) pointerSurface_ = nullptr;
}

void Input::onCapabilities(std::uint32_t capabilities) {
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

void Input::onKeymap(int fd, std::uint32_t size) {
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

void Input::onModifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked, std::uint32_t group) {
  if (keyState_) xkb_state_update_mask(keyState_, depressed, latched, locked, 0, 0, group);
}

void Input::onKey(std::uint32_t key) {
  // Evdev codes sit 8 below XKB's.
  const std::uint32_t character = keyState_ ? xkb_state_key_get_utf32(keyState_, key + 8) : 0;
  events_.onKeyTyped(character < 128 ? int(character) : 0);
}

void Input::onPointerAt(wl_surface* surface, double x, double y, std::uint32_t serial, bool entered) {
  if (entered) {
    pointerSurface_ = surface;
    // No pointer over the picture.
    if (pointer_) wl_pointer_set_cursor(pointer_, serial, nullptr, 0, 0);
  }
  // Where it is in the layout, so that crossing from one output to the next is travel too.
  LayoutRect place;
  if (pointerSurface_ && events_.placeOfSurface(pointerSurface_, place)) {
    x += place.x;
    y += place.y;
  }
  if (!pointerSeen_) {
    pointerSeen_ = true;
    pointerX_ = x;
    pointerY_ = y;
    return;
  }
  if (std::hypot(x - pointerX_, y - pointerY_) > kPointerSlack) events_.onUserBack();
}

void Input::close() {
  if (keyState_) xkb_state_unref(keyState_);
  if (keymap_) xkb_keymap_unref(keymap_);
  if (xkb_) xkb_context_unref(xkb_);
  keyState_ = nullptr;
  keymap_ = nullptr;
  xkb_ = nullptr;
  if (keyboard_) wl_keyboard_destroy(keyboard_);
  if (pointer_) wl_pointer_destroy(pointer_);
  if (seat_) wl_seat_destroy(seat_);
  keyboard_ = nullptr;
  pointer_ = nullptr;
  seat_ = nullptr;
  pointerSurface_ = nullptr;
}
