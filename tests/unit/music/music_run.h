// One screensaver run's music over the fake multimedia interface: the run window's load,
// its timer ticks (only while a timer is on, as the window does) and its end.
#pragma once

#include "bgm.h"
#include "fake_multimedia.h"

// What a program keeps for the music: the choice it plays and the last call's result.
struct MusicRun {
  MusicChoice choice;
  std::int32_t LastApiResult = 0;
  FakeMultimedia mm;
  Glassfall_BGM bgm{mm, choice, LastApiResult};
  MusicRunHooks hooks{bgm};
  FakeTimers timers;

  MusicRun(std::int16_t mode, const std::string& file, std::int16_t repeat = 0) {
    choice.mode = mode;
    choice.file = file;
    choice.repeat = repeat;
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
