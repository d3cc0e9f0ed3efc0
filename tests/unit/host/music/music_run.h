// One screensaver run's music over the fake multimedia interface: the run window's load,
// its timer ticks (only while a timer is on, as the window does) and its end.
#pragma once

#include "bgm.h"
#include "fake_multimedia.h"
#include "music_settings.h"

// The music values a run plays from, and the results of the calls before it cleared.
inline void setMusicValues(std::int16_t mode, const std::string& file, std::int16_t repeat) {
  BgmMode = mode;
  BgmFile = file;
  BgmRepeat = repeat;
  LastApiResult = 0;
  CdPollActive = 0;
}

struct MusicRun {
  FakeMultimedia mm;
  Glassfall_BGM bgm{mm};
  MusicRunHooks hooks{bgm};
  FakeTimers timers;

  MusicRun(std::int16_t mode, const std::string& file, std::int16_t repeat = 0) {
    setMusicValues(mode, file, repeat);
  }
  void load() { hooks.onLoad(timers); }
  void tick1() {
    if (timers.timer1) hooks.onTimer1(timers);
  }
  void tick2() {
    if (timers.timer2) hooks.onTimer2(timers);
  }
  void end() { hooks.onEnd(timers); }
  std::vector<std::string> steps(void (MusicRun::*step)()) {
    const std::size_t from = mm.log.size();
    (this->*step)();
    return mm.since(from);
  }
};

using Log = std::vector<std::string>;
