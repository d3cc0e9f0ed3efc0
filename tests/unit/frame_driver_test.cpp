// The frame schedule through the driver every front-end runs, on a fake counter: what is
// drawn, left out, counted and restarted, the hooks and start-up steps, and the still moment.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame_driver.h"
#include "gl_recorder.h"
#include "loop_hooks.h"
#include "scene.h"

namespace {

constexpr std::int64_t kFrequency = 1000000;  // a 1 MHz counter
constexpr std::int64_t kPeriod = kFrequency / 60;

class RecordingHooks : public LoopHooks {
 public:
  bool paced() const override { return paced_; }
  bool skipsEqualFrames() const override { return skips_; }
  unsigned cuts() const override { return cuts_; }
  void onFrameShown(std::int64_t counter) override { shown.push_back(counter); }
  void onLoopEnd() override { ++ends; }
  void onStartupStep(const char* step) override { steps.push_back(step); }

  bool paced_ = true, skips_ = true;
  unsigned cuts_ = kEveryCut;
  std::vector<std::int64_t> shown;
  std::vector<std::string> steps;
  int ends = 0;
};
RecordingHooks hooks;

std::time_t pinnedSecond() { return 1760000000; }

double noProcessorTime() { return 0.25; }

class FrameDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hooks = RecordingHooks();
    sceneCalendarTime = pinnedSecond;
    gravity = 0.2f;
    elapsedTime = frameTime = 0;
    frameCount = 0;
    framesDrawn = 0;
    glrec::clear();
  }
  void TearDown() override {
    driver.free();
    glrec::clear();
  }

  // Runs the loop as a front-end does, from `now`, for `seconds`; the counter moves by what
  // draw() asks to wait, and by `cost` for each frame drawn. Returns the frames that were due.
  int loop(std::int64_t& now, double seconds, std::int64_t cost = 0) {
    const std::int64_t until = now + std::int64_t(seconds * kFrequency);
    int due = 0;
    while (now < until) {
      const FrameDriver::Frame frame = driver.draw(now);
      if (!frame.due) {
        EXPECT_GT(frame.waitMilliseconds, 0u);
        if (frame.waitMilliseconds == 0) return due;
        now += std::int64_t(frame.waitMilliseconds) * kFrequency / 1000;
        continue;
      }
      ++due;
      if (frame.drawn) now += cost;
      driver.shown(now);
      if (pieceCount > 1 && firstCut < 0) firstCut = double(now) / kFrequency;
    }
    return due;
  }

  FrameDriverOptions options(long delayMicroseconds = 16667) {
    FrameDriverOptions o;
    o.frequency = kFrequency;
    o.delay = std::int64_t(delayMicroseconds) * kFrequency / 1000000;
    return o;
  }

  FrameDriver driver;
  double firstCut = -1;
};

}  // namespace

LoopHooks& loopHooks() { return hooks; }

TEST_F(FrameDriverTest, FramesArePacedCountedLeftOutWhenEqualAndRestartedAfter401) {
  std::int64_t now = 0;
  driver.init(options(), 640, 480, nullptr, now);
  EXPECT_EQ(hooks.steps, (std::vector<std::string>{"texture built"}));
  EXPECT_EQ(screenWidth, 640);
  EXPECT_TRUE(isRunning);

  // The first frame is due at once; the next not before a period has passed.
  FrameDriver::Frame first = driver.draw(now);
  EXPECT_TRUE(first.due);
  EXPECT_TRUE(first.drawn);
  driver.shown(now);
  EXPECT_EQ(hooks.steps, (std::vector<std::string>{"texture built", "first frame"}));
  FrameDriver::Frame early = driver.draw(now + kPeriod / 2);
  EXPECT_FALSE(early.due);
  EXPECT_GE(early.waitMilliseconds, 7u);

  // The whole picture at rest is drawn once and then left out until the cut.
  const std::int64_t drawnBefore = framesDrawn;
  now += kPeriod;
  const int due = loop(now, 1.3);
  EXPECT_EQ(framesDrawn, drawnBefore);
  EXPECT_NEAR(due, 78, 1);
  EXPECT_EQ(frameCount, due + 1);

  // 401 frames in all, then whole again: the restart comes after about 6.7 s.
  loop(now, 5.5);
  EXPECT_EQ(pieceCount, 1);
  EXPECT_LT(frameCount, 20);
  EXPECT_EQ(int(hooks.shown.size()), 401 + frameCount);
  EXPECT_GT(firstCut, 1.4);
  EXPECT_LT(firstCut, 1.4 + 2.0 / 60);

  driver.free();
  driver.free();
  EXPECT_EQ(hooks.ends, 1);
  EXPECT_FALSE(isRunning);
}

TEST_F(FrameDriverTest, ASlowLoadDoesNotShortenTheStillMoment) {
  // The picture took 2 s to load: the clock started before it, the first frame comes after.
  std::int64_t now = 0;
  driver.init(options(), 640, 480, nullptr, now);
  now = 2 * kFrequency;
  loop(now, 1.39);
  EXPECT_EQ(pieceCount, 1) << "cut before the picture stood whole for 1.4 s";
  loop(now, 0.05);
  EXPECT_GT(pieceCount, 1);
  EXPECT_NEAR(firstCut, 2.0 + 1.4, 2.0 / 60);

  // The same after the 401-frame restart, when its reload is slow too.
  while (frameCount != 0) loop(now, 1.0 / 60);
  ASSERT_EQ(pieceCount, 1);
  now += kFrequency;  // the reload
  firstCut = -1;
  const double firstFrame = double(now) / kFrequency;
  loop(now, 1.5);
  EXPECT_NEAR(firstCut - firstFrame, 1.4, 2.0 / 60);
}

TEST_F(FrameDriverTest, EveryDelayIsFlooredAtSixtyFramesASecondUnlessUnpaced) {
  for (const long delay : {0L, 8000L, 16667L, 100000L}) {
    SCOPED_TRACE(delay);
    std::int64_t now = 0;
    driver.init(options(delay), 320, 240, nullptr, now);
    const int due = loop(now, 2.0);
    EXPECT_NEAR(due, 2.0 * 1000000 / std::max(delay, 16667L), 2);
    driver.free();
  }
  hooks.paced_ = false;
  std::int64_t now = 0;
  driver.init(options(0), 320, 240, nullptr, now);
  EXPECT_TRUE(driver.draw(now).due);
  driver.shown(now);
  EXPECT_TRUE(driver.draw(now).due) << "an unpaced loop never waits";
}

TEST_F(FrameDriverTest, ExposuresAndTheFrameRateCornerDrawEveryFrame) {
  std::int64_t now = 0;
  driver.init(options(), 320, 240, nullptr, now);
  driver.draw(now);
  driver.shown(now);
  now += kPeriod;
  EXPECT_FALSE(driver.draw(now).drawn) << "the resting picture again";
  driver.shown(now);
  now += kPeriod;
  EXPECT_TRUE(driver.draw(now, true).drawn) << "an exposure always draws";
  driver.shown(now);
  driver.free();

  // With the corner on, each frame is drawn with its two lines over the scene.
  FrameDriverOptions withCorner = options();
  withCorner.processorSeconds = noProcessorTime;
  driver.init(withCorner, 320, 240, nullptr, now);
  driver.setCornerFont({100, 13});
  for (int i = 0; i < 3; ++i) {
    glrec::clear();
    now += kPeriod;
    ASSERT_TRUE(driver.draw(now).drawn) << i;
    driver.shown(now);
    const std::vector<GlCall> lists = glrec::named("glCallLists");
    ASSERT_EQ(lists.size(), 4u) << "each line drawn twice: shadow and text";
    EXPECT_EQ(glrec::named("glListBase")[0].args[0], 100 - 32);
    EXPECT_EQ(glrec::named("glPushAttrib").size(), glrec::named("glPopAttrib").size());
  }
}

namespace {

// Two surfaces side by side, as two outputs of one layout: what each was told and shown.
class TwoViews : public FrameViews {
 public:
  std::size_t viewCount() const override { return 2; }
  bool placeView(std::size_t index, Viewport& where) override {
    where = index == 0 ? Viewport{0, 0, 800, 300} : Viewport{-400, 0, 800, 300};
    return true;
  }
  bool selectView(std::size_t index) override {
    selected.push_back(int(index));
    return usable[index];
  }
  void presentView(std::size_t index, const ScreenRect& changed) override {
    presented.push_back(int(index));
    this->changed.push_back(changed);
  }
  int bufferAge(std::size_t) override { return age; }

  bool usable[2] = {true, true};
  int age = 0;
  std::vector<int> selected, presented;
  std::vector<ScreenRect> changed;
};

}  // namespace

TEST_F(FrameDriverTest, OneFrameIsDrawnOnEveryViewAndLeftOutOnAllWhenEqual) {
  std::int64_t now = 0;
  driver.init(options(), 800, 300, nullptr, now);
  TwoViews views;
  glrec::setRecording(true);
  FrameDriver::Frame first = driver.draw(now, false, views);
  ASSERT_TRUE(first.drawn);
  driver.shown(now);
  // Each view drawn at its own viewport, then shown, in order; one frame counted.
  EXPECT_EQ(views.selected, (std::vector<int>{0, 1}));
  EXPECT_EQ(views.presented, (std::vector<int>{0, 1}));
  std::vector<std::string> viewports;
  for (const GlCall& c : glrec::named("glViewport")) viewports.push_back(std::to_string(int(c.args[0])));
  EXPECT_EQ(viewports.back(), "-400");
  EXPECT_EQ(framesDrawn, 1);

  // The whole picture at rest: the next frames equal the one both views show, so neither is
  // drawn again, although the views alternate the viewport.
  views.selected.clear();
  views.presented.clear();
  now += kPeriod;
  FrameDriver::Frame resting = driver.draw(now, false, views);
  EXPECT_TRUE(resting.due);
  EXPECT_FALSE(resting.drawn);
  EXPECT_TRUE(views.presented.empty());
  driver.shown(now);

  // A view that cannot be made current is left out; the other still shows the frame.
  views.usable[0] = false;
  now += kPeriod;
  FrameDriver::Frame forced = driver.draw(now, true, views);
  EXPECT_TRUE(forced.drawn);
  EXPECT_EQ(views.presented, (std::vector<int>{1}));
  glrec::setRecording(false);
}

// Over a back buffer known to hold the last frame, a frame is cleared and drawn (scissor) and
// shown (damage) only where it changed, once the pieces leave part of the screen; whole where the
// buffer is unknown, the pixels were lost or the size changed; the cuts switched off draw whole.
TEST_F(FrameDriverTest, FramesDrawAndShowOnlyWhereTheyChangeOverAKnownBuffer) {
  std::int64_t now = 0;
  driver.init(options(), 800, 600, nullptr, now);
  glrec::setRecording(true);
  FrameDriver::Frame frame = driver.draw(now, false, 1);
  EXPECT_TRUE(frame.damage == kEverywhere) << "the first frame over a buffer never drawn";
  EXPECT_TRUE(glrec::named("glScissor").empty());
  driver.shown(now);
  int partial = 0;
  while (now < std::int64_t(6.5 * kFrequency)) {
    now += kPeriod;
    glrec::clear();
    frame = driver.draw(now, false, 1);
    if (frame.drawn && !(frame.damage == kEverywhere)) {
      const ScreenRect& d = frame.damage;
      partial += d.width() * d.height() < 800 * 600;
      const std::vector<GlCall> scissor = glrec::named("glScissor");
      ASSERT_EQ(scissor.size(), 1u);
      EXPECT_EQ(scissor[0].args[0], d.left);
      EXPECT_EQ(scissor[0].args[1], d.bottom);
      EXPECT_EQ(scissor[0].args[2], d.width());
      EXPECT_EQ(scissor[0].args[3], d.height());
    }
    driver.shown(now);
  }
  EXPECT_GT(partial, 30);
  now += kPeriod;
  EXPECT_TRUE(driver.draw(now, true, 1).damage == kEverywhere) << "pixels lost";
  driver.shown(now);
  driver.reshape(640, 480);
  now += kPeriod;
  EXPECT_TRUE(driver.draw(now, false, 1).damage == kEverywhere) << "a new size";
  driver.shown(now);
  // A buffer of unknown age is drawn whole, but only what changed is shown.
  now += kPeriod;
  glrec::clear();
  frame = driver.draw(now, false, 0);
  EXPECT_TRUE(glrec::named("glScissor").empty());
  EXPECT_FALSE(frame.damage == kEverywhere);
  driver.shown(now);
  hooks.cuts_ = 0;
  now += kPeriod;
  glrec::clear();
  frame = driver.draw(now, false, 1);
  EXPECT_TRUE(frame.damage == kEverywhere);
  EXPECT_TRUE(glrec::named("glScissor").empty());
  glrec::setRecording(false);
}

TEST(SceneKeys, GravityRestartAndCutInEitherCaseAndNothingElse) {
  for (int c : {'g', 'r', 's', 'G', 'R', 'S'}) EXPECT_TRUE(isSceneKey(c)) << char(c);
  for (int c : {int('q'), int('x'), 27, 0, int(' '), int('h'), -1}) EXPECT_FALSE(isSceneKey(c)) << c;
}
