#include "frame_driver.h"

#include <string>

#include "gl_api.h"
#include "loop_hooks.h"
#include "scene.h"

void FrameDriver::init(const FrameDriverOptions& options, int width, int height, const PictureRows* picture,
                       std::int64_t now) {
  options_ = options;
  firstShown_ = false;
  LoopHooks& hooks = loopHooks();
  pacer_ = hooks.paced() ? FramePacer::forDelay(options.frequency, options.delay)
                         : FramePacer::withPeriod(options.frequency, 0);
  screenWidth = width;
  screenHeight = height;
  usePictureFromMemory(picture);
  startClock(options.frequency, now);
  resetScene();
  hooks.onStartupStep("texture built");
  isRunning = true;
}

FrameDriver::Frame FrameDriver::draw(std::int64_t now, bool mustDraw, int bufferAge) {
  Frame frame;
  frame.waitMilliseconds = pacer_.waitMilliseconds(now);
  if (frame.waitMilliseconds > 0) return frame;
  return step(now, mustDraw, bufferAge);
}

FrameDriver::Frame FrameDriver::paint(std::int64_t now) { return step(now, true, 0); }

FrameDriver::Frame FrameDriver::draw(std::int64_t now, bool mustDraw, FrameViews& views) {
  Frame frame;
  frame.waitMilliseconds = pacer_.waitMilliseconds(now);
  if (frame.waitMilliseconds > 0) return frame;
  frame.due = true;
  frameStart_ = now;
  const std::size_t count = views.viewCount();
  std::vector<Viewport> places(count);
  std::vector<bool> usable(count, false), moved(count, false);
  for (std::size_t i = 0; i < count; ++i) {
    usable[i] = views.placeView(i, places[i]);
    moved[i] = i >= lastViews_.size() || places[i].left != lastViews_[i].left ||
               places[i].bottom != lastViews_[i].bottom || places[i].width != lastViews_[i].width ||
               places[i].height != lastViews_[i].height;
    mustDraw = mustDraw || (usable[i] && moved[i]);
  }
  if (count != lastViews_.size()) mustDraw = true;
  viewTrackers_.resize(count);
  // A view's buffers hold nothing known once it moved, or where the frame must be drawn whole.
  for (std::size_t i = 0; i < count; ++i)
    if (mustDraw || moved[i]) viewTrackers_[i].forget();
  advanceClock(now);
  advanceScene();
  const bool corner = options_.processorSeconds && font_.lists;
  if (!mustDraw && !corner && loopHooks().skipsEqualFrames() && sceneLooksAsLastDrawn()) return frame;
  bool any = false;
  for (std::size_t i = 0; i < count; ++i) {
    if (!usable[i] || !views.selectView(i)) continue;
    const Viewport& v = places[i];
    useView(v.left, v.bottom, v.width, v.height);
    const ScreenRect changed = drawLimited(viewTrackers_[i], views.bufferAge(i), corner);
    if (corner) drawCorner();
    views.presentView(i, changed);
    any = true;
  }
  lastViews_ = places;
  if (any) ++framesDrawn;
  frame.drawn = any;
  return frame;
}

FrameDriver::Frame FrameDriver::step(std::int64_t now, bool mustDraw, int bufferAge) {
  Frame frame;
  frame.due = true;
  frameStart_ = now;
  // The corner changes with every frame: then no frame equals the last one.
  const bool corner = options_.processorSeconds && font_.lists;
  advanceClock(now);
  advanceScene();
  if (!mustDraw && !corner && loopHooks().skipsEqualFrames() && sceneLooksAsLastDrawn()) return frame;
  if (mustDraw) tracker_.forget();
  frame.damage = drawLimited(tracker_, bufferAge, corner);
  ++framesDrawn;
  frame.drawn = true;
  if (corner) drawCorner();
  return frame;
}

// The frame drawn over a back buffer `bufferAge` frames old, only where the two can differ
// (`whole`: everywhere, as for the corner); returns where it differs from the frame on the screen.
ScreenRect FrameDriver::drawLimited(DamageTracker& tracker, int bufferAge, bool whole) {
  const unsigned cuts = loopHooks().cuts();
  const ScreenRect bounds = whole ? kEverywhere : sceneOnScreen();
  const ScreenRect region = (cuts & kCutScissor) ? tracker.drawRegion(bounds, bufferAge) : kEverywhere;
  const ScreenRect changed = (cuts & kCutPresent) ? tracker.changed(bounds) : kEverywhere;
  drawScene(region, (cuts & kCutPieces) != 0);
  tracker.shown(bounds);
  return changed;
}

void FrameDriver::shown(std::int64_t now) {
  LoopHooks& hooks = loopHooks();
  if (!firstShown_ && framesDrawn > 0) {
    firstShown_ = true;
    hooks.onStartupStep("first frame");
  }
  pacer_.frameDrawn(frameStart_);
  frameShown();
  hooks.onFrameShown(frameStart_);
  if (options_.processorSeconds) {
    meter_.frameShown(double(now) / double(options_.frequency > 0 ? options_.frequency : 1),
                      options_.processorSeconds());
  }
}

void FrameDriver::reshape(int width, int height) {
  tracker_.forget();
  resizeView(width, height);
}

void FrameDriver::place(int left, int bottom, int width, int height) {
  tracker_.forget();
  placeView(left, bottom, width, height);
}

void FrameDriver::key(int characterCode) { handleSceneKey(characterCode); }

void FrameDriver::free() {
  if (!isRunning) return;
  isRunning = false;
  loopHooks().onLoopEnd();
}

// Frames per second and processor load in the lower left corner: pixel coordinates, no
// texture or depth, every state it touches put back after.
void FrameDriver::drawCorner() {
  glPushAttrib(GL_ENABLE_BIT | GL_CURRENT_BIT | GL_LIST_BIT);
  glDisable(GL_TEXTURE_2D);
  glDisable(GL_DEPTH_TEST);
  glMatrixMode(GL_PROJECTION);
  glPushMatrix();
  glLoadIdentity();
  glOrtho(0, screenWidth, 0, screenHeight, -1, 1);
  glMatrixMode(GL_MODELVIEW);
  glPushMatrix();
  glLoadIdentity();
  glListBase(font_.lists - 32);
  const std::string lines[2] = {meter_.loadLine(), meter_.rateLine()};
  for (int i = 0; i < 2; ++i) {
    const int y = 10 + i * (font_.height + 2);
    // A dark shadow under white text: readable over any picture.
    glColor3f(0, 0, 0);
    glRasterPos2i(11, y - 1);
    glCallLists(GLsizei(lines[i].size()), GL_UNSIGNED_BYTE, lines[i].data());
    glColor3f(1, 1, 1);
    glRasterPos2i(10, y);
    glCallLists(GLsizei(lines[i].size()), GL_UNSIGNED_BYTE, lines[i].data());
  }
  glPopMatrix();
  glMatrixMode(GL_PROJECTION);
  glPopMatrix();
  glMatrixMode(GL_MODELVIEW);
  glPopAttrib();
}
