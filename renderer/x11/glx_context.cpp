#include "glx_context.h"

#include <cstdio>
#include <cstring>

#include "loop_hooks.h"
#include "x_display.h"

#ifndef GLX_BACK_BUFFER_AGE_EXT
#  define GLX_BACK_BUFFER_AGE_EXT 0x20F4
#endif

namespace {
const int kCornerCharacters = 96;  // ASCII 32 to 127

bool offers(const char* extensions, const char* name) {
  const std::size_t length = std::strlen(name);
  for (const char* at = extensions; at && (at = std::strstr(at, name)) != nullptr; at += length) {
    const bool starts = at == extensions || at[-1] == ' ';
    if (starts && (at[length] == ' ' || at[length] == '\0')) return true;
  }
  return false;
}

// The swap's wait on the display by the rule of every front-end (an X window is always
// refreshed), where the driver lets a program choose it; otherwise the driver's own.
void setSwapInterval(Display* display, Window window) {
  const int interval = swapIntervalFor(true, false);
  const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
  if (offers(extensions, "GLX_EXT_swap_control")) {
    using Proc = void (*)(Display*, GLXDrawable, int);
    if (auto set = reinterpret_cast<Proc>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalEXT"))))
      set(display, window, interval);
  } else if (offers(extensions, "GLX_MESA_swap_control")) {
    using Proc = int (*)(unsigned);
    if (auto set = reinterpret_cast<Proc>(glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXSwapIntervalMESA"))))
      set(unsigned(interval));
  }
}
}  // namespace

bool GlxContext::create(Display* display, const char* program, const DrawWindow& target) {
  display_ = display;
  window_ = target.window;
  context_ = glXCreateContext(display, const_cast<XVisualInfo*>(&target.visual), nullptr, True);
  if (!context_) {
    std::fprintf(stderr, "%s: cannot create an OpenGL context\n", program);
    return false;
  }
  XErrorTrap trap(display);
  if (!glXMakeCurrent(display, target.window, context_) || trap.check()) {
    std::fprintf(stderr, "%s: cannot draw into window 0x%lx\n", program, target.window);
    return false;
  }
  // A driver that refuses the interval leaves its own; the trap keeps its error harmless.
  setSwapInterval(display, target.window);
  // Swaps keep their wait on the display where the driver tells the back buffer's age. Without
  // (a software GL, whose swaps wait for no display anyway) a copy of the changed part shows the
  // frame and keeps the back buffer; the frame pacer alone then times the frames.
  const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
  const unsigned cuts = loopHooks().cuts();
  if (offers(extensions, "GLX_EXT_buffer_age")) {
    if (cuts & kCutScissor) present_ = Present::agedSwap;  // the age serves only the scissor
  } else if ((cuts & (kCutScissor | kCutPresent)) && offers(extensions, "GLX_MESA_copy_sub_buffer")) {
    copy_ = reinterpret_cast<CopyProc>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
    if (copy_) present_ = Present::copy;
  }
  return true;
}

CornerFont GlxContext::loadCornerFont() {
  CornerFont corner;
  if (XFontStruct* font = XLoadQueryFont(display_, "fixed")) {
    fontLists_ = glGenLists(kCornerCharacters);
    glXUseXFont(font->fid, 32, kCornerCharacters, GLint(fontLists_));
    corner = {fontLists_, font->ascent + font->descent};
    XFreeFont(display_, font);
  }
  return corner;
}

int GlxContext::bufferAge() const {
  if (present_ == Present::copy) return presented_ ? 1 : 0;
  if (present_ != Present::agedSwap) return 0;
  unsigned age = 0;
  glXQueryDrawable(display_, window_, GLX_BACK_BUFFER_AGE_EXT, &age);
  return int(age);
}

bool GlxContext::present(const ScreenRect& changed, int width, int height) {
  XErrorTrap trap(display_);
  if (present_ == Present::copy && (width != copiedWidth_ || height != copiedHeight_)) {
    // A copy never tells the GL that the window changed size: its back buffer would keep the
    // old one, and the window's new part would never be drawn. Swaps do; the frame drawn before
    // the GL saw the new size and the first one drawn at it go out whole, as swaps.
    copiedWidth_ = width;
    copiedHeight_ = height;
    wholeSwaps_ = 2;
  }
  if (present_ == Present::copy && wholeSwaps_ > 0) {
    glXSwapBuffers(display_, window_);
    --wholeSwaps_;
    presented_ = false;  // a swap's back buffer holds nothing known
  } else if (present_ == Present::copy) {
    const ScreenRect part = intersect(changed, {0, 0, width, height});
    // The copy flushes the GL's work first; nothing changed, nothing to copy.
    if (!part.empty()) copy_(display_, window_, part.left, part.bottom, part.width(), part.height());
    // The back buffer keeps the frame just shown.
    presented_ = true;
  } else {
    glXSwapBuffers(display_, window_);
  }
  if (!trap.check()) return true;
  // An error then means the window is gone, unless it is still there.
  XWindowAttributes attributes;
  XErrorTrap probe(display_);
  return XGetWindowAttributes(display_, window_, &attributes) && !probe.check();
}

void GlxContext::release() {
  if (!context_) return;
  XErrorTrap trap(display_);
  snapshotTexture.release();
  if (fontLists_) glDeleteLists(fontLists_, kCornerCharacters);
  fontLists_ = 0;
  glXMakeCurrent(display_, None, nullptr);
  glXDestroyContext(display_, context_);
  context_ = nullptr;
}
