// Conversions between the program's UTF-8 texts and the system's forms: the ANSI code page
// for files, profile keys and lookups, UTF-16 for texts shown to people.
#pragma once

#include <string>

std::string toAnsi(const std::string& utf8);
std::string fromAnsi(const std::string& ansi);
std::wstring toWide(const std::string& utf8);
std::string fromWide(const std::wstring& wide);
