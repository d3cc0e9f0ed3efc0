// The settings file reader under fuzzing: the input is the file's text. Whatever it holds,
// the options that come out are ones the command line could give, notes name real lines in
// order, and the options written back as a file read as the same options.
#include "config_file.h"
#include "fuzz_support.h"

namespace {

const char kTarget[] = "config_file";
const char kHome[] = "/home/fuzz";

bool same(const HackOptions& a, const HackOptions& b) {
  return a.target == b.target && a.window == b.window && a.delayMicroseconds == b.delayMicroseconds &&
         a.showFps == b.showFps && a.wayland == b.wayland && a.music.file == b.music.file && a.music.cd == b.music.cd &&
         a.music.track == b.music.track;
}

// The options as a settings file would hold them.
std::string written(const HackOptions& o) {
  std::string text = "# written back\n";
  if (!o.music.file.empty()) text += "music = \"" + o.music.file + "\"\n";
  if (o.music.cd) text += "cd = yes\n";
  text += "track = " + std::to_string(o.music.track) + "\n";
  text += "delay = " + std::to_string(o.delayMicroseconds) + "\n";
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  HackOptions options;
  const std::vector<ConfigNote> notes = applyConfigText(text, kHome, options);

  int lines = 1;
  for (char c : text) lines += c == '\n';
  int previous = 0;
  for (const ConfigNote& note : notes) {
    require(note.line > previous && note.line <= lines, kTarget, "a note on no line, or out of order");
    require(!note.why.empty(), kTarget, "a note that says nothing");
    previous = note.line;
  }

  // The file sets music and pacing only: where the frames go is the command line's.
  const HackOptions defaults;
  require(options.target == defaults.target && options.window == 0 && !options.wayland && !options.showFps, kTarget,
          "the file changed an option it has no key for");
  require(options.delayMicroseconds >= 0 && options.delayMicroseconds <= kMaxDelayMicroseconds, kTarget,
          "a delay the command line refuses");
  require(options.music.track >= 0 && options.music.track <= 99, kTarget, "a track no CD has");
  require(!(options.music.cd && !options.music.file.empty()), kTarget, "both a file and the CD");
  require(options.music.file.find('\n') == std::string::npos, kTarget, "a file name across lines");

  HackOptions again;
  const std::vector<ConfigNote> rereadNotes = applyConfigText(written(options), kHome, again);
  require(rereadNotes.empty(), kTarget, "the options written back were refused");
  require(same(options, again), kTarget, "the options written back read as others");

  // Read twice, the file gives the same: nothing in it depends on what was there before.
  HackOptions twice = options;
  applyConfigText(text, kHome, twice);
  require(same(options, twice), kTarget, "reading the file again changed the options");
  return 0;
}
