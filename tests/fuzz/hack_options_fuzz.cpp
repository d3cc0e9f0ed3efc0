// The native program's options under fuzzing. The input, cut at its NUL bytes, is the
// command line after the program's name; its first piece is $XSCREENSAVER_WINDOW (unset when
// that piece is empty). Whatever is given, a run gets options the program can use, and those
// options spelt out again parse to the same.
#include <cstdio>

#include "fuzz_support.h"
#include "hack_options.h"

namespace {

const char kTarget[] = "hack_options";

bool same(const HackOptions& a, const HackOptions& b) {
  // The window counts only where the frames go into one.
  return a.target == b.target && (a.target == DrawTarget::ownWindow || a.window == b.window) && a.delayMicroseconds == b.delayMicroseconds &&
         a.showFps == b.showFps && a.wayland == b.wayland && a.music.file == b.music.file && a.music.cd == b.music.cd &&
         a.music.track == b.music.track && a.idleSeconds == b.idleSeconds;
}

// The options as a command line that asks for exactly them.
std::vector<std::string> spelt(const HackOptions& o) {
  std::vector<std::string> words = {"glassfall"};
  if (o.target == DrawTarget::root) words.push_back("-root");
  char id[32];
  std::snprintf(id, sizeof id, "0x%lx", o.window);
  if (o.target == DrawTarget::windowId) words.insert(words.end(), {"--window-id", id});
  words.push_back("--delay=" + std::to_string(o.delayMicroseconds));
  if (o.showFps) words.push_back("--fps");
  if (o.wayland) words.push_back("--wayland");
  if (!o.music.file.empty()) words.push_back("--music=" + o.music.file);
  if (o.music.cd) words.push_back("-cd");
  words.insert(words.end(), {"--track", std::to_string(o.music.track)});
  if (o.idleSeconds > 0) words.insert(words.end(), {"--idle", std::to_string(o.idleSeconds)});
  return words;
}

ParseResult parse(const std::vector<std::string>& words, const char* screensaverWindow, HackOptions& options) {
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  return parseHackOptions(int(argv.size()), argv.data(), screensaverWindow, options);
}

void checkWindowId(const std::string& text) {
  unsigned long id = 0;
  if (!parseWindowId(text.c_str(), id)) return;
  require(id != 0 && id <= 0xFFFFFFFFul, kTarget, "a window id beyond 32 bits, or none");
  const bool hex = text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  // The text is digits only: read back from its canonical spelling, the same window.
  for (char c : hex ? text.substr(2) : text)
    require((c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))), kTarget,
            "a window id with a character that is no digit");
  unsigned long again = 0;
  require(parseWindowId(std::to_string(id).c_str(), again) && again == id, kTarget, "decimal id did not come back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> words = splitOnNul(data, size);
  const std::string variable = words[0];
  const char* screensaverWindow = variable.empty() ? nullptr : variable.c_str();
  words[0] = "glassfall";
  for (const std::string& w : words) checkWindowId(w);

  HackOptions options;
  const ParseResult result = parse(words, screensaverWindow, options);
  if (result.outcome == ParseOutcome::usageError) {
    require(!result.message.empty(), kTarget, "a usage error that says nothing");
    return 0;
  }
  if (result.outcome == ParseOutcome::help) return 0;

  require(options.delayMicroseconds >= 0 && options.delayMicroseconds <= kMaxDelayMicroseconds, kTarget,
          "a delay out of range");
  require(options.music.track >= 0 && options.music.track <= 99, kTarget, "a track no CD has");
  require(!(options.music.cd && !options.music.file.empty()), kTarget, "both a file and the CD");
  require(!options.wayland || options.target == DrawTarget::ownWindow, kTarget, "Wayland into an X window");
  if (options.target == DrawTarget::windowId)
    require(options.window != 0 && options.window <= 0xFFFFFFFFul, kTarget, "a window id the server cannot have");
  if (options.target == DrawTarget::root) {
    unsigned long fromVariable = 0;
    if (screensaverWindow) parseWindowId(screensaverWindow, fromVariable);
    require(options.window == fromVariable, kTarget, "the root is not the screensaver's window");
  }

  require(options.idleSeconds >= 0 && options.idleSeconds <= kMaxIdleSeconds, kTarget, "an idle time out of range");
  require(options.idleSeconds == 0 || options.target == DrawTarget::ownWindow, kTarget, "waiting for an X window");
  if (options.idleSeconds > 0) {
    // Each run it starts asks for the same animation and music, and is a run, not a wait.
    std::vector<std::string> runWords = idleRunArguments(options);
    runWords.insert(runWords.begin(), "glassfall");
    HackOptions run;
    require(parse(runWords, nullptr, run).outcome == ParseOutcome::run, kTarget, "an idle run's options refused");
    HackOptions expected = options;
    expected.idleSeconds = 0;
    expected.wayland = true;
    require(same(run, expected), kTarget, "an idle run with other options than the waiting process");
  }

  HackOptions again;
  const ParseResult reparsed = parse(spelt(options), screensaverWindow, again);
  require(reparsed.outcome == ParseOutcome::run, kTarget, "the options spelt out again were refused");
  require(same(options, again), kTarget, "the options spelt out again parse as others");
  return 0;
}
