#include "read_ahead.h"

#include "../loop_hooks.h"

namespace {

DWORD WINAPI readPictureThread(void* target) {
  readPictureAhead(kSnapshotPath, *static_cast<PictureReadAhead*>(target));
  return 0;
}

}  // namespace

void SnapshotReadAhead::start() {
  ahead_ = std::make_unique<PictureReadAhead>();
  reader_ = CreateThread(nullptr, 0, readPictureThread, ahead_.get(), 0, nullptr);
}

void SnapshotReadAhead::finish() {
  if (!reader_) return;
  WaitForSingleObject(reader_, INFINITE);
  CloseHandle(reader_);
  reader_ = nullptr;
  snapshotTexture.offerReadAhead(std::move(ahead_));
  loopHooks().onStartupStep("picture read");
}
