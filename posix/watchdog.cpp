#include "watchdog.h"

#include <chrono>

void Watchdog::arm() {
  beat();
  armed_.store(true, std::memory_order_relaxed);
}

bool Watchdog::check() {
  if (!armed_.load(std::memory_order_relaxed)) return false;
  const std::int64_t quiet = now_() - lastBeat_.load(std::memory_order_relaxed);
  const std::int64_t limit = stopAsked_ && stopAsked_() ? limits_.stopping : limits_.stall;
  if (quiet < limit) return false;
  armed_.store(false, std::memory_order_relaxed);
  onStall_();
  return true;
}

void Watchdog::start(std::int64_t period) {
  if (thread_.joinable()) return;
  stopping_ = false;
  thread_ = std::thread([this, period] {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
      wake_.wait_for(lock, std::chrono::nanoseconds(period));
      if (stopping_) break;
      lock.unlock();
      check();
      lock.lock();
    }
  });
}

void Watchdog::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}
