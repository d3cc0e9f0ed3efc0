#include "frame_report.h"

#include <cstdio>
#include <utility>

#include "frame_loop.h"

FrameReport::FrameReport(bool paced, double (*cpuSeconds)(), std::string path)
    : paced_(paced), cpuSeconds_(cpuSeconds), path_(std::move(path)) {}

void FrameReport::onFrameShown(std::int64_t counter) {
  if (frames_++ == 0) {
    firstCounter_ = counter;
    firstCpu_ = cpuSeconds_();
  }
  lastCounter_ = counter;
  lastCpu_ = cpuSeconds_();
}

void FrameReport::onLoopEnd() {
  const double wall = double(lastCounter_ - firstCounter_) / double(counterFrequency);
  if (FILE* out = std::fopen(path_.c_str(), "w")) {
    std::fprintf(out, "frames %lld\nwall %.4f\ncpu %.4f\n", frames_ > 0 ? frames_ - 1 : 0, wall,
                 lastCpu_ - firstCpu_);
    std::fclose(out);
  }
}
