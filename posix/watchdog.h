// Ends a run whose drawing loop stopped turning: a front-end that holds the keyboard (an
// overlay) must never leave the user behind a frozen picture, whatever call it is stuck in.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

class Watchdog {
 public:
  struct Limits {
    std::int64_t stall = 0;    // nanoseconds without a turn while armed
    std::int64_t stopping = 0;  // the same once a stop was asked for (shorter)
  };
  // `now` reads the monotonic clock in nanoseconds, `stopAsked` says whether a stop is pending,
  // `onStall` ends the process (it runs on the watchdog's thread).
  Watchdog(Limits limits, std::int64_t (*now)(), bool (*stopAsked)(), std::function<void()> onStall)
      : limits_(limits), now_(now), stopAsked_(stopAsked), onStall_(std::move(onStall)) {}
  ~Watchdog() { stop(); }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  // Watches from now on (a surface is up and the loop is meant to turn).
  void arm();
  // A turn of the loop.
  void beat() { lastBeat_.store(now_(), std::memory_order_relaxed); }
  void disarm() { armed_.store(false, std::memory_order_relaxed); }
  // One look at the loop: true when it has stalled (and onStall ran).
  bool check();

  // Looks every `period` nanoseconds on a thread of its own until stop().
  void start(std::int64_t period);
  void stop();

 private:
  Limits limits_;
  std::int64_t (*now_)();
  bool (*stopAsked_)();
  std::function<void()> onStall_;
  std::atomic<bool> armed_{false};
  std::atomic<std::int64_t> lastBeat_{0};
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
};
