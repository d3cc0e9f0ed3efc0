#include "music_options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "bgm.h"
#include "music_settings.h"

const char kMusicUsage[] =
    "  --music FILE     loop an MP3 or WAV file while the screensaver runs\n"
    "  --cd             play the audio CD, from its first track through the disc\n"
    "  --track N        with --cd: repeat track N (1-99) instead; 0 is the whole disc\n";

namespace {

const int kHighestTrack = 99;  // an audio CD holds at most 99 tracks

// "--name", "-name", "--name=value" or "-name=value"; `value` set only in the last two forms.
bool matches(const char* word, const char* name, const char*& value) {
  if (word[0] != '-') return false;
  const char* rest = word + (word[1] == '-' ? 2 : 1);
  const std::size_t length = std::strlen(name);
  if (std::strncmp(rest, name, length) != 0) return false;
  if (rest[length] == '\0') {
    value = nullptr;
    return true;
  }
  if (rest[length] != '=') return false;
  value = rest + length + 1;
  return true;
}

// The option's value: after "=", or else the next word.
bool valueOf(int argc, const char* const* argv, int& i, const char* inlineValue, const char*& value) {
  if (inlineValue != nullptr) {
    value = inlineValue;
    return true;
  }
  if (i + 1 >= argc) return false;
  value = argv[++i];
  return true;
}

bool wholeNumber(const char* text, int low, int high, int& result) {
  if (*text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  const long number = std::strtol(text, &end, 10);
  if (*end != '\0' || errno != 0 || number < low || number > high) return false;
  result = int(number);
  return true;
}

}  // namespace

MusicOptionResult takeMusicOption(int argc, const char* const* argv, int& i, MusicOptions& options,
                                  std::string& error) {
  const char* inlineValue = nullptr;
  const char* value = nullptr;
  if (matches(argv[i], "music", inlineValue)) {
    if (!valueOf(argc, argv, i, inlineValue, value)) {
      error = "--music needs a file";
      return MusicOptionResult::Bad;
    }
    options.file = value;
    options.cd = false;
    return MusicOptionResult::Taken;
  }
  if (matches(argv[i], "cd", inlineValue)) {
    if (inlineValue != nullptr) {
      error = "--cd takes no value";
      return MusicOptionResult::Bad;
    }
    options.cd = true;
    options.file.clear();
    return MusicOptionResult::Taken;
  }
  if (matches(argv[i], "track", inlineValue)) {
    if (!valueOf(argc, argv, i, inlineValue, value) || !wholeNumber(value, 0, kHighestTrack, options.track)) {
      error = "--track needs a track number from 0 to 99";
      return MusicOptionResult::Bad;
    }
    return MusicOptionResult::Taken;
  }
  return MusicOptionResult::NotMusic;
}

std::string applyMusicOptions(const MusicOptions& options, bool (*readable)(const std::string& path)) {
  BgmMode = 0;
  BgmRepeat = 0;
  BgmFile.clear();
  if (options.cd) {
    BgmMode = 1;
    BgmRepeat = std::int16_t(options.track);
    return "";
  }
  if (options.file.empty()) return "";
  if (!readable(options.file)) return "music file not found or not readable: " + options.file;
  if (musicFileKind(options.file) == MusicFileKind::None) {
    return "music plays from .mp3 and .wav files only: " + options.file;
  }
  BgmMode = 2;
  BgmFile = options.file;
  return "";
}
