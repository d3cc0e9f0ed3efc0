// The clocks the native program runs on: monotonic time for the frames, the process's CPU
// time for the frame-rate corner.
#pragma once

#include <cstdint>

constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

std::int64_t monotonicNow();  // nanoseconds
double processCpuSeconds();
