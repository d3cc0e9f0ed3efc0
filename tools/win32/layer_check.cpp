// Test-only program: drives the host's window layer and settings routines on the real system
// and prints what it observed, one "name value" line each, for the end-to-end tests.
//
//   layer_check window     hidden window found by title; timer ticks while enabled and after
//   layer_check picture P  a 5 x 3 picture with two marked pixels saved as bitmap file P
//   layer_check ini        music keys and a long value through WriteIni / ReadIni
//   layer_check exists P   FileExists of P
//   layer_check dpi        the screen's DPI and twips per pixel
#include <cstdio>
#include <cstring>
#include <string>

#include "host_system.h"
#include "picture_area.h"
#include "services.h"
#include "settings.h"
#include "text_win32.h"
#include "twips.h"
#include "window_win32.h"

namespace {

class CheckWindow : public Window {
 public:
  int ticks = 0;
  WindowTimer timer{*this, 100, [this] { ++ticks; }};
  WindowTimer stop{*this, 1000, [this] { PostQuitMessage(0); }};
};

// Closes itself from its own timer; its close handler refuses the first request.
class ModalWindow : public Window {
 public:
  int closeRequests = 0;
  WindowTimer closer{*this, 150, [this] { requestClose(); }};

 protected:
  bool onCloseRequest() override { return ++closeRequests > 1; }
};

// Pumps messages until a quit message or `ms` have passed.
void pump(DWORD ms) {
  const DWORD start = GetTickCount();
  MSG message;
  while (GetTickCount() - start < ms) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return;
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

int checkWindow() {
  CheckWindow window;
  window.timer.setEnabled(true);
  window.stop.setEnabled(true);
  if (!window.create(L"GlassfallLayerCheck", "■Glassfall■ layer check", WS_POPUP)) return 1;
  std::printf("visible %d\n", IsWindowVisible(window.handle()) ? 1 : 0);
  std::printf("found_by_title %d\n", topLevelWindowExists("■Glassfall■ layer check") ? 1 : 0);
  pump(5000);
  std::printf("ticks_enabled %d\n", window.ticks);
  window.timer.setEnabled(false);
  const int before = window.ticks;
  pump(500);
  std::printf("ticks_after_disable %d\n", window.ticks - before);

  ModalWindow modal;
  modal.closer.setEnabled(true);
  if (!modal.create(L"GlassfallLayerModal", "layer check modal", WS_POPUP)) return 1;
  const DWORD start = GetTickCount();
  modal.showModal();
  std::printf("modal_ms %lu\n", static_cast<unsigned long>(GetTickCount() - start));
  std::printf("modal_close_requests %d\n", modal.closeRequests);
  std::printf("modal_gone %d\n", modal.handle() == nullptr ? 1 : 0);
  return 0;
}

int checkPicture(const char* path) {
  PictureArea picture;
  if (!picture.resize(5, 3)) return 1;
  SetPixelV(picture.dc(), 0, 0, RGB(255, 0, 0));
  SetPixelV(picture.dc(), 4, 2, RGB(0, 0, 255));
  std::printf("saved %d\n", picture.saveAsBitmap(toWide(fromAnsi(path))) ? 1 : 0);
  return 0;
}

int checkIni() {
  Win32HostFiles files;
  const std::string file = "C:\\velk_temp\\layer_check.ini";
  WriteIni(files, kSettingsSection, kKeyBgmMode, "2", file);
  WriteIni(files, kSettingsSection, kKeyBgmRepeat, "3", file);
  WriteIni(files, kSettingsSection, kKeyBgmFile, "C:\\曲\\a.mp3", file);
  WriteIni(files, kSettingsSection, "Long", std::string(300, 'x'), file);
  WriteIni(files, kSettingsSection, kKeyBgmRepeat, "4", file);  // replaced in place
  std::printf("mode %s\n", ReadIni(files, kSettingsSection, kKeyBgmMode, file).c_str());
  std::printf("file %s\n", ReadIni(files, kSettingsSection, kKeyBgmFile, file).c_str());
  std::printf("long_length %u\n", unsigned(ReadIni(files, kSettingsSection, "Long", file).size()));
  std::printf("missing [%s]\n", ReadIni(files, kSettingsSection, "Nothing", file).c_str());
  return 0;
}

int checkExists(const char* path) {
  Win32HostFiles files;
  std::printf("exists %d\n", FileExists(files, fromAnsi(path)) ? 1 : 0);
  return 0;
}

int checkDpi() {
  std::printf("dpi %d %d\n", screenDpiX(), screenDpiY());
  std::printf("twips_per_pixel %.3f\n", twipsPerPixel(screenDpiX()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* verb = argc > 1 ? argv[1] : "";
  const char* arg = argc > 2 ? argv[2] : "";
  int rc = 2;
  if (!std::strcmp(verb, "window")) rc = checkWindow();
  else if (!std::strcmp(verb, "picture")) rc = checkPicture(arg);
  else if (!std::strcmp(verb, "ini")) rc = checkIni();
  else if (!std::strcmp(verb, "exists")) rc = checkExists(arg);
  else if (!std::strcmp(verb, "dpi")) rc = checkDpi();
  std::fflush(stdout);
  return rc;
}
