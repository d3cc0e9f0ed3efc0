// Lengths drawn for a 96-DPI screen, at the DPI of the monitor a window stands on. Integer
// arithmetic, so a 96-DPI screen gets exactly the lengths it always had.
#pragma once

namespace controls {

constexpr int kBaseDpi = 96;

// `pixels` at 96 DPI as pixels at `dpi`, rounded to the nearest (halves away from zero);
// a DPI the system does not give (0 or less) counts as 96.
constexpr int scaleToDpi(int pixels, int dpi) {
  const int d = dpi > 0 ? dpi : kBaseDpi;
  const long long scaled = (long long)(pixels < 0 ? -pixels : pixels) * d;
  const int whole = int((scaled + kBaseDpi / 2) / kBaseDpi);
  return pixels < 0 ? -whole : whole;
}

}  // namespace controls
