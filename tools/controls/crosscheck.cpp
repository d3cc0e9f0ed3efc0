// Cross-check of the raster surface against real GDI: reads the looks that the Windows
// test program painted with GDI (one BMP per look plus the system colours it saw), paints
// the same looks on the raster surface and compares every pixel the raster marks exact.
//
//   gfcontrols_crosscheck DIR     exit 0 when every compared pixel agrees
#include <cstdio>
#include <fstream>
#include <string>

#include "bmp_io.h"
#include "looks_catalogue.h"
#include "raster_surface.h"

using namespace controls;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: gfcontrols_crosscheck DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  std::ifstream sys(dir + "/syscolours.txt");
  int index = 0;
  unsigned long value = 0;
  std::vector<std::pair<int, Colour>> sysColours;
  while (sys >> index >> value) sysColours.push_back({index, Colour(value)});
  if (sysColours.empty()) {
    std::fprintf(stderr, "no syscolours.txt in %s\n", dir.c_str());
    return 2;
  }

  long comparedTotal = 0, differingTotal = 0, unsureTotal = 0;
  int missing = 0;
  for (const Scene& scene : looksCatalogue()) {
    Picture gdi;
    if (!readBmp(dir + "/" + scene.name + ".bmp", gdi) || gdi.width != scene.width || gdi.height != scene.height) {
      std::printf("%-24s missing or wrong size\n", scene.name.c_str());
      ++missing;
      continue;
    }
    RasterSurface raster(scene.width, scene.height);
    for (const auto& sc : sysColours) raster.setSysColour(sc.first, sc.second);
    scene.paint(raster);

    Picture ours{scene.width, scene.height, {}};
    long compared = 0, differing = 0, unsure = 0;
    int firstX = -1, firstY = -1;
    for (int y = 0; y < scene.height; ++y) {
      for (int x = 0; x < scene.width; ++x) {
        ours.pixels.push_back(raster.at(x, y));
        if (!raster.exact(x, y)) {
          ++unsure;
          continue;
        }
        ++compared;
        if (raster.at(x, y) != gdi.pixels[std::size_t(y) * scene.width + x]) {
          if (differing++ == 0) {
            firstX = x;
            firstY = y;
          }
        }
      }
    }
    writeBmp(dir + "/" + scene.name + ".raster.bmp", ours);
    std::printf("%-24s compared %6ld  unsure %5ld  differing %ld", scene.name.c_str(), compared, unsure, differing);
    if (differing) {
      const Colour g = gdi.pixels[std::size_t(firstY) * scene.width + firstX];
      std::printf("  first (%d,%d) gdi %06X raster %06X", firstX, firstY, unsigned(g), unsigned(raster.at(firstX, firstY)));
    }
    std::printf("\n");
    comparedTotal += compared;
    differingTotal += differing;
    unsureTotal += unsure;
  }
  // The corner smoothing on GDI's own rounded rings.
  for (const SmoothingCase& c : smoothingCases()) {
    Picture rings, smoothed;
    const int w = c.look.width, h = c.look.height;
    if (!readBmp(dir + "/" + c.name + "_rings.bmp", rings) || !readBmp(dir + "/" + c.name + "_smoothed.bmp", smoothed) ||
        rings.width != w || rings.height != h || smoothed.width != w || smoothed.height != h) {
      std::printf("%-24s missing or wrong size\n", c.name.c_str());
      ++missing;
      continue;
    }
    RasterSurface raster(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) raster.setPixelV(x, y, rings.pixels[std::size_t(y) * w + x]);
    smoothShadowCorners(raster, c.look.background, w, h, c.look.cornerDepth, c.look.shadowDepth);
    long differing = 0, changed = 0;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const std::size_t i = std::size_t(y) * w + x;
        differing += raster.at(x, y) != smoothed.pixels[i];
        changed += smoothed.pixels[i] != rings.pixels[i];
      }
    }
    std::printf("%-24s compared %6d  smoothed by GDI %4ld  differing %ld\n", c.name.c_str(), w * h, changed, differing);
    comparedTotal += long(w) * h;
    differingTotal += differing;
  }
  std::printf("TOTAL compared %ld unsure %ld differing %ld missing %d\n", comparedTotal, unsureTotal,
              differingTotal, missing);
  return differingTotal == 0 && missing == 0 && comparedTotal > 0 ? 0 : 1;
}
