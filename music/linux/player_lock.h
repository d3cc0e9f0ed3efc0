// The election of one music player among the program's processes (XScreenSaver runs one per
// monitor): the first to hold an exclusive flock on a file in the user's runtime folder
// plays. The lock goes with the process, so every new run elects again.
#pragma once

#include <string>

class PlayerLock {
 public:
  explicit PlayerLock(std::string path) : path_(std::move(path)) {}
  ~PlayerLock();
  PlayerLock(const PlayerLock&) = delete;
  PlayerLock& operator=(const PlayerLock&) = delete;

  // True when this process may play: it holds the lock, now or from before. A lock file that
  // cannot be had at all (no such folder, another user's file) lets it play rather than keep
  // every monitor silent. False while another process holds it; try again later.
  bool take();
  bool held() const { return held_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool held_ = false;
};

// "$XDG_RUNTIME_DIR/glassfall-music.lock"; without that folder, a name of the user's own in /tmp.
std::string playerLockPath();
