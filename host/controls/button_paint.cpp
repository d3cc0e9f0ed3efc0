#include "button_paint.h"

#include <cstdint>

namespace controls {

namespace {

ButtonColours look(std::uint32_t border, std::uint32_t flat, std::uint32_t top, std::uint32_t bottom,
                   std::uint32_t rim1, std::uint32_t rim2, std::uint32_t rimH3, std::uint32_t rimH2,
                   std::uint32_t f, std::uint32_t n, std::uint32_t d) {
  return {hex(border), hex(flat), hex(top), hex(bottom), hex(rim1), hex(rim2),
          hex(rimH3), hex(rimH2), hex(f), hex(n), hex(d)};
}

const ButtonColours kTables[5] = {
    look(0xC9C7BA, 0xF5F4EA, 0, 0, 0, 0, 0, 0, 0xC4B18C, 0xCEC7BD, 0xC4B18C),
    look(0x003C74, 0, 0xFCFCFB, 0xECEBE6, 0xFFFFFF, 0xFEFEFE, 0xE2DFD6, 0xD6D0C5, 0x215584, 0x7B96AD, 0x527DA5),
    look(0x003C74, 0, 0xBDD3F7, 0x8CAEE7, 0xCEE7FF, 0xBDD7F7, 0x8CAEE7, 0x6B82EF, 0x215584, 0x7B96AD, 0x527DA5),
    look(0x003C74, 0, 0xE1DF9C, 0xFFB630, 0xFFF3CE, 0xFFDB8C, 0xFFB231, 0xE69600, 0x215584, 0x7B96AD, 0x527DA5),
    look(0x003C74, 0xE7E3DE, 0, 0, 0, 0, 0, 0, 0x215584, 0x7B96AD, 0x527DA5),
};

}  // namespace

const ButtonColours& buttonColours(int s) { return kTables[s >= 0 && s <= 4 ? s : 1]; }

void DrawLine(Surface& s, int x1, int y1, int x2, int y2, Colour c) {
  s.createPen(c);
  s.moveToEx(x1, y1);
  s.lineTo(x2, y2);
  s.deletePen();
}

void FillSolid(Surface& s, const Rect& r, Colour c) { s.fillRect(r, c); }

void FillGradient(Surface& s, const Rect& r, Colour a, Colour b) {
  const int n = r.bottom - r.top;
  if (n == 0) return;
  auto split = [](Colour c) {
    const std::int32_t v = std::int32_t(c);
    return Channels{int(v & 255), int((v / 256) & 255), int((v & 0xFF0000) / 65536)};
  };
  const Channels ca = split(a), cb = split(b);
  // The steps are kept in single precision; the products are then formed exactly.
  const float stepR = float(double(ca.red - cb.red) / n);
  const float stepG = float(double(ca.green - cb.green) / n);
  const float stepB = float(double(ca.blue - cb.blue) / n);
  for (int i = 0; i <= n; ++i) {
    const int y = r.top + n - i;
    const int red = int(roundHalfEven(double(stepR) * i + cb.red));
    const int green = int(roundHalfEven(double(stepG) * i + cb.green));
    const int blue = int(roundHalfEven(double(stepB) * i + cb.blue));
    DrawLine(s, r.left, y, r.right, y, fromChannels(red, green, blue));
  }
}

void paintButtonFace(Surface& s, int look, Colour background) {
  const ButtonColours& c = buttonColours(look);
  const int w = s.width(), h = s.height();
  s.clear(background);

  DrawLine(s, 3, 0, w - 3, 0, c.border);
  DrawLine(s, 0, 3, 0, h - 3, c.border);
  DrawLine(s, 3, h - 1, w - 3, h - 1, c.border);
  DrawLine(s, w - 1, 3, w - 1, h - 3, c.border);

  if (look == kDisabled || look == kPressed) {
    FillSolid(s, {1, 1, w - 1, h - 1}, c.flatFace);
  } else {
    FillGradient(s, {1, 3, w - 1, h - 2}, c.gradientTop, c.gradientBottom);
    FillGradient(s, {3, 3, w - 3, h - 3}, kInnerFaceTop, kInnerFaceBottom);
    DrawLine(s, 1, 1, w, 1, c.rim1);
    DrawLine(s, 1, 2, w, 2, c.rim2);
    DrawLine(s, 1, h - 3, w, h - 3, c.rimH3);
    DrawLine(s, 2, h - 2, w - 1, h - 2, c.rimH2);
  }

  const struct {
    int x, y;
    Colour colour;
  } corners[] = {
      {0, 1, c.cornerN},         {0, 2, c.cornerF},         {1, 0, c.cornerN},         {1, 1, c.cornerD},
      {2, 0, c.cornerF},         {w - 1, 1, c.cornerN},     {w - 1, 2, c.cornerF},     {w - 2, 0, c.cornerN},
      {w - 2, 1, c.cornerD},     {w - 3, 0, c.cornerF},     {0, h - 2, c.cornerN},     {0, h - 3, c.cornerF},
      {1, h - 1, c.cornerN},     {1, h - 2, c.cornerD},     {2, h - 1, c.cornerF},     {w - 1, h - 2, c.cornerN},
      {w - 1, h - 3, c.cornerF}, {w - 2, h - 1, c.cornerN}, {w - 2, h - 2, c.cornerD}, {w - 3, h - 1, c.cornerF},
  };
  for (const auto& p : corners) s.setPixel(p.x, p.y, p.colour);

  s.setWindowRoundRgn(0, 0, w + 1, h + 1, 3, 3);
}

Rect captionRect(const Surface& s) { return {3, 3, s.width() - 3, s.height() - 3}; }

void paintButtonCaption(Surface& s, const CaptionLook& c) {
  const Rect r = captionRect(s);
  s.selectFont(c.font);
  s.setTextColour(c.enabled ? c.foreColor : kDisabledText);
  s.drawText(c.caption, r, kDtSingleLine | kDtVCenter | kDtCenter);
  if (c.focusMark) {
    s.setTextColour(0);
    s.drawFocusRect(r);
  }
}

}  // namespace controls
