// The GStreamer side on the real GStreamer, into a fake sink that keeps real time: files
// that play and loop, files that cannot play, and the background thread's hold on the lock.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <thread>

#include "background_music.h"
#include "gstreamer_audio.h"

namespace {

using Clock = std::chrono::steady_clock;

void put16(std::ofstream& out, std::uint16_t v) { out.put(char(v & 0xFF)).put(char(v >> 8)); }
void put32(std::ofstream& out, std::uint32_t v) {
  put16(out, std::uint16_t(v & 0xFFFF));
  put16(out, std::uint16_t(v >> 16));
}

// A mono 16-bit WAV of a sine tone.
void writeTone(const std::string& path, double seconds, double hertz) {
  const std::uint32_t rate = 22050, samples = std::uint32_t(seconds * rate);
  std::ofstream out(path, std::ios::binary);
  out.write("RIFF", 4);
  put32(out, 36 + samples * 2);
  out.write("WAVEfmt ", 8);
  put32(out, 16);
  put16(out, 1);
  put16(out, 1);
  put32(out, rate);
  put32(out, rate * 2);
  put16(out, 2);
  put16(out, 16);
  out.write("data", 4);
  put32(out, samples * 2);
  for (std::uint32_t i = 0; i < samples; ++i) {
    put16(out, std::uint16_t(std::int16_t(12000 * std::sin(2 * M_PI * hertz * i / rate))));
  }
}

struct GstAudioTest : ::testing::Test {
  std::string dir;
  void SetUp() override {
    char pattern[] = "/tmp/gfgst-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    for (const char* name : {"tone.wav", "text.wav", "random.mp3", "empty.mp3", "glassfall-music.lock"}) {
      unlink((dir + "/" + name).c_str());
    }
    rmdir((dir + "/folder.mp3").c_str());
    rmdir(dir.c_str());
  }
};

TEST_F(GstAudioTest, FilePlaysOnPastItsEndAndPauses) {
  writeTone(dir + "/tone.wav", 0.2, 440);
  GstAudioDevices devices("fakesink sync=true");
  EXPECT_EQ(devices.outputCount(), 1);
  auto stream = devices.newStream();
  ASSERT_TRUE(stream->open(dir + "/tone.wav"));
  EXPECT_FALSE(stream->playing());
  stream->play();
  // Three times the file's length, and it never stopped: it looped.
  const auto until = Clock::now() + std::chrono::milliseconds(600);
  while (Clock::now() < until) {
    ASSERT_TRUE(stream->playing());
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    devices.service();  // as the music thread does when woken
  }
  stream->rewind();
  EXPECT_TRUE(stream->playing());
  stream->pause();
  EXPECT_FALSE(stream->playing());
}

TEST_F(GstAudioTest, WhatIsNotPlayableFailsToOpen) {
  {
    std::ofstream text(dir + "/text.wav");
    text << "this is not audio\n";
    std::ofstream random(dir + "/random.mp3", std::ios::binary);
    std::uint32_t x = 12345;
    for (int i = 0; i < 64 * 1024; ++i) {
      x = x * 1664525u + 1013904223u;
      random.put(char(x >> 24));
    }
    std::ofstream empty(dir + "/empty.mp3");
  }
  ASSERT_EQ(mkdir((dir + "/folder.mp3").c_str(), 0700), 0);
  GstAudioDevices devices("fakesink sync=true");
  // The files are no audio; a folder or nothing at all is not for the stream to say.
  for (auto [name, notAudio] : {std::pair<const char*, bool>{"/text.wav", true}, {"/random.mp3", true},
                                {"/empty.mp3", true}, {"/folder.mp3", false}, {"/missing.mp3", false}}) {
    auto stream = devices.newStream();
    EXPECT_FALSE(stream->open(dir + name)) << name;
    EXPECT_EQ(stream->notAudio(), notAudio) << name;
    stream->play();
    EXPECT_FALSE(stream->playing()) << name;
  }
}

TEST_F(GstAudioTest, CancelCutsTheWaitForAFileShort) {
  writeTone(dir + "/tone.wav", 0.2, 440);
  std::atomic<bool> cancel{true};
  GstAudioDevices devices("fakesink sync=true", &cancel);
  // Whether or not the file got ready first, the answer comes at once.
  const auto start = Clock::now();
  devices.newStream()->open(dir + "/tone.wav");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));
}

// Whether some other open file holds the lock on `path`; never keeps it.
bool lockedElsewhere(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  const bool free = flock(fd, LOCK_EX | LOCK_NB) == 0;
  close(fd);  // lets go at once if it was taken here
  return !free;
}

// The music thread holds the lock while it plays and gives it up when stopped, promptly.
TEST_F(GstAudioTest, BackgroundMusicHoldsTheLockUntilStopped) {
  const std::string lockPath = dir + "/glassfall-music.lock";
  // Nothing to hear; the election is what counts here.
  const MusicChoice choice{2, 0, dir + "/missing.wav"};
  BackgroundMusic music;
  music.start(lockPath, choice);
  const auto giveUp = Clock::now() + std::chrono::seconds(10);
  while (!lockedElsewhere(lockPath) && Clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(lockedElsewhere(lockPath)) << "the music thread should hold the lock";
  const auto stopAt = Clock::now();
  music.stop();
  EXPECT_LT(Clock::now() - stopAt, std::chrono::milliseconds(500));
  EXPECT_FALSE(lockedElsewhere(lockPath));
}

// A music file that is a pipe with no writer: GStreamer's open of it does not return. stop()
// gives up within its bound and says so, and the thread, left to itself, ends later on its
// own when the pipe gets a writer and closes.
TEST_F(GstAudioTest, StopGivesUpOnAThreadThatIsStuckAndSaysSo) {
  const std::string lockPath = dir + "/glassfall-music.lock";
  const std::string pipe = dir + "/stuck.wav";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const MusicChoice choice{2, 0, pipe};
  {
    BackgroundMusic music;
    music.start(lockPath, choice);
    // A writer can open the pipe only once the music thread has opened it to read.
    int writer = -1;
    const auto giveUp = Clock::now() + std::chrono::seconds(20);
    while (writer < 0 && Clock::now() < giveUp) {
      writer = open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (writer < 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_GE(writer, 0) << "the music thread never opened the file";
    // Now it waits for the file's first bytes, which do not come.
    const auto stopAt = Clock::now();
    EXPECT_FALSE(music.stop(std::chrono::milliseconds(200)));
    const auto took = Clock::now() - stopAt;
    EXPECT_GE(took, std::chrono::milliseconds(190));
    EXPECT_LT(took, std::chrono::milliseconds(400));
    EXPECT_TRUE(music.leftRunning());
    EXPECT_FALSE(music.stop()) << "asked again, it still says so";
    EXPECT_TRUE(lockedElsewhere(lockPath)) << "the thread still holds the lock";
    close(writer);
  }
  // The object is gone; the thread comes out of its wait, finds the stop and lets go.
  const auto giveUp = Clock::now() + std::chrono::seconds(20);
  while (lockedElsewhere(lockPath) && Clock::now() < giveUp) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(lockedElsewhere(lockPath));
  unlink(pipe.c_str());
}

// A thread that finishes in time is joined, and stop() says so.
TEST_F(GstAudioTest, StopWithinItsBoundJoinsTheThread) {
  writeTone(dir + "/tone.wav", 0.3, 440);
  const MusicChoice choice{2, 0, dir + "/tone.wav"};
  BackgroundMusic music;
  EXPECT_TRUE(music.stop()) << "nothing started";
  music.start(dir + "/glassfall-music.lock", choice);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(music.stop(std::chrono::seconds(5)));
  EXPECT_FALSE(music.leftRunning());
}

}  // namespace
