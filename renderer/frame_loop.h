// The renderer's program-wide state and the platform-free steps of its frame loop.
#pragma once

#include <cstdint>

extern int screenWidth;
extern int screenHeight;
// Where the picture's view starts in the window (GL's lower left origin): 0, 0 unless the
// window grew past the picture, whose part then stays over the monitors it was taken from.
extern int viewLeft;
extern int viewBottom;
extern bool isRunning;
extern std::int64_t counterFrequency;
extern std::int64_t startCounter;
extern float elapsedTime;
extern float frameTime;
extern int frameCount;
// Frames actually drawn since start (a frame equal to the last one drawn is counted but not drawn).
extern std::int64_t framesDrawn;

constexpr int kDefaultWidth = 1024;
constexpr int kDefaultHeight = 768;
constexpr int kFramesPerRestart = 401;

// A size below 1 (also what a missing key or a non-number reads as) falls back to the default.
int windowSizeOrDefault(int value, int fallback);

// Starts the clock just before the first reset.
void startClock(std::int64_t frequency, std::int64_t counter);

// Reads the new counter value into elapsedTime and frameTime.
void advanceClock(std::int64_t counter);

// One paint: clock, then the scene's frame. The caller swaps buffers afterwards. For a paint
// the system asks for (the window shown, uncovered, resized): it always draws.
void paintFrame(std::int64_t counter);

// The loop's own frame: clock and scene step as paintFrame, but the drawing is left out when
// the scene proves the picture equal to the last one drawn (the whole picture at rest, or
// nothing in view). True when it drew: only then does the caller swap buffers.
bool paintFrameIfChanged(std::int64_t counter);

// After the frame is shown: counts it and restarts the picture after every 401 frames.
// Returns true when it reset the scene.
bool frameShown();

// The WM_SIZE step: records the client size and sets the viewport.
void resizeView(int width, int height);
// The picture's view at `left`, `bottom` of the window, `width` x `height`; the rest of the
// window is only cleared.
void placeView(int left, int bottom, int width, int height);

// The WM_CHAR step: "g", "r", "s" in either case act on the scene.
void handleSceneKey(int characterCode);
// Whether the key is one of those; a front-end that ends on any other key asks this.
bool isSceneKey(int characterCode);

// The picture's view at `left`, `bottom`, as placeView, for one of several surfaces that show
// the same frame: what was drawn last still holds, since every one of them shows it.
void useView(int left, int bottom, int width, int height);

// The one rule of every front-end for a swap's wait on the display (the swap interval). A paced
// run lets a swap wait for the display's refresh: no tearing, and the pacer's 60 frames/s is what
// most displays refresh at. But only where nothing can hold that wait for ever: on Wayland an
// output that stops repainting never hands our buffer back, and one frame goes to several
// surfaces in turn, so there no swap waits (`displayCanStall`). An unpaced run (a benchmark's)
// never waits either.
int swapIntervalFor(bool paced, bool displayCanStall);

// Caps the frame rate with a deadline on the performance counter, so a fast machine
// still shows the cuts (the restart is counted in frames) and the loop idles between frames.
constexpr int kFastestFramesPerSecond = 60;

class FramePacer {
 public:
  FramePacer(std::int64_t frequency, int framesPerSecond);
  // The period given in counter ticks, as a delay between frames; 0 never waits.
  static FramePacer withPeriod(std::int64_t frequency, std::int64_t period);
  // A user's delay between frames in counter ticks, never shorter than one frame of a 60 Hz
  // display: left-out frames cost next to nothing, and without a floor the 401 frames of a
  // picture would pass before its first cut.
  static FramePacer forDelay(std::int64_t frequency, std::int64_t delay);

  // Milliseconds to wait before the next frame; 0 means draw now.
  std::uint32_t waitMilliseconds(std::int64_t now) const;

  // Moves the deadline on by one period; a deadline left far behind (a stall, or the first
  // frame) restarts one period after now.
  void frameDrawn(std::int64_t now);

 private:
  std::int64_t frequency_;
  std::int64_t period_;
  std::int64_t deadline_ = 0;
};
