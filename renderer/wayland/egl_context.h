// One desktop-OpenGL context over EGL for every surface of the run; each output's surface gets
// a window surface of its own, made current in turn.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <wayland-client.h>

#include "damage.h"
#include "wayland_output.h"

class EglContext {
 public:
  explicit EglContext(const char* program) : program_(program) {}
  ~EglContext() { close(); }
  EglContext(const EglContext&) = delete;
  EglContext& operator=(const EglContext&) = delete;

  // The display, an opaque configuration with a depth buffer, and the context; false, said in
  // one line, when EGL cannot give them.
  bool start(wl_display* display);
  // The output's window surface at its configured size (stage drawing); false when it cannot
  // be made. Its swaps never wait for the compositor.
  bool attach(Output& output);
  // The new configured size of an attached output.
  void resize(Output& output);
  bool makeCurrent(Output& output);
  // The age of the current output's back buffer (FrameViews::bufferAge); 0 where EGL does not
  // tell it.
  int bufferAge(Output& output);
  // Shows what was drawn on the output, telling the compositor it changed only inside
  // `changed` where EGL can; false when the swap failed.
  bool swap(Output& output, const ScreenRect& changed);
  // Lets the output's window surface go; the context (and the texture in it) stays.
  void detach(Output& output);
  // Whether any output's surface is current.
  bool hasCurrent() const { return current_ != nullptr; }
  // Makes the context current without a surface, to give back what lives in it; false when
  // that cannot be done.
  bool makeCurrentAlone();
  void close();

 private:
  const char* program_;
  EGLDisplay egl_ = EGL_NO_DISPLAY;
  EGLConfig config_ = nullptr;
  EGLContext context_ = EGL_NO_CONTEXT;
  Output* current_ = nullptr;
  bool tellsAge_ = false;
  PFNEGLSWAPBUFFERSWITHDAMAGEKHRPROC swapWithDamage_ = nullptr;
};
