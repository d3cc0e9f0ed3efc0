#include "host_system.h"

#include "file_safety.h"
#include "services.h"
#include "text_win32.h"

namespace {

std::int64_t counterNow() {
  LARGE_INTEGER value;
  QueryPerformanceCounter(&value);
  return value.QuadPart;
}

double counterMilliseconds(std::int64_t ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return 1000.0 * double(ticks) / double(frequency.QuadPart);
}

double captureSaveMs = 0;
double captureOnlyMs = 0;
std::int64_t captureStartCounter = 0;

}  // namespace

std::int64_t lastCaptureStartCounter() { return captureStartCounter; }

double lastCaptureSaveMilliseconds() { return captureSaveMs; }
double lastCaptureMilliseconds() { return captureOnlyMs; }

// ------------------------------------------------------------------ settings files

void Win32HostFiles::getProfileString(const std::string& section, const std::string& key,
                                      const std::string& defaultValue, char* buffer, std::size_t size,
                                      const std::string& file) {
  GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer, DWORD(size), file.c_str());
}

void Win32HostFiles::writeProfileString(const std::string& section, const std::string& key,
                                        const std::string& value, const std::string& file) {
  // The profile writer opens the file by name: a link planted there would have its target
  // rewritten, so such a write is skipped like any other that fails.
  if (!mayRewriteInPlace(toWide(::fromAnsi(file)))) return;
  WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str());
}

bool Win32HostFiles::canOpenForReading(const std::string& path) {
  // A folder does not open without backup semantics, so it counts as missing.
  HANDLE file = CreateFileW(toWide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const bool opened = file != INVALID_HANDLE_VALUE;
  if (opened) CloseHandle(file);
  SetLastError(0);
  return opened;
}

std::string Win32HostFiles::toAnsi(const std::string& utf8) { return ::toAnsi(utf8); }
std::string Win32HostFiles::fromAnsi(const std::string& ansi) { return ::fromAnsi(ansi); }

// ------------------------------------------------------------------ run window

std::function<void()> RunWindow::beforeLoad;

RunWindow::RunWindow(HostState& state, RunHooks& hooks) : state_(state), hooks_(hooks) {
  timer1_.reset(new WindowTimer(*this, 1000, [this] { hooks_.onTimer1(*this); }));
  timer2_.reset(new WindowTimer(*this, 200, [this] { hooks_.onTimer2(*this); }));
  timer3_.reset(new WindowTimer(*this, RendererWatch::kIntervalMs, [this] { onWatchTick(); }));
  timer3_->setEnabled(true);  // on from creation
}

RunWindow::~RunWindow() = default;

bool RunWindow::create() { return Window::create(L"Glassfall_S", kRunWindowTitle, WS_POPUP); }

void RunWindow::onLoad() {
  if (beforeLoad) beforeLoad();
  run_.reset(new ScreensaverRun(state_, *this, hooks_, *this, GetTickCount()));
  run_->load();
}

void RunWindow::onWatchTick() {
  if (!run_ || !run_->watchTick(GetTickCount())) return;
  timer3_->setEnabled(false);
  requestClose();
}

// The run's end steps, then the program ends here: the window is never destroyed the usual way.
bool RunWindow::onCloseRequest() {
  if (run_) run_->end();
  endProgram();
  return true;
}

bool RunWindow::onMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
  // The session ending takes the run with it: the music stops and the cursor goes back first.
  if (message != WM_ENDSESSION) return false;
  if (wParam && run_) run_->end();
  result = 0;
  return true;
}

ScreenArea RunWindow::screenArea() { return runScreenPixels(); }

void RunWindow::sizeToScreen(const ScreenArea& area) {
  setBoundsPixels(area.left, area.top, area.width, area.height);
  RECT inner = {0, 0, area.width, area.height};
  if (handle()) GetClientRect(handle(), &inner);
  master_.resize(inner.right, inner.bottom);
}

void RunWindow::coverScreen(const ScreenArea& area) { setBoundsPixels(area.left, area.top, area.width, area.height); }

void RunWindow::captureDesktopTurned(const ScreenArea& area) {
  captureStartCounter = counterNow();
  const int width = master_.width(), height = master_.height();
  HWND desktop = GetDesktopWindow();
  HDC screen = GetDC(desktop);
  if (!screen) return;
  // The desktop context counts from the desktop window's own origin, which is the primary
  // monitor's corner on Windows but may be the virtual screen's elsewhere.
  POINT origin = {0, 0};
  ClientToScreen(desktop, &origin);
  if (master_.dc()) {
    SetStretchBltMode(master_.dc(), COLORONCOLOR);
    // Negative extents mirror both axes: the screen's top-left lands at the picture's bottom-right.
    StretchBlt(master_.dc(), width, height, -width, -height, screen, area.left - origin.x, area.top - origin.y,
               width, height, SRCCOPY);
  }
  ReleaseDC(desktop, screen);
  captureOnlyMs = counterMilliseconds(counterNow() - captureStartCounter);
}

void RunWindow::saveMaster(const std::string& path) {
  master_.saveAsBitmap(toWide(path));
  captureSaveMs = counterMilliseconds(counterNow() - captureStartCounter);
}

bool RunWindow::startProgram(const std::string& applicationName, const std::string& commandLine) {
  return ::startProgram(applicationName, commandLine);
}

void RunWindow::removeFile(const std::string& path) { removeWithoutFollowing(toWide(path)); }

bool RunWindow::windowExists(const std::string& title) { return topLevelWindowExists(title); }

std::int32_t RunWindow::showCursor(bool show) { return ShowCursor(show ? TRUE : FALSE); }

void RunWindow::setEnabled(RunTimer which, bool enabled) { timer(which).setEnabled(enabled); }

bool RunWindow::isEnabled(RunTimer which) const { return timer(which).isEnabled(); }

// ------------------------------------------------------------------ start-up

void Win32StartupSystem::quietCriticalErrors() { SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS); }

bool Win32StartupSystem::windowExists(const std::string& title) { return topLevelWindowExists(title); }

bool Win32StartupSystem::takeInstanceLock() {
  // Held until the process ends, which releases it. A name taken by an object of another kind
  // leaves the title checks alone to guard.
  HANDLE lock = CreateMutexW(nullptr, FALSE, L"Glassfall_Main");
  return !(lock && GetLastError() == ERROR_ALREADY_EXISTS);
}

void Win32StartupSystem::createFolder(const std::string& path) { ::createFolder(path); }

std::int32_t Win32StartupSystem::showCursor(bool show) { return ShowCursor(show ? TRUE : FALSE); }

void Win32StartupSystem::messageBox(const std::string& text, const std::string& title) { showMessage(text, title); }

ScreenArea Win32StartupSystem::screenArea() { return runScreenPixels(); }

bool Win32StartupSystem::startPreview(std::int32_t parentHandle) {
  return windows_.startPreview && windows_.startPreview(HWND(LONG_PTR(parentHandle)));
}

void Win32StartupSystem::showSettingsDialogModal() {
  if (windows_.showSettingsDialog) windows_.showSettingsDialog();
}

bool Win32StartupSystem::createRunWindow() {
  runWindow_.reset(new RunWindow(state_, hooks_));
  if (runWindow_->create()) return true;
  runWindow_.reset();
  return false;
}
