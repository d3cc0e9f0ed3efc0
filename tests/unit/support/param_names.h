// Readable names for table rows, so a failing row in ctest's list says what it was
// ("slash_p_1234"), not a dump of the row's bytes.
#pragma once

#include <cctype>
#include <string>

namespace testnames {

// Spells a row's text with the characters a test name allows.
inline std::string fromText(const std::string& text) {
  if (text.empty()) return "empty";
  std::string name;
  for (unsigned char ch : text) {
    if (std::isalnum(ch)) {
      name += char(ch);
      continue;
    }
    switch (ch) {
      case '/': name += "slash_"; break;
      case '\\': name += "_"; break;
      case '-': name += "minus_"; break;
      case ':': name += "_colon_"; break;
      case '&': name += "amp_"; break;
      case '.': name += "_dot_"; break;
      case '\t': name += "_tab_"; break;
      default: name += "_"; break;
    }
  }
  // ctest replaces a purely numeric last part with the row's value; keep a letter first.
  if (std::isdigit(static_cast<unsigned char>(name[0]))) name = "n" + name;
  return name;
}

}  // namespace testnames
