// Frames per second and processor load, measured over about a second at a time, for the
// frame-rate corner the native program shows with --fps.
#pragma once

#include <string>

class FrameRateMeter {
 public:
  // Counts one shown frame at `seconds` of wall time, the process having used `cpuSeconds`
  // of processor time by then. True when a new measurement is ready.
  bool frameShown(double seconds, double cpuSeconds);

  double framesPerSecond() const { return framesPerSecond_; }
  // Processor time over wall time, in percent of one core.
  int loadPercent() const { return loadPercent_; }
  // "FPS: 59.9" and "Load: 12%", or "FPS: -" before the first measurement.
  std::string rateLine() const;
  std::string loadLine() const;

 private:
  bool started_ = false;
  bool measured_ = false;
  double windowStart_ = 0;
  double cpuStart_ = 0;
  int frames_ = 0;
  double framesPerSecond_ = 0;
  int loadPercent_ = 0;
};
