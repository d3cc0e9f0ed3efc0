// Stand-in for the display settings' little monitor: a borderless top-level window of a
// given size in its own process, whose handle is printed for "Glassfall.scr /p <handle>".
//   preview_parent WIDTH HEIGHT TITLE
// It ends when its window is closed (WM_CLOSE from the probe destroys it, children included).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {
LRESULT CALLBACK parentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
  WNDCLASSA wc = {};
  wc.lpfnWndProc = parentProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = HBRUSH(GetStockObject(GRAY_BRUSH));
  wc.lpszClassName = "GlassfallTestParent";
  RegisterClassA(&wc);
  HWND window = CreateWindowExA(0, wc.lpszClassName, argv[3], WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 300, 300,
                                width, height, nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) return 1;
  std::printf("%llu\n", (unsigned long long)(ULONG_PTR)window);
  std::fflush(stdout);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}
