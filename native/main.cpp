// The native program `glassfall`: an XScreenSaver hack, or a program of its own on X11 or Wayland.
//  [x] options (the animation's and the music's), --help, usage errors with exit code 2
//  [x] defaults from ~/.config/glassfall/glassfall.conf, under the command line
//  [x] SIGTERM / SIGINT end it the normal way, a second one at once
//  [x] music (--music, --cd, --track): played beside the animation by one process of the
//      program, from the window's showing to the end
//  [x] the window system: X11/GLX (renderer/x11), or Wayland (renderer/wayland) when asked or
//      when $WAYLAND_DISPLAY is set and $DISPLAY is not
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "background_music.h"
#include "config_file.h"
#include "hack_options.h"
#include "music_options.h"
#include "player_lock.h"
#include "run_companions.h"
#include "standard_streams.h"
#include "stop_signals.h"
#include "wayland_front.h"
#include "x11_front_end.h"

namespace {

const char kProgram[] = "glassfall";

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
  // Music that cannot play leaves the screensaver running in silence, with one line to say so.
  MusicChoice choice;
  const std::string musicNote = chooseMusic(options.music, readableFile, choice);
  if (!musicNote.empty()) std::fprintf(stderr, "%s: %s\n", kProgram, musicNote.c_str());

  if (!stopsignals::install()) {
    std::fprintf(stderr, "%s: cannot set up signal handling\n", kProgram);
    return 1;
  }
  int status = 0;
  bool musicLeftRunning = false;
  {
    MusicCompanion music(choice);
    status = runsOnWayland(options, std::getenv("WAYLAND_DISPLAY"), std::getenv("DISPLAY"))
                 ? runOnWayland(options, music)
                 : runOnX11(kProgram, options, music);
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
