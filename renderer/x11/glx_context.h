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
  // Shows the frame drawn; false when the window is gone.
  bool swap();
  // The texture and lists belong to the context: they are given back while it is current.
  void release();

 private:
  Display* display_ = nullptr;
  Window window_ = 0;
  GLXContext context_ = nullptr;
  GLuint fontLists_ = 0;
};
