#include "egl_context.h"

#include <EGL/eglext.h>
#include <wayland-egl.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "config_choice.h"
#include "frame_loop.h"
#include "loop_hooks.h"

namespace {
bool offers(const char* extensions, const char* name) {
  const std::size_t length = std::strlen(name);
  for (const char* at = extensions; at && (at = std::strstr(at, name)) != nullptr; at += length) {
    if ((at == extensions || at[-1] == ' ') && (at[length] == ' ' || at[length] == '\0')) return true;
  }
  return false;
}
}  // namespace

bool EglContext::start(wl_display* display) {
  auto getPlatformDisplay =
      reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
  egl_ = getPlatformDisplay ? getPlatformDisplay(EGL_PLATFORM_WAYLAND_KHR, display, nullptr)
                            : eglGetDisplay(reinterpret_cast<EGLNativeDisplayType>(display));
  if (egl_ == EGL_NO_DISPLAY || !eglInitialize(egl_, nullptr, nullptr)) {
    std::fprintf(stderr, "%s: no EGL for this Wayland display\n", program_);
    egl_ = EGL_NO_DISPLAY;
    return false;
  }
  // Desktop OpenGL: the scene's fixed-function GL 1.1 calls as on X11.
  if (!eglBindAPI(EGL_OPENGL_API)) {
    std::fprintf(stderr, "%s: EGL offers no desktop OpenGL\n", program_);
    return false;
  }
  const EGLint attributes[] = {EGL_SURFACE_TYPE, EGL_WINDOW_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_RED_SIZE, 1,
                               EGL_GREEN_SIZE,   1,              EGL_BLUE_SIZE,       1,              EGL_DEPTH_SIZE, 16,
                               EGL_NONE};
  EGLint count = 0;
  if (!eglChooseConfig(egl_, attributes, nullptr, 0, &count) || count < 1) {
    std::fprintf(stderr, "%s: no EGL configuration with OpenGL and a depth buffer\n", program_);
    return false;
  }
  std::vector<EGLConfig> configs(std::size_t(count), nullptr);
  eglChooseConfig(egl_, attributes, configs.data(), count, &count);
  configs.resize(std::size_t(count));
  std::vector<ConfigColour> colours(configs.size());
  for (std::size_t i = 0; i < configs.size(); ++i) {
    eglGetConfigAttrib(egl_, configs[i], EGL_RED_SIZE, &colours[i].red);
    eglGetConfigAttrib(egl_, configs[i], EGL_GREEN_SIZE, &colours[i].green);
    eglGetConfigAttrib(egl_, configs[i], EGL_BLUE_SIZE, &colours[i].blue);
    eglGetConfigAttrib(egl_, configs[i], EGL_ALPHA_SIZE, &colours[i].alpha);
  }
  config_ = configs[preferredConfig(colours)];
  context_ = eglCreateContext(egl_, config_, EGL_NO_CONTEXT, nullptr);
  if (context_ == EGL_NO_CONTEXT) {
    std::fprintf(stderr, "%s: cannot create an OpenGL context\n", program_);
    return false;
  }
  // A frame drawn only where it changed needs its back buffer's age; a swap that names the part
  // that changed spares the compositor the rest (the same call under either extension).
  const char* extensions = eglQueryString(egl_, EGL_EXTENSIONS);
  const unsigned cuts = loopHooks().cuts();
  tellsAge_ = (cuts & kCutScissor) && offers(extensions, "EGL_EXT_buffer_age");  // the age serves only the scissor
  const char* damageCall = offers(extensions, "EGL_KHR_swap_buffers_with_damage")   ? "eglSwapBuffersWithDamageKHR"
                           : offers(extensions, "EGL_EXT_swap_buffers_with_damage") ? "eglSwapBuffersWithDamageEXT"
                                                                                    : nullptr;
  if (damageCall && (cuts & kCutPresent))
    swapWithDamage_ = reinterpret_cast<PFNEGLSWAPBUFFERSWITHDAMAGEKHRPROC>(eglGetProcAddress(damageCall));
  return true;
}

bool EglContext::attach(Output& output) {
  if (output.eglWindow) return true;
  output.eglWindow = wl_egl_window_create(output.surface, output.bufferWidth(), output.bufferHeight());
  if (!output.eglWindow) return false;
  output.eglSurface = eglCreateWindowSurface(egl_, config_, reinterpret_cast<EGLNativeWindowType>(output.eglWindow),
                                             nullptr);
  if (output.eglSurface == EGL_NO_SURFACE) {
    wl_egl_window_destroy(output.eglWindow);
    output.eglWindow = nullptr;
    return false;
  }
  // The frame schedule is ours, not the compositor's: a swap never waits for a frame callback
  // (an output that stops repainting would stall the others, and the run with them). The
  // interval belongs to the surface current when it is set, so it is set on each one.
  if (!makeCurrent(output) || !eglSwapInterval(egl_, swapIntervalFor(true, true))) {
    detach(output);
    return false;
  }
  output.stage = OutputStage::drawing;
  output.mustDraw = true;
  return true;
}

void EglContext::resize(Output& output) {
  if (output.eglWindow) {
    wl_egl_window_resize(output.eglWindow, output.bufferWidth(), output.bufferHeight(), 0, 0);
  }
  output.mustDraw = true;
}

bool EglContext::makeCurrent(Output& output) {
  if (current_ == &output) return true;
  if (output.eglSurface == EGL_NO_SURFACE || !eglMakeCurrent(egl_, output.eglSurface, output.eglSurface, context_)) {
    return false;
  }
  current_ = &output;
  return true;
}

int EglContext::bufferAge(Output& output) {
  EGLint age = 0;
  if (!tellsAge_ || current_ != &output || !eglQuerySurface(egl_, output.eglSurface, EGL_BUFFER_AGE_EXT, &age))
    return 0;
  return int(age);
}

bool EglContext::swap(Output& output, const ScreenRect& changed) {
  const ScreenRect part = intersect(changed, {0, 0, output.bufferWidth(), output.bufferHeight()});
  if (!swapWithDamage_) return eglSwapBuffers(egl_, output.eglSurface) == EGL_TRUE;
  // No rectangle would mean the whole surface: an unchanged frame names an empty one instead.
  EGLint rect[4] = {part.left, part.bottom, part.width(), part.height()};
  return swapWithDamage_(egl_, output.eglSurface, rect, 1) == EGL_TRUE;
}

void EglContext::detach(Output& output) {
  if (current_ == &output) {
    eglMakeCurrent(egl_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_);
    current_ = nullptr;
  }
  if (output.eglSurface != EGL_NO_SURFACE) eglDestroySurface(egl_, output.eglSurface);
  output.eglSurface = EGL_NO_SURFACE;
  if (output.eglWindow) wl_egl_window_destroy(output.eglWindow);
  output.eglWindow = nullptr;
}

bool EglContext::makeCurrentAlone() {
  if (context_ == EGL_NO_CONTEXT) return false;
  if (current_) return true;
  return eglMakeCurrent(egl_, EGL_NO_SURFACE, EGL_NO_SURFACE, context_) == EGL_TRUE;
}

void EglContext::close() {
  if (egl_ != EGL_NO_DISPLAY) {
    eglMakeCurrent(egl_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(egl_, context_);
    eglTerminate(egl_);
  }
  context_ = EGL_NO_CONTEXT;
  egl_ = EGL_NO_DISPLAY;
  current_ = nullptr;
}
