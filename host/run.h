// The screensaver run carried by the hidden run window: capture, snapshot, renderer start,
// the renderer watch and the end steps, over the system calls they need.
#pragma once

#include <cstdint>
#include <string>

#include "run_hooks.h"
#include "screen_area.h"

struct HostState;

class RunSystem {
 public:
  virtual ~RunSystem() = default;
  // The run's area (runScreenArea of the system's metrics).
  virtual ScreenArea screenArea() = 0;
  // Places the run window over the area and sizes its picture area Master to it.
  virtual void sizeToScreen(const ScreenArea& area) = 0;
  // Moves the run window over a new area (the screen changed during the run); Master stays.
  virtual void coverScreen(const ScreenArea& area) = 0;
  // Copies the area of the desktop into Master, turned by 180 degrees.
  virtual void captureDesktopTurned(const ScreenArea& area) = 0;
  // Writes Master as a new file at path, never through a link that stands there.
  virtual void saveMaster(const std::string& path) = 0;
  // Starts a program in a normal window with focus and forgets it; false when no process started.
  virtual bool startProgram(const std::string& applicationName, const std::string& commandLine) = 0;
  // Removes what stands at path (a link itself, not its target); a failure goes unreported.
  virtual void removeFile(const std::string& path) = 0;
  virtual bool windowExists(const std::string& title) = 0;
  virtual std::int32_t showCursor(bool show) = 0;
};

// Decides from the ticks of Timer3 when the renderer has gone. A renderer is given a start
// grace: the run ends on a missing window only once the window has been seen, or when it
// has not appeared within the grace. A renderer whose process never started gets no grace.
class RendererWatch {
 public:
  static const std::uint32_t kIntervalMs = 500;
  static const std::uint32_t kStartGraceMs = 10000;

  explicit RendererWatch(std::uint32_t startMs) : startMs_(startMs) {}
  // True when the run should end now.
  bool tick(bool windowPresent, std::uint32_t nowMs);
  // The renderer's process could not be started: the next tick without its window ends the run.
  void startFailed() { startFailed_ = true; }

 private:
  std::uint32_t startMs_;
  bool seen_ = false;
  bool startFailed_ = false;
};

// Command line for starting a program by full path: the path in quotes, so that a folder
// with blanks cannot be read as a shorter program name.
std::string quotedCommandLine(const std::string& path);

class ScreensaverRun {
 public:
  ScreensaverRun(HostState& state, RunSystem& system, RunHooks& hooks, RunTimers& timers, std::uint32_t nowMs)
      : state_(state), system_(system), hooks_(hooks), timers_(timers), watch_(nowMs) {}

  // The load steps, run once when the run window is made.
  void load();
  // One tick of Timer3; true when the run window should close. A screen that changed since
  // the last tick (a monitor plugged in or removed) is covered again, so the cursor stays
  // hidden over every monitor.
  bool watchTick(std::uint32_t nowMs);
  // The end steps up to the program end, which the caller does. The snapshot, a picture of
  // whatever was on screen, is removed once the music is stopped; the settings file stays.
  void end();

 private:
  static const char* rendererTitle();
  HostState& state_;
  RunSystem& system_;
  RunHooks& hooks_;
  RunTimers& timers_;
  RendererWatch watch_;
  ScreenArea covered_;
  bool ended_ = false;
};
