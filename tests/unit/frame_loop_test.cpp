// Clock, restart count, window size fallbacks, keys and frame pacing.
#include <gtest/gtest.h>

#include <climits>

#include "frame_loop.h"
#include "gl_recorder.h"
#include "scene.h"

namespace {
std::time_t fixedTime() { return 1234567; }

class FrameLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sceneCalendarTime = fixedTime;
    gravity = 0.2f;
    elapsedTime = frameTime = 0;
    frameCount = 0;
    startClock(1000, 5000);
    resetScene();
    glrec::clear();
  }
};
}  // namespace

TEST_F(FrameLoopTest, ClockCountsFromStartAndFirstFrameTakesTheWholeWait) {
  advanceClock(5000 + 250);
  EXPECT_FLOAT_EQ(elapsedTime, 0.25f);
  EXPECT_FLOAT_EQ(frameTime, 0.25f);
  advanceClock(5000 + 300);
  EXPECT_FLOAT_EQ(elapsedTime, 0.3f);
  EXPECT_NEAR(frameTime, 0.05f, 1e-6);
}

TEST_F(FrameLoopTest, RestartsAfterEvery401FramesButNotOnKeyReset) {
  std::int64_t counter = 5000;
  // 401 frames at 10 ms: the cut at 1.4 s has happened, then the 401st frame resets.
  for (int frame = 1; frame <= 400; ++frame) {
    counter += 10;
    paintFrame(counter);
    EXPECT_FALSE(frameShown()) << frame;
  }
  EXPECT_EQ(pieceCount, 100);
  EXPECT_EQ(frameCount, 400);
  counter += 10;
  paintFrame(counter);
  EXPECT_TRUE(frameShown());
  EXPECT_EQ(pieceCount, 1);
  EXPECT_EQ(frameCount, 0);

  paintFrame(counter += 10);
  frameShown();
  handleSceneKey('r');
  EXPECT_EQ(frameCount, 1);  // "r" leaves the count alone
  // The cut waits 1.4 s from the last drawn frame, not from the clock start.
  EXPECT_FLOAT_EQ(lastCutTime, elapsedTime);
}

TEST_F(FrameLoopTest, KeysActInEitherCase) {
  handleSceneKey('S');
  EXPECT_EQ(pieceCount, 2);
  handleSceneKey('s');
  EXPECT_EQ(pieceCount, 4);
  handleSceneKey('R');
  EXPECT_EQ(pieceCount, 1);
  handleSceneKey('G');
  EXPECT_EQ(gravity, 0.0f);
  handleSceneKey('g');
  EXPECT_FLOAT_EQ(gravity, 0.2f);
  // Other characters do nothing.
  handleSceneKey('x');
  handleSceneKey(0xE7);  // 'g' + 0x80: negative as a signed 8-bit character, not a letter
  EXPECT_EQ(pieceCount, 1);
  EXPECT_FLOAT_EQ(gravity, 0.2f);
  // The code is taken as an 8-bit character: only its low byte counts.
  handleSceneKey(0x100 + 'g');
  EXPECT_EQ(gravity, 0.0f);
  handleSceneKey(0x200 + 'S');
  EXPECT_EQ(pieceCount, 2);
}

TEST_F(FrameLoopTest, ResizeKeepsZeroHeightButViewportGetsOne) {
  resizeView(640, 0);
  EXPECT_EQ(screenWidth, 640);
  EXPECT_EQ(screenHeight, 0);
  EXPECT_EQ(glrec::lines().back(), "glViewport(0,0,640,1)");
  resizeView(1920, 1080);
  EXPECT_EQ(glrec::lines().back(), "glViewport(0,0,1920,1080)");
}

TEST(WindowSize, ZeroOrBelowFallsBackToDefaults) {
  EXPECT_EQ(windowSizeOrDefault(0, kDefaultWidth), 1024);
  EXPECT_EQ(windowSizeOrDefault(0, kDefaultHeight), 768);
  EXPECT_EQ(windowSizeOrDefault(-1, kDefaultWidth), 1024);
  EXPECT_EQ(windowSizeOrDefault(INT_MIN, kDefaultHeight), 768);
  EXPECT_EQ(windowSizeOrDefault(1, kDefaultWidth), 1);
  EXPECT_EQ(windowSizeOrDefault(800, kDefaultWidth), 800);
}

TEST(FramePacer, CapsAtSixtyFramesPerSecondWithoutDrift) {
  const std::int64_t freq = 10000000;  // 10 MHz counter, as Windows reports
  FramePacer pacer(freq, 60);
  std::int64_t now = 0;
  int frames = 0;
  // A loop that could draw every 0.1 ms, for 2 seconds.
  while (now < 2 * freq) {
    if (pacer.waitMilliseconds(now) == 0) {
      pacer.frameDrawn(now);
      ++frames;
    }
    now += freq / 10000;
  }
  EXPECT_NEAR(frames, 120, 2);

  // After a stall of a second it does not burst to catch up.
  now += freq;
  int burst = 0;
  for (int i = 0; i < 5 && pacer.waitMilliseconds(now) == 0; ++i) {
    pacer.frameDrawn(now);
    ++burst;
  }
  EXPECT_LE(burst, 2);
  EXPECT_GE(pacer.waitMilliseconds(now), 15u);
}

TEST(FramePacer, FirstFrameAndFrameAfterAStallAreFollowedByAWholePeriod) {
  const std::int64_t freq = 10000000;
  const std::int64_t period = freq / 60;
  FramePacer pacer(freq, 60);
  // The counter has run for long before the loop starts.
  std::int64_t now = 5 * freq;
  ASSERT_EQ(pacer.waitMilliseconds(now), 0u);
  pacer.frameDrawn(now);
  EXPECT_EQ(pacer.waitMilliseconds(now), 16u);

  // A frame drawn half a period late keeps the rhythm: the next one comes half a period sooner.
  now += period + period / 2;
  ASSERT_EQ(pacer.waitMilliseconds(now), 0u);
  pacer.frameDrawn(now);
  EXPECT_EQ(pacer.waitMilliseconds(now), 8u);

  // A stall of a second: one frame at once, then a whole period before the next.
  now += freq;
  ASSERT_EQ(pacer.waitMilliseconds(now), 0u);
  pacer.frameDrawn(now);
  EXPECT_EQ(pacer.waitMilliseconds(now), 16u);
}

TEST(SwapInterval, WaitsForTheRefreshOnlyWherePacedAndNothingCanHoldTheWait) {
  EXPECT_EQ(swapIntervalFor(true, false), 1);   // an X or Win32 window of its own
  EXPECT_EQ(swapIntervalFor(true, true), 0);    // Wayland: an output may stop repainting
  EXPECT_EQ(swapIntervalFor(false, false), 0);  // a benchmark's unpaced run
  EXPECT_EQ(swapIntervalFor(false, true), 0);
}
