// The screensaver host's command line under fuzzing. The input, cut at its NUL bytes, is a
// program path and its arguments, put together the way Windows hands them over; besides the
// raw text, each piece is read as an argument text of its own.
#include <cstring>

#include "command_line.h"
#include "fuzz_support.h"

namespace {

const char kTarget[] = "host_command_line";

bool startsCharacter(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

std::size_t characters(const std::string& s) {
  std::size_t n = 0;
  for (char c : s) n += startsCharacter(c);
  return n;
}

bool endsWith(const std::string& s, const std::string& tail) {
  return tail.size() <= s.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

void checkArgument(const std::string& argument) {
  // fromCharacter: the tail from each character on, one character shorter each step.
  const std::size_t count = characters(argument);
  std::string previous = argument;
  for (std::size_t first = 0; first <= count + 1 && first < 64; ++first) {
    const std::string tail = fromCharacter(argument, first);
    require(endsWith(argument, tail), kTarget, "fromCharacter is not a tail of the text");
    require(characters(tail) == (first < count ? count - first : 0), kTarget, "fromCharacter skipped a character");
    require(tail.empty() || startsCharacter(tail[0]), kTarget, "fromCharacter starts inside a character");
    require(endsWith(previous, tail), kTarget, "a later tail is not part of an earlier one");
    previous = tail;
  }

  const std::string letter = modeLetter(argument);
  if (count < 2) {
    require(letter.empty(), kTarget, "a mode letter out of a text shorter than two characters");
  } else {
    const std::string second = fromCharacter(argument, 1);
    require(characters(letter) == 1 && letter.size() <= second.size(), kTarget, "the mode is not one character");
    for (std::size_t i = 0; i < letter.size(); ++i) {
      const char expected = second[i] >= 'a' && second[i] <= 'z' && letter.size() == 1 ? char(second[i] - 32) : second[i];
      require(letter[i] == expected, kTarget, "the mode is not the second character, upper-cased");
    }
  }
  previewHandle(argument);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string raw(reinterpret_cast<const char*>(data), size);
  const std::string rawArgument = argumentText(raw);
  require(endsWith(raw, rawArgument), kTarget, "the argument text is not a tail of the command line");
  require(rawArgument.empty() || (rawArgument[0] != ' ' && rawArgument[0] != '\t'), kTarget,
          "the argument text starts with a blank");
  checkArgument(rawArgument);

  const std::vector<std::string> words = splitOnNul(data, size);
  std::string arguments;
  for (std::size_t i = 1; i < words.size(); ++i) arguments += (i > 1 ? " " : "") + words[i];
  for (const std::string& w : words) checkArgument(w);
  const std::string& program = words[0];
  // The program's path, quoted or bare, and the blanks after it are not part of the arguments.
  const bool argumentsStartBare = arguments.empty() || (arguments[0] != ' ' && arguments[0] != '\t');
  if (program.find('"') == std::string::npos && argumentsStartBare) {
    require(argumentText("\"" + program + "\" \t " + arguments) == arguments, kTarget,
            "a quoted path was not taken off");
    require(argumentText("\"" + program + "\"" + arguments) == arguments, kTarget,
            "a quoted path with no blank after it was not taken off");
  }
  if (!program.empty() && program[0] != '"' && program.find_first_of(" \t") == std::string::npos &&
      argumentsStartBare) {
    require(argumentText(program + " " + arguments) == arguments, kTarget, "a bare path was not taken off");
  }

  // The preview's parent window in each spelling Windows uses: the handle comes back whole.
  InputReader in(data, size);
  const std::int32_t handle = std::int32_t(in.u32());
  for (const char* form : {"/p ", "/P ", "/c:", "-p ", "/p\t"}) {
    const std::string text = form + std::to_string(handle);
    require(previewHandle(text) == handle, kTarget, "the preview handle did not come back");
    require(modeLetter(text) == std::string(1, char(form[1] & ~0x20)), kTarget, "the mode of a preview is lost");
  }
  return 0;
}
