// GDI backend of the controls' drawing surface: every operation is the GDI call it names,
// on a device context the caller owns (a memory bitmap or a window's DC).
//  [x] pens, solid and hollow brushes, Rectangle, RoundRect, pixels, lines, FillRect
//  [x] fonts from a FontSpec, captions drawn with DrawTextW (any code page), DrawFocusRect
//  [x] CreateRoundRectRgn + SetWindowRgn when the surface belongs to a window
//  [ ] clipping: the caller's DC clips, the surface adds none
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <string>

#include "surface.h"

namespace controls {

// UTF-8 to UTF-16, the form DrawTextW and CreateFontW take: Japanese captions and face names
// draw as themselves whatever the system's code page.
std::wstring toWide(const std::string& utf8);

class GdiSurface : public Surface {
 public:
  // `dpi` sizes the fonts; 0 takes the DC's own (a memory DC keeps the system's DPI even on
  // a monitor of another one).
  GdiSurface(HDC dc, int width, int height, HWND window = nullptr, int dpi = 0);
  ~GdiSurface() override;
  GdiSurface(const GdiSurface&) = delete;
  GdiSurface& operator=(const GdiSurface&) = delete;

  int width() const override { return width_; }
  int height() const override { return height_; }
  Colour sysColour(int index) const override { return GetSysColor(index); }

  void createPen(Colour c) override;
  void deletePen() override;
  void createSolidBrush(Colour c) override;
  void selectHollowBrush() override;
  void deleteBrush() override;

  void rectangle(int left, int top, int right, int bottom) override;
  void roundRect(int left, int top, int right, int bottom, int ellipseW, int ellipseH) override;
  Colour getPixel(int x, int y) const override { return GetPixel(dc_, x, y); }
  void setPixelV(int x, int y, Colour c) override { SetPixelV(dc_, x, y, translate(c)); }
  Colour setPixel(int x, int y, Colour c) override { return SetPixel(dc_, x, y, translate(c)); }
  void moveToEx(int x, int y) override { MoveToEx(dc_, x, y, nullptr); }
  void lineTo(int x, int y) override { LineTo(dc_, x, y); }
  void fillRect(const Rect& r, Colour c) override;

  void selectFont(const FontSpec& font) override;
  void setTextColour(Colour c) override { SetTextColor(dc_, translate(c)); }
  void drawText(const std::string& text, const Rect& r, unsigned flags) override;
  void drawFocusRect(const Rect& r) override;
  void setWindowRoundRgn(int left, int top, int right, int bottom, int ellipseW, int ellipseH) override;

 private:
  void replace(HGDIOBJ object, HGDIOBJ& original, HGDIOBJ& ours);

  HDC dc_;
  int width_, height_;
  HWND window_;
  int dpi_;
  HGDIOBJ originalPen_ = nullptr, ourPen_ = nullptr;
  HGDIOBJ originalBrush_ = nullptr, ourBrush_ = nullptr;
  HGDIOBJ originalFont_ = nullptr, ourFont_ = nullptr;
};

}  // namespace controls
