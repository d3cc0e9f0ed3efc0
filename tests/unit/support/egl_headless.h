// A desktop-GL context on Mesa's surfaceless EGL platform, which needs no display server: with
// no surface for GL work that reads textures back, or on a pbuffer with a depth buffer for
// tests that draw and read the pixels. Where the surfaceless platform is missing (NVIDIA's
// EGL), the first EGL device stands in for it, with the same surfaces.
#pragma once

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <cstring>

class HeadlessGl {
 public:
  HeadlessGl() = default;
  HeadlessGl(const HeadlessGl&) = delete;
  HeadlessGl& operator=(const HeadlessGl&) = delete;

  // Width and height 0: no surface.
  bool open(int width = 0, int height = 0) {
    auto platformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (!platformDisplay) return false;
    const char* clientExtensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    const bool surfaceless = clientExtensions && std::strstr(clientExtensions, "EGL_MESA_platform_surfaceless");
    EGLint major = 0, minor = 0;
    if (surfaceless) display_ = platformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, &major, &minor)) {
      display_ = EGL_NO_DISPLAY;
      auto queryDevices = reinterpret_cast<PFNEGLQUERYDEVICESEXTPROC>(eglGetProcAddress("eglQueryDevicesEXT"));
      EGLDeviceEXT device = nullptr;
      EGLint devices = 0;
      if (!queryDevices || !queryDevices(1, &device, &devices) || devices < 1) return false;
      display_ = platformDisplay(EGL_PLATFORM_DEVICE_EXT, device, nullptr);
      if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, &major, &minor)) return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) return false;
    const bool drawn = width > 0 && height > 0;
    const EGLint bare[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    const EGLint withDepth[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                                EGL_RED_SIZE, 8, EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 16, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint count = 0;
    eglChooseConfig(display_, drawn ? withDepth : bare, &config, 1, &count);
    if (drawn) {
      if (count < 1) return false;
      const EGLint size[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
      surface_ = eglCreatePbufferSurface(display_, config, size);
      if (surface_ == EGL_NO_SURFACE) return false;
    }
    context_ = eglCreateContext(display_, count ? config : EGLConfig(nullptr), EGL_NO_CONTEXT, nullptr);
    return context_ != EGL_NO_CONTEXT && eglMakeCurrent(display_, surface_, surface_, context_);
  }

  ~HeadlessGl() {
    if (display_ == EGL_NO_DISPLAY) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != EGL_NO_CONTEXT) eglDestroyContext(display_, context_);
    if (surface_ != EGL_NO_SURFACE) eglDestroySurface(display_, surface_);
    eglTerminate(display_);
  }

 private:
  EGLDisplay display_ = EGL_NO_DISPLAY;
  EGLSurface surface_ = EGL_NO_SURFACE;
  EGLContext context_ = EGL_NO_CONTEXT;
};
