// The screensaver command line: the argument text, its mode letter and the preview handle.
#pragma once

#include <cstdint>
#include <string>

// The command line without the program's own path (quoted or not) and the blanks after it.
std::string argumentText(const std::string& commandLine);

// The second character of the argument text, upper-cased; empty for a text shorter than two.
std::string modeLetter(const std::string& argument);

// The parent window handle of a preview: the text from its fourth character on, read the
// lenient way and rounded; 0 when nothing usable is there.
std::int32_t previewHandle(const std::string& argument);

// The text from character `first` (counted from 0) on; characters are UTF-8 code points.
std::string fromCharacter(const std::string& text, std::size_t first);
