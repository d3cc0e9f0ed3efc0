#include "background_music.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>

#include "bgm.h"
#include "gstreamer_audio.h"
#include "mci_devices.h"
#include "music_settings.h"
#include "player_lock.h"
#include "timed_run.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsNow() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// Signals go to the program's own thread, whose handler ends the program; this thread and
// the sound threads it starts (which inherit its mask) never take them.
void leaveSignalsToTheProgram() {
  sigset_t all;
  sigfillset(&all);
  for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS}) sigdelset(&all, fault);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

}  // namespace

bool readableFile(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info;
  const bool regular = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  close(fd);
  return regular;
}

void BackgroundMusic::start(const std::string& lockPath) {
  if (thread_.joinable() || (BgmMode != 1 && BgmMode != 2)) return;
  stopping_ = false;
  cancel_ = false;
  thread_ = std::thread(&BackgroundMusic::run, this, lockPath);
}

void BackgroundMusic::stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    cancel_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

// Sleeps until `due` (seconds on the steady clock) or the stop; false on the stop.
bool BackgroundMusic::waitUntil(double due) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (std::isinf(due)) {
    wake_.wait(lock, [this] { return stopping_; });
  } else {
    const auto until = Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(due)));
    wake_.wait_until(lock, until, [this] { return stopping_; });
  }
  return !stopping_;
}

void BackgroundMusic::run(std::string lockPath) {
  leaveSignalsToTheProgram();
  PlayerLock lock(lockPath);
  while (!lock.take()) {
    if (!waitUntil(secondsNow() + 1.0)) return;
  }

  GstAudioDevices devices("", &cancel_);
  MciDevices multimedia(devices);
  Glassfall_BGM bgm(multimedia);
  MusicRunHooks hooks(bgm);
  TimedMusicRun timers(hooks);
  timers.load(secondsNow());
  while (waitUntil(timers.nextDue())) timers.tick(secondsNow());
  timers.end();
}
