// The music options of the native program (--music FILE, --cd, --track N) and how they
// become the music values that the run's music code plays from.
#pragma once

#include <string>

struct MusicOptions {
  std::string file;  // --music: the MP3 or WAV file to loop; empty for none
  bool cd = false;   // --cd: the audio CD instead of a file
  int track = 0;     // --track: the CD track to repeat; 0 plays the whole disc
};

enum class MusicOptionResult {
  NotMusic,  // argv[i] is no music option; the caller reads it
  Taken,     // read, with its value; i stands on the last word it used
  Bad,       // a music option without a usable value; `error` says why
};

// Reads the music option at argv[i], if it is one. Options take one or two dashes and their
// value as the next word or after "=". Of --music and --cd the later one wins.
MusicOptionResult takeMusicOption(int argc, const char* const* argv, int& i, MusicOptions& options,
                                  std::string& error);

// The option lines for the program's usage text.
extern const char kMusicUsage[];

// Sets BgmMode, BgmRepeat and BgmFile from the options. A file that cannot be read, or that
// is neither MP3 nor WAV, plays nothing; the returned line (empty when all is well) says so.
std::string applyMusicOptions(const MusicOptions& options, bool (*readable)(const std::string& path));
