// The native program's command line, in the form XScreenSaver gives its hacks, with the
// music's options beside the animation's. No window system here: the front-end turns the
// outcome into windows.
#pragma once

#include <string>
#include <vector>

#include "music_options.h"
#include "run_options.h"

// The front-end's part (RunOptions) and the program's own.
struct HackOptions : RunOptions {
  MusicOptions music;
  // Asked for by --wayland: every output of the Wayland compositor, not an X window.
  bool wayland = false;
  // --idle SECONDS: wait for the session to be idle that long, run, and wait again; 0 is a run now.
  int idleSeconds = 0;
};

// The longest --idle: a day. Longer is a typing slip, not a screensaver's delay.
constexpr int kMaxIdleSeconds = 24 * 60 * 60;

enum class ParseOutcome { run, help, usageError };

struct ParseResult {
  ParseOutcome outcome = ParseOutcome::run;
  std::string message;  // what was wrong, for usageError
};

// Options may be spelt with one dash or two, values as the next word or after "=". Of --music
// and --cd the later one wins. `screensaverWindow` is $XSCREENSAVER_WINDOW, or nullptr when
// it is not set.
ParseResult parseHackOptions(int argc, const char* const argv[], const char* screensaverWindow,
                             HackOptions& options);

std::string hackUsage(const char* programName);

// An X window id: hexadecimal after "0x", or decimal. Zero, signs, spaces, trailing text and
// values beyond 32 bits are refused.
bool parseWindowId(const char* text, unsigned long& id);

// Wayland when asked, or when a Wayland session offers no X display at all; a window given
// by XScreenSaver (--root, --window-id) is always an X one. Empty variables count as unset.
bool runsOnWayland(const HackOptions& options, const char* waylandDisplay, const char* display);

// The command line of one run started by --idle: the Wayland overlay with these options'
// animation and music, as they stand after the settings file and the command line.
std::vector<std::string> idleRunArguments(const HackOptions& options);
