// The four multimedia calls the music code makes, in the shape of their Win32 forms.
// Texts are UTF-8 here; the Win32 backend passes them on in the system ANSI code page.
#pragma once

#include <cstdint>

class Multimedia {
 public:
  virtual ~Multimedia() = default;
  // mciSendStringA: a command with an optional reply buffer of returnLength characters;
  // 0 on success, an MCI error code otherwise.
  virtual std::uint32_t mciSend(const char* command, char* returnString, std::uint32_t returnLength,
                                      void* callbackWindow) = 0;
  // mciGetErrorStringA: the text for an MCI error code; non-zero on success.
  virtual std::int32_t mciErrorText(std::uint32_t error, char* text, std::uint32_t length) = 0;
  // PlaySoundA: a sound name (alias or file) or null to stop; non-zero on success.
  virtual std::int32_t playSound(const char* sound, void* module, std::uint32_t flags) = 0;
  virtual std::uint32_t waveOutGetNumDevs() = 0;
};

// PlaySound flags used by the music code.
const std::uint32_t kSndAsync = 0x0001;
const std::uint32_t kSndNoDefault = 0x0002;
const std::uint32_t kSndLoop = 0x0008;
