#include "startup_steps.h"

#include <cstdio>

StartupSteps::StartupSteps(double (*wallSeconds)(), std::string path, std::string lastStep)
    : wallSeconds_(wallSeconds), path_(std::move(path)), lastStep_(std::move(lastStep)) {}

void StartupSteps::record(const std::string& step, double wallSeconds) {
  if (written_) return;  // a second window or context after the first frame is not start-up
  steps_.emplace_back(step, wallSeconds);
  if (step == lastStep_) {
    write();
    written_ = true;
  }
}

bool StartupSteps::write() const {
  FILE* out = std::fopen(path_.c_str(), "w");
  if (!out) return false;
  for (const auto& step : steps_) {
    std::string name = step.first;
    for (char& c : name)
      if (c == ' ') c = '_';
    std::fprintf(out, "%s %.6f\n", name.c_str(), step.second);
  }
  return std::fclose(out) == 0;
}
