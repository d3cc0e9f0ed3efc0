#include "music_options.h"

#include "bgm.h"

std::string chooseMusic(const MusicOptions& options, bool (*readable)(const std::string& path), MusicChoice& choice) {
  choice = MusicChoice{};
  if (options.cd) {
    choice.mode = 1;
    choice.repeat = std::int16_t(options.track);
    return "";
  }
  if (options.file.empty()) return "";
  if (!readable(options.file)) return "music file not found or not readable: " + options.file;
  if (musicFileKind(options.file) == MusicFileKind::None) {
    return "music plays from .mp3 and .wav files only: " + options.file;
  }
  choice.mode = 2;
  choice.file = options.file;
  return "";
}
