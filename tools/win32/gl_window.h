// Test and benchmark helper: a small popup window with a current WGL context, for tools that
// call the renderer's texture code on the real opengl32/glu32.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

struct GlWindow {
  HWND window = nullptr;
  HDC dc = nullptr;
  HGLRC context = nullptr;

  // False when no context could be made current.
  bool open(const char* title) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc = {};
    wc.style = CS_OWNDC;
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = instance;
    wc.lpszClassName = title;
    RegisterClassA(&wc);
    window = CreateWindowExA(0, title, title, WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, instance, nullptr);
    ShowWindow(window, SW_SHOW);
    dc = GetDC(window);
    PIXELFORMATDESCRIPTOR pfd = {};
    pfd.nSize = sizeof pfd;
    pfd.nVersion = 1;
    pfd.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    pfd.iPixelType = PFD_TYPE_RGBA;
    pfd.cColorBits = 24;
    pfd.cDepthBits = 16;
    SetPixelFormat(dc, ChoosePixelFormat(dc, &pfd), &pfd);
    context = wglCreateContext(dc);
    return context && wglMakeCurrent(dc, context);
  }

  void close() {
    wglMakeCurrent(dc, nullptr);
    if (context) wglDeleteContext(context);
    if (window) DestroyWindow(window);
    context = nullptr;
    window = nullptr;
  }
};
