// Window layout is in twips (1/1440 inch), drawing in pixels; the factor follows the real DPI.
#pragma once

const int kTwipsPerInch = 1440;

inline double twipsPerPixel(int dpi) { return dpi > 0 ? double(kTwipsPerInch) / dpi : 15.0; }
// Whole pixels for a length in twips, rounded to the nearest.
inline int twipsToPixels(int twips, int dpi) {
  const double pixels = twips / twipsPerPixel(dpi);
  return int(pixels < 0 ? pixels - 0.5 : pixels + 0.5);
}
inline int pixelsToTwips(int pixels, int dpi) {
  const double twips = pixels * twipsPerPixel(dpi);
  return int(twips < 0 ? twips - 0.5 : twips + 0.5);
}
