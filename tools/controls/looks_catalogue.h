// Named looks of both controls, painted the same way on any surface: the GDI cross-check
// paints each with real GDI under Windows and with the raster surface, and compares.
#pragma once

#include <string>
#include <vector>

#include "frame.h"
#include "surface.h"

namespace controls {

struct Scene {
  std::string name;
  int width, height;
  void (*paint)(Surface&);
};

const std::vector<Scene>& looksCatalogue();

// Rounded frames whose corner smoothing is checked on GDI's own rings: GDI paints the
// background and rings (<name>_rings) and then smooths them (<name>_smoothed); the
// smoothing replayed on the first picture must give the second, pixel for pixel.
struct SmoothingCase {
  std::string name;
  FrameLook look;
};
const std::vector<SmoothingCase>& smoothingCases();

}  // namespace controls
