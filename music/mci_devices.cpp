#include "mci_devices.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace {

std::string lowerAscii(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Splits off the first blank-separated word; `rest` may be `text` itself.
std::string firstWord(const std::string& text, std::string& rest) {
  const std::size_t end = text.find_first_of(" \t");
  std::string word = text.substr(0, end);
  rest = end == std::string::npos ? std::string() : trimmed(text.substr(end));
  return word;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool integer(const std::string& text, long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  return *end == '\0' && errno == 0;
}

// "tt:mm:ss:ff" (or a bare track number): the track; the rest is the start of that track in
// every position this interpreter gives out.
bool trackOfPosition(const std::string& position, long& track) {
  return integer(position.substr(0, position.find(':')), track);
}

const struct {
  std::uint32_t code;
  const char* text;
} kErrorTexts[] = {
    {kMciErrUnrecognizedCommand, "The driver cannot recognize the specified command."},
    {kMciErrInvalidDeviceName, "The specified device is not open or is not recognized by MCI."},
    {kMciErrCannotLoadDriver, "The specified device driver will not load properly."},
    {kMciErrBadInteger, "The specified integer is invalid for this command."},
    {kMciErrUnsupportedFunction, "The MCI device the system is using does not support the specified command."},
    {kMciErrDeviceNotReady, "The device is not ready."},
    {kMciErrOutOfRange, "The specified parameter is out of range for the specified command."},
    {kMciErrDuplicateAlias, "The specified alias is already being used in this application."},
    {kMciErrInvalidFile, "The specified file cannot be played on the specified MCI device."},
};

}  // namespace

double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void RetryBackoff::retried(double now) {
  next_ = now + wait_;
  wait_ = std::min(wait_ * 2, kLongestWait);
}

void RetryBackoff::playingAt(double now) {
  if (now < next_) return;
  next_ = -1e300;
  wait_ = kFirstWait;
}

void MciDevices::noteUnplayable(LoopingStream& stream, const std::string& path) {
  if (!notes_ || !stream.notAudio() || !noted_.insert(path).second) return;
  notes_("music file is not audio, nothing plays: " + path);
}

std::uint32_t MciDevices::mciSend(const char* command, char* returnString, std::uint32_t returnLength,
                                  void* /*callbackWindow*/) {
  const std::string text = trimmed(command == nullptr ? "" : command);
  std::string rest;
  const std::string verb = lowerAscii(firstWord(text, rest));
  std::string reply;
  std::uint32_t result = kMciErrUnrecognizedCommand;

  if (verb == "open") {
    // A quoted file name runs to the last quote, so that the name may hold quotes itself.
    std::string element, after;
    if (!rest.empty() && rest[0] == '"') {
      const std::size_t close = rest.rfind('"');
      if (close == 0) return kMciErrUnrecognizedCommand;
      element = rest.substr(1, close - 1);
      after = trimmed(rest.substr(close + 1));
    } else {
      element = firstWord(rest, after);
    }
    result = open(element, lowerAscii(after));
  } else if (!verb.empty()) {
    std::string arguments;
    const std::string device = lowerAscii(firstWord(rest, arguments));
    arguments = lowerAscii(arguments);
    auto file = files_.find(device);
    if (device == "cdaudio") {
      result = cdCommand(verb, arguments, reply);
    } else if (file != files_.end() && verb == "close" && arguments.empty()) {
      files_.erase(file);
      result = 0;
    } else if (file != files_.end()) {
      result = fileCommand(file->second, verb, arguments, reply);
    } else {
      result = kMciErrInvalidDeviceName;
    }
  }
  if (result == 0 && returnString != nullptr && returnLength > 0) {
    std::snprintf(returnString, returnLength, "%s", reply.c_str());
  }
  return result;
}

std::uint32_t MciDevices::open(const std::string& element, const std::string& rest) {
  if (element.empty()) return kMciErrUnrecognizedCommand;
  if (lowerAscii(element) == "cdaudio") {
    if (!rest.empty()) return kMciErrUnsupportedFunction;
    if (!cd_) cd_ = devices_.openCdDrive();
    return cd_ ? 0 : kMciErrCannotLoadDriver;
  }
  // [type T] alias A: the type is the system's business here, the alias names the device.
  std::string tail;
  std::string word = firstWord(rest, tail);
  if (word == "type") {
    firstWord(tail, tail);  // the type
    word = firstWord(tail, tail);
  }
  if (word != "alias") return kMciErrUnsupportedFunction;
  std::string extra;
  const std::string alias = firstWord(tail, extra);
  if (alias.empty() || !extra.empty() || alias == "cdaudio") return kMciErrUnsupportedFunction;
  if (files_.count(alias)) return kMciErrDuplicateAlias;
  std::unique_ptr<LoopingStream> stream = devices_.newStream();
  if (!stream->open(element)) {
    noteUnplayable(*stream, element);
    return kMciErrInvalidFile;
  }
  files_[alias].stream = std::move(stream);
  return 0;
}

std::uint32_t MciDevices::fileCommand(FileDevice& file, const std::string& verb, const std::string& rest,
                                      std::string& reply) {
  LoopingStream& stream = *file.stream;
  if (verb == "play") {
    if (!rest.empty() && rest != "from 0") return kMciErrUnsupportedFunction;
    // A stream that failed is built afresh to try again, which is dear: not every second.
    if (stream.failed()) {
      const double now = clock_();
      if (!file.retry.due(now)) return kMciErrDeviceNotReady;
      file.retry.retried(now);
      stream.rewind();
    } else if (rest == "from 0") {
      stream.rewind();
    }
    stream.play();
    return 0;
  }
  if (verb == "stop" && rest.empty()) {
    stream.pause();
    return 0;
  }
  if (verb == "status" && rest == "mode") {
    const bool playing = stream.playing();
    if (playing) file.retry.playingAt(clock_());
    reply = playing ? "playing" : "stopped";
    return 0;
  }
  return verb == "play" || verb == "stop" || verb == "status" ? kMciErrUnsupportedFunction
                                                              : kMciErrUnrecognizedCommand;
}

std::uint32_t MciDevices::cdCommand(const std::string& verb, const std::string& rest, std::string& reply) {
  if (!cd_) return kMciErrInvalidDeviceName;
  if (verb == "close" && rest.empty()) {
    cd_.reset();
    return 0;
  }
  if (verb == "stop" && rest.empty()) {
    cd_->stop();
    return 0;
  }
  if (verb == "set") return rest == "time format tmsf" ? 0 : kMciErrUnsupportedFunction;
  if (verb != "status" && verb != "play") return kMciErrUnrecognizedCommand;

  const int tracks = cd_->trackCount();
  if (verb == "status" && rest == "mode") {
    const bool playing = tracks >= 0 && cd_->playing();
    if (playing) cdRetry_.playingAt(clock_());
    reply = tracks < 0 ? "not ready" : (playing ? "playing" : "stopped");
    return 0;
  }
  if (tracks < 0) return kMciErrDeviceNotReady;
  if (verb == "status") {
    if (rest == "current track") {
      reply = std::to_string(cd_->currentTrack());
      return 0;
    }
    if (rest == "number of tracks") {
      reply = std::to_string(tracks);
      return 0;
    }
    const std::string position = "position track ";
    if (!startsWith(rest, position)) return kMciErrUnsupportedFunction;
    long track = 0;
    if (!integer(rest.substr(position.size()), track)) return kMciErrBadInteger;
    if (track < 1 || track > tracks) return kMciErrOutOfRange;
    char tmsf[32];
    std::snprintf(tmsf, sizeof tmsf, "%02ld:00:00:00", track);
    reply = tmsf;
    return 0;
  }
  // play [from position]
  long track = cd_->currentTrack();
  if (startsWith(rest, "from ")) {
    if (!trackOfPosition(rest.substr(5), track)) return kMciErrBadInteger;
  } else if (!rest.empty()) {
    return kMciErrUnsupportedFunction;
  }
  if (track < 1 || track > tracks) return kMciErrOutOfRange;
  // The poll asks five times a second; a drive that failed waits its turn.
  if (cd_->failed()) {
    const double now = clock_();
    if (!cdRetry_.due(now)) return kMciErrDeviceNotReady;
    cdRetry_.retried(now);
  }
  return cd_->play(int(track)) ? 0 : kMciErrOutOfRange;
}

std::int32_t MciDevices::mciErrorText(std::uint32_t error, char* text, std::uint32_t length) {
  for (const auto& entry : kErrorTexts) {
    if (entry.code == error) {
      if (text != nullptr && length > 0) std::snprintf(text, length, "%s", entry.text);
      return 1;
    }
  }
  return 0;
}

std::int32_t MciDevices::playSound(const char* sound, void* /*module*/, std::uint32_t flags) {
  sound_.reset();
  if (sound == nullptr) return 1;
  if ((flags & (kSndAsync | kSndLoop)) != (kSndAsync | kSndLoop)) return 0;
  std::unique_ptr<LoopingStream> stream = devices_.newStream();
  if (!stream->open(sound)) {
    noteUnplayable(*stream, sound);
    return 0;
  }
  stream->play();
  sound_ = std::move(stream);
  return 1;
}

std::uint32_t MciDevices::waveOutGetNumDevs() {
  const int outputs = devices_.outputCount();
  return outputs > 0 ? std::uint32_t(outputs) : 0;
}
