// Scripted sound system for the MCI interpreter's tests: files that are playable or not, a
// CD drive with or without a disc, and a log of what was asked of them.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "audio_devices.h"

struct FakeStreamState {
  std::string path;
  bool playing = false;
  bool failed = false;  // as after a sound-output error while playing
  int rewinds = 0;
};

class FakeAudioDevices : public AudioDevices {
 public:
  std::set<std::string> playable;
  std::set<std::string> notAudio;  // of the files that are not playable
  bool cdDrive = true;
  int discTracks = 5;  // -1: no disc
  int cdCurrent = 1;
  bool cdPlaying = false;
  bool cdFailed = false;  // as after a sound-output error; play() clears it
  int outputs = 1;
  std::vector<std::string> log;
  std::vector<std::weak_ptr<FakeStreamState>> streams;  // every stream ever made

  // Streams that are open now.
  std::vector<std::shared_ptr<FakeStreamState>> live() const {
    std::vector<std::shared_ptr<FakeStreamState>> found;
    for (const auto& weak : streams) {
      if (auto state = weak.lock()) found.push_back(state);
    }
    return found;
  }

  // The disc reaches the end of the track playing: on to the next, or stopped at track 1
  // after the last.
  void cdTrackEnds() {
    if (cdCurrent < discTracks) {
      ++cdCurrent;
    } else {
      cdPlaying = false;
      cdCurrent = 1;
    }
  }

  std::unique_ptr<LoopingStream> newStream() override;
  std::unique_ptr<CdDrive> openCdDrive() override;
  int outputCount() override { return outputs; }
};

class FakeLoopingStream : public LoopingStream {
 public:
  explicit FakeLoopingStream(FakeAudioDevices& devices) : devices_(devices) {}
  bool open(const std::string& path) override {
    devices_.log.push_back("open " + path);
    path_ = path;
    if (!devices_.playable.count(path)) return false;
    state_ = std::make_shared<FakeStreamState>();
    state_->path = path;
    devices_.streams.push_back(state_);
    return true;
  }
  void play() override {
    devices_.log.push_back("play");
    if (state_) state_->playing = true;
  }
  void pause() override {
    devices_.log.push_back("pause");
    if (state_) state_->playing = false;
  }
  void rewind() override {
    devices_.log.push_back("rewind");
    if (!state_) return;
    ++state_->rewinds;
    state_->failed = false;
  }
  bool playing() override { return state_ && state_->playing && !state_->failed; }
  bool failed() override { return state_ && state_->failed; }
  bool notAudio() override { return devices_.notAudio.count(path_) != 0; }

 private:
  FakeAudioDevices& devices_;
  std::string path_;
  std::shared_ptr<FakeStreamState> state_;
};

class FakeCdDrive : public CdDrive {
 public:
  explicit FakeCdDrive(FakeAudioDevices& devices) : d_(devices) {}
  ~FakeCdDrive() override {
    d_.cdPlaying = false;
    d_.log.push_back("cd closed");
  }
  int trackCount() override { return d_.discTracks; }
  int currentTrack() override { return d_.cdCurrent; }
  bool playing() override { return d_.cdPlaying && !d_.cdFailed; }
  bool failed() override { return d_.cdFailed; }
  bool play(int track) override {
    d_.log.push_back("cd play " + std::to_string(track));
    d_.cdCurrent = track;
    d_.cdPlaying = true;
    d_.cdFailed = false;
    return true;
  }
  void stop() override {
    d_.log.push_back("cd stop");
    d_.cdPlaying = false;
  }

 private:
  FakeAudioDevices& d_;
};

inline std::unique_ptr<LoopingStream> FakeAudioDevices::newStream() {
  return std::make_unique<FakeLoopingStream>(*this);
}

inline std::unique_ptr<CdDrive> FakeAudioDevices::openCdDrive() {
  log.push_back("cd open");
  if (!cdDrive) return nullptr;
  return std::make_unique<FakeCdDrive>(*this);
}
