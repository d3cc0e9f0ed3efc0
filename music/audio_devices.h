// What a platform's sound system offers the command interpreter of mci_devices.h: music
// files that loop by themselves, and an audio-CD drive that plays on through its disc.
#pragma once

#include <memory>
#include <string>

// One music file, looping without a gap once it plays.
class LoopingStream {
 public:
  virtual ~LoopingStream() = default;
  // Readies the file at its start; false when it cannot be played (missing, not audio,
  // no sound output).
  virtual bool open(const std::string& path) = 0;
  virtual void play() = 0;
  virtual void pause() = 0;
  // Back to the start; also the way out of a failure met while playing.
  virtual void rewind() = 0;
  // Sound is going out: played, not paused, and no failure since.
  virtual bool playing() = 0;
  // An error (no sound output, a broken file) has stopped it since the last open or rewind.
  virtual bool failed() = 0;
  // After a failed open: the file is no audio at all (as opposed to no way to play it now).
  virtual bool notAudio() { return false; }
};

// The audio CD in the default drive. Tracks count from 1.
class CdDrive {
 public:
  virtual ~CdDrive() = default;
  // The number of tracks on the disc; -1 without a readable disc.
  virtual int trackCount() = 0;
  // The track playing, or where play() without a track would begin.
  virtual int currentTrack() = 0;
  virtual bool playing() = 0;
  // An error has stopped the playback since the last play().
  virtual bool failed() = 0;
  // Plays from the start of `track` on through the disc; false for a track the disc lacks.
  virtual bool play(int track) = 0;
  virtual void stop() = 0;
};

class AudioDevices {
 public:
  virtual ~AudioDevices() = default;
  virtual std::unique_ptr<LoopingStream> newStream() = 0;
  // Null when the system has no way to read a CD.
  virtual std::unique_ptr<CdDrive> openCdDrive() = 0;
  // How many sound outputs there are to play to.
  virtual int outputCount() = 0;
};
