// Named looks of both controls, painted the same way on any surface: the GDI cross-check
// paints each with real GDI under Windows and with the raster surface, and compares.
#pragma once

#include <string>
#include <vector>

#include "surface.h"

namespace controls {

struct Scene {
  std::string name;
  int width, height;
  void (*paint)(Surface&);
};

const std::vector<Scene>& looksCatalogue();

}  // namespace controls
