#include "gdi_surface.h"

#include <cmath>

namespace controls {

std::wstring toWide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &out[0], n);
  return out;
}

GdiSurface::GdiSurface(HDC dc, int width, int height, HWND window, int dpi)
    : dc_(dc), width_(width), height_(height), window_(window), dpi_(dpi) {}

GdiSurface::~GdiSurface() {
  deletePen();
  deleteBrush();
  if (ourFont_) {
    SelectObject(dc_, originalFont_);
    DeleteObject(ourFont_);
  }
}

// Selects `object`, keeps the DC's original object the first time, deletes the one we
// made before; `ours` becomes `object` (null for a stock object).
void GdiSurface::replace(HGDIOBJ object, HGDIOBJ& original, HGDIOBJ& ours) {
  if (!object) return;
  HGDIOBJ previous = SelectObject(dc_, object);
  if (!original) original = previous;
  if (ours && ours != object) DeleteObject(ours);
  ours = object;
}

void GdiSurface::createPen(Colour c) { replace(CreatePen(PS_SOLID, 1, translate(c)), originalPen_, ourPen_); }

void GdiSurface::deletePen() {
  if (!ourPen_) return;
  SelectObject(dc_, originalPen_);
  DeleteObject(ourPen_);
  ourPen_ = nullptr;
}

void GdiSurface::createSolidBrush(Colour c) {
  replace(CreateSolidBrush(translate(c)), originalBrush_, ourBrush_);
}

void GdiSurface::selectHollowBrush() {
  HGDIOBJ previous = SelectObject(dc_, GetStockObject(NULL_BRUSH));
  if (!originalBrush_) originalBrush_ = previous;
  if (ourBrush_) DeleteObject(ourBrush_);
  ourBrush_ = nullptr;
}

void GdiSurface::deleteBrush() {
  if (originalBrush_) SelectObject(dc_, originalBrush_);
  if (ourBrush_) DeleteObject(ourBrush_);
  ourBrush_ = nullptr;
}

void GdiSurface::rectangle(int left, int top, int right, int bottom) { Rectangle(dc_, left, top, right, bottom); }

void GdiSurface::roundRect(int left, int top, int right, int bottom, int ellipseW, int ellipseH) {
  RoundRect(dc_, left, top, right, bottom, ellipseW, ellipseH);
}

void GdiSurface::fillRect(const Rect& r, Colour c) {
  HBRUSH brush = CreateSolidBrush(translate(c));
  if (!brush) return;
  RECT rc;
  SetRect(&rc, r.left, r.top, r.right, r.bottom);
  FillRect(dc_, &rc, brush);
  DeleteObject(brush);
}

void GdiSurface::selectFont(const FontSpec& font) {
  const int dpi = dpi_ > 0 ? dpi_ : GetDeviceCaps(dc_, LOGPIXELSY);
  const int height = -int(std::lround(font.points * dpi / 72.0));
  const std::wstring face = toWide(font.name);
  HFONT f = CreateFontW(height, 0, 0, 0, font.weight, FALSE, FALSE, FALSE, BYTE(font.charset), OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face.c_str());
  replace(f, originalFont_, ourFont_);
}

void GdiSurface::drawText(const std::string& text, const Rect& r, unsigned flags) {
  const std::wstring wide = toWide(text);
  if (wide.empty()) return;
  RECT rc;
  SetRect(&rc, r.left, r.top, r.right, r.bottom);
  const int oldMode = SetBkMode(dc_, TRANSPARENT);
  DrawTextW(dc_, wide.c_str(), int(wide.size()), &rc, flags);
  SetBkMode(dc_, oldMode);
}

void GdiSurface::drawFocusRect(const Rect& r) {
  RECT rc;
  SetRect(&rc, r.left, r.top, r.right, r.bottom);
  DrawFocusRect(dc_, &rc);
}

void GdiSurface::setWindowRoundRgn(int left, int top, int right, int bottom, int ellipseW, int ellipseH) {
  if (!window_) return;
  HRGN region = CreateRoundRectRgn(left, top, right, bottom, ellipseW, ellipseH);
  if (region && !SetWindowRgn(window_, region, TRUE)) DeleteObject(region);
}

}  // namespace controls
