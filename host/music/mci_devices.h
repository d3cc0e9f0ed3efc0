// The multimedia command strings of the music code, carried out on a platform's own sound
// system (AudioDevices) where there is no MCI: the run's music decides what plays when in
// the same commands everywhere.
//  [x] a music file under an alias: open "FILE" [type T] alias A, play A [from 0], stop A,
//      status A mode, close A. The file loops by itself, without a gap.
//  [x] cdaudio: open, set time format tmsf, status current track / number of tracks / mode /
//      position track N, play [from TT:MM:SS:FF], stop, close
//  [x] looping asynchronous sounds (PlaySound with SND_ASYNC | SND_LOOP) and their stop
//  [ ] other devices, time formats, "to" positions, sounds played once
#pragma once

#include <map>
#include <memory>
#include <string>

#include "audio_devices.h"
#include "multimedia.h"

// MCI error codes this interpreter answers with.
const std::uint32_t kMciErrUnrecognizedCommand = 261;
const std::uint32_t kMciErrInvalidDeviceName = 263;
const std::uint32_t kMciErrCannotLoadDriver = 266;
const std::uint32_t kMciErrBadInteger = 270;
const std::uint32_t kMciErrUnsupportedFunction = 274;
const std::uint32_t kMciErrDeviceNotReady = 276;
const std::uint32_t kMciErrOutOfRange = 282;
const std::uint32_t kMciErrDuplicateAlias = 289;
const std::uint32_t kMciErrInvalidFile = 296;

class MciDevices : public Multimedia {
 public:
  explicit MciDevices(AudioDevices& devices) : devices_(devices) {}

  std::uint32_t mciSend(const char* command, char* returnString, std::uint32_t returnLength,
                        void* callbackWindow) override;
  std::int32_t mciErrorText(std::uint32_t error, char* text, std::uint32_t length) override;
  std::int32_t playSound(const char* sound, void* module, std::uint32_t flags) override;
  std::uint32_t waveOutGetNumDevs() override;

 private:
  std::uint32_t open(const std::string& element, const std::string& rest);
  std::uint32_t fileCommand(LoopingStream& stream, const std::string& verb, const std::string& rest,
                            std::string& reply);
  std::uint32_t cdCommand(const std::string& verb, const std::string& rest, std::string& reply);

  AudioDevices& devices_;
  std::map<std::string, std::unique_ptr<LoopingStream>> files_;  // by lower-case alias
  std::unique_ptr<CdDrive> cd_;
  std::unique_ptr<LoopingStream> sound_;  // the looping PlaySound
};
