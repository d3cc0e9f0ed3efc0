// Start-up milestones of a benchmark build, on the wall clock so that the figures of several
// processes (host, renderer, the script watching the screen) line up. Kept in memory and
// written once, at the last step, so that the writing does not delay the steps it times.
#pragma once

#include <string>
#include <utility>
#include <vector>

class StartupSteps {
 public:
  // `wallSeconds` reads the wall clock in seconds since 1970; `lastStep` ends the record.
  StartupSteps(double (*wallSeconds)(), std::string path, std::string lastStep);

  void record(const std::string& step) { record(step, wallSeconds_()); }
  void record(const std::string& step, double wallSeconds);
  // Writes "step <seconds>\n" lines, the step's blanks made underscores; false when it could not.
  bool write() const;

 private:
  double (*wallSeconds_)();
  std::string path_, lastStep_;
  std::vector<std::pair<std::string, double>> steps_;
  bool written_ = false;
};
