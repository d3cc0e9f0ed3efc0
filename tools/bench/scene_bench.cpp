// CPU cost of the scene update alone: renderFrame over a full table of 100 pieces, with the
// GL entry points reduced to no-ops. Prints nanoseconds per frame.
#include <chrono>
#include <cstdio>

#include "frame_loop.h"
#include "gl_recorder.h"
#include "scene.h"

int main() {
  glrec::setRecording(false);
  screenWidth = 1920;
  screenHeight = 1080;
  startClock(1000000, 0);
  resetScene();
  std::int64_t counter = 0;
  // Into the full table first (cuts at 1.4 s and 2.8 s).
  while (pieceCount < kMaxPieces) paintFrame(counter += 16667);

  const int frames = 200000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < frames; ++i) {
    paintFrame(counter += 16667);
    if (elapsedTime - lastCutTime > 1.0f) lastCutTime = elapsedTime;  // stay at 100 pieces, no reset
  }
  const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
  std::printf("scene update + draw calls (no GL), %d pieces: %.0f ns/frame over %d frames\n", pieceCount,
              ns / frames, frames);
  return 0;
}
