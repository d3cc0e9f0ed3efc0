// The snapshot file read on a thread of its own while the window and GL context are made, so
// that the first texture waits only for its mipmap build.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <memory>

#include "../texture.h"

class SnapshotReadAhead {
 public:
  SnapshotReadAhead() = default;
  SnapshotReadAhead(const SnapshotReadAhead&) = delete;
  SnapshotReadAhead& operator=(const SnapshotReadAhead&) = delete;

  // Starts reading the snapshot file. Without a thread nothing is read ahead, and the first
  // reset reads the file as it always did.
  void start();
  // Waits for the thread and hands what it read to the texture's first load; once.
  void finish();

 private:
  std::unique_ptr<PictureReadAhead> ahead_;
  HANDLE reader_ = nullptr;
};
