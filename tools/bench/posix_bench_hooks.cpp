// POSIX side of the native program's benchmark builds: the process CPU clock and the report's
// place (GLASSFALL_BENCH_REPORT; no report without it). GLASSFALL_BENCH_SKIPS leaves frames
// equal to the last drawn one out (1, as the product) or draws every frame (0).
#include <cstdlib>

#include "frame_report.h"
#include "posix_clock.h"

LoopHooks& loopHooks() {
  const char* path = std::getenv("GLASSFALL_BENCH_REPORT");
  static FrameReport report(true, processCpuSeconds, path ? path : "", GLASSFALL_BENCH_SKIPS != 0);
  return report;
}
