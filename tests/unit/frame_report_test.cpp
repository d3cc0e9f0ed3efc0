// The benchmark builds' frame report: which frames it counts and the figures it writes.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

#include "frame_loop.h"
#include "frame_report.h"

namespace {

double fakeCpu = 0;
double readFakeCpu() { return fakeCpu; }

class FrameReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedFrequency_ = counterFrequency;
    startClock(1000, 0);  // a millisecond counter
    fakeCpu = 0;
    std::remove(path_.c_str());
  }
  void TearDown() override {
    counterFrequency = savedFrequency_;
    std::remove(path_.c_str());
  }
  std::string written() const {
    std::ifstream in(path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // Per process: ctest runs the cases side by side.
  const std::string path_ = ::testing::TempDir() + "glassfall_frame_report_" + std::to_string(getpid()) + ".txt";

 private:
  std::int64_t savedFrequency_ = 1;
};

}  // namespace

TEST_F(FrameReportTest, FiguresRunFromTheFirstShownFrameToTheLast) {
  FrameReport report(true, readFakeCpu, path_);
  EXPECT_TRUE(report.paced());
  EXPECT_TRUE(report.skipsEqualFrames());
  fakeCpu = 3.0;  // start-up work before the first frame stays out of the figures
  framesDrawn = 7;
  report.onFrameShown(500);
  fakeCpu = 3.25;
  report.onFrameShown(516);  // left out: equal to the last drawn frame
  fakeCpu = 3.5;
  framesDrawn = 8;
  report.onFrameShown(2500);
  fakeCpu = 9.0;  // nor does the shutdown after the last one
  framesDrawn = 9;
  report.onLoopEnd();
  EXPECT_EQ(written(), "frames 2\ndrawn 1\nwall 2.0000\ncpu 0.5000\n");
  EXPECT_FALSE(FrameReport(true, readFakeCpu, path_, false).skipsEqualFrames());
}

TEST_F(FrameReportTest, ALoopWithoutFramesStillWritesAReport) {
  FrameReport report(false, readFakeCpu, path_);
  EXPECT_FALSE(report.paced());
  fakeCpu = 1.0;
  report.onLoopEnd();
  EXPECT_EQ(written(), "frames 0\ndrawn 0\nwall 0.0000\ncpu 0.0000\n");

  // One frame is no interval yet.
  report.onFrameShown(40);
  report.onLoopEnd();
  EXPECT_EQ(written(), "frames 0\ndrawn 0\nwall 0.0000\ncpu 0.0000\n");
}

namespace {

TEST(BenchCuts, ANamedListSwitchesOnlyThoseCutsOn) {
  EXPECT_EQ(cutsNamed(nullptr), unsigned(kProductCuts)) << "unset: as the product";
  EXPECT_EQ(cutsNamed("none"), 0u);
  EXPECT_EQ(cutsNamed(""), 0u);
  EXPECT_EQ(cutsNamed("scissor"), unsigned(kCutScissor));
  EXPECT_EQ(cutsNamed("present,pieces"), unsigned(kCutPresent | kCutPieces));
  EXPECT_EQ(cutsNamed("pieces,scissor,present"), unsigned(kEveryCut));
  EXPECT_EQ(cutsNamed("scissors,pieces"), unsigned(kCutPieces)) << "a misspelt name is no cut";
}

}  // namespace
