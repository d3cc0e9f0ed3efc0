#include "command_line.h"

#include "numbers.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool startsCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

}  // namespace

std::string argumentText(const std::string& commandLine) {
  std::size_t pos = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    const std::size_t close = commandLine.find('"', 1);
    pos = close == std::string::npos ? commandLine.size() : close + 1;
  } else {
    while (pos < commandLine.size() && !isBlank(commandLine[pos])) ++pos;
  }
  while (pos < commandLine.size() && isBlank(commandLine[pos])) ++pos;
  return commandLine.substr(pos);
}

std::string fromCharacter(const std::string& text, std::size_t first) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!startsCharacter(text[i])) continue;
    if (count++ == first) return text.substr(i);
  }
  return std::string();
}

std::string modeLetter(const std::string& argument) {
  const std::string rest = fromCharacter(argument, 1);
  if (rest.empty()) return std::string();
  std::size_t length = 1;
  while (length < rest.size() && !startsCharacter(rest[length])) ++length;
  std::string letter = rest.substr(0, length);
  if (length == 1 && letter[0] >= 'a' && letter[0] <= 'z') letter[0] = char(letter[0] - 'a' + 'A');
  return letter;
}

std::int32_t previewHandle(const std::string& argument) {
  std::int32_t handle = 0;
  if (!roundToInt32(lenientNumber(fromCharacter(argument, 3)), handle)) return 0;
  return handle;
}
