// CPU of one picture's cycle (401 frames at 60 frames/s: the stand, the break, the fall, the
// screen emptying) drawn on a headless EGL pbuffer, with each of the frame's cuts alone, all and
// none, in the same rounds (medians), so that a busy machine slows all alike. The back buffer
// holds the last frame, as under a copying present; presents are not part of it (the programs'
// benchmarks measure those). Frames equal to the last drawn are left out, as in the product.
//
//   cuts_bench [ROUNDS] [WxH ...]   (default 5 rounds; 1024x768 1920x1080 3840x2160)
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "egl_headless.h"
#include "first_texture.h"
#include "frame_loop.h"
#include "gl_api.h"
#include "loop_hooks.h"
#include "scene.h"

namespace {

double processSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::time_t pinnedSecond() { return 1760000000; }

// One cycle with the cuts `cuts`, the scissor only where the part drawn is at most `largest` of
// the window; CPU seconds, and the share of the window cleared and drawn per frame.
double cycle(unsigned cuts, double largest, double& drawnShare) {
  elapsedTime = 0;
  frameTime = 1.0f / 60;
  resetScene();
  DamageTracker tracker;
  double area = 0;
  glFinish();
  const double start = processSeconds();
  for (int frame = 0; frame < kFramesPerRestart; ++frame) {
    elapsedTime += frameTime;
    advanceScene();
    if (sceneLooksAsLastDrawn()) continue;
    const ScreenRect bounds = sceneOnScreen();
    ScreenRect region = (cuts & kCutScissor) ? tracker.drawRegion(bounds, 1) : kEverywhere;
    if (double(region.width()) * region.height() > largest * screenWidth * screenHeight) region = kEverywhere;
    drawScene(region, (cuts & kCutPieces) != 0);
    tracker.shown(bounds);
    glFinish();
    area += region == kEverywhere ? 1.0 : double(region.width()) * region.height() / (screenWidth * screenHeight);
  }
  drawnShare = area / kFramesPerRestart;
  return processSeconds() - start;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  std::vector<std::pair<int, int>> sizes;
  for (int i = 2; i < argc; ++i) {
    int w = 0, h = 0;
    if (std::sscanf(argv[i], "%dx%d", &w, &h) == 2 && w > 0 && h > 0) sizes.emplace_back(w, h);
  }
  if (sizes.empty()) sizes = {{1024, 768}, {1920, 1080}, {3840, 2160}};
  sceneCalendarTime = pinnedSecond;
  const struct { const char* name; unsigned cuts; double largest; } variants[] = {
      {"none", 0, 1}, {"pieces", kCutPieces, 1}, {"scissor", kCutScissor, 1}, {"scissor<=50%", kCutScissor, 0.5},
      {"scissor<=25%", kCutScissor, 0.25}, {"all", kCutPieces | kCutScissor, 1}};
  constexpr int kVariants = int(sizeof variants / sizeof variants[0]);
  std::printf("CPU per cycle of %d frames (medians of %d rounds), share of the window cleared and drawn\n",
              kFramesPerRestart, rounds);
  for (const auto& size : sizes) {
    HeadlessGl gl;
    if (!gl.open(size.first, size.second)) {
      std::fprintf(stderr, "no headless GL pbuffer %dx%d (EGL)\n", size.first, size.second);
      return 1;
    }
    const std::vector<unsigned char> rows = bench::pictureRows(size.first, size.second);
    const PictureRows picture{size.first, size.second, rows.data()};
    usePictureFromMemory(&picture);
    screenWidth = size.first;
    screenHeight = size.second;
    std::vector<double> times[kVariants];
    double share[kVariants] = {};
    for (int round = -1; round < rounds; ++round)  // round -1 builds the texture and warms caches
      for (int v = 0; v < kVariants; ++v) {
        const double t = cycle(variants[v].cuts, variants[v].largest, share[v]);
        if (round >= 0) times[v].push_back(t);
      }
    for (int v = 0; v < kVariants; ++v) {
      std::sort(times[v].begin(), times[v].end());
      const double median = times[v][times[v].size() / 2];
      std::printf("%dx%d cuts %-12s %7.1f ms CPU a cycle (%.2f ms a frame, %.2fx of none), %3.0f%% drawn\n",
                  size.first, size.second, variants[v].name, median * 1e3, median * 1e3 / kFramesPerRestart,
                  median / times[0][times[0].size() / 2], share[v] * 100);
    }
    std::fflush(stdout);
    usePictureFromMemory(nullptr);
    snapshotTexture.release();
  }
  return 0;
}
