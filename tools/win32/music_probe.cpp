// Test-only console program: one run's music over the real winmm, without the rest of the
// host. It starts the music as the run window would, ticks Timer1 (1000 ms) and Timer2
// (200 ms) while they are on, ends the music, then stays alive a little longer so that a
// recording can show whether anything still plays. Every multimedia call is printed with
// its time, result and reply, one per line.
// Usage: music_probe MODE REPEAT FILE RUN_SECONDS [AFTER_SECONDS]
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bgm.h"
#include "text_win32.h"
#include "winmm_multimedia.h"

namespace {

DWORD startTick = 0;

void line(const std::string& text) {
  std::printf("%6lu %s\n", static_cast<unsigned long>(GetTickCount() - startTick), text.c_str());
  std::fflush(stdout);
}

class LoggingMultimedia : public Multimedia {
 public:
  std::uint32_t mciSend(const char* command, char* reply, std::uint32_t length, void* callback) override {
    const std::uint32_t r = real_.mciSend(command, reply, length, callback);
    std::string text = "mci " + std::string(command) + " [" + std::to_string(length) + "] -> " + std::to_string(r);
    if (reply != nullptr && r == 0) text += " '" + std::string(reply, strnlen(reply, length)) + "'";
    line(text);
    return r;
  }
  std::int32_t mciErrorText(std::uint32_t error, char* text, std::uint32_t length) override {
    const std::int32_t r = real_.mciErrorText(error, text, length);
    line("errortext " + std::to_string(error) + " [" + std::to_string(length) + "] -> " + std::to_string(r));
    return r;
  }
  std::int32_t playSound(const char* sound, void* module, std::uint32_t flags) override {
    const std::int32_t r = real_.playSound(sound, module, flags);
    line("playsound " + std::string(sound ? sound : "(null)") + " " + std::to_string(flags) + " -> " +
         std::to_string(r));
    return r;
  }
  std::uint32_t waveOutGetNumDevs() override {
    const std::uint32_t n = real_.waveOutGetNumDevs();
    line("wavedevices -> " + std::to_string(n));
    return n;
  }

 private:
  WinmmMultimedia real_;
};

class ProbeTimers : public RunTimers {
 public:
  bool on[2] = {false, false};
  void setEnabled(RunTimer t, bool enabled) override { on[t == RunTimer::Timer2] = enabled; }
  bool isEnabled(RunTimer t) const override { return on[t == RunTimer::Timer2]; }
};

}  // namespace

int main() {
  int argc = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (wide == nullptr || argc < 5) {
    std::fprintf(stderr, "usage: music_probe MODE REPEAT FILE RUN_SECONDS [AFTER_SECONDS]\n");
    return 2;
  }
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(fromWide(wide[i]));
  MusicChoice choice;
  choice.mode = std::int16_t(std::stoi(args[1]));
  choice.repeat = std::int16_t(std::stoi(args[2]));
  choice.file = args[3];
  const DWORD runMs = DWORD(std::stod(args[4]) * 1000);
  const DWORD afterMs = argc > 5 ? DWORD(std::stod(args[5]) * 1000) : 0;

  LoggingMultimedia multimedia;
  std::int32_t lastApiResult = 0;
  Glassfall_BGM bgm(multimedia, choice, lastApiResult);
  MusicRunHooks hooks(bgm);
  ProbeTimers timers;

  startTick = GetTickCount();
  line("load");
  hooks.onLoad(timers);
  DWORD next1 = 1000, next2 = 200;
  for (;;) {
    const DWORD now = GetTickCount() - startTick;
    if (now >= runMs) break;
    if (now >= next2) {
      next2 += 200;
      if (timers.on[1]) hooks.onTimer2(timers);
    }
    if (now >= next1) {
      next1 += 1000;
      if (timers.on[0]) hooks.onTimer1(timers);
    }
    Sleep(10);
  }
  line("end");
  hooks.onEnd(timers);
  Sleep(afterMs);
  line("exit");
  return 0;
}
