// The native program's music options (--music FILE, --cd, --track N) and the choice of music
// they make.
#pragma once

#include <string>

#include "music_choice.h"

struct MusicOptions {
  std::string file;  // --music: the MP3 or WAV file to loop; empty for none
  bool cd = false;   // --cd: the audio CD instead of a file
  int track = 0;     // --track: the CD track to repeat; 0 plays the whole disc
};

// What the options ask to play. A file that cannot be read, or that is neither MP3 nor WAV,
// plays nothing; the returned line (empty when all is well) says so.
std::string chooseMusic(const MusicOptions& options, bool (*readable)(const std::string& path), MusicChoice& choice);
