// The pieces drawn nearest first give the very pixels of the pieces drawn in index order, on
// Mesa, through a whole picture's fall. Headless: an EGL pbuffer on the surfaceless platform.
#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <vector>

#include "egl_headless.h"
#include "frame_loop.h"
#include "gl_api.h"
#include "scene.h"
#include "scene_on_mesa.h"

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 192;

std::vector<unsigned char> readFrame() {
  std::vector<unsigned char> pixels(std::size_t(kWidth) * kHeight * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

std::time_t seed = 0;
std::time_t pinnedSeed() { return seed; }

TEST(SceneOnMesa, NearestFirstDrawsThePixelsOfIndexOrder) {
  HeadlessGl context;
  ASSERT_TRUE(context.open(kWidth, kHeight)) << "no EGL pbuffer with a depth buffer on Mesa";
  const DetailedScene scene(kWidth, kHeight, pinnedSeed);

  int compared = 0, overlapping = 0;
  for (seed = 1; seed <= 3; ++seed) {
    elapsedTime = 0;
    frameTime = 1.0f / 60;
    resetScene();
    for (int frame = 0; frame < 400; ++frame) {
      elapsedTime += frameTime;
      advanceScene();
      if (frame % 4 != 0 || pieceCount == 1) continue;
      drawScene();
      const std::vector<unsigned char> nearestFirst = readFrame();
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      glDepthFunc(GL_LESS);
      for (int i = 0; i < pieceCount; ++i) pieces[i].draw();
      ASSERT_EQ(readFrame(), nearestFirst) << "seed " << seed << ", frame " << frame;
      ++compared;
      // The check has teeth only where pieces do overlap: farthest first shows other pixels.
      glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
      glDepthFunc(GL_ALWAYS);
      for (int i = 0; i < pieceCount; ++i) pieces[i].draw();
      overlapping += readFrame() != nearestFirst;
    }
  }
  usePictureFromMemory(nullptr);
  snapshotTexture.release();
  EXPECT_GT(compared, 200);
  EXPECT_GT(overlapping, compared / 4) << "too few frames where pieces overlap to prove the order";
}

}  // namespace

namespace {

// Without a picture (an unreadable snapshot, no screen capture) the whole piece shows
// untextured on Mesa: white, shading to grey towards its last corner, not black.
TEST(SceneOnMesa, NoPictureShowsThePieceWhiteAndGrey) {
  HeadlessGl context;
  ASSERT_TRUE(context.open(kWidth, kHeight));
  PictureRows none;
  usePictureFromMemory(&none);
  sceneCalendarTime = pinnedSeed;
  screenWidth = kWidth;
  screenHeight = kHeight;
  elapsedTime = 0;
  resetScene();
  drawScene();
  const std::vector<unsigned char> frame = readFrame();
  usePictureFromMemory(nullptr);
  snapshotTexture.release();
  const unsigned char* centre = &frame[(std::size_t(kHeight / 2) * kWidth + kWidth / 2) * 4];
  EXPECT_GT(centre[0], 180);
  EXPECT_GT(centre[1], 180);
  EXPECT_GT(centre[2], 180);
}

}  // namespace
