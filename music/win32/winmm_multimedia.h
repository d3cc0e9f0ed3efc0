// Win32 multimedia backend of the music code (winmm).
//  [x] mciSendStringA, mciGetErrorStringA, PlaySoundA, waveOutGetNumDevs
//  [x] UTF-8 commands and names to the ANSI code page, replies back to UTF-8
//  [ ] callback windows and sound modules (the music code passes none)
#pragma once

#include "bgm.h"
#include "multimedia.h"

class WinmmMultimedia : public Multimedia {
 public:
  std::uint32_t mciSend(const char* command, char* returnString, std::uint32_t returnLength,
                              void* callbackWindow) override;
  std::int32_t mciErrorText(std::uint32_t error, char* text, std::uint32_t length) override;
  std::int32_t playSound(const char* sound, void* module, std::uint32_t flags) override;
  std::uint32_t waveOutGetNumDevs() override;
};

// The music hooks of a run over the real system, for the host program to install: they play
// the choice as it stands when the run loads, and write each call's result to lastApiResult.
RunHooks& musicRunHooks(const MusicChoice& choice, std::int32_t& lastApiResult);
