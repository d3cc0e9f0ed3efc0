#include "window_win32.h"

#include <algorithm>

#include "text_win32.h"

namespace {

MousePointer currentPointer = MousePointer::Default;

int screenDpi(int index) {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, index) : 0;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

// ------------------------------------------------------------------ timers

WindowTimer::WindowTimer(Window& owner, UINT interval, std::function<void()> onTick)
    : owner_(owner), id_(owner.nextTimerId_++), interval_(interval), onTick_(std::move(onTick)) {
  owner_.timers_.push_back(this);
}

WindowTimer::~WindowTimer() {
  setEnabled(false);
  auto& list = owner_.timers_;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void WindowTimer::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!owner_.handle_) return;
  if (enabled) SetTimer(owner_.handle_, id_, interval_, nullptr);
  else KillTimer(owner_.handle_, id_);
}

void WindowTimer::setInterval(UINT interval) {
  interval_ = interval;
  if (enabled_ && owner_.handle_) SetTimer(owner_.handle_, id_, interval_, nullptr);
}

void WindowTimer::tick() {
  // A tick already queued when the flag was cleared is dropped.
  if (enabled_ && onTick_) onTick_();
}

// ------------------------------------------------------------------ windows

Window::~Window() {
  if (handle_) {
    SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
}

bool Window::create(const wchar_t* className, const std::string& title, DWORD style, DWORD exStyle,
                    HWND parent) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof existing;
  if (!GetClassInfoExW(instance, className, &existing)) {
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = HBRUSH(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = className;
    if (!RegisterClassExW(&windowClass)) return false;
  }
  // Titles go through the Unicode form, so FindWindow finds them on any system code page.
  CreateWindowExW(exStyle, className, toWide(title).c_str(), style, 0, 0, 0, 0, parent, nullptr, instance, this);
  return handle_ != nullptr;
}

void Window::setTitle(const std::string& title) {
  if (handle_) SetWindowTextW(handle_, toWide(title).c_str());
}

void Window::setBoundsPixels(int x, int y, int width, int height) {
  if (handle_) SetWindowPos(handle_, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Window::showModeless() {
  if (handle_) ShowWindow(handle_, SW_SHOW);
}

void Window::showModal() {
  if (!handle_) return;
  HWND self = handle_;
  ShowWindow(self, SW_SHOW);
  MSG message;
  while (IsWindow(self) && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(self, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  if (message.message == WM_QUIT) PostQuitMessage(int(message.wParam));
}

void Window::requestClose() {
  if (handle_) SendMessageW(handle_, WM_CLOSE, 0, 0);
}

LRESULT CALLBACK Window::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->handle_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, LONG_PTR(self));
  }
  auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  return self->handle(message, wParam, lParam);
}

LRESULT Window::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_CREATE:
      for (WindowTimer* timer : timers_) {
        if (timer->enabled_) SetTimer(handle_, timer->id_, timer->interval_, nullptr);
      }
      onLoad();
      return 0;
    case WM_CLOSE:
      if (onCloseRequest()) DestroyWindow(handle_);
      return 0;
    case WM_DESTROY:
      onUnload();
      return 0;
    case WM_NCDESTROY: {
      HWND window = handle_;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      handle_ = nullptr;
      return DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_TIMER:
      for (WindowTimer* timer : timers_) {
        if (timer->id_ == wParam) {
          timer->tick();
          return 0;
        }
      }
      break;
    case WM_SETCURSOR:
      if (currentPointer == MousePointer::Hourglass) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // IDC_WAIT
        return TRUE;
      }
      break;
    default:
      break;
  }
  LRESULT result = 0;
  if (onMessage(message, wParam, lParam, result)) return result;
  return DefWindowProcW(handle_, message, wParam, lParam);
}

// ------------------------------------------------------------------ program-wide

void setMousePointer(MousePointer pointer) {
  currentPointer = pointer;
  SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(pointer == MousePointer::Hourglass ? 32514 : 32512)));
}

MousePointer mousePointer() { return currentPointer; }

int screenDpiX() { return screenDpi(LOGPIXELSX); }
int screenDpiY() { return screenDpi(LOGPIXELSY); }
