// The scene schedule driven by a fake clock, and the view set-up a reset makes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

#include "frame_loop.h"
#include "gl_recorder.h"
#include "scene.h"

namespace {

std::time_t fixedSecond = 1700000000;
std::time_t pinnedTime() { return fixedSecond; }

// A frame loop on a fake performance counter of 1 MHz.
class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sceneCalendarTime = pinnedTime;
    gravity = 0.2f;
    elapsedTime = frameTime = 0;
    frameCount = 0;
    screenWidth = 800;
    screenHeight = 600;
    startClock(1000000, 0);
    counter = 0;
    resetScene();
    glrec::clear();
  }
  void TearDown() override { glrec::setRecording(true); }

  // Draws frames of `dt` seconds until `seconds` have passed.
  void run(double seconds, double dt = 1.0 / 60) {
    const std::int64_t end = counter + std::int64_t(seconds * 1e6);
    while (counter < end) {
      counter += std::int64_t(dt * 1e6);
      paintFrame(counter);
    }
  }

  std::int64_t counter = 0;
};

}  // namespace

TEST_F(SceneTest, CountsGoOneThenSixtyFourThenHundred) {
  run(1.39);
  EXPECT_EQ(pieceCount, 1);
  run(0.05);
  EXPECT_EQ(pieceCount, 64);
  run(1.3);
  EXPECT_EQ(pieceCount, 64);
  run(0.2);
  EXPECT_EQ(pieceCount, 100);
  run(3.0);
  EXPECT_EQ(pieceCount, 100);
}

TEST_F(SceneTest, FirstCutGivesEveryPieceTheVelocityTowardsTheViewer) {
  run(1.45);
  ASSERT_EQ(pieceCount, 64);
  for (int i = 0; i < pieceCount; ++i) EXPECT_GT(pieces[i].velocity.z, 0.09f) << i;
}

TEST_F(SceneTest, SplitBeforeFirstCutTakesTheOtherRoad) {
  splitAll();
  EXPECT_EQ(pieceCount, 2);
  run(1.45);
  EXPECT_EQ(pieceCount, 8);
  for (int i = 0; i < pieceCount; ++i) EXPECT_LT(pieces[i].velocity.z, 0.01f) << i;
  run(1.4);
  EXPECT_EQ(pieceCount, 32);
  run(1.4);
  EXPECT_EQ(pieceCount, 100);
  splitAll();
  EXPECT_EQ(pieceCount, 100);
}

TEST_F(SceneTest, GravityActsOnlyOnceCutAndToggles) {
  run(1.0);
  EXPECT_FLOAT_EQ(pieces[0].velocity.y, 0.0f);  // one piece: no gravity
  run(1.0);
  ASSERT_GT(pieceCount, 1);
  const float falling = pieces[5].velocity.y;
  toggleGravity();
  EXPECT_EQ(gravity, 0.0f);
  run(0.5);
  EXPECT_FLOAT_EQ(pieces[5].velocity.y, falling);  // keeps its speed, stops accelerating
  resetScene();
  EXPECT_EQ(gravity, 0.0f);  // a reset does not restore gravity
  toggleGravity();
  EXPECT_FLOAT_EQ(gravity, 0.2f);
}

TEST_F(SceneTest, ResetInTheSameSecondCutsTheSameWay) {
  run(3.0);
  Piece first[kMaxPieces];
  std::copy(pieces, pieces + kMaxPieces, first);
  const int count = pieceCount;

  // Same calendar second, same clock: identical pieces.
  SetUp();
  run(3.0);
  ASSERT_EQ(pieceCount, count);
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(pieces[i].position.x, first[i].position.x) << i;
    EXPECT_EQ(pieces[i].spinAxis.y, first[i].spinAxis.y) << i;
  }

  // The next second cuts differently.
  fixedSecond += 1;
  SetUp();
  run(3.0);
  int differing = 0;
  for (int i = 0; i < count; ++i) differing += pieces[i].position.x != first[i].position.x;
  EXPECT_GT(differing, count / 2);
}

TEST_F(SceneTest, ResetPutsOneRestingPieceBackAndWaitsAgain) {
  run(4.0);
  ASSERT_EQ(pieceCount, 100);
  resetScene();
  EXPECT_EQ(pieceCount, 1);
  EXPECT_EQ(pieces[0].angle, 0.0f);
  EXPECT_FLOAT_EQ(pieces[0].velocity.z, 0.0f);
  EXPECT_FLOAT_EQ(pieces[0].position.x, 0.0f);
  run(1.35);
  EXPECT_EQ(pieceCount, 1);
  run(0.1);
  EXPECT_EQ(pieceCount, 64);
}

TEST_F(SceneTest, ResetSetsUpTheViewInOrder) {
  resetScene();
  const std::vector<std::string> expected = {
      "glViewport(0,0,800,600)", "glMatrixMode(5889)", "glLoadIdentity()", "gluPerspective(19,1,1,20)",
      "glMatrixMode(5888)",      "glLoadIdentity()",   "glTranslatef(0,0,-6)", "glEnable(2929)",
  };
  std::vector<std::string> lines = glrec::lines();
  ASSERT_GE(lines.size(), expected.size());
  lines.resize(expected.size());
  EXPECT_EQ(lines, expected);
}

// At 3 s a third of the pieces has fallen out of the view: those are not sent, the others are.
TEST_F(SceneTest, FrameClearsThenDrawsEveryPieceInView) {
  run(3.0);
  glrec::clear();
  run(1.0 / 60);
  const std::vector<std::string> lines = glrec::lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "glClear(16640)");
  EXPECT_EQ(lines[1], "glDepthFunc(513)");
  const std::size_t sent = glrec::named("glBegin").size();
  EXPECT_GT(sent, 20u);
  EXPECT_LT(sent, 90u);
  EXPECT_EQ(glrec::named("glPushMatrix").size(), sent);
  glrec::clear();
  drawScene(kEverywhere, false);
  EXPECT_EQ(glrec::named("glBegin").size(), 100u);
}

// renderFrame must not allocate: count global allocations around a run of frames.
namespace {
int allocationCount = 0;
bool countAllocations = false;
}  // namespace

#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
  if (countAllocations) ++allocationCount;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (countAllocations) ++allocationCount;
  return std::malloc(size ? size : 1);
}
// Every form that frees what the forms above allocated, so that no allocation of this program
// meets another allocator's free (AddressSanitizer checks the pairs).
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

TEST_F(SceneTest, RenderFrameAllocatesNothing) {
  glrec::setRecording(false);
  allocationCount = 0;
  countAllocations = true;
  run(6.0);  // through both cut events and a full table
  countAllocations = false;
  EXPECT_EQ(pieceCount, 100);
  EXPECT_EQ(allocationCount, 0);

  // The counter itself works.
  countAllocations = true;
  int* volatile probe = new int(1);
  countAllocations = false;
  delete probe;
  EXPECT_EQ(allocationCount, 1);
}
