// The native program's defaults from a file of its own, for runs that no screensaver daemon
// configures (the Wayland idle daemons, a run by hand): $XDG_CONFIG_HOME/glassfall/glassfall.conf,
// else ~/.config/glassfall/glassfall.conf. One `key = value` a line; blank lines and lines
// starting with '#' are skipped. The keys:
//   music = FILE     an MP3 or WAV file to loop (a leading ~/ is the home folder)
//   cd = yes|no      the audio CD instead of a file
//   track = N        with the CD, the track to repeat (0 the whole disc)
//   delay = USEC     microseconds from one frame to the next
// The file is read before the command line, so options given there win.
#pragma once

#include <string>
#include <vector>

#include "hack_options.h"

// The file's path, or empty when neither variable gives one. A relative $XDG_CONFIG_HOME is
// ignored, as the base-directory rules say.
std::string configFilePath(const char* xdgConfigHome, const char* home);

// A line that was skipped, and why.
struct ConfigNote {
  int line;  // from 1
  std::string why;
};

// Applies the lines of `text` to `options`. A line that is not `key = value`, names an unknown
// key or has a value the option would refuse is skipped with a note. `home` expands a leading
// ~/ in the music file (nullptr: left as written).
std::vector<ConfigNote> applyConfigText(const std::string& text, const char* home, HackOptions& options);

// Reads and applies the file at `path`, with one line of text for each note ("PATH:N: why").
// A missing file is no error; an unreadable one is a note of its own.
std::vector<std::string> loadConfigFile(const std::string& path, const char* home, HackOptions& options);
