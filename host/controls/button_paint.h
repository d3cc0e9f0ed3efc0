// The push button's painter: five looks from fixed colour tables, drawn with three small
// helpers (one-pixel line, solid fill, vertical gradient).
#pragma once

#include <string>

#include "colour.h"
#include "surface.h"

namespace controls {

enum Look { kDisabled = 0, kNormal = 1, kFocused = 2, kHot = 3, kPressed = 4 };

struct ButtonColours {
  Colour border, flatFace, gradientTop, gradientBottom, rim1, rim2, rimH3, rimH2, cornerF, cornerN, cornerD;
};

// One entry per look; filled once (entries a look never reads are 0).
const ButtonColours& buttonColours(int look);

constexpr Colour kInnerFaceTop = hex(0xFCFCFB);
constexpr Colour kInnerFaceBottom = hex(0xECEBE6);
constexpr Colour kDisabledText = hex(0xA1A192);

void DrawLine(Surface& s, int x1, int y1, int x2, int y2, Colour c);
void FillSolid(Surface& s, const Rect& r, Colour c);
// Rows from the bottom up; the row at r.top gets a, the row at r.bottom (one below the
// exclusive edge) gets b. A height of 0 draws nothing.
void FillGradient(Surface& s, const Rect& r, Colour a, Colour b);

// Background, border, face, rims and corner pixels of look s, then the window shape.
void paintButtonFace(Surface& s, int look, Colour background);

struct CaptionLook {
  std::string caption;  // UTF-8, ampersands mark the access key
  bool enabled = true;
  Colour foreColor = 0;
  FontSpec font;
  bool focusMark = false;  // focused, FocusRect on, and look Focused, Hot or Pressed
};
// Caption centred on one line, then the dotted focus rectangle if asked for.
void paintButtonCaption(Surface& s, const CaptionLook& c);

Rect captionRect(const Surface& s);

}  // namespace controls
