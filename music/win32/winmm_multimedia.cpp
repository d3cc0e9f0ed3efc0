#define WIN32_LEAN_AND_MEAN
#include "winmm_multimedia.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstring>

#include "library_function.h"
#include "text_win32.h"

namespace {

// winmm is loaded when the music first needs it; without it every call fails as on a
// machine without sound.
template <typename Function>
Function winmm(const char* name) {
  return libraryFunction<Function>(L"winmm.dll", name);
}

// Turns the ANSI text the system left in a buffer into UTF-8 in the same buffer, cut at a
// whole character if it no longer fits.
void ansiBufferToUtf8(char* buffer, std::uint32_t length) {
  if (buffer == nullptr || length == 0) return;
  const std::string ansi(buffer, strnlen(buffer, length));
  bool plain = true;
  for (unsigned char c : ansi) plain = plain && c < 0x80;
  if (plain) return;
  std::string utf8 = fromAnsi(ansi);
  std::size_t keep = std::min<std::size_t>(utf8.size(), length - 1);
  while (keep > 0 && keep < utf8.size() && (static_cast<unsigned char>(utf8[keep]) & 0xC0) == 0x80) --keep;
  std::memcpy(buffer, utf8.data(), keep);
  buffer[keep] = '\0';
}

}  // namespace

std::uint32_t WinmmMultimedia::mciSend(const char* command, char* returnString, std::uint32_t returnLength,
                                             void* callbackWindow) {
  static const auto send = winmm<decltype(&mciSendStringA)>("mciSendStringA");
  if (!send) return MCIERR_CANNOT_LOAD_DRIVER;
  const std::string ansi = toAnsi(command);
  const MCIERROR result = send(ansi.c_str(), returnString, returnLength, static_cast<HWND>(callbackWindow));
  if (result == 0) ansiBufferToUtf8(returnString, returnLength);
  return result;
}

std::int32_t WinmmMultimedia::mciErrorText(std::uint32_t error, char* text, std::uint32_t length) {
  static const auto errorString = winmm<decltype(&mciGetErrorStringA)>("mciGetErrorStringA");
  const BOOL ok = errorString ? errorString(error, text, length) : FALSE;
  if (ok) ansiBufferToUtf8(text, length);
  return ok;
}

std::int32_t WinmmMultimedia::playSound(const char* sound, void* module, std::uint32_t flags) {
  static const auto play = winmm<decltype(&PlaySoundA)>("PlaySoundA");
  if (!play) return FALSE;
  if (sound == nullptr) return play(nullptr, static_cast<HMODULE>(module), flags);
  const std::string ansi = toAnsi(sound);
  return play(ansi.c_str(), static_cast<HMODULE>(module), flags);
}

std::uint32_t WinmmMultimedia::waveOutGetNumDevs() {
  static const auto count = winmm<decltype(&::waveOutGetNumDevs)>("waveOutGetNumDevs");
  return count ? count() : 0;
}

RunHooks& musicRunHooks(const MusicChoice& choice, std::int32_t& lastApiResult) {
  static WinmmMultimedia multimedia;
  static Glassfall_BGM bgm(multimedia, choice, lastApiResult);
  static MusicRunHooks hooks(bgm);
  return hooks;
}
