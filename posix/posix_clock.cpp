#include "posix_clock.h"

#include <time.h>

std::int64_t monotonicNow() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return std::int64_t(t.tv_sec) * kNanosecondsPerSecond + t.tv_nsec;
}

double processCpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
