// Run hooks of the host benchmark build (run by tools/bench_host.py): the program's own hooks,
// wrapped to write the timings of its capture + save beside those of a bare copy and file
// write made in the same run, and the time from process start to the renderer start.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>

#include "bitmap_file.h"
#include "host_system.h"
#include "program_hooks.h"
#include "winmm_multimedia.h"

namespace {

// The same stretch copy and file write with nothing of the window layer around them,
// measured in the same run just before the real load steps.
double bareCaptureWriteMs = 0;
double bareCaptureMs = 0;

double millisecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * double(now.QuadPart - start.QuadPart) / double(frequency.QuadPart);
}

double bareCaptureWrite(int width, int height) {
  // A new file each time, as the run's snapshot is after its folder was emptied.
  DeleteFileA("C:\\velk_temp\\bench_bare.bmp");
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  // Timed like the run's own copy: from the screen context to the closed file, the picture
  // already made.
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  HWND desktop = GetDesktopWindow();
  HDC screen = GetDC(desktop);
  SetStretchBltMode(memory, COLORONCOLOR);
  StretchBlt(memory, width, height, -width, -height, screen, 0, 0, width, height, SRCCOPY);
  ReleaseDC(desktop, screen);
  bareCaptureMs = millisecondsSince(start);
  GdiFlush();
  const std::vector<std::uint8_t> headers = bitmapHeaders(width, height);
  HANDLE file = CreateFileA("C:\\velk_temp\\bench_bare.bmp", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, headers.data(), DWORD(headers.size()), &written, nullptr);
  WriteFile(file, bits, bitmapRowBytes(width) * DWORD(height), &written, nullptr);
  CloseHandle(file);
  const double ms = millisecondsSince(start);
  // The picture is kept to the end of the process, so the run's own picture cannot land in
  // memory already paged in by this one.
  (void)old;
  return ms;
}

// Milliseconds from the creation of this process until now.
double sinceProcessStart() {
  FILETIME created, exited, kernel, user, now;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  GetSystemTimeAsFileTime(&now);
  auto value = [](const FILETIME& t) { return (ULONGLONG(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
  return double(value(now) - value(created)) / 1e4;
}

class BenchHooks : public RunHooks {
 public:
  explicit BenchHooks(RunHooks& inner) : inner_(inner) {}
  void onLoad(RunTimers& timers) override {
    const double loaded = sinceProcessStart();
    if (FILE* out = std::fopen("C:\\velk_temp\\host_bench.txt", "w")) {
      std::fprintf(out,
                   "capture_save_ms %.3f\ncapture_ms %.3f\nbare_ms %.3f\nbare_capture_ms %.3f\n"
                   "process_to_renderer_start_ms %.1f\n",
                   lastCaptureSaveMilliseconds(), lastCaptureMilliseconds(), bareCaptureWriteMs, bareCaptureMs,
                   loaded);
      std::fclose(out);
    }
    inner_.onLoad(timers);
  }
  void onTimer1(RunTimers& timers) override { inner_.onTimer1(timers); }
  void onTimer2(RunTimers& timers) override { inner_.onTimer2(timers); }
  void onEnd(RunTimers& timers) override { inner_.onEnd(timers); }

 private:
  RunHooks& inner_;
};

}  // namespace

RunHooks& programRunHooks() {
  static BenchHooks bench(musicRunHooks());
  RunWindow::beforeLoad = [] {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    // Warm-up of the screen copy, not counted: the first full-size copy of a process sets up
    // the display side. Each copy keeps its own picture, so every counted one (the run's too)
    // lands in fresh memory.
    bareCaptureWrite(width, height);
    bareCaptureWriteMs = bareCaptureWrite(width, height);
  };
  return bench;
}
