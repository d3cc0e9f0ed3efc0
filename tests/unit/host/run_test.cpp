// The screensaver run over a recording system: load steps in order, the renderer watch with
// its start grace (none for a renderer that never started), the end steps with the snapshot's
// removal, and the snapshot's file headers.
#include <gtest/gtest.h>

#include <vector>

#include "bitmap_file.h"
#include "run.h"
#include "startup.h"
#include "twips.h"

namespace {

using Log = std::vector<std::string>;

class RecordingRun : public RunSystem, public RunTimers, public RunHooks {
 public:
  Log log;
  bool rendererWindow = false;
  bool rendererStarts = true;
  bool timer1 = false, timer2 = false;

  ScreenArea area = {0, 0, 1920, 1080};

  static std::string text(const ScreenArea& a) {
    return std::to_string(a.left) + "," + std::to_string(a.top) + " " + std::to_string(a.width) + "x" +
           std::to_string(a.height);
  }
  ScreenArea screenArea() override {
    log.push_back("screen");
    return area;
  }
  void sizeToScreen(const ScreenArea& a) override { log.push_back("size " + text(a)); }
  void coverScreen(const ScreenArea& a) override { log.push_back("cover " + text(a)); }
  void captureDesktopTurned(const ScreenArea& a) override { log.push_back("capture " + text(a)); }
  void saveMaster(const std::string& path) override { log.push_back("save " + path); }
  bool startProgram(const std::string& application, const std::string& commandLine) override {
    log.push_back("start " + application + " | " + commandLine);
    return rendererStarts;
  }
  void removeFile(const std::string& path) override { log.push_back("remove " + path); }
  bool windowExists(const std::string& title) override { return title == "Glassfall_VC" && rendererWindow; }
  std::int32_t showCursor(bool show) override {
    log.push_back(show ? "cursor show" : "cursor hide");
    return 0;
  }
  void setEnabled(RunTimer timer, bool enabled) override { (timer == RunTimer::Timer1 ? timer1 : timer2) = enabled; }
  bool isEnabled(RunTimer timer) const override { return timer == RunTimer::Timer1 ? timer1 : timer2; }
  void onLoad(RunTimers& timers) override {
    log.push_back("music start");
    timers.setEnabled(RunTimer::Timer1, true);
  }
  void onEnd(RunTimers& timers) override {
    log.push_back(timers.isEnabled(RunTimer::Timer1) ? "music stop (timer1 on)" : "music stop");
  }
};

TEST(RunLoad, CapturesAndSavesBeforeStartingTheRendererByItsQuotedPath) {
  RecordingRun system;
  HostState state;
  state.programFolder = "C:\\Program Files\\Glassfall";
  ScreensaverRun run(state, system, system, system, 0);
  run.load();
  EXPECT_EQ(system.log, (Log{"screen", "size 0,0 1920x1080", "capture 0,0 1920x1080",
                             "save C:\\velk_temp\\Glassfall.alo",
                             "start C:\\Program Files\\Glassfall\\Glassfall.dll | "
                             "\"C:\\Program Files\\Glassfall\\Glassfall.dll\"",
                             "music start"}));
  EXPECT_TRUE(system.timer1);
}

TEST(RunLoad, CoversAndCapturesTheWholeVirtualScreenFromItsOrigin) {
  RecordingRun system;
  system.area = {-800, 0, 1824, 768};
  HostState state;
  ScreensaverRun run(state, system, system, system, 0);
  run.load();
  EXPECT_EQ(Log(system.log.begin(), system.log.begin() + 3),
            (Log{"screen", "size -800,0 1824x768", "capture -800,0 1824x768"}));
}

TEST(RendererWatch, EndsOnceTheSeenWindowIsGone) {
  RendererWatch watch(1000);
  EXPECT_FALSE(watch.tick(false, 1500));  // a slow renderer: not there at the first tick
  EXPECT_FALSE(watch.tick(false, 4000));
  EXPECT_FALSE(watch.tick(true, 4500));
  EXPECT_FALSE(watch.tick(true, 5000));
  EXPECT_TRUE(watch.tick(false, 5500));
}

TEST(RendererWatch, EndsAfterTheGraceWhenTheRendererNeverCame) {
  RendererWatch watch(1000);
  EXPECT_FALSE(watch.tick(false, 1000 + RendererWatch::kStartGraceMs - 1));
  EXPECT_TRUE(watch.tick(false, 1000 + RendererWatch::kStartGraceMs));
}

TEST(RendererWatch, NoGraceForARendererThatNeverStarted) {
  RendererWatch watch(1000);
  watch.startFailed();
  EXPECT_TRUE(watch.tick(false, 1500));
}

TEST(RendererWatch, AWindowOfThatTitleKeepsTheRunEvenWhenTheStartFailed) {
  RendererWatch watch(1000);
  watch.startFailed();
  EXPECT_FALSE(watch.tick(true, 1500));
  EXPECT_TRUE(watch.tick(false, 2000));
}

TEST(RendererWatch, GraceHoldsAcrossTheCounterWrap) {
  RendererWatch watch(0xFFFFFF00u);
  EXPECT_FALSE(watch.tick(false, 0x00000100u));
  EXPECT_TRUE(watch.tick(false, 0xFFFFFF00u + RendererWatch::kStartGraceMs));
}

TEST(RunEnd, LeavesTheCursorAloneWithoutS) {
  RecordingRun system;
  HostState state;  // no argument: the cursor was never hidden
  ScreensaverRun run(state, system, system, system, 0);
  run.end();
  EXPECT_EQ(system.log, (Log{"music stop", "remove C:\\velk_temp\\Glassfall.alo"}));
}

TEST(RunEnd, PassesTheCountAsTheShowFlag) {
  RecordingRun system;
  HostState state;
  state.mode = "S";
  state.cursorCount = 0;  // the cursor had been shown twice before: 0 hides it again
  ScreensaverRun run(state, system, system, system, 0);
  run.end();
  EXPECT_EQ(system.log, (Log{"music stop", "remove C:\\velk_temp\\Glassfall.alo", "cursor hide"}));
}

TEST(RunWatch, LooksForTheRendererByTitle) {
  RecordingRun system;
  HostState state;
  ScreensaverRun run(state, system, system, system, 0);
  system.rendererWindow = true;
  EXPECT_FALSE(run.watchTick(500));
  system.rendererWindow = false;
  EXPECT_TRUE(run.watchTick(1000));
}

// Every way a run ends comes to the same end steps, once: the music stops, then the snapshot
// goes, then the cursor comes back for "S".
TEST(RunEnd, StopsTheMusicRemovesTheSnapshotAndGivesTheCursorBackOnEveryWayTheRunEnds) {
  const Log kEnd = {"music stop (timer1 on)", "remove C:\\velk_temp\\Glassfall.alo", "cursor show"};
  struct Way {
    const char* name;
    bool starts;
    bool (*endsAfter)(ScreensaverRun&, RecordingRun&);
  };
  const Way ways[] = {
      {"escape or close", true, [](ScreensaverRun& run, RecordingRun& system) {
         system.rendererWindow = true;
         run.watchTick(500);
         system.rendererWindow = false;  // the renderer ended or was killed
         return run.watchTick(1000);
       }},
      {"renderer never started", false, [](ScreensaverRun& run, RecordingRun&) { return run.watchTick(500); }},
      {"session end", true, [](ScreensaverRun&, RecordingRun&) { return true; }},
  };
  for (const Way& way : ways) {
    RecordingRun system;
    system.rendererStarts = way.starts;
    HostState state;
    state.mode = "S";
    state.cursorCount = -1;
    ScreensaverRun run(state, system, system, system, 0);
    run.load();
    system.log.clear();
    ASSERT_TRUE(way.endsAfter(run, system)) << way.name;
    run.end();
    run.end();  // a second close request does not repeat the steps
    // The ticks read the screen's area (to follow a change); nothing else happens before the end.
    Log steps;
    for (const std::string& entry : system.log)
      if (entry != "screen") steps.push_back(entry);
    EXPECT_EQ(steps, kEnd) << way.name;
    EXPECT_EQ(state.cursorCount, 0) << way.name;
  }
}

// A monitor plugged in or removed during the run: the next watch tick moves the run window
// over the new area (so the cursor stays hidden there), once; the snapshot is not taken again.
TEST(RunWatch, ACoveredScreenThatChangesIsCoveredAgainAtTheNextTick) {
  RecordingRun system;
  HostState state;
  ScreensaverRun run(state, system, system, system, 0);
  system.area = {0, 0, 1024, 768};
  run.load();
  system.rendererWindow = true;
  system.log.clear();
  EXPECT_FALSE(run.watchTick(500));
  EXPECT_EQ(system.log, (Log{"screen"}));

  system.area = {-800, 0, 1824, 768};
  EXPECT_FALSE(run.watchTick(1000));
  EXPECT_FALSE(run.watchTick(1500));
  EXPECT_EQ(system.log, (Log{"screen", "screen", "cover -800,0 1824x768", "screen"}));

  // Back to one monitor; an area of no size (the system could not tell) is not followed.
  system.log.clear();
  system.area = {0, 0, 0, 0};
  run.watchTick(2000);
  system.area = {0, 0, 1024, 768};
  run.watchTick(2500);
  EXPECT_EQ(system.log, (Log{"screen", "screen", "cover 0,0 1024x768"}));
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, int at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

TEST(SnapshotHeaders, DescribeA24BitBottomUpPicture) {
  const std::vector<std::uint8_t> h = bitmapHeaders(1023, 767);
  ASSERT_EQ(h.size(), 54u);
  EXPECT_EQ(h[0], 'B');
  EXPECT_EQ(h[1], 'M');
  EXPECT_EQ(bitmapRowBytes(1023), 3072u);  // 3069 bytes padded to a multiple of 4
  EXPECT_EQ(le32(h, 2), 54u + 3072u * 767u);
  EXPECT_EQ(le32(h, 10), 54u);
  EXPECT_EQ(le32(h, 14), 40u);
  EXPECT_EQ(le32(h, 18), 1023u);
  EXPECT_EQ(le32(h, 22), 767u);  // positive: bottom row first
  EXPECT_EQ(h[26] | h[27] << 8, 1);
  EXPECT_EQ(h[28] | h[29] << 8, 24);
  EXPECT_EQ(le32(h, 30), 0u);  // uncompressed
  EXPECT_EQ(le32(h, 34), 3072u * 767u);
  EXPECT_EQ(bitmapRowBytes(1), 4u);
  EXPECT_EQ(bitmapRowBytes(1920), 5760u);
}

TEST(Twips, FollowTheRealDpi) {
  EXPECT_DOUBLE_EQ(twipsPerPixel(96), 15.0);
  EXPECT_DOUBLE_EQ(twipsPerPixel(144), 10.0);
  EXPECT_EQ(pixelsToTwips(1024, 96), 15360);
  EXPECT_EQ(twipsToPixels(15360, 96), 1024);
  EXPECT_EQ(twipsToPixels(15360, 120), 1280);
  EXPECT_EQ(twipsToPixels(7, 96), 0);
  EXPECT_EQ(twipsToPixels(8, 96), 1);
  EXPECT_EQ(twipsToPixels(-8, 96), -1);
}

}  // namespace
