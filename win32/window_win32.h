// A small window layer over Win32, shared by every window of the programs.
//  [x] top-level windows: hidden, modeless or modal, titled so other processes find them
//  [x] handlers: load (creation), close request (any cause), unload; other messages per window
//  [x] window timers with interval and enabled flag, ticks through the message loop
//  [x] the screen's real DPI, application mouse pointer
//  [ ] child controls (labels, combo box, image control) come with the windows that use them
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

class Window;

// A window timer: ticks every `interval` ms while enabled; clearing the flag stops it.
class WindowTimer {
 public:
  WindowTimer(Window& owner, UINT interval, std::function<void()> onTick);
  ~WindowTimer();
  WindowTimer(const WindowTimer&) = delete;
  WindowTimer& operator=(const WindowTimer&) = delete;

  void setEnabled(bool enabled);
  bool isEnabled() const { return enabled_; }
  UINT interval() const { return interval_; }
  void setInterval(UINT interval);

 private:
  friend class Window;
  void tick();
  Window& owner_;
  UINT_PTR id_;
  UINT interval_;
  bool enabled_ = false;
  std::function<void()> onTick_;
};

// A top-level window. Subclasses override the handlers they need.
class Window {
 public:
  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Creates the window without showing it; the load handler runs during this call.
  bool create(const wchar_t* className, const std::string& title, DWORD style, DWORD exStyle = 0,
              HWND parent = nullptr);
  HWND handle() const { return handle_; }
  void setTitle(const std::string& title);
  void setBoundsPixels(int x, int y, int width, int height);
  // Shown without waiting.
  void showModeless();
  // Shown, the caller waiting until the window is gone.
  void showModal();
  // Asks the window to close, as any other cause would (the close handler decides).
  void requestClose();

 protected:
  virtual void onLoad() {}
  // Return false to keep the window open.
  virtual bool onCloseRequest() { return true; }
  virtual void onUnload() {}
  // Messages not handled by the layer; return true when handled (result in `result`).
  virtual bool onMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

 private:
  friend class WindowTimer;
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  HWND handle_ = nullptr;
  std::vector<WindowTimer*> timers_;
  UINT_PTR nextTimerId_ = 1;
};

// Application mouse pointer, for all windows of the program.
enum class MousePointer { Default, Hourglass };
void setMousePointer(MousePointer pointer);
MousePointer mousePointer();

// The real horizontal and vertical DPI of the screen (96 when the system does not say).
int screenDpiX();
int screenDpiY();
