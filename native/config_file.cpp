#include "config_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char kWhitespace[] = " \t\r";

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(kWhitespace);
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(kWhitespace) - first + 1);
}

bool parseSwitch(const std::string& value, bool& on) {
  if (value == "yes" || value == "true" || value == "on" || value == "1") {
    on = true;
  } else if (value == "no" || value == "false" || value == "off" || value == "0") {
    on = false;
  } else {
    return false;
  }
  return true;
}

// One option through the command line's own parser, so a value is checked, and refused with the
// same words, exactly as on the command line.
std::string applyOption(const std::string& option, HackOptions& options) {
  HackOptions changed = options;
  const char* argv[] = {"glassfall", option.c_str()};
  const ParseResult parsed = parseHackOptions(2, argv, nullptr, changed);
  if (parsed.outcome != ParseOutcome::run) return parsed.message;
  options = changed;
  return {};
}

std::string applyLine(const std::string& line, const char* home, HackOptions& options) {
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return "not 'key = value': '" + line + "'";
  const std::string key = trimmed(line.substr(0, equals));
  std::string value = trimmed(line.substr(equals + 1));
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') value = value.substr(1, value.size() - 2);

  if (key == "music") {
    if (home && *home && value.compare(0, 2, "~/") == 0) value = std::string(home) + value.substr(1);
    return applyOption("--music=" + value, options);
  }
  if (key == "cd") {
    bool on = false;
    if (!parseSwitch(value, on)) return "cd wants yes or no, not '" + value + "'";
    if (on) return applyOption("--cd", options);
    options.music.cd = false;
    return {};
  }
  if (key == "track") return applyOption("--track=" + value, options);
  if (key == "delay") return applyOption("--delay=" + value, options);
  return "unknown key '" + key + "' (music, cd, track or delay)";
}

}  // namespace

std::string configFilePath(const char* xdgConfigHome, const char* home) {
  if (xdgConfigHome && xdgConfigHome[0] == '/') return std::string(xdgConfigHome) + "/glassfall/glassfall.conf";
  if (home && *home) return std::string(home) + "/.config/glassfall/glassfall.conf";
  return {};
}

std::vector<ConfigNote> applyConfigText(const std::string& text, const char* home, HackOptions& options) {
  std::vector<ConfigNote> notes;
  std::size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = trimmed(text.substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == '#') continue;
    const std::string why = applyLine(line, home, options);
    if (!why.empty()) notes.push_back({number, why});
  }
  return notes;
}

std::vector<std::string> loadConfigFile(const std::string& path, const char* home, HackOptions& options) {
  if (path.empty()) return {};
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    if (errno == ENOENT || errno == ENOTDIR) return {};
    return {path + ": " + std::strerror(errno)};
  }
  std::string text;
  char chunk[4096];
  std::size_t got;
  // A settings file is a few lines; anything past this is not one.
  const std::size_t kMostBytes = 64 * 1024;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 && text.size() < kMostBytes) text.append(chunk, got);
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) return {path + ": cannot be read"};
  if (text.size() > kMostBytes) return {path + ": too long for a settings file, not read"};

  std::vector<std::string> lines;
  for (const ConfigNote& note : applyConfigText(text, home, options)) {
    lines.push_back(path + ":" + std::to_string(note.line) + ": " + note.why);
  }
  return lines;
}
