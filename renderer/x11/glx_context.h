// The GLX context the frames are drawn with, and the X font's display lists for the
// frame-rate corner.
#pragma once

#include <GL/glx.h>

#include "frame_driver.h"
#include "x_window.h"

class GlxContext {
 public:
  GlxContext() = default;
  ~GlxContext() { release(); }
  GlxContext(const GlxContext&) = delete;
  GlxContext& operator=(const GlxContext&) = delete;

  // Makes a context for the window's visual current on it; false with a line on stderr.
  bool create(Display* display, const char* program, const DrawWindow& target);
  // The "fixed" font as display lists, for the corner; no lists when the server has no such font.
  CornerFont loadCornerFont();
  // The back buffer's age before the next frame is drawn (see FrameViews::bufferAge).
  int bufferAge() const;
  // Shows the frame drawn, which differs from the one on the screen only inside `changed`, in a
  // window `width` x `height`; false when the window is gone.
  bool present(const ScreenRect& changed, int width, int height);
  // The texture and lists belong to the context: they are given back while it is current.
  void release();

 private:
  Display* display_ = nullptr;
  Window window_ = 0;
  GLXContext context_ = nullptr;
  GLuint fontLists_ = 0;
  // How frames reach the window: swaps whose back buffer's age the driver tells; copies of the
  // part that changed, which leave the back buffer as drawn; or swaps of unknown age.
  enum class Present { agedSwap, copy, swap } present_ = Present::swap;
  using CopyProc = void (*)(Display*, GLXDrawable, int, int, int, int);
  CopyProc copy_ = nullptr;
  bool presented_ = false;  // the back buffer holds the frame a copy showed last
  int copiedWidth_ = 0, copiedHeight_ = 0;  // the window's size at the last copy
  int wholeSwaps_ = 0;                      // swaps still due after a size change
};
