// Run hooks of the host benchmark build (run by tools/bench_host.py): the program's own hooks,
// wrapped to write the timings of its capture + save beside those of a bare copy and file
// write made in the same run, and the wall-clock milestones of the run's start. With
// GLASSFALL_BENCH_BARE=0 the bare copies are left out, so that they do not delay the start.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bitmap_file.h"
#include "host_system.h"
#include "last_api_result.h"
#include "music_settings.h"
#include "program_hooks.h"
#include "startup_steps.h"
#include "wall_clock.h"
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

// The wall-clock time of a performance counter reading taken earlier in this process.
double wallSecondsAt(std::int64_t counter) {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return wallSeconds() - double(now.QuadPart - counter) / double(frequency.QuadPart);
}

StartupSteps steps(wallSeconds, "C:\\velk_temp\\host_steps.txt", "");

bool bareCopiesWanted() {
  const char* value = std::getenv("GLASSFALL_BENCH_BARE");
  return !value || std::strcmp(value, "0") != 0;
}

class BenchHooks : public RunHooks {
 public:
  explicit BenchHooks(RunHooks& inner) : inner_(inner) {}
  void onLoad(RunTimers& timers) override {
    loaded_ = (wallSeconds() - processCreatedSeconds()) * 1000.0;  // from the process's creation
    steps.record("renderer started");
    const std::int64_t captureStart = lastCaptureStartCounter();
    steps.record("capture begins", wallSecondsAt(captureStart));
    steps.record("capture done", wallSecondsAt(captureStart) + lastCaptureMilliseconds() / 1000.0);
    steps.record("snapshot saved", wallSecondsAt(captureStart) + lastCaptureSaveMilliseconds() / 1000.0);
    inner_.onLoad(timers);
    // The reports are written a second later, from a thread of their own, when the renderer's
    // start-up is over: writing files now would compete with it.
    HANDLE writer = CreateThread(nullptr, 0, reportLater, this, 0, nullptr);
    if (writer) CloseHandle(writer);
  }
  void onTimer1(RunTimers& timers) override { inner_.onTimer1(timers); }
  void onTimer2(RunTimers& timers) override { inner_.onTimer2(timers); }
  void onEnd(RunTimers& timers) override { inner_.onEnd(timers); }

 private:
  static DWORD WINAPI reportLater(void* self) {
    Sleep(1000);
    static_cast<BenchHooks*>(self)->report();
    return 0;
  }

  void report() {
    steps.write();
    if (FILE* out = std::fopen("C:\\velk_temp\\host_bench.txt", "w")) {
      std::fprintf(out,
                   "capture_save_ms %.3f\ncapture_ms %.3f\nbare_ms %.3f\nbare_capture_ms %.3f\n"
                   "process_to_renderer_start_ms %.1f\n",
                   lastCaptureSaveMilliseconds(), lastCaptureMilliseconds(), bareCaptureWriteMs, bareCaptureMs,
                   loaded_);
      std::fclose(out);
    }
  }

  RunHooks& inner_;
  double loaded_ = 0;
};

}  // namespace

RunHooks& programRunHooks() {
  static BenchHooks bench(musicRunHooks(HostMusic, LastApiResult));
  steps.record("process created", processCreatedSeconds());
  steps.record("hooks installed");
  RunWindow::beforeLoad = [] {
    if (!bareCopiesWanted()) {
      steps.record("run begins");
      return;
    }
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    // Warm-up of the screen copy, not counted: the first full-size copy of a process sets up
    // the display side, and under Wine the second is still faster than every later one
    // (measured: 16-18 ms, then 26-35 ms at 1024 x 768, whatever the picture's memory), so the
    // counted copy is the third, as the run's own is the fourth. Each copy keeps its own
    // picture, so every counted one (the run's too) lands in fresh memory.
    bareCaptureWrite(width, height);
    bareCaptureWrite(width, height);
    bareCaptureWriteMs = bareCaptureWrite(width, height);
    steps.record("run begins");
  };
  return bench;
}
