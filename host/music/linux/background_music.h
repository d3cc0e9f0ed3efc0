// The native program's background music: the run's music code (what plays when, over the
// multimedia command strings) on a thread of its own, carried out through GStreamer, by the
// one process of the program that holds the player lock.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class BackgroundMusic {
 public:
  BackgroundMusic() = default;
  ~BackgroundMusic() { stop(); }
  BackgroundMusic(const BackgroundMusic&) = delete;
  BackgroundMusic& operator=(const BackgroundMusic&) = delete;

  // Plays what BgmMode, BgmFile and BgmRepeat ask for; returns at once. A process that
  // finds the player lock taken waits and tries again each second, so that the music goes
  // on when the player ends before the others.
  void start(const std::string& lockPath);
  // Silences the music and waits for its thread; the lock goes with it.
  void stop();

 private:
  void run(std::string lockPath);
  bool waitUntil(double due);

  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::atomic<bool> cancel_{false};
};

// A regular file that this process can read (a folder or a device is not music).
bool readableFile(const std::string& path);
