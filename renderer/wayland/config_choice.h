// Which of the EGL configurations the driver offers the overlay draws with: plain 8-bit colour
// without alpha where there is one. EGL lists the deepest colour first (10-bit XRGB2101010 on
// Mesa), which not every compositor can show (weston's pixman renderer shows nothing of it), and
// an alpha channel would let the cleared black show what is behind the surface.
#pragma once

#include <cstddef>
#include <vector>

struct ConfigColour {
  int red = 0, green = 0, blue = 0, alpha = 0;
};

// The index of the configuration to use among `offered` (in the driver's order), 0 for none better.
inline std::size_t preferredConfig(const std::vector<ConfigColour>& offered) {
  auto rank = [](const ConfigColour& c) {
    const bool eightBit = c.red == 8 && c.green == 8 && c.blue == 8;
    return (eightBit ? 2 : 0) + (c.alpha == 0 ? 1 : 0);
  };
  std::size_t best = 0;
  for (std::size_t i = 1; i < offered.size(); ++i)
    if (rank(offered[i]) > rank(offered[best])) best = i;
  return best;
}
