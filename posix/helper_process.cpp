#include "helper_process.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

bool isExecutableFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

void sleepMilliseconds(long ms) {
  timespec pause = {0, ms * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

}  // namespace

std::string findProgram(const std::string& name, const char* searchPath, const std::string& fallbackDirectory) {
  if (name.empty()) return {};
  if (name.find('/') != std::string::npos) return isExecutableFile(name) ? name : std::string();
  std::string path = searchPath ? searchPath : "";
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    const std::string dir = end > start ? path.substr(start, end - start) : std::string(".");
    const std::string candidate = dir + "/" + name;
    if (isExecutableFile(candidate)) return candidate;
    start = end + 1;
  }
  if (!fallbackDirectory.empty() && isExecutableFile(fallbackDirectory + "/" + name)) {
    return fallbackDirectory + "/" + name;
  }
  return {};
}

std::string ownExecutable() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return {};
  path[n] = '\0';
  // Replaced by an upgrade while it runs: the new program stands at the same path.
  std::string own = path;
  const std::string deleted = " (deleted)";
  if (own.size() > deleted.size() && own.compare(own.size() - deleted.size(), deleted.size(), deleted) == 0) {
    own.resize(own.size() - deleted.size());
  }
  return own;
}

bool HelperProcess::start(const std::string& program, const std::vector<std::string>& arguments) {
  stop();
  // Everything the child needs is made before the fork: after it only async-signal-safe calls.
  std::vector<std::string> words;
  words.push_back(program);
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(&w[0]);
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child < 0) {
    state_ = State::failed;
    return false;
  }
  if (child == 0) {
    setpgid(0, 0);
    // Our stop handlers must not run in the helper: it takes the usual signal meanings.
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, 0);
    execv(argv[0], argv.data());
    _exit(127);
  }
  // Set from both sides: whichever runs first, the group exists before anyone signals it.
  setpgid(child, child);
  pid_ = child;
  state_ = State::running;
  return true;
}

void HelperProcess::finished(int status) {
  pid_ = -1;
  state_ = (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? State::succeeded : State::failed;
}

HelperProcess::State HelperProcess::poll() {
  if (state_ != State::running) return state_;
  int status = 0;
  const pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    // The helper is gone; anything it left running in its group goes with it.
    kill(-r, SIGTERM);
    finished(status);
  } else if (r < 0 && errno == ECHILD) {
    pid_ = -1;
    state_ = State::failed;
  }
  return state_;
}

void HelperProcess::stop(int graceMilliseconds) {
  if (state_ != State::running) return;
  kill(-pid_, SIGTERM);
  int status = 0;
  for (int waited = 0; waited < graceMilliseconds; waited += 10) {
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_ || (r < 0 && errno == ECHILD)) {
      kill(-pid_, SIGKILL);  // stragglers of the group, if any
      pid_ = -1;
      state_ = State::failed;
      return;
    }
    sleepMilliseconds(10);
  }
  kill(-pid_, SIGKILL);
  waitpid(pid_, &status, 0);
  pid_ = -1;
  state_ = State::failed;
}
