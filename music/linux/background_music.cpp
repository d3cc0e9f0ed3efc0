#include "background_music.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "bgm.h"
#include "gstreamer_audio.h"
#include "mci_devices.h"
#include "process_lock.h"
#include "timed_run.h"

// What the music thread and its owner share. The thread holds it too, so that an owner that
// stopped waiting may go while the thread is still busy.
struct BackgroundMusic::Shared {
  std::mutex mutex;
  std::condition_variable wake;
  bool stopping = false;
  bool serviceWanted = false;  // a stream asked for the thread (the next pass of a loop)
  bool finished = false;
  std::atomic<bool> cancel{false};

  // Sleeps until `due` (seconds on the steady clock), the stop or a stream's call; false on
  // the stop.
  bool waitUntil(double due) {
    std::unique_lock<std::mutex> lock(mutex);
    const auto woken = [this] { return stopping || serviceWanted; };
    if (std::isinf(due)) {
      wake.wait(lock, woken);
    } else {
      using Clock = std::chrono::steady_clock;
      const auto until = Clock::time_point(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(due)));
      wake.wait_until(lock, until, woken);
    }
    serviceWanted = false;
    return !stopping;
  }

  void callForService() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      serviceWanted = true;
    }
    wake.notify_all();
  }
};

namespace {

// Signals go to the program's own thread, whose handler ends the program; this thread and
// the sound threads it starts (which inherit its mask) never take them.
void leaveSignalsToTheProgram() {
  sigset_t all;
  sigfillset(&all);
  for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGABRT, SIGSYS}) sigdelset(&all, fault);
  pthread_sigmask(SIG_BLOCK, &all, nullptr);
}

void sayOnStderr(const std::string& line) { std::fprintf(stderr, "glassfall: %s\n", line.c_str()); }

void runMusic(std::shared_ptr<BackgroundMusic::Shared> shared, std::string lockPath, MusicChoice choice) {
  leaveSignalsToTheProgram();
  {
    ProcessLock lock(lockPath);
    bool mine = lock.take();
    while (!mine && shared->waitUntil(steadySeconds() + 1.0)) mine = lock.take();
    if (mine) {
      GstAudioDevices devices("", &shared->cancel, [shared] { shared->callForService(); });
      MciDevices multimedia(devices, steadySeconds, sayOnStderr);
      std::int32_t lastApiResult = 0;
      Glassfall_BGM bgm(multimedia, choice, lastApiResult);
      MusicRunHooks hooks(bgm);
      TimedMusicRun timers(hooks);
      timers.load(steadySeconds());
      while (shared->waitUntil(timers.nextDue())) {
        devices.service();
        timers.tick(steadySeconds());
      }
      timers.end();
    }
  }
  {
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->finished = true;
  }
  shared->wake.notify_all();
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

void BackgroundMusic::start(const std::string& lockPath, const MusicChoice& choice) {
  if (thread_.joinable() || leftRunning_ || (choice.mode != 1 && choice.mode != 2)) return;
  shared_ = std::make_shared<Shared>();
  thread_ = std::thread(runMusic, shared_, lockPath, choice);
}

bool BackgroundMusic::stop(std::chrono::milliseconds bound) {
  if (!thread_.joinable()) return !leftRunning_;
  bool finished;
  {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    shared_->stopping = true;
    shared_->cancel = true;
    shared_->wake.notify_all();
    finished = shared_->wake.wait_for(lock, bound, [this] { return shared_->finished; });
  }
  if (finished) {
    thread_.join();
    return true;
  }
  thread_.detach();
  leftRunning_ = true;
  return false;
}
