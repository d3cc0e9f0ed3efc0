// Frames cleared and drawn only where they can differ from their buffer, with the pieces outside
// left unsent, give the very pixels of frames drawn whole, on Mesa: the whole picture, the break,
// shards falling out of the view, the screen emptying and the next picture, over back buffers as
// a swap leaves them (the frame shown last, or one or two before).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <deque>
#include <vector>

#include "egl_headless.h"
#include "frame_loop.h"
#include "gl_api.h"
#include "scene.h"
#include "scene_on_mesa.h"
#include "screen_bounds.h"

namespace {

constexpr int kCutsWidth = 256;
constexpr int kCutsHeight = 192;
using Image = std::vector<unsigned char>;

Image readBuffer() {
  Image pixels(std::size_t(kCutsWidth) * kCutsHeight * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, kCutsWidth, kCutsHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  return pixels;
}

// Puts an older frame back into the buffer, as a swap of a buffer that age would leave it.
void writeBuffer(const Image& pixels) {
  glPushAttrib(GL_ENABLE_BIT);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glRasterPos2f(-1, -1);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glDrawPixels(kCutsWidth, kCutsHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopAttrib();
}

std::time_t cutsSeed() { return 7; }

TEST(SceneOnMesa, FramesDrawnOnlyWhereTheyChangeKeepEveryPixel) {
  HeadlessGl context;
  ASSERT_TRUE(context.open(kCutsWidth, kCutsHeight)) << "no EGL pbuffer with a depth buffer on Mesa";
  const DetailedScene scene(kCutsWidth, kCutsHeight, cutsSeed);
  const Image stale(std::size_t(kCutsWidth) * kCutsHeight * 4, 0xa5);  // a buffer never drawn

  for (int age = 1; age <= 3; ++age) {
    elapsedTime = 0;
    // A slow machine's 20 frames/s: pieces move past the rounding margin from frame to frame.
    frameTime = 1.0f / 20;
    resetScene();
    DamageTracker tracker;
    std::deque<Image> shown;  // shown.front(): the frame shown last
    int limited = 0, empty = 0, leftovers = 0, wrongWithoutAge = 0;
    for (int frame = 0; frame < 210; ++frame) {
      if (frame == 190) resetScene();  // the next picture over the emptied screen
      elapsedTime += frameTime;
      advanceScene();
      const Image& held = int(shown.size()) >= age ? shown[std::size_t(age - 1)] : stale;
      writeBuffer(held);
      const ScreenRect bounds = sceneOnScreen();
      const ScreenRect region = tracker.drawRegion(bounds, age);
      const ScreenRect regionIfAgeOne = tracker.drawRegion(bounds, 1);
      drawScene(region, true);
      const Image cut = readBuffer();
      tracker.shown(bounds);
      drawScene(kEverywhere, false);
      const Image whole = readBuffer();
      ASSERT_EQ(cut, whole) << "back buffer age " << age << ", frame " << frame;
      limited += std::int64_t(region.width()) * region.height() < std::int64_t(kCutsWidth) * kCutsHeight;
      empty += bounds.empty();
      // The same frame drawn only over its own pieces leaves the older frame's behind, and, over
      // a buffer two frames old, drawn as if it held the last frame: the cut's checks have teeth.
      if (!(region == kEverywhere)) {
        writeBuffer(held);
        drawScene(bounds, true);
        leftovers += readBuffer() != whole;
      }
      if (age == 3 && !(regionIfAgeOne == kEverywhere)) {
        writeBuffer(held);
        drawScene(regionIfAgeOne, true);
        wrongWithoutAge += readBuffer() != whole;
      }
      shown.push_front(whole);
      if (shown.size() > 3) shown.pop_back();
    }
    EXPECT_GT(limited, 80) << "age " << age << ": too few frames drawn in part to prove the cut";
    EXPECT_GT(empty, 20) << "age " << age << ": the screen never emptied";
    EXPECT_GT(leftovers, 15) << "age " << age << ": no frame left pixels of an older one";
    if (age == 3) {
      EXPECT_GT(wrongWithoutAge, 0) << "the buffer's age made no difference";
    }
  }
  usePictureFromMemory(nullptr);
  snapshotTexture.release();
}

// Our projection of a piece's corners bounds the window coordinates gluProject gives for them
// under the matrices the scene sets, within the rounding margin, through a fall.
TEST(SceneOnMesa, PieceBoundsHoldWhatGluProjectGives) {
  HeadlessGl context;
  ASSERT_TRUE(context.open(kCutsWidth, kCutsHeight));
  PictureRows none;
  usePictureFromMemory(&none);
  sceneCalendarTime = cutsSeed;
  screenWidth = kCutsWidth;
  screenHeight = kCutsHeight;
  elapsedTime = 0;
  frameTime = 1.0f / 60;
  resetScene();
  // A viewport off the origin and larger than the buffer, as one output's part of a layout.
  const ScreenRect viewport{-300, 40, -300 + 900, 40 + 500};
  int checked = 0, outside = 0;
  for (int frame = 0; frame < 420; ++frame) {
    elapsedTime += frameTime;
    advanceScene();
    if (frame % 5 != 0) continue;
    GLdouble projection[16];
    glGetDoublev(GL_PROJECTION_MATRIX, projection);
    const GLint view[4] = {viewport.left, viewport.bottom, viewport.width(), viewport.height()};
    for (int i = 0; i < pieceCount; ++i) {
      const Piece& p = pieces[i];
      glPushMatrix();
      glTranslatef(p.position.x, p.position.y, p.position.z);
      glRotatef(p.angle, p.spinAxis.x, p.spinAxis.y, p.spinAxis.z);
      GLdouble modelview[16];
      glGetDoublev(GL_MODELVIEW_MATRIX, modelview);
      glPopMatrix();
      double minX = 1e9, maxX = -1e9, minY = 1e9, maxY = -1e9;
      for (const Vec4& c : p.corners) {
        GLdouble x = 0, y = 0, z = 0;
        ASSERT_TRUE(gluProject(c.x, c.y, c.z, modelview, projection, view, &x, &y, &z));
        minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
      }
      const ScreenRect ours = pieceOnScreen(p, viewport);
      const ScreenRect glu = intersect({int(std::floor(minX)), int(std::floor(minY)), int(std::ceil(maxX)),
                                        int(std::ceil(maxY))},
                                       viewport);
      if (glu.empty()) {
        // Out of view: nothing, or the margin's strip along the edge it lies beyond.
        EXPECT_TRUE(ours.empty() || ours.width() <= 3 || ours.height() <= 3) << "frame " << frame << ", piece " << i;
        ++outside;
        continue;
      }
      // Ours holds GLU's, and exceeds it by no more than the margin (each side, up to 2 + 1 pixels).
      EXPECT_EQ(unite(ours, glu), ours) << "frame " << frame << ", piece " << i;
      EXPECT_LE(ours.width() - glu.width(), 6) << "frame " << frame << ", piece " << i;
      EXPECT_LE(ours.height() - glu.height(), 6) << "frame " << frame << ", piece " << i;
      ++checked;
    }
  }
  usePictureFromMemory(nullptr);
  snapshotTexture.release();
  EXPECT_GT(checked, 1000);
  EXPECT_GT(outside, 100);
}

}  // namespace
