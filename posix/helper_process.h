// A helper program run beside the animation (the screensaver's image grabber): started in
// its own process group, so that stopping it also stops whatever it started, and always
// reaped, so that no helper outlives us or stays a zombie.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// The first executable file called `name` in the colon-separated `searchPath`, then in
// `fallbackDirectory`; empty when there is none. A name with a slash is taken as it is.
std::string findProgram(const std::string& name, const char* searchPath, const std::string& fallbackDirectory);

// This program's own executable, to start another process of it; empty when it cannot be told.
std::string ownExecutable();

class HelperProcess {
 public:
  enum class State { notStarted, running, succeeded, failed };

  HelperProcess() = default;
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;
  ~HelperProcess() { stop(); }

  // Runs `program` with `arguments` (argv[1] on), standard input from /dev/null.
  bool start(const std::string& program, const std::vector<std::string>& arguments);

  // Looks without waiting: reaps the helper when it has ended.
  State poll();

  // Ends the helper and everything in its process group (TERM, then KILL after the grace),
  // and reaps it. Does nothing when it is not running.
  void stop(int graceMilliseconds = 200);

  pid_t pid() const { return pid_; }

 private:
  void finished(int status);

  pid_t pid_ = -1;
  State state_ = State::notStarted;
};
