// A scripted multimedia interface for the music tests: it records every call in one log
// and answers like a small MCI with one MP3 device and an audio-CD drive.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "multimedia.h"
#include "run_hooks.h"

// Error codes of the fake; the music code only passes them on.
const std::uint32_t kErrInvalidDevice = 263;
const std::uint32_t kErrNoDriver = 266;
const std::uint32_t kErrNotReady = 262;
const std::uint32_t kErrFileNotFound = 275;
const std::uint32_t kErrCannotOpen = 277;
const std::uint32_t kErrOutOfRange = 282;
const std::uint32_t kErrBadPosition = 274;

struct FakeCd {
  enum class Drive { None, Empty, Disc };
  Drive drive = Drive::Disc;
  int tracks = 5;
  int current = 1;
  bool playing = false;
  bool open = false;
  // When set, the reply to "status cdaudio current track" instead of the number.
  std::string currentTrackReply;

  // The drive reaches the end of the current track: on to the next one, or stop after the last.
  void trackEnds() {
    if (current < tracks) {
      ++current;
    } else {
      playing = false;
    }
  }
};

struct FakeMp3 {
  std::set<std::string> audioFiles;  // paths that open as MP3
  bool open = false;
  bool playing = false;
};

class FakeMultimedia : public Multimedia {
 public:
  std::vector<std::string> log;
  FakeCd cd;
  FakeMp3 mp3;
  std::uint32_t waveDevices = 2;
  bool errorTexts = true;
  std::string loopingSound;  // what PlaySound loops now, empty for nothing
  std::set<std::string> unplayableSounds;  // damaged files: the system falls back to its default sound
  // Exact commands whose reply is scripted: the code, and the bytes written to the buffer.
  std::map<std::string, std::pair<std::uint32_t, std::string>> scripted;

  std::uint32_t mciSend(const char* command, char* returnString, std::uint32_t returnLength,
                              void* callbackWindow) override {
    EXPECT_EQ(callbackWindow, nullptr);
    EXPECT_EQ(returnString == nullptr, returnLength == 0) << command;
    const std::string text = command;
    log.push_back(returnLength == 0 ? text : text + " [" + std::to_string(returnLength) + "]");
    std::string reply;
    std::uint32_t result = 0;
    auto found = scripted.find(text);
    if (found != scripted.end()) {
      result = found->second.first;
      reply = found->second.second;
      // A scripted reply is copied as is, so it can fill the buffer without a NUL.
      if (returnString != nullptr) std::memcpy(returnString, reply.data(), std::min<size_t>(reply.size(), returnLength));
      return result;
    }
    result = answer(text, reply);
    if (result == 0 && returnString != nullptr) {
      std::snprintf(returnString, returnLength, "%s", reply.c_str());
    }
    return result;
  }

  std::int32_t mciErrorText(std::uint32_t error, char* text, std::uint32_t length) override {
    log.push_back("error text " + std::to_string(error) + " [" + std::to_string(length) + "]");
    if (!errorTexts) return 0;
    std::snprintf(text, length, "MCI error %u", error);
    return 1;
  }

  std::int32_t playSound(const char* sound, void* module, std::uint32_t flags) override {
    EXPECT_EQ(module, nullptr);
    log.push_back(std::string("PlaySound ") + (sound ? sound : "(null)") + " " + std::to_string(flags));
    loopingSound = sound ? sound : "";
    if (sound && unplayableSounds.count(sound)) loopingSound = (flags & kSndNoDefault) ? "" : "(system default)";
    return 1;  // like the real one, whatever happened
  }

  std::uint32_t waveOutGetNumDevs() override {
    log.push_back("waveOutGetNumDevs");
    return waveDevices;
  }

  // The log from index `from` on, to look at one step of a run.
  std::vector<std::string> since(std::size_t from) const {
    return std::vector<std::string>(log.begin() + std::ptrdiff_t(from), log.end());
  }

 private:
  static bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
  }

  std::uint32_t answer(const std::string& c, std::string& reply) {
    if (c.find("cdaudio") != std::string::npos) return answerCd(c, reply);
    if (c.find("MP3Play") != std::string::npos) return answerMp3(c, reply);
    return kErrInvalidDevice;
  }

  std::uint32_t answerMp3(const std::string& c, std::string& reply) {
    const std::string tail = "\" type MPEGVideo Alias MP3Play";
    if (startsWith(c, "open \"")) {
      if (c.size() < 6 + tail.size() || c.compare(c.size() - tail.size(), tail.size(), tail) != 0) return 274;
      const std::string path = c.substr(6, c.size() - 6 - tail.size());
      if (mp3.open) return 289;  // alias in use
      if (!mp3.audioFiles.count(path)) return kErrCannotOpen;
      mp3.open = true;
      return 0;
    }
    if (!mp3.open) return kErrInvalidDevice;
    if (c == "play MP3Play" || c == "play MP3Play from 0") {
      mp3.playing = true;
    } else if (c == "stop MP3Play") {
      mp3.playing = false;
    } else if (c == "close MP3Play") {
      mp3 = FakeMp3{mp3.audioFiles};
    } else if (c == "status MP3Play mode") {
      reply = mp3.playing ? "playing" : "stopped";
    } else {
      return 274;
    }
    return 0;
  }

  std::uint32_t answerCd(const std::string& c, std::string& reply) {
    if (cd.drive == FakeCd::Drive::None) return kErrNoDriver;
    if (c == "open cdaudio") {
      cd.open = true;
      return 0;
    }
    if (!cd.open) return kErrInvalidDevice;
    if (c == "set cdaudio time format tmsf") return 0;
    if (c == "close cdaudio") {
      cd.open = false;
      cd.playing = false;
      return 0;
    }
    if (c == "stop cdaudio") {
      cd.playing = false;
      return 0;
    }
    if (c == "status cdaudio mode") {
      reply = cd.drive == FakeCd::Drive::Empty ? "open" : (cd.playing ? "playing" : "stopped");
      return 0;
    }
    if (cd.drive == FakeCd::Drive::Empty) return kErrNotReady;
    if (c == "status cdaudio current track") {
      reply = cd.currentTrackReply.empty() ? std::to_string(cd.current) : cd.currentTrackReply;
      return 0;
    }
    if (c == "status cdaudio number of tracks") {
      reply = std::to_string(cd.tracks);
      return 0;
    }
    const std::string position = "status cdaudio position track ";
    if (startsWith(c, position)) {
      int track = 0;
      if (std::sscanf(c.c_str() + position.size(), "%d", &track) != 1 || track < 1 || track > cd.tracks) {
        return kErrOutOfRange;
      }
      char tmsf[32];
      std::snprintf(tmsf, sizeof tmsf, "%02d:00:00:00", track);
      reply = tmsf;
      return 0;
    }
    if (c == "play cdaudio") {
      if (cd.tracks == 0) return kErrOutOfRange;
      cd.playing = true;
      return 0;
    }
    int track = 0, m = 0, s = 0, f = 0;
    if (std::sscanf(c.c_str(), "play cdaudio from %d:%d:%d:%d", &track, &m, &s, &f) == 4) {
      if (track < 1 || track > cd.tracks) return kErrOutOfRange;
      cd.current = track;
      cd.playing = true;
      return 0;
    }
    return kErrBadPosition;
  }
};

// The run window's two music timers as plain flags.
class FakeTimers : public RunTimers {
 public:
  bool timer1 = false;
  bool timer2 = false;
  void setEnabled(RunTimer timer, bool enabled) override { (timer == RunTimer::Timer1 ? timer1 : timer2) = enabled; }
  bool isEnabled(RunTimer timer) const override { return timer == RunTimer::Timer1 ? timer1 : timer2; }
};
