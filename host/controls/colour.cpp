#include "colour.h"

#include <cmath>

namespace controls {

Channels splitColour(Colour c) {
  const std::int32_t v = std::int32_t(c);
  // C++ division truncates toward zero, which is the rule wanted here.
  return {int(v & 255), int((v / 256) & 255), int((v / 65536) & 255)};
}

Colour fromChannels(int red, int green, int blue) {
  return Colour(std::int32_t(red) + 256 * std::int32_t(green) + 65536 * std::int32_t(blue));
}

Colour blendColour(Colour a, Colour b, int steps, int step) {
  const Channels ca = splitColour(a), cb = splitColour(b);
  auto channel = [&](int x, int y) { return x - ((x - y) / steps) * step; };
  return fromChannels(channel(ca.red, cb.red), channel(ca.green, cb.green), channel(ca.blue, cb.blue));
}

long roundHalfEven(double v) {
  const double f = std::floor(v);
  const double diff = v - f;
  if (diff > 0.5) return long(f) + 1;
  if (diff < 0.5) return long(f);
  const long whole = long(f);
  return (whole % 2 == 0) ? whole : whole + 1;
}

int pixelsFromTwips(double twips, double twipsPerPixel) {
  return int(roundHalfEven(double(roundHalfEven(twips)) / twipsPerPixel));
}

}  // namespace controls
