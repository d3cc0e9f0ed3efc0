// The frame control's window, GFXFrameX: a container that passes its children's
// notifications on to its own parent.
#include "control_windows.h"

#include <optional>

#include "control_window_parts.h"
#include "gdi_surface.h"
#include "window_dpi.h"

namespace controls {

const wchar_t kFrameClass[] = L"GFXFrameX";

namespace {

struct FrameWindow : FrameSite {
  FrameWindow(HWND w, const Creation& c) : hwnd(w), ambient(c.ambientBack), dpiNow(windowDpi(w)) {
    if (c.stored) store = *c.stored;
  }
  Colour ambientBackColour() const override { return ambient; }
  void propertyChanged(const std::string&) override { control.writeProperties(store); }
  double twipsPerPixelX() const override { return twipsPerPixel(dpiNow); }
  double widthTwips() const override { return clientSize(hwnd).cx * twipsPerPixel(dpiNow); }
  double heightTwips() const override { return clientSize(hwnd).cy * twipsPerPixel(dpiNow); }
  int dpi() const override { return dpiNow; }
  Surface* beginDraw() override {
    HDC dc = retained.ensure(hwnd);
    if (!dc) return nullptr;
    surface.emplace(dc, retained.width(), retained.height(), nullptr, dpiNow);
    return &*surface;
  }
  void endDraw() override {
    surface.reset();
    retained.showOn(hwnd);
  }

  HWND hwnd;
  Colour ambient;
  int dpiNow;  // the monitor's, as the holder last said
  PropertyStore store;
  bool loaded = false;
  Retained retained;
  std::optional<GdiSurface> surface;
  FrameControl control{*this};
};

FrameWindow* frameOf(HWND w) { return reinterpret_cast<FrameWindow*>(GetWindowLongPtrW(w, GWLP_USERDATA)); }

LRESULT CALLBACK frameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* state = new FrameWindow(hwnd, creationOf(lp));
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  FrameWindow* state = frameOf(hwnd);
  if (!state) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_CREATE:
      state->control.readProperties(state->store);
      state->loaded = true;
      return 0;
    case WM_SIZE:
      if (state->loaded) state->control.resized();
      return 0;
    case WM_SYSCOLORCHANGE:
      state->control.ambientChanged("BackColor");
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      paintRetained(hwnd, state->retained);
      return 0;
    case WM_COMMAND:
      // The frame is a container: its children's notifications belong to the holder.
      return SendMessageW(GetParent(hwnd), msg, wp, lp);
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      delete state;
      return DefWindowProcW(hwnd, msg, wp, lp);
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

bool registerFrameClass(HINSTANCE instance) { return registerControlClass(instance, kFrameClass, frameProc, 0); }

HWND createFrame(HWND parent, int id, int x, int y, int width, int height, const PropertyStore* stored,
                 Colour ambientBack) {
  return createControl(kFrameClass, WS_EX_CONTROLPARENT, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS,
                       parent, id, x, y, width, height, stored, ambientBack);
}

FrameControl* frameControl(HWND frame) {
  FrameWindow* f = frameOf(frame);
  return f ? &f->control : nullptr;
}

const PropertyStore* frameStore(HWND frame) { return frameOf(frame) ? &frameOf(frame)->store : nullptr; }

void setAmbientBackColour(HWND frame, Colour colour) {
  if (FrameWindow* f = frameOf(frame)) {
    f->ambient = colour;
    f->control.ambientChanged("BackColor");
  }
}

void setFrameDpi(HWND frame, int dpi) {
  FrameWindow* f = frameOf(frame);
  if (!f || f->dpiNow == dpi) return;
  f->dpiNow = dpi;
  if (f->loaded) f->control.Refresh();
}

}  // namespace controls
