#include <gtest/gtest.h>

#include "music_run.h"

namespace {

const Log kOpen = {"open cdaudio", "set cdaudio time format tmsf"};
const Log kStatusOnly = {"status cdaudio current track [512]", "status cdaudio number of tracks [512]",
                         "status cdaudio mode [255]"};
const Log kClose = {"stop cdaudio", "close cdaudio"};

Log plus(Log a, const Log& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(CdRun, WholeDiscPlaysOnceThenOnlyStatus) {
  MusicRun run(1, "", 0);
  EXPECT_EQ(run.steps(&MusicRun::load), kOpen);
  EXPECT_TRUE(run.timers.timer2);
  EXPECT_FALSE(run.timers.timer1);

  EXPECT_EQ(run.steps(&MusicRun::tick2), plus(kStatusOnly, {"play cdaudio [512]"}));
  EXPECT_TRUE(run.mm.cd.playing);
  for (int poll = 0; poll < 3; ++poll) {
    EXPECT_EQ(run.steps(&MusicRun::tick2), kStatusOnly);
    run.mm.cd.trackEnds();  // the disc goes on track by track
  }
  EXPECT_EQ(run.bgm.CdPollActive, -1);
  EXPECT_EQ(run.steps(&MusicRun::end), kClose);
  EXPECT_FALSE(run.timers.timer2);
  EXPECT_FALSE(run.mm.cd.open);
}

TEST(CdRun, ChosenTrackIsRestartedWhenTheNextOneBegins) {
  MusicRun run(1, "", 3);
  run.load();
  run.mm.cd.current = 3;
  run.mm.cd.playing = true;
  EXPECT_EQ(run.steps(&MusicRun::tick2), kStatusOnly);

  run.mm.cd.trackEnds();
  EXPECT_EQ(run.steps(&MusicRun::tick2),
            plus(kStatusOnly, {"status cdaudio position track 3 [512]", "play cdaudio from 03:00:00:00 [512]"}));
  EXPECT_EQ(run.mm.cd.current, 3);
  EXPECT_EQ(run.steps(&MusicRun::tick2), kStatusOnly);
}

// The last track of the disc ends with the drive stopped; the chosen track starts again.
TEST(CdRun, ChosenLastTrackIsRestartedAfterTheDriveStops) {
  MusicRun run(1, "", 5);
  run.load();
  run.tick2();
  EXPECT_TRUE(run.mm.cd.playing);
  EXPECT_EQ(run.mm.cd.current, 5);
  run.mm.cd.trackEnds();
  EXPECT_FALSE(run.mm.cd.playing);
  EXPECT_EQ(run.steps(&MusicRun::tick2),
            plus(kStatusOnly, {"status cdaudio position track 5 [512]", "play cdaudio from 05:00:00:00 [512]"}));
  EXPECT_TRUE(run.mm.cd.playing);
}

// A track the disc does not have (3 on a two-track disc, a negative one, any on a disc with no
// tracks) never plays: a failing play follows every poll, polling goes on, and the end closes.
TEST(CdRun, MissingTrackFailsEveryPollButPollingGoesOn) {
  const std::pair<int, std::int16_t> cases[] = {{2, 3}, {5, -2}, {0, 1}};
  for (const auto& c : cases) {
    MusicRun run(1, "", c.second);
    run.mm.cd.tracks = c.first;
    run.load();
    const std::string position = "status cdaudio position track " + std::to_string(c.second);
    for (int poll = 0; poll < 3; ++poll) {
      EXPECT_EQ(run.steps(&MusicRun::tick2),
                plus(kStatusOnly, {position + " [512]", "error text 282 [256]", "play cdaudio from Error:282 [512]",
                                   "error text 274 [256]"}));
      EXPECT_TRUE(run.timers.timer2);
    }
    EXPECT_FALSE(run.mm.cd.playing);
    EXPECT_EQ(run.steps(&MusicRun::end), kClose);
  }
}

TEST(CdRun, DiscWithNoTracksKeepsFailingToPlayTheWholeDisc) {
  MusicRun run(1, "", 0);
  run.mm.cd.tracks = 0;
  run.mm.cd.current = 0;
  run.load();
  run.tick2();
  EXPECT_EQ(run.steps(&MusicRun::tick2), plus(kStatusOnly, {"play cdaudio [512]", "error text 282 [256]"}));
  EXPECT_TRUE(run.timers.timer2);
  EXPECT_EQ(run.steps(&MusicRun::end), kClose);
}

// No disc or no drive: the first track query fails, polling ends, and the end leaves the
// drive alone.
TEST(CdRun, NoDiscOrDriveEndsPollingAndSkipsTheClose) {
  for (FakeCd::Drive drive : {FakeCd::Drive::Empty, FakeCd::Drive::None}) {
    MusicRun run(1, "", 0);
    run.mm.cd.drive = drive;
    run.load();
    EXPECT_TRUE(run.timers.timer2);
    const Log poll = run.steps(&MusicRun::tick2);
    ASSERT_EQ(poll.size(), 2u);
    EXPECT_EQ(poll[0], "status cdaudio current track [512]");
    EXPECT_EQ(run.bgm.CdPollActive, 0);
    EXPECT_FALSE(run.timers.timer2);
    EXPECT_TRUE(run.steps(&MusicRun::tick2).empty());
    EXPECT_TRUE(run.steps(&MusicRun::end).empty());
  }
}

TEST(CdRun, TrackCountFailureEndsPolling) {
  MusicRun run(1, "", 0);
  run.load();
  run.mm.scripted["status cdaudio number of tracks"] = {kErrNotReady, ""};
  const Log poll = run.steps(&MusicRun::tick2);
  EXPECT_EQ(poll.back(), "error text 262 [256]");
  EXPECT_EQ(run.bgm.CdPollActive, 0);
  EXPECT_FALSE(run.timers.timer2);
}

// A current-track reply that is not a number stops the poll when a track is chosen, even with
// the drive stopped; for the whole disc the reply is never read as a number.
TEST(CdRun, NonNumericTrackReply) {
  MusicRun chosen(1, "", 2);
  chosen.mm.cd.currentTrackReply = "two";
  chosen.load();
  EXPECT_EQ(chosen.steps(&MusicRun::tick2), kStatusOnly);
  EXPECT_EQ(chosen.bgm.CdPollActive, 0);
  EXPECT_FALSE(chosen.timers.timer2);
  EXPECT_TRUE(chosen.steps(&MusicRun::end).empty());

  MusicRun whole(1, "", 0);
  whole.mm.cd.currentTrackReply = "two";
  whole.load();
  EXPECT_EQ(whole.steps(&MusicRun::tick2), plus(kStatusOnly, {"play cdaudio [512]"}));
  EXPECT_EQ(whole.bgm.CdPollActive, -1);

  // Blanks around a number are no obstacle.
  MusicRun padded(1, "", 2);
  padded.mm.cd.currentTrackReply = " 2 ";
  padded.mm.cd.playing = true;
  padded.load();
  EXPECT_EQ(padded.steps(&MusicRun::tick2), kStatusOnly);
  EXPECT_EQ(padded.bgm.CdPollActive, -1);
}

// The mode reply fills its 255-character buffer without a NUL: read within the buffer.
TEST(CdRun, ModeReplyIsReadWithinItsBuffer) {
  MusicRun run(1, "", 0);
  run.load();
  run.mm.scripted["status cdaudio mode"] = {0, "stopped" + std::string(300, 'x')};
  EXPECT_EQ(run.steps(&MusicRun::tick2), plus(kStatusOnly, {"play cdaudio [512]"}));
}

}  // namespace
