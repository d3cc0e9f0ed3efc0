// The wall clock of the benchmark builds' start-up milestones, in seconds since 1970 as the
// benchmark scripts read time.time(), so that several processes' figures line up.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

inline double seconds1970(const FILETIME& t) {
  const ULONGLONG ticks = (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime;  // 100 ns since 1601
  return double(ticks) / 1e7 - 11644473600.0;
}

inline double wallSeconds() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  return seconds1970(now);
}

// When this process was created.
inline double processCreatedSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  return seconds1970(created);
}
