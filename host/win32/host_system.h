// The host's seams filled in with the real system: settings files, start-up calls and the
// hidden run window that carries a screensaver run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>

#include "picture_area.h"
#include "run.h"
#include "settings.h"
#include "startup.h"
#include "window_win32.h"

class Win32HostFiles : public HostFiles {
 public:
  void getProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                        char* buffer, std::size_t size, const std::string& file) override;
  void writeProfileString(const std::string& section, const std::string& key, const std::string& value,
                          const std::string& file) override;
  bool canOpenForReading(const std::string& path) override;
  std::string toAnsi(const std::string& utf8) override;
  std::string fromAnsi(const std::string& ansi) override;
};

// The hidden run window Glassfall_S, titled Glassfall_Main, with Master and the three timers.
class RunWindow : public Window, private RunSystem, private RunTimers {
 public:
  RunWindow(HostState& state, RunHooks& hooks);
  ~RunWindow() override;
  bool create();

  // Called just before the load steps (the benchmark build measures there).
  static std::function<void()> beforeLoad;

 protected:
  void onLoad() override;
  bool onCloseRequest() override;
  bool onMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  ScreenArea screenArea() override;
  void sizeToScreen(const ScreenArea& area) override;
  void coverScreen(const ScreenArea& area) override;
  void captureDesktopTurned(const ScreenArea& area) override;
  void saveMaster(const std::string& path) override;
  bool startProgram(const std::string& applicationName, const std::string& commandLine) override;
  void removeFile(const std::string& path) override;
  bool windowExists(const std::string& title) override;
  std::int32_t showCursor(bool show) override;
  void setEnabled(RunTimer timer, bool enabled) override;
  bool isEnabled(RunTimer timer) const override;
  WindowTimer& timer(RunTimer which) const { return which == RunTimer::Timer1 ? *timer1_ : *timer2_; }
  void onWatchTick();

  HostState& state_;
  RunHooks& hooks_;
  PictureArea master_;
  std::unique_ptr<WindowTimer> timer1_, timer2_, timer3_;
  std::unique_ptr<ScreensaverRun> run_;
};

// Time of the last capture and save of a run window, for the benchmark build.
double lastCaptureSaveMilliseconds();
// The copy alone, up to the release of the desktop context.
double lastCaptureMilliseconds();
// The performance counter when the last capture began.
std::int64_t lastCaptureStartCounter();

// The preview and the settings dialog are windows of their own libraries, which this one does
// not link; the program hands them in (the dialog with the settings files and the screen size).
struct HostWindows {
  std::function<bool(HWND parent)> startPreview;
  std::function<void()> showSettingsDialog;
};

class Win32StartupSystem : public StartupSystem {
 public:
  Win32StartupSystem(HostState& state, RunHooks& hooks, HostWindows windows)
      : state_(state), hooks_(hooks), windows_(std::move(windows)) {}
  void quietCriticalErrors() override;
  bool windowExists(const std::string& title) override;
  bool takeInstanceLock() override;
  void createFolder(const std::string& path) override;
  std::int32_t showCursor(bool show) override;
  void messageBox(const std::string& text, const std::string& title) override;
  ScreenArea screenArea() override;
  bool startPreview(std::int32_t parentHandle) override;
  void showSettingsDialogModal() override;
  bool createRunWindow() override;

 private:
  HostState& state_;
  RunHooks& hooks_;
  HostWindows windows_;
  std::unique_ptr<RunWindow> runWindow_;
};
