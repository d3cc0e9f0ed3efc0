#include "frame_rate.h"

#include <cmath>
#include <cstdio>

bool FrameRateMeter::frameShown(double seconds, double cpuSeconds) {
  if (!started_) {
    started_ = true;
    windowStart_ = seconds;
    cpuStart_ = cpuSeconds;
    frames_ = 0;
    return false;
  }
  ++frames_;
  const double wall = seconds - windowStart_;
  if (wall < 1.0) return false;
  framesPerSecond_ = frames_ / wall;
  loadPercent_ = int(std::lround(100.0 * (cpuSeconds - cpuStart_) / wall));
  if (loadPercent_ < 0) loadPercent_ = 0;
  measured_ = true;
  windowStart_ = seconds;
  cpuStart_ = cpuSeconds;
  frames_ = 0;
  return true;
}

std::string FrameRateMeter::rateLine() const {
  if (!measured_) return "FPS: -";
  char line[32];
  std::snprintf(line, sizeof line, "FPS: %.1f", framesPerSecond_);
  return line;
}

std::string FrameRateMeter::loadLine() const {
  if (!measured_) return "Load: -";
  return "Load: " + std::to_string(loadPercent_) + "%";
}
