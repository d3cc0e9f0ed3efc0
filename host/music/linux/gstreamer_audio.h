// Sound on Linux through GStreamer, behind the music's AudioDevices. Every GStreamer name
// of the program lives in this file pair.
//  [x] music files that loop without a gap (playbin, the same uri again at about-to-finish)
//  [x] the audio CD through cdda:// (cdparanoiasrc), track by track through the disc
//  [x] the system's default sound output, or one the caller describes
//  [ ] a GLib main loop: bus messages are read in GStreamer's own threads as they come
#pragma once

#include <atomic>
#include <string>

#include "audio_devices.h"

class GstAudioDevices : public AudioDevices {
 public:
  // `sink`: a GStreamer description of the sound output (tests use "fakesink sync=true");
  // empty for the system's default. `cancel`, when it turns true, cuts short any wait for a
  // file to get ready, so that the program can end at once.
  explicit GstAudioDevices(std::string sink = "", const std::atomic<bool>* cancel = nullptr);

  std::unique_ptr<LoopingStream> newStream() override;
  std::unique_ptr<CdDrive> openCdDrive() override;
  int outputCount() override;

 private:
  std::string sink_;
  const std::atomic<bool>* cancel_;
  bool started_;
};
