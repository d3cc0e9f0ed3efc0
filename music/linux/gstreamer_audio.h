// Sound on Linux through GStreamer, behind the music's AudioDevices. Every GStreamer name
// of the program lives in this file pair.
//  [x] music files that loop without a gap (playbin, segment seeks back to the start)
//  [x] the audio CD through cdda:// (cdparanoiasrc), track by track through the disc
//  [x] the system's default sound output, or one the caller describes
//  [ ] a GLib main loop: bus messages are read in GStreamer's own threads as they come, and
//      what they ask for is done on the music thread at service()
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "audio_devices.h"

struct GstServiceList;

class GstAudioDevices : public AudioDevices {
 public:
  // `sink`: a GStreamer description of the sound output (tests use "fakesink sync=true");
  // empty for the system's default. `cancel`, when it turns true, cuts short any wait for a
  // file to get ready, so that the program can end at once.
  // `wake` is called from GStreamer's threads when a stream has work for the thread that
  // owns these devices (the next pass of a loop); that thread then calls service().
  explicit GstAudioDevices(std::string sink = "", const std::atomic<bool>* cancel = nullptr,
                           std::function<void()> wake = nullptr);
  ~GstAudioDevices() override;

  // Does what the streams asked for since the last call. Only on the owning thread.
  void service();

  std::unique_ptr<LoopingStream> newStream() override;
  std::unique_ptr<CdDrive> openCdDrive() override;
  int outputCount() override;

 private:
  std::string sink_;
  const std::atomic<bool>* cancel_;
  std::unique_ptr<GstServiceList> services_;
  bool started_;
};
