// POSIX side of the native program's benchmark builds: the process CPU clock and the report's
// place (GLASSFALL_BENCH_REPORT; no report without it). GLASSFALL_BENCH_SKIPS leaves frames
// equal to the last drawn one out (1, as the product) or draws every frame (0).
// GLASSFALL_BENCH_STEPS names a file for the start-up's milestones on the wall clock, so that a
// script that started the program can line them up with its own clock (tools/bench_startup.py).
#include <chrono>
#include <cstdlib>

#include "frame_report.h"
#include "posix_clock.h"
#include "startup_steps.h"

namespace {

double wallSeconds() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

class BenchHooks : public FrameReport {
 public:
  using FrameReport::FrameReport;
  void onStartupStep(const char* step) override {
    if (path_) steps_.record(step);
  }

 private:
  const char* path_ = std::getenv("GLASSFALL_BENCH_STEPS");
  StartupSteps steps_{wallSeconds, path_ ? path_ : "", "first frame"};
};

}  // namespace

LoopHooks& loopHooks() {
  const char* path = std::getenv("GLASSFALL_BENCH_REPORT");
  static BenchHooks report(true, processCpuSeconds, path ? path : "", GLASSFALL_BENCH_SKIPS != 0);
  return report;
}
