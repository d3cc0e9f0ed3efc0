// Loop hooks of the renderer benchmark builds: frames, wall and CPU seconds from the first
// shown frame to the last, written to a small text file when the loop ends (start-up and
// shutdown stay out of the figures). The platform gives the CPU clock and the file's path.
#pragma once

#include <cstdint>
#include <string>

#include "loop_hooks.h"

// The FrameCut bits a comma-separated list names ("pieces,scissor,present"; "none": no cut);
// no list: the product's cuts.
unsigned cutsNamed(const char* names);

class FrameReport : public LoopHooks {
 public:
  // `cpuSeconds` reads the process's user + kernel time so far.
  FrameReport(bool paced, double (*cpuSeconds)(), std::string path, bool skipsEqualFrames = true);

  bool paced() const override { return paced_; }
  bool skipsEqualFrames() const override { return skipsEqualFrames_; }
  // GLASSFALL_BENCH_CUTS, read once (see cutsNamed).
  unsigned cuts() const override { return cuts_; }
  void onFrameShown(std::int64_t counter) override;
  // Writes "frames N\ndrawn D\nwall S\ncpu S\n": N frame intervals over S seconds on the frame
  // clock, D of those frames drawn (the others equal to the last drawn one).
  void onLoopEnd() override;

 private:
  bool paced_;
  bool skipsEqualFrames_;
  unsigned cuts_;
  double (*cpuSeconds_)();
  std::string path_;
  long long frames_ = 0;
  std::int64_t firstCounter_ = 0, lastCounter_ = 0;
  double firstCpu_ = 0, lastCpu_ = 0;
  std::int64_t firstDrawn_ = 0, lastDrawn_ = 0;
};
