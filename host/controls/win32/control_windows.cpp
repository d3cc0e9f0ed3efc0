#include "control_windows.h"

#include "control_window_parts.h"

namespace controls {

namespace {

bool isClass(HWND control, const wchar_t* cls) {
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  return !lstrcmpW(name, cls);
}

}  // namespace

// ------------------------------------------------------------------ shared by both kinds

Creation creationOf(LPARAM createStruct) {
  const auto* c = static_cast<const Creation*>(reinterpret_cast<CREATESTRUCTW*>(createStruct)->lpCreateParams);
  return c ? *c : Creation{nullptr, kDefaultAmbientBack};
}

HWND createControl(const wchar_t* className, DWORD exStyle, DWORD style, HWND parent, int id, int x, int y,
                   int width, int height, const PropertyStore* stored, Colour ambientBack) {
  Creation creation{stored, ambientBack};
  return CreateWindowExW(exStyle, className, L"", style, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(INT_PTR(id)), GetModuleHandleW(nullptr), &creation);
}

bool registerControlClass(HINSTANCE instance, const wchar_t* className, WNDPROC proc, UINT style) {
  WNDCLASSEXW c{};
  c.cbSize = sizeof(c);
  c.style = style;
  c.lpfnWndProc = proc;
  c.hInstance = instance;
  c.hCursor = LoadCursor(nullptr, IDC_ARROW);
  c.lpszClassName = className;
  return RegisterClassExW(&c) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

double twipsPerPixel(int dpi) { return 1440.0 / (dpi > 0 ? dpi : 96); }

SIZE clientSize(HWND window) {
  RECT rc{};
  GetClientRect(window, &rc);
  return {rc.right, rc.bottom};
}

HDC Retained::ensure(HWND window) {
  const SIZE size = clientSize(window);
  if (dc_ && size.cx == width_ && size.cy == height_) return dc_;
  HDC windowDc = GetDC(window);
  HDC dc = CreateCompatibleDC(windowDc);
  HBITMAP bitmap = CreateCompatibleBitmap(windowDc, size.cx > 0 ? size.cx : 1, size.cy > 0 ? size.cy : 1);
  ReleaseDC(window, windowDc);
  if (!dc || !bitmap) {
    if (dc) DeleteDC(dc);
    if (bitmap) DeleteObject(bitmap);
    return dc_;
  }
  HGDIOBJ old = SelectObject(dc, bitmap);
  if (dc_) BitBlt(dc, 0, 0, width_, height_, dc_, 0, 0, SRCCOPY);
  release();
  dc_ = dc;
  bitmap_ = bitmap;
  oldBitmap_ = old;
  width_ = size.cx;
  height_ = size.cy;
  return dc_;
}

void Retained::show(HDC target) const {
  if (dc_) BitBlt(target, 0, 0, width_, height_, dc_, 0, 0, SRCCOPY);
}

void Retained::showOn(HWND window) const {
  HDC dc = GetDC(window);
  if (!dc) return;
  show(dc);
  ReleaseDC(window, dc);
}

void Retained::release() {
  if (!dc_) return;
  SelectObject(dc_, oldBitmap_);
  DeleteObject(bitmap_);
  DeleteDC(dc_);
  dc_ = nullptr;
}

void paintRetained(HWND window, const Retained& retained) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  retained.show(dc);
  EndPaint(window, &ps);
}

// ------------------------------------------------------------------ either kind

bool registerControlClasses(HINSTANCE instance) {
  const bool frame = registerFrameClass(instance);
  const bool button = registerButtonClass(instance);
  return frame && button;
}

const PropertyStore* controlStore(HWND control) {
  if (isClass(control, kFrameClass)) return frameStore(control);
  if (isClass(control, kButtonClass)) return buttonStore(control);
  return nullptr;
}

void setControlDpi(HWND control, int dpi) {
  if (dpi <= 0) return;
  if (isClass(control, kFrameClass)) setFrameDpi(control, dpi);
  else if (isClass(control, kButtonClass)) setButtonDpi(control, dpi);
}

}  // namespace controls
