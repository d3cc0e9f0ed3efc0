// Colour arithmetic of the dialog controls: 0x00BBGGRR values, system-colour references,
// the channel split and the stepwise blend the shadow rings are made of.
#pragma once

#include <cstdint>

namespace controls {

using Colour = std::uint32_t;  // 0x00BBGGRR; top bit set: system colour, index in the low byte

constexpr Colour kClrInvalid = 0xFFFFFFFFu;  // what GetPixel answers outside the surface

constexpr bool isSystemColour(Colour c) { return (c & 0x80000000u) != 0; }
constexpr Colour rgb(int r, int g, int b) { return Colour(r) | (Colour(g) << 8) | (Colour(b) << 16); }
// Colours written as #RRGGBB in tables.
constexpr Colour hex(std::uint32_t rrggbb) {
  return rgb(int((rrggbb >> 16) & 255), int((rrggbb >> 8) & 255), int(rrggbb & 255));
}

struct Channels {
  int red, green, blue;
};

// Splits c taken as a signed 32-bit number with truncating division, so a system-colour
// reference splits into small odd channels rather than its low bytes.
Channels splitColour(Colour c);
// Per channel: A - (d / steps) * step, the quotient truncated before the multiplication.
// steps must not be 0.
Colour blendColour(Colour a, Colour b, int steps, int step);
Colour fromChannels(int red, int green, int blue);

// Nearest integer, halves to even.
long roundHalfEven(double v);
// Twips to pixels: the extent rounded to an integer first, then divided and rounded again.
int pixelsFromTwips(double twips, double twipsPerPixel);

}  // namespace controls
