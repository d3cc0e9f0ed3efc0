#include "bgm.h"

#include <algorithm>
#include <cctype>

#include "numbers.h"

namespace {

const char kNoCommandText[] = "コマンド文字列が指定されていません";
const char kNoErrorText[] = "Error (文字列が取れません)";

std::string upperAscii(std::string text) {
  for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The text up to the first NUL, never past the buffer: a reply that fills the whole buffer
// carries no NUL of its own.
std::string replyText(const char* buffer, std::size_t length) {
  return std::string(buffer, std::find(buffer, buffer + length, '\0'));
}

bool startsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool reportsError(const std::string& reply) { return upperAscii(reply).find("ERR") != std::string::npos; }

}  // namespace

MusicFileKind musicFileKind(const std::string& file) {
  if (file.size() < 3) return MusicFileKind::None;
  const std::string ending = upperAscii(file.substr(file.size() - 3));
  if (ending == "WAV") return MusicFileKind::Wav;
  if (ending == "MP3") return MusicFileKind::Mp3;
  return MusicFileKind::None;
}

void Glassfall_BGM::SendMci(const std::string& command) {
  LastApiResult = std::int32_t(mm_.mciSend(command.c_str(), nullptr, 0, nullptr));
}

std::int32_t Glassfall_BGM::SendMciCommand(const std::string& command, std::string& reply) {
  if (command.empty()) {
    reply = kNoCommandText;
    return -1;
  }
  const std::int32_t result =
      std::int32_t(mm_.mciSend(command.c_str(), commandReply_, kCommandReplyLength, nullptr));
  LastApiResult = result;
  if (result == 0) {
    reply = replyText(commandReply_, kCommandReplyLength);
    return 0;
  }
  if (mm_.mciErrorText(std::uint32_t(result), errorText_, kErrorTextLength) != 0) {
    reply = replyText(errorText_, kErrorTextLength);
  } else {
    reply = kNoErrorText;
  }
  return result;
}

std::string Glassfall_BGM::QueryMci(const std::string& command) {
  std::string reply;
  const std::int32_t result = SendMciCommand(command, reply);
  LastApiResult = result;
  if (result != 0) return "Error:" + std::to_string(result);
  return reply;
}

std::int32_t Glassfall_BGM::PlayMciDevice(const std::string& device, const std::string& from,
                                          const std::string& to) {
  std::string command = "play " + device;
  if (!from.empty()) command += " from " + from;
  if (!to.empty()) command += " to " + to;
  std::string reply;
  return SendMciCommand(command, reply);
}

void Glassfall_BGM::PlayMp3() {
  // Quoted, so that a path with blanks stays one file name.
  SendMci("open \"" + choice_.file + "\" type MPEGVideo Alias MP3Play");
  if (LastApiResult == 0) SendMci("play MP3Play");
}

bool Glassfall_BGM::IsMp3Playing() {
  const std::uint32_t result =
      mm_.mciSend("status MP3Play mode", fileModeReply_, kFileModeReplyLength, nullptr);
  LastApiResult = std::int32_t(result);
  // A failed query must not be read as the mode an earlier query left in the buffer.
  if (result != 0) fileModeReply_[0] = '\0';
  return startsWith(replyText(fileModeReply_, kFileModeReplyLength), "playing");
}

void Glassfall_BGM::KeepMp3Playing() {
  if (IsMp3Playing()) return;
  // After a natural end the device may go on reporting "stopped" while a bare replay runs,
  // so it is stopped first and played from the start.
  SendMci("stop MP3Play");
  SendMci("play MP3Play from 0");
}

void Glassfall_BGM::CloseMp3() {
  SendMci("stop MP3Play");
  SendMci("close MP3Play");
}

void Glassfall_BGM::PlayWav() {
  if (mm_.waveOutGetNumDevs() == 0) return;
  // No SND_FILENAME: the name may also be a sound alias of the system. No default sound either:
  // looped, the system's chime for a file it cannot play would never stop.
  LastApiResult = mm_.playSound(choice_.file.c_str(), nullptr, kSndAsync | kSndNoDefault | kSndLoop);
}

void Glassfall_BGM::StopWav() { LastApiResult = mm_.playSound(nullptr, nullptr, 0); }

void Glassfall_BGM::OpenCdAudio() {
  SendMci("open cdaudio");
  SendMci("set cdaudio time format tmsf");
}

void Glassfall_BGM::CloseCdAudio() {
  SendMci("stop cdaudio");
  SendMci("close cdaudio");
}

void Glassfall_BGM::PollCdAudio() {
  CdPollActive = -1;
  if (!pollCdAudioSteps()) CdPollActive = 0;
}

// One poll; false ends the polling for good (no drive or disc, or a track reply that is
// not a number).
bool Glassfall_BGM::pollCdAudioSteps() {
  const std::string current = QueryMci("status cdaudio current track");
  if (reportsError(current)) return false;
  if (reportsError(QueryMci("status cdaudio number of tracks"))) return false;

  LastApiResult =
      std::int32_t(mm_.mciSend("status cdaudio mode", cdModeReply_, kCdModeReplyLength, nullptr));
  const bool stopped = startsWith(replyText(cdModeReply_, kCdModeReplyLength), "stopped");

  if (choice_.repeat != 0) {
    // The track is compared as a number even when the drive has stopped.
    double track = 0;
    if (!strictNumber(current, track)) return false;
    if (stopped || track != double(choice_.repeat)) {
      const std::string start = QueryMci("status cdaudio position track " + std::to_string(choice_.repeat));
      PlayMciDevice("cdaudio", start, "");
    }
  } else if (stopped) {
    PlayMciDevice("cdaudio", "", "");
  }
  return true;
}

void MusicRunHooks::onLoad(RunTimers& timers) {
  if (bgm_.choice().mode == 1) {
    bgm_.OpenCdAudio();
    timers.setEnabled(RunTimer::Timer2, true);
  } else if (bgm_.choice().mode == 2) {
    const MusicFileKind kind = musicFileKind(bgm_.choice().file);
    if (kind == MusicFileKind::Wav) bgm_.PlayWav();
    if (kind == MusicFileKind::Mp3) {
      bgm_.PlayMp3();
      timers.setEnabled(RunTimer::Timer1, true);
    }
  }
}

void MusicRunHooks::onTimer1(RunTimers&) { bgm_.KeepMp3Playing(); }

void MusicRunHooks::onTimer2(RunTimers& timers) {
  bgm_.PollCdAudio();
  timers.setEnabled(RunTimer::Timer2, bgm_.CdPollActive != 0);
}

void MusicRunHooks::onEnd(RunTimers& timers) {
  // A poll that ended the polling leaves the drive alone at the end too.
  if (timers.isEnabled(RunTimer::Timer2)) {
    timers.setEnabled(RunTimer::Timer2, false);
    bgm_.CloseCdAudio();
  }
  if (bgm_.choice().mode == 2) {
    const MusicFileKind kind = musicFileKind(bgm_.choice().file);
    if (kind == MusicFileKind::Wav) bgm_.StopWav();
    if (kind == MusicFileKind::Mp3) {
      timers.setEnabled(RunTimer::Timer1, false);
      bgm_.CloseMp3();
    }
  }
}
