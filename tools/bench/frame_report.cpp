#include "frame_report.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "frame_loop.h"

unsigned cutsNamed(const char* names) {
  if (!names) return kProductCuts;
  unsigned cuts = 0;
  const struct { const char* name; unsigned bit; } known[] = {
      {"pieces", kCutPieces}, {"scissor", kCutScissor}, {"present", kCutPresent}};
  for (const char* at = names; *at;) {
    const std::size_t length = std::strcspn(at, ",");
    for (const auto& k : known)
      if (std::strlen(k.name) == length && std::strncmp(at, k.name, length) == 0) cuts |= k.bit;
    at += length;
    if (*at == ',') ++at;
  }
  return cuts;
}

FrameReport::FrameReport(bool paced, double (*cpuSeconds)(), std::string path, bool skipsEqualFrames)
    : paced_(paced), skipsEqualFrames_(skipsEqualFrames), cuts_(cutsNamed(std::getenv("GLASSFALL_BENCH_CUTS"))),
      cpuSeconds_(cpuSeconds), path_(std::move(path)) {}

void FrameReport::onFrameShown(std::int64_t counter) {
  if (frames_++ == 0) {
    firstCounter_ = counter;
    firstCpu_ = cpuSeconds_();
    firstDrawn_ = framesDrawn;
  }
  lastCounter_ = counter;
  lastCpu_ = cpuSeconds_();
  lastDrawn_ = framesDrawn;
}

void FrameReport::onLoopEnd() {
  const double wall = double(lastCounter_ - firstCounter_) / double(counterFrequency);
  if (FILE* out = std::fopen(path_.c_str(), "w")) {
    std::fprintf(out, "frames %lld\ndrawn %lld\nwall %.4f\ncpu %.4f\n", frames_ > 0 ? frames_ - 1 : 0,
                 static_cast<long long>(lastDrawn_ - firstDrawn_), wall, lastCpu_ - firstCpu_);
    std::fclose(out);
  }
}
