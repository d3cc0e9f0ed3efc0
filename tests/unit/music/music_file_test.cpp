#include <gtest/gtest.h>

#include "param_names.h"

#include "music_run.h"

namespace {

const std::string kDosSong = "C:\\My Music\\night song.mp3";
const std::string kDosWave = "C:\\My Music\\loop.wav";

struct KindCase {
  const char* file;
  MusicFileKind kind;
};

class MusicFileKindTest : public ::testing::TestWithParam<KindCase> {};

TEST_P(MusicFileKindTest, LastThreeCharactersWithoutCase) {
  EXPECT_EQ(musicFileKind(GetParam().file), GetParam().kind) << GetParam().file;
}

INSTANTIATE_TEST_SUITE_P(Endings, MusicFileKindTest,
                         ::testing::Values(KindCase{"C:\\a\\song.mp3", MusicFileKind::Mp3},
                                           KindCase{"C:\\a\\song.Mp3", MusicFileKind::Mp3},
                                           KindCase{"C:\\a\\songmp3", MusicFileKind::Mp3},
                                           KindCase{"C:\\a\\LOOP.WAV", MusicFileKind::Wav},
                                           KindCase{"C:\\a\\song.wma", MusicFileKind::None},
                                           KindCase{"C:\\a\\loop.wave", MusicFileKind::None},
                                           KindCase{"mp", MusicFileKind::None},
                                           KindCase{"", MusicFileKind::None}),
    [](const ::testing::TestParamInfo<KindCase>& info) { return testnames::fromText(info.param.file); });

TEST(Mp3Run, PlaysRestartsAfterItsEndAndClosesAtTheEnd) {
  MusicRun run(2, kDosSong);
  run.mm.mp3.audioFiles = {kDosSong};

  EXPECT_EQ(run.steps(&MusicRun::load),
            (Log{"open \"" + kDosSong + "\" type MPEGVideo Alias MP3Play", "play MP3Play"}));
  EXPECT_TRUE(run.timers.timer1);
  EXPECT_FALSE(run.timers.timer2);

  EXPECT_EQ(run.steps(&MusicRun::tick1), (Log{"status MP3Play mode [30]"}));

  run.mm.mp3.playing = false;  // the file has reached its end
  EXPECT_EQ(run.steps(&MusicRun::tick1),
            (Log{"status MP3Play mode [30]", "stop MP3Play", "play MP3Play from 0"}));
  EXPECT_TRUE(run.mm.mp3.playing);
  EXPECT_EQ(run.steps(&MusicRun::tick1), (Log{"status MP3Play mode [30]"}));

  EXPECT_EQ(run.steps(&MusicRun::end), (Log{"stop MP3Play", "close MP3Play"}));
  EXPECT_FALSE(run.timers.timer1);
  EXPECT_FALSE(run.mm.mp3.open);
}

// A file the multimedia system cannot open (not audio, a folder, a path too long for it)
// plays nothing, is retried every second without effect, and the run goes on to its end.
TEST(Mp3Run, FileThatDoesNotOpenIsRetriedQuietly) {
  const std::string longPath = "C:\\" + std::string(300, 'x') + ".mp3";
  for (const std::string& file : {std::string("C:\\notes\\readme.mp3"), std::string("C:\\albums\\live.mp3"), longPath}) {
    MusicRun run(2, file);
    EXPECT_EQ(run.steps(&MusicRun::load), (Log{"open \"" + file + "\" type MPEGVideo Alias MP3Play"}));
    EXPECT_EQ(run.LastApiResult, std::int32_t(kErrCannotOpen));
    EXPECT_TRUE(run.timers.timer1);
    for (int second = 0; second < 3; ++second) {
      EXPECT_EQ(run.steps(&MusicRun::tick1),
                (Log{"status MP3Play mode [30]", "stop MP3Play", "play MP3Play from 0"}));
    }
    EXPECT_EQ(run.steps(&MusicRun::end), (Log{"stop MP3Play", "close MP3Play"}));
  }
}

TEST(Mp3Run, FailedModeQueryIsNotTakenForTheEarlierPlaying) {
  MusicRun run(2, kDosSong);
  run.mm.mp3.audioFiles = {kDosSong};
  run.load();
  EXPECT_TRUE(run.bgm.IsMp3Playing());
  run.mm.scripted["status MP3Play mode"] = {kErrInvalidDevice, ""};
  EXPECT_FALSE(run.bgm.IsMp3Playing());
  EXPECT_EQ(run.LastApiResult, std::int32_t(kErrInvalidDevice));
}

TEST(Mp3Run, ModeReplyFillingTheWholeBufferIsReadWithinIt) {
  MusicRun run(2, kDosSong);
  run.mm.scripted["status MP3Play mode"] = {0, "playing" + std::string(40, '!')};
  EXPECT_TRUE(run.bgm.IsMp3Playing());
  run.mm.scripted["status MP3Play mode"] = {0, "paused" + std::string(40, ' ')};
  EXPECT_FALSE(run.bgm.IsMp3Playing());
}

TEST(WavRun, LoopsAsAsyncSoundAndStopsAtTheEnd) {
  MusicRun run(2, kDosWave);
  EXPECT_EQ(run.steps(&MusicRun::load), (Log{"waveOutGetNumDevs", "PlaySound " + kDosWave + " 11"}));
  EXPECT_EQ(run.mm.loopingSound, kDosWave);
  EXPECT_FALSE(run.timers.timer1);
  EXPECT_FALSE(run.timers.timer2);
  EXPECT_EQ(run.LastApiResult, 1);
  EXPECT_EQ(run.steps(&MusicRun::end), (Log{"PlaySound (null) 0"}));
  EXPECT_EQ(run.mm.loopingSound, "");
}

// A damaged file plays nothing, rather than the system's default sound over and over.
TEST(WavRun, ADamagedFileLoopsNoSystemSound) {
  MusicRun run(2, kDosWave);
  run.mm.unplayableSounds = {kDosWave};
  run.load();
  EXPECT_EQ(run.mm.loopingSound, "");
}

// Without a wave device nothing plays; the end still sends its harmless stop.
TEST(WavRun, NoWaveDeviceMeansSilence) {
  MusicRun run(2, kDosWave);
  run.mm.waveDevices = 0;
  EXPECT_EQ(run.steps(&MusicRun::load), (Log{"waveOutGetNumDevs"}));
  EXPECT_EQ(run.mm.loopingSound, "");
  EXPECT_EQ(run.steps(&MusicRun::end), (Log{"PlaySound (null) 0"}));
}

// A name that the system also knows as a sound alias, or one far beyond a path's usual
// length, is handed over unchanged; what the system makes of it is its own affair.
TEST(WavRun, AliasLikeAndOverlongNamesGoOutUnchanged) {
  const std::string longPath = "C:\\" + std::string(300, 'w') + ".wav";
  for (const std::string& file : {std::string("SystemStart.wav"), longPath}) {
    MusicRun run(2, file);
    EXPECT_EQ(run.steps(&MusicRun::load), (Log{"waveOutGetNumDevs", "PlaySound " + file + " 11"}));
    EXPECT_EQ(run.steps(&MusicRun::end), (Log{"PlaySound (null) 0"}));
  }
}

// Mode 0, unknown modes and files of other kinds make a run with no music at all.
TEST(SilentRun, NoMusicNoTimersNoCommands) {
  const std::pair<std::int16_t, std::string> cases[] = {
      {0, kDosSong}, {3, kDosSong}, {-1, kDosWave}, {2, "C:\\a\\song.wma"}, {2, "C:\\a\\loop.wave"}, {2, ""}};
  for (const auto& c : cases) {
    MusicRun run(c.first, c.second);
    run.load();
    run.tick1();
    run.tick2();
    run.end();
    EXPECT_TRUE(run.mm.log.empty()) << c.first << " " << c.second;
    EXPECT_FALSE(run.timers.timer1);
    EXPECT_FALSE(run.timers.timer2);
  }
}

}  // namespace
