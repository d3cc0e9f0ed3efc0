#include "frame_loop.h"

#include "gl_api.h"
#include "scene.h"

int screenWidth = kDefaultWidth;
int screenHeight = kDefaultHeight;
int viewLeft = 0;
int viewBottom = 0;
bool isRunning = false;
std::int64_t counterFrequency = 1;
std::int64_t startCounter = 0;
float elapsedTime = 0;
float frameTime = 0;
int frameCount = 0;
std::int64_t framesDrawn = 0;

int windowSizeOrDefault(int value, int fallback) { return value < 1 ? fallback : value; }

void startClock(std::int64_t frequency, std::int64_t counter) {
  counterFrequency = frequency > 0 ? frequency : 1;
  startCounter = counter;
}

void advanceClock(std::int64_t counter) {
  const double now = double(counter - startCounter) / double(counterFrequency);
  // frameTime is the new, not yet stored time minus the stored previous one.
  frameTime = float(now - double(elapsedTime));
  elapsedTime = float(now);
}

void paintFrame(std::int64_t counter) {
  advanceClock(counter);
  renderFrame();
  ++framesDrawn;
}

bool paintFrameIfChanged(std::int64_t counter) {
  advanceClock(counter);
  advanceScene();
  if (sceneLooksAsLastDrawn()) return false;
  drawScene();
  ++framesDrawn;
  return true;
}

bool frameShown() {
  ++frameCount;
  if (frameCount >= kFramesPerRestart) {
    resetScene();
    frameCount = 0;
    return true;
  }
  return false;
}

void resizeView(int width, int height) { placeView(0, 0, width, height); }

void placeView(int left, int bottom, int width, int height) {
  lastDrawnView = SceneView::moving;  // the same scene on another viewport is another picture
  useView(left, bottom, width, height);
}

void useView(int left, int bottom, int width, int height) {
  viewLeft = left;
  viewBottom = bottom;
  screenWidth = width;
  screenHeight = height;
  glViewport(left, bottom, width, height == 0 ? 1 : height);
}

bool isSceneKey(int characterCode) {
  int c = static_cast<signed char>(characterCode);
  if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
  return c == 'g' || c == 'r' || c == 's';
}

void handleSceneKey(int characterCode) {
  int c = static_cast<signed char>(characterCode);
  if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
  switch (c) {
    case 'g': toggleGravity(); break;
    case 'r': resetScene(); break;
    case 's': splitAll(); break;
    default: break;
  }
}

int swapIntervalFor(bool paced, bool displayCanStall) { return paced && !displayCanStall ? 1 : 0; }

FramePacer::FramePacer(std::int64_t frequency, int framesPerSecond)
    : frequency_(frequency > 0 ? frequency : 1),
      period_((frequency > 0 ? frequency : 1) / (framesPerSecond > 0 ? framesPerSecond : 60)) {}

FramePacer FramePacer::withPeriod(std::int64_t frequency, std::int64_t period) {
  FramePacer pacer(frequency, 60);
  pacer.period_ = period > 0 ? period : 0;
  return pacer;
}

FramePacer FramePacer::forDelay(std::int64_t frequency, std::int64_t delay) {
  const std::int64_t shortest = (frequency > 0 ? frequency : 1) / kFastestFramesPerSecond;
  return withPeriod(frequency, delay > shortest ? delay : shortest);
}

std::uint32_t FramePacer::waitMilliseconds(std::int64_t now) const {
  const std::int64_t remaining = deadline_ - now;
  if (remaining <= 0) return 0;
  return std::uint32_t(remaining * 1000 / frequency_);
}

void FramePacer::frameDrawn(std::int64_t now) {
  deadline_ += period_;
  // Left far behind (a stall, or the first frame): a whole period from now, not a burst.
  if (deadline_ < now - period_) deadline_ = now + period_;
}
