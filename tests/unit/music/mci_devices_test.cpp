// The multimedia command strings carried out on a platform's own sound system, alone and
// under the run's music code.
#include <gtest/gtest.h>

#include "bgm.h"
#include "fake_audio_devices.h"
#include "mci_devices.h"
#include "music_run.h"

namespace {

const std::string kSong = "/home/mio/My Music/\"night\" song.mp3";
const std::string kWave = "/home/mio/loop.wav";

struct MciDevicesTest : ::testing::Test {
  FakeAudioDevices devices;
  MciDevices mci{devices};
  char reply[64] = {};

  std::uint32_t send(const std::string& command) {
    std::fill(std::begin(reply), std::end(reply), '\0');
    return mci.mciSend(command.c_str(), reply, sizeof reply, nullptr);
  }
  std::string answer(const std::string& command) {
    const std::uint32_t result = send(command);
    return result == 0 ? std::string(reply) : "error " + std::to_string(result);
  }
};

TEST_F(MciDevicesTest, MusicFileUnderItsAliasPlaysStopsAndCloses) {
  devices.playable = {kSong};
  // The name keeps its blanks and its own quotes: it runs to the last quote.
  EXPECT_EQ(send("open \"" + kSong + "\" type MPEGVideo Alias MP3Play"), 0u);
  ASSERT_EQ(devices.live().size(), 1u);
  EXPECT_EQ(devices.live()[0]->path, kSong);
  EXPECT_EQ(answer("status MP3Play mode"), "stopped");
  EXPECT_EQ(send("play MP3Play"), 0u);
  EXPECT_EQ(answer("STATUS mp3play MODE"), "playing");
  EXPECT_EQ(send("stop MP3Play"), 0u);
  EXPECT_EQ(answer("status MP3Play mode"), "stopped");
  EXPECT_EQ(send("play MP3Play from 0"), 0u);
  EXPECT_EQ(devices.live()[0]->rewinds, 1);
  EXPECT_EQ(answer("status MP3Play mode"), "playing");
  EXPECT_EQ(send("close MP3Play"), 0u);
  EXPECT_TRUE(devices.live().empty());
  EXPECT_EQ(answer("status MP3Play mode"), "error 263");
}

TEST_F(MciDevicesTest, FileCommandsThatCannotBeCarriedOut) {
  devices.playable = {kSong};
  EXPECT_EQ(send("open \"/nowhere/gone.mp3\" type MPEGVideo Alias MP3Play"), kMciErrInvalidFile);
  EXPECT_EQ(answer("play MP3Play"), "error 263") << "a failed open leaves no device";
  EXPECT_EQ(send("open \"" + kSong + "\" type MPEGVideo Alias MP3Play"), 0u);
  EXPECT_EQ(send("open \"" + kSong + "\" type MPEGVideo Alias MP3Play"), kMciErrDuplicateAlias);
  EXPECT_EQ(devices.live().size(), 1u);
  EXPECT_EQ(send("play MP3Play from 1500"), kMciErrUnsupportedFunction);
  EXPECT_EQ(send("status MP3Play length"), kMciErrUnsupportedFunction);
  EXPECT_EQ(send("seek MP3Play to start"), kMciErrUnrecognizedCommand);
  EXPECT_EQ(send("open \"" + kSong), kMciErrUnsupportedFunction) << "no alias";
  EXPECT_EQ(send("open \"" + kSong + "\" alias"), kMciErrUnsupportedFunction);
  EXPECT_EQ(send("open \""), kMciErrUnrecognizedCommand);
  EXPECT_EQ(send(""), kMciErrUnrecognizedCommand);
  EXPECT_EQ(send("   "), kMciErrUnrecognizedCommand);
  EXPECT_EQ(mci.mciSend(nullptr, nullptr, 0, nullptr), kMciErrUnrecognizedCommand);
}

TEST_F(MciDevicesTest, ReplyIsCutToItsBuffer) {
  devices.playable = {kSong};
  send("open \"" + kSong + "\" type MPEGVideo Alias MP3Play");
  send("play MP3Play");
  char small[4] = {'x', 'x', 'x', 'x'};
  EXPECT_EQ(mci.mciSend("status MP3Play mode", small, sizeof small, nullptr), 0u);
  EXPECT_EQ(std::string(small), "pla");
  // No buffer at all is fine too.
  EXPECT_EQ(mci.mciSend("status MP3Play mode", nullptr, 0, nullptr), 0u);
}

TEST_F(MciDevicesTest, CdDriveAnswersTheQueriesOfThePoll) {
  EXPECT_EQ(send("open cdaudio"), 0u);
  EXPECT_EQ(send("set cdaudio time format tmsf"), 0u);
  EXPECT_EQ(send("set cdaudio time format ms"), kMciErrUnsupportedFunction);
  EXPECT_EQ(answer("status cdaudio current track"), "1");
  EXPECT_EQ(answer("status cdaudio number of tracks"), "5");
  EXPECT_EQ(answer("status cdaudio mode"), "stopped");
  EXPECT_EQ(answer("status cdaudio position track 3"), "03:00:00:00");
  EXPECT_EQ(answer("status cdaudio position track 6"), "error 282");
  EXPECT_EQ(answer("status cdaudio position track -2"), "error 282");
  EXPECT_EQ(answer("status cdaudio position track three"), "error 270");

  EXPECT_EQ(send("play cdaudio from 03:00:00:00"), 0u);
  EXPECT_EQ(answer("status cdaudio current track"), "3");
  EXPECT_EQ(answer("status cdaudio mode"), "playing");
  EXPECT_EQ(send("play cdaudio from Error:282"), kMciErrBadInteger);
  EXPECT_EQ(send("play cdaudio from 09:00:00:00"), kMciErrOutOfRange);
  EXPECT_EQ(send("stop cdaudio"), 0u);
  EXPECT_EQ(send("play cdaudio"), 0u) << "on from where the drive stands";
  EXPECT_EQ(devices.log.back(), "cd play 3");
  EXPECT_EQ(send("close cdaudio"), 0u);
  EXPECT_EQ(devices.log.back(), "cd closed");
  EXPECT_EQ(answer("status cdaudio mode"), "error 263");
}

TEST_F(MciDevicesTest, NoDiscOrNoDrive) {
  devices.discTracks = -1;
  EXPECT_EQ(send("open cdaudio"), 0u);
  EXPECT_EQ(answer("status cdaudio current track"), "error 276");
  EXPECT_EQ(answer("status cdaudio number of tracks"), "error 276");
  EXPECT_EQ(answer("status cdaudio mode"), "not ready");
  EXPECT_EQ(send("play cdaudio"), kMciErrDeviceNotReady);
  send("close cdaudio");

  devices.cdDrive = false;
  EXPECT_EQ(send("open cdaudio"), kMciErrCannotLoadDriver);
  EXPECT_EQ(answer("status cdaudio current track"), "error 263");
}

TEST_F(MciDevicesTest, LoopingSoundStartsAndStops) {
  devices.playable = {kWave};
  EXPECT_EQ(mci.waveOutGetNumDevs(), 1u);
  EXPECT_EQ(mci.playSound(kWave.c_str(), nullptr, kSndAsync | kSndLoop), 1);
  ASSERT_EQ(devices.live().size(), 1u);
  EXPECT_TRUE(devices.live()[0]->playing);
  // A new sound replaces the old one; none stops it.
  EXPECT_EQ(mci.playSound(kWave.c_str(), nullptr, kSndAsync | kSndLoop), 1);
  EXPECT_EQ(devices.live().size(), 1u);
  EXPECT_EQ(mci.playSound(nullptr, nullptr, 0), 1);
  EXPECT_TRUE(devices.live().empty());

  EXPECT_EQ(mci.playSound("/home/mio/notes.wav", nullptr, kSndAsync | kSndLoop), 0);
  EXPECT_EQ(mci.playSound(kWave.c_str(), nullptr, kSndAsync), 0) << "sounds played once are not offered";
  EXPECT_TRUE(devices.live().empty());
  devices.outputs = 0;
  EXPECT_EQ(mci.waveOutGetNumDevs(), 0u);
}

// The run's music code over these devices: what a user of the native program hears.
struct DeviceRun {
  FakeAudioDevices devices;
  double now = 0;  // the interpreter's clock, in seconds
  std::vector<std::string> notes;
  MciDevices mci{devices, [this] { return now; }, [this](const std::string& line) { notes.push_back(line); }};
  MusicChoice choice;
  std::int32_t lastApiResult = 0;
  Glassfall_BGM bgm{mci, choice, lastApiResult};
  MusicRunHooks hooks{bgm};
  FakeTimers timers;

  DeviceRun(std::int16_t mode, const std::string& file, std::int16_t repeat = 0) {
    choice = {mode, repeat, file};
    devices.playable = {kSong, kWave};
  }
  void tick1() {
    if (timers.timer1) hooks.onTimer1(timers);
  }
  void tick2() {
    if (timers.timer2) hooks.onTimer2(timers);
  }
};

TEST(DeviceRun, Mp3LoopsByItselfIsRestartedAfterAFailureAndEndsSilent) {
  DeviceRun run(2, kSong);
  run.hooks.onLoad(run.timers);
  ASSERT_EQ(run.devices.live().size(), 1u);
  auto stream = run.devices.live()[0];
  EXPECT_TRUE(stream->playing);
  for (int second = 0; second < 3; ++second) run.tick1();
  EXPECT_EQ(stream->rewinds, 0) << "a playing loop is left alone";

  stream->failed = true;  // e.g. the sound server went away for a moment
  run.tick1();
  EXPECT_EQ(stream->rewinds, 1);
  EXPECT_TRUE(stream->playing && !stream->failed);

  stream.reset();
  run.hooks.onEnd(run.timers);
  EXPECT_TRUE(run.devices.live().empty());
}

TEST(DeviceRun, UnplayableFileStaysSilentThroughTheRun) {
  for (const std::string& file : {std::string("/home/mio/readme.mp3"), std::string("/home/mio/readme.wav")}) {
    DeviceRun run(2, file);
    run.hooks.onLoad(run.timers);
    for (int second = 0; second < 3; ++second) run.tick1();
    run.hooks.onEnd(run.timers);
    EXPECT_TRUE(run.devices.streams.empty()) << file;
    EXPECT_EQ(run.devices.log.front(), "open " + file);
  }
}

TEST(DeviceRun, WholeDiscPlaysFromItsFirstTrackAndAgainAfterItsEnd) {
  DeviceRun run(1, "", 0);
  run.devices.discTracks = 2;
  run.hooks.onLoad(run.timers);
  run.tick2();
  EXPECT_EQ(run.devices.log.back(), "cd play 1");
  run.devices.cdTrackEnds();
  run.tick2();
  EXPECT_EQ(run.devices.cdCurrent, 2);
  EXPECT_EQ(run.devices.log.back(), "cd play 1") << "no new play while the disc goes on";
  run.devices.cdTrackEnds();
  EXPECT_FALSE(run.devices.cdPlaying);
  run.tick2();
  EXPECT_TRUE(run.devices.cdPlaying);
  EXPECT_EQ(run.devices.cdCurrent, 1);
  run.hooks.onEnd(run.timers);
  EXPECT_EQ(run.devices.log.back(), "cd closed");
  EXPECT_FALSE(run.devices.cdPlaying);
}

TEST(DeviceRun, ChosenTrackComesBackWhenTheNextBegins) {
  DeviceRun run(1, "", 3);
  run.hooks.onLoad(run.timers);
  run.tick2();
  EXPECT_EQ(run.devices.log.back(), "cd play 3");
  run.devices.cdTrackEnds();
  EXPECT_EQ(run.devices.cdCurrent, 4);
  run.tick2();
  EXPECT_EQ(run.devices.cdCurrent, 3);
  EXPECT_TRUE(run.devices.cdPlaying);
}

TEST(DeviceRun, NoDriveOrNoDiscEndsPollingQuietly) {
  for (bool drive : {false, true}) {
    DeviceRun run(1, "", 2);
    run.devices.cdDrive = drive;
    run.devices.discTracks = -1;
    run.hooks.onLoad(run.timers);
    run.tick2();
    EXPECT_FALSE(run.timers.timer2);
    const std::size_t logged = run.devices.log.size();
    run.hooks.onEnd(run.timers);
    // The drive object (if any) goes with the interpreter, never played.
    for (const std::string& line : run.devices.log) EXPECT_NE(line.rfind("cd play", 0), 0u) << line;
    EXPECT_EQ(run.devices.log.size(), logged);
  }
}

// With the sound output gone every retry fails at once: the file is built afresh after one
// second, then two, four, ... and a minute at most; once it plays through a whole wait, a
// new failure is retried at once again.
TEST(DeviceRun, FailingFileIsRetriedLessAndLessOftenUpToAMinute) {
  DeviceRun run(2, kSong);
  run.hooks.onLoad(run.timers);
  auto stream = run.devices.live()[0];
  stream->failed = true;
  std::vector<int> retries;
  for (int second = 1; second <= 600; ++second) {
    run.now = second;
    const int before = stream->rewinds;
    run.tick1();
    if (stream->rewinds != before) retries.push_back(second);
    if (second < 544) stream->failed = true;  // fails again at once, until the output is back
  }
  EXPECT_EQ(retries, (std::vector<int>{1, 2, 4, 8, 16, 32, 64, 124, 184, 244, 304, 364, 424, 484, 544}));
  EXPECT_TRUE(stream->playing && !stream->failed);

  stream->failed = true;  // a new failure after it played through its last wait
  run.now = 605;
  run.tick1();
  EXPECT_EQ(stream->rewinds, 16) << "retried at once";
  stream->failed = true;
  run.now = 605.5;
  run.tick1();
  EXPECT_EQ(stream->rewinds, 16) << "and then after a second, not before";
}

TEST(DeviceRun, FailingCdIsPlayedAgainLessAndLessOften) {
  DeviceRun run(1, "", 0);
  run.hooks.onLoad(run.timers);
  auto plays = [&run] {
    int n = 0;
    for (const std::string& line : run.devices.log) n += line.rfind("cd play", 0) == 0;
    return n;
  };
  // Five polls a second for two minutes; every play fails at once.
  for (int poll = 1; poll <= 600; ++poll) {
    run.now = poll / 5.0;
    run.tick2();
    run.devices.cdFailed = true;
  }
  EXPECT_TRUE(run.timers.timer2) << "a failing output does not end the polling";
  // The first play, then retries 1, 2, 4, 8, 16 and 32 s apart.
  EXPECT_EQ(plays(), 8);
}

TEST(DeviceRun, FileThatIsNoAudioIsNamedOnce) {
  for (const std::string& file : {std::string("/home/mio/random.mp3"), std::string("/home/mio/empty.wav")}) {
    DeviceRun run(2, file);
    run.devices.notAudio = {file};
    run.hooks.onLoad(run.timers);
    for (int second = 1; second <= 3; ++second) {
      run.now = second;
      run.tick1();
    }
    run.hooks.onEnd(run.timers);
    EXPECT_EQ(run.notes, std::vector<std::string>{"music file is not audio, nothing plays: " + file});
  }
  // Not playable for another reason (no sound output): nothing to say about the file.
  DeviceRun run(2, "/home/mio/fine.mp3");
  run.hooks.onLoad(run.timers);
  EXPECT_TRUE(run.notes.empty());
}

}  // namespace
