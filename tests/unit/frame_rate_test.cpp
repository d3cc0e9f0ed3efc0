// The --fps corner's figures: frames and processor load over about a second.
#include <gtest/gtest.h>

#include "frame_rate.h"

TEST(FrameRateMeter, MeasuresEachSecondFromTheFirstFrame) {
  FrameRateMeter meter;
  EXPECT_EQ(meter.rateLine(), "FPS: -");
  EXPECT_EQ(meter.loadLine(), "Load: -");
  // 60 frames a second, a quarter of a core.
  bool ready = false;
  int frame = 0;
  for (; frame <= 60 && !ready; ++frame) ready = meter.frameShown(10.0 + frame / 60.0, 2.0 + frame / 240.0);
  EXPECT_TRUE(ready);
  EXPECT_EQ(frame, 61);  // the 60th frame after the first closes the second
  EXPECT_NEAR(meter.framesPerSecond(), 60.0, 1e-9);
  EXPECT_EQ(meter.loadPercent(), 25);
  EXPECT_EQ(meter.rateLine(), "FPS: 60.0");
  EXPECT_EQ(meter.loadLine(), "Load: 25%");

  // A stall: 3 frames over 1.5 s, half a core; the figures keep until the next second is up.
  EXPECT_FALSE(meter.frameShown(11.5, 2.5));
  EXPECT_FALSE(meter.frameShown(11.9, 2.5));
  EXPECT_EQ(meter.rateLine(), "FPS: 60.0");
  EXPECT_TRUE(meter.frameShown(12.5, 3.0));
  EXPECT_NEAR(meter.framesPerSecond(), 2.0, 1e-9);
  EXPECT_EQ(meter.loadLine(), "Load: 50%");
}
