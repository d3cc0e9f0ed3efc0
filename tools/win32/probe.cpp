// Window probe for the end-to-end tests: finds top-level windows by title and sends them
// messages from a separate process, the way the host and the system do.
//
//   gfprobe find TITLE              prints "hwnd x y width height clientW clientH", exit 1 if none
//   gfprobe wait TITLE MS           waits until the window exists (then prints like find)
//   gfprobe gone TITLE MS           waits until no such window exists
//   gfprobe close TITLE             posts WM_CLOSE
//   gfprobe key TITLE VK            posts WM_KEYDOWN + WM_KEYUP with the virtual key (decimal)
//   gfprobe char TITLE C            posts WM_CHAR with the first byte of C
//   gfprobe text TITLE              prints the window's text and its children's, one per line (UTF-8)
//   gfprobe children TITLE          prints "hwnd x y width height class|text" for each direct child
//   gfprobe descendants TITLE       the same for every window below it, children of children too
//   gfprobe exists HWND             exit 0 when the decimal handle names a window
//   gfprobe acp -                   prints the ANSI code page this process runs with
//   gfprobe dpi TITLE DPI           posts WM_DPICHANGED for DPI without a suggested rectangle
//                                   (Wine gives every monitor one DPI, so no move sends it)
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string narrow(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  return out;
}

// Titles are taken from the wide command line: the narrow argv is in the ANSI code page
// (932 under the tests), which would garble titles such as the dialog's.
std::wstring titleArgument;
HWND findTitle() { return FindWindowW(nullptr, titleArgument.c_str()); }

void printWindow(HWND window) {
  RECT r, c;
  GetWindowRect(window, &r);
  GetClientRect(window, &c);
  std::printf("%llu %ld %ld %ld %ld %ld %ld\n", (unsigned long long)(ULONG_PTR)window, r.left, r.top,
              r.right - r.left, r.bottom - r.top, c.right, c.bottom);
}

// One line per window: handle, screen rectangle, class and text.
void printWindowLine(HWND window) {
  RECT r;
  GetWindowRect(window, &r);
  wchar_t cls[256], text[1024];
  GetClassNameW(window, cls, 256);
  GetWindowTextW(window, text, 1024);
  std::printf("%llu %ld %ld %ld %ld %s|%s\n", (unsigned long long)(ULONG_PTR)window, r.left, r.top, r.right - r.left,
              r.bottom - r.top, narrow(cls).c_str(), narrow(text).c_str());
}

BOOL CALLBACK printChild(HWND child, LPARAM parent) {
  // GetParent would name the owner of a window that keeps WS_POPUP beside WS_CHILD.
  if (GetAncestor(child, GA_PARENT) == HWND(parent)) printWindowLine(child);
  return TRUE;
}

BOOL CALLBACK printDescendant(HWND child, LPARAM) {
  printWindowLine(child);
  return TRUE;
}

BOOL CALLBACK printChildText(HWND child, LPARAM) {
  // GetWindowText reads only a caption for another process's windows; an edit box's
  // contents come by asking the control itself.
  wchar_t text[1024] = L"";
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(child, WM_GETTEXT, 1024, LPARAM(text), SMTO_ABORTIFHUNG, 2000, &copied);
  std::printf("%s\n", narrow(text).c_str());
  return TRUE;
}

int waitFor(int ms, bool present) {
  const DWORD start = GetTickCount();
  for (;;) {
    HWND window = findTitle();
    if ((window != nullptr) == present) {
      if (window) printWindow(window);
      return 0;
    }
    if (int(GetTickCount() - start) > ms) return 1;
    Sleep(20);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gfprobe find|wait|gone|close|key|char|text|children TITLE [ARG] | exists HWND | acp -\n");
    return 2;
  }
  const char* verb = argv[1];
  const char* title = argv[2];
  int wideCount = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &wideCount)) {
    if (wideCount > 2) titleArgument = wide[2];
    LocalFree(wide);
  }
  const char* arg = argc > 3 ? argv[3] : "";
  if (!std::strcmp(verb, "wait")) return waitFor(std::atoi(arg), true);
  if (!std::strcmp(verb, "gone")) return waitFor(std::atoi(arg), false);
  if (!std::strcmp(verb, "exists")) return IsWindow(HWND(ULONG_PTR(std::strtoull(title, nullptr, 10)))) ? 0 : 1;
  if (!std::strcmp(verb, "screen")) {  // the virtual screen and the monitor count, as this process sees them
    std::printf("%d %d %d %d %d\n", GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN),
                GetSystemMetrics(SM_CMONITORS));
    return 0;
  }
  if (!std::strcmp(verb, "acp")) {
    std::printf("%u\n", GetACP());
    return 0;
  }

  HWND window = findTitle();
  if (window == nullptr) return 1;
  if (!std::strcmp(verb, "find")) {
    printWindow(window);
  } else if (!std::strcmp(verb, "close")) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  } else if (!std::strcmp(verb, "key")) {
    const WPARAM vk = WPARAM(std::atoi(arg));
    PostMessageW(window, WM_KEYDOWN, vk, 1);
    PostMessageW(window, WM_KEYUP, vk, LPARAM(0xC0000001u));
  } else if (!std::strcmp(verb, "char")) {
    PostMessageA(window, WM_CHAR, WPARAM((unsigned char)arg[0]), 1);
  } else if (!std::strcmp(verb, "dpi")) {
    const WORD dpi = WORD(std::atoi(arg));
    PostMessageW(window, 0x02E0, MAKEWPARAM(dpi, dpi), 0);
  } else if (!std::strcmp(verb, "children")) {
    EnumChildWindows(window, printChild, LPARAM(window));
  } else if (!std::strcmp(verb, "descendants")) {
    EnumChildWindows(window, printDescendant, 0);
  } else if (!std::strcmp(verb, "text")) {
    wchar_t text[1024];
    GetWindowTextW(window, text, 1024);
    std::printf("%s\n", narrow(text).c_str());
    EnumChildWindows(window, printChildText, 0);
  } else {
    return 2;
  }
  return 0;
}
