// The native program `glassfall`: an XScreenSaver hack, or a program of its own on X11 or Wayland.
//  [x] options (the animation's and the music's), --help, usage errors with exit code 2
//  [x] defaults from ~/.config/glassfall/glassfall.conf, under the command line
//  [x] SIGTERM / SIGINT end it the normal way, a second one at once
//  [x] music (--music, --cd, --track): played beside the animation by one process of the
//      program, from the window's showing to the end
//  [x] the window system: X11/GLX (renderer/x11), or Wayland (renderer/wayland) when asked or
//      when $WAYLAND_DISPLAY is set and $DISPLAY is not
//  [x] --idle SECONDS: waits for the session's idle, a Wayland run each time (idle_program)
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "background_music.h"
#include "config_file.h"
#include "hack_options.h"
#include "idle_program.h"
#include "loop_hooks.h"
#include "mipmap_chain.h"
#include "music_options.h"
#include "process_lock.h"
#include "run_companions.h"
#include "standard_streams.h"
#include "stop_signals.h"
#include "wayland_front.h"
#include "x11_front_end.h"

namespace {

const char kProgram[] = "glassfall";

// A SIGTERM in the first milliseconds of the process, while the libraries' constructors run,
// must end it as any other does (exit 0): the standard streams and the stop handlers are set
// up before every constructor, from the executable's pre-initialisation array. Both are plain
// system calls; main() checks their outcome.
void setUpEarliest(int, char**, char**) {
  if (standardstreams::ensureOpen()) stopsignals::install();
}
__attribute__((section(".preinit_array"), used)) void (*const kEarliest)(int, char**, char**) = setUpEarliest;

// The music that the options chose, for the life of the run.
class MusicCompanion : public RunCompanions {
 public:
  explicit MusicCompanion(const MusicChoice& choice) : choice_(choice) {}
  void start() override { music_.start(playerLockPath(), choice_); }
  void stop() override { music_.stop(); }
  bool leftRunning() const { return music_.leftRunning(); }

 private:
  MusicChoice choice_;
  BackgroundMusic music_;
};

}  // namespace

int main(int argc, char** argv) {
  if (!standardstreams::ensureOpen()) return 1;
  if (!stopsignals::install()) {
    std::fprintf(stderr, "%s: cannot set up signal handling\n", kProgram);
    return 1;
  }
  HackOptions options;
  // The settings file gives the defaults; the command line, read after it, wins.
  for (const std::string& note : loadConfigFile(configFilePath(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")),
                                                std::getenv("HOME"), options)) {
    std::fprintf(stderr, "%s: %s\n", kProgram, note.c_str());
  }
  const ParseResult parsed = parseHackOptions(argc, argv, std::getenv("XSCREENSAVER_WINDOW"), options);
  if (parsed.outcome == ParseOutcome::help) {
    std::fputs(hackUsage(kProgram).c_str(), stdout);
    return 0;
  }
  if (parsed.outcome == ParseOutcome::usageError) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, parsed.message.c_str(), hackUsage(kProgram).c_str());
    return 2;
  }
  if (options.idleSeconds > 0) return runIdleMode(kProgram, options);
  loopHooks().onStartupStep("options read");
  // Music that cannot play leaves the screensaver running in silence, with one line to say so.
  MusicChoice choice;
  const std::string musicNote = chooseMusic(options.music, readableFile, choice);
  if (!musicNote.empty()) std::fprintf(stderr, "%s: %s\n", kProgram, musicNote.c_str());
  if (stopsignals::requested()) return 0;
  const char* waylandDisplay = std::getenv("WAYLAND_DISPLAY");
  const char* xDisplay = std::getenv("DISPLAY");
  if (!options.wayland && !(waylandDisplay && *waylandDisplay) && !(xDisplay && *xDisplay)) {
    std::fprintf(stderr, "%s: no display to draw on: neither $WAYLAND_DISPLAY nor $DISPLAY is set\n", kProgram);
    return 1;
  }
  // One overlay per session: a second start (an idle daemon firing twice, a start by hand
  // beside one on idle) leaves the screen to the first.
  const bool wayland = runsOnWayland(options, waylandDisplay, xDisplay);
  ProcessLock covering(runLockPath());
  if ((wayland || options.target == DrawTarget::ownWindow) && !covering.take()) {
    std::fprintf(stderr, "%s: another glassfall already covers the screen in this session: leaving it to that one\n",
                 kProgram);
    return 0;
  }
  if (stopsignals::requested()) return 0;
  // The screen's own picture, texel for pixel: a power-of-two texture would blur its one-pixel
  // detail, most of all on a fractionally scaled output.
  mipmap::keepOwnSize(true);
  int status = 0;
  bool musicLeftRunning = false;
  {
    MusicCompanion music(choice);
    status = wayland ? runOnWayland(options, music) : runOnX11(kProgram, options, music);
    music.stop();
    musicLeftRunning = music.leftRunning();
  }
  if (musicLeftRunning) {
    // The music thread is stuck inside GStreamer: leave without the static destructors,
    // which would take its data away under it.
    std::fflush(nullptr);
    _exit(status);
  }
  return status;
}
