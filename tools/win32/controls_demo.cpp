// Test program for the dialog controls under Wine.
//
//   gfcontrols_demo [--log FILE]   a window "Glassfall controls demo" on RGB(224, 224, 224) holding
//                                  one frame (ShadowDepth 7, 477 x 173) with a "&OK" button inside;
//                                  FILE gets the button's screen rectangle, then one line
//                                  per Click / DblClick with the look shown at that moment
//   gfcontrols_demo --dump DIR     paints every look of the catalogue with real GDI into
//                                  memory bitmaps, writes DIR\<name>.bmp and DIR\syscolours.txt,
//                                  and each smoothing case before and after its smoothing
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "bmp_io.h"
#include "control_windows.h"
#include "gdi_surface.h"
#include "looks_catalogue.h"

using namespace controls;

namespace {

const wchar_t kTitle[] = L"Glassfall controls demo";
const Colour kBack = rgb(224, 224, 224);  // the settings dialog's background
constexpr int kFrameId = 100, kButtonId = 101;

FILE* logFile = nullptr;
HWND frameWindow = nullptr, buttonWindow = nullptr;

void logLine(const char* text) {
  if (!logFile) return;
  std::fprintf(logFile, "%s\n", text);
  std::fflush(logFile);
}

LRESULT CALLBACK holderProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE: {
      PropertyStore frameStore;
      frameStore.writeLong("ShadowDepth", 7, 5);
      frameWindow = createFrame(hwnd, kFrameId, 10, 10, 477, 173, &frameStore, kBack);
      PropertyStore buttonStore;
      buttonStore.write("Caption", "&OK", "");
      buttonWindow = createButton(frameWindow, kButtonId, 300, 110, 100, 30, &buttonStore, kBack);
      return 0;
    }
    case WM_COMMAND:
      if (LOWORD(wp) == kButtonId && (HIWORD(wp) == BN_CLICKED || HIWORD(wp) == BN_DOUBLECLICKED)) {
        char line[64];
        std::snprintf(line, sizeof line, "%s look=%d", HIWORD(wp) == BN_CLICKED ? "Click" : "DblClick",
                      buttonControl(buttonWindow)->lState);
        logLine(line);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// A 32-bit top-down memory bitmap painted with real GDI, saved as a 24-bit file.
class MemoryPicture {
 public:
  MemoryPicture(HDC dc, int width, int height) : dc_(dc), width_(width), height_(height) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    bitmap_ = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0);
    if (bitmap_) old_ = SelectObject(dc, bitmap_);
  }
  ~MemoryPicture() {
    if (!bitmap_) return;
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
  }
  bool ok() const { return bitmap_ != nullptr; }
  bool save(const std::string& path) const {
    GdiFlush();
    Picture picture{width_, height_, {}};
    const auto* px = static_cast<const unsigned char*>(bits_);
    for (int i = 0; i < width_ * height_; ++i) picture.pixels.push_back(rgb(px[i * 4 + 2], px[i * 4 + 1], px[i * 4]));
    return writeBmp(path, picture);
  }

 private:
  HDC dc_;
  int width_, height_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

int dump(const std::string& dir) {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  int expected = 0, written = 0;
  for (const Scene& scene : looksCatalogue()) {
    ++expected;
    MemoryPicture picture(dc, scene.width, scene.height);
    if (!picture.ok()) continue;
    {
      GdiSurface surface(dc, scene.width, scene.height);
      scene.paint(surface);
    }
    written += picture.save(dir + "\\" + scene.name + ".bmp");
  }
  for (const SmoothingCase& c : smoothingCases()) {
    expected += 2;
    MemoryPicture picture(dc, c.look.width, c.look.height);
    if (!picture.ok()) continue;
    GdiSurface surface(dc, c.look.width, c.look.height);
    const int depth = drawBackgroundAndRings(surface, c.look);
    written += picture.save(dir + "\\" + c.name + "_rings.bmp");
    smoothShadowCorners(surface, c.look.background, c.look.width, c.look.height, c.look.cornerDepth, depth);
    written += picture.save(dir + "\\" + c.name + "_smoothed.bmp");
  }
  DeleteDC(dc);
  FILE* sys = std::fopen((dir + "\\syscolours.txt").c_str(), "w");
  if (!sys) return 1;
  for (int i = 0; i <= 30; ++i) std::fprintf(sys, "%d %lu\n", i, (unsigned long)GetSysColor(i));
  std::fclose(sys);
  return written == expected ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--dump")) return dump(argv[i + 1]);
    if (!std::strcmp(argv[i], "--log")) logFile = std::fopen(argv[i + 1], "w");
  }
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!registerControlClasses(instance)) return 1;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = holderProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = CreateSolidBrush(kBack);
  wc.lpszClassName = L"GlassfallControlsDemo";
  RegisterClassExW(&wc);
  RECT r{0, 0, 500, 200};
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  AdjustWindowRect(&r, style, FALSE);
  HWND window = CreateWindowExW(WS_EX_CONTROLPARENT, wc.lpszClassName, kTitle, style, 60, 60, r.right - r.left,
                                r.bottom - r.top, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  RECT b{};
  GetWindowRect(buttonWindow, &b);
  char line[96];
  std::snprintf(line, sizeof line, "button %ld %ld %ld %ld", b.left, b.top, b.right - b.left, b.bottom - b.top);
  logLine(line);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (IsDialogMessageW(window, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (logFile) std::fclose(logFile);
  return 0;
}
