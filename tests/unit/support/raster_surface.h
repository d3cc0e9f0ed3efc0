// A drawing surface held in memory, for tests and the GDI cross-check.
//  [x] Rectangle, FillRect, axis-parallel MoveToEx/LineTo, SetPixel(V), GetPixel: exactly as GDI
//      (end point not drawn, right/bottom exclusive, CLR_INVALID outside)
//  [x] RoundRect: straight parts exact; the corner boxes are painted square and marked unsure
//  [ ] text, focus rectangle, window region: recorded only; their area is marked unsure
//
// Every pixel carries an "exact" mark: cleared where the surface cannot know what GDI
// would paint, and passed on when a pixel is computed from unsure ones, so a comparison
// with real GDI can be restricted to the pixels that must agree.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "surface.h"

namespace controls {

struct RasterCall {
  std::string op;  // "RoundRect", "DrawText", "DrawFocusRect", "SetWindowRgn"
  Rect r{};
  int ellipseW = 0, ellipseH = 0;
  Colour pen = 0, brush = 0;
  bool hollow = false;
  std::string text;
  unsigned flags = 0;
  Colour textColour = 0;
  FontSpec font;
};

class RasterSurface : public Surface {
 public:
  RasterSurface(int width, int height, Colour fill = 0);

  int width() const override { return width_; }
  int height() const override { return height_; }
  Colour sysColour(int index) const override;
  void setSysColour(int index, Colour c);

  void createPen(Colour c) override;
  void deletePen() override;
  void createSolidBrush(Colour c) override;
  void selectHollowBrush() override;
  void deleteBrush() override;

  void rectangle(int left, int top, int right, int bottom) override;
  void roundRect(int left, int top, int right, int bottom, int ellipseW, int ellipseH) override;
  Colour getPixel(int x, int y) const override;
  void setPixelV(int x, int y, Colour c) override;
  Colour setPixel(int x, int y, Colour c) override;
  void moveToEx(int x, int y) override;
  void lineTo(int x, int y) override;
  void fillRect(const Rect& r, Colour c) override;

  void selectFont(const FontSpec& font) override { font_ = font; }
  void setTextColour(Colour c) override { textColour_ = c; }
  void drawText(const std::string& text, const Rect& r, unsigned flags) override;
  void drawFocusRect(const Rect& r) override;
  void setWindowRoundRgn(int left, int top, int right, int bottom, int ellipseW, int ellipseH) override;

  // Test-side access.
  Colour at(int x, int y) const { return pixels_[std::size_t(y) * width_ + x]; }
  bool exact(int x, int y) const { return exact_[std::size_t(y) * width_ + x] != 0; }
  const std::vector<RasterCall>& calls() const { return calls_; }
  void clearCalls() { calls_.clear(); }
  bool penIsOurs() const { return ownPen_; }
  bool brushIsOurs() const { return ownBrush_; }

 private:
  bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width_ && y < height_; }
  void plot(int x, int y, Colour c, bool isExact = true);
  void markUnsure(int left, int top, int right, int bottom);
  void frameAndFill(int left, int top, int right, int bottom);
  void record(const std::string& op, const Rect& r, int ew = 0, int eh = 0);

  int width_, height_;
  std::vector<Colour> pixels_;
  std::vector<unsigned char> exact_;
  std::array<Colour, 31> sys_{};
  Colour pen_ = 0;            // stock black pen
  Colour brush_ = 0xFFFFFF;   // stock white brush
  bool hollow_ = false;
  bool ownPen_ = false, ownBrush_ = false;
  int curX_ = 0, curY_ = 0;
  // Pixels read since the last SetPixel(V): a pixel set from values read off the surface
  // is only as sure as those values (from the last read of the pixel itself onward).
  struct Read {
    int x, y;
    bool exact;
  };
  mutable std::vector<Read> reads_;
  bool sureFromReads(int x, int y);
  Colour textColour_ = 0;
  FontSpec font_{"System", 10, 400, 0};
  std::vector<RasterCall> calls_;
};

}  // namespace controls
