// One job on a thread of its own, for the filters of the mipmap chain. Each platform
// implements it in its own file (renderer/worker_std.cpp over std::thread, renderer/win32/
// worker_win32.cpp over Win32 threads, as mingw's default thread model has no std::thread).
#pragma once

namespace worker {

class Thread {
 public:
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread() { join(); }

  // Starts job(context), after joining any job before it. False when no thread could be had:
  // the caller then does the job itself.
  bool start(void (*job)(void*), void* context);
  // Waits for the job to end; returns at once when none runs.
  void join();

  struct Handle;  // each platform's own

 private:
  Handle* handle_ = nullptr;
};

// The hardware threads of this machine, at least 1.
int cores();

}  // namespace worker
