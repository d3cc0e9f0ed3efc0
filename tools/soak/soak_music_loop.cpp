// Two music loops side by side, torn down at a random moment, over and over: each run in a
// child process of its own, which counts as hung when it is not gone within its limit.
// Usage: soak_music_loop RUNS FILE1 FILE2 [SINK]   (prints "N runs, H hangs")
// The moments gather around the loop points, where a teardown meets the next pass.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "gstreamer_audio.h"

namespace {

using Clock = std::chrono::steady_clock;
const auto kHangLimit = std::chrono::seconds(15);

// One run: both files loop; after `playMs` one of the ways a run ends stops them.
int runOnce(const std::string& first, const std::string& second, const std::string& sink, int playMs, int ending) {
  std::atomic<bool> woken{false};
  GstAudioDevices devices(sink, nullptr, [&woken] { woken = true; });
  auto a = devices.newStream();
  auto b = devices.newStream();
  if (!a->open(first) || !b->open(second)) return 2;
  a->play();
  b->play();
  const auto until = Clock::now() + std::chrono::milliseconds(playMs);
  while (Clock::now() < until) {
    if (woken.exchange(false)) devices.service();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  switch (ending) {
    case 0:  // paused first, as "stop" does, then closed
      a->pause();
      b->pause();
      break;
    case 1:  // rewound at the end, as a replay does
      a->rewind();
      b->rewind();
      break;
    default:  // closed while playing
      break;
  }
  a.reset();
  b.reset();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s RUNS FILE1 FILE2 [SINK]\n", argv[0]);
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  const std::string first = argv[2], second = argv[3];
  const std::string sink = argc > 4 ? argv[4] : "fakesink sync=true";
  const int loopMs = std::getenv("SOAK_LOOP_MS") ? std::atoi(std::getenv("SOAK_LOOP_MS")) : 250;
  std::mt19937 random(std::random_device{}());
  int hangs = 0, failures = 0;
  for (int run = 0; run < runs; ++run) {
    // Half the runs end within 30 ms of a loop point (the first, second or third), the rest anywhere.
    const int pass = 1 + int(random() % 3);
    const int playMs = random() % 2 ? pass * loopMs - 30 + int(random() % 60) : int(random() % (3 * loopMs));
    const int ending = int(random() % 3);
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) _exit(runOnce(first, second, sink, playMs, ending));
    const auto giveUp = Clock::now() + kHangLimit;
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(child, &status, WNOHANG)) == 0 && Clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (done == 0) {
      ++hangs;
      std::fprintf(stderr, "run %d hung (played %d ms, ending %d)\n", run + 1, playMs, ending);
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
    } else if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      ++failures;
      std::fprintf(stderr, "run %d failed (status %d)\n", run + 1, status);
    }
  }
  std::printf("%d runs, %d hangs\n", runs, hangs);
  if (failures) std::printf("%d runs could not play\n", failures);
  return hangs || failures ? 1 : 0;
}
