// Frames equal to the last drawn one: the loop's frame leaves them undrawn, and nothing else
// of the run changes (clock, cuts, the 401-frame restart). "Equal" is checked here apart
// from the scene's own proof: a left-out frame either repeats the last drawn GL calls
// exactly, or every piece lies wholly beyond one plane of the view volume.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "frame_loop.h"
#include "gl_recorder.h"
#include "scene.h"

namespace {

std::time_t pinnedSecond() { return 1750000000; }

constexpr std::int64_t kFrequency = 1000000;  // a 1 MHz fake counter
constexpr std::int64_t kPeriod = kFrequency / 60;

struct FrameRecord {
  bool drawn = false;
  int pieceCount = 0;
  float elapsed = 0, lastCut = 0;
  int frameCount = 0;
  float firstX = 0, lastY = 0;
  bool nothingInView = false;      // by the independent check below
  std::vector<std::string> calls;  // the GL calls of the frame, when drawn
};

bool whollyBeyondOnePlane(const Piece& p);

void startRun() {
  sceneCalendarTime = pinnedSecond;
  gravity = 0.2f;
  elapsedTime = frameTime = 0;
  frameCount = 0;
  screenWidth = 1024;
  screenHeight = 768;
  startClock(kFrequency, 0);
  resetScene();
}

// Frames at 60 per second through the real frame-loop steps; `skipping` picks the loop's
// frame (equal frames left out) or the paint that always draws.
std::vector<FrameRecord> run(int frames, bool skipping) {
  startRun();
  std::vector<FrameRecord> out;
  std::int64_t counter = 0;
  for (int i = 0; i < frames; ++i) {
    counter += kPeriod;
    glrec::clear();
    FrameRecord r;
    if (skipping) {
      r.drawn = paintFrameIfChanged(counter);
    } else {
      paintFrame(counter);
      r.drawn = true;
    }
    r.calls = glrec::lines();
    r.pieceCount = pieceCount;
    r.elapsed = elapsedTime;
    r.lastCut = lastCutTime;
    r.firstX = pieces[0].position.x;
    r.lastY = pieces[pieceCount - 1].position.y;
    r.nothingInView = true;
    for (int p = 0; p < pieceCount; ++p) r.nothingInView = r.nothingInView && whollyBeyondOnePlane(pieces[p]);
    frameShown();
    r.frameCount = frameCount;
    out.push_back(r);
  }
  return out;
}

// The piece's corners where GL puts them: turned by glRotatef about its axis, then moved.
bool whollyBeyondOnePlane(const Piece& p) {
  const double rad = double(p.angle) * 3.14159265358979323846 / 180.0;
  double ax = p.spinAxis.x, ay = p.spinAxis.y, az = p.spinAxis.z;
  const double len = std::sqrt(ax * ax + ay * ay + az * az);
  if (len > 0) ax /= len, ay /= len, az /= len;
  const double c = std::cos(rad), s = std::sin(rad), k = 1 - c;
  const double t = std::tan(9.5 * 3.14159265358979323846 / 180.0);
  int outside[6] = {};
  for (const Vec4& v : p.corners) {
    const double x = v.x / v.w, y = v.y / v.w, z = v.z / v.w;
    const double rx = (k * ax * ax + c) * x + (k * ax * ay - s * az) * y + (k * ax * az + s * ay) * z;
    const double ry = (k * ax * ay + s * az) * x + (k * ay * ay + c) * y + (k * ay * az - s * ax) * z;
    const double rz = (k * ax * az - s * ay) * x + (k * ay * az + s * ax) * y + (k * az * az + c) * z;
    const double ex = rx + p.position.x, ey = ry + p.position.y, depth = 6.0 - (rz + p.position.z);
    outside[0] += ex < -t * depth;
    outside[1] += ex > t * depth;
    outside[2] += ey < -t * depth;
    outside[3] += ey > t * depth;
    outside[4] += depth < 1.0;
    outside[5] += depth > 20.0;
  }
  for (int n : outside)
    if (n == 4) return true;
  return false;
}

class FrameSkipTest : public ::testing::Test {
 protected:
  void TearDown() override { glrec::clear(); }
};

}  // namespace

TEST_F(FrameSkipTest, LeftOutFramesChangeNothingButTheDrawing) {
  const int frames = 2 * kFramesPerRestart + 30;  // two whole cycles and a restart
  const std::vector<FrameRecord> always = run(frames, false);
  const std::vector<FrameRecord> skipping = run(frames, true);

  int left = 0, still = 0, empty = 0;
  const FrameRecord* lastDrawn = nullptr;
  for (int i = 0; i < frames; ++i) {
    const FrameRecord &a = always[std::size_t(i)], &b = skipping[std::size_t(i)];
    // The run is the same frame for frame: clock, cuts, count, pieces.
    ASSERT_EQ(a.elapsed, b.elapsed) << i;
    ASSERT_EQ(a.lastCut, b.lastCut) << i;
    ASSERT_EQ(a.pieceCount, b.pieceCount) << i;
    ASSERT_EQ(a.frameCount, b.frameCount) << i;
    ASSERT_EQ(a.firstX, b.firstX) << i;
    ASSERT_EQ(a.lastY, b.lastY) << i;
    if (b.drawn) {
      EXPECT_EQ(b.calls, a.calls) << "a drawn frame is the whole frame, frame " << i;
      lastDrawn = &a;
      continue;
    }
    ++left;
    EXPECT_TRUE(b.calls.empty()) << "a left-out frame makes no GL call, frame " << i;
    ASSERT_NE(lastDrawn, nullptr) << i;
    if (a.calls == lastDrawn->calls) {
      ++still;
    } else {
      // Other calls, the same picture: the bare background, both times.
      EXPECT_TRUE(a.nothingInView && lastDrawn->nothingInView) << "frame " << i << " is not the last drawn";
      ++empty;
    }
  }
  // The whole picture stands for 1.4 s from its first frame (85 frames, 84 periods) after each
  // of the two resets and the start: all but that first frame are left out; the third stretch
  // is cut short after 30 frames.
  EXPECT_EQ(still, 2 * 84 + 29);
  EXPECT_GT(empty, 0);
}

// The first frame with nothing in view is drawn (it clears the last shard away); later ones
// are left out, the last of the cycle among them.
TEST_F(FrameSkipTest, FirstEmptyFrameIsDrawnTheRestLeftOut) {
  const std::vector<FrameRecord> frames = run(kFramesPerRestart, true);
  int firstEmpty = -1, leftOut = 0;
  for (int i = 0; i < kFramesPerRestart; ++i) {
    const FrameRecord& r = frames[std::size_t(i)];
    if (r.pieceCount == 1 || !r.nothingInView) {
      if (firstEmpty >= 0) {
        EXPECT_EQ(r.pieceCount, 1) << "pieces came back into view at frame " << i;
      }
      continue;
    }
    if (firstEmpty < 0) {
      firstEmpty = i;
      EXPECT_TRUE(r.drawn) << i;
    } else {
      leftOut += !r.drawn;
    }
  }
  ASSERT_GE(firstEmpty, 0) << "no empty stretch in a cycle";
  EXPECT_GT(leftOut, 0);
  EXPECT_FALSE(frames[kFramesPerRestart - 2].drawn);
}

TEST_F(FrameSkipTest, SystemPaintResetAndResizeAlwaysDraw) {
  startRun();
  std::int64_t counter = 0;
  EXPECT_TRUE(paintFrameIfChanged(counter += kPeriod));  // the first frame after a reset
  EXPECT_FALSE(paintFrameIfChanged(counter += kPeriod));

  glrec::clear();
  paintFrame(counter += kPeriod);  // the system asks: the window was uncovered
  EXPECT_EQ(glrec::named("glBegin").size(), 1u);
  EXPECT_FALSE(paintFrameIfChanged(counter += kPeriod));

  resizeView(800, 600);
  EXPECT_TRUE(paintFrameIfChanged(counter += kPeriod));
  EXPECT_FALSE(paintFrameIfChanged(counter += kPeriod));

  handleSceneKey('r');  // the snapshot may have changed: the reset's picture is drawn
  EXPECT_TRUE(paintFrameIfChanged(counter += kPeriod));
  EXPECT_FALSE(paintFrameIfChanged(counter += kPeriod));

  handleSceneKey('s');  // cut before the first cut event: the pieces move
  for (int i = 0; i < 10; ++i) EXPECT_TRUE(paintFrameIfChanged(counter += kPeriod)) << i;

  const std::int64_t drawnBefore = framesDrawn;
  paintFrameIfChanged(counter += kPeriod);
  paintFrame(counter += kPeriod);
  EXPECT_EQ(framesDrawn, drawnBefore + 2);
}

// The loop as the front-ends run it, on a machine where a left-out frame costs 50 us and a drawn
// one 2 ms: at every delay the settings slider offers, the whole picture stands for its 1.4 s,
// is cut into 64 and then 100 pieces, and only then does the 401-frame restart come.
TEST_F(FrameSkipTest, EveryDelayShowsThePictureWholeThenBrokenBeforeTheRestart) {
  for (const long delayMicroseconds : {0L, 1000L, 16667L, 50000L, 100000L}) {
    SCOPED_TRACE(delayMicroseconds);
    startRun();
    FramePacer pacer = FramePacer::forDelay(kFrequency, std::int64_t(delayMicroseconds) * kFrequency / 1000000);
    std::int64_t now = 0;
    int most = 1;
    float firstCut = -1;
    bool restarted = false;
    while (!restarted) {
      const std::uint32_t wait = pacer.waitMilliseconds(now);
      if (wait > 0) {
        now += std::int64_t(wait) * kFrequency / 1000;
        continue;
      }
      const bool drew = paintFrameIfChanged(now);
      if (pieceCount > 1 && firstCut < 0) firstCut = elapsedTime;
      most = std::max(most, pieceCount);
      pacer.frameDrawn(now);
      now += drew ? kFrequency / 500 : kFrequency / 20000;
      restarted = frameShown();
    }
    EXPECT_GT(firstCut, 1.4f);
    EXPECT_EQ(most, 100);
    EXPECT_EQ(pieceCount, 1);  // whole again after the restart
  }
}
