// Win32 front-end of the renderer: entry point, window procedure, WGL context, clock.
//  [x] profile reader for the window rectangle, borderless window "Glassfall_VC"
//  [x] pixel format, WGL context, debugger line about the chosen format
//  [x] frame loop on the performance counter, paced to 60 frames/s (swap interval + deadline)
//  [x] a frame equal to the one on the screen is counted but not drawn; WM_PAINT always draws
//  [x] loop hooks at each shown frame and at the end (a benchmark build links its own)
//  [x] keys: Escape ends, g / r / s act on the scene; WM_CLOSE ends through DefWindowProc
//  [x] multi-monitor: the window covers the rectangle the host wrote, clipped to the virtual screen
//  [x] a changed screen (monitor added or removed, new resolution): the window covers the new
//      virtual screen within a second, the picture where it was taken, black elsewhere
//  [x] the snapshot file read on a thread of its own while the window and context are made
//      (read_ahead.cpp)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "../frame_driver.h"
#include "../gl_api.h"
#include "../loop_hooks.h"
#include "../placement.h"
#include "../scene.h"
#include "read_ahead.h"

namespace {

// The host finds the renderer by this title; the class carries the same name.
const char* const kClassName = contract::kRendererWindowTitle;
const char* const kSettingsPath = contract::kSettingsFile;

HDC deviceContext = nullptr;
HGLRC renderContext = nullptr;

// The constant part; the rest is completed once, at the first choice of a format.
PIXELFORMATDESCRIPTOR baseDescriptor() {
  PIXELFORMATDESCRIPTOR d = {};
  d.nSize = sizeof(PIXELFORMATDESCRIPTOR);
  d.nVersion = 1;
  d.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  d.iPixelType = PFD_TYPE_RGBA;
  return d;
}
PIXELFORMATDESCRIPTOR pixelFormat = baseDescriptor();
bool pixelFormatCompleted = false;
bool swapKeepsBackBuffer = false;  // the format's swaps copy: the back buffer holds the last frame

FrameDriver driver;
// What the picture covers (the rectangle it was taken from) and what the window covers now:
// the same until the screen changes under the run.
WindowRect pictureArea;
WindowRect windowArea;
constexpr UINT_PTR kScreenCheckTimer = 1;
constexpr UINT kScreenCheckMs = 250;

void debugPrintf(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  OutputDebugStringA(buffer);
}

std::string profileText(const char* key) {
  char buffer[64] = {};
  GetPrivateProfileStringA(contract::kSettingsSection, key, "", buffer, sizeof buffer, kSettingsPath);
  return buffer;
}

WindowRect virtualScreen() {
  return {GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
          GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

WindowRect placeWindow() {
  return windowPlacement({profileText(contract::kKeyWidth), profileText(contract::kKeyHeight),
                          profileText(contract::kKeyLeft), profileText(contract::kKeyTop)},
                         virtualScreen());
}

std::int64_t readCounter() {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

void choosePixelFormat() {
  const int bitsPerPixel = GetDeviceCaps(deviceContext, BITSPIXEL);
  if (!pixelFormatCompleted) {
    pixelFormat.cColorBits = BYTE(bitsPerPixel);
    pixelFormat.cDepthBits = 16;
    pixelFormat.iLayerType = PFD_MAIN_PLANE;
    pixelFormatCompleted = true;
  }
  const int index = ChoosePixelFormat(deviceContext, &pixelFormat);
  debugPrintf("PixelFormat Selected: %d\nBPP: %d\n", index, bitsPerPixel);
  SetPixelFormat(deviceContext, index, &pixelFormat);
  PIXELFORMATDESCRIPTOR chosen = {};
  swapKeepsBackBuffer = DescribePixelFormat(deviceContext, index, sizeof chosen, &chosen) &&
                        (chosen.dwFlags & PFD_SWAP_COPY);
}

// Where the driver offers it, the swap's wait on the display follows the rule of every front-end
// (a window of its own, which the display always refreshes).
void setSwapInterval() {
  typedef BOOL(WINAPI * SwapIntervalProc)(int);
  PROC proc = wglGetProcAddress("wglSwapIntervalEXT");
  if (proc == nullptr) return;
  reinterpret_cast<SwapIntervalProc>(reinterpret_cast<void*>(proc))(swapIntervalFor(loopHooks().paced(), false));
}

void onCreate(HWND window) {
  deviceContext = GetDC(window);
  choosePixelFormat();
  renderContext = wglCreateContext(deviceContext);
  wglMakeCurrent(deviceContext, renderContext);
  setSwapInterval();
  // HACK: Wine sends no WM_DISPLAYCHANGE to the window when a monitor comes or goes, so the
  // virtual screen is also looked at four times a second.
  SetTimer(window, kScreenCheckTimer, kScreenCheckMs, nullptr);
  loopHooks().onStartupStep("gl context");
}

void onSize(int width, int height) {
  if (windowArea.width == width && windowArea.height == height && !(windowArea == pictureArea)) {
    const WindowRect view = pictureViewport(pictureArea, windowArea);
    driver.place(view.left, view.top, view.width, view.height);
  } else {
    driver.reshape(width, height);
  }
}

// A monitor plugged in or removed, or a new resolution: the window covers the virtual screen
// again; the picture stays where it was taken, and where it has none the window is black.
void followScreen(HWND window) {
  const WindowRect screen = virtualScreen();
  if (screen.width < 1 || screen.height < 1 || screen == windowArea) return;
  windowArea = screen;
  SetWindowPos(window, nullptr, screen.left, screen.top, screen.width, screen.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // A move alone sends no WM_SIZE, yet it moves the picture within the window.
  RECT client;
  if (GetClientRect(window, &client)) onSize(client.right, client.bottom);
}

void onDestroy() {
  driver.free();
  wglMakeCurrent(deviceContext, nullptr);
  wglDeleteContext(renderContext);
  PostQuitMessage(0);
}

// A frame the driver made: swapped when it drew, then counted.
void show(const FrameDriver::Frame& frame) {
  if (frame.drawn) SwapBuffers(deviceContext);
  driver.shown(readCounter());
}

// Only the system invalidates the window: the loop draws its frames without a paint message.
void onPaint(HWND window) {
  if (!isRunning) return;
  show(driver.paint(readCounter()));
  ValidateRect(window, nullptr);
}

void onKeyDown(HWND window, WPARAM key) {
  if (key == VK_ESCAPE) {
    DestroyWindow(window);
    ShowCursor(TRUE);
  }
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE: onCreate(window); return 0;
    case WM_DESTROY: onDestroy(); return 0;
    case WM_SIZE: onSize(LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_DISPLAYCHANGE: followScreen(window); return 0;
    case WM_TIMER:
      if (wParam == kScreenCheckTimer) followScreen(window);
      return 0;
    case WM_PAINT: onPaint(window); return 0;
    case WM_KEYDOWN: onKeyDown(window, wParam); return 0;
    case WM_CHAR: driver.key(int(wParam)); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  loopHooks().onStartupStep("entry");
  SnapshotReadAhead snapshot;
  snapshot.start();
  isRunning = false;
  ShowCursor(FALSE);

  const WindowRect placement = placeWindow();
  pictureArea = windowArea = placement;
  screenWidth = placement.width;
  screenHeight = placement.height;

  WNDCLASSA windowClass = {};
  windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_OWNDC;
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassA(&windowClass)) {
    snapshot.finish();
    return 0;
  }

  HWND window = CreateWindowExA(0, kClassName, kClassName, WS_POPUP, placement.left, placement.top, screenWidth,
                                screenHeight, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) {
    snapshot.finish();
    return 0;
  }

  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  loopHooks().onStartupStep("window shown");
  snapshot.finish();

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  FrameDriverOptions driving;
  driving.frequency = frequency.QuadPart;
  driving.delay = frequency.QuadPart / kFastestFramesPerSecond;
  driver.init(driving, screenWidth, screenHeight, nullptr, readCounter());

  MSG message = {};  // an empty queue leaves it unwritten
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
  while (message.message != WM_QUIT) {
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
      continue;
    }
    // Between frames the loop sleeps until the deadline or the next message, whichever comes first.
    const int age = swapKeepsBackBuffer && framesDrawn > 0 ? 1 : 0;
    const FrameDriver::Frame frame = driver.draw(readCounter(), false, age);
    if (frame.due) {
      show(frame);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, frame.waitMilliseconds, QS_ALLINPUT);
    }
  }

  driver.free();
  return int(message.wParam);
}
