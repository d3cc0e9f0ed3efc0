// The run window's music timers as deadlines, driving the run's music code.
#include <gtest/gtest.h>

#include <cmath>

#include "music_run.h"
#include "timed_run.h"

namespace {

struct Timed {
  FakeMultimedia mm;
  MusicChoice choice;
  std::int32_t lastApiResult = 0;
  Glassfall_BGM bgm{mm, choice, lastApiResult};
  MusicRunHooks hooks{bgm};
  TimedMusicRun run{hooks};

  Timed(std::int16_t mode, const std::string& file, std::int16_t repeat = 0) {
    choice = {mode, repeat, file};
  }
  // How many times `command` was sent since the log index `from`.
  int count(const std::string& command, std::size_t from = 0) const {
    int n = 0;
    for (std::size_t i = from; i < mm.log.size(); ++i) n += mm.log[i] == command;
    return n;
  }
};

TEST(TimedMusicRun, FileWatchFiresEverySecondAndNeverInABurst) {
  Timed t(2, "/music/song.mp3");
  t.mm.mp3.audioFiles = {"/music/song.mp3"};
  t.run.load(100.0);
  EXPECT_DOUBLE_EQ(t.run.nextDue(), 101.0);
  t.run.tick(100.9);
  EXPECT_EQ(t.count("status MP3Play mode [30]"), 0);
  t.run.tick(101.0);
  EXPECT_EQ(t.count("status MP3Play mode [30]"), 1);
  EXPECT_DOUBLE_EQ(t.run.nextDue(), 102.0);
  // Five seconds late: one tick, and the next a second after it.
  t.run.tick(107.0);
  EXPECT_EQ(t.count("status MP3Play mode [30]"), 2);
  EXPECT_DOUBLE_EQ(t.run.nextDue(), 108.0);
  t.run.end();
  EXPECT_TRUE(std::isinf(t.run.nextDue()));
  EXPECT_EQ(t.mm.log.back(), "close MP3Play");
}

TEST(TimedMusicRun, CdPollEveryFifthOfASecondUntilItFails) {
  Timed t(1, "", 0);
  t.run.load(0.0);
  EXPECT_DOUBLE_EQ(t.run.nextDue(), 0.2);
  t.run.tick(0.2);
  EXPECT_EQ(t.mm.log.back(), "play cdaudio [512]");
  t.run.tick(0.3);
  EXPECT_EQ(t.count("status cdaudio mode [255]"), 1);
  // The poll that keeps the timer on does not push it back.
  t.run.tick(0.4);
  EXPECT_NEAR(t.run.nextDue(), 0.6, 1e-9);
  t.mm.cd.drive = FakeCd::Drive::Empty;  // the disc is taken out
  t.run.tick(0.7);
  EXPECT_FALSE(t.run.isEnabled(RunTimer::Timer2));
  EXPECT_TRUE(std::isinf(t.run.nextDue()));
  const std::size_t before = t.mm.log.size();
  t.run.tick(10.0);
  EXPECT_EQ(t.mm.log.size(), before);
}

}  // namespace
