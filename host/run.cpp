#include "run.h"

#include "settings.h"
#include "startup.h"

bool RendererWatch::tick(bool windowPresent, std::uint32_t nowMs) {
  if (windowPresent) {
    seen_ = true;
    return false;
  }
  // Unsigned difference: right across the wrap of the millisecond counter.
  return seen_ || startFailed_ || std::uint32_t(nowMs - startMs_) >= kStartGraceMs;
}

std::string quotedCommandLine(const std::string& path) { return "\"" + path + "\""; }

const char* ScreensaverRun::rendererTitle() { return kRendererWindowTitle; }

void ScreensaverRun::load() {
  const ScreenArea area = system_.screenArea();
  covered_ = area;
  system_.sizeToScreen(area);
  system_.captureDesktopTurned(area);
  system_.saveMaster(kSnapshotFile);
  const std::string renderer = rendererPath(state_.programFolder);
  if (!system_.startProgram(renderer, quotedCommandLine(renderer))) watch_.startFailed();
  hooks_.onLoad(timers_);
}

bool ScreensaverRun::watchTick(std::uint32_t nowMs) {
  const ScreenArea now = system_.screenArea();
  if (now.width > 0 && now.height > 0 && !(now == covered_)) {
    covered_ = now;
    system_.coverScreen(now);
  }
  return watch_.tick(system_.windowExists(rendererTitle()), nowMs);
}

void ScreensaverRun::end() {
  if (ended_) return;
  ended_ = true;
  hooks_.onEnd(timers_);
  system_.removeFile(kSnapshotFile);
  // The count after hiding is normally -1, which as a flag shows the cursor again.
  if (state_.mode == "S" && state_.cursorCount) {
    state_.cursorCount = system_.showCursor(*state_.cursorCount != 0);
  }
}
