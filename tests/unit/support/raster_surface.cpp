#include "raster_surface.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace controls {

RasterSurface::RasterSurface(int width, int height, Colour fill)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      pixels_(std::size_t(width_) * height_, fill),
      exact_(std::size_t(width_) * height_, 1) {
  // The classic desktop scheme; tests that care set their own.
  sys_.fill(hex(0x808080));
  sys_[5] = hex(0xFFFFFF);   // window
  sys_[8] = hex(0x000000);   // window text
  sys_[15] = hex(0xD4D0C8);  // button face
  sys_[18] = hex(0x000000);  // button text
}

Colour RasterSurface::sysColour(int index) const {
  return index >= 0 && index < int(sys_.size()) ? sys_[index] : 0;
}

void RasterSurface::setSysColour(int index, Colour c) {
  if (index >= 0 && index < int(sys_.size())) sys_[index] = c;
}

void RasterSurface::createPen(Colour c) {
  pen_ = translate(c);
  ownPen_ = true;
}

void RasterSurface::deletePen() {
  pen_ = 0;
  ownPen_ = false;
}

void RasterSurface::createSolidBrush(Colour c) {
  brush_ = translate(c);
  hollow_ = false;
  ownBrush_ = true;
}

void RasterSurface::selectHollowBrush() {
  hollow_ = true;
  ownBrush_ = false;
}

void RasterSurface::deleteBrush() {
  brush_ = 0xFFFFFF;
  hollow_ = false;
  ownBrush_ = false;
}

void RasterSurface::plot(int x, int y, Colour c, bool isExact) {
  if (!inside(x, y)) return;
  pixels_[std::size_t(y) * width_ + x] = c;
  exact_[std::size_t(y) * width_ + x] = isExact ? 1 : 0;
}

void RasterSurface::markUnsure(int left, int top, int right, int bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  for (int y = std::max(top, 0); y < std::min(bottom, height_); ++y)
    for (int x = std::max(left, 0); x < std::min(right, width_); ++x) exact_[std::size_t(y) * width_ + x] = 0;
}

void RasterSurface::record(const std::string& op, const Rect& r, int ew, int eh) {
  RasterCall call;
  call.op = op;
  call.r = r;
  call.ellipseW = ew;
  call.ellipseH = eh;
  call.pen = pen_;
  call.brush = brush_;
  call.hollow = hollow_;
  call.textColour = textColour_;
  call.font = font_;
  calls_.push_back(call);
}

// GDI's Rectangle with a one-pixel pen: outline on the outermost columns and rows of
// [left, right) x [top, bottom), brush inside it.
void RasterSurface::frameAndFill(int left, int top, int right, int bottom) {
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      const bool edge = x == left || x == right - 1 || y == top || y == bottom - 1;
      if (edge) plot(x, y, pen_);
      else if (!hollow_) plot(x, y, brush_);
    }
  }
}

void RasterSurface::rectangle(int left, int top, int right, int bottom) {
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  // Below two pixels GDI's handling of the outline is not something we reproduce.
  if (right - left < 2 || bottom - top < 2) {
    markUnsure(left, top, right, bottom);
    return;
  }
  frameAndFill(left, top, right, bottom);
}

void RasterSurface::roundRect(int left, int top, int right, int bottom, int ellipseW, int ellipseH) {
  record("RoundRect", {left, top, right, bottom}, ellipseW, ellipseH);
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  const int cw = std::min(std::abs(ellipseW) / 2 + 2, right - left);
  const int ch = std::min(std::abs(ellipseH) / 2 + 2, bottom - top);
  if (right - left < 2 || bottom - top < 2) {
    markUnsure(left, top, right, bottom);
    return;
  }
  frameAndFill(left, top, right, bottom);
  markUnsure(left, top, left + cw, top + ch);
  markUnsure(right - cw, top, right, top + ch);
  markUnsure(left, bottom - ch, left + cw, bottom);
  markUnsure(right - cw, bottom - ch, right, bottom);
}

Colour RasterSurface::getPixel(int x, int y) const {
  if (!inside(x, y)) {
    reads_.push_back({x, y, true});
    return kClrInvalid;
  }
  reads_.push_back({x, y, exact(x, y)});
  return at(x, y);
}

bool RasterSurface::sureFromReads(int x, int y) {
  std::size_t from = 0;
  for (std::size_t i = reads_.size(); i-- > 0;) {
    if (reads_[i].x == x && reads_[i].y == y) {
      from = i;
      break;
    }
  }
  bool sure = true;
  for (std::size_t i = from; i < reads_.size(); ++i) sure = sure && reads_[i].exact;
  reads_.clear();
  return sure;
}

void RasterSurface::setPixelV(int x, int y, Colour c) {
  const bool sure = sureFromReads(x, y);
  plot(x, y, translate(c), sure);
}

Colour RasterSurface::setPixel(int x, int y, Colour c) {
  const bool sure = sureFromReads(x, y);
  if (!inside(x, y)) return kClrInvalid;
  plot(x, y, translate(c), sure);
  return translate(c);
}

void RasterSurface::moveToEx(int x, int y) {
  curX_ = x;
  curY_ = y;
}

void RasterSurface::lineTo(int x, int y) {
  if (y == curY_) {
    const int step = x > curX_ ? 1 : -1;
    for (int px = curX_; px != x; px += step) plot(px, y, pen_);
  } else if (x == curX_) {
    const int step = y > curY_ ? 1 : -1;
    for (int py = curY_; py != y; py += step) plot(x, py, pen_);
  } else {
    // Slanted lines are not drawn by the controls; their pixels are left unsure.
    markUnsure(std::min(curX_, x), std::min(curY_, y), std::max(curX_, x) + 1, std::max(curY_, y) + 1);
  }
  curX_ = x;
  curY_ = y;
}

void RasterSurface::fillRect(const Rect& r, Colour c) {
  if (r.right < r.left || r.bottom < r.top) {
    markUnsure(r.left, r.top, r.right, r.bottom);
    return;
  }
  const Colour fill = translate(c);
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) plot(x, y, fill);
}

void RasterSurface::drawText(const std::string& text, const Rect& r, unsigned flags) {
  record("DrawText", r);
  calls_.back().text = text;
  calls_.back().flags = flags;
  if (!text.empty()) markUnsure(r.left, r.top, r.right, r.bottom);
}

void RasterSurface::drawFocusRect(const Rect& r) {
  record("DrawFocusRect", r);
  markUnsure(r.left, r.top, r.right, r.top + 1);
  markUnsure(r.left, r.bottom - 1, r.right, r.bottom);
  markUnsure(r.left, r.top, r.left + 1, r.bottom);
  markUnsure(r.right - 1, r.top, r.right, r.bottom);
}

void RasterSurface::setWindowRoundRgn(int left, int top, int right, int bottom, int ellipseW, int ellipseH) {
  record("SetWindowRgn", {left, top, right, bottom}, ellipseW, ellipseH);
}

}  // namespace controls
