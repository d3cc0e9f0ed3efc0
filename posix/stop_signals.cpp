#include "stop_signals.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace stopsignals {
namespace {

volatile std::sig_atomic_t stopRequested = 0;
int wakePipe[2] = {-1, -1};
bool installed = false;

void onStopSignal(int sig) {
  // A second request ends the program at once, the signal's own way, whatever it is doing.
  if (stopRequested) {
    signal(sig, SIG_DFL);
    raise(sig);
    return;
  }
  const int saved = errno;
  stopRequested = 1;
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

bool requested() { return stopRequested != 0; }

int wakeDescriptor() { return wakePipe[0]; }

void clearForTest() {
  stopRequested = 0;
  char buffer[64];
  while (wakePipe[0] >= 0 && read(wakePipe[0], buffer, sizeof buffer) > 0) {
  }
}

}  // namespace stopsignals
