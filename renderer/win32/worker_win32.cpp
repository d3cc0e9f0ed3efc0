// The worker thread over Win32 threads (mingw's default thread model has no std::thread).
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <new>

#include "worker.h"

namespace worker {

struct Thread::Handle {
  HANDLE thread = nullptr;
  void (*job)(void*) = nullptr;
  void* context = nullptr;
};

namespace {

DWORD WINAPI runJob(void* handle) {
  auto* h = static_cast<Thread::Handle*>(handle);
  h->job(h->context);
  return 0;
}

}  // namespace

bool Thread::start(void (*job)(void*), void* context) {
  join();
  handle_ = new (std::nothrow) Handle;
  if (!handle_) return false;
  handle_->job = job;
  handle_->context = context;
  handle_->thread = CreateThread(nullptr, 0, runJob, handle_, 0, nullptr);
  if (handle_->thread) return true;
  delete handle_;
  handle_ = nullptr;
  return false;
}

void Thread::join() {
  if (!handle_) return;
  WaitForSingleObject(handle_->thread, INFINITE);
  CloseHandle(handle_->thread);
  delete handle_;
  handle_ = nullptr;
}

int cores() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? int(info.dwNumberOfProcessors) : 1;
}

}  // namespace worker
