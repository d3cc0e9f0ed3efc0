// Win32 side of the renderer benchmark builds: the process CPU clock and the report's place.
// GLASSFALL_BENCH_PACED chooses the product's paced loop (1) or an unpaced one (0);
// GLASSFALL_BENCH_SKIPS leaves frames equal to the last drawn one out (1, as the product) or not.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "frame_report.h"
#include "startup_steps.h"
#include "wall_clock.h"

namespace {

// The frame report, plus the start-up milestones from the process's creation on.
class BenchHooks : public FrameReport {
 public:
  using FrameReport::FrameReport;
  void onStartupStep(const char* step) override {
    if (!createdRecorded_) {
      steps_.record("process created", processCreatedSeconds());
      createdRecorded_ = true;
    }
    steps_.record(step);
  }

 private:
  StartupSteps steps_{wallSeconds, "C:\\velk_temp\\renderer_steps.txt", "first frame"};
  bool createdRecorded_ = false;
};

double processCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return double((ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

}  // namespace

LoopHooks& loopHooks() {
  static BenchHooks report(GLASSFALL_BENCH_PACED != 0, processCpuSeconds, "C:\\velk_temp\\bench_report.txt",
                            GLASSFALL_BENCH_SKIPS != 0);
  return report;
}
