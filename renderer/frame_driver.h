// The frame schedule every front-end runs, in one place: the clock, the pacing floor, a frame
// drawn or left out when equal to the one on the screen, the count and the 401-frame restart,
// the loop hooks and start-up steps, the optional frame-rate corner. A front-end pumps its
// events, calls draw(), swaps when it drew, calls shown(), and sleeps for what draw() asked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "damage.h"
#include "frame_loop.h"
#include "frame_rate.h"
#include "texture.h"

struct FrameDriverOptions {
  std::int64_t frequency = 1;  // counter ticks per second
  // Ticks from one frame to the next; never less than one 60 Hz frame. Unpaced hooks ignore it.
  std::int64_t delay = 0;
  // The process's processor seconds so far, for the frame-rate corner; nullptr: no corner.
  double (*processorSeconds)() = nullptr;
};

// Display lists of the ASCII characters 32 to 127 (one per character) in a bitmap font the
// front-end made for the corner, and the font's line height in pixels.
struct CornerFont {
  unsigned lists = 0;
  int height = 0;
};

// A GL viewport: window coordinates, origin at the lower left.
struct Viewport {
  int left = 0;
  int bottom = 0;
  int width = 0;
  int height = 0;
};

// The surfaces one frame shows on (one per output on Wayland), each with its own viewport
// into the same scene.
class FrameViews {
 public:
  virtual std::size_t viewCount() const = 0;
  // Where the picture's view lies in view `index`; false leaves that view out of this frame.
  virtual bool placeView(std::size_t index, Viewport& where) = 0;
  // Makes view `index` the one drawn on (its surface current); false leaves it out.
  virtual bool selectView(std::size_t index) = 0;
  // The age of view `index`'s back buffer once selected (1: the frame shown last on it, 2 the
  // one before; 0: not known, the frame is drawn whole).
  virtual int bufferAge(std::size_t index) {
    (void)index;
    return 0;
  }
  // The frame is drawn on view `index`: show it; it differs from the one shown before only
  // inside `changed` (window coordinates, possibly reaching past the surface).
  virtual void presentView(std::size_t index, const ScreenRect& changed) = 0;

 protected:
  ~FrameViews() = default;
};

class FrameDriver {
 public:
  struct Frame {
    bool due = false;    // false: nothing to do before waitMilliseconds have passed
    bool drawn = false;  // the back buffer holds a new frame: swap, then call shown()
    std::uint32_t waitMilliseconds = 0;
    // Where the frame drawn differs from the one on the screen (window coordinates, possibly
    // reaching past the window): the part a front-end that can must show.
    ScreenRect damage = kEverywhere;
  };

  // Starts the run at counter value `now`: the view's size, the picture (nullptr: the snapshot
  // file), the clock, the first reset (the picture's load), the "texture built" step.
  void init(const FrameDriverOptions& options, int width, int height, const PictureRows* picture, std::int64_t now);
  void setCornerFont(const CornerFont& font) { font_ = font; }

  // One turn of the loop. `mustDraw`: the system lost the window's pixels (an exposure), so
  // the frame is drawn (whole) even when it equals the last one. `bufferAge` as for
  // FrameViews::bufferAge: where it is known, only what can differ from it is drawn.
  Frame draw(std::int64_t now, bool mustDraw = false, int bufferAge = 0);
  // draw() on several views: the scene steps once and, when the frame is drawn, every view
  // shows the same frame (drawn and presented one after another). `mustDraw` as for draw();
  // a view whose viewport changed since the last frame is drawn too. Call shown() after.
  Frame draw(std::int64_t now, bool mustDraw, FrameViews& views);
  // A frame the system asks for (the window shown or uncovered): drawn now, whatever the pacing.
  Frame paint(std::int64_t now);
  // After a due frame (drawn and swapped, or left out), at counter value `now`: counts it,
  // restarts the picture after every 401, runs the hooks.
  void shown(std::int64_t now);

  void reshape(int width, int height);
  // The picture's view in part of a larger window (see placeView).
  void place(int left, int bottom, int width, int height);
  void key(int characterCode);
  // The loop's end, while the GL context is still current.
  void free();

 private:
  Frame step(std::int64_t now, bool mustDraw, int bufferAge);
  ScreenRect drawLimited(DamageTracker& tracker, int bufferAge, bool whole);
  void drawCorner();

  FrameDriverOptions options_;
  CornerFont font_;
  FramePacer pacer_{1, kFastestFramesPerSecond};
  FrameRateMeter meter_;
  std::int64_t frameStart_ = 0;
  bool firstShown_ = false;
  std::vector<Viewport> lastViews_;  // where each view's last frame went
  DamageTracker tracker_;             // the window of draw()
  std::vector<DamageTracker> viewTrackers_;
};
