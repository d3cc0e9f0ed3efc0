// One process of the program's at a time for a job: the first to hold an exclusive flock on a
// file in the user's runtime folder has it. It elects the music player among the processes
// XScreenSaver starts (one per monitor), and keeps a second overlay from covering the screen
// while one runs. The lock goes with the process, so every new run elects again.
#pragma once

#include <string>

class ProcessLock {
 public:
  explicit ProcessLock(std::string path) : path_(std::move(path)) {}
  ~ProcessLock();
  ProcessLock(const ProcessLock&) = delete;
  ProcessLock& operator=(const ProcessLock&) = delete;

  // True when this process may go on: it holds the lock, now or from before. A lock file that
  // cannot be had at all (no such folder, another user's file) lets it go on rather than keep
  // every monitor silent or the screen unguarded. False while another process holds it.
  bool take();
  bool held() const { return held_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool held_ = false;
};

// "$XDG_RUNTIME_DIR/STEM.lock"; without that folder, "/tmp/STEM-UID.lock".
std::string runtimeLockPath(const std::string& stem);
// The music player's ("glassfall-music") and the screen-covering run's ("glassfall-run").
inline std::string playerLockPath() { return runtimeLockPath("glassfall-music"); }
inline std::string runLockPath() { return runtimeLockPath("glassfall-run"); }
