// The drawing surface the control painters draw on. Its operations are the GDI calls the
// painters make; the Win32 backend forwards them to a device context, the raster surface
// of the tests reproduces the straight-edged ones pixel by pixel.
//
// Colours are passed raw: the surface turns a system-colour reference into the current
// system colour wherever it makes a pen, a brush or a fill from it.
#pragma once

#include <string>

#include "colour.h"

namespace controls {

struct Rect {
  int left, top, right, bottom;  // right and bottom exclusive, as in GDI
};

struct FontSpec {
  std::string name;  // UTF-8
  double points;
  int weight;
  int charset;
  bool operator==(const FontSpec& o) const {
    return name == o.name && points == o.points && weight == o.weight && charset == o.charset;
  }
};

constexpr unsigned kDtCenter = 0x01, kDtVCenter = 0x04, kDtSingleLine = 0x20;

class Surface {
 public:
  virtual ~Surface() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  virtual Colour sysColour(int index) const = 0;  // GetSysColor
  Colour translate(Colour c) const { return isSystemColour(c) ? sysColour(int(c & 0xFF)) : c; }

  // CreatePen(PS_SOLID, 1) and select it; a pen made here earlier is deleted.
  virtual void createPen(Colour c) = 0;
  // Selects the original pen back and deletes ours.
  virtual void deletePen() = 0;
  // CreateSolidBrush and select it; a brush made here earlier is deleted.
  virtual void createSolidBrush(Colour c) = 0;
  virtual void selectHollowBrush() = 0;
  virtual void deleteBrush() = 0;

  virtual void rectangle(int left, int top, int right, int bottom) = 0;
  virtual void roundRect(int left, int top, int right, int bottom, int ellipseW, int ellipseH) = 0;
  virtual Colour getPixel(int x, int y) const = 0;
  virtual void setPixelV(int x, int y, Colour c) = 0;
  virtual Colour setPixel(int x, int y, Colour c) = 0;
  virtual void moveToEx(int x, int y) = 0;
  virtual void lineTo(int x, int y) = 0;
  // CreateSolidBrush, FillRect, DeleteObject.
  virtual void fillRect(const Rect& r, Colour c) = 0;

  // Text is UTF-8 here; the GDI backend draws it through the Unicode form.
  virtual void selectFont(const FontSpec& font) = 0;
  virtual void setTextColour(Colour c) = 0;
  virtual void drawText(const std::string& text, const Rect& r, unsigned flags) = 0;
  virtual void drawFocusRect(const Rect& r) = 0;
  // CreateRoundRectRgn + SetWindowRgn(redraw) on the window the surface belongs to, if any.
  virtual void setWindowRoundRgn(int left, int top, int right, int bottom, int ellipseW, int ellipseH) = 0;

  // The whole surface filled with one colour (the background of a redraw).
  void clear(Colour c) { fillRect({0, 0, width(), height()}, c); }
};

}  // namespace controls
