#include "window_dpi.h"

#include "library_function.h"
#include "window_win32.h"

namespace controls {

int windowDpi(HWND window) {
  using ForWindow = UINT(WINAPI*)(HWND);
  static const auto forWindow = libraryFunction<ForWindow>(L"user32.dll", "GetDpiForWindow");
  if (forWindow && window) {
    const UINT dpi = forWindow(window);
    if (dpi > 0) return int(dpi);
  }
  if (!forWindow && window) {
    // Only a system without the first function gets shcore loaded.
    using ForMonitor = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
    static const auto forMonitor = libraryFunction<ForMonitor>(L"shcore.dll", "GetDpiForMonitor");
    UINT x = 0, y = 0;
    const int kEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI
    if (forMonitor && SUCCEEDED(forMonitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), kEffectiveDpi, &x, &y)) &&
        x > 0)
      return int(x);
  }
  return screenDpiX();
}

}  // namespace controls
