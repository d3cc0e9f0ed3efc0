// 24-bit Windows bitmap files of 0x00BBGGRR pixels, top row first in memory.
#pragma once

#include <string>
#include <vector>

#include "colour.h"

namespace controls {

struct Picture {
  int width = 0, height = 0;
  std::vector<Colour> pixels;  // row by row from the top
};

bool writeBmp(const std::string& path, const Picture& picture);
bool readBmp(const std::string& path, Picture& picture);

}  // namespace controls
