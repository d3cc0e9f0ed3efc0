#include "stop_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace stopsignals {
namespace {

// Set by the handler, read by the loop and by the watchdog's thread: a lock-free atomic is safe
// in a handler and, unlike a volatile sig_atomic_t, between threads.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the handler may only touch lock-free atomics");
int wakePipe[2] = {-1, -1};
bool installed = false;

void onStopSignal(int sig) {
  // A second request ends the program at once, the signal's own way, whatever it is doing.
  if (stopRequested.load()) {
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  const int saved = errno;
  stopRequested.store(true);
  const char byte = 1;
  // A full pipe already wakes the loop; the result does not matter.
  [[maybe_unused]] ssize_t n = write(wakePipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

bool install() {
  if (installed) return true;
  if (wakePipe[0] < 0 && pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    wakePipe[0] = wakePipe[1] = -1;
    return false;
  }
  struct sigaction action = {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  installed = sigaction(SIGTERM, &action, nullptr) == 0 && sigaction(SIGINT, &action, nullptr) == 0;
  return installed;
}

bool requested() { return stopRequested.load(); }

int wakeDescriptor() { return wakePipe[0]; }

void clearForTest() {
  stopRequested.store(false);
  char buffer[64];
  while (wakePipe[0] >= 0 && read(wakePipe[0], buffer, sizeof buffer) > 0) {
  }
}

}  // namespace stopsignals
