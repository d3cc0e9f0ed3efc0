// Background music of a screensaver run: one MP3 or WAV file in a loop, or the audio CD,
// all through the multimedia command-string interface of a Multimedia backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "multimedia.h"
#include "music_choice.h"
#include "run_hooks.h"

enum class MusicFileKind { None, Wav, Mp3 };

// What a music file is taken for: its last three characters, compared without case.
MusicFileKind musicFileKind(const std::string& file);

// Reply-buffer lengths handed to the multimedia interface.
const std::uint32_t kFileModeReplyLength = 30;
const std::uint32_t kCommandReplyLength = 512;
const std::uint32_t kErrorTextLength = 256;
const std::uint32_t kCdModeReplyLength = 255;

// The music routines over one backend. The reply buffers live as long as the module and keep
// their contents between calls. `choice` is what plays; every call's result is also written
// to `lastApiResult`, the program's copy of its most recent system call's result.
class Glassfall_BGM {
 public:
  Glassfall_BGM(Multimedia& multimedia, const MusicChoice& choice, std::int32_t& lastApiResult)
      : mm_(multimedia), choice_(choice), LastApiResult(lastApiResult) {}

  const MusicChoice& choice() const { return choice_; }

  // Keep-polling flag of the audio-CD watch (-1 go on, 0 stop), set by every PollCdAudio.
  std::int16_t CdPollActive = 0;

  // File playback of the chosen file under the alias MP3Play, or as a looping wave sound.
  void PlayMp3();
  bool IsMp3Playing();
  void KeepMp3Playing();
  void CloseMp3();
  void PlayWav();
  void StopWav();

  // Audio CD in the default drive.
  void OpenCdAudio();
  void PollCdAudio();
  void CloseCdAudio();

  // Command helpers; results also land in lastApiResult.
  void SendMci(const std::string& command);
  std::int32_t SendMciCommand(const std::string& command, std::string& reply);
  std::string QueryMci(const std::string& command);
  std::int32_t PlayMciDevice(const std::string& device, const std::string& from, const std::string& to);

 private:
  bool pollCdAudioSteps();

  Multimedia& mm_;
  const MusicChoice& choice_;
  std::int32_t& LastApiResult;
  char fileModeReply_[kFileModeReplyLength] = {};
  char commandReply_[kCommandReplyLength] = {};
  char errorText_[kErrorTextLength] = {};
  char cdModeReply_[kCdModeReplyLength] = {};
};

// The music's part of a run: started at the run window's load, watched by Timer1 (file) or
// Timer2 (CD), stopped first thing at its end.
class MusicRunHooks : public RunHooks {
 public:
  explicit MusicRunHooks(Glassfall_BGM& bgm) : bgm_(bgm) {}
  void onLoad(RunTimers& timers) override;
  void onTimer1(RunTimers& timers) override;
  void onTimer2(RunTimers& timers) override;
  void onEnd(RunTimers& timers) override;

 private:
  Glassfall_BGM& bgm_;
};
