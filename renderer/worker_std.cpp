// The worker thread over std::thread.
#include <new>
#include <system_error>
#include <thread>

#include "worker.h"

namespace worker {

struct Thread::Handle {
  std::thread thread;
};

bool Thread::start(void (*job)(void*), void* context) {
  join();
  handle_ = new (std::nothrow) Handle;
  if (!handle_) return false;
  try {
    handle_->thread = std::thread(job, context);
  } catch (const std::system_error&) {
    delete handle_;
    handle_ = nullptr;
    return false;
  }
  return true;
}

void Thread::join() {
  if (!handle_) return;
  handle_->thread.join();
  delete handle_;
  handle_ = nullptr;
}

int cores() {
  const unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? int(n) : 1;
}

}  // namespace worker
