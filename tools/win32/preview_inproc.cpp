// The preview in one process with its parent, so the screenshot shows it (Wine does not show
// a child window of another process): a borderless parent of the given size at (0, 0).
//   preview_inproc WIDTH HEIGHT
#include <windows.h>

#include <cstdlib>

#include "preview_window.h"

namespace {
LRESULT CALLBACK parentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  WNDCLASSW wc = {};
  wc.lpfnWndProc = parentProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = HBRUSH(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = L"GlassfallPreviewHost";
  RegisterClassW(&wc);
  HWND parent = CreateWindowExW(0, wc.lpszClassName, L"GlassfallPreviewHost", WS_POPUP | WS_VISIBLE, 0, 0,
                                std::atoi(argv[1]), std::atoi(argv[2]), nullptr, nullptr, wc.hInstance, nullptr);
  if (!parent || !startPreviewWindow(parent)) return 1;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
