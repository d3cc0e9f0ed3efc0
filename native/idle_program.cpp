#include "idle_program.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "gnome_idle_source.h"
#include "helper_process.h"
#include "idle_mode.h"
#include "posix_clock.h"
#include "process_lock.h"
#include "stop_signals.h"
#include "wayland_idle_source.h"

namespace {

// A run asked to stop ends within a second; past this it is killed.
constexpr int kRunStopGrace = 3000;

// Each run a child process: `glassfall --wayland` with the options' animation and music.
class ChildRun : public IdleRun {
 public:
  ChildRun(std::string program, std::vector<std::string> arguments)
      : program_(std::move(program)), arguments_(std::move(arguments)) {}
  bool start() override { return !program_.empty() && child_.start(program_, arguments_); }
  bool running() override { return child_.poll() == HelperProcess::State::running; }
  void stop() override { child_.stop(kRunStopGrace); }

 private:
  std::string program_;
  std::vector<std::string> arguments_;
  HelperProcess child_;
};

bool set(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

}  // namespace

int runIdleMode(const char* program, const HackOptions& options) {
  if (!options.wayland && !set("WAYLAND_DISPLAY")) {
    if (set("DISPLAY")) {
      std::fprintf(stderr,
                   "%s: --idle is for Wayland: on X11 XScreenSaver starts glassfall when the session is idle "
                   "(add 'GL: glassfall --root' to the programs in ~/.xscreensaver, see glassfall(6))\n",
                   program);
      return 2;
    }
    std::fprintf(stderr, "%s: no display to wait on: neither $WAYLAND_DISPLAY nor $DISPLAY is set\n", program);
    return 1;
  }
  // One waiting process a session: a second (the unit beside a line in the compositor's
  // configuration) would only race the first to each run.
  ProcessLock waiting(runtimeLockPath("glassfall-idle"));
  if (!waiting.take()) {
    std::fprintf(stderr, "%s: another glassfall --idle already waits in this session: leaving it to that one\n",
                 program);
    return 0;
  }
  const std::uint32_t milliseconds = std::uint32_t(options.idleSeconds) * 1000u;
  std::string waylandNote, gnomeNote;
  std::unique_ptr<IdleSource> source = openWaylandIdleSource(milliseconds, waylandNote);
  if (!source && !stopsignals::requested()) source = openGnomeIdleSource(milliseconds, gnomeNote);
  if (stopsignals::requested()) return 0;
  if (!source) {
    std::fprintf(stderr, "%s: --idle cannot learn when the session is idle: %s, and %s\n", program,
                 waylandNote.c_str(), gnomeNote.c_str());
    return 1;
  }
  std::fprintf(stderr, "%s: waiting for %d s of idle (%s)\n", program, options.idleSeconds, source->name().c_str());
  ChildRun run(ownExecutable(), idleRunArguments(options));
  IdleMode mode(
      *source, run, [] { return monotonicNow() / 1000000; }, [] { return stopsignals::requested(); },
      [program](const std::string& line) { std::fprintf(stderr, "%s: %s\n", program, line.c_str()); });
  return mode.loop();
}
