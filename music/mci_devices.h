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

#include <functional>
#include <map>
#include <set>
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

// When a device that failed may be tried again: at once the first time, then after one
// second, two, four and so on up to a minute, so that a sound output that is gone costs
// next to nothing however long the run lasts. A device that keeps playing through the
// whole wait it was last given counts as mended, and the waits start over.
class RetryBackoff {
 public:
  static constexpr double kFirstWait = 1.0;
  static constexpr double kLongestWait = 60.0;

  bool due(double now) const { return now >= next_; }
  // A retry was made at `now`.
  void retried(double now);
  // The device was found playing at `now`.
  void playingAt(double now);
  double wait() const { return wait_; }

 private:
  double next_ = -1e300;
  double wait_ = kFirstWait;
};

// Lines the interpreter has for the user (a music file that is no audio), each said once.
using MusicNotes = std::function<void(const std::string& line)>;

// Seconds on a steady clock.
double steadySeconds();

class MciDevices : public Multimedia {
 public:
  explicit MciDevices(AudioDevices& devices, std::function<double()> clock = steadySeconds,
                      MusicNotes notes = nullptr)
      : devices_(devices), clock_(std::move(clock)), notes_(std::move(notes)) {}

  std::uint32_t mciSend(const char* command, char* returnString, std::uint32_t returnLength,
                        void* callbackWindow) override;
  std::int32_t mciErrorText(std::uint32_t error, char* text, std::uint32_t length) override;
  std::int32_t playSound(const char* sound, void* module, std::uint32_t flags) override;
  std::uint32_t waveOutGetNumDevs() override;

 private:
  std::uint32_t open(const std::string& element, const std::string& rest);
  struct FileDevice {
    std::unique_ptr<LoopingStream> stream;
    RetryBackoff retry;
  };
  std::uint32_t fileCommand(FileDevice& file, const std::string& verb, const std::string& rest,
                            std::string& reply);
  std::uint32_t cdCommand(const std::string& verb, const std::string& rest, std::string& reply);
  // Says once per file that it is no audio, when that is why it did not open.
  void noteUnplayable(LoopingStream& stream, const std::string& path);

  AudioDevices& devices_;
  std::function<double()> clock_;
  MusicNotes notes_;
  std::map<std::string, FileDevice> files_;  // by lower-case alias
  std::unique_ptr<CdDrive> cd_;
  RetryBackoff cdRetry_;
  std::set<std::string> noted_;
  std::unique_ptr<LoopingStream> sound_;  // the looping PlaySound
};
