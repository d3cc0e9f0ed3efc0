// What a run's music plays: the program hands its own values in (the Windows host its
// settings, the native program its options); the music keeps no program-wide values.
#pragma once

#include <cstdint>
#include <string>

struct MusicChoice {
  std::int16_t mode = 0;    // 0 no music, 1 audio CD, 2 music file; other values play nothing
  std::int16_t repeat = 0;  // CD track to repeat, from 1; 0 the whole disc
  std::string file;         // full path of the MP3 or WAV file, empty for none
};
