#include "frame.h"

#include <algorithm>

namespace controls {

namespace {

void outline(Surface& s, std::int32_t style, int left, int top, int right, int bottom, int corner) {
  if (style == 1) s.rectangle(left, top, right, bottom);
  else s.roundRect(left, top, right, bottom, corner, corner);
}

void body(Surface& s, const FrameLook& look, int right, int bottom) {
  s.createSolidBrush(look.fillColour);
  s.createPen(look.borderColour);
  outline(s, look.frameStyle, 0, 0, right, bottom, look.cornerDepth);
  s.deletePen();
  s.deleteBrush();
}

}  // namespace

void smoothShadowCorners(Surface& s, Colour background, int width, int height, int cornerDepth,
                         int shadowDepth) {
  const int cd = cornerDepth, sd = shadowDepth;
  struct Region {
    int x0, x1, y0, y1;
  };
  const Region regions[] = {
      {width - 2 * cd, width - 3, height - 2 * cd, height - 3},
      {width - 2 * cd, width - 3, sd, 4 * sd},
      {sd, 4 * sd, height - 2 * cd, height - 3},
  };
  for (const Region& r : regions) {
    for (int x = r.x0; x <= r.x1; ++x) {
      for (int y = r.y0; y <= r.y1; ++y) {
        if (s.getPixel(x, y) != background) continue;
        const Channels n[] = {splitColour(s.getPixel(x, y - 1)), splitColour(s.getPixel(x + 1, y)),
                              splitColour(s.getPixel(x, y + 1)), splitColour(s.getPixel(x - 1, y))};
        auto average = [&](int Channels::*c) {
          return int(roundHalfEven((n[0].*c + n[1].*c + n[2].*c + n[3].*c) / 4.0));
        };
        s.setPixelV(x, y, fromChannels(average(&Channels::red), average(&Channels::green),
                                       average(&Channels::blue)));
      }
    }
  }
}

int drawBackgroundAndRings(Surface& s, const FrameLook& look) {
  s.clear(look.background);
  const int w = look.width, h = look.height;
  const Colour shadow = blendColour(0x000000, look.background, 100, 100 - look.shadowOpacity);
  // A stored depth of 0 would divide by zero in the ring blend; the setter's minimum is
  // the nearest depth the control can show.
  const int sd = look.shadowDepth == 0 ? 2 : look.shadowDepth;
  s.selectHollowBrush();
  for (int i = 0; i <= sd; ++i) {
    s.createPen(blendColour(shadow, look.background, sd, i));
    outline(s, look.frameStyle, 2 * sd - i, 2 * sd - i, w - sd + i, h - sd + i, look.cornerDepth);
  }
  s.deletePen();
  s.deleteBrush();
  return sd;
}

void drawFrame(Surface& s, const FrameLook& look) {
  if ((look.frameStyle != 0 && look.frameStyle != 1) || !look.showShadow) {
    s.clear(look.background);
    if (look.frameStyle == 0 || look.frameStyle == 1) body(s, look, look.width, look.height);
    return;
  }
  const int sd = drawBackgroundAndRings(s, look);
  const int w = look.width, h = look.height;
  if (look.frameStyle == 0) smoothShadowCorners(s, look.background, w, h, look.cornerDepth, sd);
  body(s, look, w - sd, h - sd);
}

// --------------------------------------------------------------------------- control

void FrameControl::initProperties() {
  frameStyle_ = 1;
  shadowOpacity_ = 50;
  showShadow_ = kTrue;
  shadowDepth_ = 5;
  fillColour_ = site_.ambientBackColour();
  backColour_ = site_.ambientBackColour();
  backColourIs_ = 0;
  borderColour_ = 0;
  cornerDepth_ = 10;
}

void FrameControl::readProperties(const PropertyStore& store) {
  const long ambient = long(std::int32_t(site_.ambientBackColour()));
  frameStyle_ = std::int32_t(store.readLong("FrameStyle", 1));
  shadowOpacity_ = std::int16_t(store.readLong("ShadowOpacity", 50));
  showShadow_ = std::int16_t(store.readLong("ShowShadow", kTrue));
  shadowDepth_ = std::int16_t(store.readLong("ShadowDepth", 5));
  fillColour_ = Colour(std::int32_t(store.readLong("FillColour", ambient)));
  backColour_ = Colour(std::int32_t(store.readLong("BackColour", ambient)));
  backColourIs_ = std::int32_t(store.readLong("BackColourIs", 0));
  borderColour_ = Colour(std::int32_t(store.readLong("BorderColour", 0)));
  cornerDepth_ = std::int16_t(store.readLong("CornerDepth", 10));
  Refresh();
}

void FrameControl::writeProperties(PropertyStore& store) const {
  const long ambient = long(std::int32_t(site_.ambientBackColour()));
  store.writeLong("FrameStyle", frameStyle_, 1);
  store.writeLong("ShadowOpacity", shadowOpacity_, 50);
  store.writeLong("ShowShadow", showShadow_, kTrue);
  store.writeLong("ShadowDepth", shadowDepth_, 5);
  store.writeLong("FillColour", std::int32_t(fillColour_), ambient);
  store.writeLong("BackColour", std::int32_t(backColour_), ambient);
  store.writeLong("BackColourIs", backColourIs_, 0);
  store.writeLong("BorderColour", std::int32_t(borderColour_), 0);
  store.writeLong("CornerDepth", cornerDepth_, 10);
}

FrameLook FrameControl::look() const {
  FrameLook l;
  const double tpp = site_.twipsPerPixelX();
  l.width = pixelsFromTwips(site_.widthTwips(), tpp);
  l.height = pixelsFromTwips(site_.heightTwips(), tpp);
  l.background = backColourIs_ != 0 ? backColour_ : site_.ambientBackColour();
  l.frameStyle = frameStyle_;
  l.shadowOpacity = shadowOpacity_;
  l.showShadow = showShadow_ == kTrue;
  l.shadowDepth = std::int16_t(scaleToDpi(shadowDepth_, site_.dpi()));
  l.cornerDepth = std::int16_t(scaleToDpi(cornerDepth_, site_.dpi()));
  l.fillColour = fillColour_;
  l.borderColour = borderColour_;
  return l;
}

void FrameControl::Refresh() {
  Surface* s = site_.beginDraw();
  if (!s) return;
  drawFrame(*s, look());
  site_.endDraw();
}

void FrameControl::changed(const char* name) {
  site_.propertyChanged(name);
  Refresh();
}

void FrameControl::setFrameStyle(std::int32_t v) {
  frameStyle_ = v;
  changed("FrameStyle");
}
void FrameControl::setShadowOpacity(int v) {
  shadowOpacity_ = std::int16_t(std::clamp(v, 0, 100));
  changed("ShadowOpacity");
}
void FrameControl::setShowShadow(std::int16_t v) {
  showShadow_ = v;
  changed("ShowShadow");
}
void FrameControl::setShadowDepth(int v) {
  shadowDepth_ = std::int16_t(std::clamp(v, 2, 40));
  changed("ShadowDepth");
}
void FrameControl::setFillColour(Colour v) {
  fillColour_ = v;
  changed("FillColour");
}
void FrameControl::setBackColour(Colour v) {
  backColour_ = v;
  changed("BackColour");
}
void FrameControl::setBackColourIs(std::int32_t v) {
  backColourIs_ = v;
  changed("BackColourIs");
}
void FrameControl::setBorderColour(Colour v) {
  borderColour_ = v;
  changed("BorderColour");
}
void FrameControl::setCornerDepth(int v) {
  cornerDepth_ = std::int16_t(std::clamp(v, 0, 50));
  changed("CornerDepth");
}

}  // namespace controls
