// The native program's background music: the run's music code (what plays when, over the
// multimedia command strings) on a thread of its own, carried out through GStreamer, by the
// one process of the program that holds the player lock.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "music_choice.h"

class BackgroundMusic {
 public:
  // How long stop() waits by default: the program must be gone within a second of a stop.
  static constexpr std::chrono::milliseconds kStopBound{500};

  BackgroundMusic() = default;
  // Stops within kStopBound; see stop() for a thread that does not finish in time.
  ~BackgroundMusic() { stop(); }
  BackgroundMusic(const BackgroundMusic&) = delete;
  BackgroundMusic& operator=(const BackgroundMusic&) = delete;

  // Plays the choice; returns at once. A process that
  // finds the player lock taken waits and tries again each second, so that the music goes
  // on when the player ends before the others. Lines for the user (a music file that is no
  // audio) go to stderr after "glassfall: ", once each.
  void start(const std::string& lockPath, const MusicChoice& choice);
  // Silences the music and waits up to `bound` for its thread. True when the thread is
  // done (or there was none). False when it is still inside a call that does not return
  // soon (GStreamer's first start, a disc read, a sound output's state change): it is then
  // left to itself, and the process must leave by _exit() without running static
  // destructors, which the thread may still use; the player lock goes with the process.
  bool stop(std::chrono::milliseconds bound = kStopBound);
  // A thread was left running by stop().
  bool leftRunning() const { return leftRunning_; }

  struct Shared;

 private:
  std::thread thread_;
  std::shared_ptr<Shared> shared_;
  bool leftRunning_ = false;
};

// A regular file that this process can read (a folder or a device is not music).
bool readableFile(const std::string& path);
